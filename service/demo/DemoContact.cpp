// lumora-demo-contact: the demo contact of the local service. A real account that a new
// user can find (directory search by its nick "demo", or through the search bot), that
// accepts every authorisation request, and that moves along a route, publishing its
// position every few seconds the way a Lumora client visible to all does: a "geoloc" item
// with the id "1" on its node "home/<domain>/<user>" at "pubsub.<domain>", open to everybody
// and naming the publisher of each item.
//
//   lumora-demo-contact --port P --user GID (--password PW | --password-file F) --state DIR
//                       [--domain D]
//                       [--cafile CA] [--route "lat,lon;lat,lon;..."] [--interval SECONDS]
//                       [--speed DEGREES_PER_SECOND] [--bot-users FILE]
//
// DIR/ready      written once it is signed in
// DIR/position   the last published position, "latitude;longitude;count"
// --bot-users    the search bot's users file, rewritten with the current position so that a
//                distance search finds the contact near where it is
// SIGTERM or SIGINT ends it in order.

#include <gloox/presence.h>
#include <gloox/tag.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "Route.h"
#include "ServiceAccount.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) {
    stopRequested = 1;
}

// A round trip through western Europe's capitals, about ten minutes at the default speed.
const char* const DEFAULT_ROUTE =
    "48.8566,2.3522;50.8503,4.3517;52.52,13.405;50.0755,14.4378;48.2082,16.3738;"
    "41.9028,12.4964;40.4168,-3.7038";

std::string number(double value) {
    std::ostringstream text;
    text.precision(16);
    text << value;
    return text.str();
}

// Replaces a file through a rename, so that a reader never sees half of it.
void writeFile(const std::string& path, const std::string& text) {
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << text;
        if (!out) {
            return;
        }
    }
    std::rename(partial.c_str(), path.c_str());
}

class DemoContact {
public:
    struct Settings {
        std::string state;
        std::string botUsers;
        double interval = 5;
    };

    DemoContact(const service::ServiceAccount::Options& options, const Settings& settings,
                service::Route route)
        : options_(options),
          settings_(settings),
          route_(std::move(route)),
          account_(options, [](const std::string& line) { std::cerr << "demo: " << line << "\n"; }),
          node_("home/" + options.domain + "/" + options.user),
          started_(std::chrono::steady_clock::now()) {
        account_.setSignedInHandler([this] { signedIn(); });
    }

    int run() {
        return account_.run(stopRequested, [this] { tick(); });
    }

private:
    gloox::Tag* iq(const std::string& to, const std::string& type) {
        auto* tag = new gloox::Tag("iq");
        tag->addAttribute("type", type);
        if (!to.empty())
            tag->addAttribute("to", to);
        tag->addAttribute("id", account_.client().getID());
        return tag;
    }

    void signedIn() {
        gloox::Client& client = account_.client();
        client.setPresence(gloox::Presence::Available, 127);
        storeCard();
        createNode();
        nextPublish_ = 0;
        std::ofstream(settings_.state + "/ready") << "ready\n";
    }

    // The card that the directory search finds: nick "demo", name "Lumora Demo".
    void storeCard() {
        gloox::Tag* set = iq("", "set");
        auto* card = new gloox::Tag(set, "vCard");
        card->setXmlns("vcard-temp");
        new gloox::Tag(card, "FN", "Lumora Demo");
        auto* name = new gloox::Tag(card, "N");
        new gloox::Tag(name, "FAMILY", "Demo");
        new gloox::Tag(name, "GIVEN", "Lumora");
        new gloox::Tag(card, "NICKNAME", "demo");
        auto* email = new gloox::Tag(card, "EMAIL");
        new gloox::Tag(email, "INTERNET");
        new gloox::Tag(email, "USERID", "demo@" + options_.domain);
        new gloox::Tag(card, "DESC", "I travel around western Europe. Ask me for authorisation!");
        account_.client().send(set);
    }

