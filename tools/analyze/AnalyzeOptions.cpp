#include "AnalyzeOptions.h"

#include <charconv>
#include <string_view>

namespace sonavista {

namespace {

bool parseBlockFrames(std::string_view text, std::size_t& out) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > AnalyzeOptions::maximumBlockFrames) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

const char* AnalyzeOptions::usage() {
    return "usage: sonavista-analyze FILE [--block-frames N]\n"
           "Analyses a 48 kHz sound file in blocks of N frames (default 480) and prints one\n"
           "JSON object per published frame.\n";
}

std::variant<AnalyzeOptions, AnalyzeOptions::Error> AnalyzeOptions::parse(int argc, const char* const* argv) {
    AnalyzeOptions options;
    bool haveFile = false;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
            options.help = true;
        } else if (!optionsEnded && (argument == "--block-frames" || argument.starts_with("--block-frames="))) {
            std::string_view value;
            if (argument == "--block-frames") {
                if (i + 1 >= argc) {
                    return Error{"--block-frames needs a number of frames"};
                }
                value = argv[++i];
            } else {
                value = argument.substr(std::string_view("--block-frames=").size());
            }
            if (!parseBlockFrames(value, options.blockFrames)) {
                return Error{"--block-frames must be a whole number from 1 to " +
                             std::to_string(maximumBlockFrames) + ", not '" + std::string(value) + "'"};
            }
        } else if (!optionsEnded && argument.size() > 1 && argument.front() == '-') {
            return Error{"unknown option '" + std::string(argument) + "'"};
        } else if (haveFile) {
            return Error{"only one FILE may be given ('" + std::string(argument) + "')"};
        } else {
            options.file = argument;
            haveFile = true;
        }
    }
    if (!haveFile && !options.help) {
        return Error{"no FILE given"};
    }
    return options;
}

}  // namespace sonavista
