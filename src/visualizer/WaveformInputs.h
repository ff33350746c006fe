#pragma once

#include <vector>

#include "preferences/OverlayDisplayMode.h"
#include "preferences/WaveColor.h"

namespace sonavista {

// Everything one waveform frame is drawn from: the panel size, the animation time, three
// settings and four visualizer model values. Plain values, so the scene does not depend on
// the observable objects that hold them.
struct WaveformInputs {
    double panelWidth = 0.0;   // points
    double panelHeight = 0.0;  // points
    double time = 0.0;         // wall-clock seconds since 2001-01-01 00:00:00 UTC

    // Settings.
    WaveColor color = WaveColor::cyan;
    bool audioResponsive = true;
    OverlayDisplayMode displayMode = OverlayDisplayMode::compact;

    // Model values.
    double audioLevel = 0.48;
    double motionRate = 1.0;
    double beatPulse = 0.0;
    std::vector<double> spectrum;  // empty when no live analysis runs
};

}  // namespace sonavista
