#include "preferences/MemorySettingsStore.h"
#include "preferences/OverlayPreferences.h"
#include "settings/AudioStatusRow.h"
#include "settings/SettingsViewState.h"
#include "settings/SwatchGridLayout.h"
#include "settings/VersionText.h"
#include "visualizer/VisualizerModel.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <set>
#include <string>

namespace sonavista {
namespace {

using Tone = AudioStatusRow::Tone;

TEST(AudioStatusRowTest, LiveShowsTheRoundedLevelTheOthersTheirOwnStateAndTone) {
    // Halves round away from zero, anything below a half down; out-of-range and not-a-number
    // levels stay within 0...100 %.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [level, percent] : {std::pair{0.42, "42%"}, {0.005, "1%"}, {0.004, "0%"}, {7.0, "100%"}, {nan, "0%"}}) {
        EXPECT_EQ(AudioStatusRow::forStatus(AudioCaptureStatus::live, level).text,
                  std::string("Live Audio and Rhythm \u00B7 ") + percent)
            << level;
    }
    // Green while live, orange where the user can act; every state says something of its own,
    // with a level only while live. (Its symbols are checked with the window's.)
    const std::pair<AudioCaptureStatus, Tone> tones[] = {
        {AudioCaptureStatus::live, Tone::green}, {AudioCaptureStatus::waiting, Tone::secondary},
        {AudioCaptureStatus::fallback, Tone::secondary}, {AudioCaptureStatus::permissionRequired, Tone::orange},
        {AudioCaptureStatus::protectedAudio, Tone::orange}};
    std::set<std::string> texts;
    for (const auto& [status, tone] : tones) {
        const auto row = AudioStatusRow::forStatus(status, 0.5);
        EXPECT_EQ(row.tone, tone) << audioCaptureStatusName(status);
        EXPECT_EQ(row.text.find('%') != std::string::npos, status == AudioCaptureStatus::live) << row.text;
        texts.insert(row.text);
    }
    EXPECT_EQ(texts.size(), std::size(tones));
}

TEST(VersionTextTest, MissingOrEmptyPartsShowADash) {
    struct Case {
        std::optional<std::string_view> version;
        std::optional<std::string_view> build;
        std::string expected;
    };
    const Case cases[] = {
        {"1.2", "7", "Version 1.2 (Build 7)"},
        {"1.2", std::nullopt, "Version 1.2 (Build -)"},
        {std::nullopt, "7", "Version - (Build 7)"},
        {"", "", "Version - (Build -)"},
        {std::nullopt, std::nullopt, "Version - (Build -)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(versionText(c.version, c.build), c.expected);
    }
}

TEST(SwatchGridLayoutTest, ColumnsAdaptToTheWidth) {
    struct Case {
        double width;
        std::size_t count;
        std::size_t columns;
        std::size_t rows;
        double columnWidth;
    };
    const Case cases[] = {
        {88, 9, 1, 9, 88},          // exactly one minimum column
        {185, 9, 1, 9, 185},        // two columns need 186
        {186, 9, 2, 5, 88},
        {504, 9, 5, 2, 92.8},       // the tab's content width at the default window size
        {1000, 4, 10, 1, 91},       // more columns than swatches: the grid stays one row
        {0, 4, 1, 4, 88},           // not laid out yet: one minimum column
        {300, 0, 3, 0, 93.333333333333329},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width));
        const SwatchGridLayout layout(c.width, 40, c.count);
        EXPECT_EQ(layout.columnCount(), c.columns);
        EXPECT_EQ(layout.rowCount(), c.rows);
        EXPECT_DOUBLE_EQ(layout.columnWidth(), c.columnWidth);
    }
}

TEST(SwatchGridLayoutTest, CellsFillRowsInOrderWithSpacing) {
    const SwatchGridLayout layout(504, 40, 9);
    EXPECT_EQ(layout.cell(0), (SwatchGridLayout::Cell{0, 0, 92.8, 40}));
    EXPECT_EQ(layout.cell(4), (SwatchGridLayout::Cell{4 * 102.8, 0, 92.8, 40}));
    EXPECT_EQ(layout.cell(5), (SwatchGridLayout::Cell{0, 50, 92.8, 40}));
    EXPECT_DOUBLE_EQ(layout.height(), 90);
    // The last column ends flush with the grid's trailing edge.
    EXPECT_NEAR(layout.cell(4).x + layout.cell(4).width, 504, 1e-9);
    EXPECT_DOUBLE_EQ(SwatchGridLayout(504, 40, 0).height(), 0);
}

TEST(SettingsViewStateTest, ReflectsEveryPreferenceAndTheModel) {
    const auto preferences = OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
    VisualizerModel model;
    preferences->setOverlayEnabled(false);
    preferences->setAutoShow(false);
    preferences->setAvoidsCoveringWindows(false);
    preferences->setColor(WaveColor::mintGrape);
    preferences->setEnabledPlayers({MusicPlayer::spotify, MusicPlayer::youtube});
    model.updateLiveFrame(AudioVisualizationFrame{0.37, 1.0, 0.0, {}});

    const auto state = SettingsViewState::from(*preferences, model);
    EXPECT_FALSE(state.overlayEnabled);
    EXPECT_FALSE(state.autoShow);
    EXPECT_FALSE(state.avoidsCoveringWindows);
    EXPECT_EQ(state.color, WaveColor::mintGrape);
    for (MusicPlayer player : allMusicPlayers) {
        EXPECT_EQ(state.isPlayerEnabled(player), player == MusicPlayer::spotify || player == MusicPlayer::youtube)
            << rawValue(player);
    }
    EXPECT_EQ(state.audioStatus, AudioStatusRow::forStatus(AudioCaptureStatus::live, 0.37));
    EXPECT_EQ(state.audioStatus.text, "Live Audio and Rhythm \u00B7 37%");
}

TEST(SettingsSectionsTest, PlayersSplitIntoDesktopAndBrowserInCatalogueOrder) {
    EXPECT_EQ(SettingsViewState::desktopPlayers(),
              (std::vector<MusicPlayer>{MusicPlayer::appleMusic, MusicPlayer::qqMusic, MusicPlayer::netEaseMusic,
                                        MusicPlayer::spotify}));
    EXPECT_EQ(SettingsViewState::browserPlayers(),
              (std::vector<MusicPlayer>{MusicPlayer::spotifyWeb, MusicPlayer::youtube, MusicPlayer::qqMusicWeb}));
}

}  // namespace
}  // namespace sonavista
