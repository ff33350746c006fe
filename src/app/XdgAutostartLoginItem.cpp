#include "app/XdgAutostartLoginItem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace sonavista {

namespace {

constexpr const char* entryFileName = "sonavista.desktop";

std::string describe(const std::string& what, const std::filesystem::path& path, int error) {
    return what + " \"" + path.string() + "\": " + std::strerror(error) + ".";
}

// Writes all of `text` to `fd` and flushes it to the disk; answers errno or 0.
int writeAndSync(int fd, const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

// Whether a key=value line of the main group turns the entry off.
bool disablesEntry(const std::string& line) {
    auto value = [&](const char* key) -> std::optional<std::string> {
        const std::size_t keyLength = std::strlen(key);
        if (line.compare(0, keyLength, key) != 0) return std::nullopt;
        std::size_t at = keyLength;
        while (at < line.size() && line[at] == ' ') ++at;
        if (at >= line.size() || line[at] != '=') return std::nullopt;
        ++at;
        while (at < line.size() && line[at] == ' ') ++at;
        std::string rest = line.substr(at);
        while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r')) rest.pop_back();
        return rest;
    };
    return value("Hidden") == "true" || value("X-GNOME-Autostart-enabled") == "false";
}

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(std::filesystem::path configHome, std::filesystem::path executable)
    : entryPath_(std::move(configHome) / "autostart" / entryFileName), executable_(std::move(executable)) {}

std::optional<std::filesystem::path> XdgAutostartLoginItem::configHomeFromEnvironment() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        return std::filesystem::path(config);
    }
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        return std::filesystem::path(home) / ".config";
    }
    return std::nullopt;
}

bool XdgAutostartLoginItem::isEnabled() const {
    std::error_code error;
    if (!std::filesystem::is_regular_file(entryPath_, error)) return false;
    std::ifstream in(entryPath_);
    if (!in) return false;
    // Only the main group counts; keys of action groups say nothing about autostart.
    bool inMainGroup = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '[') {
            inMainGroup = line.rfind("[Desktop Entry]", 0) == 0;
        } else if (inMainGroup && disablesEntry(line)) {
            return false;
        }
    }
    return true;
}

std::string XdgAutostartLoginItem::execValue(const std::filesystem::path& executable) {
    // Inside double quotes the command line needs `"`, `` ` ``, `$` and `\` escaped with a
    // backslash; the desktop-entry string layer then doubles every backslash again.
    std::string quoted = "\"";
    for (char c : executable.string()) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        if (c == '\\') value += '\\';
        value += c;
    }
    // A literal percent sign is a field code unless doubled.
    std::string result;
    for (char c : value) {
        if (c == '%') result += '%';
        result += c;
    }
    return result;
}

std::string XdgAutostartLoginItem::entryText() const {
    std::ostringstream text;
    text << "[Desktop Entry]\n"
         << "Type=Application\n"
         << "Name=Sonavista\n"
         << "Comment=Live waveform of the playing music over the desktop\n"
         // Started at login, the application goes quietly into the tray.
         << "Exec=" << execValue(executable_) << " " << autostartArgument << "\n"
         << "Icon=sonavista\n"
         << "Terminal=false\n"
         << "X-GNOME-Autostart-enabled=true\n";
    return text.str();
}

std::optional<std::string> XdgAutostartLoginItem::registerItem() {
    const std::filesystem::path folder = entryPath_.parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return describe("Could not create the folder", folder, error.value());

    std::string temporary = (folder / ".sonavista.desktop.XXXXXX").string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return describe("Could not write in the folder", folder, errno);
    ::fchmod(fd, 0644);
    const int writeError = writeAndSync(fd, entryText());
    const int closeError = ::close(fd) == 0 ? 0 : errno;
    if (writeError != 0 || closeError != 0) {
        ::unlink(temporary.c_str());
        return describe("Could not write the file", entryPath_, writeError != 0 ? writeError : closeError);
    }
    if (::rename(temporary.c_str(), entryPath_.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.c_str());
        return describe("Could not replace the file", entryPath_, renameError);
    }
    // Make the rename itself durable.
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

std::optional<std::string> XdgAutostartLoginItem::unregisterItem() {
    if (::unlink(entryPath_.c_str()) != 0 && errno != ENOENT) {
        return describe("Could not remove the file", entryPath_, errno);
    }
    return std::nullopt;
}

}  // namespace sonavista
