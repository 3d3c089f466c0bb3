#pragma once

#include <gloox/clientbase.h>
#include <gloox/jid.h>
#include <gloox/pubsubmanager.h>
#include <gloox/pubsubresulthandler.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>

// Publish-subscribe on the service's component for the users' position nodes. Results are
// logged. A refused creation, configuration or publication of the user's own node (another
// account created it first, or the server forbids it) is logged at ERROR level and
// reported through the refusal callback, once per session; other failures reach no one.
// Every call must be made under the session's lock, like every other use of the client;
// the answers arrive on the receive thread, under the same lock.
class PubsubManager : public gloox::PubSub::ResultHandler {
public:
    // subscriber: the user's bare JID, so that events reach every resource.
    PubsubManager(gloox::ClientBase* client, const std::string& service,
                  const std::string& subscriber, const std::string& ownNode,
                  std::function<void()> ownNodeRefused);

    void subscribeToTheNode(const std::string& node);
    void unsubscribeFromTheNode(const std::string& node);
    // Publishes the payload as item "1" of the node; takes ownership of the payload.
    void setDataToTheNode(const std::string& node, gloox::Tag* payload);
    void deleteNodeItem(const std::string& node, const std::string& itemId);
    // Makes sure the node exists with the access model: open to everybody, or restricted to
    // the user's presence subscribers. A node that exists already is reconfigured. Either
    // way the node is set to name each item's publisher in its events, so that subscribers
    // can tell the owner's positions from anybody else's.
    void changeConfigurations(const std::string& node, bool open);

    // Results, for the log.
    void handleItem(const gloox::JID&, const std::string&, const gloox::Tag*) override {}
    void handleItems(const std::string&, const gloox::JID&, const std::string&,
                     const gloox::PubSub::ItemList&, const gloox::Error*) override {}
    void handleItemPublication(const std::string& id, const gloox::JID& service,
                               const std::string& node, const gloox::PubSub::ItemList& items,
                               const gloox::Error* error) override;
    void handleItemDeletion(const std::string& id, const gloox::JID& service,
                            const std::string& node, const gloox::PubSub::ItemList& items,
                            const gloox::Error* error) override;
    void handleSubscriptionResult(const std::string& id, const gloox::JID& service,
                                  const std::string& node, const std::string& sid,
                                  const gloox::JID& jid, const gloox::PubSub::SubscriptionType type,
                                  const gloox::Error* error) override;
    void handleUnsubscriptionResult(const std::string& id, const gloox::JID& service,
                                    const gloox::Error* error) override;
    void handleSubscriptionOptions(const std::string&, const gloox::JID&, const gloox::JID&,
                                   const std::string&, const gloox::DataForm*, const std::string&,
                                   const gloox::Error*) override {}
    void handleSubscriptionOptionsResult(const std::string&, const gloox::JID&, const gloox::JID&,
                                         const std::string&, const std::string&,
                                         const gloox::Error*) override {}
    void handleSubscribers(const std::string&, const gloox::JID&, const std::string&,
                           const gloox::PubSub::SubscriptionList&, const gloox::Error*) override {}
    void handleSubscribersResult(const std::string&, const gloox::JID&, const std::string&,
                                 const gloox::PubSub::SubscriberList*,
                                 const gloox::Error*) override {}
    void handleAffiliates(const std::string&, const gloox::JID&, const std::string&,
                          const gloox::PubSub::AffiliateList*, const gloox::Error*) override {}
    void handleAffiliatesResult(const std::string&, const gloox::JID&, const std::string&,
                                const gloox::PubSub::AffiliateList*, const gloox::Error*) override {
    }
    void handleNodeConfig(const std::string&, const gloox::JID&, const std::string&,
                          const gloox::DataForm*, const gloox::Error*) override {}
    void handleNodeConfigResult(const std::string& id, const gloox::JID& service,
                                const std::string& node, const gloox::Error* error) override;
    void handleNodeCreation(const std::string& id, const gloox::JID& service,
                            const std::string& node, const gloox::Error* error) override;
    void handleNodeDeletion(const std::string&, const gloox::JID&, const std::string&,
                            const gloox::Error*) override {}
    void handleNodePurge(const std::string&, const gloox::JID&, const std::string&,
                         const gloox::Error*) override {}
    void handleSubscriptions(const std::string&, const gloox::JID&,
                             const gloox::PubSub::SubscriptionMap&, const gloox::Error*) override {}
    void handleAffiliations(const std::string&, const gloox::JID&,
                            const gloox::PubSub::AffiliationMap&, const gloox::Error*) override {}
    void handleDefaultNodeConfig(const std::string&, const gloox::JID&, const gloox::DataForm*,
                                 const gloox::Error*) override {}

private:
    static gloox::DataForm* accessForm(bool open);
    std::string takeTracked(const std::string& id);
    void reportResult(const std::string& action, const std::string& node,
                      const gloox::Error* error);

    gloox::PubSub::Manager manager_;
    gloox::JID service_;
    gloox::JID subscriber_;
    // Request id -> node, for the answers that need the node: the library's node argument
    // is not safe to read in every answer.
    std::mutex trackLock_;
    std::map<std::string, std::string> tracked_;
    std::map<std::string, bool> pendingAccess_;  // node -> open, while it is being created
    const std::string ownNode_;
    std::function<void()> ownNodeRefused_;
    bool ownNodeRefusalReported_ = false;  // answers arrive under the session lock
};
