#include "client/gps/NMEALineBuffer.h"

bool NMEALineBuffer::takeLine(std::string& line) {
    const std::size_t end = text_.find('\n');
    if (end == std::string::npos) {
        if (!wantsData()) {
            text_.clear();
        }
        return false;
    }
    line.assign(text_, 0, end + 1);
    text_.erase(0, end + 1);
    return true;
}
