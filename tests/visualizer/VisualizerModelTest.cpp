#include "visualizer/VisualizerModel.h"

#include <gtest/gtest.h>

#include <limits>

namespace sonavista {
namespace {

using Property = VisualizerModel::Property;

// Records each notification with the value stored at that moment.
struct Recorder {
    VisualizerModel& model;
    std::vector<Property> properties;
    std::vector<AudioCaptureStatus> statusesSeen;
    explicit Recorder(VisualizerModel& m) : model(m) {
        model.addObserver([this](Property p) {
            properties.push_back(p);
            statusesSeen.push_back(model.captureStatus());
        });
    }
};

TEST(VisualizerModelTest, LiveFrameValuesAreClamped) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        AudioVisualizationFrame frame;
        double level, motionRate, beatPulse;
        std::vector<double> spectrum;
    } rows[] = {
        {{1.3, 0.2, -0.1, {-0.2, 1.5, 0.25}}, 1.0, 0.55, 0.0, {0.0, 1.0, 0.25}},
        {{0.5, 3.5, 1.2, {}}, 0.5, 2.8, 1.0, {}},
        {{-0.5, 1.5, 0.5, {0.0, 1.0}}, 0.0, 1.5, 0.5, {0.0, 1.0}},
        {{nan, nan, nan, {nan}}, 0.0, 0.55, 0.0, {0.0}},
    };
    for (const auto& row : rows) {
        VisualizerModel model;
        model.updateFallbackLevel(0.3);
        model.updateLiveFrame(row.frame);
        EXPECT_EQ(model.captureStatus(), AudioCaptureStatus::live);
        EXPECT_EQ(model.audioLevel(), row.level);
        EXPECT_EQ(model.motionRate(), row.motionRate);
        EXPECT_EQ(model.beatPulse(), row.beatPulse);
        EXPECT_EQ(model.spectrum(), row.spectrum);
        EXPECT_EQ(model.fallbackLevel(), 0.3);
    }
}

TEST(VisualizerModelTest, NotifiesEveryAssignmentInOrderBeforeStoring) {
    VisualizerModel model;
    Recorder recorder(model);
    model.updateLiveFrame({0.5, 1.0, 0.5, {0.5}});
    EXPECT_EQ(recorder.properties, (std::vector<Property>{Property::captureStatus, Property::audioLevel,
                                                          Property::motionRate, Property::beatPulse,
                                                          Property::spectrum}));
    // The status notification came while the old status was still stored.
    EXPECT_EQ(recorder.statusesSeen.front(), AudioCaptureStatus::waiting);

    recorder.properties.clear();
    model.updateFallbackLevel(0.9);  // live: nothing observable changes
    EXPECT_TRUE(recorder.properties.empty());

    model.pause();
    model.updateFallbackLevel(0.4);  // equal values still notify
    model.updateFallbackLevel(0.4);
    std::vector<Property> expected{Property::captureStatus};
    for (int assignment = 0; assignment < 3; ++assignment) {
        expected.insert(expected.end(), {Property::audioLevel, Property::motionRate, Property::beatPulse, Property::spectrum});
    }
    EXPECT_EQ(recorder.properties, expected);
}

TEST(VisualizerModelTest, FallbackLevelIsClampedShownUnlessLiveAndKeptThroughPause) {
    for (const auto& [level, stored] : {std::pair{-1.0, 0.0}, {2.0, 1.0}, {0.5, 0.5}}) {
        VisualizerModel model;
        model.updateFallbackLevel(level);
        EXPECT_EQ(model.fallbackLevel(), stored);
        EXPECT_EQ(model.audioLevel(), stored);
        EXPECT_EQ(model.captureStatus(), AudioCaptureStatus::waiting);  // never changes the status
    }
    // While live the level is only recorded for later.
    VisualizerModel model;
    model.updateLiveFrame({0.9, 2.0, 1.0, {0.5, 0.6}});
    model.updateFallbackLevel(0.5);
    EXPECT_EQ(model.audioLevel(), 0.9);
    EXPECT_EQ(model.spectrum().size(), 2u);
    model.useFallbackAudio(AudioCaptureFailure::unavailable);
    EXPECT_EQ(model.audioLevel(), 0.5);
    EXPECT_EQ(model.beatPulse(), 0.0);
    EXPECT_TRUE(model.spectrum().empty());
    // Pause rests the wave but keeps the level for the next fallback.
    model.updateLiveFrame({0.9, 2.0, 1.0, {0.5}});
    model.pause();
    EXPECT_EQ(model.captureStatus(), AudioCaptureStatus::waiting);
    EXPECT_EQ(model.audioLevel(), 0.0);
    EXPECT_TRUE(model.spectrum().empty());
    model.useFallbackAudio(std::nullopt);
    EXPECT_EQ(model.audioLevel(), 0.5);
}

TEST(VisualizerModelTest, FailureDecidesTheFallbackStatus) {
    const struct {
        std::optional<AudioCaptureFailure> failure;
        AudioCaptureStatus status;
    } rows[] = {{std::nullopt, AudioCaptureStatus::fallback},
                {AudioCaptureFailure::unavailable, AudioCaptureStatus::fallback},
                {AudioCaptureFailure::permissionRequired, AudioCaptureStatus::permissionRequired},
                {AudioCaptureFailure::silentOrProtectedAudio, AudioCaptureStatus::protectedAudio}};
    for (const auto& row : rows) {
        VisualizerModel model;
        model.updateLiveFrame({0.9, 2.0, 1.0, {0.5}});
        model.useFallbackAudio(row.failure);
        EXPECT_EQ(model.captureStatus(), row.status);
        model.updateFallbackLevel(0.2);  // keeps the reason
        EXPECT_EQ(model.captureStatus(), row.status);
        EXPECT_EQ(model.audioLevel(), 0.2);
        model.updateLiveFrame({0.1, 1.0, 0.0, {}});  // frames again: live
        EXPECT_EQ(model.captureStatus(), AudioCaptureStatus::live);
    }
}

}  // namespace
}  // namespace sonavista
