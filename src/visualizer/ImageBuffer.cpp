#include "visualizer/ImageBuffer.h"

#include <algorithm>

namespace sonavista {

void ImageBuffer::resize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    pixels_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
}

void ImageBuffer::fill(std::uint32_t pixel) {
    std::fill(pixels_.begin(), pixels_.end(), pixel);
}

}  // namespace sonavista
