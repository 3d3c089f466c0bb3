// lumora-tiles: the local tile server of the local service.
//
//   lumora-tiles --tiles FOLDER [--port N] [--host H] [--google-domain D]
//                [--microsoft-domain D]
//
// Serves the tile set in FOLDER (made by make_tiles.py) in the address forms of the three
// tile sources until SIGTERM or SIGINT.
#include <csignal>
#include <iostream>
#include <string>

#include "TileServer.h"

namespace {

bool parse(int argc, char** argv, service::TileServer::Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--tiles") {
            options.folder = value;
        } else if (name == "--port") {
            options.port = std::atoi(value.c_str());
        } else if (name == "--host") {
            options.host = value;
        } else if (name == "--google-domain") {
            options.googleDomain = value;
        } else if (name == "--microsoft-domain") {
            options.microsoftDomain = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !options.folder.empty();
}

}  // namespace

int main(int argc, char** argv) {
    service::TileServer::Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << "usage: lumora-tiles --tiles FOLDER [--port N] [--host H] "
                     "[--google-domain D] [--microsoft-domain D]\n";
        return 2;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before the server's threads start
    try {
        service::TileServer server(options);
        std::cout << "lumora-tiles: serving " << options.folder << " on http://" << options.host
                  << ":" << server.port() << "/" << std::endl;
        int received = 0;
        sigwait(&signals, &received);
        server.stop();
    } catch (const std::exception& e) {
        std::cerr << "lumora-tiles: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
