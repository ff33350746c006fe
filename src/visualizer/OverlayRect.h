#pragma once

namespace sonavista {

// A rectangle in points. Whether y grows upwards or downwards depends on the coordinate
// space it belongs to; the layout maths uses y-up global coordinates, the window system
// y-down (see DesktopCoordinates).
struct OverlayRect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    double minX() const { return x; }
    double maxX() const { return x + width; }
    double minY() const { return y; }
    double maxY() const { return y + height; }
    double midY() const { return y + height * 0.5; }

    // Half-open containment: a point on the low edges is inside, one on the high edges is
    // not, so a point on the border between two adjacent screens belongs to exactly one.
    bool contains(double px, double py) const {
        return px >= minX() && px < maxX() && py >= minY() && py < maxY();
    }

    friend bool operator==(const OverlayRect&, const OverlayRect&) = default;
};

}  // namespace sonavista
