#pragma once

#include "base/Clock.h"

#include <chrono>

namespace sonavista {

// Wall-clock seconds since 1970-01-01 00:00:00 UTC.
class WallClock final : public Clock {
public:
    double now() const override {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    }
};

}  // namespace sonavista