    // Open to everybody, and naming each item's publisher (clients accept a position only
    // from the node's own user). An existing node answers "conflict" to the creation, so
    // it is configured as well.
    void createNode() {
        gloox::Tag* create = iq("pubsub." + options_.domain, "set");
        auto* pubsub = new gloox::Tag(create, "pubsub");
        pubsub->setXmlns("http://jabber.org/protocol/pubsub");
        new gloox::Tag(pubsub, "create", "node", node_);
        nodeForm(new gloox::Tag(pubsub, "configure"));
        account_.client().send(create);

        gloox::Tag* configure = iq("pubsub." + options_.domain, "set");
        auto* owner = new gloox::Tag(configure, "pubsub");
        owner->setXmlns("http://jabber.org/protocol/pubsub#owner");
        nodeForm(new gloox::Tag(owner, "configure", "node", node_));
        account_.client().send(configure);
    }

    static void nodeForm(gloox::Tag* parent) {
        auto* form = new gloox::Tag(parent, "x");
        form->setXmlns("jabber:x:data");
        form->addAttribute("type", "submit");
        field(form, "FORM_TYPE", "http://jabber.org/protocol/pubsub#node_config")
            ->addAttribute("type", "hidden");
        field(form, "pubsub#access_model", "open");
        field(form, "pubsub#itemreply", "publisher");
    }

    static gloox::Tag* field(gloox::Tag* form, const std::string& var, const std::string& value) {
        auto* f = new gloox::Tag(form, "field", "var", var);
        new gloox::Tag(f, "value", value);
        return f;
    }

    void tick() {
        const double now =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        if (now < nextPublish_)
            return;
        nextPublish_ = now + settings_.interval;
        publish(route_.at(now));
    }

    void publish(const service::Route::Point& at) {
        gloox::Tag* set = iq("pubsub." + options_.domain, "set");
        auto* pubsub = new gloox::Tag(set, "pubsub");
        pubsub->setXmlns("http://jabber.org/protocol/pubsub");
        auto* item =
            new gloox::Tag(new gloox::Tag(pubsub, "publish", "node", node_), "item", "id", "1");
        auto* geoloc = new gloox::Tag(item, "geoloc");  // no namespace of its own
        new gloox::Tag(geoloc, "latitude", number(at.latitude));
        new gloox::Tag(geoloc, "longitude", number(at.longitude));
        account_.client().send(set);
        ++published_;
        writeFile(settings_.state + "/position", number(at.latitude) + ";" + number(at.longitude) +
                                                     ";" + std::to_string(published_) + "\n");
        if (!settings_.botUsers.empty()) {
            writeFile(settings_.botUsers,
                      "# written by lumora-demo-contact\n" + options_.user + "@" + options_.domain +
                          "|Lumora|Demo|demo|demo@" + options_.domain + "|female|online|" +
                          number(at.latitude) + "|" + number(at.longitude) + "\n");
        }
    }

    service::ServiceAccount::Options options_;
    Settings settings_;
    service::Route route_;
    service::ServiceAccount account_;
    std::string node_;
    std::chrono::steady_clock::time_point started_;
    double nextPublish_ = 0;
    long published_ = 0;
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
    service::ServiceAccount::Options options;
    options.domain = argument(argc, argv, "--domain", "localhost");
    options.port = std::atoi(argument(argc, argv, "--port", "0").c_str());
    options.user = argument(argc, argv, "--user");
    options.password = service::ServiceAccount::passwordArgument(
        argument(argc, argv, "--password-file"), argument(argc, argv, "--password"));
    options.caFile = argument(argc, argv, "--cafile");
    options.resource = "Lumora";
    DemoContact::Settings settings;
    settings.state = argument(argc, argv, "--state");
    settings.botUsers = argument(argc, argv, "--bot-users");
    settings.interval = std::atof(argument(argc, argv, "--interval", "5").c_str());
    if (options.port <= 0 || options.user.empty() || options.password.empty() ||
        settings.state.empty() || !(settings.interval > 0)) {
        std::cerr << "usage: lumora-demo-contact --port P --user GID --password PW --state DIR "
                     "[--domain D] "
                     "[--cafile CA] [--route \"lat,lon;...\"] [--interval S] [--speed DEG_PER_S] "
                     "[--bot-users FILE]\n";
        return 2;
    }
    try {
        service::Route route =
            service::Route::parse(argument(argc, argv, "--route", DEFAULT_ROUTE));
        route.setSpeed(std::atof(argument(argc, argv, "--speed", "0.1").c_str()));
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
        DemoContact demo(options, settings, route);
        return demo.run();
    } catch (const std::exception& e) {
        std::cerr << "lumora-demo-contact: " << e.what() << "\n";
        return 2;
    }
}
