#pragma once

#include <string>

#include "visualizer/WaveformScene.h"

namespace sonavista {

// The wave geometry of a scene as one JSON object: waveWidth, waveHeight, barCount, lineWidth,
// dashLength, dashGap, centerY, amplitude and, per bar, x, halfHeight, opacity and colour
// ([r, g, b] in 0...1). Lengths are wave-area points.
std::string sceneGeometryJson(const WaveformScene& scene);

}  // namespace sonavista
