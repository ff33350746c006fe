#pragma once

#include "base/Clock.h"
#include "preferences/OverlayPreferences.h"
#include "visualizer/ImageBuffer.h"
#include "visualizer/VisualizerModel.h"
#include "visualizer/WaveformInputs.h"
#include "visualizer/WaveformRasterizer.h"

#include <QWidget>
#include <memory>

class QTimer;

namespace sonavista {

// The overlay's content: the waveform drawn from the preferences and the visualizer model,
// repainted at most 30 times a second and only while the view is shown. In fullscreen fog
// mode a faint white tint lies under the wave (the window adds the blurred backdrop).
// The view never takes mouse input.
class VisualizerView final : public QWidget {
    Q_OBJECT
public:
    // Frames are at least this far apart (just over 1/30 s, so never more than 30 a second).
    static constexpr int frameIntervalMilliseconds = 34;
    static constexpr double fogTintOpacity = 0.045;
    // Seconds from 1970-01-01 to 2001-01-01 (UTC), the animation clock's origin.
    static constexpr double referenceDateOffset = 978307200.0;

    // `wallClock` counts seconds since the Unix epoch; a WallClock when absent.
    VisualizerView(std::shared_ptr<OverlayPreferences> preferences, std::shared_ptr<VisualizerModel> model,
                   QWidget* parent = nullptr, std::shared_ptr<const Clock> wallClock = nullptr);
    ~VisualizerView() override;

    // Set by the window when no compositor runs: the panel is opaque then, and a short
    // notice in it tells the user why.
    void setCompositorMissing(bool missing);
    bool isAnimating() const;

    // What the next frame is drawn from.
    WaveformInputs currentInputs() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::shared_ptr<OverlayPreferences> preferences_;
    std::shared_ptr<VisualizerModel> model_;
    std::shared_ptr<const Clock> clock_;
    OverlayPreferences::ObserverToken preferencesToken_ = 0;
    VisualizerModel::ObserverToken modelToken_ = 0;
    QTimer* timer_ = nullptr;
    WaveformRasterizer rasterizer_;
    ImageBuffer image_;
    bool compositorMissing_ = false;
};

}  // namespace sonavista
