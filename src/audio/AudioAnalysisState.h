#pragma once

#include <cstddef>
#include <vector>

namespace sonavista {

// A copy of the analysis state of an AudioFrameAnalyzer, for inspection and tests.
// Times are seconds of the analyzer's monotonic clock; 0 means never.
struct AudioAnalysisState {
    double smoothedLevel = 0.0;
    double smoothedActivity = 0.0;
    std::vector<double> smoothedSpectrum;
    std::vector<double> previousSpectrum;
    std::size_t accumulatedSampleCount = 0;  // samples held in the accumulator, at most 1024
    double fluxBaseline = 0.015;
    double beatPulse = 0.0;
    double tempoFactor = 0.42;
    double previousPublishedLevel = 0.0;
    double lastBeatTime = 0.0;
    double captureStartTime = 0.0;
    double lastAudibleSampleTime = 0.0;
    double lastPublishTime = 0.0;
};

}  // namespace sonavista
