#include "settings/AudioStatusRow.h"

#include "visualizer/AudioLevelPercent.h"

namespace sonavista {

AudioStatusRow AudioStatusRow::forStatus(AudioCaptureStatus status, double audioLevel) {
    switch (status) {
        case AudioCaptureStatus::live: {
            return {"waveform.circle.fill", Tone::green,
                    "Live Audio and Rhythm \u00B7 " + std::to_string(audioLevelPercent(audioLevel)) + "%"};
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
