#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sonavista {

// A 32-bit premultiplied ARGB image, one uint32_t per pixel holding (alpha << 24) |
// (red << 16) | (green << 8) | blue, rows stored top to bottom without padding. This is the
// memory layout of QImage::Format_ARGB32_Premultiplied, so a view can wrap the pixels in a
// QImage (bytesPerLine = width * 4) without copying.
class ImageBuffer {
public:
    ImageBuffer() = default;
    ImageBuffer(int width, int height) { resize(width, height); }

    // Changes the size; the contents are unspecified afterwards.
    void resize(int width, int height);
    void fill(std::uint32_t pixel);

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t bytesPerLine() const { return static_cast<std::size_t>(width_) * 4; }

    std::uint32_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    const std::uint32_t* row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    std::uint32_t pixel(int x, int y) const { return row(y)[x]; }
    std::uint32_t* data() { return pixels_.data(); }
    const std::uint32_t* data() const { return pixels_.data(); }

    static constexpr std::uint32_t alpha(std::uint32_t p) { return p >> 24; }
    static constexpr std::uint32_t red(std::uint32_t p) { return (p >> 16) & 0xff; }
    static constexpr std::uint32_t green(std::uint32_t p) { return (p >> 8) & 0xff; }
    static constexpr std::uint32_t blue(std::uint32_t p) { return p & 0xff; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

}  // namespace sonavista
