#pragma once

namespace sonavista {

// A width and height in points.
struct WaveSize {
    double width = 0.0;
    double height = 0.0;

    friend bool operator==(const WaveSize&, const WaveSize&) = default;
};

}  // namespace sonavista
