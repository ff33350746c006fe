#pragma once

namespace sonavista {

// The commands of the status menu; each runs the application operation of the same name.
enum class StatusMenuAction {
    openAudioCaptureSettings,
    openSettingsWindow,
    toggleOverlayEnabled,
    toggleAutoShow,
    toggleAvoidCovering,
    toggleAudioResponsive,
    toggleVisualizesPlayingPlayerOnly,
    retryAudioCapture,
    selectCompactMode,
    selectFullscreenMode,
    selectTopPosition,
    selectCenterPosition,
    selectBottomPosition,
    selectWaveColor,  // the colour is the chosen item's data
    toggleLaunchAtLogin,
    quitApplication,
};

}  // namespace sonavista
