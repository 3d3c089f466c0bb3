// lumora-service: the service's web endpoint on loopback, as a program of its own.
//
//   lumora-service [--port N] [--host H] [--version V] [--package FILE] [--gid N]
//                  [--gid-file FILE]
//
// Serves "clientinfo/" (announcing version V, default 1.9.0, with FILE as its package),
// "getid/" and the package until SIGTERM or SIGINT. With --gid-file the GID counter is kept
// in FILE, so that no id is handed out twice across restarts.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "LumoraService.h"

namespace {

struct Options {
    int port = 5280;
    std::string host = "127.0.0.1";
    std::string version = "1.9.0";
    std::string package;
    long long gid = 100001;
    std::string gidFile;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--port") {
            options.port = std::atoi(value.c_str());
        } else if (name == "--host") {
            options.host = value;
        } else if (name == "--version") {
            options.version = value;
        } else if (name == "--package") {
            options.package = value;
        } else if (name == "--gid") {
            options.gid = std::atoll(value.c_str());
        } else if (name == "--gid-file") {
            options.gidFile = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << "usage: lumora-service [--port N] [--host H] [--version V] "
                     "[--package FILE] [--gid N] [--gid-file FILE]\n";
        return 2;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before the server's threads start
    try {
        fixture::LumoraService service(options.port, options.host);
        fixture::LumoraService::VersionInfo info;
        info.version = options.version;
        service.setVersionInfo(info);
        service.setNextGid(options.gid);
        if (!options.gidFile.empty()) {
            service.keepGidsIn(options.gidFile);
        }
        if (!options.package.empty()) {
            std::ifstream in(options.package, std::ios::binary);
            if (!in) {
                std::cerr << "lumora-service: cannot read " << options.package << "\n";
                return 1;
            }
            service.setPackage(std::string(std::istreambuf_iterator<char>(in), {}));
        }
        std::cout << "lumora-service: listening on " << service.root() << std::endl;
        int received = 0;
        sigwait(&signals, &received);
        service.stop();
    } catch (const std::exception& e) {
        std::cerr << "lumora-service: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
