#include "client/app/ProfileCards.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "client/contacts/LumoraContact.h"
#include "client/contacts/UserContactProfile.h"
#include "client/graphics/IImageFactory.h"
#include "client/graphics/ILumoraImage.h"
#include "client/messaging/IJabberClient.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Log;
using kestra::utf8ToWide;
using kestra::wideToUtf8;

namespace ProfileCards {
namespace {

int genderOf(const std::string& text) {
    if (text == "Male") {
        return LumoraContact::GENDER_MALE;
    }
    if (text == "Female") {
        return LumoraContact::GENDER_FEMALE;
    }
    return LumoraContact::GENDER_UNKNOWN;
}

// "YYYY-MM-DD"; anything else is no birthday (all three 0).
void parseBirthday(const std::string& text, int& day, int& month, int& year) {
    day = month = year = 0;
    int y = 0;
    int m = 0;
    int d = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d%c", &y, &m, &d, &rest) == 3 && y > 0 && m >= 1 &&
        m <= 12 && d >= 1 && d <= 31) {
        day = d;
        month = m;
        year = y;
    }
}

// The fields every card carries, for a contact and for the profile alike. The separately
// stored ones (telephone, birthday, "about") are written only when they changed.
void copyFields(LumoraContact& contact, const ProfileCard& card) {
    const std::wstring nick = utf8ToWide(card.nick);
    if (contact.getNick() != nick) {
        contact.setNick(nick);
    }
    const std::wstring first = utf8ToWide(card.givenName);
    if (contact.getFirstName() != first) {
        contact.setFirstName(first);
    }
    const std::wstring last = utf8ToWide(card.familyName);
    if (contact.getLastName() != last) {
        contact.setLastName(last);
    }
    const std::wstring email = utf8ToWide(card.email);
    if (contact.getEmail() != email) {
        contact.setEmail(email);
    }
    const int gender = genderOf(card.gender);
    if (contact.getGender() != gender) {
        contact.setGender(gender);
    }
}

void storeAcceptedPicture(LumoraContact& contact, const ProfileCard& card, IImageFactory* images) {
    if (!checkPicture(images, card.photo)) {
        return;
    }
    // A failed write still counts as accepted: the old file, if any, stays whole.
    if (storePicture(contact.getAvatarPath(), card.photo) && !contact.hasAvatar()) {
        contact.setAvatarFlag();
    }
}

std::string padded(int value, int width) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    }
    return text;
}

}  // namespace

bool checkPicture(IImageFactory* images, const std::string& photo) {
    if (photo.empty() || photo.size() > MAX_PICTURE_BYTES) {
        return false;
    }
    std::unique_ptr<ILumoraImage> image =
        images != nullptr ? images->createImageFromBuffer(photo.data(), photo.size()) : nullptr;
    if (!image) {
        Log::error("ApplicationManager::onGetVCard: bad image in vcard.");
        return false;
    }
    if (image->getWidth() > MAX_PICTURE_SIDE || image->getHeight() > MAX_PICTURE_SIDE) {
        Log::error("ApplicationManager::onGetVCard: bad image size.");
        return false;
    }
    return true;
}

bool storePicture(const std::wstring& path, const std::string& photo) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const fs::path temporary = target.string() + ".new";
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    bool written = false;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(photo.data(), static_cast<std::streamsize>(photo.size()));
        out.flush();
        written = static_cast<bool>(out);
    }
    if (written) {
        fs::rename(temporary, target, error);
        written = !error;
    }
    if (!written) {
        fs::remove(temporary, error);
        Log::error("ApplicationManager::onGetVCard: error while WriteFile.");
    }
    return written;
}

void applyToContact(LumoraContact& contact, const ProfileCard& card, IImageFactory* images) {
    copyFields(contact, card);
    const std::wstring telephone = utf8ToWide(card.telephone);
    if (contact.readTelephone() != telephone) {
        contact.setTelephone(telephone);
    }
    int day = 0;
    int month = 0;
    int year = 0;
    parseBirthday(card.birthday, day, month, year);
    int oldDay = 0;
    int oldMonth = 0;
    int oldYear = 0;
    if (!contact.readBirthday(oldDay, oldMonth, oldYear)) {
        oldDay = oldMonth = oldYear = 0;
    }
    if (day != oldDay || month != oldMonth || year != oldYear) {
        contact.setBirthday(day, month, year);
    }
    const std::wstring about = utf8ToWide(card.about);
    if (contact.readAbout() != about) {
        contact.setAbout(about);
    }
    storeAcceptedPicture(contact, card, images);
}

void applyToProfile(UserContactProfile& profile, const ProfileCard& card, IImageFactory* images) {
    copyFields(profile, card);
    profile.writeTelephone(utf8ToWide(card.telephone));
    int day = 0;
    int month = 0;
    int year = 0;
    parseBirthday(card.birthday, day, month, year);
    profile.writeBirthday(day, month, year);
    profile.writeAbout(utf8ToWide(card.about));
    storeAcceptedPicture(profile, card, images);
}

ProfileCard buildOwnCard(UserContactProfile& profile, IImageFactory* images) {
    ProfileCard card;
    if (!profile.getFirstName().empty() || !profile.getLastName().empty()) {
        card.givenName = wideToUtf8(profile.getFirstName());
        card.familyName = wideToUtf8(profile.getLastName());
    }
    card.nick = wideToUtf8(profile.getNick());
    card.email = wideToUtf8(profile.getEmail());
    card.telephone = wideToUtf8(profile.readTelephone());
    if (profile.getGender() != LumoraContact::GENDER_UNKNOWN) {
        card.gender = genderText(profile.getGender());
    }
    card.about = wideToUtf8(profile.readAbout());
    int day = 0;
    int month = 0;
    int year = 0;
    if (profile.readBirthday(day, month, year) && day != 0 && month != 0 && year != 0) {
        card.birthday = padded(year, 4) + "-" + padded(month, 2) + "-" + padded(day, 2);
    }
    const std::filesystem::path picture(profile.getAvatarPath());
    std::error_code error;
    if (std::filesystem::exists(picture, error)) {
        std::ifstream in(picture, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto size = std::filesystem::file_size(picture, error);
        if (!in.good() && !in.eof()) {
            bytes.clear();
        }
        if (error || bytes.size() != size || bytes.empty()) {
            Log::error("ApplicationManager::chekUserDataChanges: error while ReadFile.");
        } else {
            int width = 0;
            int height = 0;
            std::wstring type;
            if (images != nullptr &&
                images->getImageInfo(bytes.data(), bytes.size(), width, height, type)) {
                card.photoType = wideToUtf8(type);
            }
            card.photo = std::move(bytes);
        }
    }
    return card;
}

std::string genderText(int gender) {
    switch (gender) {
        case LumoraContact::GENDER_MALE:
            return "Male";
        case LumoraContact::GENDER_FEMALE:
            return "Female";
        default:
            return "Unknown";
    }
}

void sendUserDataChanges(UserContactProfile& profile, IJabberClient& session,
                         IImageFactory* images) {
    if (kestra::Settings::getIntValue(UserContactProfile::KEY_INFO_FLAG, 0) == 1) {
        session.storeOwnCard(buildOwnCard(profile, images));
    }
    if (kestra::Settings::getIntValue(UserContactProfile::KEY_PASSWORD_FLAG, 0) == 1) {
        std::wstring password;
        kestra::Settings::getStringValue(UserContactProfile::KEY_NEW_PASSWORD, &password);
        session.changePassword(wideToUtf8(password));
    }
}

}  // namespace ProfileCards
