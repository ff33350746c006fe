#include "app/AppDelegate.h"
#include "base/ManualMainQueue.h"
#include "base/SteadyClock.h"
#include "preferences/MemorySettingsStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace sonavista::testing {
namespace {

// Every port call of the application under test, in order.
using Journal = std::vector<std::string>;
Journal journal;

struct FakeAudioMonitor final : AudioLevelMonitor {
    FakeAudioMonitor(AudioFrameCallback frame, AudioFailureCallback failure)
        : frameDidChange(std::move(frame)), captureDidFail(std::move(failure)) {}
    void start() override { journal.push_back("audio.start"); }
    void stop() override {
        ++stops;
        journal.push_back("audio.stop");
    }
    void follow(const PlayerAudioIdentity& player) override { followed.push_back(player); }
    void setHoldBackOffset(double seconds) override { offset = seconds; }
    void onScopeChange(std::function<void(bool)> callback) override { scopeDidChange = std::move(callback); }
    AudioFrameCallback frameDidChange;
    AudioFailureCallback captureDidFail;
    std::function<void(bool)> scopeDidChange;
    std::vector<PlayerAudioIdentity> followed;
    double offset = 0.0;
    int stops = 0;
};

struct FakePlaybackMonitor final : PlaybackMonitorControl {
    FakePlaybackMonitor(EnabledPlayersProvider players, SnapshotCallback snapshot)
        : enabledPlayers(std::move(players)), snapshotDidChange(std::move(snapshot)) {}
    void start() override { journal.push_back("playback.start"); }
    void stop() override { journal.push_back("playback.stop"); }
    void requestFreshPass() override { journal.push_back("playback.requestFreshPass"); }
    EnabledPlayersProvider enabledPlayers;
    SnapshotCallback snapshotDidChange;
};

// Every part on the desktop's side (overlay, settings window, status menu, login item, sound
// settings, alerts) and the bridge: each test part is one of these, journalling its calls.
struct FakeDesktop final : OverlayPresenter,
                           SettingsWindowPresenter,
                           StatusMenuView,
                           LoginItem,
                           WorkspaceOpener,
                           AlertPresenter,
                           BridgeControl {
    FakeDesktop() = default;
    explicit FakeDesktop(SettingsActions a) : actions(std::move(a)) {}
    explicit FakeDesktop(StatusMenuActionHandler h) : handler(std::move(h)) {}

    void applyWindowLevel() override { journal.push_back("overlay.applyWindowLevel"); }
    void reposition() override { journal.push_back("overlay.reposition"); }
    void showPanel() override { show(true); }
    void hidePanel() override { show(false); }
    void show(bool on) {
        visible = on;
        journal.push_back(on ? "overlay.showPanel" : "overlay.hidePanel");
    }
    bool hasWindow() const override { return true; }
    void present() override { journal.push_back("settings.present"); }
    void update(const StatusMenuModel& model) override {
        shown = model;
        journal.push_back("menu.update");
    }
    void choose(StatusMenuAction action, const std::string& represented = {}) { handler(action, represented); }
    bool isEnabled() const override { return enabled; }
    std::optional<std::string> registerItem() override { return change("login.register", true); }
    std::optional<std::string> unregisterItem() override { return change("login.unregister", false); }
    std::optional<std::string> change(const char* call, bool to) {
        journal.push_back(call);
        if (!failure) enabled = to;
        return failure;
    }
    std::optional<std::string> openAudioCaptureSettings() override {
        journal.push_back("opener.audioSettings");
        return failure;
    }
    void showWarning(const std::string& message, const std::string& informativeText) override {
        journal.push_back("alert:" + message + "|" + informativeText);
    }
    void start() override { journal.push_back("bridge.start"); }
    void stop() override { journal.push_back("bridge.stop"); }

    bool visible = false;
    bool enabled = false;
    std::optional<std::string> failure;  // of the login item's change or of the sound settings
    SettingsActions actions;
    StatusMenuActionHandler handler;
    StatusMenuModel shown;
};

using State = MusicPlaybackState;

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        journal.clear();
        create();
    }

    void create() {
        AppDelegate::Platform platform;
        platform.makeOverlay = [this] { return make("make.overlay", overlay); };
        platform.makeSettingsWindow = [this](SettingsActions actions, bool) {
            return make("make.settings", settings, std::move(actions));
        };
        platform.makeStatusMenu = [this](StatusMenuActionHandler handler) {
            return make("make.menu", menu, std::move(handler));
        };
        platform.makePlaybackMonitor = [this](EnabledPlayersProvider players, SnapshotCallback snapshot) {
            return make("make.playback", playback, std::move(players), std::move(snapshot));
        };
        platform.makeAudioMonitor = [this](AudioFrameCallback frame, AudioFailureCallback failure) {
            audioMonitors.push_back(std::make_shared<FakeAudioMonitor>(std::move(frame), std::move(failure)));
            return audioMonitors.back();
        };
        platform.loginItem = login;
        platform.workspaceOpener = opener;
        platform.alerts = opener;
        platform.requestQuit = [] { journal.push_back("quit"); };
        platform.clock = clock;
        app = AppDelegate::create(queue, preferences, model, std::make_shared<FakeDesktop>(), std::move(platform));
    }

    template <typename Fake, typename... Args>
    std::shared_ptr<Fake> make(const char* call, std::shared_ptr<Fake>& part, Args&&... args) {
        journal.push_back(call);
        part = std::make_shared<Fake>(std::forward<Args>(args)...);
        return part;
    }

    void launch() {
        app->launch();
        queue.runPending();
        journal.clear();
    }
    void restart() {
        model = std::make_shared<VisualizerModel>();
        audioMonitors.clear();
        create();
        launch();
    }

    void snapshot(State state, std::optional<MusicPlayer> player = MusicPlayer::spotify, double volume = 0.7) {
        playback->snapshotDidChange(MusicPlaybackSnapshot{player, state, volume});
    }

    FakeAudioMonitor& audio() { return *audioMonitors.back(); }

    ManualMainQueue queue;
    // The queue's virtual time (not owned), so that timers and the back-off deadline move together.
    std::shared_ptr<const Clock> clock{std::shared_ptr<const Clock>(), &queue};
    std::shared_ptr<MemorySettingsStore> store = std::make_shared<MemorySettingsStore>();
    std::shared_ptr<OverlayPreferences> preferences = OverlayPreferences::create(store);
    std::shared_ptr<VisualizerModel> model = std::make_shared<VisualizerModel>();
    std::shared_ptr<FakeDesktop> login = std::make_shared<FakeDesktop>();
    std::shared_ptr<FakeDesktop> opener = std::make_shared<FakeDesktop>();
    std::shared_ptr<FakeDesktop> overlay;
    std::shared_ptr<FakeDesktop> settings;
    std::shared_ptr<FakeDesktop> menu;
    std::shared_ptr<FakePlaybackMonitor> playback;
    std::vector<std::shared_ptr<FakeAudioMonitor>> audioMonitors;
    std::shared_ptr<AppDelegate> app;
};

