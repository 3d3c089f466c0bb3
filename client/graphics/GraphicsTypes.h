#pragma once

#include <cstdint>

// A colour as 0x00RRGGBB (the byte order of a Windows COLORREF is not kept: nothing stores
// colours in files).
using Rgb = std::uint32_t;

constexpr Rgb rgb(int red, int green, int blue) {
    return (static_cast<Rgb>(red & 0xFF) << 16) | (static_cast<Rgb>(green & 0xFF) << 8) |
           static_cast<Rgb>(blue & 0xFF);
}
constexpr int redOf(Rgb colour) {
    return static_cast<int>((colour >> 16) & 0xFF);
}
constexpr int greenOf(Rgb colour) {
    return static_cast<int>((colour >> 8) & 0xFF);
}
constexpr int blueOf(Rgb colour) {
    return static_cast<int>(colour & 0xFF);
}

// A rectangle of pixels: left and top inclusive, right and bottom exclusive.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    Rect() = default;
    Rect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b)
        : left(l), top(t), right(r), bottom(b) {}

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    // Whether the two rectangles share at least one pixel.
    bool intersects(const Rect& other) const {
        return !isEmpty() && !other.isEmpty() && left < other.right && other.left < right &&
               top < other.bottom && other.top < bottom;
    }
    Rect intersected(const Rect& other) const {
        Rect r(left > other.left ? left : other.left, top > other.top ? top : other.top,
               right < other.right ? right : other.right,
               bottom < other.bottom ? bottom : other.bottom);
        return r.isEmpty() ? Rect() : r;
    }
    bool operator==(const Rect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const Rect& o) const { return !(*this == o); }
};

// How a text is drawn: its pixel height and weight. Any font family of the system's
// default sans-serif face.
struct TextStyle {
    int pixelSize = 12;
    bool bold = false;
};

// Placement of a text in its rectangle (flags may be combined).
enum TextFlags {
    TEXT_LEFT = 0,
    TEXT_CENTER = 1,   // horizontally centred
    TEXT_VCENTER = 2,  // vertically centred
    TEXT_RIGHT = 4,
};
