#pragma once

#include "visualizer/ScreenArrangement.h"

#include <QObject>

class QScreen;

namespace sonavista {

// The screens as Qt reports them (full and available geometry, primary screen, cursor),
// with one change notification for screens added, removed, resized or re-arranged.
class QtScreenArrangement final : public QObject, public ScreenArrangement {
    Q_OBJECT
public:
    explicit QtScreenArrangement(QObject* parent = nullptr);

    std::vector<OverlayScreen> screens() const override;
    std::optional<std::size_t> mainScreen() const override;
    std::optional<OverlayPoint> pointer() const override;
    void setChangeHandler(std::function<void()> handler) override;

private:
    void watch(QScreen* screen);
    void changed();

    std::function<void()> handler_;
};

}  // namespace sonavista
