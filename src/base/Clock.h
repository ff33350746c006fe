#pragma once

namespace sonavista {

// A source of time in seconds. Monotonic clocks count from an arbitrary origin
// (0 stands for "never" where the analysis keeps times); wall clocks count from the
// Unix epoch.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

}  // namespace sonavista
