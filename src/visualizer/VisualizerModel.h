#pragma once

#include "audio/AudioCaptureFailure.h"
#include "audio/AudioVisualizationFrame.h"
#include "base/FrameTicks.h"
#include "base/ObserverList.h"
#include "visualizer/AudioCaptureStatus.h"

#include <optional>
#include <string>
#include <vector>

namespace sonavista {

// The values the waveform renderer draws from and the capture status the menu and the
// settings window show. Live frames replace the values after clamping; without live audio
// the model holds a fixed level taken from the player's volume.
//
// Observable: every assignment of an observable property notifies the observers with the
// property's name *before* the new value is stored (also when it equals the old one), so an
// operation that assigns several properties notifies once per assignment, in order.
// Observers that want the new values read them later (e.g. on their next draw) or after the
// operation returns. Observers are called in the order they were added. Main thread only.
class VisualizerModel {
public:
    enum class Property { audioLevel, motionRate, beatPulse, spectrum, captureStatus, listeningTo };
    using Observer = ObserverList<Property>::Observer;
    using ObserverToken = ObserverList<Property>::Token;

    static constexpr double initialLevel = 0.48;

    VisualizerModel() = default;
    VisualizerModel(const VisualizerModel&) = delete;
    VisualizerModel& operator=(const VisualizerModel&) = delete;

    ObserverToken addObserver(Observer observer) { return observers_.add(std::move(observer)); }
    // Unknown tokens are ignored; safe to call from inside a notification.
    void removeObserver(ObserverToken token) { observers_.remove(token); }

    void updateLiveFrame(const AudioVisualizationFrame& frame);
    void updateFallbackLevel(double level);
    // An absent failure: audio response switched off or capture not wanted.
    void useFallbackAudio(std::optional<AudioCaptureFailure> failure);
    void pause();
    // Whose sound the capture records: the playing player's alone (its name) or everything
    // the computer plays (nothing). Notifies only when it changes.
    void setListeningTo(std::optional<std::string> playerName);

    double audioLevel() const { return audioLevel_; }
    double motionRate() const { return motionRate_; }
    double beatPulse() const { return beatPulse_; }
    const std::vector<double>& spectrum() const { return spectrum_; }
    AudioCaptureStatus captureStatus() const { return captureStatus_; }
    double fallbackLevel() const { return fallbackLevel_; }
    const std::optional<std::string>& listeningTo() const { return listeningTo_; }

    // The clock of the renderer that draws this model on a timer of its own: a live source
    // may hand its values over at each tick instead of as they come.
    FrameTicks& frameTicks() { return frameTicks_; }

private:
    void setAudioLevel(double value);
    void setMotionRate(double value);
    void setBeatPulse(double value);
    void setSpectrum(std::vector<double> value);
    void setCaptureStatus(AudioCaptureStatus value);
    void showFallbackLevel();

    double audioLevel_ = initialLevel;
    double motionRate_ = 1.0;
    double beatPulse_ = 0.0;
    std::vector<double> spectrum_;
    AudioCaptureStatus captureStatus_ = AudioCaptureStatus::waiting;
    double fallbackLevel_ = initialLevel;
    std::optional<std::string> listeningTo_;

    ObserverList<Property> observers_;
    FrameTicks frameTicks_;
};

}  // namespace sonavista
