#pragma once

#include <gloox/client.h>
#include <gloox/connectionlistener.h>
#include <gloox/registration.h>
#include <gloox/registrationhandler.h>
#include <gloox/subscriptionhandler.h>

#include <csignal>
#include <functional>
#include <memory>
#include <string>

namespace service {

// An account of the service's own programs (the search bot, the demo contact) on the XMPP
// server: it creates itself by in-band registration on its first start (a later start finds
// it there), signs in, trusts the server's certificate only when it verifies against the CA
// file given (or the system's store), and accepts every authorisation request, asking for
// the requester's presence in return.
class ServiceAccount : public gloox::ConnectionListener,
                       public gloox::RegistrationHandler,
                       public gloox::SubscriptionHandler {
public:
    struct Options {
        std::string domain = "localhost";
        int port = 5222;
        std::string user;
        std::string password;
        std::string resource = "bot";
        std::string caFile;
    };

    using Note = std::function<void(const std::string&)>;

    // The password given as --password-file (first line of the file), else --password: a
    // password on the command line is visible to every user of the machine.
    static std::string passwordArgument(const std::string& file, const std::string& given);

    ServiceAccount(const Options& options, Note note);
    ~ServiceAccount() override;

    gloox::Client& client() { return *client_; }

    // Called once signed in (after every connect).
    void setSignedInHandler(std::function<void()> handler) { signedIn_ = std::move(handler); }

    // Connects and runs the receive loop until stop becomes non-zero (then signs off: 0) or
    // the connection ends (1). tick runs after every receive turn (at most 100 ms apart)
    // while signed in.
    int run(const volatile std::sig_atomic_t& stop, const std::function<void()>& tick);

    void onConnect() override;
    void onDisconnect(gloox::ConnectionError e) override;
    bool onTLSConnect(const gloox::CertInfo& info) override;

    void handleRegistrationFields(const gloox::JID&, int fields, std::string) override;
    void handleRegistrationResult(const gloox::JID&, gloox::RegistrationResult result) override;
    void handleAlreadyRegistered(const gloox::JID&) override {}
    void handleDataForm(const gloox::JID&, const gloox::DataForm&) override {}
    void handleOOB(const gloox::JID&, const gloox::OOB&) override {}

    void handleSubscription(const gloox::Subscription& s) override;

private:
    void trustCaFile(const std::string& caFile);

    Options options_;
    Note note_;
    bool failed_ = false;
    std::function<void()> signedIn_;
    std::unique_ptr<gloox::Client> client_;
    std::unique_ptr<gloox::Registration> registration_;
};

}  // namespace service
