#include "audio/AudioFrameAnalyzer.h"
#include "audio/SampleAccumulator.h"
#include "base/FakeClock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>
#include <random>
#include <tuple>

namespace sonavista {
namespace {

SampleSpec floatFormat(std::uint32_t channels, bool nonInterleaved = false) {
    return {SampleFormat::float32, channels, !nonInterleaved};
}

TEST(ExtractionTest, YieldsRmsOverAllValuesAndMonoSamplesOfTheFirstBuffer) {
    using Buffers = std::vector<std::optional<std::vector<float>>>;
    const struct {
        const char* name;
        std::optional<SampleSpec> description;
        Buffers buffers;
        std::optional<double> rms;  // nothing: no data
        std::vector<float> samples;
        std::size_t firstBufferBytes = 0;  // 0: all its values
    } rows[] = {
        {"interleaved stereo: mean per frame", floatFormat(2), {std::vector<float>{0.1f, 0.3f, -0.2f, 0.4f}},
         std::sqrt(0.075), {0.2f, 0.1f}},
        {"three channels drop a partial frame", floatFormat(3), {std::vector<float>{0.3f, 0.6f, 0.9f, 0.0f, 0.0f, 0.3f, 0.5f}},
         std::sqrt((0.09 + 0.36 + 0.81 + 0.09 + 0.25) / 7), {0.6f, 0.1f}},
        {"non-interleaved: first buffer, RMS over both", floatFormat(2, true),
         {std::vector<float>{0.5f, -0.5f}, std::vector<float>{0.0f, 0.0f}}, std::sqrt(0.125), {0.5f, -0.5f}},
        {"zero channels read as mono", floatFormat(0), {std::vector<float>{0.5f, 0.5f}}, 0.5, {0.5f, 0.5f}},
        {"later buffer without data skipped", floatFormat(2, true), {std::vector<float>{0.5f, 0.5f}, std::nullopt}, 0.5,
         {0.5f, 0.5f}},
        {"first buffer without data", floatFormat(2, true), {std::nullopt, std::vector<float>{0.5f, 0.5f}}, {}, {}},
        {"fewer values than channels", floatFormat(2), {std::vector<float>{0.5f}}, {}, {}},
        {"no buffers", floatFormat(2), {}, {}, {}},
        {"no sample spec", std::nullopt, {std::vector<float>{0.5f, 0.5f}}, {}, {}},
        {"integer samples", SampleSpec{SampleFormat::s16, 2, true}, {std::vector<float>{0.5f, 0.5f}}, {}, {}},
        {"infinite value", floatFormat(2), {std::vector<float>{INFINITY, 0.5f}}, {}, {}},
        {"NaN in a later buffer", floatFormat(2, true), {std::vector<float>{0.5f}, std::vector<float>{NAN}}, {}, {}},
        {"trailing partial sample ignored", floatFormat(1), {std::vector<float>{0.5f, 0.5f, 0.25f}}, 0.5, {0.5f, 0.5f}, 10},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AudioSampleBuffer buffer;  // views into the row's values; nothing stands for no data
        buffer.sampleSpec = row.description;
        for (const auto& values : row.buffers) {
            buffer.buffers.push_back({values ? reinterpret_cast<const std::byte*>(values->data()) : nullptr,
                                      values ? values->size() * sizeof(float) : 0});
        }
        if (row.firstBufferBytes) buffer.buffers[0].byteSize = row.firstBufferBytes;
        const auto data = AudioFrameAnalyzer::audioData(buffer);
        ASSERT_EQ(data.has_value(), row.rms.has_value());
        if (!data) continue;
        EXPECT_NEAR(data->rms, *row.rms, 1e-7);
        EXPECT_THAT(data->samples, ::testing::Pointwise(::testing::FloatEq(), row.samples));
    }
}

// Level: -55 dBFS and below 0, -10 dBFS and above 1. Beat intervals fold into 0.34 ... 0.86 s.
TEST(AnalysisRulesTest, LevelTempoAndBeatThresholds) {
    for (const auto& [rms, level] : {std::pair{0.1, 0.8345}, {0.01, 0.4534}, {std::pow(10.0, -55.0 / 20.0), 0.0},
                                     {0.0, 0.0}, {std::pow(10.0, -10.0 / 20.0), 1.0}, {8.0, 1.0}}) {
        EXPECT_NEAR(AudioFrameAnalyzer::targetLevel(rms), level, 5e-5) << "rms " << rms;
    }
    for (const auto& [interval, folded, tempo] : {std::tuple{0.5, 0.5, 50.0 / 110.0}, {1.2, 0.6, 30.0 / 110.0},
                                                  {0.25, 0.5, 50.0 / 110.0}, {0.86, 0.86, 0.0},
                                                  {3.0, 0.75, 10.0 / 110.0}}) {
        EXPECT_DOUBLE_EQ(AudioFrameAnalyzer::foldBeatInterval(interval), folded) << interval;
        EXPECT_NEAR(AudioFrameAnalyzer::tempoForInterval(interval), tempo, 1e-12) << interval;
    }
    EXPECT_FALSE(AudioFrameAnalyzer::isBeat(0.28, 10.0, 0.0));
    EXPECT_TRUE(AudioFrameAnalyzer::isBeat(std::nextafter(0.28, 1.0), 10.0, 0.0));
    EXPECT_FALSE(AudioFrameAnalyzer::isBeat(5.0, 0.22, 0.0));
    EXPECT_TRUE(AudioFrameAnalyzer::isBeat(5.0, std::nextafter(0.22, 1.0), 0.0));
}

// Reference: plain DFT in double precision under a periodic Hann window scaled by 0.8165,
// doubled, then averaged over each band's bins (45 Hz to 18 kHz on a log scale, at least one
// bin, DC left out) and mapped from -92 ... -24 dB.
std::vector<double> referenceSpectrum(const std::vector<float>& x) {
    std::vector<double> magnitudes(512, 0.0);
    for (int k = 1; k < 512; ++k) {
        std::complex<double> sum = 0.0;
        for (int n = 0; n < 1024; ++n) {
            const double window = 0.8165 * (1.0 - std::cos(2.0 * std::numbers::pi * n / 1024.0));
            sum += static_cast<double>(x[n]) * window * std::polar(1.0, -2.0 * std::numbers::pi * k * n / 1024.0);
        }
        magnitudes[k] = 2.0 * std::abs(sum);
    }
    const auto bin = [](int band) { return 45.0 * std::pow(400.0, band / 96.0) * 1024 / 48000; };
    std::vector<double> bands;
    for (int b = 0; b < 96; ++b) {
        const int lower = std::clamp(static_cast<int>(bin(b)), 1, 511);
        const int upper = std::min(512, std::max(lower + 1, static_cast<int>(std::ceil(bin(b + 1)))));
        double total = 0.0;
        for (int k = lower; k < upper; ++k) total += magnitudes[k];
        const double scaled = total / (upper - lower) / 1024.0;
        const double db = 20.0 * std::log10(std::max(scaled, 1e-7));
        bands.push_back(std::pow(std::clamp((db + 92.0) / 68.0, 0.0, 1.0), 0.74));
    }
    return bands;
}

TEST(SpectrumTest, MatchesDoubledDirectDftAndInputOfAnotherLengthGivesThePreviousOne) {
    FakeClock clock;
    AudioFrameAnalyzer analyzer{clock, {}};
    EXPECT_EQ(analyzer.spectrum(std::vector<float>(1024, 0.0f)), std::vector<double>(96, 0.0));
    EXPECT_EQ(analyzer.spectrum(std::vector<float>(1023, 0.5f)), std::vector<double>(96, 0.0));  // none yet
    EXPECT_EQ(analyzer.spectrum(std::vector<float>(1025, 0.5f)), std::vector<double>(96, 0.0));
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.003f);
    std::vector<float> signal;
    for (int n = 0; n < 1024; ++n) {
        signal.push_back(static_cast<float>(noise(random) + 0.02 * std::sin(2 * std::numbers::pi * 1000.0 * n / 48000.0) +
                                            0.001 * std::sin(2 * std::numbers::pi * 9000.0 * n / 48000.0)));
    }
    const auto expected = referenceSpectrum(signal);
    const auto actual = analyzer.spectrum(signal);
    ASSERT_EQ(actual.size(), 96u);
    int between = 0;
    for (int b = 0; b < 96; ++b) {
        EXPECT_NEAR(actual[b], expected[b], 2e-5) << "band " << b;
        between += actual[b] > 0.05 && actual[b] < 0.95 ? 1 : 0;
    }
    // The comparison means something only where the values are not clamped.
    EXPECT_GT(between, 8);
}

auto fields(const AudioAnalysisState& s) {
    return std::tuple(s.smoothedLevel, s.smoothedActivity, s.smoothedSpectrum, s.previousSpectrum,
                      s.accumulatedSampleCount, s.fluxBaseline, s.beatPulse, s.tempoFactor, s.previousPublishedLevel,
                      s.lastBeatTime, s.captureStartTime, s.lastAudibleSampleTime, s.lastPublishTime);
}

class HandlerTest : public ::testing::Test {
protected:
    HandlerTest()
        : analyzer(clock, {[this](const AudioVisualizationFrame& frame) { frames.push_back(frame); },
                           [this](AudioCaptureFailure failure) { failures.push_back(failure); }}) {}

