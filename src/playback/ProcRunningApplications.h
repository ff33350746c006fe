#pragma once

#include "playback/RunningApplications.h"

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sonavista {

// The user's running applications, read from a /proc tree (injectable for tests).
// A process counts when its /proc entry belongs to the user and its executable link can be
// read. `localizedName` is the executable's base name (the full name, unlike the truncated
// `comm`); `bundleIdentifier` is the Flatpak application id or the Snap name when the process
// runs in one, else absent.
//
// What a process's sandbox is cannot change while it runs the same executable, so that part
// is remembered per process and only the cheap checks (owner, executable) are repeated.
// A process without an executable (a kernel thread or a zombie) never gains one, so it is
// skipped until its /proc entry goes.
// Not thread-safe: use it from one thread.
class ProcRunningApplications final : public RunningApplications {
public:
    explicit ProcRunningApplications(std::string procRoot = "/proc");
    ProcRunningApplications(std::string procRoot, uid_t user);

    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> application(std::int32_t processIdentifier) override;

    // "[Application]" section's "name" of a .flatpak-info file.
    static std::optional<std::string> flatpakIdFromInfo(std::string_view info);
    // The Flatpak id of an "app-flatpak-<id>-<n>.scope" unit or the Snap name of a
    // "snap.<name>.<app>..." unit found in a /proc/PID/cgroup text.
    static std::optional<std::string> applicationIdFromCgroup(std::string_view cgroup);
    // Base name of an executable link target, without the " (deleted)" mark of a replaced file.
    static std::string executableBaseName(std::string_view target);

private:
    struct Known {
        ino_t inode;
        std::string executable;  // empty for a process without an executable (kernel thread, zombie)
        std::optional<std::string> bundleIdentifier;
    };

    std::optional<RunningApplication> readProcess(int procDirectory, std::int32_t pid,
                                                  std::map<std::int32_t, Known>& seen);
    std::optional<std::string> readBundleIdentifier(int procDirectory, const std::string& pidText);

    std::string procRoot_;
    uid_t user_;
    std::map<std::int32_t, Known> known_;
};

}  // namespace sonavista
