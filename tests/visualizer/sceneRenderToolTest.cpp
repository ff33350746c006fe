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

std::optional<RenderOptions> parse(const std::vector<std::string>& args) {
    std::string error;
    return RenderOptions::parse(args, error);
}

TEST(RenderOptions, ParsesEveryOption) {
    const auto options = parse({"--width", "1440.5", "--height", "150", "--mode", "fullscreenFog", "--color",
                                "candyPop", "--time", "12.25", "--level", "0.7", "--motion", "1.5", "--pulse", "0.3",
                                "--spectrum", "0.1,0.2,0.3", "--audio-responsive", "off", "--scale", "2", "--out",
                                "x.png", "--geometry"});
    ASSERT_TRUE(options);
    const WaveformInputs& in = options->inputs;
    EXPECT_EQ(std::tuple(in.panelWidth, in.panelHeight, in.displayMode, in.color, in.audioResponsive),
              std::tuple(1440.5, 150.0, OverlayDisplayMode::fullscreenFog, WaveColor::candyPop, false));
    // With audio response off the ripple's time is T at motion rate 1.
    EXPECT_EQ(std::tuple(in.motionTime, in.audioLevel, in.motionRate, in.beatPulse, in.spectrum),
              std::tuple(12.25, 0.7, 1.5, 0.3, std::vector<double>{0.1, 0.2, 0.3}));
    // T seconds at the given motion rate.
    const auto moving = parse({"--width", "8", "--height", "1", "--time", "2", "--motion", "1.5", "--geometry"});
    EXPECT_EQ(moving.value().inputs.motionTime, 3.0);
}

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
    const std::pair<const char*, nlohmann::json> fields[] = {
        {"waveWidth", scene.wave.width}, {"waveHeight", scene.wave.height}, {"lineWidth", scene.lineWidth},
        {"dashLength", scene.dashLength}, {"dashGap", scene.dashGap},       {"centerY", scene.centerY},
        {"amplitude", scene.amplitude},   {"barCount", scene.barCount}};
    for (const auto& [key, value] : fields) EXPECT_EQ(json[key], value) << key;
    nlohmann::json bars;
    for (const WaveformBar& b : scene.bars) {
        const nlohmann::json color = {b.color.red, b.color.green, b.color.blue};
        bars.push_back({{"x", b.x}, {"halfHeight", b.halfHeight}, {"opacity", b.opacity}, {"color", color}});
    }
    EXPECT_EQ(json["bars"], bars);
}

TEST(RenderTool, WritesThePanelImage) {
    const testing::TempDir dir{"sonavista-render-test"};
    const std::string file = (dir / "frame.png").string();
    ASSERT_EQ(run({"--width", "400.5", "--height", "120", "--level", "0.8", "--scale", "2", "--out", file}).status, 0);
    QImage image(QString::fromStdString(file));
    EXPECT_EQ(image.size(), QSize(801, 240));
    EXPECT_EQ(qAlpha(image.pixel(400, 2)), 0);      // transparent above the wave
    // The centre dots sit on the centre line (rows 119 and 120).
    EXPECT_GT(testing::countPixels(image, [](std::uint32_t p) { return qAlpha(p) > 200; }, 0, 120, -1, 1), 0);

    // Fog stills carry the panel tint, from either renderer.
    for (bool reference : {false, true}) {
        std::vector<std::string> args = {"--width", "300", "--height", "400", "--mode", "fullscreenFog", "--out", file};
        if (reference) args.push_back("--reference");
        ASSERT_EQ(run(args).status, 0);
        image.load(QString::fromStdString(file));
        EXPECT_EQ(image.pixel(0, 0), qRgba(255, 255, 255, 11)) << reference;  // far from the wave: the tint alone
    }
}

// One row per way the parser refuses: status 2 and a message that names the trouble.
TEST(RenderTool, BadArgumentsExitWithStatusTwo) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--width", "800", "--geometry"}, "--height are required"},
        {{"--width", "800", "--height", "100"}, "nothing to do"},
        {{"--width", "abc", "--height", "100", "--geometry"}, "--width: abc"},
        {{"--width", "8", "--height", "1", "--motion", "0.5", "--geometry"}, "--motion: 0.5"},
        {{"--width", "8", "--height", "1", "--spectrum", "0.5,1.5", "--geometry"}, "0.5,1.5"},
        {{"--width", "8", "--height", "1", "--mode", "sideways", "--geometry"}, "sideways"},
        {{"--width", "8", "--height", "1", "--out"}, "missing value for --out"},
        {{"--width", "8", "--height", "1", "--frobnicate", "1", "--geometry"}, "--frobnicate"},
        {{"--width", "20000", "--height", "100", "--out", "big.png"}, "too large"},
    };
    for (const auto& [args, mentions] : rows) {
        const auto result = run(args);
        EXPECT_EQ(result.status, 2) << mentions;
        EXPECT_NE(result.err.find(mentions), std::string::npos) << result.err;
    }
    EXPECT_EQ(run({"--width", "10", "--height", "10", "--out", "/nonexistent-dir/x.png"}).status, 1);
}

}  // namespace
}  // namespace sonavista
