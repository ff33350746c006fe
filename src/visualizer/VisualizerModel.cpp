#include "visualizer/VisualizerModel.h"

#include "base/ClampToRange.h"

#include <utility>

namespace sonavista {

void VisualizerModel::setAudioLevel(double value) {
    observers_.notify(Property::audioLevel);
    audioLevel_ = value;
}

void VisualizerModel::setMotionRate(double value) {
    observers_.notify(Property::motionRate);
    motionRate_ = value;
}

void VisualizerModel::setBeatPulse(double value) {
    observers_.notify(Property::beatPulse);
    beatPulse_ = value;
}

void VisualizerModel::setSpectrum(std::vector<double> value) {
    observers_.notify(Property::spectrum);
    spectrum_ = std::move(value);
}

void VisualizerModel::setCaptureStatus(AudioCaptureStatus value) {
    observers_.notify(Property::captureStatus);
    captureStatus_ = value;
}

void VisualizerModel::setListeningTo(std::optional<std::string> playerName) {
    if (playerName == listeningTo_) return;
    observers_.notify(Property::listeningTo);
    listeningTo_ = std::move(playerName);
}

void VisualizerModel::updateLiveFrame(const AudioVisualizationFrame& frame) {
    setCaptureStatus(AudioCaptureStatus::live);
    setAudioLevel(clampToRange(frame.level, 0.0, 1.0));
    setMotionRate(clampToRange(frame.motionRate, 0.55, 2.8));
    setBeatPulse(clampToRange(frame.beatPulse, 0.0, 1.0));
    // Stored in place: a frame of the same band count allocates nothing.
    observers_.notify(Property::spectrum);
    spectrum_.resize(frame.spectrum.size());
    for (std::size_t i = 0; i < spectrum_.size(); ++i) {
        spectrum_[i] = clampToRange(frame.spectrum[i], 0.0, 1.0);
    }
}

void VisualizerModel::showFallbackLevel() {
    setAudioLevel(fallbackLevel_);
    setMotionRate(fallbackLevel_ * 0.72 + 0.82);
    setBeatPulse(0.0);
    setSpectrum({});
}

void VisualizerModel::updateFallbackLevel(double level) {
    fallbackLevel_ = clampToRange(level, 0.0, 1.0);
    if (captureStatus_ == AudioCaptureStatus::live) {
        return;
    }
    showFallbackLevel();
}

void VisualizerModel::useFallbackAudio(std::optional<AudioCaptureFailure> failure) {
    AudioCaptureStatus status = AudioCaptureStatus::fallback;
    if (failure == AudioCaptureFailure::permissionRequired) {
        status = AudioCaptureStatus::permissionRequired;
    } else if (failure == AudioCaptureFailure::silentOrProtectedAudio) {
        status = AudioCaptureStatus::protectedAudio;
    }
    setCaptureStatus(status);
    showFallbackLevel();
}

void VisualizerModel::pause() {
    setCaptureStatus(AudioCaptureStatus::waiting);
    setAudioLevel(0.0);
    setMotionRate(0.7);
    setBeatPulse(0.0);
    setSpectrum({});
}

}  // namespace sonavista
