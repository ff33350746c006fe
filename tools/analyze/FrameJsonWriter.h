#pragma once

#include "audio/AudioCaptureFailure.h"
#include "audio/AudioVisualizationFrame.h"

#include <cstdio>
#include <string>

namespace sonavista {

// Writes analysed frames as JSON Lines, one object per line:
//   {"time": T, "level": L, "motionRate": M, "beatPulse": B, "spectrum": [...]}
//   {"time": T, "failure": "silentOrProtectedAudio"}
// Numbers are written in their shortest form that reads back as the same double.
class FrameJsonWriter {
public:
    explicit FrameJsonWriter(std::FILE* out) : out_(out) {}

    void writeFrame(double time, const AudioVisualizationFrame& frame);
    void writeFailure(double time, AudioCaptureFailure failure);
    // Flushes; false if any write failed (e.g. a closed pipe or a full disk).
    bool finish();

private:
    void appendNumber(double value);
    void emitLine();

    std::FILE* out_;
    std::string line_;
    bool failed_ = false;
};

}  // namespace sonavista
