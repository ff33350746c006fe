#pragma once

#include <string>
#include <string_view>

namespace sonavista {

// Lower-cases the ASCII letters A-Z and leaves every other byte alone, whatever the locale.
// Enough wherever the text is matched against ASCII words (bus names, hosts, header names,
// state words, player names): no other character lower-cases onto those words.
inline std::string asciiLowercased(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

}  // namespace sonavista
