// What JabberClient receives: roster and presences, messages and publish-subscribe
// events, registration. All of it runs on the thread "Jabber" under the session lock.
#include <gloox/message.h>
#include <gloox/oob.h>
#include <gloox/pubsubevent.h>
#include <gloox/resource.h>
#include <gloox/rosteritem.h>
#include <gloox/rostermanager.h>

#include "client/contacts/UserContactProfile.h"
#include "client/messaging/JabberClient.h"
#include "client/messaging/PositionText.h"
#include "client/messaging/PresenceExtension.h"
#include "kestra/Log.h"

namespace {

int toListenerPresence(gloox::Presence::PresenceType type) {
    return type <= gloox::Presence::Unavailable ? type + 1 : PRESENCE_UNKNOWN;
}

bool seesContact(const gloox::RosterItem& item) {
    const gloox::SubscriptionType s = item.subscription();
    return s == gloox::S10nTo || s == gloox::S10nToIn || s == gloox::S10nBoth;
}

}  // namespace

void JabberClient::handleRoster(const gloox::Roster& roster) {
    for (const auto& entry : roster) {
        const gloox::RosterItem& item = *entry.second;
        const gloox::JID jid = item.jidJID();
        if (isBot(jid)) {
            // The first bot (in JID order) answers searches; the others only learn the visibility.
            if (!botSession_) {
                botSession_ =
                    new gloox::MessageSession(client_.get(), gloox::JID(jid.bare()), true, 0);
                botSession_->registerMessageHandler(this);
            }
            continue;
        }
        if (listener_)
            listener_->onRosterItem(jid.full(), item.name());
        // Subscriptions that failed earlier (the contact's node did not exist yet) are
        // tried again at every sign-in; an existing subscription is simply confirmed.
        if (seesContact(item))
            subscribeToContactNode(jid);
    }
}

void JabberClient::handleItemAdded(const gloox::JID&) {}

void JabberClient::handleItemSubscribed(const gloox::JID& jid) {
    if (listener_)
        listener_->onItemSubscribed(jid.bare());
}

void JabberClient::handleItemRemoved(const gloox::JID& jid) {
    if (listener_)
        listener_->onItemRemoved(jid.bare());
}

void JabberClient::handleItemUpdated(const gloox::JID& jid) {
    if (listener_)
        listener_->onItemUpdated(jid.bare());
}

void JabberClient::handleItemUnsubscribed(const gloox::JID& jid) {
    if (listener_)
        listener_->onItemUnsubscribed(jid.bare());
}

bool JabberClient::handleSubscriptionRequest(const gloox::JID& jid, const std::string& msg) {
    // The user's answer comes later as a packet; the return value is not used.
    if (listener_)
        listener_->onSubscriptionRequest(jid.bare(), jid.bare(), msg);
    return false;
}

bool JabberClient::handleUnsubscriptionRequest(const gloox::JID& jid, const std::string&) {
    if (listener_ && listener_->onUnsubscriptionRequest(jid.username(), jid.bare())) {
        client_->rosterManager()->unsubscribe(jid, std::string());
    }
    return false;
}

void JabberClient::handleNonrosterPresence(const gloox::Presence&) {}

void JabberClient::handleRosterError(const gloox::IQ&) {}

void JabberClient::handleRosterPresence(const gloox::RosterItem& item, const std::string& resource,
                                        gloox::Presence::PresenceType presence,
                                        const std::string& msg) {
    const gloox::JID jid = item.jidJID();
    if (isBot(jid)) {
        // A bot learns the user's visibility each time it becomes available.
        if (presence < gloox::Presence::Unavailable)
            tellBotVisibility(gloox::JID(jid.bare()));
        return;
    }
    if (resource == RESOURCE && jid.bare() == jid_.bare()) {
        handleSelfPresence(item, resource, presence, msg);
        return;
    }
    readPresencePosition(item, resource);
    int value = toListenerPresence(presence);
    if (listener_)
        listener_->onContactPresence(jid.bare(), &value);
}

void JabberClient::readPresencePosition(const gloox::RosterItem& item,
                                        const std::string& resource) {
    // The roster keeps copies of the extensions of the resource's last presence; a
    // presence without the position clears them.
    const gloox::Resource* r = item.resource(resource);
    if (!r || !listener_)
        return;
    for (const gloox::StanzaExtension* extension : r->extensions()) {
        if (extension->extensionType() != PresenceExtension::EXT_STATUS)
            continue;
        double latitude, longitude;
        if (PositionText::parse(static_cast<const PresenceExtension*>(extension)->value(),
                                &latitude, &longitude)) {
            listener_->onContactPosition(item.jidJID().bare(), latitude, longitude);
        }
    }
}

void JabberClient::tellBotVisibility(const gloox::JID& bot) {
    if (!userProfile_.load())
        return;
    sendPresence(&bot, client_->presence().subtype(), std::string(),
                 PresenceExtension::NS_VISIBILITY, std::to_string(visibility()));
}

