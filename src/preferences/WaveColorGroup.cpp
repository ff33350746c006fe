#include "preferences/WaveColorGroup.h"

#include "preferences/WaveColor.h"

namespace sonavista {

std::string_view title(WaveColorGroup group) {
    switch (group) {
        case WaveColorGroup::solid:
            return "Solid Colors";
        case WaveColorGroup::gradient:
            return "Gradients";
        case WaveColorGroup::contrast:
            return "Contrast";
    }
    return "";
}

std::vector<WaveColor> presets(WaveColorGroup wanted) {
    std::vector<WaveColor> result;
    for (WaveColor preset : allWaveColors) {
        if (group(preset) == wanted) {
            result.push_back(preset);
        }
    }
    return result;
}

}  // namespace sonavista
