#pragma once

#include <string_view>

namespace sonavista {

// What the visualizer is animating from, as shown by the menu and the settings window.
enum class AudioCaptureStatus {
    waiting,             // no audio wanted: nothing plays or the overlay is off
    live,                // live analysed frames arrive
    fallback,            // fixed level: capture unavailable or audio response off
    permissionRequired,  // fixed level: the sound server refused capture
    protectedAudio,      // fixed level: capture heard only silence
};

constexpr std::string_view audioCaptureStatusName(AudioCaptureStatus status) {
    switch (status) {
        case AudioCaptureStatus::waiting: return "waiting";
        case AudioCaptureStatus::live: return "live";
        case AudioCaptureStatus::fallback: return "fallback";
        case AudioCaptureStatus::permissionRequired: return "permissionRequired";
        case AudioCaptureStatus::protectedAudio: return "protectedAudio";
    }
    return "waiting";
}

}  // namespace sonavista
