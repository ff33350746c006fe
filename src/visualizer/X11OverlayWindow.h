#pragma once

#include "visualizer/OverlayPanel.h"

#include <QWidget>
#include <memory>

class QSocketNotifier;
class QTimer;
struct _XDisplay;

namespace sonavista {

class OverlayPreferences;
class VisualizerModel;
class VisualizerView;

// The overlay panel on X11: a translucent window that ignores the pointer (empty input shape)
// and never takes focus. Normally an override-redirect window that no window manager frames,
// groups, focuses or lists (a frame would have an input region of its own and swallow
// clicks), so it lies on every desktop by construction and is stacked here: floating, above
// every managed window; on the desktop layer, just above the desktop window(s) and below
// every other window. It watches the screen's stacking on a connection of its own and
// restacks itself whenever the window manager moves a window past it. Under Mutter, whose
// compositor draws unmanaged windows above everything, a managed undecorated window with
// sticky, skip-taskbar/pager and above/below states instead. Its window class is "sonavista"
// and its title "Sonavista Overlay".
//
// Translucency needs a compositing manager (the owner of the _NET_WM_CM_S<screen>
// selection). Without one the window still works but is drawn opaque, and the view paints
// a short notice into it so the user sees why. The selection is watched, so a compositor
// started or stopped while the band is shown takes or brings back the notice at once.
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
    void showPanel() override;
    void hidePanel() override;
    bool isVisible() const override;
    // From now on every level is the desktop layer (see PlatformChoice::belowWindowsOnly).
    void keepBelowWindows() { belowWindowsOnly_ = true; }
    // Whether a compositing manager runs; without one the window cannot be translucent and
    // the view says so on an opaque band.
    bool hasCompositor() const;

    // Whether the compositor announces blur-behind support (_KDE_NET_WM_BLUR_BEHIND_REGION).
    bool compositorOffersBlur() const;
    // The X11 window id.
    unsigned long x11Window() const { return nativeWindow(); }
    VisualizerView* view() const { return view_; }

private:
    unsigned long nativeWindow() const;
    void applyWindowProperties();
    void watchStacking();
    void readStackingEvents();
    void restack();
    void compositorDidChange();
    void applyBlurHint();

    VisualizerView* view_ = nullptr;
    _XDisplay* stackingDisplay_ = nullptr;  // ours, not Qt's: selects the root window's events
    QSocketNotifier* stackingEvents_ = nullptr;
    QTimer* stackingCheck_ = nullptr;
    int fixesEventBase_ = -1;  // of the XFixes extension on stackingDisplay_; -1 without it
    bool managed_ = false;  // by the window manager, instead of override-redirect
    bool belowWindowsOnly_ = false;  // every level drawn as the desktop layer (XWayland on GNOME)
    OverlayWindowLevel level_ = OverlayWindowLevel::desktopLayer;
    bool frostedBackdrop_ = false;
    PixelRect frame_{};  // the last frame asked for, in logical pixels
};

}  // namespace sonavista
