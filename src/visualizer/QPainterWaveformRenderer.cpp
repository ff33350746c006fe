#include "visualizer/QPainterWaveformRenderer.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <vector>

#include "visualizer/WaveformRasterizer.h"

namespace sonavista {
namespace {

QColor qcolor(const RGBColor& c, double opacity) {
    return QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green), static_cast<float>(c.blue),
                            static_cast<float>(std::clamp(c.alpha * opacity, 0.0, 1.0)));
}

}  // namespace

void QPainterWaveformRenderer::gaussianBlur(QImage& image, QRect area, double sigma) {
    area = area.intersected(image.rect());
    if (area.isEmpty() || sigma <= 0.0) {
        return;
    }
    const int radius = static_cast<int>(std::ceil(4.0 * sigma));
    std::vector<float> kernel(static_cast<std::size_t>(2 * radius + 1));
    double sum = 0.0;
    for (int k = -radius; k <= radius; ++k) {
        const double v = std::exp(-0.5 * k * k / (sigma * sigma));
        kernel[static_cast<std::size_t>(k + radius)] = static_cast<float>(v);
        sum += v;
    }
    for (float& v : kernel) {
        v = static_cast<float>(v / sum);
    }

    const int w = area.width();
    const int h = area.height();
    // Planar float copy of the area, 4 channels.
    std::vector<float> src(static_cast<std::size_t>(w) * h * 4);
    std::vector<float> tmp(src.size());
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(area.top() + y)) + area.left();
        for (int x = 0; x < w; ++x) {
            const QRgb p = line[x];
            float* d = &src[(static_cast<std::size_t>(y) * w + x) * 4];
            d[0] = static_cast<float>(qAlpha(p));
            d[1] = static_cast<float>(qRed(p));
            d[2] = static_cast<float>(qGreen(p));
            d[3] = static_cast<float>(qBlue(p));
        }
    }
    // Horizontal pass.
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float acc[4] = {0, 0, 0, 0};
            const int k0 = std::max(-radius, -x);
            const int k1 = std::min(radius, w - 1 - x);
            for (int k = k0; k <= k1; ++k) {
                const float kv = kernel[static_cast<std::size_t>(k + radius)];
                const float* s = &src[(static_cast<std::size_t>(y) * w + x + k) * 4];
                for (int c = 0; c < 4; ++c) acc[c] += kv * s[c];
            }
            std::copy(acc, acc + 4, &tmp[(static_cast<std::size_t>(y) * w + x) * 4]);
        }
    }
    // Vertical pass, written back as 8-bit.
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(area.top() + y)) + area.left();
        const int k0 = std::max(-radius, -y);
        const int k1 = std::min(radius, h - 1 - y);
        for (int x = 0; x < w; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (int k = k0; k <= k1; ++k) {
                const float kv = kernel[static_cast<std::size_t>(k + radius)];
                const float* s = &tmp[(static_cast<std::size_t>(y + k) * w + x) * 4];
                for (int c = 0; c < 4; ++c) acc[c] += kv * s[c];
            }
            auto q = [](float v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 255); };
            const int a = q(acc[0]);
            line[x] = qRgba(std::min(q(acc[1]), a), std::min(q(acc[2]), a), std::min(q(acc[3]), a), a);
        }
    }
}

