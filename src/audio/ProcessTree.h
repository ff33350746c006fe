#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sonavista {

// Port to the system's process table, for relating a stream's process to a player's.
class ProcessTree {
public:
    virtual ~ProcessTree() = default;
    // The parent of a live process; nothing when the process does not exist (here).
    virtual std::optional<std::int32_t> parentOf(std::int32_t processIdentifier) const = 0;
    // The executable base name of a live process; nothing when it does not exist or is hidden.
    virtual std::optional<std::string> executableName(std::int32_t processIdentifier) const = 0;
};

}  // namespace sonavista
