#pragma once

#include <cstddef>
#include <string>

// The bytes read from a serial receiver, cut into lines. A line is handed out only once its
// line feed has arrived, so a sentence split across two reads is handled once, whole.
class NMEALineBuffer {
public:
    // More is read only while the buffer holds fewer bytes than this.
    static constexpr std::size_t READ_LIMIT = 1024;

    bool wantsData() const { return text_.size() < READ_LIMIT; }
    void append(const std::string& data) { text_ += data; }
    bool hasCompleteLine() const { return text_.find('\n') != std::string::npos; }
    // Takes out the first line, line feed included. False when no complete line is there;
    // a full buffer without any line feed (binary data, noise, or a receiver that never ends
    // its lines) is then dropped up to its last '$', since nothing could be read after it.
    bool takeLine(std::string& line);
    std::size_t size() const { return text_.size(); }

private:
    void dropNoise();

    std::string text_;
};
