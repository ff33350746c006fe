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
#include <string>

namespace sonavista {
namespace {

using Tone = AudioStatusRow::Tone;

TEST(AudioStatusRowTest, SymbolColourAndTextPerStatus) {
    struct Case {
        AudioCaptureStatus status;
        double level;
        std::string_view symbol;
        Tone tone;
        std::string text;
    };
    const Case cases[] = {
        {AudioCaptureStatus::live, 0.42, "waveform.circle.fill", Tone::green, "Live Audio and Rhythm \u00B7 42%"},
        // Halves round away from zero; anything below a half rounds down; out of range and
        // not-a-number levels stay within 0...100 %.
        {AudioCaptureStatus::live, 0.005, "waveform.circle.fill", Tone::green, "Live Audio and Rhythm \u00B7 1%"},
        {AudioCaptureStatus::live, 0.004, "waveform.circle.fill", Tone::green, "Live Audio and Rhythm \u00B7 0%"},
        {AudioCaptureStatus::live, 7.0, "waveform.circle.fill", Tone::green, "Live Audio and Rhythm \u00B7 100%"},
        {AudioCaptureStatus::live, std::numeric_limits<double>::quiet_NaN(), "waveform.circle.fill", Tone::green,
         "Live Audio and Rhythm \u00B7 0%"},
        // The level is only shown while live.
        {AudioCaptureStatus::waiting, 0.5, "waveform.circle", Tone::secondary, "Waiting for Playback"},
        {AudioCaptureStatus::fallback, 0.5, "waveform.circle", Tone::secondary, "Fixed-Level Fallback"},
        {AudioCaptureStatus::permissionRequired, 0.5, "exclamationmark.shield.fill", Tone::orange,
         "System Audio Permission Required"},
        {AudioCaptureStatus::protectedAudio, 0.5, "speaker.slash.circle.fill", Tone::orange,
         "Protected or Muted Audio"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(audioCaptureStatusName(c.status)) + " at " + std::to_string(c.level));
        const auto row = AudioStatusRow::forStatus(c.status, c.level);
        EXPECT_EQ(row.symbolName, c.symbol);
        EXPECT_EQ(row.tone, c.tone);
        EXPECT_EQ(row.text, c.text);
    }
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

class SettingsViewStateTest : public ::testing::Test {
protected:
    std::shared_ptr<OverlayPreferences> preferences =
        OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
    VisualizerModel model;
};

TEST_F(SettingsViewStateTest, ReflectsEveryPreferenceAndTheModel) {
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
