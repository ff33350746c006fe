#pragma once

#include "playback/MusicPlayer.h"
#include "settings/BrowserExtensionStatus.h"
#include "preferences/OverlayPreferences.h"
#include "settings/SettingsActions.h"
#include "settings/SettingsTab.h"
#include "settings/SettingsViewState.h"
#include "visualizer/VisualizerModel.h"

#include <QWidget>

#include <map>
#include <memory>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QVBoxLayout;

namespace sonavista {

class OtherPlayersList;
class SegmentedPicker;
class SwatchGrid;
class ToggleSwitch;

// The content of the settings window: four tabs (Waveform, Players, Audio, General) showing
// the shared preferences and the visualizer's capture status. It reads both directly and
// follows every change, whoever made it; it never writes a preference itself, but hands each
// user choice to the matching `SettingsActions` callback and then shows whatever the
// preferences hold afterwards.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    SettingsView(std::shared_ptr<OverlayPreferences> preferences, std::shared_ptr<VisualizerModel> visualizerModel,
                 SettingsActions actions, bool launchAtLoginEnabled, QWidget* parent = nullptr);
    ~SettingsView() override;

    SettingsTab selectedTab() const;
    void setSelectedTab(SettingsTab tab);
    bool launchAtLoginEnabled() const { return launchAtLoginEnabled_; }
    // What the view currently shows from the preferences and the model.
    const SettingsViewState& state() const { return state_; }
    // Adds the extension's status line and set-up button to the Browser Players section.
    void showBrowserExtensionStatus(BrowserExtensionStatus status);

    QSize sizeHint() const override;

    // Lines above the tabs saying what keeps the overlay or the tray icon from the desktop
    // (shown only when `text` is not empty).
    void showNotice(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeTabPage(const std::vector<QWidget*>& sections);
    QWidget* makeSection(const QString& title, QLayout* content);
    ToggleSwitch* addSwitchRow(QVBoxLayout* layout, const QString& text, const QString& name);
    QWidget* makeDisplayTab();
    QWidget* makePlayersTab();
    QWidget* makeAudioTab();
    QWidget* makeGeneralTab();
    void addPlayerRows(QVBoxLayout* layout, const std::vector<MusicPlayer>& players);
    QWidget* makeOtherPlayersSection();

    // Re-reads the preferences and the model and updates every control.
    void refresh();
    // Runs one of the delegate's actions, when it is set, then shows the state it leaves.
    template <typename Action, typename... Args>
    void perform(const Action& action, Args&&... args) {
        if (action) action(std::forward<Args>(args)...);
        refresh();
    }
    // Coalesces the model's bursts of notifications (several per live frame) into one update
    // after the model has stored the new values.
    void scheduleAudioStatusRefresh();
    void applyAudioStatus();
    // Whether the window is on the screen; the audio row follows the model only then and
    // catches up when the window appears.
    bool audioRowShown() const;
    QColor secondaryColor() const;

    std::shared_ptr<OverlayPreferences> preferences_;
    std::shared_ptr<VisualizerModel> visualizerModel_;
    SettingsActions actions_;
    bool launchAtLoginEnabled_;
    SettingsViewState state_;
    OverlayPreferences::ObserverToken preferencesToken_ = 0;
    VisualizerModel::ObserverToken modelToken_ = 0;
    bool audioStatusRefreshPending_ = false;

    QTabWidget* tabs_ = nullptr;
    ToggleSwitch* overlayEnabledSwitch_ = nullptr;
    ToggleSwitch* autoShowSwitch_ = nullptr;
    ToggleSwitch* avoidsCoveringWindowsSwitch_ = nullptr;
    ToggleSwitch* audioResponsiveSwitch_ = nullptr;
    ToggleSwitch* playingPlayerOnlySwitch_ = nullptr;
    QLabel* listeningLabel_ = nullptr;
    QSpinBox* audioDelayOffsetBox_ = nullptr;
    ToggleSwitch* launchAtLoginSwitch_ = nullptr;
    SegmentedPicker* displayModePicker_ = nullptr;
    SegmentedPicker* positionPicker_ = nullptr;
    QLabel* positionLabel_ = nullptr;
    std::vector<SwatchGrid*> swatchGrids_;
    std::map<MusicPlayer, ToggleSwitch*> playerSwitches_;
    QLabel* noticeLabel_ = nullptr;
    QVBoxLayout* browserPlayers_ = nullptr;
    OtherPlayersList* otherPlayersList_ = nullptr;
    QLabel* audioStatusSymbol_ = nullptr;
    QLabel* audioStatusText_ = nullptr;
    QPushButton* retryButton_ = nullptr;
    QPushButton* systemPermissionsButton_ = nullptr;
    QLabel* settingsFileLabel_ = nullptr;
};

}  // namespace sonavista
