#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "client/graphics/GraphicsTypes.h"
#include "client/graphics/ILumoraImage.h"

// The 6 x 6 cells of map blocks around the view centre, with their origin: the block
// numbers of cell (0, 0) and the view position of its top-left corner. Cell (i, j) holds
// block (origin column + i, origin row + j) and is drawn at (origin x + i * side,
// origin y + j * side). Not thread-safe: MapsManager guards it.
class BlockMatrix {
public:
    static constexpr int SIZE = 6;
    // The cell that holds the centre block when the matrix is anchored on it.
    static constexpr int CENTRE = 3;

    // Cell states: empty -> requested -> image present; a cell that kept a copy of an
    // earlier picture waits with that copy (kept) until its block arrives.
    enum State { EMPTY = 0, REQUESTED = 1, PRESENT = 2, KEPT = 3 };

    struct Cell {
        std::unique_ptr<ILumoraImage> image;
        int state = EMPTY;
        // A kept cell whose block was already asked for from the loader.
        bool asked = false;
    };

    explicit BlockMatrix(int side = 256) : side_(side) {}

    int side() const { return side_; }
    void setSide(int side) { side_ = side; }
    bool isAnchored() const { return anchored_; }
    std::int64_t originColumn() const { return originColumn_; }
    std::int64_t originRow() const { return originRow_; }
    std::int64_t originX() const { return originX_; }
    std::int64_t originY() const { return originY_; }

    // Forgets every cell and the anchor.
    void clear();
    // Fixes the origin so that block (column, row), drawn at view position (x, y), lies in
    // the centre cell; cells whose blocks stay inside the matrix keep their images, the
    // others are dropped.
    void anchor(std::int64_t column, std::int64_t row, std::int64_t x, std::int64_t y);
    // The cell index of a block; false when it lies outside the matrix.
    bool indexOf(std::int64_t column, std::int64_t row, int& i, int& j) const;
    // The cell (null when missing) and creating one.
    Cell* cell(int i, int j) { return cells_[static_cast<std::size_t>(j * SIZE + i)].get(); }
    Cell& createCell(int i, int j);
    void removeCell(int i, int j) { cells_[static_cast<std::size_t>(j * SIZE + i)].reset(); }
    // Where cell (i, j) is drawn in the view.
    Rect cellRect(int i, int j) const;
    // Whether cell (i, j) at least touches a view of width x height pixels.
    bool touchesView(int i, int j, int width, int height) const;
    // Block numbers of cell (i, j).
    std::int64_t columnOf(int i) const { return originColumn_ + i; }
    std::int64_t rowOf(int j) const { return originRow_ + j; }
    // The cells with an image (present or kept), in row order.
    void forEachImage(const std::function<void(const Rect&, const ILumoraImage&)>& visit) const;

private:
    int side_;
    bool anchored_ = false;
    std::int64_t originColumn_ = 0;
    std::int64_t originRow_ = 0;
    std::int64_t originX_ = 0;
    std::int64_t originY_ = 0;
    std::array<std::unique_ptr<Cell>, SIZE * SIZE> cells_;
};
