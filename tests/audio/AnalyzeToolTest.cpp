#include "audio/AudioFrameAnalyzer.h"
#include "base/FakeClock.h"
#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <utility>

namespace sonavista {
namespace {

namespace fs = std::filesystem;

class AnalyzeToolTest : public ::testing::Test {
protected:
    testing::ToolRun run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), SONAVISTA_ANALYZE_TOOL);
        return testing::runTool(arguments);
    }

    fs::path writeSound(const std::string& name, int rate, int channels, const std::vector<float>& interleaved) {
        const fs::path path = dir / name;
        SF_INFO info{0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr);
        sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / channels));
        sf_close(file);
        return path;
    }

    static std::vector<nlohmann::json> lines(const std::string& text) {
        std::vector<nlohmann::json> parsed;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) parsed.push_back(nlohmann::json::parse(line));
        return parsed;
    }

    testing::TempDir temp{"sonavista-analyze"};
    const fs::path dir = temp.path();
};

std::vector<float> chord(int frames, int channels) {
    std::vector<float> samples;
    for (int f = 0; f < frames; ++f) {
        const double t = f / 48000.0;
        const double beat = std::fmod(t, 0.5) < 0.05 ? 1.0 : 0.3;  // two loud onsets per second
        for (int c = 0; c < channels; ++c) {
            samples.push_back(static_cast<float>(
                beat * (0.3 * std::sin(2 * std::numbers::pi * (220.0 + 110 * c) * t) +
                        0.1 * std::sin(2 * std::numbers::pi * 3000.0 * t))));
        }
    }
    return samples;
}

// The tool's frames equal, to the last bit, those of the analysis fed the same blocks on the
// documented clock.
TEST_F(AnalyzeToolTest, PrintsEveryPublishedFrameAsRoundTrippingJson) {
    for (const auto& [channels, blockFrames] : {std::pair{2, 480}, std::pair{1, 1000}, std::pair{3, 333}}) {
        const auto samples = chord(48000 + 77, channels);
        const auto path = writeSound("chord.wav", 48000, channels, samples);
        const auto result = run({path, "--block-frames", std::to_string(blockFrames)});
        ASSERT_EQ(result.status, 0) << result.err;

        FakeClock clock(1.0);
        std::vector<nlohmann::json> expected;
        AudioFrameAnalyzer analyzer(clock, {[&](const AudioVisualizationFrame& f) {
                                                expected.push_back({{"time", clock.now() - 1.0}, {"level", f.level},
                                                                    {"motionRate", f.motionRate},
                                                                    {"beatPulse", f.beatPulse},
                                                                    {"spectrum", f.spectrum}});
                                            },
                                            {}});
        analyzer.beginCapture();
        const std::size_t total = samples.size() / channels;
        for (std::size_t done = 0; done < total;) {
            const std::size_t frames = std::min<std::size_t>(blockFrames, total - done);
            const float* start = samples.data() + done * channels;
            done += frames;
            clock.set(1.0 + done / 48000.0);
            analyzer.handle(AudioSampleBuffer::interleavedFloat(start, frames * channels, channels), true);
        }

        ASSERT_GT(expected.size(), 20u);
        EXPECT_EQ(lines(result.out), expected) << channels << " channels";
    }
}

TEST_F(AnalyzeToolTest, StopsAfterTheSilenceReport) {
    std::vector<float> samples(48000 / 2, 0.2f);  // half a second of sound, then silence
    samples.resize(48000 * 7, 0.0f);
    const auto path = writeSound("quiet.wav", 48000, 1, samples);
    const auto result = run({path});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto parsed = lines(result.out);
    ASSERT_FALSE(parsed.empty());
    // The last audible block ends at 0.5 s; the first block ending more than 4 s later reports.
    const nlohmann::json report = {{"time", 4.5 + 480 / 48000.0}, {"failure", "silentOrProtectedAudio"}};
    EXPECT_EQ(parsed.back(), report);
}

// One row per way the tool refuses its arguments or its file.
TEST_F(AnalyzeToolTest, RefusesBadInputWithOneLineAndExitTwo) {
    const auto wrongRate = writeSound("cd.wav", 44100, 2, std::vector<float>(2000, 0.1f));
    const auto good = writeSound("good.wav", 48000, 1, std::vector<float>(4800, 0.1f));
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{wrongRate}, "44100"},
        {{dir / "missing.wav"}, "missing.wav"},
        {{dir}, "directory"},
        {{}, "FILE"},
        {{good, "--fast"}, "--fast"},
        {{good, "--block-frames", "12x"}, "12x"},
        {{good, "--block-frames"}, "--block-frames"},
        {{good, good}, "one FILE"},
    };
    for (const auto& [arguments, mentions] : rows) {
        const auto result = run(arguments);
        EXPECT_EQ(result.status, 2) << mentions;
        EXPECT_NE(result.err.find(mentions), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_EQ(run({"--block-frames=4800", good}).status, 0);
}

}  // namespace
}  // namespace sonavista
