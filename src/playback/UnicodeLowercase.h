#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sonavista {

// Full Unicode lower-casing of UTF-8 text, independent of the process locale. Every code point
// with a lower-case mapping is mapped (including U+0130, which becomes "i" + U+0307). Bytes that
// are not valid UTF-8 are copied unchanged.
std::string unicodeLowercased(std::string_view utf8);

// The simple lower-case mapping of one code point (itself when it has none).
char32_t unicodeLowercaseCodePoint(char32_t codePoint);

}  // namespace sonavista
