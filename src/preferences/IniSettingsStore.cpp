#include "preferences/IniSettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "preferences/SettingsFileFormat.h"

namespace sonavista {
namespace {

QString toQString(const std::string& text) {
    return QString::fromStdString(text);
}

struct FileRead {
    enum class Status { missing, read, failed };
    Status status = Status::missing;
    std::string bytes;
    bool truncated = false;  // the file goes on past the size limit
    std::string error;       // why it could not be read
};

// Reads at most `limit` bytes of the file, cut after the last whole line when it is longer.
// Opened without blocking, so a FIFO in its place cannot hang the launch.
FileRead readFile(const std::string& path, std::size_t limit) {
    FileRead result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        struct stat link {};
        // A dangling symbolic link is something the user put there: left alone like the rest.
        if (error == ENOENT && ::lstat(path.c_str(), &link) != 0) return result;
        result.status = FileRead::Status::failed;
        result.error = std::strerror(error);
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
        ::close(fd);
        result.status = FileRead::Status::failed;
        result.error = "not a regular file";
        return result;
    }
    char chunk[64 * 1024];
    while (result.bytes.size() <= limit) {
        const ssize_t got = ::read(fd, chunk, sizeof(chunk));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            result.status = FileRead::Status::failed;
            result.error = std::strerror(errno);  // a folder answers "Is a directory"
            ::close(fd);
            return result;
        }
        if (got == 0) break;
        result.bytes.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    result.status = FileRead::Status::read;
    if (result.bytes.size() > limit) {
        result.truncated = true;
        const std::size_t lastNewline = result.bytes.rfind('\n', limit - 1);
        result.bytes.resize(lastNewline == std::string::npos ? 0 : lastNewline + 1);
    }
    return result;
}

std::string utcTimestamp() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof(text), "%Y%m%d-%H%M%S", &parts);
    return text;
}

}  // namespace

IniSettingsStore::IniSettingsStore(std::string filePath) : filePath_(std::move(filePath)) {
    load();
}

std::string IniSettingsStore::defaultFilePath() {
    // Relative values of XDG_CONFIG_HOME are invalid and ignored, as the base-directory rules say.
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return (configHome + QStringLiteral("/Sonavista/Sonavista.conf")).toStdString();
}

std::shared_ptr<IniSettingsStore> IniSettingsStore::openDefault() {
    return std::make_shared<IniSettingsStore>(defaultFilePath());
}

void IniSettingsStore::load() {
    const FileRead file = readFile(filePath_, maximumFileSize);
    if (file.status == FileRead::Status::failed) {
        loadOutcome_ = LoadOutcome::unreadable;
        readError_ = file.error;
        loadNotice_ = "The settings file " + filePath_ + " could not be read (" + readError_ +
                      "), so it is left as it is and the settings start from their defaults; changes are "
                      "not saved until it can be read.";
        return;
    }
    // Values assigned while the file could not be read stay on top of what it holds.
    SettingsMap assigned = std::move(values_);
    values_.clear();
    loadOutcome_ = LoadOutcome::missing;
    loadNotice_.reset();
    if (file.status == FileRead::Status::read) {
        auto parsed = SettingsFileFormat::parse(file.bytes);
        values_ = std::move(parsed.values);
        const std::size_t dropped = parsed.droppedLines + (file.truncated ? 1 : 0);
        loadOutcome_ = dropped == 0 ? LoadOutcome::loaded : LoadOutcome::repaired;
        if (dropped > 0) {
            backupPending_ = true;
            const std::string lines = dropped == 1 ? "1 line" : std::to_string(dropped) + " lines";
            loadNotice_ = lines + " of the settings file " + filePath_ + " could not be read and " +
                          (dropped == 1 ? "was" : "were") + " left out; ";
            if (!keepBackup()) {
                *loadNotice_ += "it is not saved over until a copy of it can be kept (" + backupError_ + ").";
            } else if (!backupPath_.empty()) {
                *loadNotice_ += "the file as it was is kept as " + backupPath_ + ".";
            }
        }
    }
    for (auto& [key, value] : assigned) values_.insert_or_assign(key, std::move(value));
}

const SettingsValue* IniSettingsStore::find(std::string_view key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}

bool IniSettingsStore::hasObject(std::string_view key) const {
    return find(key) != nullptr;
}

bool IniSettingsStore::boolValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value != nullptr && settingsBoolValue(*value);
}

std::optional<std::string> IniSettingsStore::stringValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value ? settingsStringValue(*value) : std::nullopt;
}

std::optional<double> IniSettingsStore::numberValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value ? settingsNumberValue(*value) : std::nullopt;
}

std::optional<std::vector<std::string>> IniSettingsStore::stringArrayValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value ? settingsStringArrayValue(*value) : std::nullopt;
}

void IniSettingsStore::setBool(std::string_view key, bool value) {
    store(key, value);
}

void IniSettingsStore::setString(std::string_view key, std::string_view value) {
    store(key, std::string(value));
}

void IniSettingsStore::setStringArray(std::string_view key, const std::vector<std::string>& value) {
    store(key, value);
}

void IniSettingsStore::store(std::string_view key, SettingsValue value) {
    values_.insert_or_assign(std::string(key), std::move(value));
    if (loadOutcome_ == LoadOutcome::unreadable) {
        load();  // perhaps it can be read now (permissions repaired, the disk back)
        if (loadOutcome_ == LoadOutcome::unreadable) {
            lastWriteError_ = "Could not save the settings to " + filePath_ + ": the file there could not be read (" +
                              readError_ + "), so it is left as it is.";
            return;
        }
    }
    lastWriteError_ = writeFile();
}

// Copies the file as it is now to a new name beside it; never replaces an earlier copy.
bool IniSettingsStore::keepBackup() {
    namespace fs = std::filesystem;
    const std::string stem = filePath_ + ".bak-" + utcTimestamp();
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string target = attempt == 1 ? stem : stem + "." + std::to_string(attempt);
        std::error_code error;
        // Without overwrite options the copy is created exclusively: an existing name fails.
        if (fs::copy_file(filePath_, target, fs::copy_options::none, error)) {
            backupPath_ = target;
            backupPending_ = false;
            return true;
        }
        if (error == std::errc::file_exists) continue;
        if (error == std::errc::no_such_file_or_directory && !fs::exists(fs::symlink_status(filePath_))) {
            backupPending_ = false;  // gone in the meantime: nothing left to keep
            return true;
        }
        backupError_ = error.message();
        return false;
    }
    backupError_ = "no free name for the copy";
    return false;
}

std::optional<std::string> IniSettingsStore::writeFile() {
    const std::string failure = "Could not save the settings to " + filePath_;
    if (backupPending_ && !keepBackup()) {
        return failure + ": a copy of the file as it was could not be kept beside it (" + backupError_ + ").";
    }
    const QString path = toQString(filePath_);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return failure + ": the folder " + folder.toStdString() + " could not be created.";
    }
    QSaveFile file(path);
    const std::string text = SettingsFileFormat::serialize(values_);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit()) {
        const std::string reason = file.errorString().toStdString();
        file.cancelWriting();
        return failure + ": " + reason + ".";
    }
    return std::nullopt;
}

}  // namespace sonavista
