#pragma once

#include "playback/RunningApplication.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sonavista {

// The user's running applications.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    virtual std::vector<RunningApplication> runningApplications() = 0;
    // The running application with this process identifier, or nothing.
    virtual std::optional<RunningApplication> application(std::int32_t processIdentifier) = 0;
};

}  // namespace sonavista
