#include "audio/AudioFrameAnalyzer.h"

#include "base/ClampToRange.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace sonavista {

namespace {

float loadFloat(const std::byte* bytes, std::size_t index) {
    float value;
    std::memcpy(&value, bytes + index * sizeof(float), sizeof(float));
    return value;
}

// Single-precision sum of squares, accumulated in eight lanes (the way a vector unit adds)
// so the loop pipelines; the lanes are then added pairwise.
float sumOfSquares(const std::byte* bytes, std::size_t count) {
    float lanes[8] = {};
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        for (std::size_t j = 0; j < 8; ++j) {
            const float v = loadFloat(bytes, i + j);
            lanes[j] += v * v;
        }
    }
    for (std::size_t j = 0; i < count; ++i, ++j) {
        const float v = loadFloat(bytes, i);
        lanes[j] += v * v;
    }
    return ((lanes[0] + lanes[4]) + (lanes[1] + lanes[5])) + ((lanes[2] + lanes[6]) + (lanes[3] + lanes[7]));
}

}  // namespace

AudioFrameAnalyzer::AudioFrameAnalyzer(const Clock& clock, Hooks hooks)
    : clock_(clock),
      hooks_(std::move(hooks)),
      smoothedSpectrum_(spectrumBandCount, 0.0),
      previousSpectrum_(spectrumBandCount, 0.0),
      bandScratch_(spectrumBandCount, 0.0),
      fftOutput_(2 * (fftSize / 2 + 1), 0.0f) {
    fftSetup_ = kiss_fftr_alloc(fftSize, 0, nullptr, nullptr);
    if (fftSetup_ == nullptr) {
        std::fputs("Unable to create the audio FFT setup\n", stderr);
        std::abort();
    }
    // Periodic Hann window scaled by 0.8165: first value 0, last value not 0.
    for (int n = 0; n < fftSize; ++n) {
        window_[n] = static_cast<float>(0.8165 * (1.0 - std::cos(2.0 * std::numbers::pi * n / fftSize)));
    }
    for (int band = 0; band < spectrumBandCount; ++band) {
        bands_[band] = bandBins(band);
    }
    samples_.reserve(4096);
}

AudioFrameAnalyzer::~AudioFrameAnalyzer() { kiss_fftr_free(fftSetup_); }

void AudioFrameAnalyzer::beginCapture() {
    std::lock_guard lock(mutex_);
    const double now = clock_.now();
    captureStartTime_ = now;
    lastAudibleSampleTime_ = now;
}

double AudioFrameAnalyzer::secondsUntilSilence() const {
    std::lock_guard lock(mutex_);
    return secondsUntilSilenceLocked(clock_.now());
}

double AudioFrameAnalyzer::secondsUntilSilenceLocked(double now) const {
    return silenceTimeout - (now - std::max(captureStartTime_, lastAudibleSampleTime_));
}

void AudioFrameAnalyzer::reset() {
    std::lock_guard lock(mutex_);
    smoothedLevel_ = 0.0;
    smoothedActivity_ = 0.0;
    std::fill(smoothedSpectrum_.begin(), smoothedSpectrum_.end(), 0.0);
    std::fill(previousSpectrum_.begin(), previousSpectrum_.end(), 0.0);
    sampleAccumulator_.clear();
    fluxBaseline_ = 0.015;
    beatPulse_ = 0.0;
    previousPublishedLevel_ = 0.0;
    lastBeatTime_ = 0.0;
    lastPublishTime_ = 0.0;
}

AudioAnalysisState AudioFrameAnalyzer::state() const {
    std::lock_guard lock(mutex_);
    AudioAnalysisState state;
    state.smoothedLevel = smoothedLevel_;
    state.smoothedActivity = smoothedActivity_;
    state.smoothedSpectrum = smoothedSpectrum_;
    state.previousSpectrum = previousSpectrum_;
    state.accumulatedSampleCount = sampleAccumulator_.size();
    state.fluxBaseline = fluxBaseline_;
    state.beatPulse = beatPulse_;
    state.tempoFactor = tempoFactor_;
    state.previousPublishedLevel = previousPublishedLevel_;
    state.lastBeatTime = lastBeatTime_;
    state.captureStartTime = captureStartTime_;
    state.lastAudibleSampleTime = lastAudibleSampleTime_;
    state.lastPublishTime = lastPublishTime_;
    return state;
}

