#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sonavista {

// One running application of the user, as far as player resolution needs it.
struct RunningApplication {
    std::int32_t processIdentifier = 0;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

}  // namespace sonavista
