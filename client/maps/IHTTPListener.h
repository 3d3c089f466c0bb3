#pragma once

#include <memory>
#include <string>

#include "client/maps/HTTPResult.h"

class HTTPLoader;

// Receives the HTTPLoader's work, on the loader's thread. For each request the loader calls
// onHTTPStart, then (while it still runs) onHTTPResult and onHTTPFinish.
class IHTTPListener {
public:
    virtual ~IHTTPListener() = default;
    // A download finds its target file complete already (same size as on the server):
    // true deletes it and downloads it again, false keeps it.
    virtual bool isFileToReload(const std::wstring& filePath) = 0;
    virtual void onHTTPResult(std::unique_ptr<HTTPResult> result, HTTPLoader* loader) = 0;
    virtual void onHTTPStart() = 0;
    virtual void onHTTPFinish() = 0;
};
