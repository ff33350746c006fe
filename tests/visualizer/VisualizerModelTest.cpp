#include "visualizer/VisualizerModel.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace sonavista {
namespace {

using Property = VisualizerModel::Property;
using Spectrum = std::vector<double>;
using Shown = std::tuple<double, double, double, Spectrum>;  // level, motion, pulse, spectrum

Shown shown(const VisualizerModel& m) { return {m.audioLevel(), m.motionRate(), m.beatPulse(), m.spectrum()}; }

TEST(VisualizerModelTest, LiveFrameValuesAreClamped) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<AudioVisualizationFrame, Shown> rows[] = {
        {{1.3, 0.2, -0.1, {-0.2, 1.5, 0.25}}, {1.0, 0.55, 0.0, {0.0, 1.0, 0.25}}},
        {{-0.5, 3.5, 1.2, {}}, {0.0, 2.8, 1.0, {}}},
        {{nan, nan, nan, {nan}}, {0.0, 0.55, 0.0, {0.0}}},
    };
    for (const auto& [frame, expected] : rows) {
        VisualizerModel model;
        model.updateLiveFrame(frame);
        EXPECT_EQ(shown(model), expected);
    }
}

TEST(VisualizerModelTest, NotifiesEveryAssignmentInOrderBeforeStoring) {
    VisualizerModel model;
    std::vector<Property> seen;
    AudioCaptureStatus statusWhenFirstTold = AudioCaptureStatus::live;
    model.addObserver([&](Property p) {
        if (seen.empty()) statusWhenFirstTold = model.captureStatus();
        seen.push_back(p);
    });
    model.updateLiveFrame({0.5, 1.0, 0.5, {0.5}});
    model.updateFallbackLevel(0.9);  // live: nothing observable changes
    model.pause();
    model.updateFallbackLevel(0.4);  // equal values still notify
    model.updateFallbackLevel(0.4);
    using enum VisualizerModel::Property;
    // The live frame and the pause assign the status and four values, each fallback level the four.
    EXPECT_EQ(seen, (std::vector{captureStatus, audioLevel, motionRate, beatPulse, spectrum, captureStatus, audioLevel,
                                 motionRate, beatPulse, spectrum, audioLevel, motionRate, beatPulse, spectrum,
                                 audioLevel, motionRate, beatPulse, spectrum}));
    EXPECT_EQ(statusWhenFirstTold, AudioCaptureStatus::waiting);
}

TEST(VisualizerModelTest, FallbackLevelIsClampedShownUnlessLiveAndKeptThroughPause) {
    for (const auto& [level, stored] : {std::pair{-1.0, 0.0}, {2.0, 1.0}}) {
        VisualizerModel model;
        model.updateFallbackLevel(level);
        EXPECT_EQ(model.audioLevel(), stored);
        EXPECT_EQ(model.captureStatus(), AudioCaptureStatus::waiting);  // never changes the status
    }
    // While live the level is only recorded for later.
    VisualizerModel model;
    model.updateLiveFrame({0.9, 2.0, 1.0, {0.5, 0.6}});
    model.updateFallbackLevel(0.5);
    EXPECT_EQ(model.audioLevel(), 0.9);
    model.useFallbackAudio(AudioCaptureFailure::unavailable);
    EXPECT_EQ(std::tuple(model.audioLevel(), model.beatPulse(), model.spectrum()), std::tuple(0.5, 0.0, Spectrum{}));
    // Pause rests the wave but keeps the level for the next fallback.
    model.updateLiveFrame({0.9, 2.0, 1.0, {0.5}});
    model.pause();
    EXPECT_EQ(std::tuple(model.captureStatus(), model.audioLevel(), model.spectrum()),
              std::tuple(AudioCaptureStatus::waiting, 0.0, Spectrum{}));
    model.useFallbackAudio(std::nullopt);
    EXPECT_EQ(model.audioLevel(), 0.5);
}

TEST(VisualizerModelTest, FailureDecidesTheFallbackStatus) {
    const std::pair<std::optional<AudioCaptureFailure>, AudioCaptureStatus> rows[] = {
        {std::nullopt, AudioCaptureStatus::fallback},
        {AudioCaptureFailure::unavailable, AudioCaptureStatus::fallback},
        {AudioCaptureFailure::permissionRequired, AudioCaptureStatus::permissionRequired},
        {AudioCaptureFailure::silentOrProtectedAudio, AudioCaptureStatus::protectedAudio},
    };
    for (const auto& [failure, status] : rows) {
        VisualizerModel model;
        model.useFallbackAudio(failure);
        model.updateFallbackLevel(0.2);  // keeps the reason
        EXPECT_EQ(model.captureStatus(), status);
        EXPECT_EQ(model.audioLevel(), 0.2);
        model.updateLiveFrame({0.1, 1.0, 0.0, {}});  // frames again: live
        EXPECT_EQ(model.captureStatus(), AudioCaptureStatus::live);
    }
}

}  // namespace
}  // namespace sonavista
