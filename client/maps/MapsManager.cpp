#include "client/maps/MapsManager.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "client/maps/CacheManager.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Thread.h"

using kestra::Log;

namespace {

constexpr unsigned int COLUMN_SLEEP_MS = 10;
constexpr int RETRY_EVERY_TICKS = 5;

std::int64_t floorDiv(std::int64_t value, std::int64_t divisor) {
    std::int64_t q = value / divisor;
    if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) {
        --q;
    }
    return q;
}

std::int32_t toInt(std::int64_t value) {
    return static_cast<std::int32_t>(
        std::max<std::int64_t>(INT32_MIN, std::min<std::int64_t>(INT32_MAX, value)));
}

}  // namespace

MapsManager::MapsManager(IMapsLoaderManager& loader, IImageFactory& factory)
    : loader_(loader), factory_(factory) {}

void MapsManager::setDrawingBuffer(ILumoraImage* buffer, Rgb fill) {
    kestra::Mutex::Locker lock(matrixLock_);
    {
        HDCSinch drawing(*this);
        buffer_ = buffer;
        fill_ = fill;
    }
    drawBuffer();
}

void MapsManager::setViewSize(int width, int height) {
    kestra::Mutex::Locker lock(matrixLock_);
    viewWidth_ = std::max(0, width);
    viewHeight_ = std::max(0, height);
}

int MapsManager::getBlockSide() {
    kestra::Mutex::Locker lock(matrixLock_);
    return side_;
}

int MapsManager::getLevel() {
    kestra::Mutex::Locker lock(matrixLock_);
    return level_;
}

int MapsManager::getCellState(int i, int j) {
    kestra::Mutex::Locker lock(matrixLock_);
    const BlockMatrix::Cell* cell = matrix_.cell(i, j);
    return cell != nullptr ? cell->state : -1;
}

bool MapsManager::getOrigin(std::int64_t& x, std::int64_t& y, std::int64_t& column,
                            std::int64_t& row) {
    kestra::Mutex::Locker lock(matrixLock_);
    x = matrix_.originX();
    y = matrix_.originY();
    column = matrix_.originColumn();
    row = matrix_.originRow();
    return matrix_.isAnchored();
}

void MapsManager::stop() {
    stopped_ = true;
    listener_ = nullptr;
    kestra::Mutex::Locker lock(matrixLock_);
    HDCSinch drawing(*this);
    buffer_ = nullptr;
}

bool MapsManager::viewExists() {
    IViewListener* listener = listener_;
    return !stopped_ && listener != nullptr && listener->isViewCreated();
}

bool MapsManager::insideWorld(std::int64_t column, std::int64_t row) const {
    return column >= 0 && row >= 0 && column < blocksPerSide_ && row < blocksPerSide_;
}

MercatorCoords MapsManager::centreOfBlock(std::int64_t column, std::int64_t row) const {
    MercatorCoords point;
    point.x = toInt(column * side_ + side_ / 2);
    point.y = toInt(row * side_ + side_ / 2);
    return point;
}

// ---- A new picture ----

void MapsManager::loadFirstBlocks(const WorldCoords& centre, int& level, int mapType) {
    int minLevel = 1;
    int maxLevel = MAX_LEVELS_NUM;
    loader_.getZoomInterval(minLevel, maxLevel, mapType);
    level = std::max(minLevel, std::min(maxLevel, level));
    int side = 0;
    loader_.setViewParams(mapType, this, side, level, centre, false);
    {
        kestra::Mutex::Locker lock(matrixLock_);
        mapType_ = mapType;
        level_ = level;
        centre_ = centre;
        side_ = side > 0 ? side : 256;
        if (level > MAX_LEVELS_NUM) {
            Log::error("MapsManager::loadFirstBlocks: level > MAX_LEVELS_NUM.");
        }
        blocksPerSide_ = static_cast<std::int64_t>(std::pow(2.0, level - 1));
        worldSize_ = blocksPerSide_ * side_;
        worldToMercatorProjectionCoords(level_, centre_, centrePoint_, side_);
        matrix_.clear();
        matrix_.setSide(side_);
        firstPassDone_ = false;
        tickCounter_ = 0;
    }
    if (IViewListener* listener = listener_) {
        listener->setBlockSide(side_);
    }
    firstPass();
    loader_.start();
}

