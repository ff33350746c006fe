#pragma once

#include <algorithm>
#include <optional>

namespace sonavista {

// The ripple's running time: each rendered frame moves it on by the frame's interval times
// that frame's motion rate, so a rate that changes every frame changes the ripple's speed
// smoothly instead of its position (time × rate would jump with every change of rate).
class MotionPhase {
public:
    // Advances to `now` (seconds on a monotonic clock) at `rate` and returns the phase time.
    double advance(double now, double rate) {
        if (last_) value_ += std::max(now - *last_, 0.0) * rate;
        last_ = now;
        return value_;
    }
    double value() const { return value_; }

private:
    double value_ = 0.0;
    std::optional<double> last_;
};

}  // namespace sonavista
