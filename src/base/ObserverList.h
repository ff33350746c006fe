#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace sonavista {

// The observers of one object, each called with the event (which property changed) in the
// order they were added. Single-threaded: add, remove and notify on the owner's thread.
//
// An observer may add or remove observers and cause further notifications while it is called:
// a round calls the observers present when it began, except those removed before their turn;
// a nested round runs to its end before the outer one goes on.
template <typename Event>
class ObserverList {
public:
    using Observer = std::function<void(Event)>;
    using Token = std::uint64_t;  // 0 is never a valid token

    Token add(Observer observer) {
        entries_.push_back({nextToken_, std::make_shared<const Observer>(std::move(observer))});
        return nextToken_++;
    }

    // Unknown tokens are ignored.
    void remove(Token token) {
        std::erase_if(entries_, [token](const Entry& entry) { return entry.token == token; });
    }

    // Walks the list by token instead of copying it, so a round allocates nothing: the next
    // observer is the first one still listed after the last one called, up to the tokens
    // handed out before the round began.
    void notify(Event event) const {
        const Token end = nextToken_;
        Token last = 0;
        for (;;) {
            const auto next = std::upper_bound(entries_.begin(), entries_.end(), last,
                                               [](Token token, const Entry& entry) { return token < entry.token; });
            if (next == entries_.end() || next->token >= end) return;
            last = next->token;
            const std::shared_ptr<const Observer> observer = next->observer;  // may be removed while called
            (*observer)(event);
        }
    }

private:
    struct Entry {
        Token token;
        std::shared_ptr<const Observer> observer;
    };

    std::vector<Entry> entries_;  // in the order added; tokens ascending
    Token nextToken_ = 1;
};

}  // namespace sonavista
