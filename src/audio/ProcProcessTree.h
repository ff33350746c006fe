#pragma once

#include "audio/ProcessTree.h"

#include <string>
#include <string_view>

namespace sonavista {

// The process table read from a /proc tree (injectable for tests): the parent from
// /proc/PID/stat, the executable's base name from the /proc/PID/exe link. A process of another
// user whose link cannot be read has no executable name here. Thread-safe (keeps no state).
class ProcProcessTree final : public ProcessTree {
public:
    explicit ProcProcessTree(std::string procRoot = "/proc") : procRoot_(std::move(procRoot)) {}

    std::optional<std::int32_t> parentOf(std::int32_t processIdentifier) const override;
    std::optional<std::string> executableName(std::int32_t processIdentifier) const override;

    // The parent process id in the text of a /proc/PID/stat file: the fourth field, counted
    // after the command name's closing parenthesis (the name itself may hold spaces and ')').
    static std::optional<std::int32_t> parentFromStat(std::string_view stat);

private:
    std::string procRoot_;
};

}  // namespace sonavista
