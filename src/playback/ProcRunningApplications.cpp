#include "playback/ProcRunningApplications.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

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
    std::map<std::int32_t, Known> seen;
    int fd = ::dirfd(directory);
    while (dirent* entry = ::readdir(directory)) {
        auto pid = parsePid(entry->d_name);
        if (!pid) {
            continue;
        }
        if (auto application = readProcess(fd, *pid, seen)) {
            applications.push_back(std::move(*application));
        }
    }
    ::closedir(directory);
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
    std::map<std::int32_t, Known> seen;
    auto application = readProcess(directory.get(), processIdentifier, seen);
    if (auto found = seen.find(processIdentifier); found != seen.end()) {
        known_.insert_or_assign(processIdentifier, std::move(found->second));
    }
    return application;
}

std::optional<RunningApplication> ProcRunningApplications::readProcess(int procDirectory, std::int32_t pid,
                                                                       std::map<std::int32_t, Known>& seen) {
    std::string pidText = std::to_string(pid);
    struct stat status {};
    if (::fstatat(procDirectory, pidText.c_str(), &status, 0) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != user_) {
        return std::nullopt;
    }
    auto remembered = known_.find(pid);
    if (remembered != known_.end() && remembered->second.inode == status.st_ino &&
        remembered->second.executable.empty()) {
        seen.insert_or_assign(pid, remembered->second);
        return std::nullopt;
    }
    std::array<char, 4096> target;
    ssize_t length = ::readlinkat(procDirectory, (pidText + "/exe").c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
        if (length < 0 && errno == ENOENT) {
            seen.insert_or_assign(pid, Known{status.st_ino, std::string(), std::nullopt});
        }
        return std::nullopt;  // kernel threads, zombies, processes we may not inspect
    }
    std::string executable(target.data(), static_cast<std::size_t>(length));

    Known known;
    if (remembered != known_.end() && remembered->second.inode == status.st_ino &&
        remembered->second.executable == executable) {
        known = remembered->second;
    } else {
        known = Known{status.st_ino, executable, readBundleIdentifier(procDirectory, pidText)};
    }
    RunningApplication application{pid, known.bundleIdentifier, executableBaseName(executable)};
    seen.insert_or_assign(pid, std::move(known));
    return application;
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