// Anchors on the centre block, takes what the cache holds, and queues the rest.
void MapsManager::firstPass() {
    {
        kestra::Mutex::Locker lock(matrixLock_);
        anchorOnCentre();
        drawBuffer();  // the earlier picture goes
    }
    fillMatrixFromCache();
    kestra::Mutex::Locker lock(matrixLock_);
    requestRings();
    firstPassDone_ = true;
}

void MapsManager::anchorOnCentre() {
    const std::int64_t column = floorDiv(centrePoint_.x, side_);
    const std::int64_t row = floorDiv(centrePoint_.y, side_);
    // worldToScreen of the block's corner, in 64 bits.
    const std::int64_t x =
        viewWidth_ / 2 - static_cast<std::int64_t>(centrePoint_.x) + column * side_;
    const std::int64_t y =
        row * side_ - (static_cast<std::int64_t>(centrePoint_.y) - viewHeight_ / 2);
    matrix_.anchor(column, row, x, y);
}

bool MapsManager::requestCell(int i, int j) {
    const std::int64_t column = matrix_.columnOf(i);
    const std::int64_t row = matrix_.rowOf(j);
    BlockMatrix::Cell* cell = matrix_.cell(i, j);
    if (!insideWorld(column, row) || (cell != nullptr && cell->state == BlockMatrix::PRESENT)) {
        return true;  // nothing to ask for
    }
    if (!loader_.loadMapBlock(centreOfBlock(column, row), mapType_, level_)) {
        return false;
    }
    BlockMatrix::Cell& created = matrix_.createCell(i, j);
    if (created.state == BlockMatrix::EMPTY) {
        created.state = BlockMatrix::REQUESTED;
    }
    created.asked = true;
    return true;
}

// The centre block first, then ring by ring, each ring clockwise from its top-left corner,
// as far as the view needs blocks on each side. A refusal of the loader's queue ends the
// walk along that side of the ring.
void MapsManager::requestRings() {
    const int c = BlockMatrix::CENTRE;
    const Rect centre = matrix_.cellRect(c, c);
    const int left = centre.left > 0 ? centre.left / side_ + 1 : 0;
    const int rightSpace = viewWidth_ - centre.left - side_;
    const int right = rightSpace > 0 ? rightSpace / side_ + 1 : 0;
    const int up = centre.top > 0 ? centre.top / side_ + 1 : 0;
    const int downSpace = viewHeight_ - centre.top - side_;
    const int down = downSpace > 0 ? downSpace / side_ + 1 : 0;
    if (centrePoint_.x >= 0 && centrePoint_.y >= 0 && centrePoint_.x <= worldSize_ &&
        centrePoint_.y <= worldSize_) {
        requestCell(c, c);
    }
    const int rings = std::max(std::max(left, right), std::max(up, down));
    for (int r = 1; r <= rings && r <= c; ++r) {
        // Corners of the ring, clockwise: top-left, top-right, bottom-right, bottom-left.
        const int side[4][4] = {{-r, -r, 1, 0}, {r, -r, 0, 1}, {r, r, -1, 0}, {-r, r, 0, -1}};
        for (const auto& s : side) {
            for (int k = 0; k < 2 * r; ++k) {
                const int di = s[0] + s[2] * k;
                const int dj = s[1] + s[3] * k;
                const int i = c + di;
                const int j = c + dj;
                if (di < -left || di > right || dj < -up || dj > down || i < 0 ||
                    i >= BlockMatrix::SIZE || j < 0 || j >= BlockMatrix::SIZE) {
                    continue;
                }
                if (!requestCell(i, j)) {
                    break;
                }
            }
        }
    }
}

std::vector<MapsManager::Wanted> MapsManager::visibleCellsWithout(int state) {
    std::vector<Wanted> wanted;
    if (!matrix_.isAnchored()) {
        return wanted;
    }
    for (int j = 0; j < BlockMatrix::SIZE; ++j) {
        for (int i = 0; i < BlockMatrix::SIZE; ++i) {
            const BlockMatrix::Cell* cell = matrix_.cell(i, j);
            if (matrix_.touchesView(i, j, viewWidth_, viewHeight_) &&
                insideWorld(matrix_.columnOf(i), matrix_.rowOf(j)) &&
                (cell == nullptr || cell->state != state)) {
                wanted.push_back({i, j, centreOfBlock(matrix_.columnOf(i), matrix_.rowOf(j))});
            }
        }
    }
    // Nearest the centre cell first.
    const int c = BlockMatrix::CENTRE;
    std::stable_sort(wanted.begin(), wanted.end(), [c](const Wanted& a, const Wanted& b) {
        return std::max(std::abs(a.i - c), std::abs(a.j - c)) <
               std::max(std::abs(b.i - c), std::abs(b.j - c));
    });
    return wanted;
}

