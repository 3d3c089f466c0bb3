// The service's search bot, as a test fixture: a real XMPP account (its user name begins
// with "sys") that registers itself by in-band registration, accepts every subscription
// request, answers "jabberBot:search" queries from the users it knows, and records what
// clients tell it ("jabberBot:updateInfo" messages, "lumora:x:visibility" presences).
//
//   lumora_searchbot --port P --user sysNAME --password PW --state DIR [--domain D]
//                    [--cafile CA]
//
// DIR/users     the users it knows (see BotDirectory.h), read for every query
// DIR/mode      how to answer, read for every query: "normal" (default), "error" (an
//               <error/> answer), "malformed" (unparsable XML), "noresult" (a text without
//               the word the client looks for), "other" (a document without items)
// DIR/record    what it saw, one line per event, appended and flushed at once
// DIR/ready     written once it is signed in with its roster
// DIR/outbox    stanzas to send as they are (any XML, also malformed values), picked up
//               within 100 ms; each batch is recorded as "sent batch N"
// With --peer the account may have any name: the program then plays an ordinary contact
// that a test scripts through DIR/outbox.
// SIGTERM or SIGINT ends it in order.

#include <gloox/client.h>
#include <gloox/connectionlistener.h>
#include <gloox/message.h>
#include <gloox/messagehandler.h>
#include <gloox/parser.h>
#include <gloox/presencehandler.h>
#include <gloox/registration.h>
#include <gloox/registrationhandler.h>
#include <gloox/rostermanager.h>
#include <gloox/subscription.h>
#include <gloox/subscriptionhandler.h>
#include <gloox/tag.h>
#include <gloox/taghandler.h>
#include <gloox/tlsdefault.h>

#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "BotDirectory.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) {
    stopRequested = 1;
}

const int ExtVisibility = gloox::ExtUser + 20;

// The presence child that carries the client's visibility.
class VisibilityExtension : public gloox::StanzaExtension {
public:
    explicit VisibilityExtension(const gloox::Tag* tag = nullptr)
        : StanzaExtension(ExtVisibility), value_(tag ? tag->findAttribute("value") : "") {}
    const std::string& filterString() const override {
        static const std::string filter = "/presence/x[@xmlns='lumora:x:visibility']";
        return filter;
    }
    gloox::StanzaExtension* newInstance(const gloox::Tag* tag) const override {
        return new VisibilityExtension(tag);
    }
    gloox::Tag* tag() const override {
        auto* t = new gloox::Tag("x", "value", value_);
        t->setXmlns("lumora:x:visibility");
        return t;
    }
    gloox::StanzaExtension* clone() const override { return new VisibilityExtension(*this); }
    const std::string& value() const { return value_; }

private:
    std::string value_;
};

// Keeps the first complete element that the parser delivers.
class FirstTag : public gloox::TagHandler {
public:
    void handleTag(gloox::Tag* tag) override {
        if (!tag_)
            tag_.reset(tag->clone());
    }
    std::unique_ptr<gloox::Tag> tag_;
};

std::map<std::string, std::string> fieldsOf(const gloox::Tag* element) {
    std::map<std::string, std::string> fields;
    for (const gloox::Tag* field : element->findChildren("field")) {
        const gloox::Tag* value = field->findChild("value");
        fields[field->findAttribute("var")] = value ? value->cdata() : field->cdata();
    }
    return fields;
}

std::string readWord(const std::string& path, const std::string& fallback) {
    std::ifstream in(path);
    std::string word;
    return (in >> word) ? word : fallback;
}

