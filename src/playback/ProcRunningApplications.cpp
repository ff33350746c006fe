#include "playback/ProcRunningApplications.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace sonavista {

namespace {

constexpr std::size_t maxFileBytes = 16 * 1024;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::optional<std::string> readSmallFile(int directory, const std::string& path) {
    FileDescriptor fd(::openat(directory, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        return std::nullopt;
    }
    std::string text;
    std::array<char, 4096> buffer;
    while (text.size() < maxFileBytes) {
        ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return text;
}

std::optional<std::int32_t> parsePid(const char* name) {
    std::int64_t value = 0;
    if (*name == '\0') {
        return std::nullopt;
    }
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (*c - '0');
        if (value > INT32_MAX) {
            return std::nullopt;
        }
    }
    if (value < 1) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The id inside "app-flatpak-<id>-<number>.scope" (the number may be missing).
std::optional<std::string> flatpakIdFromUnit(std::string_view unit) {
    constexpr std::string_view prefix = "app-flatpak-";
    if (!unit.starts_with(prefix)) {
        return std::nullopt;
    }
    unit.remove_prefix(prefix.size());
    if (auto dot = unit.rfind(".scope"); dot != std::string_view::npos && dot + 6 == unit.size()) {
        unit.remove_suffix(6);
    }
    if (auto dash = unit.rfind('-'); dash != std::string_view::npos && dash + 1 < unit.size() &&
                                     unit.find_first_not_of("0123456789", dash + 1) == std::string_view::npos) {
        unit = unit.substr(0, dash);
    }
    if (unit.empty()) {
        return std::nullopt;
    }
    return std::string(unit);
}

// The name inside "snap.<name>.<app>...".
std::optional<std::string> snapNameFromUnit(std::string_view unit) {
    constexpr std::string_view prefix = "snap.";
    if (!unit.starts_with(prefix)) {
        return std::nullopt;
    }
    unit.remove_prefix(prefix.size());
    auto dot = unit.find('.');
    if (dot == std::string_view::npos || dot == 0) {
        return std::nullopt;
    }
    return std::string(unit.substr(0, dot));
}

}  // namespace

ProcRunningApplications::ProcRunningApplications(std::string procRoot)
    : ProcRunningApplications(std::move(procRoot), ::getuid()) {}

ProcRunningApplications::ProcRunningApplications(std::string procRoot, uid_t user)
    : procRoot_(std::move(procRoot)), user_(user) {}

std::vector<RunningApplication> ProcRunningApplications::runningApplications() {
    std::vector<RunningApplication> applications;
    DIR* directory = ::opendir(procRoot_.c_str());
    if (directory == nullptr) {
        known_.clear();
        return applications;
    }
    KnownList seen;
    seen.reserve(known_.size() + 16);
    int fd = ::dirfd(directory);
    while (dirent* entry = ::readdir(directory)) {
        auto pid = parsePid(entry->d_name);
        if (!pid) {
            continue;
        }
        if (auto application = readProcess(fd, *pid, entry->d_ino, seen)) {
            applications.push_back(std::move(*application));
        }
    }
    ::closedir(directory);
    // /proc lists processes in ascending order, so this rarely sorts anything.
    const auto byPid = [](const Known& a, const Known& b) { return a.pid < b.pid; };
    if (!std::is_sorted(seen.begin(), seen.end(), byPid)) {
        std::sort(seen.begin(), seen.end(), byPid);
    }
    // Only processes still present are remembered, so a reused process id starts afresh.
    known_ = std::move(seen);
    return applications;
}

std::optional<RunningApplication> ProcRunningApplications::application(std::int32_t processIdentifier) {
    if (processIdentifier < 1) {
        return std::nullopt;
    }
    FileDescriptor directory(::open(procRoot_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) {
        return std::nullopt;
    }
    KnownList seen;
    auto application = readProcess(directory.get(), processIdentifier, 0, seen);
    if (!seen.empty()) {
        if (Known* known = remembered(processIdentifier)) {
            *known = std::move(seen.front());
        } else {
            const auto at = std::lower_bound(known_.begin(), known_.end(), processIdentifier,
                                             [](const Known& k, std::int32_t pid) { return k.pid < pid; });
            known_.insert(at, std::move(seen.front()));
        }
    }
    return application;
}

ProcRunningApplications::Known* ProcRunningApplications::remembered(std::int32_t pid) {
    const auto at = std::lower_bound(known_.begin(), known_.end(), pid,
                                     [](const Known& k, std::int32_t p) { return k.pid < p; });
    return at != known_.end() && at->pid == pid ? &*at : nullptr;
}

std::optional<RunningApplication> ProcRunningApplications::readProcess(int procDirectory, std::int32_t pid,
                                                                       ino_t listedInode, KnownList& seen) {
    Known* remembered = this->remembered(pid);
    // Moves a remembered entry on to the new list; the old slot can no longer match.
    const auto keep = [&](Known& known) {
        known.listedInode = listedInode;
        seen.push_back(std::move(known));
        remembered->inode = 0;
        remembered->listedInode = 0;
    };
    std::array<char, 32> path{};
    char* const pidEnd = std::to_chars(path.data(), path.data() + 16, pid).ptr;
    std::array<char, 4096> target;
    const auto readExecutable = [&]() -> std::optional<std::string_view> {
        std::memcpy(pidEnd, "/exe", 5);
        const ssize_t length = ::readlinkat(procDirectory, path.data(), target.data(), target.size());
        *pidEnd = '\0';
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
            return std::nullopt;
        }
        return std::string_view(target.data(), static_cast<std::size_t>(length));
    };
    if (remembered != nullptr && listedInode != 0 && remembered->listedInode == listedInode) {
        // The same /proc entry as at the last scan, so the same process with the same owner:
        // only an execve can have changed it, and that changes the executable link.
        if (remembered->executable.empty()) {
            keep(*remembered);
            return std::nullopt;
        }
        if (const auto executable = readExecutable(); executable && *executable == remembered->executable) {
            keep(*remembered);
            const Known& known = seen.back();
            return RunningApplication{pid, known.bundleIdentifier, executableBaseName(known.executable)};
        }
    }
    struct stat status {};
    if (::fstatat(procDirectory, path.data(), &status, 0) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != user_) {
        return std::nullopt;
    }
    if (remembered != nullptr && remembered->inode == status.st_ino && remembered->executable.empty()) {
        keep(*remembered);
        return std::nullopt;
    }
    errno = 0;
    const auto read = readExecutable();
    if (!read) {
        if (errno == ENOENT) {
            seen.push_back(Known{pid, status.st_ino, listedInode, std::string(), std::nullopt});
        }
        return std::nullopt;  // kernel threads, zombies, processes we may not inspect
    }
    const std::string_view executable = *read;

    if (remembered != nullptr && remembered->inode == status.st_ino && remembered->executable == executable) {
        keep(*remembered);
    } else {
        seen.push_back(Known{pid, status.st_ino, listedInode, std::string(executable),
                             readBundleIdentifier(procDirectory, std::string(path.data()))});
    }
    const Known& known = seen.back();
    return RunningApplication{pid, known.bundleIdentifier, executableBaseName(known.executable)};
}

std::optional<std::string> ProcRunningApplications::readBundleIdentifier(int procDirectory,
                                                                         const std::string& pidText) {
    if (auto info = readSmallFile(procDirectory, pidText + "/root/.flatpak-info")) {
        if (auto id = flatpakIdFromInfo(*info)) {
            return id;
        }
    }
    if (auto cgroup = readSmallFile(procDirectory, pidText + "/cgroup")) {
        return applicationIdFromCgroup(*cgroup);
    }
    return std::nullopt;
}

std::optional<std::string> ProcRunningApplications::flatpakIdFromInfo(std::string_view info) {
    bool inApplication = false;
    while (!info.empty()) {
        auto end = info.find('\n');
        auto line = trim(info.substr(0, end));
        info = end == std::string_view::npos ? std::string_view{} : info.substr(end + 1);
        if (line.starts_with('[')) {
            inApplication = line == "[Application]";
            continue;
        }
        if (!inApplication) {
            continue;
        }
        auto equals = line.find('=');
        if (equals != std::string_view::npos && trim(line.substr(0, equals)) == "name") {
            auto value = trim(line.substr(equals + 1));
            if (!value.empty()) {
                return std::string(value);
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> ProcRunningApplications::applicationIdFromCgroup(std::string_view cgroup) {
    // Each line is "hierarchy:controllers:path"; look at every path component.
    while (!cgroup.empty()) {
        auto end = cgroup.find('\n');
        auto line = cgroup.substr(0, end);
        cgroup = end == std::string_view::npos ? std::string_view{} : cgroup.substr(end + 1);
        auto colon = line.find(':');
        colon = colon == std::string_view::npos ? colon : line.find(':', colon + 1);
        if (colon == std::string_view::npos) {
            continue;
        }
        auto path = line.substr(colon + 1);
        while (!path.empty()) {
            auto slash = path.find('/');
            auto component = path.substr(0, slash);
            path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
            if (auto id = flatpakIdFromUnit(component)) {
                return id;
            }
            if (auto name = snapNameFromUnit(component)) {
                return name;
            }
        }
    }
    return std::nullopt;
}

std::string ProcRunningApplications::executableBaseName(std::string_view target) {
    constexpr std::string_view deleted = " (deleted)";
    if (target.ends_with(deleted)) {
        target.remove_suffix(deleted.size());
    }
    auto slash = target.rfind('/');
    return std::string(slash == std::string_view::npos ? target : target.substr(slash + 1));
}

}  // namespace sonavista
