// The packet side of JabberClient: queueing on the caller's thread and performing on the
// sender thread, always under the session lock.
#include <gloox/rostermanager.h>

#include "client/contacts/UserContactProfile.h"
#include "client/messaging/JabberClient.h"
#include "client/messaging/PositionText.h"
#include "client/messaging/PresenceExtension.h"
#include "client/messaging/ProfileCardCodec.h"
#include "client/messaging/UserSearch.h"
#include "kestra/Log.h"

void JabberClient::queuePacket(std::unique_ptr<JabberPacket> packet) {
    sender_.addPacket(std::move(packet));
}

void JabberClient::reportPacketNotSent(int packetType) {
    if (listener_)
        listener_->onPacketNotSent(packetType);
}

void JabberClient::sendChatMessage(const std::string& body, const std::string& jid) {
    queuePacket(std::make_unique<ChatMessagePacket>(body, jid));
}

void JabberClient::answerAuthorization(const std::string& jid, bool accepted) {
    queuePacket(std::make_unique<ContactAuthorizationPacket>(jid, accepted));
}

void JabberClient::requestAuthorization(const std::string& jid, const std::string& message) {
    queuePacket(std::make_unique<AuthorizationRequestPacket>(jid, message));
}

void JabberClient::changeStatus(int presence, const std::string& status) {
    queuePacket(std::make_unique<ChangeStatusPacket>(presence, status));
}

void JabberClient::updatePosition(double latitude, double longitude) {
    queuePacket(std::make_unique<UpdateContactPositionPacket>(latitude, longitude));
}

void JabberClient::storeOwnCard(const ProfileCard& card) {
    queuePacket(std::make_unique<UpdateUserInfoPacket>(card));
}

void JabberClient::requestOwnCard() {
    queuePacket(std::make_unique<UserInfoRequestPacket>());
}

void JabberClient::requestContactCard(const std::string& jid) {
    queuePacket(std::make_unique<ContactInfoRequestPacket>(jid));
}

void JabberClient::removeContact(const std::string& jid) {
    queuePacket(std::make_unique<RemoveContactPacket>(jid));
    kestra::Mutex::Locker lock(sessionLock_);
    auto it = sessions_.find(gloox::JID(jid).bare());
    if (it == sessions_.end())
        return;
    if (client_)
        client_->disposeMessageSession(it->second);
    sessions_.erase(it);
}

void JabberClient::search(const std::string& user, const std::string& first,
                          const std::string& last, const std::string& nick,
                          const std::string& email, int gender, double distance, int online) {
    auto packet = std::make_unique<SearchContactsPacket>();
    packet->user = user;
    packet->first = first;
    packet->last = last;
    packet->nick = nick;
    packet->email = email;
    packet->gender = gender;
    packet->distance = distance;
    packet->online = online;
    queuePacket(std::move(packet));
}

void JabberClient::setVisibility(int visibility) {
    queuePacket(std::make_unique<UpdateContactPositionStatusPacket>(visibility));
}

void JabberClient::changePassword(const std::string& password) {
    {
        kestra::Mutex::Locker lock(sessionLock_);
        pendingPassword_ = password;
    }
    queuePacket(std::make_unique<ChangePasswordPacket>(password));
}

void JabberClient::closeConnection() {
    queuePacket(std::make_unique<ConnectionClosePacket>());
}

void JabberClient::sendProfileToBot(const std::string& gender) {
    queuePacket(std::make_unique<UpdateInfoMessage>(gender));
}

bool JabberClient::send(std::unique_ptr<JabberPacket>& packet) {
    kestra::Mutex::Locker lock(sessionLock_);
    if (packet->getType() == PACKET_CONNECTION_CLOSE) {
        if (client_ && client_->state() != gloox::StateDisconnected)
            client_->disconnect();
        packet.reset();
        return true;
    }
    if (!client_ || !connected_ || client_->state() != gloox::StateConnected)
        return false;
    perform(*packet);
    packet.reset();
    return true;
}

