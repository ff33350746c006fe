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

WaveformScene WaveformScene::make(const WaveformInputs& in) {
    WaveformScene s;
    s.panel = {in.panelWidth, in.panelHeight};
    s.displayMode = in.displayMode;
    s.wave = waveSize(s.panel, in.displayMode);
    s.waveOriginX = (s.panel.width - s.wave.width) * 0.5;
    s.waveOriginY = (s.panel.height - s.wave.height) * 0.5;

    const double W = s.wave.width;
    const double H = s.wave.height;
    const int N = barCountForWidth(W);
    s.barCount = N;

    if (in.audioResponsive) {
        s.level = in.audioLevel;
        s.pulse = in.beatPulse;
    } else {
        s.level = 0.48;
        s.pulse = 0.16;
    }
    s.motion = effectiveMotion(in);
    const double L = s.level;
    const double B = s.pulse;

    const double dx = W / N;
    s.barSpacing = dx;
    s.centerY = H * 0.5;
    s.amplitude = H * 0.42;
    const double A = s.amplitude;
    const double w = std::min(std::max(dx * 0.26, 1.0), 2.2);
    s.lineWidth = w;
    s.dashLength = std::max(w * 0.72, 1.0);
    s.dashGap = std::max(w * 1.35, 1.7);

    const auto stops = colors(in.color);
    const double lineOpacity = 0.16 + 0.16 * L;
    s.centerLineStops.reserve(stops.size());
    for (RGBColor stop : stops) {
        stop.alpha *= lineOpacity;
        s.centerLineStops.push_back(stop);
    }

    s.glowRadius = in.displayMode == OverlayDisplayMode::fullscreenFog ? 5.5 : 4.0;
    s.glowWidth = 3.2 * w;
    s.dotDiameter = w * (1.1 + 0.7 * B);
    s.sparkleDiameter = std::max(w * 0.62, 0.8);

    const double G = L * 1.02 + 0.14;
    const double phase = in.motionTime * 2.15;
    // sin(phase - 4p) per bar by the angle difference formula: two sines per frame instead of
    // one per bar.
    const double sinPhase = std::sin(phase);
    const double cosPhase = std::cos(phase);
    const double wobble = std::sin(in.motionTime * 1.25) * 0.025;
    const double d = std::max(N - 1, 1);

    // The per-bar terms that depend only on the bar's position: kept per thread for the last
    // bar count, since every frame of a view has the same one.
    struct PositionTerms {
        double edge, envelope, cos4p, sin4p, sparkle;
    };
    thread_local int termsBarCount = -1;
    thread_local std::vector<PositionTerms> terms;
    if (termsBarCount != N) {
        terms.resize(static_cast<std::size_t>(N));
        for (int i = 0; i < N; ++i) {
            const double u = i / d;
            const double p = u * std::numbers::pi;
            terms[static_cast<std::size_t>(i)] = {1.0 - 0.18 * std::abs(2.0 * u - 1.0),
                                                  0.74 + 0.13 * std::cos(6.0 * p) + 0.07 * std::cos(14.0 * p),
                                                  std::cos(4.0 * p), std::sin(4.0 * p), sparkleFraction(i)};
        }
        termsBarCount = N;
    }

    s.bars.resize(static_cast<std::size_t>(N));
    for (int i = 0; i < N; ++i) {
        WaveformBar& bar = s.bars[static_cast<std::size_t>(i)];
        const PositionTerms& t = terms[static_cast<std::size_t>(i)];
        const double u = i / d;
        const double spectrum = spectrumValue(in.spectrum, i, N);
        const double edge = t.edge;
        const double envelope = t.envelope;
        const double motion = 0.92 + 0.055 * (sinPhase * t.cos4p - cosPhase * t.sin4p) + wobble;
        const double beat = 1.0 + B * (0.18 + 0.14 * edge);
        double a = G * (0.78 * spectrum + 0.22) * envelope * motion * beat;
        if (!(a > 0.0)) a = 0.0;  // negative, and NaN from non-finite inputs
        bar.x = dx * 0.5 + dx * i;
        bar.halfHeight = std::min(std::max(A * std::pow(a, 1.16), w * 0.72), A);
        const double opacity = 0.38 + 0.5 * spectrum + 0.16 * B * edge;
        bar.opacity = opacity >= 0.0 ? std::min(opacity, 1.0) : 0.0;
        bar.color = colorAt(in.color, u);

        const double f = t.sparkle;
        if (f > 0.9 && bar.halfHeight > 4.0 * w) {
            bar.hasSparkles = true;
            bar.sparkleOffset = bar.halfHeight * (1.08 + 1.2 * (f - 0.9));
        }
    }
    return s;
}

}  // namespace sonavista
