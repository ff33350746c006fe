// sonavista-render: argument parsing, and the program itself (exit status, JSON, PNG).
#include <gtest/gtest.h>

#include <QImage>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

#include "RenderOptions.h"
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
}

TEST(RenderOptions, DefaultsFollowTheSettingsAndTheModel) {
    const auto options = parse({"--width", "800", "--height", "100", "--geometry"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->inputs.displayMode, OverlayDisplayMode::compact);
    EXPECT_EQ(options->inputs.color, WaveColor::cyan);
    EXPECT_TRUE(options->inputs.audioResponsive);
    EXPECT_TRUE(options->inputs.spectrum.empty());
    EXPECT_DOUBLE_EQ(options->inputs.audioLevel, 0.48);
    EXPECT_DOUBLE_EQ(options->scale, 1.0);
    const auto moving = parse({"--width", "800", "--height", "100", "--time", "2", "--motion", "1.5", "--geometry"});
    ASSERT_TRUE(moving);
    EXPECT_DOUBLE_EQ(moving->inputs.motionTime, 3.0) << "T seconds at the given motion rate";
    EXPECT_FALSE(options->outputPath);
}

TEST(RenderOptions, RejectsBadArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--width", "800", "--geometry"},                                   // no height
        {"--width", "800", "--height", "100"},                              // nothing to do
        {"--width", "abc", "--height", "100", "--geometry"},
        {"--width", "-5", "--height", "100", "--geometry"},
        {"--width", "0", "--height", "100", "--geometry"},
        {"--width", "800", "--height", "nan", "--geometry"},
        {"--width", "800", "--height", "100", "--mode", "Compact", "--geometry"},
        {"--width", "800", "--height", "100", "--color", "Candy Pop", "--geometry"},
        {"--width", "800", "--height", "100", "--spectrum", "0.1,,0.3", "--geometry"},
        {"--width", "800", "--height", "100", "--spectrum", "", "--geometry"},
        {"--width", "800", "--height", "100", "--audio-responsive", "yes", "--geometry"},
        {"--width", "800", "--height", "100", "--scale", "0", "--geometry"},
        {"--width", "800", "--height", "100", "--level", "1e999", "--geometry"},
        {"--width", "800", "--height", "100", "--level", "1.01", "--geometry"},   // outside the model's ranges
        {"--width", "800", "--height", "100", "--pulse", "-0.1", "--geometry"},
        {"--width", "800", "--height", "100", "--pulse", "1e300", "--out", "x.png"},
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

struct ToolRun {
    int status;
    std::string out;
};

ToolRun run(const std::string& arguments) {
    const std::string command = std::string(SONAVISTA_RENDER_TOOL) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(RenderTool, PrintsTheGeometryAsOneJsonObject) {
    const ToolRun r = run("--width 1440 --height 150 --level 0 --pulse 0 --spectrum 0,0,0,0 --geometry");
    ASSERT_EQ(r.status, 0);
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_DOUBLE_EQ(json["waveWidth"].get<double>(), 1440);
    EXPECT_DOUBLE_EQ(json["waveHeight"].get<double>(), 138);
    EXPECT_EQ(json["barCount"].get<int>(), 276);
    EXPECT_NEAR(json["lineWidth"].get<double>(), 1.357, 5e-4);
    EXPECT_DOUBLE_EQ(json["dashLength"].get<double>(), 1.0);
    EXPECT_NEAR(json["dashGap"].get<double>(), 1.35 * json["lineWidth"].get<double>(), 1e-12);
    EXPECT_DOUBLE_EQ(json["centerY"].get<double>(), 69);
    EXPECT_NEAR(json["amplitude"].get<double>(), 57.96, 1e-9);
    ASSERT_EQ(json["bars"].size(), 276u);
    for (const auto& bar : json["bars"]) {
        EXPECT_NEAR(bar["halfHeight"].get<double>(), 0.977, 5e-4);
        EXPECT_NEAR(bar["opacity"].get<double>(), 0.38, 1e-12);
        ASSERT_EQ(bar["color"].size(), 3u);
        EXPECT_NEAR(bar["color"][0].get<double>(), 31 / 255.0, 1e-12);  // cyan, the default preset
    }
    EXPECT_NEAR(json["bars"][1]["x"].get<double>(), 1.5 * 1440 / 276.0, 1e-9);
}

TEST(RenderTool, WritesThePanelImage) {
    const auto dir = std::filesystem::temp_directory_path() / ("sonavista-render-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "frame.png";
    const ToolRun r = run("--width 400.5 --height 120 --mode compact --color aurora --time 3 --level 0.8 --motion 1.2 "
                      "--pulse 0.5 --scale 2 --out " + file.string());
    ASSERT_EQ(r.status, 0);
    QImage image(QString::fromStdString(file.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 801);
    EXPECT_EQ(image.height(), 240);
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_EQ(qAlpha(image.pixel(400, 2)), 0);      // transparent above the wave
    int centreInk = 0;  // the centre dots sit on the centre line (rows 119 and 120)
    for (int x = 0; x < image.width(); ++x) centreInk = std::max(centreInk, qAlpha(image.pixel(x, 120)));
    EXPECT_GT(centreInk, 200);
    std::filesystem::remove_all(dir);
}

TEST(RenderTool, FogStillsCarryThePanelTint) {
    const auto dir = std::filesystem::temp_directory_path() / ("sonavista-render-fog-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    for (const char* renderer : {"", "--reference"}) {
        const auto file = dir / "fog.png";
        ASSERT_EQ(run(std::string("--width 300 --height 400 --mode fullscreenFog --out ") + file.string() + " " + renderer).status, 0);
        QImage image(QString::fromStdString(file.string()));
        ASSERT_EQ(image.size(), QSize(300, 400));
        const QRgb corner = image.pixel(0, 0);  // far from the wave: the tint alone
        EXPECT_EQ(qAlpha(corner), 11) << renderer;
        EXPECT_EQ(qRed(corner), 255) << renderer;  // unpremultiplied white
    }
    std::filesystem::remove_all(dir);
}

TEST(RenderTool, BadArgumentsExitWithStatusTwo) {
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("--width 10 --height 10 --mode sideways --geometry").status, 2);
    EXPECT_EQ(run("--width 10 --height 10 --spectrum 1,x --geometry").status, 2);
    EXPECT_EQ(run("--width 10 --height 10 --out /nonexistent-dir/x.png").status, 1);
}

}  // namespace
}  // namespace sonavista
