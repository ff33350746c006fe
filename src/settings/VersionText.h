#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sonavista {

// The about box's version line: "Version 1.2 (Build 7)". A missing or empty part is written
// as "-", e.g. "Version 1.2 (Build -)".
std::string versionText(std::optional<std::string_view> version, std::optional<std::string_view> build);

// The version line of this build, from the version and build number compiled in.
std::string compiledVersionText();

}  // namespace sonavista
