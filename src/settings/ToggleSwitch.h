#pragma once

#include <QAbstractButton>

namespace sonavista {

// An on/off switch: a rounded track in the accent colour when on, with a round knob that sits
// at the trailing end when on and at the leading end when off. Clicking or pressing Space
// toggles it and emits `toggled` and `clicked`.
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The focus ring is drawn only when focus came from the keyboard.
    bool focusVisible_ = false;
};

}  // namespace sonavista
