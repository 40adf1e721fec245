#include "codec/pictures/SymbolGrid.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace vexaqr {

namespace {

// Columns × rows for each count, wider layouts first.
std::vector<std::pair<int, int>> layoutsOf(int count) {
    switch (count) {
    case 1:
        return {{1, 1}};
    case 2:
        return {{2, 1}, {1, 2}};
    case 4:
        return {{2, 2}, {4, 1}, {1, 4}};
    case 6:
        return {{3, 2}, {2, 3}, {6, 1}, {1, 6}};
    default:
        return {};
    }
}

} // namespace

std::optional<SymbolGrid> SymbolGrid::fitting(int count, int width, int height) {
    std::optional<SymbolGrid> best;
    for (const auto& [columns, rows] : layoutsOf(count)) {
        const int side = std::min(width / columns, height / rows);
        if (side >= 1 && (!best || side > best->_cellSide)) {
            best = SymbolGrid(count, columns, rows, side, (width - columns * side) / 2, (height - rows * side) / 2);
        }
    }
    return best;
}

GridCell SymbolGrid::cell(int index) const {
    return {_left + (index % _columns) * _cellSide, _top + (index / _columns) * _cellSide, _cellSide};
}

} // namespace vexaqr
