#pragma once

#include "base/MainQueue.h"

#include <functional>
#include <memory>
#include <utility>

namespace sonavista {

// Returns a callback, callable from any thread, that copies its value into a closure posted
// to `queue`. On the main thread the closure calls `deliver(owner, value)` if the owner
// still exists, and otherwise drops the value. The closure holds the owner weakly.
// `queue` must outlive the returned callback and everything it posts.
//
//   hooks.publish = mainQueueHandOff<AudioVisualizationFrame>(queue, weakSelf,
//       [](Monitor& monitor, const AudioVisualizationFrame& frame) { monitor.frameDidChange(frame); });
template <typename Value, typename Owner, typename Deliver>
std::function<void(const Value&)> mainQueueHandOff(MainQueue& queue, std::weak_ptr<Owner> owner, Deliver deliver) {
    return [&queue, owner = std::move(owner), deliver = std::move(deliver)](const Value& value) {
        queue.post([owner, deliver, value] {
            if (auto strong = owner.lock()) {
                deliver(*strong, value);
            }
        });
    };
}

}  // namespace sonavista
