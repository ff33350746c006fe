#pragma once

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

    void notify(Event event) const {
        if (entries_.empty()) return;
        const std::vector<Entry> round = entries_;
        for (const Entry& entry : round) {
            if (contains(entry.token)) (*entry.observer)(event);
        }
    }

private:
    struct Entry {
        Token token;
        std::shared_ptr<const Observer> observer;  // shared, so a removed observer outlives its call
    };

    bool contains(Token token) const {
        for (const Entry& entry : entries_) {
            if (entry.token == token) return true;
        }
        return false;
    }

    std::vector<Entry> entries_;  // in the order added; tokens ascending
    Token nextToken_ = 1;
};

}  // namespace sonavista
