#pragma once

#include "visualizer/AudioCaptureStatus.h"

#include <string>
#include <string_view>

namespace sonavista {

// What the audio status row of the settings window shows for the visualizer's capture status:
// a symbol, the colour it is drawn in and a line of text.
struct AudioStatusRow {
    // The colour roles the row uses; the window maps them onto its palette.
    enum class Tone { secondary, green, orange };

    std::string_view symbolName;
    Tone tone = Tone::secondary;
    std::string text;

    // `audioLevel` (0...1) is only shown while live, as a whole percentage rounded half away
    // from zero: "Live Audio and Rhythm · 42%".
    static AudioStatusRow forStatus(AudioCaptureStatus status, double audioLevel);

    friend bool operator==(const AudioStatusRow&, const AudioStatusRow&) = default;
};

}  // namespace sonavista
