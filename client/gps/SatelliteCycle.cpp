#include "client/gps/SatelliteCycle.h"

void SatelliteCycle::clear() {
    open_ = false;
    sequences_.clear();
    satellites_.clear();
    talkers_.clear();
}

void SatelliteCycle::startList() {
    clear();
    open_ = true;
}

SatelliteCycle::Sequence* SatelliteCycle::find(const std::string& name) {
    for (Sequence& sequence : sequences_) {
        if (sequence.name == name) {
            return &sequence;
        }
    }
    return nullptr;
}

bool SatelliteCycle::takeMessage(const std::string& sequence, int messageCount, int messageNumber) {
    Sequence* current = find(sequence);
    if (!open_ || (current != nullptr && messageNumber == 1)) {
        startList();
        current = nullptr;
    }
    if (current == nullptr) {
        if (sequences_.size() >= MAX_SEQUENCES) {
            startList();
        }
        sequences_.push_back({sequence, 0});
        current = &sequences_.back();
    }
    // The count is taken from the first message that gives one.
    if (current->messageCount == 0) {
        current->messageCount = messageCount;
    }
    return messageNumber == current->messageCount;
}

void SatelliteCycle::add(const std::string& talker, const SatelliteInfo& satellite) {
    if (satellites_.size() >= MAX_SATELLITES) {
        return;
    }
    for (std::size_t i = 0; i < satellites_.size(); ++i) {
        if (satellites_[i].prn == satellite.prn && talkers_[i] == talker) {
            return;
        }
    }
    satellites_.push_back(satellite);
    talkers_.push_back(talker);
}
