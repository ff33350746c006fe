#include "visualizer/WaveformScene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonavista {

WaveSize WaveformScene::waveSize(WaveSize panel, OverlayDisplayMode mode) {
    const double width = std::max(panel.width, 1.0);
    if (mode == OverlayDisplayMode::compact) {
        return {width, std::max(panel.height - 12.0, 1.0)};
    }
    // A panel cannot have a negative height; keep the wave area from having one either.
    return {width, std::max(std::min(panel.height * 0.38, 420.0), 0.0)};
}

int WaveformScene::barCountForWidth(double waveWidth) {
    const double raw = waveWidth / 5.2;
    if (!(raw < maximumBarCount)) {  // also catches NaN
        return maximumBarCount;
    }
    return std::clamp(static_cast<int>(std::trunc(raw)), minimumBarCount, maximumBarCount);
}

double WaveformScene::spectrumValue(std::span<const double> spectrum, int index, int barCount) {
    const double u = static_cast<double>(index) / std::max(barCount - 1, 1);
    if (spectrum.empty()) {
        const double p = u * std::numbers::pi;
        return 0.38 + 0.22 * std::sin(13.0 * p) + 0.12 * std::sin(31.0 * p + 0.8);
    }
    const int last = static_cast<int>(spectrum.size()) - 1;
    // std::round rounds halves away from zero.
    const int center = std::clamp(static_cast<int>(std::round(std::abs(2.0 * u - 1.0) * last)), 0, last);
    const int lo = std::max(center - 3, 0);
    const int hi = std::min(center + 3, last);
    double sum = 0.0;
    for (int band = lo; band <= hi; ++band) {
        sum += spectrum[static_cast<std::size_t>(band)];
    }
    return sum / (hi - lo + 1);
}

double WaveformScene::sparkleFraction(int index) {
    const double k = 19.0 + 43.0 * index;
    const double r = std::sin(k * 12.9898 + 78.233) * 43758.5453;
    return r - std::floor(r);
}

