#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sonavista {

// A 32-bit premultiplied ARGB image, one uint32_t per pixel holding (alpha << 24) |
// (red << 16) | (green << 8) | blue, rows stored top to bottom without padding. This is the
// memory layout of QImage::Format_ARGB32_Premultiplied, so a view can wrap the pixels in a
// QImage (bytesPerLine = width * 4) without copying.
//
// The pixels live in memory of the image's own, or in memory the caller lends it (a window's
// shared-memory image, so frames are drawn where the display server reads them).
class ImageBuffer {
public:
    ImageBuffer() = default;
    ImageBuffer(int width, int height) { resize(width, height); }
    // A copy always owns its pixels.
    ImageBuffer(const ImageBuffer& other);
    ImageBuffer& operator=(const ImageBuffer& other);
    ImageBuffer(ImageBuffer&& other) noexcept;
    ImageBuffer& operator=(ImageBuffer&& other) noexcept;

    // Changes the size; the contents are unspecified afterwards, unless the size stays the
    // same (then nothing changes). Lent memory is kept only while the size stays the same.
    void resize(int width, int height);
    void fill(std::uint32_t pixel);

    // Uses `memory` (width × height pixels, rows without padding, kept alive by the caller
    // until the image uses other memory or is gone) from now on; its contents are the image's.
    void useMemory(std::uint32_t* memory, int width, int height);
    // Whether the pixels are in lent memory.
    bool usesLentMemory() const { return lent_; }

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t bytesPerLine() const { return static_cast<std::size_t>(width_) * 4; }

    std::uint32_t* row(int y) { return pixels_ + static_cast<std::size_t>(y) * width_; }
    const std::uint32_t* row(int y) const { return pixels_ + static_cast<std::size_t>(y) * width_; }
    std::uint32_t pixel(int x, int y) const { return row(y)[x]; }
    std::uint32_t* data() { return pixels_; }
    const std::uint32_t* data() const { return pixels_; }

    static constexpr std::uint32_t alpha(std::uint32_t p) { return p >> 24; }
    static constexpr std::uint32_t red(std::uint32_t p) { return (p >> 16) & 0xff; }
    static constexpr std::uint32_t green(std::uint32_t p) { return (p >> 8) & 0xff; }
    static constexpr std::uint32_t blue(std::uint32_t p) { return p & 0xff; }

private:
    std::size_t size() const { return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_); }

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> own_;
    std::uint32_t* pixels_ = nullptr;  // own_.data(), or the lent memory
    bool lent_ = false;
};

}  // namespace sonavista
