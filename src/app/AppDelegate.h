#pragma once

#include "app/AlertPresenter.h"
#include "app/LoginItem.h"
#include "app/StatusMenuModel.h"
#include "app/StatusMenuView.h"
#include "app/WorkspaceOpener.h"
#include "audio/AudioLevelMonitor.h"
#include "base/Clock.h"
#include "base/MainQueue.h"
#include "bridge/BridgeControl.h"
#include "playback/MusicPlaybackSnapshot.h"
#include "playback/PlaybackMonitorControl.h"
#include "preferences/OverlayPreferences.h"
#include "settings/SettingsActions.h"
#include "settings/SettingsWindowPresenter.h"
#include "visualizer/OverlayPresenter.h"
#include "visualizer/VisualizerModel.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace sonavista {

// The application's coordinator. It owns the long-lived parts, starts them in a fixed order,
// receives every playback snapshot and decides from the preferences, the latest snapshot and
// the capture state whether the overlay shows and whether system audio is captured. The
// status menu and the settings window route every change through its operations.
//
// Main thread only. Every callback it hands out holds it weakly, so create it with `create`.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
public:
    // No automatic capture start before this long after a refused capture...
    static constexpr double permissionRetryDelay = 300.0;
    // ...or after any other capture failure.
    static constexpr double failureRetryDelay = 30.0;
    // While capture stays live, the menu's audio percentage is refreshed at most this often
    // (seconds).
    static constexpr double liveAudioLineInterval = 1.0;

    // The platform parts, created at launch in this order (overlay, settings window, status
    // menu, playback monitor) or once per capture attempt (audio monitor). Any factory may be
    // empty or answer null: that part is then absent and the policy skips it.
    struct Platform {
        std::function<std::shared_ptr<OverlayPresenter>()> makeOverlay;
        SettingsWindowFactory makeSettingsWindow;
        StatusMenuViewFactory makeStatusMenu;
        PlaybackMonitorFactory makePlaybackMonitor;
        AudioLevelMonitorFactory makeAudioMonitor;
        std::shared_ptr<LoginItem> loginItem;
        std::shared_ptr<WorkspaceOpener> workspaceOpener;
        std::shared_ptr<AlertPresenter> alerts;
        // Asks the application to end; `applicationWillTerminate` runs on the way out.
        std::function<void()> requestQuit;
        // Times the capture back-off; the steady clock when absent. Monotonic, so that a step of
        // the wall clock neither stretches nor cancels a back-off.
        std::shared_ptr<const Clock> clock;
    };

    // The preferences, the model and the bridge are created by the caller, in that order,
    // before the delegate.
    static std::shared_ptr<AppDelegate> create(MainQueue& mainQueue, std::shared_ptr<OverlayPreferences> preferences,
                                               std::shared_ptr<VisualizerModel> visualizerModel,
                                               std::shared_ptr<BridgeControl> browserPlaybackBridge, Platform platform);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Lifecycle. A quiet launch (at login) does not present the settings window.
    void launch(bool quietly = false);
    // Another launch of the application asked for it: presents the settings window.
    bool applicationShouldHandleReopen();
    void applicationWillTerminate();

    // Operations of the status menu and the settings window.
    void setOverlayEnabled(bool enabled);
    void setAutoShow(bool enabled);
    void setAudioResponsive(bool enabled);
    void setVisualizesPlayingPlayerOnly(bool enabled);
    // Milliseconds added to the output latency before frames are drawn.
    void setAudioDelayOffset(int milliseconds);
    void setAvoidsCoveringWindows(bool enabled);
    void setDisplayMode(OverlayDisplayMode mode);
    void setPosition(OverlayPosition position);
    void setColor(WaveColor color);
    void setPlayer(MusicPlayer player, bool enabled);
    // The switch of a player outside the catalogue, by the stem of its MPRIS bus name.
    void setOtherPlayer(const std::string& stem, bool enabled);
    void retryAudioCapture();
    void openAudioCaptureSettings();
    void openSettingsWindow();
    bool setLaunchAtLogin(bool enabled);
    void performMenuAction(StatusMenuAction action, const std::string& data);
    // The callbacks the settings window gets, each holding the delegate weakly.
    SettingsActions makeSettingsActions();

    // Policy.
    void handlePlaybackSnapshot(const MusicPlaybackSnapshot& snapshot);
    void refreshMenuState();

    // State, for the menu and for inspection.
    std::optional<MusicPlayer> currentMusicPlayer() const { return currentMusicPlayer_; }
    MusicPlaybackState currentPlaybackState() const { return currentPlaybackState_; }
    std::optional<double> audioCaptureRetryAfter() const { return audioCaptureRetryAfter_; }
    bool isCapturing() const { return audioLevelMonitor_ != nullptr; }
    const StatusMenuModel& menuModel() const { return menuModel_; }
    const std::shared_ptr<OverlayPreferences>& preferences() const { return preferences_; }
    const std::shared_ptr<VisualizerModel>& visualizerModel() const { return visualizerModel_; }

