#include "settings/VersionText.h"

namespace sonavista {
namespace {

std::string_view orDash(std::optional<std::string_view> part) {
    return part && !part->empty() ? *part : std::string_view("-");
}

}  // namespace

std::string versionText(std::optional<std::string_view> version, std::optional<std::string_view> build) {
    std::string text = "Version ";
    text += orDash(version);
    text += " (Build ";
    text += orDash(build);
    text += ")";
    return text;
}

std::string compiledVersionText() {
#ifdef SONAVISTA_VERSION
    const std::optional<std::string_view> version = SONAVISTA_VERSION;
#else
    const std::optional<std::string_view> version;
#endif
#ifdef SONAVISTA_BUILD
    const std::optional<std::string_view> build = SONAVISTA_BUILD;
#else
    const std::optional<std::string_view> build;
#endif
    return versionText(version, build);
}

}  // namespace sonavista
