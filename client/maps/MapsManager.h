#pragma once

#include <atomic>
#include <cstdint>

#include "client/graphics/IImageFactory.h"
#include "client/maps/BlockMatrix.h"
#include "client/maps/CoordinateUtils.h"
#include "client/maps/IMapsLoaderManager.h"
#include "client/maps/IViewListener.h"
#include "client/maps/MapsDataTypes.h"
#include "kestra/Mutex.h"

// The map blocks around the view centre as a 6 x 6 matrix of decoded images (BlockMatrix).
// It asks the maps loader for the blocks it lacks (centre first, then ring by ring, as far
// as the loader's queue of 12 takes them), places each block that arrives into its cell,
// draws it into the view's drawing buffer and tells the view listener which rectangle
// changed. A picture starts with loadFirstBlocks whenever the centre, level or map type is
// set anew; hdcToBlocks follows a shift of the picture.
//
// Threads: onBlockLoaded and onLoaderTick run on the maps loader's thread; loadFirstBlocks
// (which reads and decodes the blocks the cache already holds) runs on any thread but the
// window's; hdcToBlocks, redrawBlocks and the queries run on any thread and never decode
// or read files, so the window's thread can call them while the user drags. The matrix
// lock guards the matrix and the picture's parameters; the drawing lock (HDCSinch)
// guards the drawing buffer, which the view also reads. Order: matrix, then drawing. The
// listener is called with neither held.
//
// The maps loader keeps this object as its handler: stop the loader before destroying it.
class MapsManager : public MapsDataTypes::IMapsHandler, public CoordinateUtils {
public:
    // Holds the drawing lock: whoever reads or draws into the drawing buffer.
    class HDCSinch {
    public:
        explicit HDCSinch(MapsManager& manager) : locker_(manager.drawingLock_) {}

    private:
        kestra::Mutex::Locker locker_;
    };

    MapsManager(IMapsLoaderManager& loader, IImageFactory& factory);
    ~MapsManager() override = default;
    MapsManager(const MapsManager&) = delete;
    MapsManager& operator=(const MapsManager&) = delete;

    void setViewListener(IViewListener* listener) { listener_ = listener; }
    // The buffer the blocks are drawn into (not owned; null until the view has one). Areas
    // without a block are filled with fill. The blocks held are drawn into it at once.
    void setDrawingBuffer(ILumoraImage* buffer, Rgb fill);
    void setViewSize(int width, int height);

    // Starts a new picture: clamps level into the tile source's zoom interval (the caller
    // sees the clamped level), hands the view to the loader, fills the visible cells from
    // the cache and asks the loader for the rest. Throws kestra::MapLoaderException when
    // the source offers no such map type (or there is no source).
    void loadFirstBlocks(const WorldCoords& centre, int& level, int mapType);
    void onBlockLoaded(LoadedBlock& block) override;
    void onLoaderTick() override;
    // Places and decodes one block; false (logged) when it has no place or does not decode.
    // column and row receive its cell.
    bool cacheMapBlock(LoadedBlock& block, int& column, int& row);
    // After the picture moved to centrePoint: re-anchors the matrix on the new centre block
    // (cells that stay inside keep their images), fills newly visible empty cells with the
    // part of the current drawing under them, queues the visible cells without their block
    // with the loader (nearest the centre first) and redraws the buffer.
    void hdcToBlocks(const MercatorCoords& centrePoint, int level, Rgb fill);
    // Reads the visible cells' blocks that the cache holds and decodes them (not on the
    // window's thread).
    void fillMatrixFromCache();
    // Draws every cell with an image into the drawing buffer.
    void redrawBlocks();
    // Whether the tile source has a block at the level for the centre (may ask the tile
    // server: not on the window's thread).
    bool hasBlocksAt(int level, int mapType, const WorldCoords& centre);

    bool isFirstPassDone() const { return firstPassDone_; }
    // Whether a block was drawn since the last call.
    bool takeChanged() { return changed_.exchange(false); }
    int getBlockSide();
    int getLevel();
    // The state of cell (i, j) (BlockMatrix::State; -1 for a missing cell).
    int getCellState(int i, int j);
    // The view position of cell (0, 0); false before the matrix is anchored.
    bool getOrigin(std::int64_t& x, std::int64_t& y, std::int64_t& column, std::int64_t& row);
    // Forgets the view: nothing is decoded or drawn any more.
    void stop();

private:
    struct Wanted {
        int i;
        int j;
        MercatorCoords point;
    };

    void firstPass();
    void anchorOnCentre();
    void requestRings();
    bool requestCell(int i, int j);
    void followUpPass();
    void requestMissingCells();
    bool followUpColumn(int i, bool retry);
    bool checkPlace(const LoadedBlock& block, int& column, int& row);
    void onUndecodable();
    bool insideWorld(std::int64_t column, std::int64_t row) const;
    MercatorCoords centreOfBlock(std::int64_t column, std::int64_t row) const;
    std::vector<Wanted> visibleCellsWithout(int state);
    void keepDrawingUnder(int i, int j, const MercatorCoords& shift, Rgb fill);
    void queueKeptCells();
    void drawBuffer();
    bool viewExists();

    IMapsLoaderManager& loader_;
    IImageFactory& factory_;
    std::atomic<IViewListener*> listener_{nullptr};
    std::atomic<bool> stopped_{false};

    kestra::Mutex matrixLock_;
    BlockMatrix matrix_;
    int mapType_ = 0;
    int level_ = 0;
    WorldCoords centre_;
    MercatorCoords centrePoint_;
    int side_ = 256;
    std::int64_t worldSize_ = 0;
    std::int64_t blocksPerSide_ = 0;
    int viewWidth_ = 0;
    int viewHeight_ = 0;
    std::atomic<bool> firstPassDone_{false};
    std::atomic<bool> changed_{false};
    int tickCounter_ = 0;

    kestra::Mutex drawingLock_;
    ILumoraImage* buffer_ = nullptr;
    Rgb fill_ = 0;
};