private:
    AppDelegate(MainQueue& mainQueue, std::shared_ptr<OverlayPreferences> preferences,
                std::shared_ptr<VisualizerModel> visualizerModel, std::shared_ptr<BridgeControl> browserPlaybackBridge,
                Platform platform);

    bool overlayConditionHolds() const;
    bool captureConditionHolds() const;
    void updateOverlayVisibility();
    void startAudioLevelMonitorIfNeeded();
    void stopAudioLevelMonitor();
    void takeStopPath();
    void showFixedLevelOrPause();
    void applyToggle();
    void handleFrame(std::uint64_t attempt, const AudioVisualizationFrame& frame);
    void handleCaptureFailure(std::uint64_t attempt, AudioCaptureFailure failure);
    void handleCaptureScope(std::uint64_t attempt, bool playerOnly);
    // The player whose sound capture records alone: none while the setting is off.
    PlayerAudioIdentity followedPlayer() const;
    void scheduleCaptureRetry(double delay);
    void captureRetryDeadlineReached();
    void relayoutOverlay(bool applyLevel);
    bool loginItemEnabled() const;

    MainQueue& mainQueue_;
    std::shared_ptr<OverlayPreferences> preferences_;
    std::shared_ptr<VisualizerModel> visualizerModel_;
    std::shared_ptr<BridgeControl> browserPlaybackBridge_;
    Platform platform_;
    std::shared_ptr<const Clock> clock_;
    double audioLineSetAt_ = -1.0e9;  // when a frame last changed the menu's audio line

    std::shared_ptr<OverlayPresenter> overlayController_;
    std::shared_ptr<SettingsWindowPresenter> settingsWindowController_;
    std::shared_ptr<StatusMenuView> statusMenu_;
    std::shared_ptr<PlaybackMonitorControl> playbackMonitor_;
    std::shared_ptr<AudioLevelMonitor> audioLevelMonitor_;
    // Counts capture attempts, so that a late callback of a monitor that was already stopped
    // or replaced is recognised and ignored.
    std::uint64_t captureAttempt_ = 0;
    std::optional<double> audioCaptureRetryAfter_;
    // Fires at the back-off deadline, so that capture comes back during steady playback too
    // (the playback monitor reports only changes).
    MainQueue::TimerId captureRetryTimer_ = 0;
    std::optional<MusicPlayer> currentMusicPlayer_;
    // The current player when it is outside the catalogue (empty otherwise).
    std::string currentOtherPlayerStem_;
    std::string currentOtherPlayerName_;
    PlayerAudioIdentity currentPlayerAudio_;
    MusicPlaybackState currentPlaybackState_ = MusicPlaybackState::notRunning;
    StatusMenuModel menuModel_ = StatusMenuModel::initial();
};

}  // namespace sonavista
