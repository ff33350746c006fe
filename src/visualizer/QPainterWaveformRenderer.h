#pragma once

#include <QImage>

#include "visualizer/WaveformScene.h"

namespace sonavista {

// A plain QPainter rendering of a WaveformScene: antialiased dashed pen strokes, ellipses, a
// linear-gradient pen and a glow layer blurred by direct separable convolution with a sampled
// Gaussian. It is slow and serves as the reference that the fast rasterizer is compared with
// (tests) and measured against (benchmarks). Produces the same image layout as
// WaveformRasterizer: the whole panel at the device pixel ratio, premultiplied ARGB.
class QPainterWaveformRenderer {
public:
    static QImage render(const WaveformScene& scene, double devicePixelRatio);

    // Blurs the rectangle `area` of a premultiplied image in place with a Gaussian of standard
    // deviation `sigma` pixels; pixels outside the image count as transparent.
    static void gaussianBlur(QImage& image, QRect area, double sigma);
};

}  // namespace sonavista