bool AudioFrameAnalyzer::extract(const AudioSampleBuffer& buffer, double& rms, std::vector<float>& samples) {
    samples.clear();
    if (!buffer.sampleSpec || buffer.sampleSpec->format != SampleFormat::float32) {
        return false;
    }
    const std::uint32_t channels = buffer.sampleSpec->channels;
    const std::size_t divisor = std::max<std::uint32_t>(channels, 1);
    const bool planar = channels < 2 || !buffer.sampleSpec->interleaved;

    float total = 0.0f;
    std::size_t count = 0;
    for (std::size_t k = 0; k < buffer.buffers.size(); ++k) {
        const AudioBufferView& view = buffer.buffers[k];
        if (view.data == nullptr || view.byteSize < sizeof(float)) {
            continue;
        }
        const std::size_t n = view.byteSize / sizeof(float);
        total += sumOfSquares(view.data, n);
        count += n;
        if (k != 0) {
            continue;  // only the list's first buffer supplies samples
        }
        if (planar) {
            samples.resize(n);
            std::memcpy(samples.data(), view.data, n * sizeof(float));
        } else if (channels == 2) {
            // The capture's own layout, unrolled so the loop vectorises.
            const std::size_t frames = n / 2;
            samples.resize(frames);
            for (std::size_t f = 0; f < frames; ++f) {
                samples[f] = (loadFloat(view.data, 2 * f) + loadFloat(view.data, 2 * f + 1)) / 2.0f;
            }
        } else {
            const std::size_t frames = n / divisor;
            samples.resize(frames);
            const float channelCount = static_cast<float>(channels);
            for (std::size_t f = 0; f < frames; ++f) {
                float sum = 0.0f;
                for (std::size_t c = 0; c < divisor; ++c) {
                    sum += loadFloat(view.data, f * divisor + c);
                }
                samples[f] = sum / channelCount;
            }
        }
    }
    // A non-finite sum means an infinite, NaN or overflowing value: such a block would
    // poison every smoothed value for good, so it is dropped like an unusable one.
    if (count < 1 || samples.empty() || !std::isfinite(total)) {
        samples.clear();
        return false;
    }
    rms = static_cast<double>(std::sqrt(total / static_cast<float>(count)));
    return true;
}

std::optional<AudioFrameAnalyzer::AudioData> AudioFrameAnalyzer::audioData(const AudioSampleBuffer& buffer) {
    AudioData data;
    if (!extract(buffer, data.rms, data.samples)) {
        return std::nullopt;
    }
    return data;
}

AudioFrameAnalyzer::BinRange AudioFrameAnalyzer::bandBins(int band) {
    const double low = 45.0 * std::pow(400.0, static_cast<double>(band) / spectrumBandCount);
    const double high = 45.0 * std::pow(400.0, static_cast<double>(band + 1) / spectrumBandCount);
    const int slots = fftSize / 2;
    int lower = static_cast<int>(low * fftSize / analysisSampleRate);
    lower = std::min(std::max(lower, 1), slots - 1);
    int upper = std::max(lower + 1, static_cast<int>(std::ceil(high * fftSize / analysisSampleRate)));
    upper = std::min(upper, slots);
    return {lower, upper};
}

double AudioFrameAnalyzer::targetLevel(double rms) {
    const double decibels = 20.0 * std::log10(std::max(rms, 0.000001));
    return std::pow(clampToRange((decibels + 55.0) / 45.0, 0.0, 1.0), 0.72);
}

double AudioFrameAnalyzer::foldBeatInterval(double interval) {
    if (!(interval > 0.0) || !std::isfinite(interval)) {
        return interval;  // cannot be folded; a beat interval is always > 0.22 s
    }
    while (interval < 0.34) {
        interval *= 2.0;
    }
    while (interval > 0.86) {
        interval /= 2.0;
    }
    return interval;
}

double AudioFrameAnalyzer::tempoForInterval(double interval) {
    return clampToRange((60.0 / foldBeatInterval(interval) - 70.0) / 110.0, 0.0, 1.0);
}

bool AudioFrameAnalyzer::isBeat(double onsetScore, double now, double lastBeatTime) {
    return onsetScore > 0.28 && now - lastBeatTime > 0.22;
}

std::vector<double> AudioFrameAnalyzer::spectrum(std::span<const float> samples) {
    std::lock_guard lock(mutex_);
    std::vector<double> result;
    spectrumLocked(samples, result);
    return result;
}

