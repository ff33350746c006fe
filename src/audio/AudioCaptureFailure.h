#pragma once

#include <string_view>

namespace sonavista {

// Why the audio monitor cannot go on capturing. Reported once per capture start.
enum class AudioCaptureFailure {
    permissionRequired,      // the sound server refused access to the system audio
    silentOrProtectedAudio,  // capture runs but hears only silence for more than 4 s
    unavailable,             // anything else: no server, stream failure, server gone
};

// The case name, e.g. "silentOrProtectedAudio" (used by tools and diagnostics).
constexpr std::string_view audioCaptureFailureName(AudioCaptureFailure failure) {
    switch (failure) {
        case AudioCaptureFailure::permissionRequired: return "permissionRequired";
        case AudioCaptureFailure::silentOrProtectedAudio: return "silentOrProtectedAudio";
        case AudioCaptureFailure::unavailable: return "unavailable";
    }
    return "unavailable";
}

}  // namespace sonavista