QImage QPainterWaveformRenderer::render(const WaveformScene& scene, double dpr) {
    const int pw = WaveformRasterizer::pixelWidth(scene, dpr);
    const int ph = WaveformRasterizer::pixelHeight(scene, dpr);
    QImage image(pw, ph, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    const double W = scene.wave.width;
    const double cy = scene.centerY;
    const double w = scene.lineWidth;

    auto begin = [&](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.scale(dpr, dpr);
        painter.translate(scene.waveOriginX, scene.waveOriginY);
    };

    QPainter painter(&image);
    begin(painter);

    // Centre line.
    {
        QPen pen;
        pen.setWidthF(WaveformScene::centerLineWidth);
        pen.setCapStyle(Qt::RoundCap);
        const auto& stops = scene.centerLineStops;
        if (stops.size() == 1) {
            pen.setColor(qcolor(stops[0], 1.0));
        } else if (stops.size() > 1) {
            QLinearGradient gradient(QPointF(0, cy), QPointF(W, cy));
            for (std::size_t k = 0; k < stops.size(); ++k) {
                gradient.setColorAt(static_cast<double>(k) / (stops.size() - 1), qcolor(stops[k], 1.0));
            }
            pen.setBrush(gradient);
        }
        if (WaveformScene::centerLineWidth * dpr <= 1.0) {
            // Thin pens bypass the round caps and exact width; fill the outline instead.
            QPainterPathStroker lineStroker(pen);
            QPainterPath path(QPointF(0, cy));
            path.lineTo(QPointF(W, cy));
            painter.fillPath(lineStroker.createStroke(path), pen.brush());
        } else {
            painter.setPen(pen);
            painter.drawLine(QPointF(0, cy), QPointF(W, cy));
        }
    }

    // Glow layer: the bars stroked wide, blurred, then composited over.
    {
        QImage layer(pw, ph, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        QPainter glow(&layer);
        begin(glow);
        QRectF bounds;
        for (const WaveformBar& bar : scene.bars) {
            QPen pen(qcolor(bar.color, WaveformScene::glowOpacity(bar)));
            pen.setWidthF(scene.glowWidth);
            pen.setCapStyle(Qt::RoundCap);
            glow.setPen(pen);
            const QPointF top(bar.x, cy - bar.halfHeight);
            const QPointF bottom(bar.x, cy + bar.halfHeight);
            glow.drawLine(top, bottom);
            bounds |= QRectF(top, bottom).adjusted(-scene.glowWidth, -scene.glowWidth, scene.glowWidth,
                                                   scene.glowWidth);
        }
        glow.end();
        const double sigma = scene.glowRadius * dpr;
        const double margin = std::ceil(4.0 * sigma) + 2.0;
        const QRectF pixels(QPointF((scene.waveOriginX + bounds.left()) * dpr - margin,
                                    (scene.waveOriginY + bounds.top()) * dpr - margin),
                            QPointF((scene.waveOriginX + bounds.right()) * dpr + margin,
                                    (scene.waveOriginY + bounds.bottom()) * dpr + margin));
        gaussianBlur(layer, pixels.toAlignedRect(), sigma);
        painter.save();
        painter.resetTransform();
        painter.drawImage(0, 0, layer);
        painter.restore();
    }

    // Bars, dots and sparkles, bar by bar.
    const double dashPattern = scene.dashLength / w;
    const double gapPattern = scene.dashGap / w;
    const bool thinPen = w * dpr <= 1.0;
    QPainterPathStroker stroker;
    stroker.setWidth(w);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    stroker.setMiterLimit(10.0);
    stroker.setDashPattern(QList<qreal>{dashPattern, gapPattern});
    for (const WaveformBar& bar : scene.bars) {
        QPen pen(qcolor(bar.color, WaveformScene::strokeOpacity(bar)));
        pen.setWidthF(w);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::MiterJoin);
        pen.setMiterLimit(10.0);
        pen.setDashPattern({dashPattern, gapPattern});  // in units of the pen width
        pen.setDashOffset(0.0);
        const QPointF top(bar.x, cy - bar.halfHeight);
        const QPointF bottom(bar.x, cy + bar.halfHeight);
        if (thinPen) {
            // Qt strokes pens of at most one device pixel with its cosmetic line drawer, which
            // ignores the round caps of the dashes; fill the stroke's outline instead.
            QPainterPath path(top);
            path.lineTo(bottom);
            painter.setPen(Qt::NoPen);
            painter.setBrush(pen.color());
            painter.drawPath(stroker.createStroke(path));
        } else {
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawLine(top, bottom);
        }

        painter.setPen(Qt::NoPen);
        painter.setBrush(qcolor(bar.color, WaveformScene::dotOpacity(bar)));
        const double d = scene.dotDiameter;
        painter.drawEllipse(QRectF(bar.x - d / 2, cy - d / 2, d, d));

        if (bar.hasSparkles) {
            const double q = scene.sparkleDiameter;
            painter.setBrush(qcolor(bar.color, WaveformScene::sparkleOpacity(bar)));
            painter.drawEllipse(QRectF(bar.x - q / 2, cy - bar.sparkleOffset - q / 2, q, q));
            painter.drawEllipse(QRectF(bar.x - q / 2, cy + bar.sparkleOffset - q / 2, q, q));
        }
    }
    painter.end();
    return image;
}

}  // namespace sonavista
