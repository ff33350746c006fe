#include "SoundFileAnalysis.h"

#include "FrameJsonWriter.h"
#include "audio/AudioFrameAnalyzer.h"

#include <sndfile.h>

#include <algorithm>
#include <sys/stat.h>
#include <vector>

namespace sonavista {

namespace {

// The analysis clock, moved by hand as blocks are delivered.
class SimulatedClock final : public Clock {
public:
    double now() const override { return now_; }
    void set(double seconds) { now_ = seconds; }

private:
    double now_ = 0.0;
};

constexpr double captureStart = 1.0;
// Frames read from the file at a time; blocks are sliced out of this without copying.
constexpr std::size_t readFrames = 65536;

}  // namespace

std::variant<std::unique_ptr<SoundFileAnalysis>, std::string> SoundFileAnalysis::open(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return path + ": is a directory, not a sound file";
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return path + ": cannot read as audio: " + sf_strerror(nullptr);
    }
    if (info.channels < 1) {
        sf_close(file);
        return path + ": has no audio channels";
    }
    if (info.samplerate != requiredSampleRate) {
        sf_close(file);
        return path + ": sample rate is " + std::to_string(info.samplerate) + " Hz; only " +
               std::to_string(requiredSampleRate) + " Hz is supported";
    }
    return std::unique_ptr<SoundFileAnalysis>(new SoundFileAnalysis(file, info.channels));
}

SoundFileAnalysis::~SoundFileAnalysis() { sf_close(file_); }

SoundFileAnalysis::Result SoundFileAnalysis::run(std::size_t blockFrames, FrameJsonWriter& writer) {
    SimulatedClock clock;
    bool silenceReported = false;
    AudioFrameAnalyzer analyzer(
        clock, {[&](const AudioVisualizationFrame& frame) { writer.writeFrame(clock.now() - captureStart, frame); },
                [&](AudioCaptureFailure failure) {
                    writer.writeFailure(clock.now() - captureStart, failure);
                    silenceReported = true;
                }});
    clock.set(captureStart);
    analyzer.beginCapture();

    const auto channels = static_cast<std::size_t>(channels_);
    const std::size_t chunkFrames = blockFrames * std::max<std::size_t>(1, readFrames / blockFrames);
    std::vector<float> chunk(chunkFrames * channels);
    AudioSampleBuffer buffer = AudioSampleBuffer::interleavedFloat(chunk.data(), 0, static_cast<std::uint32_t>(channels));

    std::size_t delivered = 0;
    for (;;) {
        const sf_count_t read = sf_readf_float(file_, chunk.data(), static_cast<sf_count_t>(chunkFrames));
        if (read <= 0) {
            break;
        }
        for (std::size_t offset = 0; offset < static_cast<std::size_t>(read); offset += blockFrames) {
            const std::size_t frames = std::min(blockFrames, static_cast<std::size_t>(read) - offset);
            delivered += frames;
            clock.set(captureStart + static_cast<double>(delivered) / requiredSampleRate);
            buffer.buffers[0] = {reinterpret_cast<const std::byte*>(chunk.data() + offset * channels),
                                 frames * channels * sizeof(float)};
            analyzer.handle(buffer, true);
            if (silenceReported) {
                return Result::silenceReported;
            }
        }
    }
    return sf_error(file_) == SF_ERR_NO_ERROR ? Result::finished : Result::readError;
}

}  // namespace sonavista
