#include "XScreen.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cstdint>

XScreen::XScreen(int width, int height) {
    // -displayfd: the server writes the number it took to this pipe once it accepts clients.
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return;
    }
    ::fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const bool running =
        server_.start("/usr/bin/Xvfb", {"-displayfd", std::to_string(pipeFds[1]), "-screen", "0",
                                        screen, "-fbdir", dir_.str(), "-nolisten", "tcp"});
    ::close(pipeFds[1]);
    std::string number;
    pollfd readable{pipeFds[0], POLLIN, 0};
    while (running && ::poll(&readable, 1, 30000) == 1) {
        char c = 0;
        if (::read(pipeFds[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        number += c;
    }
    ::close(pipeFds[0]);
    if (!number.empty()) {
        display_ = std::stoi(number);
    }
}

namespace {

// The 32-bit number at a byte offset.
std::uint32_t word(const std::string& bytes, std::size_t offset, bool bigEndian) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    return bigEndian ? (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 |
                        std::uint32_t(p[2]) << 8 | p[3])
                     : (std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 |
                        std::uint32_t(p[1]) << 8 | p[0]);
}

std::uint32_t field(const std::string& bytes, std::size_t index, bool bigEndian) {
    return word(bytes, 4 * index, bigEndian);
}

int shiftOf(std::uint32_t mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1U) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

}  // namespace

QImage XScreen::grab() const {
    // The screen file is an XWD image: a header of 25 32-bit fields, the window name, a
    // colour map of ncolors 12-byte entries, then the rows.
    const std::string bytes = testsupport::readFile(dir_.path() / "Xvfb_screen0");
    if (bytes.size() < 100) {
        return {};
    }
    const bool bigEndian = field(bytes, 1, true) == 7;  // the file version
    const std::uint32_t headerSize = field(bytes, 0, bigEndian);
    const int width = static_cast<int>(field(bytes, 4, bigEndian));
    const int height = static_cast<int>(field(bytes, 5, bigEndian));
    const bool pixelsBigEndian = field(bytes, 7, bigEndian) != 0;
    const std::uint32_t bitsPerPixel = field(bytes, 11, bigEndian);
    const std::uint32_t stride = field(bytes, 12, bigEndian);
    const std::array<std::uint32_t, 3> masks{
        field(bytes, 14, bigEndian), field(bytes, 15, bigEndian), field(bytes, 16, bigEndian)};
    const std::uint32_t colours = field(bytes, 19, bigEndian);
    const std::size_t start = headerSize + 12 * std::size_t(colours);
    if (bitsPerPixel != 32 || start + std::size_t(stride) * height > bytes.size()) {
        return {};
    }
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const std::uint32_t value =
                word(bytes, start + std::size_t(stride) * y + 4 * std::size_t(x), pixelsBigEndian);
            int rgb[3];
            for (int c = 0; c < 3; ++c) {
                rgb[c] = static_cast<int>((value & masks[c]) >> shiftOf(masks[c]));
            }
            row[x] = qRgb(rgb[0], rgb[1], rgb[2]);
        }
    }
    return image;
}

bool XScreen::xdotool(const std::vector<std::string>& commands) const {
    testsupport::ChildProcess tool;
    if (!tool.start("/usr/bin/xdotool", commands, {{"DISPLAY", display()}})) {
        return false;
    }
    int code = -1;
    return tool.waitExit(60000, code) && code == 0;
}
