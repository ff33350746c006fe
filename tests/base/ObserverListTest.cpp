#include "base/ObserverList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonavista {
namespace {

// A round calls the observers present when it began, in the order they were added, skipping
// any removed before its turn (itself included); a nested round finishes first.
TEST(ObserverListTest, RoundsFollowRegistrationOrderWhateverObserversDoMeanwhile) {
    ObserverList<int> list;
    std::vector<std::string> calls;
    const auto log = [&](const char* name) {
        return [&calls, name](int event) { calls.push_back(name + std::to_string(event)); };
    };
    ObserverList<int>::Token self = 0, third = 0;
    const auto first = list.add([&](int event) {
        log("first")(event);
        if (event != 1) return;
        list.remove(third);
        list.add(log("late"));  // joins the next rounds only
        list.notify(2);
    });
    self = list.add([&](int event) {
        log("self")(event);
        list.remove(self);  // itself, while called
    });
    third = list.add(log("third"));
    EXPECT_NE(first, 0u);

    list.notify(1);
    EXPECT_EQ(calls, (std::vector<std::string>{"first1", "first2", "self2", "late2"}));
    calls.clear();
    list.remove(12345);  // unknown: ignored
    list.notify(3);
    EXPECT_EQ(calls, (std::vector<std::string>{"first3", "late3"}));
}

}  // namespace
}  // namespace sonavista
