#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <variant>

typedef struct sf_private_tag SNDFILE;

namespace sonavista {

class FrameJsonWriter;

// Feeds a 48 kHz sound file through the audio analysis on a simulated clock: capture starts
// at 1.0 s and each block's clock reading is 1.0 + frames delivered so far / 48000.
class SoundFileAnalysis {
public:
    static constexpr int requiredSampleRate = 48000;

    enum class Result { finished, silenceReported, readError };

    // Opens and checks the file; an error message (one line, no newline) on failure.
    static std::variant<std::unique_ptr<SoundFileAnalysis>, std::string> open(const std::string& path);
    ~SoundFileAnalysis();
    SoundFileAnalysis(const SoundFileAnalysis&) = delete;
    SoundFileAnalysis& operator=(const SoundFileAnalysis&) = delete;

    // Analyses the whole file in blocks of `blockFrames` (the last may be shorter), writing
    // each published frame; stops after a silence report.
    Result run(std::size_t blockFrames, FrameJsonWriter& writer);
    int channels() const { return channels_; }

private:
    SoundFileAnalysis(SNDFILE* file, int channels) : file_(file), channels_(channels) {}

    SNDFILE* file_;
    int channels_;
};

}  // namespace sonavista