    void feed(double time, float value, std::size_t count = 1, bool captureRequested = true) {
        clock.set(time);
        std::vector<float> samples(count, value);
        analyzer.handle(AudioSampleBuffer::interleavedFloat(samples.data(), samples.size(), 1), captureRequested);
    }

    FakeClock clock{1.0};
    std::vector<AudioVisualizationFrame> frames;
    std::vector<AudioCaptureFailure> failures;
    AudioFrameAnalyzer analyzer;
};

TEST_F(HandlerTest, IgnoredBuffersChangeNothing) {
    analyzer.beginCapture();
    feed(2.0, 0.1f);  // some state to compare against
    const AudioAnalysisState before = analyzer.state();
    std::vector<float> loud(64, 0.5f);
    AudioSampleBuffer invalid = AudioSampleBuffer::interleavedFloat(loud.data(), loud.size(), 1);
    invalid.isValid = false;
    feed(9.0, 0.5f, 64, false);  // long after: any accepted buffer would publish or report silence
    analyzer.handle(invalid, true);
    EXPECT_EQ(fields(analyzer.state()), fields(before));  // a published frame would stamp its time
}

TEST_F(HandlerTest, PublishesFirstBufferAtOnceThenAtMostEvery30thOfASecond) {
    const double interval = 1.0 / 30.0;
    clock.set(interval);
    analyzer.beginCapture();
    feed(interval, 0.1f);
    EXPECT_EQ(frames.size(), 1u);
    feed(std::nextafter(2.0 * interval, 0.0), 0.1f);
    EXPECT_EQ(frames.size(), 1u);
    feed(2.0 * interval, 0.1f);
    EXPECT_EQ(frames.size(), 2u);
    EXPECT_EQ(analyzer.state().accumulatedSampleCount, 3u);  // gated buffers still accumulate
}

TEST_F(HandlerTest, SilenceReportedOnlyAfterMoreThanFourSecondsFromTheStart) {
    clock.set(10.0);
    analyzer.beginCapture();
    feed(14.0, 0.0f);
    EXPECT_TRUE(failures.empty());
    const std::size_t accumulated = analyzer.state().accumulatedSampleCount;
    feed(std::nextafter(14.0, 20.0), 0.0f, 8);
    ASSERT_EQ(failures, std::vector<AudioCaptureFailure>{AudioCaptureFailure::silentOrProtectedAudio});
    EXPECT_EQ(analyzer.state().accumulatedSampleCount, accumulated);  // the silent samples are discarded
}

// Single-sample buffers never fill the FFT window, so the flux is 0 and the onset score is
// driven by level rises alone: loud buffers after quiet ones make beats. The level rises by 42 %
// and falls by 14 % of the gap to its target.
TEST_F(HandlerTest, LevelAndBeatsSmoothPulseDecaysAndIntervalsFoldIntoTempo) {
    const float loud = 0.1f;
    const float quiet = 0.0001f;  // audible, target level 0
    analyzer.beginCapture();
    feed(1.0, loud);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].beatPulse, 1.0);
    EXPECT_EQ(analyzer.state().tempoFactor, 0.42);  // the first beat leaves the tempo alone
    const double first = 0.42 * AudioFrameAnalyzer::targetLevel(loud);
    EXPECT_NEAR(analyzer.state().smoothedLevel, first, 1e-7);

    for (int i = 1; i <= 10; ++i) feed(1.0 + 0.04 * i, quiet);
    EXPECT_NEAR(frames.back().beatPulse, std::pow(0.74, 10), 1e-12);
    EXPECT_NEAR(analyzer.state().smoothedLevel, first * std::pow(0.86, 10), 1e-7);

    feed(2.2, loud);  // interval 1.2 s (from the first beat's time), halved to 0.6 s
    const double tempoAfter = 0.42 + (30.0 / 110.0 - 0.42) * 0.24;
    EXPECT_NEAR(analyzer.state().tempoFactor, tempoAfter, 1e-12);

    // A second rise within 0.22 s is no beat.
    feed(2.24, quiet);
    feed(2.28, quiet);
    feed(2.40, loud);
    EXPECT_LT(frames.back().beatPulse, 1.0);
    EXPECT_EQ(analyzer.state().lastBeatTime, 2.2);
}

