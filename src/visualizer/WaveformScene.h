#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "preferences/OverlayDisplayMode.h"
#include "preferences/RGBColor.h"
#include "visualizer/WaveSize.h"
#include "visualizer/WaveformBar.h"
#include "visualizer/WaveformInputs.h"

namespace sonavista {

// The geometry and paint of one waveform frame, computed from plain inputs with no state kept
// between frames. The panel holds the wave area centred in it; every length of the wave is in
// wave-area points with the origin at the wave area's top-left corner and y growing downwards.
//
// What a frame contains, back to front: the centre line, the blurred glow of the bars, then
// per bar (left to right) its dashed stroke, its centre dot and its sparkles. The fog tint and
// frosted backdrop of the fullscreen fog mode are not part of the scene: the view lays them
// under the rendered image.
class WaveformScene {
public:
    static constexpr double centerLineWidth = 0.7;
    static constexpr int minimumBarCount = 112;
    static constexpr int maximumBarCount = 640;

    // The wave area inside a panel of the given size.
    static WaveSize waveSize(WaveSize panel, OverlayDisplayMode mode);
    // The number of bars for a wave area of the given width: width / 5.2, within 112...640.
    static int barCountForWidth(double waveWidth);
    // The spectrum value a bar reads: the mean of up to seven bands around the band that the
    // bar's mirrored position maps to, or a fixed uneven profile when the spectrum is empty.
    static double spectrumValue(std::span<const double> spectrum, int index, int barCount);
    // The fixed per-index pseudo-random fraction in 0...1 that decides which bars sparkle
    // (those above 0.9).
    static double sparkleFraction(int index);

    // The motion rate a frame animates with: the model's, or 1 with audio response off.
    static double effectiveMotion(const WaveformInputs& inputs) { return inputs.audioResponsive ? inputs.motionRate : 1.0; }

    static WaveformScene make(const WaveformInputs& inputs);

    // The premultiplied pixel a frame is composited over: in fog mode a faint white tint
    // (the window adds the blurred backdrop), else clear.
    static constexpr double fogTintOpacity = 0.045;
    static std::uint32_t backgroundFor(OverlayDisplayMode mode);

    // Panel and wave area.
    WaveSize panel;
    WaveSize wave;
    double waveOriginX = 0.0;  // wave area's top-left corner in panel points
    double waveOriginY = 0.0;
    OverlayDisplayMode displayMode = OverlayDisplayMode::compact;

    // Effective inputs (the fixed values replace the model's when audio response is off).
    double level = 0.0;
    double motion = 0.0;
    double pulse = 0.0;

    // Geometry.
    int barCount = 0;
    double barSpacing = 0.0;
    double lineWidth = 0.0;
    double dashLength = 0.0;
    double dashGap = 0.0;
    double centerY = 0.0;
    double amplitude = 0.0;

    // Centre line: the preset's stops with their opacity scaled, spread evenly from x = 0 to the
    // wave width (one stop paints a solid line).
    std::vector<RGBColor> centerLineStops;

    // Glow: the bars stroked 3.2 line widths wide with round caps at 0.3 of their opacity,
    // Gaussian-blurred with this radius (the standard deviation, in points).
    double glowRadius = 0.0;
    double glowWidth = 0.0;

    double dotDiameter = 0.0;      // centre dots
    double sparkleDiameter = 0.0;  // sparkle dots

    std::vector<WaveformBar> bars;

    // Opacities of each element of bar `bar`.
    static double glowOpacity(const WaveformBar& bar) { return 0.3 * bar.opacity; }
    static double strokeOpacity(const WaveformBar& bar) { return 0.88 * bar.opacity; }
    static double dotOpacity(const WaveformBar& bar) { return bar.opacity + 0.15 < 1.0 ? bar.opacity + 0.15 : 1.0; }
    static double sparkleOpacity(const WaveformBar& bar) { return 0.42 * bar.opacity; }
};

}  // namespace sonavista
