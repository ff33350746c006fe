#include "settings/AudioStatusRow.h"
#include "settings/SwatchGridLayout.h"
#include "settings/VersionText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <tuple>

namespace sonavista {
namespace {

TEST(AudioStatusRowTest, LiveShowsTheLevelRoundedAndWithinZeroToHundred) {
    // Halves round away from zero, anything below a half down.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [level, percent] :
         {std::pair{0.42, "42%"}, {0.005, "1%"}, {0.004, "0%"}, {7.0, "100%"}, {nan, "0%"}}) {
        EXPECT_EQ(AudioStatusRow::forStatus(AudioCaptureStatus::live, level).text,
                  std::string("Live Audio and Rhythm \u00B7 ") + percent)
            << level;
    }
}

TEST(VersionTextTest, MissingOrEmptyPartsShowADash) {
    using Part = std::optional<std::string_view>;
    const std::tuple<Part, Part, std::string> cases[] = {
        {"1.2", "7", "Version 1.2 (Build 7)"},
        {std::nullopt, "7", "Version - (Build 7)"},
        {"1.2", "", "Version 1.2 (Build -)"},
    };
    for (const auto& [version, build, expected] : cases) EXPECT_EQ(versionText(version, build), expected);
}

TEST(SwatchGridLayoutTest, ColumnsAdaptToTheWidthAndTheLastEndsFlush) {
    struct Case {
        double width;
        std::size_t count, columns, rows;
    };
    const Case cases[] = {
        {88, 9, 1, 9},                     // exactly one minimum column
        {185, 9, 1, 9},                    // two columns need 186
        {186, 9, 2, 5},   {504, 9, 5, 2},  // the tab's content width at the default window size
        {1000, 4, 10, 1},                  // more columns than swatches: the grid stays one row
        {0, 4, 1, 4},                      // not laid out yet: one minimum column
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width));
        const SwatchGridLayout layout(c.width, 40, c.count);
        EXPECT_EQ(layout.columnCount(), c.columns);
        EXPECT_EQ(layout.rowCount(), c.rows);
        const auto last = layout.cell(c.columns - 1);
        EXPECT_NEAR(last.x + last.width, std::max(c.width, SwatchGridLayout::minimumColumnWidth), 1e-9);
    }
    // Rows follow each other with spacing; no swatches, no height.
    const SwatchGridLayout layout(504, 40, 9);
    EXPECT_EQ(layout.cell(5), (SwatchGridLayout::Cell{0, 50, 92.8, 40}));
    EXPECT_DOUBLE_EQ(layout.height(), 90);
    EXPECT_DOUBLE_EQ(SwatchGridLayout(504, 40, 0).height(), 0);
}

}  // namespace
}  // namespace sonavista
