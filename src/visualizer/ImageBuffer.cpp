#include "visualizer/ImageBuffer.h"

#include <algorithm>
#include <utility>

namespace sonavista {

ImageBuffer::ImageBuffer(const ImageBuffer& other)
    : width_(other.width_), height_(other.height_), own_(other.pixels_, other.pixels_ + other.size()),
      pixels_(own_.data()) {}

ImageBuffer& ImageBuffer::operator=(const ImageBuffer& other) {
    if (this != &other) *this = ImageBuffer(other);
    return *this;
}

ImageBuffer::ImageBuffer(ImageBuffer&& other) noexcept
    : width_(other.width_), height_(other.height_), own_(std::move(other.own_)),
      pixels_(other.lent_ ? other.pixels_ : own_.data()), lent_(other.lent_) {
    other = ImageBuffer();
}

ImageBuffer& ImageBuffer::operator=(ImageBuffer&& other) noexcept {
    if (this != &other) {
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        own_ = std::move(other.own_);
        other.own_.clear();
        lent_ = std::exchange(other.lent_, false);
        pixels_ = lent_ ? other.pixels_ : own_.data();
        other.pixels_ = nullptr;
    }
    return *this;
}

void ImageBuffer::resize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (lent_ && width == width_ && height == height_) return;
    lent_ = false;
    width_ = width;
    height_ = height;
    own_.resize(size());
    pixels_ = own_.data();
}

void ImageBuffer::fill(std::uint32_t pixel) {
    std::fill(pixels_, pixels_ + size(), pixel);
}

void ImageBuffer::useMemory(std::uint32_t* memory, int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    pixels_ = memory;
    lent_ = true;
    own_ = {};  // the image's own pixels are not needed meanwhile
}

}  // namespace sonavista
