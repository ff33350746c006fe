#include "settings/AudioStatusRow.h"

#include <cmath>

namespace sonavista {

AudioStatusRow AudioStatusRow::forStatus(AudioCaptureStatus status, double audioLevel) {
    switch (status) {
        case AudioCaptureStatus::live: {
            // The model clamps the level to 0...1; a NaN that slipped through reads as 0.
            const double percent = std::isfinite(audioLevel) ? std::round(audioLevel * 100.0) : 0.0;
            return {"waveform.circle.fill", Tone::green,
                    "Live Audio and Rhythm \u00B7 " + std::to_string(static_cast<long long>(percent)) + "%"};
        }
        case AudioCaptureStatus::waiting:
            return {"waveform.circle", Tone::secondary, "Waiting for Playback"};
        case AudioCaptureStatus::fallback:
            return {"waveform.circle", Tone::secondary, "Fixed-Level Fallback"};
        case AudioCaptureStatus::permissionRequired:
            return {"exclamationmark.shield.fill", Tone::orange, "System Audio Permission Required"};
        case AudioCaptureStatus::protectedAudio:
            return {"speaker.slash.circle.fill", Tone::orange, "Protected or Muted Audio"};
    }
    return {"waveform.circle", Tone::secondary, "Waiting for Playback"};
}

}  // namespace sonavista
