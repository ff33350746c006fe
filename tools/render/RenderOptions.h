#pragma once

#include <optional>
#include <string>
#include <vector>

#include "visualizer/WaveformInputs.h"

namespace sonavista {

// The command line of sonavista-render.
struct RenderOptions {
    WaveformInputs inputs;
    // --time: seconds of animation at a steady motion rate; sets inputs.motionTime.
    double time = 0.0;
    double scale = 1.0;
    std::optional<std::string> outputPath;  // --out
    bool printGeometry = false;             // --geometry
    bool reference = false;                 // --reference: draw with the QPainter reference
    bool help = false;

    // Parses the arguments after the program name. On failure returns nothing and sets `error`
    // to a one-line message.
    static std::optional<RenderOptions> parse(const std::vector<std::string>& arguments, std::string& error);

    static const char* usage();
};

}  // namespace sonavista
