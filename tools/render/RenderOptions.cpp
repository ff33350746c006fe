#include "RenderOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "preferences/OverlayPreferences.h"
#include "visualizer/WaveformScene.h"

namespace sonavista {
namespace {

std::optional<double> parseNumber(const std::string& text) {
    double value = 0.0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || text.empty() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<double>> parseList(const std::string& text) {
    std::vector<double> values;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const auto value = parseNumber(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!value) return std::nullopt;
        values.push_back(*value);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return values;
}

// Largest image side in device pixels the tool agrees to allocate.
constexpr double maximumPixels = 16384.0;

}  // namespace

const char* RenderOptions::usage() {
    return "usage: sonavista-render --width W --height H [--mode compact|fullscreenFog] [--color PRESET]\n"
           "                        [--time T] [--level L] [--motion M] [--pulse B] [--spectrum v1,v2,...]\n"
           "                        (L, B and spectrum values in 0...1, M in 0.55...2.8; T is seconds of animation at\n"
           "                        motion rate M, so the ripple stands where a live view has it after T seconds)\n"
           "                        [--audio-responsive on|off] [--scale S] [--out FILE.png] [--geometry]\n"
           "                        [--reference]\n"
           "Draws one waveform frame for a panel of W x H points. --out writes the panel image as PNG at\n"
           "device pixel ratio S (in fullscreenFog mode over the panel's faint white tint, otherwise over\n"
           "transparency); --geometry prints the wave geometry as one JSON object (wave-area points).\n"
           "--reference draws with the slow QPainter reference renderer instead of the rasterizer.\n";
}

std::optional<RenderOptions> RenderOptions::parse(const std::vector<std::string>& args, std::string& error) {
    RenderOptions options;
    options.inputs.color = OverlayPreferences::defaultColor;
    options.inputs.displayMode = OverlayPreferences::defaultDisplayMode;
    bool haveWidth = false;
    bool haveHeight = false;

    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& name = args[k];
        if (name == "--geometry") {
            options.printGeometry = true;
            continue;
        }
        if (name == "--reference") {
            options.reference = true;
            continue;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (k + 1 >= args.size()) {
            error = name.rfind("--", 0) == 0 ? "missing value for " + name : "unexpected argument " + name;
            return std::nullopt;
        }
        const std::string& value = args[++k];
        auto number = [&](double& target, double low, double high, bool lowInclusive) {
            const auto parsed = parseNumber(value);
            if (!parsed || (lowInclusive ? *parsed < low : *parsed <= low) || *parsed > high) {
                error = "invalid value for " + name + ": " + value;
                return false;
            }
            target = *parsed;
            return true;
        };
        const double unbounded = 1e12;
        if (name == "--width") {
            if (!number(options.inputs.panelWidth, 0.0, 1e6, false)) return std::nullopt;
            haveWidth = true;
        } else if (name == "--height") {
            if (!number(options.inputs.panelHeight, 0.0, 1e6, false)) return std::nullopt;
            haveHeight = true;
        } else if (name == "--mode") {
            const auto mode = overlayDisplayModeFromRawValue(value);
            if (!mode) {
                error = "unknown mode " + value + " (compact or fullscreenFog)";
                return std::nullopt;
            }
            options.inputs.displayMode = *mode;
        } else if (name == "--color") {
            const auto color = waveColorFromRawValue(value);
            if (!color) {
                error = "unknown colour preset " + value;
                return std::nullopt;
            }
            options.inputs.color = *color;
        } else if (name == "--time") {
            if (!number(options.time, -unbounded, unbounded, true)) return std::nullopt;
        } else if (name == "--level") {
            // The model's ranges: level and pulse 0...1, motion rate 0.55...2.8.
            if (!number(options.inputs.audioLevel, 0.0, 1.0, true)) return std::nullopt;
        } else if (name == "--motion") {
            if (!number(options.inputs.motionRate, 0.55, 2.8, true)) return std::nullopt;
        } else if (name == "--pulse") {
            if (!number(options.inputs.beatPulse, 0.0, 1.0, true)) return std::nullopt;
        } else if (name == "--spectrum") {
            const auto list = parseList(value);
            if (!list || std::any_of(list->begin(), list->end(), [](double v) { return v < 0.0 || v > 1.0; })) {
                error = "invalid spectrum " + value + " (comma-separated numbers in 0...1)";
                return std::nullopt;
            }
            options.inputs.spectrum = *list;
        } else if (name == "--audio-responsive") {
            if (value != "on" && value != "off") {
                error = "--audio-responsive takes on or off, not " + value;
                return std::nullopt;
            }
            options.inputs.audioResponsive = value == "on";
        } else if (name == "--scale") {
            if (!number(options.scale, 0.0, 16.0, false)) return std::nullopt;
        } else if (name == "--out") {
            if (value.empty()) {
                error = "empty file name for --out";
                return std::nullopt;
            }
            options.outputPath = value;
        } else {
            error = "unknown option " + name;
            return std::nullopt;
        }
    }
    if (options.help) {
        return options;
    }
    // A still at time T looks as a live view does after T seconds at this motion rate.
    options.inputs.motionTime = options.time * WaveformScene::effectiveMotion(options.inputs);
    if (!haveWidth || !haveHeight) {
        error = "--width and --height are required";
        return std::nullopt;
    }
    if (!options.outputPath && !options.printGeometry) {
        error = "nothing to do: give --out FILE.png and/or --geometry";
        return std::nullopt;
    }
    if (options.outputPath && (std::ceil(options.inputs.panelWidth * options.scale) > maximumPixels ||
                               std::ceil(options.inputs.panelHeight * options.scale) > maximumPixels)) {
        error = "image too large: at most 16384 pixels per side";
        return std::nullopt;
    }
    return options;
}

}  // namespace sonavista
