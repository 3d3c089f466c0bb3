#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "client/gps/GPSTypes.h"

// The satellites in view of one reporting cycle, gathered from the GSV messages of every
// talker (a receiver that combines GPS and GLONASS sends a "$GPGSV" and a "$GLGSV"
// sequence each cycle, and the list holds both).
//
// States: closed -> open. A GGA sentence closes the cycle; the next GSV message then starts
// an empty list. A sequence that starts again (its message 1 arrives once more) while the
// cycle is open also starts a new list, so a receiver that sends no GGA does not pile up
// the same satellites cycle after cycle.
class SatelliteCycle {
public:
    // Bounds against malformed input; far above what a sky can hold.
    static constexpr std::size_t MAX_SATELLITES = 255;
    static constexpr std::size_t MAX_SEQUENCES = 32;

    // Forgets everything (a new start of the source).
    void clear();
    // A GGA sentence arrived: the next GSV message begins a new list.
    void close() { open_ = false; }
    // Takes in the head of one GSV message of a sequence (the talker, and the signal when
    // the receiver sends several per constellation). Returns true when it is the last
    // message of its sequence, i.e. the list is complete for that sequence.
    bool takeMessage(const std::string& sequence, int messageCount, int messageNumber);
    // Appends a satellite, unless the same talker listed it already in this cycle (for
    // another signal).
    void add(const std::string& talker, const SatelliteInfo& satellite);
    const SatelliteList& satellites() const { return satellites_; }

private:
    struct Sequence {
        std::string name;
        int messageCount;
    };
    void startList();
    Sequence* find(const std::string& name);

    bool open_ = false;
    std::vector<Sequence> sequences_;
    SatelliteList satellites_;
    std::vector<std::string> talkers_;  // the talker of each entry of satellites_
};
