#include "audio/ProcProcessTree.h"

#include "playback/ProcRunningApplications.h"

#include <unistd.h>

#include <array>
#include <charconv>
#include <fstream>
#include <iterator>

namespace sonavista {

std::optional<std::int32_t> ProcProcessTree::parentFromStat(std::string_view stat) {
    const auto close = stat.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = stat.substr(close + 1);  // " S 1234 ..."
    for (int field = 0; field < 2; ++field) {
        const auto start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) return std::nullopt;
        rest = rest.substr(start);
        if (field == 1) break;
        const auto end = rest.find(' ');
        if (end == std::string_view::npos) return std::nullopt;
        rest = rest.substr(end);
    }
    std::int32_t parent = 0;
    const auto [last, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parent);
    if (error != std::errc{} || last == rest.data()) return std::nullopt;
    return parent;
}

std::optional<std::int32_t> ProcProcessTree::parentOf(std::int32_t processIdentifier) const {
    if (processIdentifier <= 0) return std::nullopt;
    std::ifstream file(procRoot_ + "/" + std::to_string(processIdentifier) + "/stat");
    if (!file) return std::nullopt;
    const std::string stat{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return parentFromStat(stat);
}

std::optional<std::string> ProcProcessTree::executableName(std::int32_t processIdentifier) const {
    if (processIdentifier <= 0) return std::nullopt;
    const std::string link = procRoot_ + "/" + std::to_string(processIdentifier) + "/exe";
    std::array<char, 4096> target{};
    const ssize_t length = readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
    return ProcRunningApplications::executableBaseName(std::string_view(target.data(), static_cast<std::size_t>(length)));
}

}  // namespace sonavista
