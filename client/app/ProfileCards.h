#pragma once

#include <string>

#include "client/messaging/ProfileCard.h"

class IImageFactory;
class IJabberClient;
class LumoraContact;
class UserContactProfile;

// Profile cards between the session and the contact store: a received card copied into a
// contact or into the user's own profile (with the check of its picture), and the user's
// own card built from the profile when it changed.
//
// Threads: the controller's (the session's reactions post their cards there). The contact's
// accessors take their own short locks; the picture file is written by one thread at a time.
namespace ProfileCards {

// The largest picture a card may carry, in bytes and in pixels each way.
constexpr std::size_t MAX_PICTURE_BYTES = 8192;
constexpr int MAX_PICTURE_SIDE = 96;

// True when the photo is 1 to 8192 bytes, decodes, and is at most 96 x 96 pixels. A photo
// that does not decode, or is too large, is logged; an empty or oversized one is refused
// without a line. No image factory: nothing can be decoded, so the photo is refused.
bool checkPicture(IImageFactory* images, const std::string& photo);

// Replaces the picture file with the bytes: written beside it and renamed over it, so a
// crash or a full disk leaves the old picture whole. False (logged) when it failed.
bool storePicture(const std::wstring& path, const std::string& photo);

// Copies the card's nick, names, e-mail, telephone, gender, "about" and birthday into the
// contact where they differ, and stores a picture that passes the check (the avatar flag
// follows). The contact list and the details dialog are the caller's to refresh.
void applyToContact(LumoraContact& contact, const ProfileCard& card, IImageFactory* images);
// The same for the user's own profile; its change flags stay as they were.
void applyToProfile(UserContactProfile& profile, const ProfileCard& card, IImageFactory* images);

// The user's card from the profile: the name when either part is set, nick, e-mail,
// telephone, gender unless unknown, "about", the birthday as YYYY-MM-DD when all three parts
// are set, and the picture file with the type the image factory reports for it.
ProfileCard buildOwnCard(UserContactProfile& profile, IImageFactory* images);

// "Male", "Female" or "Unknown", as the service's bot reads the gender.
std::string genderText(int gender);

// Sends what the user changed while offline: the card when user.infoflag is 1, the new
// password when user.emailpassflag is 1. The session's reports clear the flags.
void sendUserDataChanges(UserContactProfile& profile, IJabberClient& session,
                         IImageFactory* images);

}  // namespace ProfileCards
