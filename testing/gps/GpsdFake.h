#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace gpstesting {

// A private gpsd on a free loopback port, fed by gpsfake with an NMEA log (looped, so a
// client that connects late still sees every sentence). gpsfake and its gpsd run in a
// session of their own and are ended together; a hard time limit ends them even when the
// test process dies first. Nothing is killed by name.
class GpsdFake {
public:
    // cycleSeconds: gpsfake's pause after every sentence.
    explicit GpsdFake(std::filesystem::path log, double cycleSeconds = 0.01);
    ~GpsdFake();
    GpsdFake(const GpsdFake&) = delete;
    GpsdFake& operator=(const GpsdFake&) = delete;

    // Starts gpsfake and waits until its gpsd accepts connections. False (with the reason
    // in error()) when that does not happen.
    bool start();
    void stop();
    const std::string& port() const { return port_; }
    const std::string& error() const { return error_; }

    // A loopback port that nothing listens on at the moment.
    static std::string freePort();
    // Whether something accepts connections on 127.0.0.1:port.
    static bool accepts(const std::string& port);

private:
    bool spawn();
    void removeSharedMemory() const;

    std::filesystem::path log_;
    double cycleSeconds_;
    std::string port_;
    std::string workDir_;
    std::string error_;
    pid_t pid_ = -1;
};

}  // namespace gpstesting
