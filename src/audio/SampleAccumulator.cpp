#include "audio/SampleAccumulator.h"

#include <algorithm>
#include <cstring>

namespace sonavista {

void SampleAccumulator::append(std::span<const float> samples) {
    if (samples.size() >= capacity) {
        // Only the newest `capacity` samples survive; store them in order from slot 0.
        std::memcpy(ring_.data(), samples.data() + (samples.size() - capacity), capacity * sizeof(float));
        head_ = 0;
        count_ = capacity;
        return;
    }
    std::size_t remaining = samples.size();
    const float* source = samples.data();
    while (remaining > 0) {
        const std::size_t chunk = std::min(remaining, capacity - head_);
        std::memcpy(ring_.data() + head_, source, chunk * sizeof(float));
        head_ = (head_ + chunk) % capacity;
        source += chunk;
        remaining -= chunk;
    }
    count_ = std::min(capacity, count_ + samples.size());
}

void SampleAccumulator::copyTo(std::span<float> out) const {
    const std::size_t start = (head_ + capacity - count_) % capacity;
    const std::size_t first = std::min(count_, capacity - start);
    std::memcpy(out.data(), ring_.data() + start, first * sizeof(float));
    std::memcpy(out.data() + first, ring_.data(), (count_ - first) * sizeof(float));
}

}  // namespace sonavista
