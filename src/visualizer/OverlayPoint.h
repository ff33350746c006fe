#pragma once

namespace sonavista {

// A point in points; the coordinate space is that of the rectangles it is compared with.
struct OverlayPoint {
    double x = 0.0;
    double y = 0.0;

    friend bool operator==(const OverlayPoint&, const OverlayPoint&) = default;
};

}  // namespace sonavista
