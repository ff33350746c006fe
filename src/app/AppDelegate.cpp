#include "app/AppDelegate.h"

#include "base/SteadyClock.h"
#include "base/WeakCallback.h"

namespace sonavista {

std::shared_ptr<AppDelegate> AppDelegate::create(MainQueue& mainQueue, std::shared_ptr<OverlayPreferences> preferences,
                                                 std::shared_ptr<VisualizerModel> visualizerModel,
                                                 std::shared_ptr<BridgeControl> browserPlaybackBridge, Platform platform) {
    return std::shared_ptr<AppDelegate>(new AppDelegate(mainQueue, std::move(preferences),
                                                        std::move(visualizerModel), std::move(browserPlaybackBridge),
                                                        std::move(platform)));
}

AppDelegate::AppDelegate(MainQueue& mainQueue, std::shared_ptr<OverlayPreferences> preferences,
                         std::shared_ptr<VisualizerModel> visualizerModel,
                         std::shared_ptr<BridgeControl> browserPlaybackBridge, Platform platform)
    : mainQueue_(mainQueue),
      preferences_(std::move(preferences)),
      visualizerModel_(std::move(visualizerModel)),
      browserPlaybackBridge_(std::move(browserPlaybackBridge)),
      platform_(std::move(platform)),
      clock_(platform_.clock ? platform_.clock : std::make_shared<SteadyClock>()) {}

// --- Lifecycle ---

void AppDelegate::launch(bool quietly) {
    if (platform_.makeOverlay) overlayController_ = platform_.makeOverlay();
    if (platform_.makeSettingsWindow) {
        settingsWindowController_ = platform_.makeSettingsWindow(makeSettingsActions(), loginItemEnabled());
    }
    if (platform_.makeStatusMenu) {
        statusMenu_ = platform_.makeStatusMenu(weakCallback(
            weak_from_this(), [](AppDelegate& self, StatusMenuAction action, const std::string& represented) {
                self.performMenuAction(action, represented);
            }));
    }
    refreshMenuState();
    // Every assignment tries to save; the menu shows at once when that starts or stops failing,
    // whichever part made the change.
    preferences_->addObserver(weakCallback(weak_from_this(), [](AppDelegate& self, OverlayPreferences::Property) {
        if (self.menuModel_.settingsNotSavedItem().hidden == self.preferences_->saveError().has_value()) {
            self.refreshMenuState();
        }
    }));

    if (browserPlaybackBridge_) browserPlaybackBridge_->start();

    if (platform_.makePlaybackMonitor) {
        EnabledPlayersProvider enabledPlayers = [weak = weak_from_this()]() -> MusicPlayerSet {
            if (auto self = weak.lock()) return self->preferences_->enabledPlayers();
            return {};
        };
        SnapshotCallback snapshotDidChange = weakCallback(
            weak_from_this(),
            [](AppDelegate& self, const MusicPlaybackSnapshot& snapshot) { self.handlePlaybackSnapshot(snapshot); });
        playbackMonitor_ = platform_.makePlaybackMonitor(std::move(enabledPlayers), std::move(snapshotDidChange));
        if (playbackMonitor_) playbackMonitor_->start();
    }

    // Presented one turn of the main queue later, once launching has returned.
    if (!quietly) mainQueue_.post(weakCallback(weak_from_this(), [](AppDelegate& self) { self.openSettingsWindow(); }));
}

bool AppDelegate::applicationShouldHandleReopen() {
    openSettingsWindow();
    return true;
}

void AppDelegate::applicationWillTerminate() {
    if (captureRetryTimer_ != 0) mainQueue_.cancel(captureRetryTimer_);
    captureRetryTimer_ = 0;
    if (playbackMonitor_) playbackMonitor_->stop();
    if (audioLevelMonitor_) audioLevelMonitor_->stop();
    if (browserPlaybackBridge_) browserPlaybackBridge_->stop();
}

// --- Conditions ---

bool AppDelegate::overlayConditionHolds() const {
    return preferences_->overlayEnabled() && preferences_->autoShow() &&
           currentPlaybackState_ == MusicPlaybackState::playing;
}

bool AppDelegate::captureConditionHolds() const { return overlayConditionHolds() && preferences_->audioResponsive(); }

// --- Snapshots ---

void AppDelegate::handlePlaybackSnapshot(const MusicPlaybackSnapshot& snapshot) {
    currentMusicPlayer_ = snapshot.player;
    currentOtherPlayerStem_ = snapshot.otherPlayerStem;
    currentOtherPlayerName_ = snapshot.playerDisplayName();
    currentPlaybackState_ = snapshot.state;
    currentPlayerAudio_ = snapshot.audio;
    if (audioLevelMonitor_) audioLevelMonitor_->follow(followedPlayer());
    visualizerModel_->updateFallbackLevel(snapshot.volumeLevel);

    if (snapshot.state != MusicPlaybackState::playing) {
        audioCaptureRetryAfter_.reset();
        takeStopPath();
        return;
    }
    if (captureConditionHolds()) {
        startAudioLevelMonitorIfNeeded();
        updateOverlayVisibility();
        refreshMenuState();
        return;
    }
    takeStopPath();
}

void AppDelegate::takeStopPath() {
    stopAudioLevelMonitor();
    showFixedLevelOrPause();
    updateOverlayVisibility();
    refreshMenuState();
}

// The overlay still shows without capture only when audio response is off: it then plays on
// the fixed level and says so, however that situation was reached.
void AppDelegate::showFixedLevelOrPause() {
    if (overlayConditionHolds()) {
        visualizerModel_->useFallbackAudio(std::nullopt);
    } else {
        visualizerModel_->pause();
    }
}

void AppDelegate::stopAudioLevelMonitor() {
    if (auto monitor = std::move(audioLevelMonitor_)) {
        audioLevelMonitor_.reset();
        monitor->stop();
    }
    visualizerModel_->setListeningTo(std::nullopt);
}

PlayerAudioIdentity AppDelegate::followedPlayer() const {
    return preferences_->visualizesPlayingPlayerOnly() ? currentPlayerAudio_ : PlayerAudioIdentity{};
}

void AppDelegate::updateOverlayVisibility() {
    if (!overlayController_) return;
    if (overlayConditionHolds()) {
        overlayController_->applyWindowLevel();
        overlayController_->reposition();
        overlayController_->showPanel();
    } else {
        overlayController_->hidePanel();
    }
}

// --- Capture ---

void AppDelegate::startAudioLevelMonitorIfNeeded() {
    if (audioLevelMonitor_) return;
    if (audioCaptureRetryAfter_ && *audioCaptureRetryAfter_ > clock_->now()) return;
    if (!platform_.makeAudioMonitor) return;

    const std::uint64_t attempt = ++captureAttempt_;
    auto monitor = platform_.makeAudioMonitor(
        weakCallback(weak_from_this(),
                     [attempt](AppDelegate& self, const AudioVisualizationFrame& frame) { self.handleFrame(attempt, frame); }),
        weakCallback(weak_from_this(),
                     [attempt](AppDelegate& self, AudioCaptureFailure failure) { self.handleCaptureFailure(attempt, failure); }));
    audioLevelMonitor_ = monitor;
    if (!monitor) return;
    monitor->follow(followedPlayer());
    monitor->setHoldBackOffset(preferences_->audioDelayOffset() / 1000.0);
    monitor->onScopeChange(weakCallback(
        weak_from_this(), [attempt](AppDelegate& self, bool playerOnly) { self.handleCaptureScope(attempt, playerOnly); }));
    monitor->start();
}

void AppDelegate::handleCaptureScope(std::uint64_t attempt, bool playerOnly) {
    if (attempt != captureAttempt_ || !audioLevelMonitor_) return;
    std::optional<std::string> name;
    if (playerOnly) {
        name = currentPlayerAudio_.displayName.empty() ? currentOtherPlayerName_ : currentPlayerAudio_.displayName;
    }
    visualizerModel_->setListeningTo(std::move(name));
}

void AppDelegate::handleFrame(std::uint64_t attempt, const AudioVisualizationFrame& frame) {
    // A frame that was already queued when its monitor was stopped or replaced says nothing
    // about the capture now wanted.
    if (attempt != captureAttempt_ || !audioLevelMonitor_) return;
    audioCaptureRetryAfter_.reset();
    visualizerModel_->updateLiveFrame(frame);
    // Of what the menu shows, a frame changes only the audio line (and with the capture
    // status, whether the permission item shows); frames arrive up to 30 times a second, so
    // only those are set, and the view is told only when the line reads differently. While the
    // line stays live its percentage is refreshed at most once a liveAudioLineInterval: each
    // change is set on the tray's menu (and sent to a desktop tray that shows it remotely),
    // and nobody reads a number that changes faster. A change of status shows at once.
    const AudioCaptureStatus status = visualizerModel_->captureStatus();
    const double now = clock_->now();
    if (status == AudioCaptureStatus::live && menuModel_.audioStatus() == AudioCaptureStatus::live &&
        now - audioLineSetAt_ < liveAudioLineInterval) {
        return;
    }
    if (menuModel_.setAudioStatus(status, visualizerModel_->audioLevel())) {
        audioLineSetAt_ = now;
        if (statusMenu_) statusMenu_->update(menuModel_);
    }
}

void AppDelegate::handleCaptureFailure(std::uint64_t attempt, AudioCaptureFailure failure) {
    if (attempt != captureAttempt_ || !audioLevelMonitor_) return;
    // The monitor has ended itself; it is dropped without being stopped.
    audioLevelMonitor_.reset();
    visualizerModel_->setListeningTo(std::nullopt);
    const double delay = failure == AudioCaptureFailure::permissionRequired ? permissionRetryDelay : failureRetryDelay;
    audioCaptureRetryAfter_ = clock_->now() + delay;
    scheduleCaptureRetry(delay);
    visualizerModel_->useFallbackAudio(failure);
    refreshMenuState();
}

void AppDelegate::scheduleCaptureRetry(double delay) {
    if (captureRetryTimer_ != 0) mainQueue_.cancel(captureRetryTimer_);
    captureRetryTimer_ = mainQueue_.postAfter(
        delay, weakCallback(weak_from_this(), [](AppDelegate& self) { self.captureRetryDeadlineReached(); }));
}

void AppDelegate::captureRetryDeadlineReached() {
    captureRetryTimer_ = 0;
    // Cleared meanwhile: capture was started again or is no longer wanted.
    if (!audioCaptureRetryAfter_) return;
    // A timer may fire a little before the clock reaches the deadline: wait for the rest.
    const double remaining = *audioCaptureRetryAfter_ - clock_->now();
    if (remaining > 0) {
        scheduleCaptureRetry(remaining);
        return;
    }
    if (!captureConditionHolds()) return;
    startAudioLevelMonitorIfNeeded();
    refreshMenuState();
}

// --- Toggles ---

void AppDelegate::setOverlayEnabled(bool enabled) {
    preferences_->setOverlayEnabled(enabled);
    applyToggle();
}

void AppDelegate::setAutoShow(bool enabled) {
    preferences_->setAutoShow(enabled);
    applyToggle();
}

void AppDelegate::applyToggle() {
    if (captureConditionHolds()) {
        audioCaptureRetryAfter_.reset();
        startAudioLevelMonitorIfNeeded();
        updateOverlayVisibility();
        refreshMenuState();
    } else {
        takeStopPath();
    }
}

void AppDelegate::setAudioResponsive(bool enabled) {
    preferences_->setAudioResponsive(enabled);
    if (captureConditionHolds()) {
        audioCaptureRetryAfter_.reset();
        startAudioLevelMonitorIfNeeded();
        refreshMenuState();
        return;
    }
    stopAudioLevelMonitor();
    if (overlayConditionHolds()) visualizerModel_->useFallbackAudio(std::nullopt);
    refreshMenuState();
}

void AppDelegate::setVisualizesPlayingPlayerOnly(bool enabled) {
    preferences_->setVisualizesPlayingPlayerOnly(enabled);
    if (audioLevelMonitor_) audioLevelMonitor_->follow(followedPlayer());
    refreshMenuState();
}

void AppDelegate::setAudioDelayOffset(int milliseconds) {
    preferences_->setAudioDelayOffset(milliseconds);
    if (audioLevelMonitor_) audioLevelMonitor_->setHoldBackOffset(preferences_->audioDelayOffset() / 1000.0);
}

void AppDelegate::retryAudioCapture() {
    if (!preferences_->audioResponsive() || currentPlaybackState_ != MusicPlaybackState::playing) return;
    stopAudioLevelMonitor();
    audioCaptureRetryAfter_.reset();
    startAudioLevelMonitorIfNeeded();
    refreshMenuState();
}

void AppDelegate::setPlayer(MusicPlayer player, bool enabled) {
    preferences_->setPlayer(player, enabled);
    if (!enabled && currentMusicPlayer_ == player) {
        handlePlaybackSnapshot(MusicPlaybackSnapshot{std::nullopt, MusicPlaybackState::notRunning, 0.0});
    }
    if (playbackMonitor_) playbackMonitor_->requestFreshPass();
}

void AppDelegate::setOtherPlayer(const std::string& stem, bool enabled) {
    preferences_->setOtherPlayer(stem, enabled);
    if (!enabled && !currentMusicPlayer_ && currentOtherPlayerStem_ == stem) {
        handlePlaybackSnapshot(MusicPlaybackSnapshot::idle());
    }
    if (playbackMonitor_) playbackMonitor_->requestFreshPass();
}

// --- Layout ---

void AppDelegate::relayoutOverlay(bool applyLevel) {
    if (!overlayController_) return;
    if (applyLevel) overlayController_->applyWindowLevel();
    overlayController_->reposition();
}

void AppDelegate::setAvoidsCoveringWindows(bool enabled) {
    preferences_->setAvoidsCoveringWindows(enabled);
    relayoutOverlay(true);
    refreshMenuState();
}

void AppDelegate::setDisplayMode(OverlayDisplayMode mode) {
    preferences_->setDisplayMode(mode);
    relayoutOverlay(true);
    refreshMenuState();
}

void AppDelegate::setPosition(OverlayPosition position) {
    preferences_->setPosition(position);
    relayoutOverlay(false);
    refreshMenuState();
}

void AppDelegate::setColor(WaveColor color) {
    preferences_->setColor(color);
    refreshMenuState();
}

// --- Windows, desktop, login item ---

void AppDelegate::openAudioCaptureSettings() {
    if (!platform_.workspaceOpener) return;
    const auto problem = platform_.workspaceOpener->openAudioCaptureSettings();
    if (problem && platform_.alerts) platform_.alerts->showWarning("Unable to Open Sound Settings", *problem);
}

void AppDelegate::openSettingsWindow() {
    if (settingsWindowController_ && settingsWindowController_->hasWindow()) settingsWindowController_->present();
}

bool AppDelegate::loginItemEnabled() const { return platform_.loginItem && platform_.loginItem->isEnabled(); }

bool AppDelegate::setLaunchAtLogin(bool enabled) {
    if (platform_.loginItem) {
        const bool isEnabled = platform_.loginItem->isEnabled();
        std::optional<std::string> error;
        if (enabled && !isEnabled) {
            error = platform_.loginItem->registerItem();
        } else if (!enabled && isEnabled) {
            error = platform_.loginItem->unregisterItem();
        }
        if (error && platform_.alerts) platform_.alerts->showWarning("Unable to Change Login Item Settings", *error);
    }
    refreshMenuState();
    return loginItemEnabled();
}

// --- Menu ---

void AppDelegate::refreshMenuState() {
    StatusMenuState state;
    state.currentMusicPlayer = currentMusicPlayer_;
    if (!currentOtherPlayerStem_.empty()) state.currentOtherPlayerName = currentOtherPlayerName_;
    state.currentPlaybackState = currentPlaybackState_;
    state.captureStatus = visualizerModel_->captureStatus();
    state.audioLevel = visualizerModel_->audioLevel();
    state.overlayEnabled = preferences_->overlayEnabled();
    state.autoShow = preferences_->autoShow();
    state.avoidsCoveringWindows = preferences_->avoidsCoveringWindows();
    state.audioResponsive = preferences_->audioResponsive();
    state.visualizesPlayingPlayerOnly = preferences_->visualizesPlayingPlayerOnly();
    state.displayMode = preferences_->displayMode();
    state.position = preferences_->position();
    state.color = preferences_->color();
    state.launchAtLoginEnabled = loginItemEnabled();
    state.settingsNotSaved = preferences_->saveError().has_value();
    menuModel_ = StatusMenuModel::make(state);
    if (statusMenu_) statusMenu_->update(menuModel_);
}

void AppDelegate::performMenuAction(StatusMenuAction action, const std::string& data) {
    using A = StatusMenuAction;
    switch (action) {
        case A::openAudioCaptureSettings: openAudioCaptureSettings(); break;
        case A::openSettingsWindow: openSettingsWindow(); break;
        case A::toggleOverlayEnabled: setOverlayEnabled(!preferences_->overlayEnabled()); break;
        case A::toggleAutoShow: setAutoShow(!preferences_->autoShow()); break;
        case A::toggleAvoidCovering: setAvoidsCoveringWindows(!preferences_->avoidsCoveringWindows()); break;
        case A::toggleAudioResponsive: setAudioResponsive(!preferences_->audioResponsive()); break;
        case A::toggleVisualizesPlayingPlayerOnly:
            setVisualizesPlayingPlayerOnly(!preferences_->visualizesPlayingPlayerOnly());
            break;
        case A::retryAudioCapture: retryAudioCapture(); break;
        case A::selectCompactMode: setDisplayMode(OverlayDisplayMode::compact); break;
        case A::selectFullscreenMode: setDisplayMode(OverlayDisplayMode::fullscreenFog); break;
        case A::selectTopPosition: setPosition(OverlayPosition::top); break;
        case A::selectCenterPosition: setPosition(OverlayPosition::center); break;
        case A::selectBottomPosition: setPosition(OverlayPosition::bottom); break;
        case A::selectWaveColor:
            if (auto color = waveColorFromRawValue(data)) setColor(*color);
            break;
        case A::toggleLaunchAtLogin: setLaunchAtLogin(!loginItemEnabled()); break;
        case A::quitApplication:
            if (platform_.requestQuit) platform_.requestQuit();
            break;
    }
}

SettingsActions AppDelegate::makeSettingsActions() {
    const std::weak_ptr<AppDelegate> weak = weak_from_this();
    SettingsActions actions;
    actions.setOverlayEnabled = weakCallback(weak, [](AppDelegate& self, bool value) { self.setOverlayEnabled(value); });
    actions.setAutoShow = weakCallback(weak, [](AppDelegate& self, bool value) { self.setAutoShow(value); });
    actions.setAvoidsCoveringWindows =
        weakCallback(weak, [](AppDelegate& self, bool value) { self.setAvoidsCoveringWindows(value); });
    actions.setAudioResponsive = weakCallback(weak, [](AppDelegate& self, bool value) { self.setAudioResponsive(value); });
    actions.setVisualizesPlayingPlayerOnly =
        weakCallback(weak, [](AppDelegate& self, bool value) { self.setVisualizesPlayingPlayerOnly(value); });
    actions.setAudioDelayOffset =
        weakCallback(weak, [](AppDelegate& self, int milliseconds) { self.setAudioDelayOffset(milliseconds); });
    actions.setDisplayMode =
        weakCallback(weak, [](AppDelegate& self, OverlayDisplayMode mode) { self.setDisplayMode(mode); });
    actions.setPosition = weakCallback(weak, [](AppDelegate& self, OverlayPosition position) { self.setPosition(position); });
    actions.setColor = weakCallback(weak, [](AppDelegate& self, WaveColor color) { self.setColor(color); });
    actions.setPlayerEnabled =
        weakCallback(weak, [](AppDelegate& self, MusicPlayer player, bool enabled) { self.setPlayer(player, enabled); });
    actions.setOtherPlayerEnabled = weakCallback(
        weak, [](AppDelegate& self, const std::string& stem, bool enabled) { self.setOtherPlayer(stem, enabled); });
    actions.retryAudioCapture = weakCallback(weak, [](AppDelegate& self) { self.retryAudioCapture(); });
    actions.openAudioCaptureSettings = weakCallback(weak, [](AppDelegate& self) { self.openAudioCaptureSettings(); });
    actions.setLaunchAtLogin = [weak](bool enabled) {
        if (auto self = weak.lock()) return self->setLaunchAtLogin(enabled);
        return false;
    };
    return actions;
}

}  // namespace sonavista
