#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>

namespace sonavista::testing {

using Env = std::map<std::string, std::string>;

// A fresh temporary directory, removed with everything in it when the object goes away.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "sonavista-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // An environment that keeps programs away from the user's files and session services: PATH
    // kept, home and XDG directories below this one (runtime private, as services insist).
    Env isolatedEnv() const {
        Env env = {{"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"}, {"LANG", "C.UTF-8"}};
        for (const auto& [variable, dir] : {std::pair{"HOME", "home"},
                                            {"XDG_RUNTIME_DIR", "run"},
                                            {"XDG_CONFIG_HOME", "config"},
                                            {"XDG_DATA_HOME", "data"},
                                            {"XDG_CACHE_HOME", "cache"}}) {
            std::filesystem::create_directories(path_ / dir);
            env[variable] = (path_ / dir).string();
        }
        std::filesystem::permissions(path_ / "run", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        return env;
    }

private:
    std::filesystem::path path_;
};

// The whole content of a file, empty if it cannot be read.
inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes `text` as the whole content of a file, creating its directory first.
inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace sonavista::testing
