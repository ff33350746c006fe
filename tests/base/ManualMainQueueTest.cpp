#include "base/ManualMainQueue.h"
#include "base/SerialQueue.h"
#include "base/WeakCallback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

using namespace sonavista;

TEST(ManualMainQueue, RunsPostedTasksInOrderIncludingNestedPosts) {
    ManualMainQueue queue;
    std::string trace;
    queue.post([&] {
        trace += "a";
        queue.post([&] { trace += "c"; });
    });
    queue.post([&] { trace += "b"; });
    EXPECT_EQ(trace, "");
    queue.runPending();
    EXPECT_EQ(trace, "abc");
}

TEST(ManualMainQueue, FiresTimersAtTheirVirtualTimeInScheduleOrder) {
    ManualMainQueue queue;
    std::string trace;
    std::vector<double> times;
    queue.postAfter(0.35, [&] { trace += "x"; times.push_back(queue.now()); });
    const auto repeating = queue.scheduleRepeating(0.5, [&] { trace += "r"; times.push_back(queue.now()); });
    queue.postAfter(0.5, [&] { trace += "y"; });  // same due time as the first repeat: scheduled later
    queue.advance(0.3);
    EXPECT_EQ(trace, "");
    queue.advance(0.7);
    EXPECT_EQ(trace, "xryr");
    EXPECT_EQ(times, (std::vector<double>{0.35, 0.5, 1.0}));
    queue.cancel(repeating);
    queue.advance(5);
    EXPECT_EQ(trace, "xryr");
    EXPECT_EQ(queue.timerCount(), 0u);
}

TEST(ManualMainQueue, CancelledOneShotNeverRunsAndTasksMayCancelThemselves) {
    ManualMainQueue queue;
    int runs = 0;
    const auto id = queue.postAfter(1.0, [&] { ++runs; });
    queue.cancel(id);
    MainQueue::TimerId self = 0;
    self = queue.scheduleRepeating(0.1, [&] {
        ++runs;
        queue.cancel(self);
    });
    queue.advance(2.0);
    EXPECT_EQ(runs, 1);
}

TEST(SerialQueue, SyncWaitsAndRunsAfterEarlierAsyncWork) {
    std::atomic<int> value{0};
    SerialQueue queue;
    queue.async([&] { value = 1; });
    int seen = -1;
    queue.sync([&] { seen = value.load(); });
    EXPECT_EQ(seen, 1);
    bool inline_ran = false;
    queue.sync([&] { queue.sync([&] { inline_ran = queue.isCurrent(); }); });
    EXPECT_TRUE(inline_ran);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(WeakCallback, DoesNothingOnceTheOwnerIsGone) {
    auto owner = std::make_shared<int>(0);
    auto callback = weakCallback(owner, [](int& counter, int by) { counter += by; });
    callback(2);
    EXPECT_EQ(*owner, 2);
    std::weak_ptr<int> watch = owner;
    owner.reset();
    callback(3);  // must not crash or resurrect
    EXPECT_TRUE(watch.expired());
}