class SearchBot : public gloox::ConnectionListener,
                  public gloox::RegistrationHandler,
                  public gloox::MessageHandler,
                  public gloox::PresenceHandler,
                  public gloox::SubscriptionHandler {
public:
    SearchBot(const std::string& domain, int port, const std::string& user,
              const std::string& password, const std::string& state, const std::string& caFile)
        : user_(user),
          password_(password),
          state_(state),
          record_(state + "/record", std::ios::app) {
        client_ = std::make_unique<gloox::Client>(domain);
        client_->setPort(port);
        if (!caFile.empty())
            trustCaFile(caFile);
        client_->registerConnectionListener(this);
        client_->registerMessageHandler(this);
        client_->registerPresenceHandler(this);
        client_->registerSubscriptionHandler(this);
        client_->registerStanzaExtension(new VisibilityExtension());
        registration_ = std::make_unique<gloox::Registration>(client_.get());
        registration_->registerRegistrationHandler(this);
    }

    int run() {
        if (!client_->connect(false))
            return 1;
        gloox::ConnectionError e = gloox::ConnNoError;
        while (!stopRequested && e == gloox::ConnNoError) {
            e = client_->recv(100000);
            if (client_->authed())
                sendOutbox();
        }
        if (stopRequested)
            client_->disconnect();
        return stopRequested ? 0 : 1;
    }

    // Signed in (second connect, after the registration) or connected for registering.
    void onConnect() override {
        if (!client_->authed()) {
            registration_->fetchRegistrationFields();
            return;
        }
        std::ofstream(state_ + "/ready") << "ready\n";
    }
    void onDisconnect(gloox::ConnectionError e) override {
        note("disconnected " + std::to_string(e));
    }
    bool onTLSConnect(const gloox::CertInfo& info) override {
        if (info.status != gloox::CertOk)
            note("certificate refused " + std::to_string(info.status) + " " + info.issuer + " " +
                 info.server);
        return info.status == gloox::CertOk;
    }

    void handleRegistrationFields(const gloox::JID&, int fields, std::string) override {
        gloox::RegistrationFields values;
        values.username = user_;
        values.password = password_;
        registration_->createAccount(fields, values);
    }
    void handleRegistrationResult(const gloox::JID&, gloox::RegistrationResult result) override {
        // A second run of the same bot finds its account there already.
        if (result != gloox::RegistrationSuccess && result != gloox::RegistrationConflict) {
            note("registration failed " + std::to_string(result));
            stopRequested = 1;
            return;
        }
        client_->setUsername(user_);
        client_->setPassword(password_);
        client_->setResource("bot");
        client_->login();
    }
    void handleAlreadyRegistered(const gloox::JID&) override {}
    void handleDataForm(const gloox::JID&, const gloox::DataForm&) override {}
    void handleOOB(const gloox::JID&, const gloox::OOB&) override {}

    void handleSubscription(const gloox::Subscription& s) override {
        if (s.subtype() != gloox::Subscription::Subscribe)
            return;
        const gloox::JID from(s.from().bare());
        client_->send(gloox::Subscription(gloox::Subscription::Subscribed, from));
        client_->send(gloox::Subscription(gloox::Subscription::Subscribe, from));
        note("subscribed " + from.bare());
    }

    void handlePresence(const gloox::Presence& p) override {
        if (const auto* x = p.findExtension<VisibilityExtension>(ExtVisibility)) {
            note("visibility " + p.from().bare() + " " + x->value());
        }
    }

    void handleMessage(const gloox::Message& msg, gloox::MessageSession*) override {
        if (msg.body().empty())
            return;
        FirstTag first;
        gloox::Parser parser(&first);
        std::string body = msg.body();
        if (parser.feed(body) != -1 || !first.tag_) {
            note("unparsable " + msg.from().bare());
            return;
        }
        const gloox::Tag* doc = first.tag_.get();
        if (doc->xmlns() == "jabberBot:updateInfo") {
            note("updateInfo " + msg.from().bare() + joined(fieldsOf(doc)));
        } else if (doc->xmlns() == "jabberBot:search") {
            const auto query = fieldsOf(doc);
            note("search " + msg.from().bare() + joined(query));
            answer(msg.from(), query);
        }
    }

private:
    static std::string joined(const std::map<std::string, std::string>& fields) {
        std::string text;
        for (const auto& f : fields)
            text += " " + f.first + "=" + f.second;
        return text;
    }

    void note(const std::string& line) { record_ << line << std::endl; }

    // gloox never hands ClientBase::setCACerts to its TLS object, so the bot builds its
    // own TLS object with the CA file.
    void trustCaFile(const std::string& caFile) {
        auto* tls = new gloox::TLSDefault(client_.get(), client_->server());
        if (!tls->init()) {
            delete tls;
            return;
        }
        tls->setCACerts({caFile});
        client_->setEncryptionImpl(tls);
    }

    std::string answerText(const std::map<std::string, std::string>& query) {
        const std::string mode = readWord(state_ + "/mode", "normal");
        if (mode == "error")
            return "<result xmlns='jabberBot:search'><error code='500'>search "
                   "failed</error></result>";
        if (mode == "malformed")
            return "<result xmlns='jabberBot:search'><items><item>";
        if (mode == "noresult")
            return "<answer>nothing here</answer>";
        if (mode == "other")
            return "<result xmlns='jabberBot:search'><status>busy</status></result>";
        BotDirectory directory;
        directory.load(state_ + "/users");
        gloox::Tag result("result");
        result.setXmlns("jabberBot:search");
        gloox::Tag* items = new gloox::Tag(&result, "items");
        for (const BotUser& u : directory.find(query)) {
            gloox::Tag* item = new gloox::Tag(items, "item");
            // The service writes its field names in its own case; clients lower-case them.
            addField(item, "JID", u.jid);
            addField(item, "first", u.first);
            addField(item, "last", u.last);
            addField(item, "nick", u.nick);
            addField(item, "email", u.email);
            addField(item, "gender", u.gender);
        }
        return result.xml();
    }

    void sendOutbox() {
        const std::string path = state_ + "/outbox";
        std::ifstream in(path);
        if (!in)
            return;
        std::stringstream text;
        text << in.rdbuf();
        in.close();
        std::remove(path.c_str());
        FirstTag batch;
        gloox::Parser parser(&batch);
        std::string wrapped = "<batch>" + text.str() + "</batch>";
        if (parser.feed(wrapped) != -1 || !batch.tag_) {
            note("unparsable outbox");
            return;
        }
        for (const gloox::Tag* stanza : batch.tag_->children())
            client_->send(stanza->clone());
        note("sent batch " + std::to_string(++sentBatches_));
    }

    static void addField(gloox::Tag* item, const std::string& var, const std::string& value) {
        gloox::Tag* field = new gloox::Tag(item, "field", "var", var);
        new gloox::Tag(field, "value", value);
    }

    void answer(const gloox::JID& to, const std::map<std::string, std::string>& query) {
        gloox::Message reply(gloox::Message::Chat, to, answerText(query));
        client_->send(reply);
    }

    std::string user_, password_, state_;
    int sentBatches_ = 0;
    std::ofstream record_;
    std::unique_ptr<gloox::Client> client_;
    std::unique_ptr<gloox::Registration> registration_;
};

std::string argument(int argc, char** argv, const std::string& name,
                     const std::string& fallback = "") {
    for (int i = 1; i + 1 < argc; ++i) {
        if (name == argv[i])
            return argv[i + 1];
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string user = argument(argc, argv, "--user");
    const std::string state = argument(argc, argv, "--state");
    const int port = std::atoi(argument(argc, argv, "--port", "0").c_str());
    bool peer = false;
    for (int i = 1; i < argc; ++i)
        peer = peer || std::string(argv[i]) == "--peer";
    if ((!peer && user.rfind("sys", 0) != 0) || state.empty() || port <= 0) {
        std::cerr << "usage: lumora_searchbot --port P --user sysNAME --password PW --state DIR "
                     "[--domain D] [--cafile CA] [--peer]\n";
        return 2;
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    SearchBot bot(argument(argc, argv, "--domain", "localhost"), port, user,
                  argument(argc, argv, "--password", "secret"), state,
                  argument(argc, argv, "--cafile"));
    return bot.run();
}
