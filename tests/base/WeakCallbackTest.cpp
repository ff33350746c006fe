#include "base/SerialQueue.h"
#include "base/WeakCallback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace sonavista;

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
