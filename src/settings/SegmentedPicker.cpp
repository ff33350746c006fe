#include "settings/SegmentedPicker.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace sonavista {
namespace {

constexpr int controlHeight = 28;
constexpr int segmentPadding = 14;
constexpr int inset = 2;

}  // namespace

SegmentedPicker::SegmentedPicker(QStringList segments, QWidget* parent)
    : QWidget(parent), segments_(std::move(segments)) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void SegmentedPicker::setCurrentIndex(int index) {
    if (index < -1 || index >= count()) index = -1;
    if (index == currentIndex_) return;
    currentIndex_ = index;
    update();
}

QSize SegmentedPicker::sizeHint() const {
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& text : segments_) widest = std::max(widest, metrics.horizontalAdvance(text));
    return {count() * (widest + 2 * segmentPadding) + 2 * inset, controlHeight};
}

QSize SegmentedPicker::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& text : segments_) widest = std::max(widest, metrics.horizontalAdvance(text));
    return {count() * (widest + 12) + 2 * inset, controlHeight};
}

QRect SegmentedPicker::segmentRect(int index) const {
    if (index < 0 || index >= count()) return {};
    const int top = (height() - controlHeight) / 2;
    const int inner = width() - 2 * inset;
    const int left = inset + inner * index / count();
    const int right = inset + inner * (index + 1) / count();
    return {left, top + inset, right - left, controlHeight - 2 * inset};
}

int SegmentedPicker::segmentAt(const QPoint& position) const {
    for (int index = 0; index < count(); ++index) {
        if (segmentRect(index).contains(position)) return index;
    }
    return -1;
}

void SegmentedPicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.5);
    const QPalette& colors = palette();

    const QRectF track(0.5, (height() - controlHeight) / 2.0 + 0.5, width() - 1.0, controlHeight - 1.0);
    QColor trackFill = colors.color(QPalette::Text);
    trackFill.setAlphaF(0.07f);
    QColor trackLine = colors.color(QPalette::Text);
    trackLine.setAlphaF(0.12f);
    painter.setPen(QPen(trackLine, 1));
    painter.setBrush(trackFill);
    painter.drawRoundedRect(track, 7, 7);

    // Thin separators between neighbouring segments that are both unselected.
    QColor separator = colors.color(QPalette::Text);
    separator.setAlphaF(0.16f);
    for (int index = 1; index < count(); ++index) {
        if (index == currentIndex_ || index - 1 == currentIndex_) continue;
        const QRect left = segmentRect(index);
        painter.setPen(QPen(separator, 1));
        painter.drawLine(QPointF(left.left() + 0.5, left.top() + 5), QPointF(left.left() + 0.5, left.bottom() - 4));
    }

    for (int index = 0; index < count(); ++index) {
        const QRectF segment = QRectF(segmentRect(index)).adjusted(0.5, 0.5, -0.5, -0.5);
        const bool selected = index == currentIndex_;
        if (selected) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 0, 0, 28));
            painter.drawRoundedRect(segment.translated(0, 0.7), 5.5, 5.5);
            painter.setBrush(colors.color(QPalette::Base));
            painter.setPen(QPen(trackLine, 0.8));
            painter.drawRoundedRect(segment, 5.5, 5.5);
        } else if (index == pressedIndex_) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(trackLine);
            painter.drawRoundedRect(segment, 5.5, 5.5);
        }
        QFont textFont = font();
        textFont.setWeight(selected ? QFont::DemiBold : QFont::Normal);
        painter.setFont(textFont);
        painter.setPen(colors.color(QPalette::Text));
        const QString text = QFontMetrics(textFont).elidedText(segments_[index], Qt::ElideRight,
                                                               static_cast<int>(segment.width()) - 8);
        painter.drawText(segment, Qt::AlignCenter, text);
    }

    if (focusVisible_ && hasFocus()) {
        QColor ring = colors.color(QPalette::Highlight);
        ring.setAlphaF(0.55f);
        painter.setPen(QPen(ring, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), 7.5, 7.5);
    }
}

void SegmentedPicker::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    pressedIndex_ = segmentAt(event->position().toPoint());
    update();
}

void SegmentedPicker::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    const int pressed = pressedIndex_;
    pressedIndex_ = -1;
    update();
    // A click counts when the button goes up over the segment it went down on.
    if (pressed >= 0 && pressed == segmentAt(event->position().toPoint())) emit activated(pressed);
}

void SegmentedPicker::keyPressEvent(QKeyEvent* event) {
    int step = 0;
    if (event->key() == Qt::Key_Left) step = layoutDirection() == Qt::RightToLeft ? 1 : -1;
    if (event->key() == Qt::Key_Right) step = layoutDirection() == Qt::RightToLeft ? -1 : 1;
    if (step == 0 || count() == 0) return QWidget::keyPressEvent(event);
    const int next = std::clamp(currentIndex_ + step, 0, count() - 1);
    if (next != currentIndex_) emit activated(next);
}

void SegmentedPicker::focusInEvent(QFocusEvent* event) {
    focusVisible_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    update();
    QWidget::focusInEvent(event);
}

void SegmentedPicker::focusOutEvent(QFocusEvent* event) {
    focusVisible_ = false;
    update();
    QWidget::focusOutEvent(event);
}

}  // namespace sonavista
