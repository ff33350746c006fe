#pragma once

#include "audio/AudioSampleBuffer.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace sonavista::testing {

// A sample buffer together with the storage its views point into. Buffers given as
// nullopt have no data pointer.
struct OwnedSampleBuffer {
    std::vector<std::optional<std::vector<float>>> storage;
    AudioSampleBuffer buffer;

    OwnedSampleBuffer(std::optional<SampleSpec> spec,
                      std::vector<std::optional<std::vector<float>>> buffers)
        : storage(std::move(buffers)) {
        buffer.sampleSpec = spec;
        for (const auto& values : storage) {
            if (values) {
                buffer.buffers.push_back({reinterpret_cast<const std::byte*>(values->data()),
                                          values->size() * sizeof(float)});
            } else {
                buffer.buffers.push_back({nullptr, 0});
            }
        }
    }
    OwnedSampleBuffer(const OwnedSampleBuffer&) = delete;
    OwnedSampleBuffer& operator=(const OwnedSampleBuffer&) = delete;
};

inline SampleSpec floatFormat(std::uint32_t channels, bool nonInterleaved = false) {
    return {SampleFormat::float32, channels, !nonInterleaved};
}

}  // namespace sonavista::testing
