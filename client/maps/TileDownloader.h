#pragma once

#include <exception>
#include <functional>
#include <string>

#include "client/maps/IMapsLoader.h"
#include "client/maps/MapsDataTypes.h"

// Downloads one block image from its source's servers and keeps a copy in the tile cache.
// A download ends with an image (cached, or only delivered when the cache cannot take
// it), with no image (404, an empty body, a body that is not an image), or with
// kestra::HTTPException: "Bad http status." for any other status, or the HTTP layer's
// failure when no whole reply arrived at all (then transportFailed is set: the network
// may be gone).
class TileDownloader {
public:
    // keepRunning: polled during the transfer; false aborts it (no image, no failure).
    explicit TileDownloader(std::function<bool()> keepRunning);

    bool download(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                  const std::wstring& url, std::string& data, std::wstring& imageType,
                  bool& transportFailed);

    // The log line for a failure of the maps loader's work, by the failure's kind.
    static std::string failureText(const std::exception& e);

private:
    void keepInCache(IMapsLoader& source, const MapsDataTypes::ImageBlockProp& record,
                     const std::string& image);

    std::function<bool()> keepRunning_;
};
