#pragma once

#include <memory>
#include <utility>

namespace sonavista {

// Wraps `function(Owner&, args...)` into a callable that holds its owner weakly:
// calling it after the owner is gone does nothing.
template <typename Owner, typename Function>
auto weakCallback(const std::shared_ptr<Owner>& owner, Function function) {
    return [weak = std::weak_ptr<Owner>(owner), function = std::move(function)](auto&&... args) {
        if (auto strong = weak.lock()) {
            function(*strong, std::forward<decltype(args)>(args)...);
        }
    };
}

template <typename Owner, typename Function>
auto weakCallback(const std::weak_ptr<Owner>& owner, Function function) {
    return [weak = owner, function = std::move(function)](auto&&... args) {
        if (auto strong = weak.lock()) {
            function(*strong, std::forward<decltype(args)>(args)...);
        }
    };
}

}  // namespace sonavista
