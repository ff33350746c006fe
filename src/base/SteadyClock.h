#pragma once

#include "base/Clock.h"

#include <chrono>

namespace sonavista {

// Monotonic seconds since an unspecified point (system boot on Linux), always > 0 in practice.
class SteadyClock final : public Clock {
public:
    double now() const override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
};

}  // namespace sonavista
