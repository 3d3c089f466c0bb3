// The service's search bot: a real XMPP account (its user name begins
// with "sys") that registers itself by in-band registration, accepts every subscription
// request, answers "jabberBot:search" queries from the users it knows, and records what
// clients tell it ("jabberBot:updateInfo" messages, "lumora:x:visibility" presences).
//
//   lumora_searchbot --port P --user sysNAME (--password PW | --password-file F) --state DIR
//                    [--domain D] [--cafile CA]
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
#include <gloox/message.h>
#include <gloox/messagehandler.h>
#include <gloox/parser.h>
#include <gloox/presencehandler.h>
#include <gloox/tag.h>
#include <gloox/taghandler.h>

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
#include "ServiceAccount.h"

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

class SearchBot : public gloox::MessageHandler, public gloox::PresenceHandler {
public:
    SearchBot(const service::ServiceAccount::Options& options, const std::string& state)
        : state_(state),
          record_(state + "/record", std::ios::app),
          account_(options, [this](const std::string& line) { note(line); }) {
        gloox::Client& client = account_.client();
        client.registerMessageHandler(this);
        client.registerPresenceHandler(this);
        client.registerStanzaExtension(new VisibilityExtension());
        account_.setSignedInHandler([this] { std::ofstream(state_ + "/ready") << "ready\n"; });
    }

    int run() {
        return account_.run(stopRequested, [this] { sendOutbox(); });
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
            account_.client().send(stanza->clone());
        note("sent batch " + std::to_string(++sentBatches_));
    }

    static void addField(gloox::Tag* item, const std::string& var, const std::string& value) {
        gloox::Tag* field = new gloox::Tag(item, "field", "var", var);
        new gloox::Tag(field, "value", value);
    }

    void answer(const gloox::JID& to, const std::map<std::string, std::string>& query) {
        gloox::Message reply(gloox::Message::Chat, to, answerText(query));
        account_.client().send(reply);
    }

    std::string state_;
    int sentBatches_ = 0;
    std::ofstream record_;
    service::ServiceAccount account_;
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
    service::ServiceAccount::Options options;
    options.domain = argument(argc, argv, "--domain", "localhost");
    options.port = port;
    options.user = user;
    options.password = service::ServiceAccount::passwordArgument(
        argument(argc, argv, "--password-file"), argument(argc, argv, "--password", "secret"));
    options.caFile = argument(argc, argv, "--cafile");
    SearchBot bot(options, state);
    return bot.run();
}
