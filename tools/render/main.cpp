// sonavista-render: draws one waveform frame as a PNG still or prints its geometry as JSON.
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdint>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "RenderOptions.h"
#include "SceneGeometryJson.h"
#include "visualizer/ImageBuffer.h"
#include "visualizer/QPainterWaveformRenderer.h"
#include "visualizer/WaveformRasterizer.h"
#include "visualizer/WaveformScene.h"

int main(int argc, char** argv) {
    using namespace sonavista;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = RenderOptions::parse(args, error);
    if (!options) {
        std::cerr << "sonavista-render: " << error << "\n" << RenderOptions::usage();
        return 2;
    }
    if (options->help) {
        std::cout << RenderOptions::usage();
        return 0;
    }

    const WaveformScene scene = WaveformScene::make(options->inputs);
    if (options->printGeometry) {
        std::cout << sceneGeometryJson(scene) << "\n";
    }
    if (options->outputPath) {
        // The fog's faint tint lies under the wave as in the window; the frosted blur of what
        // lies behind the panel cannot be part of a still.
        const std::uint32_t background = WaveformScene::backgroundFor(scene.displayMode);
        QImage image;
        ImageBuffer buffer;
        if (options->reference) {
            const QImage wave = QPainterWaveformRenderer::render(scene, options->scale);
            image = QImage(wave.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor(255, 255, 255, static_cast<int>(background >> 24)));
            QPainter painter(&image);
            painter.drawImage(0, 0, wave);
        } else {
            WaveformRasterizer rasterizer;
            rasterizer.render(scene, buffer, options->scale, background);
            image = QImage(reinterpret_cast<const uchar*>(buffer.data()), buffer.width(), buffer.height(),
                           static_cast<qsizetype>(buffer.bytesPerLine()), QImage::Format_ARGB32_Premultiplied);
        }
        if (!image.save(QString::fromStdString(*options->outputPath), "PNG")) {
            std::cerr << "sonavista-render: cannot write " << *options->outputPath << "\n";
            return 1;
        }
    }
    return 0;
}
