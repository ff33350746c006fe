#include "visualizer/VisualizerView.h"

#include "base/WallClock.h"
#include "visualizer/WaveformScene.h"

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <cmath>
#include <cstdint>

namespace sonavista {

VisualizerView::VisualizerView(std::shared_ptr<OverlayPreferences> preferences,
                               std::shared_ptr<VisualizerModel> model, QWidget* parent,
                               std::shared_ptr<const Clock> wallClock)
    : QWidget(parent),
      preferences_(std::move(preferences)),
      model_(std::move(model)),
      clock_(wallClock ? std::move(wallClock) : std::make_shared<WallClock>()) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);

    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(frameIntervalMilliseconds);
    connect(timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));

    // A published change shows at once instead of at the next tick (update() does nothing
    // while the view is hidden). The observers go away with the view.
    const QPointer<VisualizerView> self(this);
    preferencesToken_ = preferences_->addObserver([self](OverlayPreferences::Property) {
        if (self) {
            self->update();
        }
    });
    modelToken_ = model_->addObserver([self](VisualizerModel::Property) {
        if (self) {
            self->update();
        }
    });
}

VisualizerView::~VisualizerView() {
    preferences_->removeObserver(preferencesToken_);
    model_->removeObserver(modelToken_);
}

void VisualizerView::setCompositorMissing(bool missing) {
    compositorMissing_ = missing;
    update();
}

bool VisualizerView::isAnimating() const {
    return timer_->isActive();
}

WaveformInputs VisualizerView::currentInputs() const {
    WaveformInputs inputs;
    inputs.panelWidth = width();
    inputs.panelHeight = height();
    inputs.time = clock_->now() - referenceDateOffset;
    inputs.color = preferences_->color();
    inputs.audioResponsive = preferences_->audioResponsive();
    inputs.displayMode = preferences_->displayMode();
    inputs.audioLevel = model_->audioLevel();
    inputs.motionRate = model_->motionRate();
    inputs.beatPulse = model_->beatPulse();
    inputs.spectrum = model_->spectrum();
    return inputs;
}

void VisualizerView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_->start();
}

void VisualizerView::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

void VisualizerView::paintEvent(QPaintEvent*) {
    const WaveformInputs inputs = currentInputs();
    const auto scene = WaveformScene::make(inputs);
    const double ratio = devicePixelRatioF();
    // The rasterizer composites the wave over the background pixel, so the frame is copied
    // to the window as it is, without clearing or blending the whole panel again.
    std::uint32_t background = 0;  // transparent
    if (compositorMissing_) {
        background = 0xff000000u;  // the window is opaque anyway: say so with black
    } else if (inputs.displayMode == OverlayDisplayMode::fullscreenFog) {
        const auto tint = static_cast<std::uint32_t>(std::lround(fogTintOpacity * 255.0));  // premultiplied white
        background = (tint << 24) | (tint << 16) | (tint << 8) | tint;
    }
    rasterizer_.render(scene, image_, ratio, background);

    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    QImage frame(reinterpret_cast<const uchar*>(image_.data()), image_.width(), image_.height(),
                 static_cast<qsizetype>(image_.bytesPerLine()), QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    painter.drawImage(QPointF(0, 0), frame);

    if (compositorMissing_) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        QFont font = painter.font();
        font.setPointSizeF(9.0);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255, 200));
        painter.drawText(rect().adjusted(8, 4, -8, -4), Qt::AlignLeft | Qt::AlignTop,
                         tr("No compositor is running, so the overlay cannot be transparent. "
                            "Install and start one (for example picom)."));
    }
}

}  // namespace sonavista
