#include "client/messaging/PubsubManager.h"

#include <gloox/dataform.h>
#include <gloox/error.h>
#include <gloox/pubsubitem.h>

#include <utility>

#include "kestra/Log.h"

namespace {

std::string errorText(const gloox::Error* error) {
    return error ? " failed (stanza error " + std::to_string(error->error()) + ")" : " done";
}

}  // namespace

PubsubManager::PubsubManager(gloox::ClientBase* client, const std::string& service,
                             const std::string& subscriber, const std::string& ownNode,
                             std::function<void()> ownNodeRefused)
    : manager_(client),
      service_(service),
      subscriber_(subscriber),
      ownNode_(ownNode),
      ownNodeRefused_(std::move(ownNodeRefused)) {}

// Answers about the own node that carry an error mean that the user's position does not
// reach the node. The first is an ERROR and goes to the callback; the same session's later
// ones (every position update fails alike) are DEBUG lines.
void PubsubManager::reportResult(const std::string& action, const std::string& node,
                                 const gloox::Error* error) {
    if (!error || node != ownNode_ || ownNodeRefusalReported_) {
        kestra::Log::debug("PubsubManager: " + action + " " + node + errorText(error));
        return;
    }
    ownNodeRefusalReported_ = true;
    kestra::Log::error("PubsubManager: " + action + " the own node " + node + errorText(error) +
                       "; the user's position cannot be shared through it.");
    if (ownNodeRefused_)
        ownNodeRefused_();
}

std::string PubsubManager::takeTracked(const std::string& id) {
    std::lock_guard<std::mutex> lock(trackLock_);
    auto it = tracked_.find(id);
    if (it == tracked_.end())
        return std::string();
    std::string node = it->second;
    tracked_.erase(it);
    return node;
}

gloox::DataForm* PubsubManager::accessForm(bool open) {
    auto* form = new gloox::DataForm(gloox::TypeSubmit);
    form->addField(gloox::DataFormField::TypeHidden, "FORM_TYPE",
                   "http://jabber.org/protocol/pubsub#node_config");
    // "presence": only those who see the user's presence, i.e. the roster friends.
    form->addField(gloox::DataFormField::TypeNone, "pubsub#access_model",
                   open ? "open" : "presence");
    // Events name the item's publisher; subscribers accept a position only from the owner.
    form->addField(gloox::DataFormField::TypeNone, "pubsub#itemreply", "publisher");
    return form;
}

void PubsubManager::subscribeToTheNode(const std::string& node) {
    const std::string id = manager_.subscribe(service_, node, this, subscriber_);
    std::lock_guard<std::mutex> lock(trackLock_);
    tracked_[id] = node;
}

void PubsubManager::unsubscribeFromTheNode(const std::string& node) {
    const std::string id = manager_.unsubscribe(service_, node, std::string(), this, subscriber_);
    std::lock_guard<std::mutex> lock(trackLock_);
    tracked_[id] = node;
}

void PubsubManager::setDataToTheNode(const std::string& node, gloox::Tag* payload) {
    auto* item = new gloox::PubSub::Item();
    item->setID("1");
    item->setPayload(payload);
    gloox::PubSub::ItemList items;  // the library deletes the items
    items.push_back(item);
    const std::string id = manager_.publishItem(service_, node, items, nullptr, this);
    std::lock_guard<std::mutex> lock(trackLock_);
    tracked_[id] = node;
}

void PubsubManager::deleteNodeItem(const std::string& node, const std::string& itemId) {
    auto* item = new gloox::PubSub::Item();
    item->setID(itemId);
    gloox::PubSub::ItemList items;  // a fresh list each time: the library deletes the items
    items.push_back(item);
    manager_.deleteItem(service_, node, items, true, this);
}

void PubsubManager::changeConfigurations(const std::string& node, bool open) {
    // Creating first makes sure the node exists: contacts can subscribe to it before the
    // first position is published. An existing node answers "conflict" and is configured.
    const std::string id = manager_.createNode(service_, node, accessForm(open), this);
    std::lock_guard<std::mutex> lock(trackLock_);
    tracked_[id] = node;
    pendingAccess_[node] = open;
}

void PubsubManager::handleNodeCreation(const std::string& id, const gloox::JID&, const std::string&,
                                       const gloox::Error* error) {
    const std::string node = takeTracked(id);
    bool open;
    {
        std::lock_guard<std::mutex> lock(trackLock_);
        auto it = pendingAccess_.find(node);
        if (it == pendingAccess_.end())
            return;
        open = it->second;
        pendingAccess_.erase(it);
    }
    if (error && error->error() == gloox::StanzaErrorConflict) {
        const std::string configId = manager_.setNodeConfig(service_, node, accessForm(open), this);
        std::lock_guard<std::mutex> lock(trackLock_);
        tracked_[configId] = node;
        return;
    }
    reportResult("creating", node, error);
}

void PubsubManager::handleNodeConfigResult(const std::string& id, const gloox::JID&,
                                           const std::string&, const gloox::Error* error) {
    reportResult("configuring", takeTracked(id), error);
}

void PubsubManager::handleItemPublication(const std::string& id, const gloox::JID&,
                                          const std::string&, const gloox::PubSub::ItemList&,
                                          const gloox::Error* error) {
    // The node argument is never read: the library passes a dangling reference for some
    // answers (an empty result, an error).
    reportResult("publishing to", takeTracked(id), error);
}

void PubsubManager::handleItemDeletion(const std::string&, const gloox::JID&, const std::string&,
                                       const gloox::PubSub::ItemList&, const gloox::Error* error) {
    if (error)
        kestra::Log::debug("PubsubManager: deleting an item" + errorText(error));
}

void PubsubManager::handleSubscriptionResult(const std::string& id, const gloox::JID&,
                                             const std::string&, const std::string&,
                                             const gloox::JID&,
                                             const gloox::PubSub::SubscriptionType,
                                             const gloox::Error* error) {
    kestra::Log::debug("PubsubManager: subscribing to " + takeTracked(id) + errorText(error));
}

void PubsubManager::handleUnsubscriptionResult(const std::string& id, const gloox::JID&,
                                               const gloox::Error* error) {
    kestra::Log::debug("PubsubManager: unsubscribing from " + takeTracked(id) + errorText(error));
}
