#include "settings/ToggleSwitch.h"

#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>

namespace sonavista {
namespace {

constexpr int trackWidth = 40;
constexpr int trackHeight = 22;
constexpr int knobInset = 2;

}  // namespace

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const {
    return {trackWidth + 4, trackHeight + 4};
}

QSize ToggleSwitch::minimumSizeHint() const {
    return sizeHint();
}

bool ToggleSwitch::hitButton(const QPoint& position) const {
    return rect().contains(position);
}

void ToggleSwitch::focusInEvent(QFocusEvent* event) {
    focusVisible_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void ToggleSwitch::focusOutEvent(QFocusEvent* event) {
    focusVisible_ = false;
    QAbstractButton::focusOutEvent(event);
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.45);

    const QRectF track(QPointF((width() - trackWidth) / 2.0, (height() - trackHeight) / 2.0),
                       QSizeF(trackWidth, trackHeight));
    const qreal radius = trackHeight / 2.0;
    const QPalette& colors = palette();

    QColor trackColor = isChecked() ? colors.color(QPalette::Highlight) : colors.color(QPalette::Mid);
    if (!isChecked()) trackColor.setAlphaF(0.55f);
    if (isDown()) trackColor = trackColor.darker(112);
    painter.setPen(Qt::NoPen);
    painter.setBrush(trackColor);
    painter.drawRoundedRect(track, radius, radius);

    const qreal knobDiameter = trackHeight - 2 * knobInset;
    const qreal knobX = isChecked() ? track.right() - knobInset - knobDiameter : track.left() + knobInset;
    const QRectF knob(knobX, track.top() + knobInset, knobDiameter, knobDiameter);
    // A soft shadow under the knob so it reads as raised on both track colours.
    painter.setBrush(QColor(0, 0, 0, 40));
    painter.drawEllipse(knob.translated(0, 0.8).adjusted(-0.4, -0.4, 0.4, 0.4));
    painter.setBrush(QColor(255, 255, 255));
    painter.drawEllipse(knob);

    if (focusVisible_ && hasFocus()) {
        QColor ring = colors.color(QPalette::Highlight);
        ring.setAlphaF(0.5f);
        painter.setPen(QPen(ring, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-1.5, -1.5, 1.5, 1.5), radius + 1.5, radius + 1.5);
    }
}

}  // namespace sonavista