void JabberClient::perform(const JabberPacket& packet) {
    switch (packet.getType()) {
        case PACKET_CHAT_MESSAGE: {
            const auto& p = static_cast<const ChatMessagePacket&>(packet);
            if (gloox::MessageSession* session = getMessageSession(p.jid))
                session->send(p.body, std::string());
            break;
        }
        case PACKET_CONTACT_AUTHORIZATION: {
            const auto& p = static_cast<const ContactAuthorizationPacket&>(packet);
            performAuthorization(gloox::JID(p.jid), p.accepted);
            break;
        }
        case PACKET_AUTHORIZATION_REQUEST: {
            const auto& p = static_cast<const AuthorizationRequestPacket&>(packet);
            performAuthorizationRequest(gloox::JID(p.jid), p.message);
            break;
        }
        case PACKET_CHANGE_STATUS: {
            const auto& p = static_cast<const ChangeStatusPacket&>(packet);
            performStatus(p.presence, p.status);
            break;
        }
        case PACKET_UPDATE_POSITION: {
            const auto& p = static_cast<const UpdateContactPositionPacket&>(packet);
            performPosition(p.latitude, p.longitude);
            break;
        }
        case PACKET_UPDATE_USER_INFO:
        case PACKET_USER_INFO_REQUEST:
        case PACKET_CONTACT_INFO_REQUEST:
        case PACKET_UPDATE_INFO_MESSAGE:
            performCardPacket(packet);
            break;
        case PACKET_REMOVE_CONTACT:
            performRemove(gloox::JID(static_cast<const RemoveContactPacket&>(packet).jid));
            break;
        case PACKET_SEARCH_CONTACTS:
            performSearch(static_cast<const SearchContactsPacket&>(packet));
            break;
        case PACKET_UPDATE_POSITION_STATUS:
            performVisibility(
                static_cast<const UpdateContactPositionStatusPacket&>(packet).visibility);
            break;
        case PACKET_CHANGE_PASSWORD:
            registration_->changePassword(
                client_->username(), static_cast<const ChangePasswordPacket&>(packet).password);
            break;
        default:
            kestra::Log::warning("JabberClient::send: unknown packet type " +
                                 std::to_string(packet.getType()));
    }
}

// The profile card packets: storing and fetching cards, and the gender for the bot.
void JabberClient::performCardPacket(const JabberPacket& packet) {
    switch (packet.getType()) {
        case PACKET_UPDATE_USER_INFO:
            // The manager takes the card and deletes it.
            vcardManager_->storeVCard(
                ProfileCardCodec::toVCard(static_cast<const UpdateUserInfoPacket&>(packet).card)
                    .release(),
                this);
            break;
        case PACKET_USER_INFO_REQUEST:
            vcardManager_->fetchVCard(gloox::JID(jid_.bare()), this);
            break;
        case PACKET_CONTACT_INFO_REQUEST:
            vcardManager_->fetchVCard(
                gloox::JID(static_cast<const ContactInfoRequestPacket&>(packet).jid), this);
            break;
        case PACKET_UPDATE_INFO_MESSAGE:
            if (botSession_) {
                botSession_->send(ProfileCardCodec::updateInfoMessage(
                                      static_cast<const UpdateInfoMessage&>(packet).gender),
                                  std::string());
            }
            break;
        default:
            break;
    }
}

// One presence stanza; the extension goes with this stanza only. Without a recipient the
// presence also becomes the client's current presence.
void JabberClient::sendPresence(const gloox::JID* to, gloox::Presence::PresenceType presence,
                                const std::string& status, const std::string& ns,
                                const std::string& value) {
    if (!to) {
        client_->presence().setPresence(presence);
        client_->presence().setPriority(PRIORITY);
        client_->presence().resetStatus();
        client_->presence().addStatus(status);
    }
    gloox::Presence out(presence, to ? *to : gloox::JID(), status, PRIORITY);
    if (!ns.empty())
        out.addExtension(new PresenceExtension(ns, value));
    client_->send(out);
}

