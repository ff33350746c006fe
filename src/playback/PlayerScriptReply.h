#pragma once

#include <optional>
#include <string>
#include <utility>

namespace sonavista {

// What a scriptable player answered to the state query. An answer carries the result text
// ("playing|57": state word, "|", the player's own volume from 0 to 100), absent when the
// result had no text. A failure carries the error number when one was given.
struct PlayerScriptReply {
    enum class Kind { answer, failure };

    // Error numbers that mean the user has not allowed the query.
    static constexpr int notPermittedErrorNumber = -1743;
    static constexpr int notAuthorizedErrorNumber = -10004;

    Kind kind = Kind::failure;
    std::optional<std::string> text;
    std::optional<int> errorNumber;

    static PlayerScriptReply answer(std::optional<std::string> text) {
        return {Kind::answer, std::move(text), std::nullopt};
    }
    static PlayerScriptReply failure(std::optional<int> errorNumber = std::nullopt) {
        return {Kind::failure, std::nullopt, errorNumber};
    }
};

}  // namespace sonavista
