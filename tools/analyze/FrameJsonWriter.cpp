#include "FrameJsonWriter.h"

#include <charconv>
#include <cmath>

namespace sonavista {

void FrameJsonWriter::appendNumber(double value) {
    if (!std::isfinite(value)) {
        line_ += "null";  // JSON has no infinities or NaN
        return;
    }
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    line_.append(digits, result.ptr);
}

void FrameJsonWriter::emitLine() {
    line_ += '\n';
    if (std::fwrite(line_.data(), 1, line_.size(), out_) != line_.size()) {
        failed_ = true;
    }
    line_.clear();
}

void FrameJsonWriter::writeFrame(double time, const AudioVisualizationFrame& frame) {
    line_ += "{\"time\": ";
    appendNumber(time);
    line_ += ", \"level\": ";
    appendNumber(frame.level);
    line_ += ", \"motionRate\": ";
    appendNumber(frame.motionRate);
    line_ += ", \"beatPulse\": ";
    appendNumber(frame.beatPulse);
    line_ += ", \"spectrum\": [";
    for (std::size_t i = 0; i < frame.spectrum.size(); ++i) {
        if (i > 0) {
            line_ += ", ";
        }
        appendNumber(frame.spectrum[i]);
    }
    line_ += "]}";
    emitLine();
}

void FrameJsonWriter::writeFailure(double time, AudioCaptureFailure failure) {
    line_ += "{\"time\": ";
    appendNumber(time);
    line_ += ", \"failure\": \"";
    line_ += audioCaptureFailureName(failure);
    line_ += "\"}";
    emitLine();
}

bool FrameJsonWriter::finish() {
    if (std::fflush(out_) != 0 || std::ferror(out_)) {
        failed_ = true;
    }
    return !failed_;
}

}  // namespace sonavista
