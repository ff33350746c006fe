#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

#include <string_view>

namespace sonavista {

// The monochrome symbols of the settings window (tab icons, player icons, status and button
// symbols), drawn from our own SVG files and tinted to the colour the caller asks for.
class SettingsSymbol {
public:
    // Whether a symbol of that name is bundled.
    static bool exists(std::string_view name);
    // The symbol rendered at `size` × `size` device-independent pixels in `color`; a null
    // pixmap for an unknown name.
    static QPixmap pixmap(std::string_view name, const QColor& color, int size, qreal devicePixelRatio = 1.0);
    // An icon with the symbol in `color`, and a dimmed variant for disabled widgets.
    static QIcon icon(std::string_view name, const QColor& color, int size = 16);
};

}  // namespace sonavista
