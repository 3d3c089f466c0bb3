#pragma once

#include <functional>
#include <memory>
#include <string>

#include "client/maps/CoordinateUtils.h"
#include "client/maps/IMapsLoader.h"
#include "kestra/Mutex.h"

// What the three tile sources share: the block side, the stored version (read and written
// from the main thread and the maps loader's thread, hence its lock), the manager, block
// wrapping, quadtree names and fetching a page for version discovery.
class BasicMapsLoader : public IMapsLoader, public CoordinateUtils {
public:
    static constexpr int BLOCK_SIDE_SIZE = 256;

    int getBlockSideSize() override { return BLOCK_SIDE_SIZE; }
    std::wstring getCurrentVersion() override;
    void setMapsLoaderManager(IMapsLoaderManager* manager) override { manager_ = manager; }

    // Lets the owner abort a version page download in progress (false aborts).
    void setKeepRunning(std::function<bool()> keepRunning) {
        keepRunning_ = std::move(keepRunning);
    }

    // The quadtree path of a block below the whole world: one symbol per level below the
    // first, chosen by the quadrant (top-left, top-right, bottom-left, bottom-right). x is
    // wrapped into the world first. levelMessage is logged for a level above the highest.
    static std::wstring quadtreePath(int level, int x, int y, const wchar_t symbols[4],
                                     const char* levelMessage);

protected:
    // A host or name from the settings, or fallback when the key is missing or empty.
    static std::wstring settingOr(const wchar_t* key, const wchar_t* fallback);
    // A new block description for (x, y) at the level, with the wrapped block numbers in
    // wx, wy; the name is left to the source. When memory runs out it throws
    // NullPointerException(place, condition).
    std::unique_ptr<MapsDataTypes::ImageBlockProp> newBlockProp(int level, int x, int y,
                                                                int mapType, int& wx, int& wy,
                                                                const char* place,
                                                                const char* condition);
    void setVersion(const std::wstring& version);
    bool hasVersion();
    // Wraps block numbers through the manager (or the same rule without one).
    void wrap(int& x, int& y, int level);
    bool isUnicode(const std::wstring& contentType);
    // GETs a page; the body, its status and Content-Type.
    std::string loadPage(const std::wstring& host, const std::wstring& path,
                         std::wstring& contentType, int& status);
    // The body as text: UTF-16 or UTF-32 when the Content-Type says so, else 8-bit.
    static std::wstring decodeUnicode(const std::string& body, const std::wstring& contentType);
    static std::wstring widen(const std::string& bytes);

    IMapsLoaderManager* manager_ = nullptr;

private:
    kestra::Mutex versionLock_;
    std::wstring version_;
    std::function<bool()> keepRunning_;
};
