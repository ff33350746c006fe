#pragma once

#include "base/MainQueue.h"
#include "playback/BrowserPlaybackSource.h"
#include "playback/OutputVolume.h"
#include "playback/PlayerScriptQuery.h"
#include "playback/RunningApplications.h"
#include "playback/SystemNowPlayingProvider.h"

#include <map>
#include <optional>
#include <vector>

namespace sonavista::testing {

struct FakeBrowserSource : BrowserPlaybackSource {
    std::optional<MusicPlaybackSnapshot> page;
    std::vector<MusicPlayerSet> askedWith;

    std::optional<MusicPlaybackSnapshot> snapshot(const MusicPlayerSet& enabled) override {
        askedWith.push_back(enabled);
        if (page && page->player && !enabled.contains(*page->player)) {
            return std::nullopt;
        }
        return page;
    }
};

// Keeps every completion so that a test decides when, and with what, each query answers.
struct FakeNowPlaying : SystemNowPlayingProvider {
    std::vector<Completion> pending;

    void fetch(Completion completion) override { pending.push_back(std::move(completion)); }

    void answer(std::size_t index, std::optional<SystemNowPlayingSnapshot> snapshot) {
        auto completion = std::move(pending.at(index));
        completion(snapshot);
    }
};

struct FakeScriptQuery : PlayerScriptQuery {
    std::map<MusicPlayer, PlayerScriptReply> replies;
    std::vector<MusicPlayer> asked;

    PlayerScriptReply query(MusicPlayer player) override {
        asked.push_back(player);
        auto found = replies.find(player);
        return found == replies.end() ? PlayerScriptReply::unavailable() : found->second;
    }
};

struct FakeOutputVolume : OutputVolume {
    double volume = 1.0;
    double systemOutputVolume() override { return volume; }
};

struct FakeRunningApplications : RunningApplications {
    std::vector<RunningApplication> applications;
    int scans = 0;

    std::vector<RunningApplication> runningApplications() override {
        ++scans;
        return applications;
    }
    std::optional<RunningApplication> application(std::int32_t processIdentifier) override {
        for (const auto& application : applications) {
            if (application.processIdentifier == processIdentifier) {
                return application;
            }
        }
        return std::nullopt;
    }
};

}  // namespace sonavista::testing
