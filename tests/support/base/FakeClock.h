#pragma once

#include "base/Clock.h"

#include <atomic>

namespace sonavista {

// A clock that tests set by hand; safe to read from other threads.
class FakeClock final : public Clock {
public:
    explicit FakeClock(double start = 1.0) : now_(start) {}
    double now() const override { return now_.load(); }
    void set(double seconds) { now_.store(seconds); }
    void advance(double seconds) { now_.store(now_.load() + seconds); }

private:
    std::atomic<double> now_;
};

}  // namespace sonavista
