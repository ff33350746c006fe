#pragma once

#include <cstddef>

namespace sonavista {

// Places the colour swatches of one group in a grid of adaptive columns: as many columns of
// at least `minimumColumnWidth` as fit the width, sharing the width evenly, filled row by row.
class SwatchGridLayout {
public:
    struct Cell {
        double x = 0;
        double y = 0;
        double width = 0;
        double height = 0;
        friend bool operator==(const Cell&, const Cell&) = default;
    };

    static constexpr double minimumColumnWidth = 88;
    static constexpr double columnSpacing = 10;
    static constexpr double rowSpacing = 10;

    SwatchGridLayout(double width, double cellHeight, std::size_t count);

    std::size_t columnCount() const { return columns_; }
    std::size_t rowCount() const;
    double columnWidth() const { return columnWidth_; }
    // The height the grid needs for all its cells.
    double height() const;
    // The frame of the cell at `index` (row-major, in the order of the swatches).
    Cell cell(std::size_t index) const;

private:
    double cellHeight_;
    std::size_t count_;
    std::size_t columns_;
    double columnWidth_;
};

}  // namespace sonavista
