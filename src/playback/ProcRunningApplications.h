#pragma once

#include "playback/RunningApplications.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonavista {

// The user's running applications, read from a /proc tree (injectable for tests).
// A process counts when its /proc entry belongs to the user and its executable link can be
// read. `localizedName` is the executable's base name (the full name, unlike the truncated
// `comm`); `bundleIdentifier` is the Flatpak application id or the Snap name when the process
// runs in one, else absent.
//
// What a process's sandbox is cannot change while it runs the same executable, so that part
// is remembered per process. While the directory listing gives a process's entry under the
// same inode number, only its executable link is read again (an execve keeps the entry); the
// owner is checked when the entry is new or its executable changed. A process without an
// executable (a kernel thread or a zombie) never gains one, so its entry costs no system call
// until it goes.
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
        std::int32_t pid = 0;
        ino_t inode = 0;         // of the /proc/PID directory
        ino_t listedInode = 0;   // as the directory listing gave it (0: not from a listing)
        std::string executable;  // empty for a process without an executable (kernel thread, zombie)
        std::optional<std::string> bundleIdentifier;
    };
    using KnownList = std::vector<Known>;  // sorted by pid

    std::optional<RunningApplication> readProcess(int procDirectory, std::int32_t pid, ino_t listedInode,
                                                  KnownList& seen);
    std::optional<std::string> readBundleIdentifier(int procDirectory, const std::string& pidText);
    Known* remembered(std::int32_t pid);

    std::string procRoot_;
    uid_t user_;
    // What the last scan found; entries are moved into the next scan's list as it meets them.
    KnownList known_;
};

}  // namespace sonavista
