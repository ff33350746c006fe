// Costs of the analysis paths: every delivered buffer (extraction, level, append), a
// publishing buffer (spectrum, flux, beat, smoothing, frame copy) and the hand-off of a
// frame to the main thread.
#include "audio/AudioFrameAnalyzer.h"
#include "audio/LatestFrameSlot.h"
#include "base/FakeClock.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace sonavista {
namespace {

std::vector<float> stereoBlock(std::size_t frames) {
    std::vector<float> block(frames * 2);
    for (std::size_t f = 0; f < frames; ++f) {
        const float value = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 440.0 * f / 48000.0));
        block[2 * f] = value;
        block[2 * f + 1] = 0.5f * value;
    }
    return block;
}

void BM_ExtractStereoBuffer(benchmark::State& state) {
    const auto block = stereoBlock(static_cast<std::size_t>(state.range(0)));
    const auto buffer = AudioSampleBuffer::interleavedFloat(block.data(), block.size(), 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(AudioFrameAnalyzer::audioData(buffer));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExtractStereoBuffer)->Arg(480)->Arg(960);

// A buffer that the publish gate holds back: the work done for most buffers.
void BM_HandleBufferGated(benchmark::State& state) {
    FakeClock clock(10.0);
    int published = 0;
    AudioFrameAnalyzer analyzer(clock, {[&](const AudioVisualizationFrame&) { ++published; }, {}});
    analyzer.beginCapture();
    const auto block = stereoBlock(480);
    const auto buffer = AudioSampleBuffer::interleavedFloat(block.data(), block.size(), 2);
    analyzer.handle(buffer, true);  // publishes once; the clock then stays within 1/30 s
    for (auto _ : state) {
        analyzer.handle(buffer, true);
    }
    benchmark::DoNotOptimize(published);
}
BENCHMARK(BM_HandleBufferGated);

// A buffer that publishes: every step of the analysis.
void BM_HandleBufferPublishing(benchmark::State& state) {
    FakeClock clock(10.0);
    int published = 0;
    AudioFrameAnalyzer analyzer(clock, {[&](const AudioVisualizationFrame&) { ++published; }, {}});
    analyzer.beginCapture();
    const auto block = stereoBlock(480);
    const auto buffer = AudioSampleBuffer::interleavedFloat(block.data(), block.size(), 2);
    for (int i = 0; i < 3; ++i) {
        clock.advance(0.04);
        analyzer.handle(buffer, true);  // fill the window
    }
    for (auto _ : state) {
        clock.advance(0.04);
        analyzer.handle(buffer, true);
    }
    if (published < static_cast<int>(state.iterations())) {
        state.SkipWithError("a buffer did not publish");
    }
}
BENCHMARK(BM_HandleBufferPublishing);

void BM_Spectrum(benchmark::State& state) {
    FakeClock clock;
    AudioFrameAnalyzer analyzer(clock, {});
    std::vector<float> window(1024);
    for (std::size_t n = 0; n < window.size(); ++n) {
        window[n] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 1000.0 * n / 48000.0));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(analyzer.spectrum(window));
    }
}
BENCHMARK(BM_Spectrum);

// Handing a frame to the main thread through the newest-frame slot and taking it there.
void BM_PublishHandOff(benchmark::State& state) {
    LatestFrameSlot slot;
    slot.setTakenOnTicks(true);
    AudioVisualizationFrame taken;
    const AudioVisualizationFrame frame{0.5, 1.2, 0.3, std::vector<double>(96, 0.25)};
    for (auto _ : state) {
        slot.store(frame);
        slot.take(taken);
    }
    benchmark::DoNotOptimize(taken.level);
}
BENCHMARK(BM_PublishHandOff);

}  // namespace
}  // namespace sonavista
