#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sonavista {

// The sample formats a delivery can carry, named as libpulse names them (native endian).
// Only float32 is analysed; the others exist so that a delivery can say it is not float32.
enum class SampleFormat : std::uint8_t { float32, s16, s32 };

// How the samples of a delivered buffer are laid out, like a PulseAudio sample spec.
struct SampleSpec {
    SampleFormat format = SampleFormat::float32;
    std::uint32_t channels = 2;
    // Interleaved: one buffer holds every channel, frame by frame. Otherwise there is one
    // buffer per channel.
    bool interleaved = true;
};

// One byte buffer of a delivery. `data` may be null (a buffer without data). Non-owning:
// the bytes belong to whoever delivered the buffer. Samples are read as native float32
// with memcpy, so no alignment is required.
struct AudioBufferView {
    const std::byte* data = nullptr;
    std::size_t byteSize = 0;
};

// One delivered block of samples: validity, its sample spec (absent for a delivery that
// carries no audio format) and its list of byte buffers in list order. An interleaved
// delivery has one buffer holding all channels; a non-interleaved one has one per channel.
//
// The views do not own the bytes: a buffer is only valid during the call it is handed to
// (AudioFrameAnalyzer::handle copies what it keeps).
struct AudioSampleBuffer {
    bool isValid = true;
    std::optional<SampleSpec> sampleSpec;
    std::vector<AudioBufferView> buffers;

    // Convenience for the common case: interleaved float32 samples, `channels` per frame.
    static AudioSampleBuffer interleavedFloat(const float* samples, std::size_t valueCount,
                                              std::uint32_t channels) {
        AudioSampleBuffer buffer;
        buffer.sampleSpec = SampleSpec{.format = SampleFormat::float32, .channels = channels};
        buffer.buffers.push_back({reinterpret_cast<const std::byte*>(samples), valueCount * sizeof(float)});
        return buffer;
    }
};

}  // namespace sonavista
