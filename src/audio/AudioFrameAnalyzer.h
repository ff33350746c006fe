#pragma once

#include "audio/AudioAnalysisState.h"
#include "audio/AudioCaptureFailure.h"
#include "audio/AudioSampleBuffer.h"
#include "audio/AudioVisualizationFrame.h"
#include "audio/SampleAccumulator.h"
#include "base/Clock.h"

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

struct kiss_fftr_state;

namespace sonavista {

// Turns delivered blocks of float PCM into AudioVisualizationFrames: a smoothed level for
// every block and, at most 30 times per second of clock time, a 96-band spectrum, spectral
// flux, beat pulse, tempo and motion rate. Detects prolonged silence.
//
// `handle` runs on the capture's delivery thread; `reset` and `beginCapture` may be called
// from any other thread: all three are mutually exclusive. The hooks are called on the
// thread that runs `handle`, after the analysis lock is released, so a hook may call
// `reset` (for instance to stop the capture on the silence report).
class AudioFrameAnalyzer {
public:
    static constexpr int fftSize = 1024;
    static constexpr unsigned fftLog2 = 10;
    static constexpr int spectrumBandCount = 96;
    // The band mapping assumes the capture rate; the buffer's own rate is never read.
    static constexpr double analysisSampleRate = 48000.0;
    static constexpr double publishInterval = 1.0 / 30.0;
    static constexpr double silenceFloor = 0.00002;
    static constexpr double silenceTimeout = 4.0;

    struct Hooks {
        // Receives each published frame (a copy) on the handling thread.
        std::function<void(const AudioVisualizationFrame&)> publish;
        // Receives the silence report. Called again for later silent buffers if the caller
        // keeps handing buffers with captureRequested true; the capture stops requesting.
        std::function<void(AudioCaptureFailure)> reportFailure;
    };

    // Mono samples of one delivery and the rms over all its values.
    struct AudioData {
        double rms = 0.0;
        std::vector<float> samples;
    };

    // FFT magnitude bins [lower, upper) averaged into one band.
    struct BinRange {
        int lower = 0;
        int upper = 0;
        bool operator==(const BinRange&) const = default;
    };

    // Creates the FFT plan and the window; ends the process with
    // "Unable to create the audio FFT setup" if the plan cannot be created.
    AudioFrameAnalyzer(const Clock& clock, Hooks hooks);
    ~AudioFrameAnalyzer();
    AudioFrameAnalyzer(const AudioFrameAnalyzer&) = delete;
    AudioFrameAnalyzer& operator=(const AudioFrameAnalyzer&) = delete;

    // Capture start: the silence timer counts from now.
    void beginCapture();
    // Seconds left until nothing audible has been handled for longer than the silence
    // limit, counted from the capture start; negative once it has passed. Time passes
    // whether or not buffers arrive, so a capture that delivers nothing can be judged too.
    double secondsUntilSilence() const;
    // Analyses one delivery. Ignored unless capture is requested and the buffer is valid. The buffer's bytes are only read during the call.
    void handle(const AudioSampleBuffer& buffer, bool captureRequested);
    // What stopping the capture resets: levels, spectra, accumulator, flux baseline, beat
    // pulse and times of the last beat and publish. Tempo and capture start stay.
    void reset();

    // Sample extraction: nothing for a delivery that is not float32 samples, carries no
    // usable buffer, yields no samples, or whose values are not finite.
    static std::optional<AudioData> audioData(const AudioSampleBuffer& buffer);
    // The 96 band values of exactly 1024 samples; for any other count a copy of the
    // previous publish's raw spectrum.
    std::vector<double> spectrum(std::span<const float> samples);

    static BinRange bandBins(int band);
    // Target level 0...1 of an rms value (-55 dBFS and below 0, -10 dBFS and above 1).
    static double targetLevel(double rms);
    // Doubles or halves a beat interval into 0.34 ... 0.86 s.
    static double foldBeatInterval(double interval);
    // Tempo 0...1 of a beat interval, after folding.
    static double tempoForInterval(double interval);
    static bool isBeat(double onsetScore, double now, double lastBeatTime);

    AudioAnalysisState state() const;
    const std::array<float, fftSize>& analysisWindow() const { return window_; }

private:
    enum class Outcome { ignored, silent, accumulated, published };

    Outcome handleLocked(const AudioSampleBuffer& buffer, AudioVisualizationFrame& frame);
    double secondsUntilSilenceLocked(double now) const;
    void spectrumLocked(std::span<const float> samples, std::vector<double>& out);
    static bool extract(const AudioSampleBuffer& buffer, double& rms, std::vector<float>& samples);

    const Clock& clock_;
    Hooks hooks_;
    kiss_fftr_state* fftSetup_ = nullptr;
    std::array<float, fftSize> window_{};
    std::array<BinRange, spectrumBandCount> bands_{};

    mutable std::mutex mutex_;
    double smoothedLevel_ = 0.0;
    double smoothedActivity_ = 0.0;
    std::vector<double> smoothedSpectrum_;
    std::vector<double> previousSpectrum_;
    SampleAccumulator sampleAccumulator_;
    double fluxBaseline_ = 0.015;
    double beatPulse_ = 0.0;
    double tempoFactor_ = 0.42;
    double previousPublishedLevel_ = 0.0;
    double lastBeatTime_ = 0.0;
    double captureStartTime_ = 0.0;
    double lastAudibleSampleTime_ = 0.0;
    double lastPublishTime_ = 0.0;

    // Scratch storage reused across buffers so the per-buffer path does not allocate.
    std::vector<float> samples_;
    std::vector<double> bandScratch_;
    std::array<float, fftSize> windowed_{};
    std::vector<float> fftOutput_;  // fftSize / 2 + 1 complex values, interleaved
};

}  // namespace sonavista
