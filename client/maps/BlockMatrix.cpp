#include "client/maps/BlockMatrix.h"

#include <limits>

namespace {

std::int32_t clampToInt(std::int64_t value) {
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

void BlockMatrix::clear() {
    for (auto& cell : cells_) {
        cell.reset();
    }
    anchored_ = false;
}

void BlockMatrix::anchor(std::int64_t column, std::int64_t row, std::int64_t x, std::int64_t y) {
    const std::int64_t newColumn = column - CENTRE;
    const std::int64_t newRow = row - CENTRE;
    std::array<std::unique_ptr<Cell>, SIZE * SIZE> moved;
    if (anchored_) {
        for (int j = 0; j < SIZE; ++j) {
            for (int i = 0; i < SIZE; ++i) {
                const std::int64_t ni = originColumn_ + i - newColumn;
                const std::int64_t nj = originRow_ + j - newRow;
                if (ni >= 0 && ni < SIZE && nj >= 0 && nj < SIZE) {
                    moved[static_cast<std::size_t>(nj * SIZE + ni)] =
                        std::move(cells_[static_cast<std::size_t>(j * SIZE + i)]);
                }
            }
        }
    }
    cells_ = std::move(moved);
    originColumn_ = newColumn;
    originRow_ = newRow;
    originX_ = x - static_cast<std::int64_t>(CENTRE) * side_;
    originY_ = y - static_cast<std::int64_t>(CENTRE) * side_;
    anchored_ = true;
}

bool BlockMatrix::indexOf(std::int64_t column, std::int64_t row, int& i, int& j) const {
    const std::int64_t di = column - originColumn_;
    const std::int64_t dj = row - originRow_;
    if (!anchored_ || di < 0 || di >= SIZE || dj < 0 || dj >= SIZE) {
        return false;
    }
    i = static_cast<int>(di);
    j = static_cast<int>(dj);
    return true;
}

BlockMatrix::Cell& BlockMatrix::createCell(int i, int j) {
    std::unique_ptr<Cell>& cell = cells_[static_cast<std::size_t>(j * SIZE + i)];
    if (!cell) {
        cell = std::make_unique<Cell>();
    }
    return *cell;
}

Rect BlockMatrix::cellRect(int i, int j) const {
    const std::int64_t x = originX_ + static_cast<std::int64_t>(i) * side_;
    const std::int64_t y = originY_ + static_cast<std::int64_t>(j) * side_;
    return Rect(clampToInt(x), clampToInt(y), clampToInt(x + side_), clampToInt(y + side_));
}

bool BlockMatrix::touchesView(int i, int j, int width, int height) const {
    const std::int64_t x = originX_ + static_cast<std::int64_t>(i) * side_;
    const std::int64_t y = originY_ + static_cast<std::int64_t>(j) * side_;
    return x + side_ >= 0 && y + side_ >= 0 && x <= width && y <= height;
}

void BlockMatrix::forEachImage(
    const std::function<void(const Rect&, const ILumoraImage&)>& visit) const {
    for (int j = 0; j < SIZE; ++j) {
        for (int i = 0; i < SIZE; ++i) {
            const Cell* cell = cells_[static_cast<std::size_t>(j * SIZE + i)].get();
            if (cell != nullptr && cell->image && (cell->state == PRESENT || cell->state == KEPT)) {
                visit(cellRect(i, j), *cell->image);
            }
        }
    }
}