void JabberClient::subscribeToContactNode(const gloox::JID& jid) {
    if (jid.server() == CHAT_HOST && !jid.username().empty())
        pubsub_->subscribeToTheNode(nodePrefix_ + jid.username());
}

void JabberClient::performAuthorization(const gloox::JID& jid, bool accepted) {
    gloox::RosterManager* roster = client_->rosterManager();
    if (!accepted) {
        roster->cancel(jid, std::string());
        return;
    }
    roster->ackSubscriptionRequest(jid, true);
    roster->subscribe(jid, std::string(), gloox::StringList(), std::string());
    subscribeToContactNode(jid);
}

void JabberClient::performAuthorizationRequest(const gloox::JID& jid, const std::string& message) {
    client_->rosterManager()->subscribe(jid, std::string(), gloox::StringList(), message);
    subscribeToContactNode(jid);
}

void JabberClient::performStatus(int presence, const std::string& status) {
    const auto type = presence >= PRESENCE_AVAILABLE && presence <= PRESENCE_UNAVAILABLE
                          ? static_cast<gloox::Presence::PresenceType>(presence - 1)
                          : gloox::Presence::Available;
    double latitude, longitude;
    if (presence != PRESENCE_UNAVAILABLE && listener_ &&
        listener_->getPresencePosition(&latitude, &longitude)) {
        sendPresence(nullptr, type, status, PresenceExtension::NS_STATUS,
                     PositionText::format(latitude, longitude));
    } else {
        sendPresence(nullptr, type, status, std::string(), std::string());
    }
}

void JabberClient::performPosition(double latitude, double longitude) {
    if (!userProfile_.load())
        return;
    const bool known =
        latitude != PositionText::NO_POSITION && longitude != PositionText::NO_POSITION;
    switch (visibility()) {
        case UserContactProfile::VISIBLE_FOR_FRIENDS:
            sendPresence(nullptr, client_->presence().subtype(), std::string(),
                         known ? PresenceExtension::NS_STATUS : "",
                         known ? PositionText::format(latitude, longitude) : "");
            break;
        case UserContactProfile::VISIBLE_FOR_ALL:
            if (known) {
                auto* geoloc = new gloox::Tag("geoloc");
                new gloox::Tag(geoloc, "latitude", PositionText::formatNumber(latitude));
                new gloox::Tag(geoloc, "longitude", PositionText::formatNumber(longitude));
                pubsub_->setDataToTheNode(ownNode_, geoloc);
            }
            break;
        default:
            break;
    }
}

void JabberClient::performRemove(const gloox::JID& jid) {
    client_->rosterManager()->remove(jid);
    if (jid.server() == CHAT_HOST && !jid.username().empty())
        pubsub_->unsubscribeFromTheNode(nodePrefix_ + jid.username());
}

void JabberClient::performVisibility(int visibility) {
    pubsub_->changeConfigurations(ownNode_, visibility == UserContactProfile::VISIBLE_FOR_ALL);
    if (visibility != UserContactProfile::VISIBLE_FOR_ALL)
        pubsub_->deleteNodeItem(ownNode_, "1");
    if (visibility != UserContactProfile::VISIBLE_FOR_FRIENDS) {
        sendPresence(nullptr, client_->presence().subtype(), std::string(), std::string(),
                     std::string());
    }
    if (botSession_) {
        const gloox::JID bot = botSession_->target();
        sendPresence(&bot, client_->presence().subtype(), std::string(),
                     PresenceExtension::NS_VISIBILITY, std::to_string(visibility));
    }
}

