#pragma once

// Pixel checks for anything with width(), height() and pixel(x, y) answering 0xAARRGGBB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace sonavista::testing {

// The largest difference between two 0xAARRGGBB pixels in any one channel.
inline int channelDistance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff)));
    }
    return worst;
}

// How many pixels of the rectangle (clipped to the image; -1 extends to the edge) pass `test`.
template <typename Image, typename Test>
long countPixels(const Image& image, Test test, int x0 = 0, int y0 = 0, int width = -1, int height = -1) {
    const int x1 = width < 0 ? image.width() : std::min(image.width(), x0 + width);
    const int y1 = height < 0 ? image.height() : std::min(image.height(), y0 + height);
    long count = 0;
    for (int y = std::max(y0, 0); y < y1; ++y) {
        for (int x = std::max(x0, 0); x < x1; ++x) count += test(static_cast<std::uint32_t>(image.pixel(x, y))) ? 1 : 0;
    }
    return count;
}

// Same size and pixels; otherwise the sizes, or how many pixels differ and the first one.
template <typename A, typename B>
::testing::AssertionResult sameImage(const A& actual, const B& expected) {
    if (actual.width() != expected.width() || actual.height() != expected.height()) {
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height() << ", expected "
                                             << expected.width() << "x" << expected.height();
    }
    long differing = 0;
    int firstX = -1, firstY = -1;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (static_cast<std::uint32_t>(actual.pixel(x, y)) == static_cast<std::uint32_t>(expected.pixel(x, y))) continue;
            if (differing++ == 0) firstX = x, firstY = y;
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    char pixels[48];
    std::snprintf(pixels, sizeof pixels, "%08x instead of %08x", static_cast<std::uint32_t>(actual.pixel(firstX, firstY)),
                  static_cast<std::uint32_t>(expected.pixel(firstX, firstY)));
    return ::testing::AssertionFailure() << differing << " pixels differ, the first at " << firstX << "," << firstY
                                         << ": " << pixels;
}

}  // namespace sonavista::testing
