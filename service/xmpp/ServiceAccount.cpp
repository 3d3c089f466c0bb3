#include "ServiceAccount.h"

#include <gloox/subscription.h>
#include <gloox/tlsdefault.h>

#include <fstream>

namespace service {

ServiceAccount::ServiceAccount(const Options& options, Note note)
    : options_(options), note_(std::move(note)) {
    client_ = std::make_unique<gloox::Client>(options_.domain);
    client_->setPort(options_.port);
    if (!options_.caFile.empty())
        trustCaFile(options_.caFile);
    client_->registerConnectionListener(this);
    client_->registerSubscriptionHandler(this);
    registration_ = std::make_unique<gloox::Registration>(client_.get());
    registration_->registerRegistrationHandler(this);
}

ServiceAccount::~ServiceAccount() {
    registration_.reset();
    client_.reset();
}

std::string ServiceAccount::passwordArgument(const std::string& file, const std::string& given) {
    if (file.empty())
        return given;
    std::ifstream in(file);
    std::string password;
    std::getline(in, password);
    return password;
}

int ServiceAccount::run(const volatile std::sig_atomic_t& stop, const std::function<void()>& tick) {
    if (!client_->connect(false))
        return 1;
    gloox::ConnectionError e = gloox::ConnNoError;
    while (!stop && !failed_ && e == gloox::ConnNoError) {
        e = client_->recv(100000);
        if (client_->authed() && tick)
            tick();
    }
    if (stop)
        client_->disconnect();
    return stop ? 0 : 1;
}

// Connected without an account for registering, or signed in after it.
void ServiceAccount::onConnect() {
    if (!client_->authed()) {
        registration_->fetchRegistrationFields();
        return;
    }
    if (signedIn_)
        signedIn_();
}

void ServiceAccount::onDisconnect(gloox::ConnectionError e) {
    note_("disconnected " + std::to_string(e));
}

bool ServiceAccount::onTLSConnect(const gloox::CertInfo& info) {
    if (info.status != gloox::CertOk)
        note_("certificate refused " + std::to_string(info.status) + " " + info.issuer + " " +
              info.server);
    return info.status == gloox::CertOk;
}

void ServiceAccount::handleRegistrationFields(const gloox::JID&, int fields, std::string) {
    gloox::RegistrationFields values;
    values.username = options_.user;
    values.password = options_.password;
    registration_->createAccount(fields, values);
}

void ServiceAccount::handleRegistrationResult(const gloox::JID&, gloox::RegistrationResult result) {
    // A second run finds its account there already.
    if (result != gloox::RegistrationSuccess && result != gloox::RegistrationConflict) {
        note_("registration failed " + std::to_string(result));
        failed_ = true;
        return;
    }
    client_->setUsername(options_.user);
    client_->setPassword(options_.password);
    client_->setResource(options_.resource);
    client_->login();
}

void ServiceAccount::handleSubscription(const gloox::Subscription& s) {
    if (s.subtype() != gloox::Subscription::Subscribe)
        return;
    const gloox::JID from(s.from().bare());
    client_->send(gloox::Subscription(gloox::Subscription::Subscribed, from));
    client_->send(gloox::Subscription(gloox::Subscription::Subscribe, from));
    note_("subscribed " + from.bare());
}

// gloox never hands ClientBase::setCACerts to its TLS object, so the account builds its own
// TLS object with the CA file.
void ServiceAccount::trustCaFile(const std::string& caFile) {
    auto* tls = new gloox::TLSDefault(client_.get(), client_->server());
    if (!tls->init()) {
        delete tls;
        return;
    }
    tls->setCACerts({caFile});
    client_->setEncryptionImpl(tls);
}

}  // namespace service