void JabberClient::performSearch(const SearchContactsPacket& packet) {
    if (UserSearch::wantsBot(packet, botSession_ != nullptr)) {
        double latitude = 0, longitude = 0;
        const bool hasPosition = packet.distance != 0 && listener_ &&
                                 listener_->getCurrentPosition(&latitude, &longitude);
        botSession_->send(UserSearch::botQuery(packet, hasPosition, latitude, longitude),
                          std::string());
        return;
    }
    gloox::Tag* x = UserSearch::directoryFormTag(packet);
    auto* form = new gloox::DataForm(gloox::TypeSubmit, std::string());
    const bool parsed = form->parse(x);
    delete x;
    if (!parsed) {
        kestra::Log::error("JabberClient::send searchForm parse error.");
        delete form;
        return;
    }
    // The search object takes the form and deletes it.
    search_->search(gloox::JID("vjud." + jid_.server()), form, this);
}

// Directory answers.
void JabberClient::handleSearchFields(const gloox::JID&, int, const std::string&) {}
void JabberClient::handleSearchFields(const gloox::JID&, const gloox::DataForm*) {}

void JabberClient::handleSearchResult(const gloox::JID& directory,
                                      const gloox::SearchResultList& results) {
    for (const gloox::SearchFieldStruct* result : results) {
        std::unique_ptr<gloox::Tag> item(result->tag());
        SearchResultFields fields;
        for (const char* name : {"first", "last", "nick", "email"}) {
            const gloox::Tag* child = item->findChild(name);
            if (child && !child->cdata().empty())
                fields[name] = child->cdata();
        }
        if (!item->findAttribute("jid").empty())
            fields["jid"] = item->findAttribute("jid");
        if (listener_)
            listener_->onSearchResultItem(std::string(), fields);
    }
    if (listener_)
        listener_->onSearchFinished(directory.bare());
}

void JabberClient::handleSearchResult(const gloox::JID& directory, const gloox::DataForm* form) {
    if (form && listener_) {
        for (const SearchResultFields& fields : UserSearch::directoryResults(*form)) {
            listener_->onSearchResultItem(std::string(), fields);
        }
    }
    if (listener_)
        listener_->onSearchFinished(directory.bare());
}

void JabberClient::handleSearchError(const gloox::JID& directory, const gloox::Error* error) {
    kestra::Log::warning("JabberClient: the directory " + directory.bare() +
                         " answered with error " +
                         std::to_string(error ? error->error() : gloox::StanzaErrorUndefined));
    // The search window waits for the end of every search it started.
    if (listener_)
        listener_->onSearchFinished(directory.bare());
}

void JabberClient::parseSearchXML(const std::string& body) {
    if (!listener_)
        return;
    for (const SearchResultFields& fields : UserSearch::parseBotAnswer(body)) {
        listener_->onSearchResultItem(std::string(), fields);
    }
    listener_->onSearchFinished(std::string());
}

// Profile cards.
void JabberClient::handleVCard(const gloox::JID& jid, const gloox::VCard* vcard) {
    if (!listener_)
        return;
    // The server may leave out the sender of the user's own card.
    const std::string bare = jid.bare().empty() ? jid_.bare() : jid.bare();
    if (!vcard) {
        listener_->onVCard(nullptr, bare);
        return;
    }
    const ProfileCard card = ProfileCardCodec::fromVCard(*vcard);
    if (bare == jid_.bare())
        listener_->onOwnVCard(&card);
    listener_->onVCard(&card, bare);
}

void JabberClient::handleVCardResult(VCardContext context, const gloox::JID& jid,
                                     gloox::StanzaError se) {
    if (!listener_)
        return;
    if (context == StoreVCard) {
        listener_->onVCardStored(se == gloox::StanzaErrorUndefined);
        return;
    }
    if (se == gloox::StanzaErrorRemoteServerNotFound ||
        se == gloox::StanzaErrorServiceUnavailable || se == gloox::StanzaErrorItemNotFound) {
        listener_->onVCard(nullptr, jid.bare().empty() ? jid_.bare() : jid.bare());
    }
}
