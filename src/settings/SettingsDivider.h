#pragma once

#include <QFrame>
#include <QPalette>

namespace sonavista {

// The faint one-pixel line between rows of a settings section.
inline QFrame* makeSettingsDivider(QWidget* parent = nullptr) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    QPalette palette = line->palette();
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.12f);
    palette.setColor(QPalette::WindowText, color);
    line->setPalette(palette);
    return line;
}

}  // namespace sonavista
