#pragma once

#include <map>
#include <mutex>
#include <string>

#include "client/graphics/IImageFactory.h"

// The image factory on Qt Gui: QImageReader decodes PNG, JPEG, GIF and BMP (and whatever
// else the installed Qt reads) from memory, QPainter draws. It needs no application object
// for decoding and may be used from any thread; the header is free of Qt so that the
// program's composition root can create it without Qt in its includes.
class QtImageFactory : public IImageFactory {
public:
    // Images larger than this many pixels are refused (a tile that claims 100000 x 100000
    // pixels must not take the memory of the device).
    static constexpr long long MAX_PIXELS = 64LL * 1024 * 1024;

    QtImageFactory() = default;
    QtImageFactory(const QtImageFactory&) = delete;
    QtImageFactory& operator=(const QtImageFactory&) = delete;

    std::unique_ptr<ILumoraImage> getImageFromResource(const std::wstring& name, int width,
                                                       int height) override;
    std::unique_ptr<ILumoraImage> createImageFromBuffer(const void* bytes,
                                                        std::size_t size) override;
    std::unique_ptr<ILumoraImage> createImage(const void* bytes, std::size_t size, int width,
                                              int height) override;
    std::unique_ptr<ILumoraImage> createImageOnColor(const void* bytes, std::size_t size, int width,
                                                     int height, Rgb colour) override;
    std::unique_ptr<ILumoraImage> getImageFromResource(const std::wstring& name, int width,
                                                       int height, Rgb colour) override;
    std::unique_ptr<ILumoraImage> createEmptyImage(int width, int height, Rgb colour) override;
    bool getImageInfo(const void* bytes, std::size_t size, int& width, int& height,
                      std::wstring& mimeType) override;
    void addResource(const std::wstring& name, const std::string& bytes) override;

    // Named images: width or height 0 takes the image's own size.

private:
    // Decodes and draws over a blank image of width x height (filled with the colour when
    // one is given); logs and gives null on failure.
    std::unique_ptr<ILumoraImage> decodeInto(const void* bytes, std::size_t size, int width,
                                             int height, const Rgb* background);
    bool resourceBytes(const std::wstring& name, std::string& bytes);
    std::unique_ptr<ILumoraImage> fromResource(const std::wstring& name, int width, int height,
                                               const Rgb* background);

    std::mutex resourcesLock_;
    std::map<std::wstring, std::string> resources_;
};
