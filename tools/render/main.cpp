// sonavista-render: draws one waveform frame as a PNG still or prints its geometry as JSON.
#include <QImage>

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
        QImage image;
        ImageBuffer buffer;
        if (options->reference) {
            image = QPainterWaveformRenderer::render(scene, options->scale);
        } else {
            WaveformRasterizer rasterizer;
            rasterizer.render(scene, buffer, options->scale);
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
