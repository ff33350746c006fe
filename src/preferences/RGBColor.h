#pragma once

namespace sonavista {

// An sRGB colour with components in 0...1.
struct RGBColor {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 1.0;

    // An opaque colour from 8-bit components (n stands for n/255).
    static constexpr RGBColor fromBytes(int red, int green, int blue) {
        return RGBColor{red / 255.0, green / 255.0, blue / 255.0, 1.0};
    }

    friend bool operator==(const RGBColor&, const RGBColor&) = default;
};

}  // namespace sonavista