TEST_F(HandlerTest, ResetClearsAnalysisButKeepsTempoAndCaptureTimes) {
    clock.set(5.0);
    analyzer.beginCapture();
    feed(5.0, 0.1f, 2000);
    feed(5.1, 0.0001f, 100);
    feed(5.6, 0.1f, 100);  // a second beat changes the tempo
    const AudioAnalysisState before = analyzer.state();
    ASSERT_NE(before.tempoFactor, 0.42);
    ASSERT_GT(before.smoothedSpectrum[0], 0.0);

    analyzer.reset();
    AudioAnalysisState fresh;  // as a new analysis starts, but with the tempo and capture times kept
    fresh.smoothedSpectrum = fresh.previousSpectrum = std::vector<double>(96, 0.0);
    fresh.tempoFactor = before.tempoFactor;
    fresh.captureStartTime = 5.0;
    fresh.lastAudibleSampleTime = 5.6;
    EXPECT_EQ(fields(analyzer.state()), fields(fresh));
}

// 48 kHz stereo in 10 ms buffers: at most one frame per 1/30 s makes one every fourth buffer.
TEST_F(HandlerTest, ToneStreamPublishesEveryFourthBufferWithTheTonesBand) {
    analyzer.beginCapture();
    std::vector<float> block(960);
    for (int buffer = 0, frame = 0; buffer < 100; ++buffer) {
        for (std::size_t i = 0; i < block.size(); i += 2, ++frame) {
            block[i] = block[i + 1] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 1000.0 * frame / 48000.0));
        }
        clock.set(1.0 + frame / 48000.0);
        analyzer.handle(AudioSampleBuffer::interleavedFloat(block.data(), block.size(), 2), true);
    }
    EXPECT_EQ(frames.size(), 25u);
    for (const auto& f : frames) EXPECT_THAT(f.motionRate, ::testing::AllOf(::testing::Ge(0.62), ::testing::Le(2.64)));
    // 1 kHz lies in band 96 * log(1000 / 45) / log(400) = 49.7.
    const auto& last = frames.back().spectrum;
    EXPECT_EQ(std::max_element(last.begin(), last.end()) - last.begin(), 49);
}

TEST(SampleAccumulatorTest, KeepsNewestSamplesInOrderAcrossBlockSizes) {
    const auto contents = [](const SampleAccumulator& accumulator) {
        std::vector<float> out(accumulator.size());
        accumulator.copyTo(out);
        return out;
    };
    for (int blockSize : {1, 7, 480, 1023, 1024, 1500, 5000}) {
        SampleAccumulator accumulator;
        std::vector<float> all;
        for (int block = 0; block < 6; ++block) {
            std::vector<float> values(blockSize);
            std::iota(values.begin(), values.end(), static_cast<float>(all.size()));
            accumulator.append(values);
            all.insert(all.end(), values.begin(), values.end());
            const std::size_t kept = std::min<std::size_t>(all.size(), 1024);
            EXPECT_EQ(contents(accumulator), std::vector<float>(all.end() - kept, all.end())) << blockSize;
        }
        accumulator.clear();
        accumulator.append(std::vector<float>{-3, -2, -1});
        EXPECT_EQ(contents(accumulator), (std::vector<float>{-3, -2, -1})) << blockSize;
    }
}

}  // namespace
}  // namespace sonavista