void MapsManager::fillMatrixFromCache() {
    std::vector<Wanted> wanted;
    int level = 0;
    int mapType = 0;
    int side = 0;
    {
        kestra::Mutex::Locker lock(matrixLock_);
        wanted = visibleCellsWithout(BlockMatrix::PRESENT);
        level = level_;
        mapType = mapType_;
        side = side_;
    }
    if (wanted.empty() || !viewExists()) {
        return;
    }
    bool filled = false;
    for (const Wanted& w : wanted) {
        LoadedBlock block;
        if (!loader_.checkLoad(w.point, mapType, level, block, IMapsLoaderManager::CACHE_ONLY)) {
            continue;
        }
        std::unique_ptr<ILumoraImage> image =
            factory_.createImage(block.data.data(), block.data.size(), side, side);
        if (!image) {
            Log::error(" MapsManager::fillMatrixFromCache getImageFromBuffer == NULL");
            continue;
        }
        kestra::Mutex::Locker lock(matrixLock_);
        int i = 0;
        int j = 0;
        if (level_ != level || !matrix_.indexOf(block.x, block.y, i, j)) {
            continue;  // the picture moved on meanwhile
        }
        BlockMatrix::Cell& cell = matrix_.createCell(i, j);
        if (cell.state != BlockMatrix::PRESENT) {
            cell.image = std::move(image);
            cell.state = BlockMatrix::PRESENT;
            filled = true;
        }
    }
    if (filled) {
        Rect view;
        {
            kestra::Mutex::Locker lock(matrixLock_);
            drawBuffer();
            view = Rect(0, 0, viewWidth_, viewHeight_);
        }
        changed_ = true;
        if (IViewListener* listener = listener_) {
            listener->onBlockDrawn(view);
        }
    }
}

// ---- Blocks from the loader ----

bool MapsManager::checkPlace(const LoadedBlock& block, int& column, int& row) {
    if (block.level != level_) {
        Log::error(
            ">>>>MapsManager::cacheMapBlock bad index. Can not add Image to the matrix. Bad "
            "zoom.");
        return false;
    }
    if (!matrix_.isAnchored()) {
        const std::int64_t px = static_cast<std::int64_t>(block.x) * side_;
        const std::int64_t py = static_cast<std::int64_t>(block.y) * side_;
        const std::int64_t reach = 3LL * side_;
        if (std::llabs(px - centrePoint_.x) > reach || std::llabs(py - centrePoint_.y) > reach) {
            Log::debug(
                "MapsManager::cacheMapBlock bad index. Can not add Center Image to the matrix.");
            return false;
        }
        matrix_.anchor(block.x, block.y, viewWidth_ / 2 - centrePoint_.x + px,
                       py - (centrePoint_.y - viewHeight_ / 2));
    }
    if (!matrix_.indexOf(block.x, block.y, column, row)) {
        Log::error(">>>>MapsManager::cacheMapBlock bad index. Can not add Image to the matrix.");
        return false;
    }
    const BlockMatrix::Cell* cell = matrix_.cell(column, row);
    if (cell != nullptr && cell->state == BlockMatrix::PRESENT) {
        Log::error(">>>>>MapsManager::cacheMapBlock bad index.pImg! = NULL");
        return false;
    }
    return true;
}

// Bytes that do not decode: from the network only logged; from the cache (no internet)
// the cache is taken to be damaged and emptied.
void MapsManager::onUndecodable() {
    Log::error(">>>>MapsManager::cacheMapBlock error while block creation 1.");
    if (loader_.isInternet()) {
        Log::error("MapsManager::cacheMapBlock block was loaded from internet.");
        return;
    }
    Log::debug("MapsManager::cacheMapBlock clear cache.");
    try {
        CacheManager::removeAllItems();
    } catch (const kestra::BasicException& e) {
        Log::error(std::string("MapsManager::cacheMapBlock clear cache: ") + e.what());
    }
}

