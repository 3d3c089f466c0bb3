#include "client/maps/TileDownloader.h"

#include <cwctype>

#include "client/maps/CacheManager.h"
#include "client/maps/HTTPHandler.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"

using kestra::Log;

namespace {

// "image/png; charset=binary" -> "png": the type is one token of the cache index.
std::wstring imageTypeOf(const std::wstring& contentType, std::size_t at) {
    std::wstring type;
    for (std::size_t i = at; i < contentType.size(); ++i) {
        const wchar_t c = contentType[i];
        if (c == L';' || std::iswspace(c)) {
            break;
        }
        type.push_back(c);
    }
    return type;
}

}  // namespace

TileDownloader::TileDownloader(std::function<bool()> keepRunning)
    : keepRunning_(std::move(keepRunning)) {}

std::string TileDownloader::failureText(const std::exception& e) {
    struct Kind {
        bool (*is)(const std::exception&);
        const char* text;
    };
#define LUMORA_KIND(Type, Text)                                                                \
    {                                                                                          \
        [](const std::exception& x) { return dynamic_cast<const Type*>(&x) != nullptr; }, Text \
    }
    static const Kind kinds[] = {
        LUMORA_KIND(kestra::NullPointerException, "GoogleMapsLoader:NullPointerException "),
        LUMORA_KIND(kestra::CacheLoadingException, "GoogleMapsLoader:CacheLoadingException "),
        LUMORA_KIND(kestra::CacheSavingException, "GoogleMapsLoader:CacheSavingException "),
        LUMORA_KIND(kestra::CacheIsCorruptException, "GoogleMapsLoader:CacheIsCorruptException "),
        LUMORA_KIND(kestra::CanNotLoadCacheException, "GoogleMapsLoader:CanNotLoadCacheException "),
        LUMORA_KIND(kestra::NotFoundCacheDirectoryException,
                    "GoogleMapsLoader:NotFoundCacheDirectoryException "),
        LUMORA_KIND(kestra::MapLoaderException, "GoogleMapsLoader:MapLoaderException "),
        LUMORA_KIND(kestra::CacheException, "GoogleMapsLoader:CacheException "),
        LUMORA_KIND(kestra::IOStreamException, "GoogleMapsLoader:IOStreamException "),
        LUMORA_KIND(kestra::SocketException, "GoogleMapsLoader:SocketException "),
        LUMORA_KIND(kestra::HTTPException, "GoogleMapsLoader:HTTPException "),
        LUMORA_KIND(kestra::BasicException, "GoogleMapsLoader:BasicException "),
    };
#undef LUMORA_KIND
    for (const Kind& kind : kinds) {
        if (kind.is(e)) {
            return std::string(kind.text) + e.what();
        }
    }
    return std::string("GoogleMapsLoader: runtime_error. ") + e.what();
}

bool TileDownloader::download(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                              const std::wstring& url, std::string& data, std::wstring& imageType,
                              bool& transportFailed) {
    transportFailed = false;
    HTTPHandler handler(keepRunning_);
    std::wstring contentType;
    int status = 0;
    std::string body;
    try {
        body = handler.loadFile(url, contentType, status);
    } catch (const kestra::HTTPException&) {
        transportFailed = true;
        throw;
    }
    if (status == 404) {
        Log::debug("GoogleMapsLoader::Load from Internet: code == HTTP_NOT_FOUND_ERROR");
        return false;
    }
    if (status != 200 && keepRunning_ && !keepRunning_()) {
        return false;  // our own stop aborted it: not the server's fault
    }
    if (status != 200) {
        throw kestra::HTTPException("GoogleMapsLoader::loadImageFromURL", "Bad http status.");
    }
    Log::debug("GoogleMapsLoader::Load from Internet: code == HTTP_OK_STATUS");
    if (body.empty()) {
        Log::error("GoogleMapsLoader::loadImageFromURL load data size is 0.");
        return false;
    }
    if (!source.isValidImage(body)) {
        return false;
    }
    const std::size_t at = contentType.find(L"image/");
    if (at == std::wstring::npos) {
        Log::error("GoogleMapsLoader::loadImageFromURL: file is not image.");
        return false;
    }  // a login page or an error page is not a block
    imageType = imageTypeOf(contentType, at + 6);
    if (imageType.empty()) {
        Log::error("GoogleMapsLoader::loadImageFromURL: can't get image type.");
    }
    record.imageType = imageType;
    keepInCache(source, record, body);
    data = std::move(body);
    return true;
}

// A full disk or a broken cache loses the copy, not the block on the screen.
void TileDownloader::keepInCache(IMapsLoader& source, const MapsDataTypes::ImageBlockProp& record,
                                 const std::string& image) {
    try {
        CacheManager::saveCacheItem(record.loaderName, record, source.getCurrentVersion(),
                                    record.imageType, image);
    } catch (const kestra::BasicException& e) {
        Log::error(failureText(e));
    }
}
