#include "audio/FrameHoldBack.h"
#include "audio/SinkInputMatcher.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace sonavista;

namespace {

// pid → (parent, executable)
class FakeProcessTree final : public ProcessTree {
public:
    std::map<std::int32_t, std::pair<std::int32_t, std::string>> processes;
    std::optional<std::int32_t> parentOf(std::int32_t pid) const override {
        auto it = processes.find(pid);
        return it == processes.end() ? std::nullopt : std::optional(it->second.first);
    }
    std::optional<std::string> executableName(std::int32_t pid) const override {
        auto it = processes.find(pid);
        return it == processes.end() ? std::nullopt : std::optional(it->second.second);
    }
};

SinkInputInfo stream(std::uint32_t index, std::optional<std::int32_t> pid, std::string binary, std::string appId = {}) {
    return SinkInputInfo{index, 0, pid, std::move(binary), "", std::move(appId)};
}

TEST(SinkInputMatcherTest, FindsThePlayersOwnStreamsAndNoOtherProgramsOnes) {
    FakeProcessTree tree;
    tree.processes = {{1, {0, "systemd"}},      {100, {1, "spotify"}},   {101, {100, "spotify"}},
                      {102, {101, "spotify"}},  {200, {1, "spotify"}},   {300, {1, "paplay"}},
                      {400, {1, "firefox-esr"}}, {401, {400, "firefox-esr"}}, {2, {0, "kthreadd"}}};
    const std::vector<SinkInputInfo> streams = {
        stream(10, 100, "spotify"),                            // the MPRIS owner itself
        stream(11, 102, "spotify"),                            // a grandchild playing for it
        stream(12, 200, "spotify"),                            // a second, unrelated instance
        stream(13, 300, "paplay"),                             // another program's notification
        stream(14, 2, "spotify", "com.spotify.Client"),        // a Flatpak stream, pid namespaced
        stream(15, 2, "spotify"),                              // the same without an id
        stream(16, 401, "firefox-esr"),                        // a browser's content process
        stream(17, std::nullopt, "spotify"),                   // no process id at all
    };
    const struct {
        const char* name;
        PlayerAudioIdentity player;
        std::vector<std::uint32_t> expected;
    } cases[] = {
        {"MPRIS owner and its process tree; same-name streams whose pid is not such a process",
         {"Spotify", {100}, {}, {"spotify"}}, {10, 11, 14, 15, 17}},
        {"Flatpak player known by its application id", {"Spotify", {}, {"com.spotify.Client"}, {}}, {14}},
        {"player known only by executable name (browser via extension)", {"YouTube", {}, {}, {"firefox-esr"}}, {16}},
        {"browser known by its process", {"Firefox", {400}, {}, {"firefox-esr"}}, {16}},
        {"scanned player with two processes", {"Spotify", {100, 200}, {}, {"spotify"}}, {10, 11, 12, 14, 15, 17}},
        {"nothing known matches nothing", {"Spotify", {}, {}, {}}, {}},
        {"a player whose processes play nothing", {"mpv", {999}, {}, {"mpv"}}, {}},
    };
    const SinkInputMatcher matcher(tree);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(matcher.match(c.player, streams), c.expected);
    }
}

TEST(SinkInputMatcherTest, ParentLoopsAndDeepTreesEnd) {
    FakeProcessTree tree;
    tree.processes = {{50, {51, "a"}}, {51, {50, "a"}}};  // a broken table with a cycle
    for (std::int32_t pid = 1000; pid < 1100; ++pid) tree.processes[pid] = {pid - 1, "deep"};
    const SinkInputMatcher matcher(tree);
    EXPECT_FALSE(matcher.belongsTo({"x", {7}, {}, {}}, stream(1, 50, "a")));
    EXPECT_FALSE(matcher.belongsTo({"x", {1000}, {}, {}}, stream(1, 1099, "deep")));
    EXPECT_TRUE(matcher.belongsTo({"x", {1080}, {}, {}}, stream(1, 1099, "deep")));
}

AudioVisualizationFrame frame(double level) { return AudioVisualizationFrame{level, 1.0, 0.0, {level}}; }

// Frames analysed 30 times a second, held back by a reported output latency, taken every
// millisecond of a fake clock: each is first drawn its latency after it was analysed.
TEST(FrameHoldBackTest, EachFrameIsDrawnItsHoldBackAfterItWasAnalysed) {
    for (const double holdBack : {0.02, 0.18, 0.25, 0.55}) {
        SCOPED_TRACE(holdBack);
        FrameHoldBack queue;
        std::map<double, double> analysedAt, drawnAt;  // by level
        AudioVisualizationFrame taken;
        int wakeUps = 0;
        for (int ms = 0; ms <= 2000; ++ms) {
            const double now = 1000.0 + ms / 1000.0;
            if (ms % 33 == 0 && ms <= 1200) {
                const double level = ms / 10000.0;
                analysedAt[level] = now;
                if (queue.push(frame(level), now + holdBack)) ++wakeUps;
            }
            if (queue.take(now, taken).frame && !drawnAt.contains(taken.level)) drawnAt[taken.level] = now;
        }
        ASSERT_EQ(drawnAt.size(), analysedAt.size());
        for (const auto& [level, when] : drawnAt) EXPECT_NEAR(when - analysedAt[level], holdBack, 0.0015) << level;
        EXPECT_TRUE(queue.empty());
        // Held longer than the gap between frames, the taker stays awake from the first to the last.
        if (holdBack > 0.04) {
            EXPECT_EQ(wakeUps, 1);
        }
    }
}

TEST(FrameHoldBackTest, TakesTheNewestDueFrameDropsOldestWhenFullAndWakesOnlyWhenNeeded) {
    FrameHoldBack queue;
    AudioVisualizationFrame taken;
    EXPECT_TRUE(queue.push(frame(0.1), 10.0));
    EXPECT_FALSE(queue.push(frame(0.2), 10.1));  // a wake-up is already on its way
    EXPECT_FALSE(queue.push(frame(0.3), 10.5));
    auto result = queue.take(10.2, taken);
    EXPECT_TRUE(result.frame);
    EXPECT_EQ(taken.level, 0.2);  // 0.1 is overtaken: only the newest due frame is drawn
    EXPECT_EQ(result.nextDue, 10.5);
    result = queue.take(10.6, taken);
    EXPECT_EQ(taken.level, 0.3);
    EXPECT_FALSE(result.nextDue);
    EXPECT_TRUE(queue.push(frame(0.4), 11.0));  // the ring ran empty: wake again

    // On ticks nothing wakes; stopping the ticks with frames held asks for one wake-up.
    EXPECT_FALSE(queue.setTakenOnTicks(true));
    queue.take(11.0, taken);
    EXPECT_FALSE(queue.push(frame(0.5), 12.0));
    EXPECT_TRUE(queue.setTakenOnTicks(false));
    EXPECT_FALSE(queue.setTakenOnTicks(false));

    queue.clear();
    for (std::size_t i = 0; i < FrameHoldBack::capacity + 5; ++i) queue.push(frame(static_cast<double>(i)), 20.0 + i);
    result = queue.take(0.0, taken);
    EXPECT_FALSE(result.frame);
    EXPECT_EQ(result.nextDue, 25.0);  // the five oldest made room
}

}  // namespace
