#include "SceneGeometryJson.h"

#include <nlohmann/json.hpp>

namespace sonavista {

std::string sceneGeometryJson(const WaveformScene& scene) {
    nlohmann::ordered_json bars = nlohmann::ordered_json::array();
    for (const WaveformBar& bar : scene.bars) {
        bars.push_back({{"x", bar.x},
                        {"halfHeight", bar.halfHeight},
                        {"opacity", bar.opacity},
                        {"color", {bar.color.red, bar.color.green, bar.color.blue}}});
    }
    nlohmann::ordered_json json = {
        {"waveWidth", scene.wave.width}, {"waveHeight", scene.wave.height}, {"barCount", scene.barCount},
        {"lineWidth", scene.lineWidth},  {"dashLength", scene.dashLength},  {"dashGap", scene.dashGap},
        {"centerY", scene.centerY},      {"amplitude", scene.amplitude},    {"bars", std::move(bars)},
    };
    return json.dump();
}

}  // namespace sonavista