TEST_F(AppDelegateTest, LaunchReopenAndTerminationKeepTheirOrder) {
    EXPECT_TRUE(app->applicationShouldHandleReopen());  // before launch: no window to present
    app->launch();
    EXPECT_EQ(journal, (Journal{"make.overlay", "make.settings", "make.menu", "menu.update", "bridge.start",
                                "make.playback", "playback.start"}));
    queue.runPending();
    EXPECT_EQ(journal.back(), "settings.present");
    snapshot(State::playing);
    journal.clear();
    app->applicationWillTerminate();  // the monitor, then capture, then the bridge
    EXPECT_EQ(journal, (Journal{"playback.stop", "audio.stop", "bridge.stop"}));
}

TEST_F(AppDelegateTest, PlayingSnapshotFollowsTheThreeSwitches) {
    using S = AudioCaptureStatus;
    // Overlay, auto-show and audio response switches; whether it shows, captures, and the status.
    for (const auto& [overlayOn, autoShow, responsive, visible, capture, status] :
         {std::tuple{true, true, true, true, true, S::waiting},  // until the first frame
          {true, false, true, false, false, S::waiting},
          {false, true, true, false, false, S::waiting},
          {true, true, false, true, false, S::fallback}}) {  // shown on the fixed level
        SCOPED_TRACE(::testing::Message() << overlayOn << autoShow << responsive);
        preferences->setOverlayEnabled(overlayOn);
        preferences->setAutoShow(autoShow);
        preferences->setAudioResponsive(responsive);
        restart();
        snapshot(State::playing, MusicPlayer::spotify, 0.6);
        EXPECT_EQ(overlay->visible, visible);
        EXPECT_EQ(app->isCapturing(), capture);
        EXPECT_DOUBLE_EQ(model->fallbackLevel(), 0.6);
        EXPECT_EQ(model->captureStatus(), status);
    }
}

