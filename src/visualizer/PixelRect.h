#pragma once

namespace sonavista {

// A window-system rectangle in whole logical pixels, y growing downwards.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

}  // namespace sonavista
