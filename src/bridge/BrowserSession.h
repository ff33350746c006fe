#pragma once

#include "playback/MusicPlayer.h"

namespace sonavista {

// One browser page's last accepted playback report.
struct BrowserSession {
    MusicPlayer player = MusicPlayer::youtube;  // always a web player
    bool isPlaying = false;
    double volume = 0.0;     // already clamped to 0...1
    double updatedAt = 0.0;  // monotonic seconds when the report was stored

    bool operator==(const BrowserSession&) const = default;
};

}  // namespace sonavista
