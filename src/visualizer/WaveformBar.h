#pragma once

#include "preferences/RGBColor.h"

namespace sonavista {

// One mirrored bar of a waveform frame, in wave-area points (y grows downwards).
struct WaveformBar {
    double x = 0.0;           // centre of the bar
    double halfHeight = 0.0;  // the bar runs from centreY - halfHeight to centreY + halfHeight
    double opacity = 0.0;     // the bar's base opacity o (0...1); each element scales it
    RGBColor color;           // the preset's colour at this bar's position (opaque)
    bool hasSparkles = false;
    double sparkleOffset = 0.0;  // distance of both sparkle centres from the centre line
};

}  // namespace sonavista
