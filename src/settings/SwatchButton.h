#pragma once

#include "preferences/WaveColor.h"

#include <QAbstractButton>

namespace sonavista {

// One colour preset of the palette: a rounded bar filled with the preset's colours from the
// leading to the trailing edge, with its name below. The preset in use is outlined in the
// accent colour. The whole cell reacts to clicks; the name is also its tool tip.
class SwatchButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int barHeight = 24;
    static constexpr int barRadius = 5;
    static constexpr int nameSpacing = 5;

    explicit SwatchButton(WaveColor preset, QWidget* parent = nullptr);

    WaveColor preset() const { return preset_; }
    // Whether this is the preset in use (drawn with the accent outline).
    bool isCurrent() const { return current_; }
    void setCurrent(bool current);

    // The font of the name: a step smaller than the window's text.
    QFont nameFont() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    WaveColor preset_;
    bool current_ = false;
};

}  // namespace sonavista
