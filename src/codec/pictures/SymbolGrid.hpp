// SymbolGrid: where several QR symbols go when one picture shows them side by side.
//
// Every cell is a square that holds one symbol with its quiet zone, so neighbouring symbols are kept
// apart by both their quiet zones. A value type; safe on any thread.
#pragma once

#include <optional>

namespace vexaqr {

/// A square cell of a picture, in pixels.
struct GridCell {
    int left = 0;
    int top = 0;
    int side = 0;
};

class SymbolGrid final {
public:
    /// The symbol counts a picture can show.
    static bool isSupportedCount(int count) { return count == 1 || count == 2 || count == 4 || count == 6; }

    /// The arrangement of `count` symbols with the largest cells that fit `width` × `height` (rows × columns
    /// of 1, 2, 4 or 6 symbols; ties go to more columns), centred; nothing for another count or a picture
    /// too small for a cell of one pixel.
    static std::optional<SymbolGrid> fitting(int count, int width, int height);

    int count() const { return _count; }
    int columns() const { return _columns; }
    int rows() const { return _rows; }
    int cellSide() const { return _cellSide; }

    /// Cell `index` (0 to count() - 1), row by row from the top left.
    GridCell cell(int index) const;

private:
    SymbolGrid(int count, int columns, int rows, int cellSide, int left, int top)
        : _count(count), _columns(columns), _rows(rows), _cellSide(cellSide), _left(left), _top(top) {}

    int _count;
    int _columns;
    int _rows;
    int _cellSide;
    int _left;
    int _top;
};

} // namespace vexaqr