// The playing player's sound is followed while the setting is on; the Audio tab learns whose
// sound is recorded from the capture; the offset reaches the capture in seconds.
TEST_F(AppDelegateTest, CaptureFollowsThePlayingPlayerWhileTheSettingIsOn) {
    preferences->setAudioDelayOffset(120);
    launch();
    MusicPlaybackSnapshot playing{MusicPlayer::spotify, State::playing, 0.7};
    playing.audio = PlayerAudioIdentity{"Spotify", {4242}, {}, {"spotify"}};
    playback->snapshotDidChange(playing);
    ASSERT_EQ(audio().followed, std::vector{playing.audio});
    EXPECT_DOUBLE_EQ(audio().offset, 0.12);

    audio().scopeDidChange(true);
    audio().frameDidChange(AudioVisualizationFrame{0.5, 1.0, 0.0, {}});
    EXPECT_EQ(model->listeningTo(), "Spotify");
    audio().scopeDidChange(false);  // no stream of the player: the whole output
    EXPECT_EQ(model->listeningTo(), std::nullopt);

    settings->actions.setVisualizesPlayingPlayerOnly(false);
    EXPECT_TRUE(audio().followed.back().empty());
    EXPECT_FALSE(store->boolValue("visualizesPlayingPlayerOnly"));
    EXPECT_FALSE(menu->shown.find(StatusMenuAction::toggleVisualizesPlayingPlayerOnly)->checked);
    menu->choose(StatusMenuAction::toggleVisualizesPlayingPlayerOnly);
    EXPECT_EQ(audio().followed.back(), playing.audio);
    settings->actions.setAudioDelayOffset(-60);
    EXPECT_DOUBLE_EQ(audio().offset, -0.06);

    audio().scopeDidChange(true);
    snapshot(State::paused);  // capture ends: nothing is being listened to
    EXPECT_EQ(model->listeningTo(), std::nullopt);
}

TEST_F(AppDelegateTest, PausedSnapshotStopsCaptureHidesAndClearsTheDeadline) {
    launch();
    snapshot(State::playing);
    audio().captureDidFail(AudioCaptureFailure::unavailable);
    queue.advance(31);  // capture runs again; the deadline stays until a frame arrives
    ASSERT_TRUE(app->audioCaptureRetryAfter());

    snapshot(State::paused);
    EXPECT_EQ(audio().stops, 1);
    EXPECT_FALSE(app->audioCaptureRetryAfter());
    EXPECT_FALSE(overlay->visible);
    EXPECT_EQ(model->captureStatus(), AudioCaptureStatus::waiting);
    EXPECT_EQ(menu->shown.playbackStatusItem().title, "Spotify: Paused");
}

TEST_F(AppDelegateTest, FailureBacksOffByKindUntilTheDeadlinePasses) {
    using F = AudioCaptureFailure;
    using S = AudioCaptureStatus;
    // The failure, its back-off, the status shown and whether the permissions item shows.
    for (const auto& [failure, wait, status, permissionItemVisible] :
         {std::tuple{F::permissionRequired, 300.0, S::permissionRequired, true},
          {F::unavailable, 30.0, S::fallback, false},
          {F::silentOrProtectedAudio, 30.0, S::protectedAudio, false}}) {
        SCOPED_TRACE(audioCaptureFailureName(failure));
        restart();
        const double start = clock->now();
        snapshot(State::playing);
        audio().captureDidFail(failure);
        EXPECT_TRUE(overlay->visible);
        EXPECT_EQ(model->captureStatus(), status);
        EXPECT_EQ(app->audioCaptureRetryAfter(), start + wait);
        EXPECT_EQ(!menu->shown.find(StatusMenuAction::openAudioCaptureSettings)->hidden, permissionItemVisible);

        // With the snapshot steady (one track playing on), the deadline itself brings capture back.
        queue.advance(wait - 1);
        EXPECT_EQ(audioMonitors.size(), 1u);
        queue.advance(1);  // not strictly later any more
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "audio.start"), 2);
        audio().frameDidChange(AudioVisualizationFrame{0.423, 1.0, 0.0, std::vector<double>(96, 0.2)});
        EXPECT_FALSE(app->audioCaptureRetryAfter());
        EXPECT_EQ(menu->shown.audioStatusItem().title, "Audio Analysis: Live 42%");
        for (const auto& [wait, shown] : {std::pair{0.0, "42%"}, {AppDelegate::liveAudioLineInterval, "50%"}}) {
            queue.advance(wait);  // while live, the percentage is refreshed once an interval
            audio().frameDidChange(AudioVisualizationFrame{0.5, 1.0, 0.0, std::vector<double>(96, 0.2)});
            EXPECT_EQ(menu->shown.audioStatusItem().title, std::string("Audio Analysis: Live ") + shown);
        }
    }
}

