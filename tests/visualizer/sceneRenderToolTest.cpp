// sonavista-render: argument parsing, and the program itself (exit status, JSON, PNG).
#include <gtest/gtest.h>

#include <QImage>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "RenderOptions.h"
#include "support/Child.h"
#include "support/ImageComparison.h"
#include "support/TempDir.h"
#include "visualizer/WaveformScene.h"

namespace sonavista {
namespace {

std::optional<RenderOptions> parse(std::vector<std::string> args, std::string* message = nullptr) {
    std::string error;
    auto options = RenderOptions::parse(args, error);
    if (message) *message = error;
    return options;
}

TEST(RenderOptions, ParsesEveryOption) {
    const auto options = parse({"--width", "1440.5", "--height", "150", "--mode", "fullscreenFog", "--color", "candyPop",
                                "--time", "12.25", "--level", "0.7", "--motion", "1.5", "--pulse", "0.3", "--spectrum",
                                "0.1,0.2,0.3", "--audio-responsive", "off", "--scale", "2", "--out", "x.png",
                                "--geometry"});
    ASSERT_TRUE(options);
    const WaveformInputs& in = options->inputs;
    EXPECT_DOUBLE_EQ(in.panelWidth, 1440.5);
    EXPECT_DOUBLE_EQ(in.panelHeight, 150);
    EXPECT_EQ(in.displayMode, OverlayDisplayMode::fullscreenFog);
    EXPECT_EQ(in.color, WaveColor::candyPop);
    EXPECT_DOUBLE_EQ(in.motionTime, 12.25);  // audio response off: motion rate 1
    EXPECT_DOUBLE_EQ(in.audioLevel, 0.7);
    EXPECT_DOUBLE_EQ(in.motionRate, 1.5);
    EXPECT_DOUBLE_EQ(in.beatPulse, 0.3);
    EXPECT_EQ(in.spectrum, (std::vector<double>{0.1, 0.2, 0.3}));
    EXPECT_FALSE(in.audioResponsive);
    EXPECT_DOUBLE_EQ(options->scale, 2);
    EXPECT_EQ(options->outputPath, "x.png");
    EXPECT_TRUE(options->printGeometry);
    const auto moving = parse({"--width", "800", "--height", "100", "--time", "2", "--motion", "1.5", "--geometry"});
    ASSERT_TRUE(moving);
    EXPECT_DOUBLE_EQ(moving->inputs.motionTime, 3.0) << "T seconds at the given motion rate";
    EXPECT_FALSE(moving->outputPath);
}

TEST(RenderOptions, RejectsBadArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--width", "800", "--geometry"},                                   // no height
        {"--width", "800", "--height", "100"},                              // nothing to do
        {"--width", "abc", "--height", "100", "--geometry"},
        {"--width", "0", "--height", "100", "--geometry"},
        {"--width", "800", "--height", "nan", "--geometry"},
        {"--width", "800", "--height", "100", "--mode", "Compact", "--geometry"},
        {"--width", "800", "--height", "100", "--spectrum", "0.1,,0.3", "--geometry"},
        {"--width", "800", "--height", "100", "--scale", "0", "--geometry"},
        {"--width", "800", "--height", "100", "--level", "1e999", "--geometry"},
        {"--width", "800", "--height", "100", "--level", "1.01", "--geometry"},   // outside the model's ranges
        {"--width", "800", "--height", "100", "--motion", "0.5", "--geometry"},
        {"--width", "800", "--height", "100", "--spectrum", "0.5,1.5", "--geometry"},
        {"--width", "800", "--height", "100", "--out"},
        {"--width", "800", "--height", "100", "--frobnicate", "1", "--geometry"},
        {"--width", "20000", "--height", "100", "--out", "big.png"},
        {"stray"},
    };
    for (const auto& args : cases) {
        std::string error;
        EXPECT_FALSE(parse(args, &error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
    }
}

// Runs sonavista-render with `args`.
testing::ToolRun run(std::vector<std::string> args) {
    args.insert(args.begin(), SONAVISTA_RENDER_TOOL);
    return testing::runTool(args);
}

TEST(RenderTool, PrintsTheSceneGeometryAsOneJsonObject) {
    const std::vector<std::string> args = {"--width", "1440", "--height", "150", "--level", "0.6",       "--pulse",
                                           "0.2",     "--spectrum", "0.1,0.9,0.4", "--color", "aurora", "--geometry"};
    const testing::ToolRun r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    const WaveformScene scene = WaveformScene::make(parse(args)->inputs);
    const std::pair<const char*, double> fields[] = {
        {"waveWidth", scene.wave.width}, {"waveHeight", scene.wave.height}, {"lineWidth", scene.lineWidth},
        {"dashLength", scene.dashLength}, {"dashGap", scene.dashGap},       {"centerY", scene.centerY},
        {"amplitude", scene.amplitude}};
    for (const auto& [key, value] : fields) EXPECT_DOUBLE_EQ(json[key].get<double>(), value) << key;
    EXPECT_EQ(json["barCount"].get<int>(), scene.barCount);
    ASSERT_EQ(json["bars"].size(), scene.bars.size());
    for (std::size_t i = 0; i < scene.bars.size(); ++i) {
        const auto& bar = json["bars"][i];
        const WaveformBar& expected = scene.bars[i];
        EXPECT_DOUBLE_EQ(bar["x"].get<double>(), expected.x) << i;
        EXPECT_DOUBLE_EQ(bar["halfHeight"].get<double>(), expected.halfHeight) << i;
        EXPECT_DOUBLE_EQ(bar["opacity"].get<double>(), expected.opacity) << i;
        EXPECT_EQ(bar["color"], (nlohmann::json{expected.color.red, expected.color.green, expected.color.blue})) << i;
    }
}

TEST(RenderTool, WritesThePanelImage) {
    const testing::TempDir dir{"sonavista-render-test"};
    const std::string file = (dir / "frame.png").string();
    ASSERT_EQ(run({"--width", "400.5", "--height", "120", "--mode", "compact", "--color", "aurora", "--time", "3",
                   "--level", "0.8", "--motion", "1.2", "--pulse", "0.5", "--scale", "2", "--out", file})
                  .status,
              0);
    QImage image(QString::fromStdString(file));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(801, 240));
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_EQ(qAlpha(image.pixel(400, 2)), 0);      // transparent above the wave
    // The centre dots sit on the centre line (rows 119 and 120).
    EXPECT_GT(testing::countPixels(image, [](std::uint32_t p) { return qAlpha(p) > 200; }, 0, 120, -1, 1), 0);

    // Fog stills carry the panel tint, from either renderer.
    for (bool reference : {false, true}) {
        std::vector<std::string> args = {"--width", "300", "--height", "400", "--mode", "fullscreenFog", "--out", file};
        if (reference) args.push_back("--reference");
        ASSERT_EQ(run(args).status, 0);
        image.load(QString::fromStdString(file));
        ASSERT_EQ(image.size(), QSize(300, 400));
        const QRgb corner = image.pixel(0, 0);  // far from the wave: the tint alone
        EXPECT_EQ(qAlpha(corner), 11) << reference;
        EXPECT_EQ(qRed(corner), 255) << reference;  // unpremultiplied white
    }
}

TEST(RenderTool, BadArgumentsExitWithStatusTwo) {
    EXPECT_EQ(run({}).status, 2);
    EXPECT_EQ(run({"--width", "10", "--height", "10", "--mode", "sideways", "--geometry"}).status, 2);
    EXPECT_EQ(run({"--width", "10", "--height", "10", "--out", "/nonexistent-dir/x.png"}).status, 1);
}

}  // namespace
}  // namespace sonavista
