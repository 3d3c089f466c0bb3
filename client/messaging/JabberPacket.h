#pragma once

#include <string>

#include "client/messaging/ProfileCard.h"

// Packet type codes (13 and 15 are not used).
enum PacketType {
    PACKET_CHAT_MESSAGE = 1,
    PACKET_CONTACT_AUTHORIZATION = 2,
    PACKET_AUTHORIZATION_REQUEST = 3,
    PACKET_CHANGE_STATUS = 4,
    PACKET_UPDATE_POSITION = 5,
    PACKET_UPDATE_USER_INFO = 6,
    PACKET_USER_INFO_REQUEST = 7,
    PACKET_CONTACT_INFO_REQUEST = 8,
    PACKET_REMOVE_CONTACT = 9,
    PACKET_SEARCH_CONTACTS = 10,
    PACKET_UPDATE_POSITION_STATUS = 11,
    PACKET_CHANGE_PASSWORD = 12,
    PACKET_CONNECTION_CLOSE = 14,
    PACKET_UPDATE_INFO_MESSAGE = 16,
};

// One request to send something over XMPP, queued for the sender thread. The packets are
// plain records: the session switches on the type and reads the fields, so the family is
// kept together here. Strings are UTF-8.
class JabberPacket {
public:
    explicit JabberPacket(int type) : type_(type) {}
    virtual ~JabberPacket() = default;
    int getType() const { return type_; }

private:
    int type_;
};

class ChatMessagePacket : public JabberPacket {
public:
    ChatMessagePacket(std::string body, std::string jid)
        : JabberPacket(PACKET_CHAT_MESSAGE), body(std::move(body)), jid(std::move(jid)) {}
    std::string body;
    std::string jid;
};

class ContactAuthorizationPacket : public JabberPacket {
public:
    ContactAuthorizationPacket(std::string jid, bool accepted)
        : JabberPacket(PACKET_CONTACT_AUTHORIZATION), jid(std::move(jid)), accepted(accepted) {}
    std::string jid;
    bool accepted;
};

class AuthorizationRequestPacket : public JabberPacket {
public:
    AuthorizationRequestPacket(std::string jid, std::string message)
        : JabberPacket(PACKET_AUTHORIZATION_REQUEST),
          jid(std::move(jid)),
          message(std::move(message)) {}
    std::string jid;
    std::string message;
};

class ChangeStatusPacket : public JabberPacket {
public:
    ChangeStatusPacket(int presence, std::string status)
        : JabberPacket(PACKET_CHANGE_STATUS), presence(presence), status(std::move(status)) {}
    int presence;
    std::string status;
};

class UpdateContactPositionPacket : public JabberPacket {
public:
    UpdateContactPositionPacket(double latitude, double longitude)
        : JabberPacket(PACKET_UPDATE_POSITION), latitude(latitude), longitude(longitude) {}
    double latitude;
    double longitude;
};

class UpdateUserInfoPacket : public JabberPacket {
public:
    explicit UpdateUserInfoPacket(ProfileCard card)
        : JabberPacket(PACKET_UPDATE_USER_INFO), card(std::move(card)) {}
    ProfileCard card;
};

class UserInfoRequestPacket : public JabberPacket {
public:
    UserInfoRequestPacket() : JabberPacket(PACKET_USER_INFO_REQUEST) {}
};

class ContactInfoRequestPacket : public JabberPacket {
public:
    explicit ContactInfoRequestPacket(std::string jid)
        : JabberPacket(PACKET_CONTACT_INFO_REQUEST), jid(std::move(jid)) {}
    std::string jid;
};

class RemoveContactPacket : public JabberPacket {
public:
    explicit RemoveContactPacket(std::string jid)
        : JabberPacket(PACKET_REMOVE_CONTACT), jid(std::move(jid)) {}
    std::string jid;
};

// gender: 0 male, 1 female, other: no criterion. online: 0 online users only, other: no
// criterion. distance: 0 no criterion.
class SearchContactsPacket : public JabberPacket {
public:
    SearchContactsPacket() : JabberPacket(PACKET_SEARCH_CONTACTS) {}
    std::string user, first, last, nick, email;
    int gender = 2;
    int online = 1;
    double distance = 0;
};

class UpdateContactPositionStatusPacket : public JabberPacket {
public:
    explicit UpdateContactPositionStatusPacket(int visibility)
        : JabberPacket(PACKET_UPDATE_POSITION_STATUS), visibility(visibility) {}
    int visibility;
};

class ChangePasswordPacket : public JabberPacket {
public:
    explicit ChangePasswordPacket(std::string password)
        : JabberPacket(PACKET_CHANGE_PASSWORD), password(std::move(password)) {}
    std::string password;
};

class ConnectionClosePacket : public JabberPacket {
public:
    ConnectionClosePacket() : JabberPacket(PACKET_CONNECTION_CLOSE) {}
};

class UpdateInfoMessage : public JabberPacket {
public:
    explicit UpdateInfoMessage(std::string gender)
        : JabberPacket(PACKET_UPDATE_INFO_MESSAGE), gender(std::move(gender)) {}
    std::string gender;
};