TEST_F(AppDelegateTest, BacksOffOnTheSteadyClockByDefault) {
    clock = nullptr;
    restart();
    snapshot(State::playing);
    audio().captureDidFail(AudioCaptureFailure::unavailable);
    EXPECT_NEAR(app->audioCaptureRetryAfter().value_or(0), SteadyClock().now() + AppDelegate::failureRetryDelay, 1.0);
}

TEST_F(AppDelegateTest, UserTogglesClearTheDeadlineAndCaptureAtOnceButOffRetriesNothing) {
    using Toggle = void (AppDelegate::*)(bool);
    for (Toggle toggle :
         {&AppDelegate::setOverlayEnabled, &AppDelegate::setAutoShow, &AppDelegate::setAudioResponsive}) {
        restart();
        snapshot(State::playing);
        audio().captureDidFail(AudioCaptureFailure::permissionRequired);
        const double deadline = *app->audioCaptureRetryAfter();

        ((*app).*toggle)(false);
        EXPECT_EQ(app->audioCaptureRetryAfter(), deadline);  // switching off leaves it
        queue.advance(AppDelegate::permissionRetryDelay);    // and the deadline retries nothing unwanted
        EXPECT_FALSE(app->isCapturing());
        ((*app).*toggle)(true);
        EXPECT_FALSE(app->audioCaptureRetryAfter());
        EXPECT_TRUE(app->isCapturing());
    }
}

TEST_F(AppDelegateTest, RetryNeedsAudioResponseAndPlaybackAndSilencesTheMonitorItReplaces) {
    launch();
    app->retryAudioCapture();  // nothing plays
    EXPECT_TRUE(audioMonitors.empty());

    snapshot(State::playing);
    auto first = audioMonitors.back();
    app->setOverlayEnabled(false);  // retry ignores the overlay switches
    app->retryAudioCapture();
    EXPECT_EQ(first->stops, 1);
    first->captureDidFail(AudioCaptureFailure::permissionRequired);  // ignored: no back-off
    EXPECT_FALSE(app->audioCaptureRetryAfter());
    audio().captureDidFail(AudioCaptureFailure::permissionRequired);
    app->retryAudioCapture();
    EXPECT_EQ(audioMonitors.size(), 3u);
    EXPECT_FALSE(app->audioCaptureRetryAfter());

    snapshot(State::paused);
    audio().frameDidChange(AudioVisualizationFrame{0.8, 1.0, 0.0, std::vector<double>(96, 0.5)});
    EXPECT_EQ(model->captureStatus(), AudioCaptureStatus::waiting);
    app->setAudioResponsive(false);
    snapshot(State::playing);
    app->retryAudioCapture();
    EXPECT_EQ(audioMonitors.size(), 3u);
}

TEST_F(AppDelegateTest, DisablingAPlayerChecksAfreshAndHidesOnlyForTheCurrentOne) {
    launch();
    snapshot(State::playing);
    journal.clear();
    app->setPlayer(MusicPlayer::youtube, false);
    EXPECT_EQ(journal, Journal{"playback.requestFreshPass"});
    EXPECT_FALSE(playback->enabledPlayers().contains(MusicPlayer::youtube));
    app->setPlayer(MusicPlayer::spotify, false);
    EXPECT_EQ(menu->shown.playbackStatusItem().title, "Music Player: Not Running");

    // A player outside the catalogue is named and switched off alike.
    app->handlePlaybackSnapshot(MusicPlaybackSnapshot{State::playing, 0.8, "rhythmbox", "Rhythmbox"});
    EXPECT_EQ(menu->shown.playbackStatusItem().title, "Rhythmbox: Playing");
    app->setOtherPlayer("vlc", false);
    EXPECT_TRUE(overlay->visible);
    app->setOtherPlayer("rhythmbox", false);
    EXPECT_FALSE(overlay->visible);
    EXPECT_FALSE(preferences->isOtherPlayerEnabled("rhythmbox"));
    EXPECT_EQ(journal.back(), "playback.requestFreshPass");
}

TEST_F(AppDelegateTest, CallbacksDoNothingOnceTheDelegateIsGone) {
    launch();
    const SettingsActions actions = settings->actions;
    auto players = playback->enabledPlayers;
    EXPECT_FALSE(players().empty());
    app.reset();
    journal.clear();
    // The two written out by hand, and one made by weakCallback like the others.
    EXPECT_TRUE(players().empty());
    EXPECT_FALSE(actions.setLaunchAtLogin(false));
    menu->choose(StatusMenuAction::quitApplication);
    EXPECT_TRUE(journal.empty());
}

