#pragma once

#include <vector>

#include "preferences/OverlayDisplayMode.h"
#include "preferences/WaveColor.h"

namespace sonavista {

// Everything one waveform frame is drawn from: the panel size, the ripple's time, three
// settings and four visualizer model values. Plain values, so the scene does not depend on
// the observable objects that hold them.
struct WaveformInputs {
    double panelWidth = 0.0;   // points
    double panelHeight = 0.0;  // points
    // Animation seconds scaled by the effective motion rate: a live view adds each frame's
    // interval times that frame's rate, so a change of the rate changes how fast the ripple
    // travels, never where it is. A still at time T with a steady rate M has T × M.
    double motionTime = 0.0;

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