void AudioFrameAnalyzer::spectrumLocked(std::span<const float> samples, std::vector<double>& out) {
    if (samples.size() != static_cast<std::size_t>(fftSize)) {
        out = previousSpectrum_;
        return;
    }
    for (int n = 0; n < fftSize; ++n) {
        windowed_[n] = samples[n] * window_[n];
    }
    kiss_fftr(fftSetup_, windowed_.data(), reinterpret_cast<kiss_fft_cpx*>(fftOutput_.data()));

    // Doubled magnitudes of bins 1 ... 511, the scale the band constants are calibrated to.
    std::array<float, fftSize / 2> magnitudes;
    magnitudes[0] = 0.0f;  // DC is never read
    for (int k = 1; k < fftSize / 2; ++k) {
        const float re = fftOutput_[2 * k];
        const float im = fftOutput_[2 * k + 1];
        magnitudes[k] = 2.0f * std::sqrt(re * re + im * im);
    }

    out.resize(spectrumBandCount);
    for (int band = 0; band < spectrumBandCount; ++band) {
        const BinRange range = bands_[band];
        if (band > 0 && range == bands_[band - 1]) {
            out[band] = out[band - 1];  // the low bands share bins: same value
            continue;
        }
        float sum = 0.0f;
        for (int k = range.lower; k < range.upper; ++k) {
            sum += magnitudes[k];
        }
        const double mean = static_cast<double>(sum) / (range.upper - range.lower);
        const double scaled = mean * 0.0009765625;
        const double decibels = 20.0 * std::log10(std::max(scaled, 0.0000001));
        const double unit = clampToRange((decibels + 92.0) / 68.0, 0.0, 1.0);
        // pow is the costliest step; 0 and 1 are their own powers.
        out[band] = unit == 0.0 || unit == 1.0 ? unit : std::pow(unit, 0.74);
    }
}

void AudioFrameAnalyzer::handle(const AudioSampleBuffer& buffer, bool captureRequested) {
    if (!captureRequested || !buffer.isValid) {
        return;
    }
    AudioVisualizationFrame frame;
    Outcome outcome;
    {
        std::lock_guard lock(mutex_);
        outcome = handleLocked(buffer, frame);
    }
    // Hooks run outside the lock so that they may stop the capture (and reset) at once.
    if (outcome == Outcome::published && hooks_.publish) {
        hooks_.publish(frame);
    } else if (outcome == Outcome::silent && hooks_.reportFailure) {
        hooks_.reportFailure(AudioCaptureFailure::silentOrProtectedAudio);
    }
}

AudioFrameAnalyzer::Outcome AudioFrameAnalyzer::handleLocked(const AudioSampleBuffer& buffer,
                                                            AudioVisualizationFrame& frame) {
    double rms = 0.0;
    if (!extract(buffer, rms, samples_)) {
        return Outcome::ignored;
    }

    const double target = targetLevel(rms);
    smoothedLevel_ += (target - smoothedLevel_) * (smoothedLevel_ < target ? 0.42 : 0.14);

    const double now = clock_.now();
    if (rms > silenceFloor) {
        lastAudibleSampleTime_ = now;
    } else if (secondsUntilSilenceLocked(now) < 0) {
        return Outcome::silent;
    }

    sampleAccumulator_.append(samples_);

    if (now - lastPublishTime_ < publishInterval) {
        return Outcome::accumulated;
    }
    lastPublishTime_ = now;

    // Band spectrum of the newest window, spectral flux against the previous publish.
    std::array<float, fftSize> window;
    sampleAccumulator_.copyTo(window);
    std::vector<double>& spectrum = bandScratch_;
    spectrumLocked(std::span<const float>(window.data(), sampleAccumulator_.size()), spectrum);

    double flux = 0.0;
    const std::size_t bands = std::min(spectrum.size(), previousSpectrum_.size());
    for (std::size_t i = 0; i < bands; ++i) {
        flux += std::max(spectrum[i] - previousSpectrum_[i], 0.0);
    }
    previousSpectrum_ = spectrum;
    const double normalisedFlux = flux / spectrumBandCount;

    fluxBaseline_ += (normalisedFlux - fluxBaseline_) * 0.045;

    const double levelRise = std::max(smoothedLevel_ - previousPublishedLevel_, 0.0);
    previousPublishedLevel_ = smoothedLevel_;

    const double onset = (normalisedFlux - 1.28 * fluxBaseline_) * 12.0 + 2.8 * levelRise;
    if (isBeat(onset, now, lastBeatTime_)) {
        if (lastBeatTime_ > 0.0) {
            const double tempo = tempoForInterval(now - lastBeatTime_);
            tempoFactor_ += (tempo - tempoFactor_) * 0.24;
        }
        lastBeatTime_ = now;
        beatPulse_ = 1.0;
    } else {
        beatPulse_ *= 0.74;
    }

    const double activity = clampToRange(9.0 * normalisedFlux + 3.2 * levelRise, 0.0, 1.0);
    smoothedActivity_ += (activity - smoothedActivity_) * (smoothedActivity_ < activity ? 0.38 : 0.12);

    for (int i = 0; i < spectrumBandCount; ++i) {
        const double value = spectrum[i];
        smoothedSpectrum_[i] += (value - smoothedSpectrum_[i]) * (smoothedSpectrum_[i] < value ? 0.58 : 0.17);
    }

    const double motionRate = tempoFactor_ * 1.12 + 0.62 + smoothedActivity_ * 0.62 + beatPulse_ * 0.28;

    frame.level = smoothedLevel_;
    frame.motionRate = motionRate;
    frame.beatPulse = beatPulse_;
    frame.spectrum = smoothedSpectrum_;
    return Outcome::published;
}

}  // namespace sonavista
