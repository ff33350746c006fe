#pragma once

#include <cstddef>
#include <string>
#include <variant>

namespace sonavista {

// Command line of sonavista-analyze: `FILE [--block-frames N]`.
struct AnalyzeOptions {
    static constexpr std::size_t defaultBlockFrames = 480;
    // Larger blocks are refused: a block is held in memory whole.
    static constexpr std::size_t maximumBlockFrames = 1 << 20;

    std::string file;
    std::size_t blockFrames = defaultBlockFrames;
    bool help = false;

    struct Error {
        std::string message;
    };
    // Parses the arguments after the program name.
    static std::variant<AnalyzeOptions, Error> parse(int argc, const char* const* argv);
    static const char* usage();
};

}  // namespace sonavista
