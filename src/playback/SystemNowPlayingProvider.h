#pragma once

#include "playback/SystemNowPlayingSnapshot.h"

#include <functional>
#include <optional>

namespace sonavista {

// The desktop's now-playing service. `fetch` never blocks: its completion runs exactly once,
// on the main queue, at most 0.35 s later, with an answer or with nothing.
class SystemNowPlayingProvider {
public:
    using Completion = std::function<void(std::optional<SystemNowPlayingSnapshot>)>;

    virtual ~SystemNowPlayingProvider() = default;
    virtual void fetch(Completion completion) = 0;
};

}  // namespace sonavista
