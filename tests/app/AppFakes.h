#pragma once

#include "app/AppDelegate.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace sonavista::testing {

// Every port call of the application lands in one journal, in order, so tests can check
// both what happened and in which order.
struct Journal {
    std::vector<std::string> calls;
    void add(std::string call) { calls.push_back(std::move(call)); }
    void clear() { calls.clear(); }
    bool contains(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }
};

// The base of every fake: the journal it writes to.
struct Journaled {
    explicit Journaled(Journal& journal) : journal_(journal) {}
    Journal& journal_;
};

class FakeOverlay final : public OverlayPresenter, Journaled {
public:
    using Journaled::Journaled;
    void applyWindowLevel() override { journal_.add("overlay.applyWindowLevel"); }
    void reposition() override { journal_.add("overlay.reposition"); }
    void showPanel() override { visible = true; journal_.add("overlay.showPanel"); }
    void hidePanel() override { visible = false; journal_.add("overlay.hidePanel"); }
    bool visible = false;
};

class FakeAudioMonitor final : public AudioLevelMonitor, Journaled {
public:
    FakeAudioMonitor(Journal& journal, AudioFrameCallback frame, AudioFailureCallback failure)
        : Journaled(journal), frameDidChange(std::move(frame)), captureDidFail(std::move(failure)) {}
    void start() override { ++starts; journal_.add("audio.start"); }
    void stop() override { ++stops; journal_.add("audio.stop"); }
    AudioFrameCallback frameDidChange;
    AudioFailureCallback captureDidFail;
    int starts = 0;
    int stops = 0;
};

class FakePlaybackMonitor final : public PlaybackMonitorControl, Journaled {
public:
    FakePlaybackMonitor(Journal& journal, EnabledPlayersProvider players, SnapshotCallback snapshot)
        : Journaled(journal), enabledPlayers(std::move(players)), snapshotDidChange(std::move(snapshot)) {}
    void start() override { journal_.add("playback.start"); }
    void stop() override { journal_.add("playback.stop"); }
    void discardQueryInFlight() override { journal_.add("playback.discardQueryInFlight"); }
    void checkPlaybackState() override { journal_.add("playback.check"); }
    EnabledPlayersProvider enabledPlayers;
    SnapshotCallback snapshotDidChange;
};

class FakeBridge final : public BridgeControl, Journaled {
public:
    using Journaled::Journaled;
    void start() override { journal_.add("bridge.start"); }
    void stop() override { journal_.add("bridge.stop"); }
};

class FakeSettingsWindow final : public SettingsWindowPresenter, Journaled {
public:
    FakeSettingsWindow(Journal& journal, SettingsActions a) : Journaled(journal), actions(std::move(a)) {}
    bool hasWindow() const override { return true; }
    void present() override { journal_.add("settings.present"); }
    SettingsActions actions;
};

class FakeStatusMenu final : public StatusMenuView, Journaled {
public:
    FakeStatusMenu(Journal& journal, StatusMenuActionHandler h) : Journaled(journal), handler(std::move(h)) {}
    void update(const StatusMenuModel& model) override {
        shown = model;
        journal_.add("menu.update");
    }
    void choose(StatusMenuAction action, const std::string& represented = {}) { handler(action, represented); }
    StatusMenuActionHandler handler;
    StatusMenuModel shown;
};

class FakeLoginItem final : public LoginItem, Journaled {
public:
    using Journaled::Journaled;
    bool isEnabled() const override { return enabled; }
    std::optional<std::string> registerItem() override { return change("login.register", true); }
    std::optional<std::string> unregisterItem() override { return change("login.unregister", false); }
    bool enabled = false;
    std::optional<std::string> failure;

private:
    std::optional<std::string> change(const char* call, bool to) {
        journal_.add(call);
        if (!failure) enabled = to;
        return failure;
    }
};

class FakeAlerts final : public AlertPresenter, Journaled {
public:
    using Journaled::Journaled;
    void showWarning(const std::string& message, const std::string& informativeText) override {
        journal_.add("alert:" + message + "|" + informativeText);
    }
};

class FakeOpener final : public WorkspaceOpener, Journaled {
public:
    using Journaled::Journaled;
    std::optional<std::string> openAudioCaptureSettings() override {
        journal_.add("opener.audioSettings");
        return failure;
    }
    std::optional<std::string> failure;
};

}  // namespace sonavista::testing
