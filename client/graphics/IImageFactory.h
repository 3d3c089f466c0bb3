#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "client/graphics/ILumoraImage.h"

// Creates images: decodes PNG, JPEG, GIF and BMP bytes from memory, or makes blank ones.
// Every operation gives null on failure (never an exception) after one ERROR line in the
// log, and may be called from any thread. Decoding is real work (about a millisecond for
// a 256 x 256 tile): the window's thread should never do it.
//
// Named images ("resources") are the program's artwork: bytes registered under a name
// with addResource, or else the Qt resource ":/images/<name>.png" of the program.
class IImageFactory {
public:
    virtual ~IImageFactory() = default;

    // The named image decoded at width x height.
    virtual std::unique_ptr<ILumoraImage> getImageFromResource(const std::wstring& name, int width,
                                                               int height) = 0;
    // Bytes decoded at the encoded image's own width and height.
    virtual std::unique_ptr<ILumoraImage> createImageFromBuffer(const void* bytes,
                                                                std::size_t size) = 0;
    // Bytes decoded and drawn over (0, 0, width, height): an image of another size is
    // stretched to it.
    virtual std::unique_ptr<ILumoraImage> createImage(const void* bytes, std::size_t size,
                                                      int width, int height) = 0;
    // The same, drawn over a rectangle of the colour (transparent parts show it).
    virtual std::unique_ptr<ILumoraImage> createImageOnColor(const void* bytes, std::size_t size,
                                                             int width, int height, Rgb colour) = 0;
    // The named image over a rectangle of the colour.
    virtual std::unique_ptr<ILumoraImage> getImageFromResource(const std::wstring& name, int width,
                                                               int height, Rgb colour) = 0;
    // An image filled with one colour.
    virtual std::unique_ptr<ILumoraImage> createEmptyImage(int width, int height, Rgb colour) = 0;
    // Size and type of encoded bytes without decoding the pixels. mimeType is one of
    // "image/x-ms-bmp", "image/jpeg", "image/png", "image/gif", or empty for another format
    // that can still be read (true). False when the bytes are not an image.
    virtual bool getImageInfo(const void* bytes, std::size_t size, int& width, int& height,
                              std::wstring& mimeType) = 0;

    // Registers (or replaces) the bytes of a named image.
    virtual void addResource(const std::wstring& name, const std::string& bytes) = 0;
};
