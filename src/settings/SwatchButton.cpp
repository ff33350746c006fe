#include "settings/SwatchButton.h"

#include <QLinearGradient>
#include <QPainter>

#include <cmath>

namespace sonavista {
namespace {

QColor toQColor(const RGBColor& color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.alpha));
}

QString nameOf(WaveColor preset) {
    const auto name = displayName(preset);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

SwatchButton::SwatchButton(WaveColor preset, QWidget* parent) : QAbstractButton(parent), preset_(preset) {
    setText(nameOf(preset));
    setToolTip(text());
    setAccessibleName(text());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void SwatchButton::setCurrent(bool current) {
    if (current == current_) return;
    current_ = current;
    update();
}

QFont SwatchButton::nameFont() const {
    QFont caption = font();
    if (caption.pointSizeF() > 0) caption.setPointSizeF(caption.pointSizeF() * 0.85);
    else caption.setPixelSize(std::max(8, static_cast<int>(caption.pixelSize() * 0.85)));
    return caption;
}

QSize SwatchButton::sizeHint() const {
    return {88, barHeight + nameSpacing + QFontMetrics(nameFont()).height()};
}

QSize SwatchButton::minimumSizeHint() const {
    return sizeHint();
}

bool SwatchButton::hitButton(const QPoint& position) const {
    return rect().contains(position);
}

void SwatchButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();

    const QRectF bar(1, 1, width() - 2, barHeight - 2);
    const auto stops = colors(preset_);
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    if (stops.size() == 1) {
        gradient.setColorAt(0, toQColor(stops[0]));
        gradient.setColorAt(1, toQColor(stops[0]));
    } else {
        for (std::size_t index = 0; index < stops.size(); ++index) {
            gradient.setColorAt(static_cast<qreal>(index) / static_cast<qreal>(stops.size() - 1),
                                toQColor(stops[index]));
        }
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(bar, barRadius, barRadius);

    if (current_) {
        painter.setPen(QPen(pal.color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bar, barRadius, barRadius);
    } else {
        QColor outline = pal.color(QPalette::WindowText);
        outline.setAlphaF(0.16f);
        painter.setPen(QPen(outline, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bar.adjusted(0.5, 0.5, -0.5, -0.5), barRadius, barRadius);
    }
    if (isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 40));
        painter.drawRoundedRect(bar, barRadius, barRadius);
    }

    // The name on one line: shrink it down to three quarters of its size before eliding.
    QFont caption = nameFont();
    const qreal available = width() - 2;
    const QString name = text();
    const qreal natural = QFontMetricsF(caption).horizontalAdvance(name);
    if (natural > available && natural > 0) {
        const qreal factor = std::max(0.75, available / natural);
        if (caption.pointSizeF() > 0) caption.setPointSizeF(caption.pointSizeF() * factor);
        else caption.setPixelSize(std::max(6, static_cast<int>(std::floor(caption.pixelSize() * factor))));
    }
    painter.setFont(caption);
    painter.setPen(pal.color(QPalette::WindowText));
    const QFontMetrics metrics(caption);
    const QRectF nameArea(1, barHeight + nameSpacing, available, height() - barHeight - nameSpacing);
    painter.drawText(nameArea, Qt::AlignLeft | Qt::AlignTop,
                     metrics.elidedText(name, Qt::ElideRight, static_cast<int>(available)));

    if (hasFocus()) {
        QColor ring = pal.color(QPalette::Highlight);
        ring.setAlphaF(0.5f);
        painter.setPen(QPen(ring, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bar.adjusted(-1, -1, 1, 1), barRadius + 1, barRadius + 1);
    }
}

}  // namespace sonavista