bool MapsManager::cacheMapBlock(LoadedBlock& block, int& column, int& row) {
    int side = 0;
    {
        kestra::Mutex::Locker lock(matrixLock_);
        if (!checkPlace(block, column, row)) {
            return false;
        }
        Log::debug("MapsManager::cacheMapBlock load first blocks.");
        matrix_.createCell(column, row);
        side = side_;
    }
    if (!viewExists()) {
        return false;  // not decoded: the cell stays empty
    }
    // Decoded outside the matrix lock: the window's thread may shift the matrix meanwhile.
    std::unique_ptr<ILumoraImage> image =
        factory_.createImage(block.data.data(), block.data.size(), side, side);
    if (!image) {
        {
            kestra::Mutex::Locker lock(matrixLock_);
            int i = 0;
            int j = 0;
            if (matrix_.indexOf(block.x, block.y, i, j) && matrix_.cell(i, j) != nullptr &&
                matrix_.cell(i, j)->state != BlockMatrix::PRESENT) {
                matrix_.removeCell(i, j);  // asked for again on the next tick
            }
        }
        onUndecodable();
        return false;
    }
    kestra::Mutex::Locker lock(matrixLock_);
    if (block.level != level_ || !matrix_.indexOf(block.x, block.y, column, row)) {
        return false;  // the picture moved on while it decoded
    }
    BlockMatrix::Cell& cell = matrix_.createCell(column, row);
    if (cell.state == BlockMatrix::PRESENT) {
        return false;
    }
    cell.image = std::move(image);
    cell.state = BlockMatrix::PRESENT;
    cell.asked = false;
    return true;
}

void MapsManager::onBlockLoaded(LoadedBlock& block) {
    if (stopped_) {
        return;
    }
    if (block.status == LoadedBlock::NO_IMAGE) {
        Log::debug(" MapsManager::addMap: No picture with this zoom.");
        return;
    }
    int column = 0;
    int row = 0;
    const bool placed = cacheMapBlock(block, column, row);
    std::string().swap(block.data);  // the bytes are ours: freed in every case
    block.size = 0;
    if (!placed) {
        return;  // a block that failed waits for the next tick, never asked for in a loop
    }
    requestMissingCells();
    Rect rect;
    {
        kestra::Mutex::Locker lock(matrixLock_);
        if (!matrix_.indexOf(block.x, block.y, column, row)) {
            return;
        }
        rect = matrix_.cellRect(column, row);
        if (rect.right < 0 || rect.bottom < 0 || rect.left > viewWidth_ || rect.top > viewHeight_) {
            return;  // outside the view: drawn when the picture moves there
        }
        HDCSinch drawing(*this);
        const BlockMatrix::Cell* cell = matrix_.cell(column, row);
        if (buffer_ == nullptr || cell == nullptr || !cell->image) {
            return;  // no buffer yet: drawn with the others when the view gives one
        }
        cell->image->draw(buffer_->getContext(), rect.left, rect.top, side_, side_);
    }
    changed_ = true;
    if (IViewListener* listener = listener_) {
        listener->onBlockDrawn(rect);
    }
}

// The loader's queue has room again after each block: visible cells never asked for take
// it at once instead of waiting for the next tick.
void MapsManager::requestMissingCells() {
    kestra::Mutex::Locker lock(matrixLock_);
    if (!firstPassDone_) {
        return;
    }
    for (const Wanted& w : visibleCellsWithout(BlockMatrix::PRESENT)) {
        if (matrix_.cell(w.i, w.j) == nullptr && !requestCell(w.i, w.j)) {
            return;
        }
    }
}

void MapsManager::onLoaderTick() {
    if (stopped_) {
        return;
    }
    bool anchored = false;
    {
        kestra::Mutex::Locker lock(matrixLock_);
        ++tickCounter_;
        anchored = matrix_.isAnchored();
        if (level_ == 0) {
            return;  // no picture started yet
        }
    }
    if (!anchored) {
        firstPass();
    } else if (firstPassDone_) {
        followUpPass();
    }
}

// Missing visible cells are asked for on every tick, unfinished ones on every sixth; the
// first refusal of the loader's queue ends the pass.
void MapsManager::followUpPass() {
    bool retry = false;
    {
        kestra::Mutex::Locker lock(matrixLock_);
        if (tickCounter_ > RETRY_EVERY_TICKS) {
            tickCounter_ = 0;
            retry = true;
        }
    }
    for (int i = 0; i < BlockMatrix::SIZE; ++i) {
        if (!followUpColumn(i, retry)) {
            return;
        }
        kestra::Thread::sleep(COLUMN_SLEEP_MS);
    }
}

