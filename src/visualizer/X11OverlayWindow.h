#pragma once

#include "visualizer/OverlayPanel.h"

#include <QWidget>
#include <memory>

namespace sonavista {

class OverlayPreferences;
class VisualizerModel;
class VisualizerView;

// The overlay panel on X11: a frameless, translucent top-level window that ignores the
// pointer (empty input shape), never takes focus, lies on every desktop, is skipped by
// task bars and pagers, and stays above ordinary windows or below all of them. Its window
// class is "sonavista" and its title "Sonavista Overlay".
//
// Translucency needs a compositing manager (the owner of the _NET_WM_CM_S<screen>
// selection). Without one the window still works but is drawn opaque, and the view paints
// a short notice into it so the user sees why.
class X11OverlayWindow final : public QWidget, public OverlayPanel {
    Q_OBJECT
public:
    static constexpr const char* windowClass = "sonavista";
    static constexpr const char* windowTitle = "Sonavista Overlay";

    X11OverlayWindow(std::shared_ptr<OverlayPreferences> preferences, std::shared_ptr<VisualizerModel> model,
                     QWidget* parent = nullptr);
    ~X11OverlayWindow() override;

    void setLevel(OverlayWindowLevel level) override;
    void setFrostedBackdrop(bool enabled) override;
    void setFrame(const PixelRect& frame) override;
    void orderFront() override;
    void orderOut() override;
    bool isVisible() const override;
    bool hasCompositor() const override;

    // Whether the compositor announces blur-behind support (_KDE_NET_WM_BLUR_BEHIND_REGION).
    bool compositorOffersBlur() const;
    // The X11 window id.
    unsigned long x11Window() const { return nativeWindow(); }
    VisualizerView* view() const { return view_; }

private:
    unsigned long nativeWindow() const;
    void applyWindowProperties();
    void restack();
    void applyBlurHint();

    VisualizerView* view_ = nullptr;
    OverlayWindowLevel level_ = OverlayWindowLevel::belowDesktopIcons;
    bool frostedBackdrop_ = false;
};

}  // namespace sonavista
