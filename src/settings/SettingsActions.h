#pragma once

#include "playback/MusicPlayer.h"
#include "preferences/OverlayPreferences.h"
#include "preferences/WaveColor.h"

#include <functional>
#include <string>

namespace sonavista {

// What the settings window may ask of the application. The window never writes a preference
// itself: each control calls one of these, and the application runs the same policy as for the
// matching status-menu command (visibility, capture, overlay re-layout, menu refresh).
//
// The application fills every member (none is left empty) with a callback that holds the
// application weakly: once the application is gone each one does nothing, and
// `setLaunchAtLogin` answers false. All of them are called on the main thread.
//
// State the window reads directly, never through these callbacks:
//  - the shared `OverlayPreferences` (observe it and re-render on every change; the status menu
//    writes it too): overlayEnabled, autoShow, avoidsCoveringWindows, audioResponsive,
//    displayMode, position, color, enabledPlayers, otherPlayers, visualizesPlayingPlayerOnly,
//    audioDelayOffset;
//  - the shared `VisualizerModel` (observed): captureStatus and audioLevel for the audio status
//    row (it changes up to 30 times a second while audio is live);
//  - the login-item status, once: the application passes it as a bool when it builds the window;
//    afterwards the General switch shows the answer of `setLaunchAtLogin`;
//  - the currently detected player is not shown by the window; the application keeps it
//    (`AppDelegate::currentMusicPlayer()`) should a later version want it.
struct SettingsActions {
    std::function<void(bool)> setOverlayEnabled;
    std::function<void(bool)> setAutoShow;
    std::function<void(bool)> setAvoidsCoveringWindows;
    std::function<void(bool)> setAudioResponsive;
    std::function<void(bool)> setVisualizesPlayingPlayerOnly;
    // Milliseconds, −100 … 300.
    std::function<void(int)> setAudioDelayOffset;
    std::function<void(OverlayDisplayMode)> setDisplayMode;
    std::function<void(OverlayPosition)> setPosition;
    std::function<void(WaveColor)> setColor;
    std::function<void(MusicPlayer, bool)> setPlayerEnabled;
    // A player outside the catalogue, by the stem of its MPRIS bus name.
    std::function<void(const std::string&, bool)> setOtherPlayerEnabled;
    std::function<void()> retryAudioCapture;
    std::function<void()> openAudioCaptureSettings;
    // Asks for launch at login on or off; answers whether it is enabled afterwards (a failed
    // change answers the unchanged status, so the switch snaps back).
    std::function<bool(bool)> setLaunchAtLogin;
};

}  // namespace sonavista