bool MapsManager::followUpColumn(int i, bool retry) {
    kestra::Mutex::Locker lock(matrixLock_);
    for (int j = 0; j < BlockMatrix::SIZE; ++j) {
        if (!matrix_.touchesView(i, j, viewWidth_, viewHeight_)) {
            continue;
        }
        BlockMatrix::Cell* cell = matrix_.cell(i, j);
        const bool kept = cell != nullptr && cell->state == BlockMatrix::KEPT;
        const bool wanted = cell == nullptr || (cell->state != BlockMatrix::PRESENT &&
                                                (retry || (kept && !cell->asked)));
        if (wanted && !requestCell(i, j)) {
            return false;
        }
    }
    return true;
}

// ---- Shifts and redraws ----

void MapsManager::keepDrawingUnder(int i, int j, const MercatorCoords& shift, Rgb fill) {
    BlockMatrix::Cell* cell = matrix_.cell(i, j);
    if (cell != nullptr && (cell->image || cell->state == BlockMatrix::PRESENT)) {
        return;
    }
    std::unique_ptr<ILumoraImage> image = factory_.createEmptyImage(side_, side_, fill);
    if (!image) {
        Log::error("MapsManager::hdcToBlocks : img == NULL");
        return;
    }
    const Rect rect = matrix_.cellRect(i, j);
    {
        HDCSinch drawing(*this);
        if (buffer_ != nullptr) {
            // The same part of the world in the drawing made before the shift.
            image->copyFromDC(buffer_->getContext(), 0, 0, rect.left + shift.x, rect.top + shift.y,
                              side_, side_);
        }
    }
    BlockMatrix::Cell& kept = matrix_.createCell(i, j);
    kept.asked = kept.state == BlockMatrix::REQUESTED;
    kept.image = std::move(image);
    kept.state = BlockMatrix::KEPT;
}

void MapsManager::queueKeptCells() {
    for (const Wanted& w : visibleCellsWithout(BlockMatrix::PRESENT)) {
        BlockMatrix::Cell* cell = matrix_.cell(w.i, w.j);
        if (cell != nullptr && cell->asked) {
            continue;
        }
        if (!requestCell(w.i, w.j)) {
            return;
        }
    }
}

void MapsManager::hdcToBlocks(const MercatorCoords& centrePoint, int level, Rgb fill) {
    kestra::Mutex::Locker lock(matrixLock_);
    if (level != level_) {
        return;  // a picture of another level: the next picture replaces this one
    }
    const MercatorCoords before = centrePoint_;
    centrePoint_ = centrePoint;
    if (!firstPassDone_) {
        return;  // the first pass still to come uses the new centre
    }
    anchorOnCentre();
    MercatorCoords shift;
    shift.x = toInt(static_cast<std::int64_t>(centrePoint.x) - before.x);
    shift.y = toInt(static_cast<std::int64_t>(centrePoint.y) - before.y);
    for (const Wanted& w : visibleCellsWithout(BlockMatrix::PRESENT)) {
        keepDrawingUnder(w.i, w.j, shift, fill);
    }
    queueKeptCells();
    drawBuffer();
}

void MapsManager::redrawBlocks() {
    kestra::Mutex::Locker lock(matrixLock_);
    drawBuffer();
}

// Under the matrix lock.
void MapsManager::drawBuffer() {
    HDCSinch drawing(*this);
    if (buffer_ == nullptr) {
        return;
    }
    IDrawContext& target = buffer_->getContext();
    target.fillRect(Rect(0, 0, target.getWidth(), target.getHeight()), fill_);
    matrix_.forEachImage([&](const Rect& rect, const ILumoraImage& image) {
        if (rect.right >= 0 && rect.bottom >= 0 && rect.left <= target.getWidth() &&
            rect.top <= target.getHeight()) {
            image.draw(target, rect.left, rect.top, side_, side_);
        }
    });
}

bool MapsManager::hasBlocksAt(int level, int mapType, const WorldCoords& centre) {
    int side = 0;
    {
        kestra::Mutex::Locker lock(matrixLock_);
        side = side_;
    }
    MercatorCoords point;
    worldToMercatorProjectionCoords(level, centre, point, side);
    LoadedBlock block;
    return loader_.checkLoad(point, mapType, level, block, IMapsLoaderManager::CHECK_AVAILABLE);
}
