#include "client/gps/NMEALineBuffer.h"

bool NMEALineBuffer::takeLine(std::string& line) {
    const std::size_t end = text_.find('\n');
    if (end == std::string::npos) {
        if (!wantsData()) {
            dropNoise();
        }
        return false;
    }
    line.assign(text_, 0, end + 1);
    text_.erase(0, end + 1);
    return true;
}

// A full buffer without a line end holds no whole sentence (one is at most 82 bytes). A
// sentence may have begun at its last '$' after binary data, so that part is kept.
void NMEALineBuffer::dropNoise() {
    const std::size_t start = text_.rfind('$');
    if (start == std::string::npos || start == 0) {
        text_.clear();
    } else {
        text_.erase(0, start);
    }
}
