#include "client/maps/BasicMapsLoader.h"

#include <algorithm>
#include <cwctype>
#include <new>

#include "client/maps/HTTPHandler.h"
#include "client/maps/IMapsLoaderManager.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

std::wstring BasicMapsLoader::getCurrentVersion() {
    kestra::Mutex::Locker lock(versionLock_);
    return version_;
}

std::wstring BasicMapsLoader::settingOr(const wchar_t* key, const wchar_t* fallback) {
    std::wstring value;
    if (kestra::Settings::isReady() && kestra::Settings::getStringValue(key, &value) &&
        !value.empty()) {
        return value;
    }
    return fallback;
}

std::unique_ptr<MapsDataTypes::ImageBlockProp> BasicMapsLoader::newBlockProp(
    int level, int x, int y, int mapType, int& wx, int& wy, const char* place,
    const char* condition) {
    wx = x;
    wy = y;
    wrap(wx, wy, level);
    std::unique_ptr<MapsDataTypes::ImageBlockProp> block;
    try {
        block = std::make_unique<MapsDataTypes::ImageBlockProp>();
    } catch (const std::bad_alloc&) {
        throw kestra::NullPointerException(place, condition);
    }
    block->x = x;
    block->y = y;
    block->mapType = mapType;
    block->level = level;
    return block;
}

void BasicMapsLoader::setVersion(const std::wstring& version) {
    kestra::Mutex::Locker lock(versionLock_);
    version_ = version;
}

bool BasicMapsLoader::hasVersion() {
    kestra::Mutex::Locker lock(versionLock_);
    return !version_.empty();
}

void BasicMapsLoader::wrap(int& x, int& y, int level) {
    if (manager_ != nullptr) {
        manager_->controlBorders(x, y, level);
    } else {
        controlBorders(x, y, level);
    }
}

bool BasicMapsLoader::isUnicode(const std::wstring& contentType) {
    if (manager_ != nullptr) {
        return manager_->isUnicodeContentType(contentType);
    }
    std::wstring upper = contentType;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return upper.find(L"UTF") != std::wstring::npos &&
           (upper.find(L"16") != std::wstring::npos || upper.find(L"32") != std::wstring::npos);
}

std::wstring BasicMapsLoader::quadtreePath(int level, int x, int y, const wchar_t symbols[4],
                                           const char* levelMessage) {
    if (level > MAX_LEVELS_NUM) {
        kestra::Log::error(levelMessage);
    }
    std::wstring path;
    if (level < 1) {
        return path;
    }
    // Past 63 levels no 32-bit block number can reach the far half; the symbols stay the
    // top-left ones.
    std::int64_t n = level > 63 ? (static_cast<std::int64_t>(1) << 62)
                                : (static_cast<std::int64_t>(1) << (level - 1));
    std::int64_t bx = wrapBlockNumber(x, n);
    std::int64_t by = y;
    for (int step = 1; step < level; ++step) {
        const std::int64_t half = n / 2;
        const int quadrant = (by >= half ? 2 : 0) + (bx >= half ? 1 : 0);
        path.push_back(symbols[quadrant]);
        if (bx >= half) {
            bx -= half;
        }
        if (by >= half) {
            by -= half;
        }
        n = std::max<std::int64_t>(half, 1);
    }
    return path;
}

std::string BasicMapsLoader::loadPage(const std::wstring& host, const std::wstring& path,
                                      std::wstring& contentType, int& status) {
    HTTPHandler handler(keepRunning_);
    return handler.loadFile(host, path, contentType, status);
}

std::wstring BasicMapsLoader::widen(const std::string& bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (unsigned char c : bytes) {
        text.push_back(static_cast<wchar_t>(c));
    }
    return text;
}

std::wstring BasicMapsLoader::decodeUnicode(const std::string& body,
                                            const std::wstring& contentType) {
    const bool utf32 = contentType.find(L"32") != std::wstring::npos;
    const bool bigEndian = body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0xFE &&
                           static_cast<unsigned char>(body[1]) == 0xFF;
    const std::size_t unit = utf32 ? 4 : 2;
    std::wstring text;
    text.reserve(body.size() / unit);
    for (std::size_t i = 0; i + unit <= body.size(); i += unit) {
        std::uint32_t c = 0;
        for (std::size_t b = 0; b < unit; ++b) {
            const std::size_t at = bigEndian ? i + b : i + unit - 1 - b;
            c = (c << 8) | static_cast<unsigned char>(body[at]);
        }
        // Surrogate pairs stay as two units: the texts searched for are ASCII.
        text.push_back(static_cast<wchar_t>(c));
    }
    return text;
}
