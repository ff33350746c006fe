#include "settings/SwatchGridLayout.h"

#include <algorithm>
#include <cmath>

namespace sonavista {

SwatchGridLayout::SwatchGridLayout(double width, double cellHeight, std::size_t count)
    : cellHeight_(std::max(0.0, cellHeight)), count_(count) {
    // A width too small (or not yet known) still gives one column of the minimum width, so
    // the cells never collapse.
    const double usable = std::isfinite(width) ? std::max(width, minimumColumnWidth) : minimumColumnWidth;
    columns_ = static_cast<std::size_t>(std::floor((usable + columnSpacing) / (minimumColumnWidth + columnSpacing)));
    columns_ = std::max<std::size_t>(1, columns_);
    columnWidth_ = (usable - columnSpacing * static_cast<double>(columns_ - 1)) / static_cast<double>(columns_);
}

std::size_t SwatchGridLayout::rowCount() const {
    return (count_ + columns_ - 1) / columns_;
}

double SwatchGridLayout::height() const {
    const auto rows = rowCount();
    if (rows == 0) return 0;
    return static_cast<double>(rows) * cellHeight_ + static_cast<double>(rows - 1) * rowSpacing;
}

SwatchGridLayout::Cell SwatchGridLayout::cell(std::size_t index) const {
    const auto row = index / columns_;
    const auto column = index % columns_;
    return {static_cast<double>(column) * (columnWidth_ + columnSpacing),
            static_cast<double>(row) * (cellHeight_ + rowSpacing), columnWidth_, cellHeight_};
}

}  // namespace sonavista