TEST_F(AppDelegateTest, AChangeThatCannotBeSavedShowsInTheMenuUntilOneIs) {
    launch();
    store->setWriteError("Could not save the settings.");
    preferences->setPosition(OverlayPosition::top);  // whichever part writes
    EXPECT_FALSE(menu->shown.settingsNotSavedItem().hidden);
    store->setWriteError(std::nullopt);
    preferences->setPosition(OverlayPosition::bottom);  // the next change saves again
    EXPECT_TRUE(menu->shown.settingsNotSavedItem().hidden);
    for (const auto& call : journal) EXPECT_EQ(call.rfind("alert:", 0), std::string::npos) << call;
}

TEST_F(AppDelegateTest, MenuAndSettingsRouteThroughThePolicy) {
    launch();
    snapshot(State::playing);
    const Journal relayout = {"overlay.applyWindowLevel", "overlay.reposition", "menu.update"};
    const std::vector<std::pair<std::function<void()>, Journal>> routes = {
        {[&] { menu->choose(StatusMenuAction::toggleOverlayEnabled); },
         {"audio.stop", "overlay.hidePanel", "menu.update"}},
        {[&] { menu->choose(StatusMenuAction::toggleOverlayEnabled); },
         {"audio.start", "overlay.applyWindowLevel", "overlay.reposition", "overlay.showPanel", "menu.update"}},
        {[&] { menu->choose(StatusMenuAction::selectFullscreenMode); }, relayout},
        {[&] { settings->actions.setDisplayMode(OverlayDisplayMode::compact); }, relayout},
        {[&] { menu->choose(StatusMenuAction::toggleAvoidCovering); }, relayout},
        {[&] { settings->actions.setAvoidsCoveringWindows(false); }, relayout},
        {[&] { menu->choose(StatusMenuAction::selectTopPosition); }, {"overlay.reposition", "menu.update"}},
        {[&] { settings->actions.setPosition(OverlayPosition::center); }, {"overlay.reposition", "menu.update"}},
        {[&] { menu->choose(StatusMenuAction::selectWaveColor, "candyPop"); }, {"menu.update"}},
        {[&] { settings->actions.setColor(WaveColor::ocean); }, {"menu.update"}},
        {[&] { menu->choose(StatusMenuAction::selectWaveColor, "Candy Pop"); }, {}},
        {[&] { menu->choose(StatusMenuAction::openAudioCaptureSettings); }, {"opener.audioSettings"}},
        {[&] { settings->actions.openAudioCaptureSettings(); }, {"opener.audioSettings"}},
        {[&] {
             opener->failure = "Install pavucontrol.";
             settings->actions.openAudioCaptureSettings();
         },
         {"opener.audioSettings", "alert:Unable to Open Sound Settings|Install pavucontrol."}},
        {[&] { menu->choose(StatusMenuAction::openSettingsWindow); }, {"settings.present"}},
        {[&] { EXPECT_TRUE(app->applicationShouldHandleReopen()); }, {"settings.present"}},  // a second launch
        {[&] { menu->choose(StatusMenuAction::toggleLaunchAtLogin); }, {"login.register", "menu.update"}},
        {[&] { EXPECT_TRUE(app->setLaunchAtLogin(true)); }, {"menu.update"}},  // already on: no call
        {[&] {
             login->failure = "Read-only file system.";
             EXPECT_TRUE(app->setLaunchAtLogin(false));  // stays on
         },
         {"login.unregister", "alert:Unable to Change Login Item Settings|Read-only file system.", "menu.update"}},
        {[&] { menu->choose(StatusMenuAction::quitApplication); }, {"quit"}},
        // Audio response off while playing: the fixed level, the overlay untouched.
        {[&] { app->setAudioResponsive(false); }, {"audio.stop", "menu.update"}},
    };
    for (std::size_t i = 0; i < routes.size(); ++i) {
        SCOPED_TRACE(i);
        journal.clear();
        routes[i].first();
        EXPECT_EQ(journal, routes[i].second);
    }
    EXPECT_EQ(preferences->displayMode(), OverlayDisplayMode::compact);
    EXPECT_FALSE(preferences->avoidsCoveringWindows());
    EXPECT_EQ(preferences->position(), OverlayPosition::center);
    EXPECT_EQ(preferences->color(), WaveColor::ocean);
}

}  // namespace
}  // namespace sonavista::testing
