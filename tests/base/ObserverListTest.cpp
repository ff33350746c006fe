#include "base/ObserverList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonavista {
namespace {

// One round calls the observers present when it began, in the order they were added, skipping
// any removed before its turn; a nested round finishes before the outer one goes on.
TEST(ObserverListTest, RoundsFollowRegistrationOrderWhateverObserversDoMeanwhile) {
    ObserverList<int> list;
    std::vector<std::string> calls;
    ObserverList<int>::Token third = 0;
    ObserverList<int>::Token self = 0;
    const auto first = list.add([&](int event) {
        calls.push_back("first" + std::to_string(event));
        if (event == 1) {
            list.remove(third);                                                 // later one: skipped
            list.add([&](int e) { calls.push_back("late" + std::to_string(e)); });  // next round only
            list.notify(2);                                                     // nested round
        }
    });
    self = list.add([&](int event) {
        calls.push_back("self" + std::to_string(event));
        list.remove(self);  // removing itself while called is safe
    });
    third = list.add([&](int event) { calls.push_back("third" + std::to_string(event)); });
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, self);

    list.notify(1);
    // "self" removed itself in the nested round, so the outer round skips it as it skips "third".
    EXPECT_EQ(calls, (std::vector<std::string>{"first1", "first2", "self2", "late2"}));

    calls.clear();
    list.remove(12345);  // unknown: ignored
    list.notify(3);
    EXPECT_EQ(calls, (std::vector<std::string>{"first3", "late3"}));
}

}  // namespace
}  // namespace sonavista
