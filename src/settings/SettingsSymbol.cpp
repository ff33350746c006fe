#include "settings/SettingsSymbol.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

// The symbols live in a resource file compiled into a static library, which has to be
// registered explicitly before first use.
static void registerSettingsSymbols() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(settings);
        return true;
    }();
    (void)registered;
}

namespace sonavista {
namespace {

QString resourcePath(std::string_view name) {
    return QStringLiteral(":/sonavista/symbols/") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
           QStringLiteral(".svg");
}

}  // namespace

bool SettingsSymbol::exists(std::string_view name) {
    registerSettingsSymbols();
    return !name.empty() && QFile::exists(resourcePath(name));
}

QPixmap SettingsSymbol::pixmap(std::string_view name, const QColor& color, int size, qreal devicePixelRatio) {
    if (!exists(name) || size <= 0) return {};
    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid()) return {};

    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int pixels = static_cast<int>(std::ceil(size * ratio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        // Keep the drawn shape's coverage and replace its colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(image);
    result.setDevicePixelRatio(ratio);
    return result;
}

QIcon SettingsSymbol::icon(std::string_view name, const QColor& color, int size) {
    QIcon result;
    for (qreal ratio : {1.0, 2.0}) {
        result.addPixmap(pixmap(name, color, size, ratio), QIcon::Normal);
        QColor dimmed = color;
        dimmed.setAlphaF(color.alphaF() * 0.4f);
        result.addPixmap(pixmap(name, dimmed, size, ratio), QIcon::Disabled);
    }
    return result;
}

}  // namespace sonavista
