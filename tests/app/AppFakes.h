#pragma once

#include "app/AppDelegate.h"

#include <algorithm>
#include <functional>
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

class FakeOverlay final : public OverlayPresenter {
public:
    explicit FakeOverlay(Journal& journal) : journal_(journal) {}
    void applyWindowLevel() override { journal_.add("overlay.applyWindowLevel"); }
    void reposition() override { journal_.add("overlay.reposition"); }
    void showPanel() override { visible = true; journal_.add("overlay.showPanel"); }
    void hidePanel() override { visible = false; journal_.add("overlay.hidePanel"); }
    bool visible = false;
    Journal& journal_;
};

class FakeAudioMonitor final : public AudioLevelMonitor {
public:
    FakeAudioMonitor(Journal& journal, AudioFrameCallback frame, AudioFailureCallback failure)
        : frameDidChange(std::move(frame)), captureDidFail(std::move(failure)), journal_(journal) {}
    void start() override { ++starts; journal_.add("audio.start"); }
    void stop() override { ++stops; journal_.add("audio.stop"); }
    AudioFrameCallback frameDidChange;
    AudioFailureCallback captureDidFail;
    int starts = 0;
    int stops = 0;
    Journal& journal_;
};

class FakePlaybackMonitor final : public PlaybackMonitorControl {
public:
    FakePlaybackMonitor(Journal& journal, EnabledPlayersProvider players, SnapshotCallback snapshot)
        : enabledPlayers(std::move(players)), snapshotDidChange(std::move(snapshot)), journal_(journal) {}
    void start() override { journal_.add("playback.start"); }
    void stop() override { journal_.add("playback.stop"); }
    void requestFreshPass() override { journal_.add("playback.requestFreshPass"); }
    EnabledPlayersProvider enabledPlayers;
    SnapshotCallback snapshotDidChange;
    Journal& journal_;
};

class FakeBridge final : public BridgeControl {
public:
    explicit FakeBridge(Journal& journal) : journal_(journal) {}
    void start() override { journal_.add("bridge.start"); }
    void stop() override { journal_.add("bridge.stop"); }
    Journal& journal_;
};

class FakeSettingsWindow final : public SettingsWindowPresenter {
public:
    FakeSettingsWindow(Journal& journal, SettingsActions a, bool login)
        : actions(std::move(a)), launchAtLoginEnabled(login), journal_(journal) {}
    bool hasWindow() const override { return true; }
    void present() override { ++presentations; journal_.add("settings.present"); }
    SettingsActions actions;
    bool launchAtLoginEnabled;
    int presentations = 0;
    Journal& journal_;
};

class FakeStatusMenu final : public StatusMenuView {
public:
    FakeStatusMenu(Journal& journal, StatusMenuActionHandler h) : handler(std::move(h)), journal_(journal) {}
    void update(const StatusMenuModel& model) override {
        shown = model;
        ++updates;
        journal_.add("menu.update");
    }
    void choose(StatusMenuAction action, const std::string& represented = {}) { handler(action, represented); }
    StatusMenuActionHandler handler;
    StatusMenuModel shown;
    int updates = 0;
    Journal& journal_;
};

class FakeLoginItem final : public LoginItem {
public:
    explicit FakeLoginItem(Journal& journal) : journal_(journal) {}
    bool isEnabled() const override { return enabled; }
    std::optional<std::string> registerItem() override {
        journal_.add("login.register");
        if (failure) return failure;
        enabled = true;
        return std::nullopt;
    }
    std::optional<std::string> unregisterItem() override {
        journal_.add("login.unregister");
        if (failure) return failure;
        enabled = false;
        return std::nullopt;
    }
    bool enabled = false;
    std::optional<std::string> failure;
    Journal& journal_;
};

class FakeAlerts final : public AlertPresenter {
public:
    explicit FakeAlerts(Journal& journal) : journal_(journal) {}
    void showWarning(const std::string& message, const std::string& informativeText) override {
        journal_.add("alert:" + message + "|" + informativeText);
    }
    Journal& journal_;
};

class FakeOpener final : public WorkspaceOpener {
public:
    explicit FakeOpener(Journal& journal) : journal_(journal) {}
    std::optional<std::string> openAudioCaptureSettings() override {
        journal_.add("opener.audioSettings");
        return failure;
    }
    std::optional<std::string> failure;
    Journal& journal_;
};

}  // namespace sonavista::testing
