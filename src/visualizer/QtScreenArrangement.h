#pragma once

#include "visualizer/PixelRect.h"
#include "visualizer/ScreenArrangement.h"

#include <QObject>

class QScreen;

namespace sonavista {

// The screens as Qt reports them (full and available geometry, primary screen, cursor),
// with one change notification for screens added, removed, resized or re-arranged.
//
// On Wayland Qt knows the pointer only over its own windows, so there the "pointer" is the
// centre of the output the compositor last put the overlay on (setWorkingOutput), and unknown
// (the main screen is taken) until it has done so.
class QtScreenArrangement final : public QObject, public ScreenArrangement {
    Q_OBJECT
public:
    explicit QtScreenArrangement(QObject* parent = nullptr);

    std::vector<OverlayScreen> screens() const override;
    std::optional<std::size_t> mainScreen() const override;
    std::optional<OverlayPoint> pointer() const override;
    void setChangeHandler(std::function<void()> handler) override;

    // The output (global logical rectangle) where the compositor shows the overlay, taken as
    // where the user works; a change notifies like a screen change.
    void setWorkingOutput(const PixelRect& output);

private:
    void watch(QScreen* screen);
    void changed();

    std::function<void()> handler_;
    std::optional<PixelRect> workingOutput_;
};

}  // namespace sonavista