WaveformScene WaveformScene::make(const WaveformInputs& inputs) {
    WaveformScene scene;
    scene.panel = {inputs.panelWidth, inputs.panelHeight};
    scene.displayMode = inputs.displayMode;
    scene.wave = waveSize(scene.panel, inputs.displayMode);
    scene.waveOriginX = (scene.panel.width - scene.wave.width) * 0.5;
    scene.waveOriginY = (scene.panel.height - scene.wave.height) * 0.5;

    const double waveWidth = scene.wave.width;
    const double waveHeight = scene.wave.height;
    const int barCount = barCountForWidth(waveWidth);
    scene.barCount = barCount;

    if (inputs.audioResponsive) {
        scene.level = inputs.audioLevel;
        scene.pulse = inputs.beatPulse;
    } else {
        scene.level = 0.48;
        scene.pulse = 0.16;
    }
    scene.motion = effectiveMotion(inputs);
    const double level = scene.level;
    const double pulse = scene.pulse;

    const double spacing = waveWidth / barCount;
    scene.barSpacing = spacing;
    scene.centerY = waveHeight * 0.5;
    scene.amplitude = waveHeight * 0.42;
    const double amplitude = scene.amplitude;
    const double lineWidth = std::min(std::max(spacing * 0.26, 1.0), 2.2);
    scene.lineWidth = lineWidth;
    scene.dashLength = std::max(lineWidth * 0.72, 1.0);
    scene.dashGap = std::max(lineWidth * 1.35, 1.7);

    const auto stops = colors(inputs.color);
    const double lineOpacity = 0.16 + 0.16 * level;
    scene.centerLineStops.reserve(stops.size());
    for (RGBColor stop : stops) {
        stop.alpha *= lineOpacity;
        scene.centerLineStops.push_back(stop);
    }

    scene.glowRadius = inputs.displayMode == OverlayDisplayMode::fullscreenFog ? 5.5 : 4.0;
    scene.glowWidth = 3.2 * lineWidth;
    scene.dotDiameter = lineWidth * (1.1 + 0.7 * pulse);
    scene.sparkleDiameter = std::max(lineWidth * 0.62, 0.8);

    const double gain = level * 1.02 + 0.14;
    const double phase = inputs.motionTime * 2.15;
    // sin(phase - 4 angle) per bar by the angle difference formula: two sines per frame instead
    // of one per bar.
    const double sinPhase = std::sin(phase);
    const double cosPhase = std::cos(phase);
    const double wobble = std::sin(inputs.motionTime * 1.25) * 0.025;
    const double lastIndex = std::max(barCount - 1, 1);

    // The per-bar terms that depend only on the bar's position: kept per thread for the last
    // bar count, since every frame of a view has the same one.
    struct PositionTerms {
        double edge, envelope, cos4Angle, sin4Angle, sparkle;
    };
    thread_local int termsBarCount = -1;
    thread_local std::vector<PositionTerms> terms;
    if (termsBarCount != barCount) {
        terms.resize(static_cast<std::size_t>(barCount));
        for (int i = 0; i < barCount; ++i) {
            const double position = i / lastIndex;  // 0 at the left bar, 1 at the right one
            const double angle = position * std::numbers::pi;
            terms[static_cast<std::size_t>(i)] = {1.0 - 0.18 * std::abs(2.0 * position - 1.0),
                                                  0.74 + 0.13 * std::cos(6.0 * angle) + 0.07 * std::cos(14.0 * angle),
                                                  std::cos(4.0 * angle), std::sin(4.0 * angle), sparkleFraction(i)};
        }
        termsBarCount = barCount;
    }

    scene.bars.resize(static_cast<std::size_t>(barCount));
    for (int i = 0; i < barCount; ++i) {
        WaveformBar& bar = scene.bars[static_cast<std::size_t>(i)];
        const PositionTerms& term = terms[static_cast<std::size_t>(i)];
        const double position = i / lastIndex;
        const double spectrum = spectrumValue(inputs.spectrum, i, barCount);
        const double edge = term.edge;
        const double envelope = term.envelope;
        const double motion = 0.92 + 0.055 * (sinPhase * term.cos4Angle - cosPhase * term.sin4Angle) + wobble;
        const double beat = 1.0 + pulse * (0.18 + 0.14 * edge);
        double height = gain * (0.78 * spectrum + 0.22) * envelope * motion * beat;
        if (!(height > 0.0)) height = 0.0;  // negative, and NaN from non-finite inputs
        bar.x = spacing * 0.5 + spacing * i;
        // From a height of 1 up the power is at least 1 and the bar is cut at the amplitude
        // anyway (loud music reaches it on many bars): the power is not worked out there.
        bar.halfHeight =
            height >= 1.0 ? amplitude
                          : std::min(std::max(amplitude * std::pow(height, 1.16), lineWidth * 0.72), amplitude);
        const double opacity = 0.38 + 0.5 * spectrum + 0.16 * pulse * edge;
        bar.opacity = opacity >= 0.0 ? std::min(opacity, 1.0) : 0.0;
        bar.color = colorAt(inputs.color, position);

        const double sparkle = term.sparkle;
        if (sparkle > 0.9 && bar.halfHeight > 4.0 * lineWidth) {
            bar.hasSparkles = true;
            bar.sparkleOffset = bar.halfHeight * (1.08 + 1.2 * (sparkle - 0.9));
        }
    }
    return scene;
}

std::uint32_t WaveformScene::backgroundFor(OverlayDisplayMode mode) {
    if (mode != OverlayDisplayMode::fullscreenFog) return 0;  // transparent
    const auto tint = static_cast<std::uint32_t>(std::lround(fogTintOpacity * 255.0));  // premultiplied white
    return (tint << 24) | (tint << 16) | (tint << 8) | tint;
}

}  // namespace sonavista
