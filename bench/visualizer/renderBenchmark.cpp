// Milliseconds per frame of the waveform rasterizer and of the QPainter reference renderer on
// the same scenes: compact bands and fullscreen fog panels, with live-like inputs that change
// every frame (time advances by 1/30 s, the beat pulse and the spectrum move). The `live_` cases
// are the panels the overlay shows on a 1920 x 1080 screen: the compact band (a quarter of the
// screen high) over a transparent background, and the fullscreen fog panel over the view's
// fog tint (premultiplied white at 0.045 opacity); the `live_loud_` cases the same on loud music,
// and the `cold_loud_` cases with the caches emptied before each frame, the `idle_loud_` ones after
// the thread slept a frame's interval, as in the application.
#include <benchmark/benchmark.h>

#include <QImage>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "visualizer/ImageBuffer.h"
#include "visualizer/QPainterWaveformRenderer.h"
#include "visualizer/WaveformRasterizer.h"
#include "visualizer/WaveformScene.h"

namespace sonavista {
namespace {

WaveformInputs frameInputs(double width, double height, OverlayDisplayMode mode, int frame, bool loud = false) {
    WaveformInputs in;
    in.panelWidth = width;
    in.panelHeight = height;
    in.displayMode = mode;
    in.color = WaveColor::aurora;
    in.motionTime = frame / 30.0 * 1.4;
    in.audioLevel = loud ? 0.85 + 0.1 * std::sin(frame * 0.21) : 0.6 + 0.3 * std::sin(frame * 0.21);
    in.motionRate = 1.4;
    in.beatPulse = 0.5 + 0.5 * std::sin(frame * 0.9);
    in.spectrum.resize(96);
    for (int k = 0; k < 96; ++k) {
        in.spectrum[static_cast<std::size_t>(k)] =
            loud ? 0.75 + 0.25 * std::sin(k * 0.31 + frame * 0.17) * std::cos(k * 0.07 + frame * 0.05)
                 : 0.5 + 0.45 * std::sin(k * 0.31 + frame * 0.17);
    }
    return in;
}

void rasterizer(benchmark::State& state, double width, double height, OverlayDisplayMode mode,
                std::uint32_t background = 0, bool loud = false) {
    WaveformRasterizer r;
    ImageBuffer image;
    int frame = 0;
    // Like the view: each frame is drawn into the previous one, told which rows that one
    // answered for, so rows outside them are neither read nor cleared.
    WaveformRasterizer::Rows previous;
    for (auto _ : state) {
        const WaveformScene scene = WaveformScene::make(frameInputs(width, height, mode, frame, loud));
        previous = r.render(scene, image, 1.0, background, frame > 0 ? &previous : nullptr);
        ++frame;
        benchmark::DoNotOptimize(image.data());
    }
}

// The same as the application meets it: between two frames the screen's other work (tens of
// milliseconds of it) pushes the rasterizer's image and tables out of the caches, here by
// writing a buffer twice the size of the last-level cache, outside the timed part. With `idle`,
// the thread sleeps a frame's interval (1/30 s) instead, as the application's does: on the
// virtual machine this was measured on, every pass then ran slower still than with the caches
// emptied, as in the application.
void rasterizerCold(benchmark::State& state, double width, double height, OverlayDisplayMode mode,
                    std::uint32_t background = 0, bool idle = false) {
    WaveformRasterizer r;
    ImageBuffer image;
    std::vector<unsigned char> elsewhere(idle ? 0 : std::size_t{64} << 20, 1);
    int frame = 0;
    WaveformRasterizer::Rows previous;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < elsewhere.size(); i += 64) elsewhere[i] = static_cast<unsigned char>(frame);
        if (idle) std::this_thread::sleep_for(std::chrono::microseconds(33333));
        benchmark::ClobberMemory();
        const WaveformScene scene = WaveformScene::make(frameInputs(width, height, mode, frame, true));
        state.ResumeTiming();
        previous = r.render(scene, image, 1.0, background, frame > 0 ? &previous : nullptr);
        ++frame;
        benchmark::DoNotOptimize(image.data());
    }
}

void reference(benchmark::State& state, double width, double height, OverlayDisplayMode mode) {
    int frame = 0;
    for (auto _ : state) {
        const WaveformScene scene = WaveformScene::make(frameInputs(width, height, mode, frame++));
        QImage image = QPainterWaveformRenderer::render(scene, 1.0);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void sceneOnly(benchmark::State& state, double width, double height, OverlayDisplayMode mode) {
    int frame = 0;
    for (auto _ : state) {
        WaveformScene scene = WaveformScene::make(frameInputs(width, height, mode, frame++));
        benchmark::DoNotOptimize(scene.bars.data());
    }
}

constexpr auto compact = OverlayDisplayMode::compact;
constexpr auto fog = OverlayDisplayMode::fullscreenFog;
constexpr std::uint32_t fogTint = 0x0b0b0b0bu;  // 0.045 * 255 rounded, premultiplied white

BENCHMARK_CAPTURE(rasterizer, live_compact_1920x270, 1920.0, 270.0, compact)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(rasterizer, live_fog_1920x1080_tint, 1920.0, 1080.0, fog, fogTint)->Unit(benchmark::kMillisecond);
// Loud music (released music's level): the bars near full height most of the time.
BENCHMARK_CAPTURE(rasterizer, live_loud_compact_1920x270, 1920.0, 270.0, compact, 0u, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(rasterizer, live_loud_fog_1920x1080_tint, 1920.0, 1080.0, fog, fogTint, true)->Unit(benchmark::kMillisecond);
// Loud music with cold caches, as in the application (the scene is made outside the timing).
BENCHMARK_CAPTURE(rasterizerCold, cold_loud_compact_1920x270, 1920.0, 270.0, compact)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(rasterizerCold, cold_loud_fog_1920x270_tint, 1920.0, 270.0, fog, fogTint)->Unit(benchmark::kMillisecond);
// The same after a frame's interval of sleep (each lasts 1/30 s of wall time, so few of them).
BENCHMARK_CAPTURE(rasterizerCold, idle_loud_compact_1920x270, 1920.0, 270.0, compact, 0u, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(300);
BENCHMARK_CAPTURE(rasterizerCold, idle_loud_fog_1920x270_tint, 1920.0, 270.0, fog, fogTint, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(300);
BENCHMARK_CAPTURE(sceneOnly, live_compact_1920x270, 1920.0, 270.0, compact)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(rasterizer, compact_1440x150, 1440.0, 150.0, compact)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reference, compact_1440x150, 1440.0, 150.0, compact)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(rasterizer, compact_1920x150, 1920.0, 150.0, compact)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reference, compact_1920x150, 1920.0, 150.0, compact)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(rasterizer, fog_1920x1080, 1920.0, 1080.0, fog)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reference, fog_1920x1080, 1920.0, 1080.0, fog)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(rasterizer, fog_3840x2160, 3840.0, 2160.0, fog)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reference, fog_3840x2160, 3840.0, 2160.0, fog)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(sceneOnly, compact_1920x150, 1920.0, 150.0, compact)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sonavista
