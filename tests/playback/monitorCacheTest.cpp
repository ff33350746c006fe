// The monitor over a cached list of running applications, as wired with a session bus.
#include "base/ManualMainQueue.h"
#include "playback/CachedRunningApplications.h"
#include "playback/MusicPlaybackMonitor.h"
#include "monitorFakes.h"

#include <gtest/gtest.h>

namespace sonavista {
namespace {

constexpr double refresh = 2.0;
const RunningApplication qqMusic{11, "com.tencent.qqmusic", "QQ"};
const RunningApplication editor{40, std::nullopt, "editor"};
const MusicPlaybackSnapshot qqPaused{MusicPlayer::qqMusic, MusicPlaybackState::paused, 1.0};

struct Harness {
    ManualMainQueue queue;
    std::shared_ptr<testing::FakeRunningApplications> scanned = std::make_shared<testing::FakeRunningApplications>();
    std::shared_ptr<CachedRunningApplications> cache = std::make_shared<CachedRunningApplications>(queue, scanned, refresh);
    std::vector<MusicPlaybackSnapshot> published;
    std::shared_ptr<MusicPlaybackMonitor> monitor = MusicPlaybackMonitor::create(
        queue, [] { return MusicPlayerSet{MusicPlayer::qqMusic}; }, {nullptr, nullptr, nullptr, cache},
        [this](const MusicPlaybackSnapshot& s) { published.push_back(s); });
};

struct ChangeCase {
    const char* name;
    std::vector<RunningApplication> before, after;
    bool announced;  // the bus reported a change when the list changed
    MusicPlaybackSnapshot expected;
    double latest;  // seconds after the change by which `expected` is published
};

class CachedListChangeTest : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(CachedListChangeTest, IsPublishedInTime) {
    const auto& c = GetParam();
    Harness h;
    h.scanned->applications = c.before;
    h.monitor->start();
    h.queue.advance(0.3);
    const auto publishedBefore = h.published.size();
    h.scanned->applications = c.after;
    if (c.announced) {
        h.cache->invalidate();
        h.monitor->sourcesDidChange();
        h.queue.runPending();
    }
    double waited = 0.0;
    for (; h.published.size() == publishedBefore && waited < 10.0; waited += 0.05) h.queue.advance(0.05);
    ASSERT_GT(h.published.size(), publishedBefore) << "never published";
    EXPECT_EQ(h.published.back(), c.expected);
    EXPECT_LE(waited, c.latest + 1e-9);
}

constexpr double quietLatency = refresh + MusicPlaybackMonitor::passInterval;
INSTANTIATE_TEST_SUITE_P(Cases, CachedListChangeTest,
                         ::testing::Values(ChangeCase{"AnnouncedStart", {editor}, {editor, qqMusic}, true, qqPaused, 0.0},
                                           ChangeCase{"AnnouncedQuit", {qqMusic}, {editor}, true, MusicPlaybackSnapshot::idle(), 0.0},
                                           ChangeCase{"QuietStart", {editor}, {editor, qqMusic}, false, qqPaused, quietLatency},
                                           ChangeCase{"QuietQuit", {qqMusic}, {}, false, MusicPlaybackSnapshot::idle(), quietLatency}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CachedRunningApplicationsTest, QuietPassesScanOncePerRefreshAndLookUpsGoStraightThrough) {
    Harness h;
    h.monitor->start();
    h.queue.advance(10.0);  // 21 passes
    EXPECT_EQ(h.scanned->scans, 6);
    h.scanned->applications = {qqMusic};
    EXPECT_EQ(h.cache->application(11), qqMusic);
    h.monitor.reset(), h.cache.reset();
    EXPECT_EQ(h.queue.timerCount(), 0u) << "the refresh timer outlived the cache";
}

}  // namespace
}  // namespace sonavista
