#pragma once

#include <vector>

namespace sonavista {

// One analysed frame of audio, copied by value from the analysis to the main thread.
struct AudioVisualizationFrame {
    double level = 0.0;        // smoothed loudness, 0 ... 1
    double motionRate = 0.0;   // animation speed factor, 0.62 ... 2.64 as analysed
    double beatPulse = 0.0;    // 1 at a beat, decaying towards 0 between beats
    std::vector<double> spectrum;  // 96 smoothed band values 0 ... 1, lowest band first

    bool operator==(const AudioVisualizationFrame&) const = default;
};

}  // namespace sonavista
