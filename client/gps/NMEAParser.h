#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "client/gps/IGPSListener.h"
#include "client/gps/SatelliteCycle.h"

// Turns complete NMEA lines into listener reports: GGA (time, position, satellites used,
// altitude), RMC (time, fix status, position, speed and course, date), GSV (satellites in
// view) and GSA (which satellites are used). Lines of other types, and lines whose
// checksum does not match, are ignored.
//
// Reports are made only while the owner says it runs. A position is reported only when it
// is a plausible one (not 0/0, see CoordinateUtils::isValid). A latitude of exactly zero
// (what some receivers send before their first fix) makes the parser wait a second, through
// the owner's pause, before it goes on.
class NMEAParser {
public:
    // Enough for the used satellites of every constellation of one cycle.
    static constexpr std::size_t USED_PRN_CAPACITY = 64;
    static constexpr unsigned int ZERO_LATITUDE_PAUSE_MS = 1000;

    NMEAParser(std::function<bool()> isRunning, std::function<void(unsigned int)> pause);

    void setListener(IGPSListener* listener) { listener_ = listener; }
    // Handles one line (up to and including its line feed). True when it was a GGA, RMC, GSV
    // or GSA sentence with a matching checksum. Bytes before the sentence's '$' (binary
    // packets of receivers that mix them in) are skipped.
    bool handleLine(const std::string& line);
    // Forgets the satellites, the used satellites and the cycle; the fix status stays.
    void reset();

    bool fixValid() const { return fixValid_; }
    int usedSatellites() const { return usedCount_; }

private:
    using Fields = std::vector<std::string>;
    void handleGGA(const Fields& fields);
    void handleRMC(const Fields& fields);
    void handleGSV(const std::string& talker, const Fields& fields);
    void handleGSA(const Fields& fields);
    bool takePositionField(std::size_t i, std::size_t first, const std::string& field,
                           WorldCoords& position);
    void reportPosition(const WorldCoords& position, bool valid);
    void reportSpeed(double speed, double course);
    void pauseOnZeroLatitude(const WorldCoords& position);
    bool isUsed(int prn) const;
    bool running() const { return isRunning_(); }
    IGPSListener* listener() const { return running() ? listener_.load() : nullptr; }

    std::function<bool()> isRunning_;
    std::function<void(unsigned int)> pause_;
    std::atomic<IGPSListener*> listener_{nullptr};

    std::atomic<bool> fixValid_{true};  // read by other threads through the owner
    int usedCount_ = 0;
    std::array<int, USED_PRN_CAPACITY> usedPrns_{};
    std::size_t usedPrnsFilled_ = 0;
    bool lastWasGSA_ = false;
    SatelliteCycle cycle_;
};