void JabberClient::handleSelfPresence(const gloox::RosterItem& item, const std::string& resource,
                                      gloox::Presence::PresenceType presence, const std::string&) {
    if (resource != RESOURCE || !listener_)
        return;
    int value = toListenerPresence(presence);
    if (value != PRESENCE_UNKNOWN)
        listener_->onOwnPresence(&value);
    const gloox::JID own(item.jidJID().bare());
    if (client_->rosterManager()->getRosterItem(own))
        listener_->onContactPresence(own.bare(), &value);
}

void JabberClient::handleMessageSession(gloox::MessageSession* session) {
    const std::string peer = session->target().bare();
    if (peer == pubsubService_ || session == botSession_)
        return;
    session->registerMessageHandler(this);
    sessions_[peer] = session;
}

void JabberClient::handleMessage(const gloox::Message& message, gloox::MessageSession* session) {
    if (session == pubsubSession_ || message.from().bare() == pubsubService_) {
        handlePubsubEvent(message);
        return;
    }
    if (session && session == botSession_) {
        parseSearchXML(message.body());
        return;
    }
    // Messages without text (chat states, receipts) carry nothing to show.
    if (message.body().empty() && message.subtype() != gloox::Message::Error)
        return;
    const std::string peer = session ? session->target().bare() : message.from().bare();
    if (listener_)
        listener_->onNewMessage(peer, message.body(), message.subtype() << 12);
}

void JabberClient::handlePubsubEvent(const gloox::Message& message) {
    const auto* event = message.findExtension<gloox::PubSub::Event>(gloox::ExtPubSubEvent);
    if (!event || !listener_ || event->items().empty())
        return;
    const std::string user = PositionText::nodeUser(event->node(), nodePrefix_);
    if (user.empty())
        return;
    const gloox::PubSub::Event::ItemOperation* first = event->items().front();
    if (first->retract || !first->payload)
        return;
    // Any account may have created the node or be allowed to publish to it; the position
    // counts only when the server names the contact as the item's publisher.
    const std::string contact = user + "@" + jid_.server();
    const std::string publisher = first->payload->findAttribute("publisher");
    if (gloox::JID(publisher).bare() != contact) {
        if (publisher.empty()) {
            kestra::Log::debug("JabberClient: a position on " + event->node() +
                               " names no publisher; it is ignored.");
        } else {
            kestra::Log::warning("JabberClient: a position on " + event->node() +
                                 " was published by " + publisher + "; it is ignored.");
        }
        return;
    }
    const gloox::Tag* geoloc = first->payload->findChild("geoloc");
    if (!geoloc)
        return;
    const gloox::Tag* lat = geoloc->findChild("latitude");
    const gloox::Tag* lon = geoloc->findChild("longitude");
    double latitude, longitude;
    if (lat && lon && PositionText::parseCoordinate(lat->cdata(), 90.0, &latitude) &&
        PositionText::parseCoordinate(lon->cdata(), 180.0, &longitude)) {
        listener_->onContactPosition(contact, latitude, longitude);
    }
}

// Registration: account creation (a session opened for a new account) and password changes.
void JabberClient::handleRegistrationFields(const gloox::JID&, int fields,
                                            std::string instructions) {
    if (!creatingAccount_ || alreadyRegistered_)
        return;
    RegistrationValues values;
    if (listener_)
        listener_->onRegistrationFields(fields, instructions, values);
    gloox::RegistrationFields glooxValues;
    glooxValues.username = values.username.empty() ? jid_.username() : values.username;
    glooxValues.password = values.password.empty() ? password_ : values.password;
    if (!registration_->createAccount(fields, glooxValues)) {
        creatingAccount_ = false;
        if (listener_)
            listener_->onPasswordChanged(false);
        client_->disconnect();
    }
}

void JabberClient::handleAlreadyRegistered(const gloox::JID&) {
    alreadyRegistered_ = true;
    if (listener_)
        listener_->onRegistrationNotice(0, 1, "the account already exists.\n");
}

void JabberClient::handleRegistrationResult(const gloox::JID&, gloox::RegistrationResult result) {
    const bool success = result == gloox::RegistrationSuccess;
    if (creatingAccount_) {
        creatingAccount_ = false;
        if (listener_)
            listener_->onPasswordChanged(success);
        if (!success) {
            if (result == gloox::RegistrationConflict && listener_) {
                listener_->onRegistrationNotice(0, 1, "the account already exists.\n");
            }
            client_->disconnect();
            return;
        }
        client_->setUsername(jid_.username());
        client_->setPassword(password_);
        client_->setResource(RESOURCE);
        client_->login();
        return;
    }
    // A refused change keeps the old password.
    if (success && !pendingPassword_.empty())
        password_ = pendingPassword_;
    pendingPassword_.clear();
    if (listener_)
        listener_->onPasswordChanged(success);
}

void JabberClient::handleDataForm(const gloox::JID&, const gloox::DataForm&) {}

void JabberClient::handleOOB(const gloox::JID&, const gloox::OOB& oob) {
    if (listener_)
        listener_->onRegistrationNotice(0, 0,
                                        "OOB registration requested. " + oob.desc() + oob.url());
}
