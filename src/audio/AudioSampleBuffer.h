#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sonavista {

// Builds a four-character format code the way sound APIs spell them ('lpcm').
constexpr std::uint32_t fourCharCode(const char (&code)[5]) {
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

// Format identifier of linear PCM.
inline constexpr std::uint32_t audioFormatLinearPCM = fourCharCode("lpcm");
// Format flag bits.
inline constexpr std::uint32_t audioFormatFlagIsFloat = 1;
inline constexpr std::uint32_t audioFormatFlagIsNonInterleaved = 32;

// How the samples of a delivered buffer are laid out.
struct AudioStreamDescription {
    std::uint32_t formatID = audioFormatLinearPCM;
    std::uint32_t formatFlags = audioFormatFlagIsFloat;
    std::uint32_t channelsPerFrame = 2;
};

// One byte buffer of a delivery. `data` may be null (a buffer without data). Non-owning:
// the bytes belong to whoever delivered the buffer. Samples are read as native float32
// with memcpy, so no alignment is required.
struct AudioBufferView {
    const std::byte* data = nullptr;
    std::size_t byteSize = 0;
};

// One delivered block of samples: validity, its stream description (absent for a delivery
// that carries no audio format) and its list of byte buffers in list order. An interleaved
// delivery has one buffer holding all channels; a non-interleaved one has one per channel.
//
// The views do not own the bytes: a buffer is only valid during the call it is handed to
// (AudioFrameAnalyzer::handle copies what it keeps).
struct AudioSampleBuffer {
    bool isValid = true;
    std::optional<AudioStreamDescription> streamDescription;
    std::vector<AudioBufferView> buffers;

    // Convenience for the common case: interleaved float32 samples, `channels` per frame.
    static AudioSampleBuffer interleavedFloat(const float* samples, std::size_t valueCount,
                                              std::uint32_t channels) {
        AudioSampleBuffer buffer;
        buffer.streamDescription = AudioStreamDescription{audioFormatLinearPCM, audioFormatFlagIsFloat, channels};
        buffer.buffers.push_back({reinterpret_cast<const std::byte*>(samples), valueCount * sizeof(float)});
        return buffer;
    }
};

}  // namespace sonavista
