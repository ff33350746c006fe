#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace sonavista {

// Keeps the most recent `capacity` mono samples in a fixed ring, so appending a block
// costs a copy of the block and nothing else.
class SampleAccumulator {
public:
    static constexpr std::size_t capacity = 1024;

    // Appends `samples`, dropping the oldest so that at most `capacity` remain.
    void append(std::span<const float> samples);
    // Empties the accumulator; the storage stays.
    void clear() { head_ = 0; count_ = 0; }
    std::size_t size() const { return count_; }
    bool isFull() const { return count_ == capacity; }
    // Copies the held samples, oldest first, into `out` (which must hold size() values).
    void copyTo(std::span<float> out) const;

private:
    std::array<float, capacity> ring_{};
    std::size_t head_ = 0;   // index where the next sample is written
    std::size_t count_ = 0;
};

}  // namespace sonavista
