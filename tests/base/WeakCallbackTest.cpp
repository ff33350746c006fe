#include "base/WeakCallback.h"

#include <gtest/gtest.h>

#include <memory>

using namespace sonavista;

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
