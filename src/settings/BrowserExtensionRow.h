#pragma once

#include "settings/BrowserExtensionStatus.h"

#include <QWidget>

class QLabel;
class QTimer;

namespace sonavista {

// The Browser Players section's line about the extension and its set-up button. The line is
// read again once a second while the row is shown.
class BrowserExtensionRow : public QWidget {
    Q_OBJECT
public:
    explicit BrowserExtensionRow(BrowserExtensionStatus status, QWidget* parent = nullptr);

    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    BrowserExtensionStatus status_;
    QLabel* text_;
    QTimer* timer_;
};

}  // namespace sonavista
