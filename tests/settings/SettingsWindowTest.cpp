#include "preferences/MemorySettingsStore.h"
#include "settings/AudioStatusRow.h"
#include "settings/BrowserExtensionRow.h"
#include "settings/SegmentedPicker.h"
#include "settings/SettingsSymbol.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindowController.h"
#include "settings/SwatchButton.h"
#include "settings/ToggleSwitch.h"
#include "support/ImageComparison.h"
#include "support/QtTestApplication.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace sonavista {
namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::qtTestApplication(); }

    // Records its name and writes the preference as the application does, so controls show it.
    template <typename... Args, typename Setter = std::nullptr_t>
    std::function<void(Args...)> record(const std::string& name, Setter setter = nullptr) {
        return [this, name, setter](Args... args) {
            calls.push_back(name);
            if constexpr (!std::is_same_v<Setter, std::nullptr_t>) std::invoke(setter, *preferences, args...);
        };
    }

    SettingsActions recordingActions() {
        using P = OverlayPreferences;
        SettingsActions actions;
        actions.setOverlayEnabled = record<bool>("setOverlayEnabled", &P::setOverlayEnabled);
        actions.setAutoShow = record<bool>("setAutoShow", &P::setAutoShow);
        actions.setAvoidsCoveringWindows = record<bool>("setAvoidsCoveringWindows", &P::setAvoidsCoveringWindows);
        actions.setAudioResponsive = record<bool>("setAudioResponsive", &P::setAudioResponsive);
        actions.setDisplayMode = record<OverlayDisplayMode>("setDisplayMode", &P::setDisplayMode);
        actions.setPosition = record<OverlayPosition>("setPosition", &P::setPosition);
        actions.setColor = record<WaveColor>("setColor", &P::setColor);
        actions.setPlayerEnabled = record<MusicPlayer, bool>("setPlayerEnabled", &P::setPlayer);
        actions.setOtherPlayerEnabled = record<const std::string&, bool>("setOtherPlayerEnabled", &P::setOtherPlayer);
        actions.retryAudioCapture = record<>("retryAudioCapture");
        actions.openAudioCaptureSettings = record<>("openAudioCaptureSettings");
        actions.setLaunchAtLogin = [this](bool enabled) {
            calls.push_back(enabled ? "setLaunchAtLogin(true)" : "setLaunchAtLogin(false)");
            return loginItemAnswer;
        };
        return actions;
    }

    std::shared_ptr<SettingsWindowController> makeWindow(bool launchAtLogin = false,
                                                         BrowserExtensionStatus extension = {}) {
        auto controller = std::dynamic_pointer_cast<SettingsWindowController>(
            SettingsWindowController::factory(preferences, model, extension)(recordingActions(), launchAtLogin));
        controller->present();
        return controller;
    }

    template <typename T>
    static T* find(const SettingsWindowController& controller, const QString& name) {
        auto* widget = controller.window()->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    static void clickSegment(SegmentedPicker& picker, int index) {
        const QPointF center = QRectF(picker.segmentRect(index)).center();
        const QPointF global = picker.mapToGlobal(center);
        QMouseEvent press(QEvent::MouseButtonPress, center, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&picker, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, center, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&picker, &release);
    }

    std::vector<std::string> takeCalls() { return std::exchange(calls, {}); }

    std::shared_ptr<MemorySettingsStore> store = std::make_shared<MemorySettingsStore>();
    std::shared_ptr<OverlayPreferences> preferences = OverlayPreferences::create(store);
    std::shared_ptr<VisualizerModel> model = std::make_shared<VisualizerModel>();
    std::vector<std::string> calls;
    bool loginItemAnswer = false;
};

TEST_F(SettingsWindowTest, ButtonsCallTheirActionAndSwitchesShowThePreference) {
    const std::pair<const char*, std::string> cases[] = {
        {"retryButton", "retryAudioCapture"},  // before audio response is switched off
        {"systemPermissionsButton", "openAudioCaptureSettings"},
        {"overlayEnabledSwitch", "setOverlayEnabled"},
        {"autoShowSwitch", "setAutoShow"},
        {"avoidsCoveringWindowsSwitch", "setAvoidsCoveringWindows"},
        {"audioResponsiveSwitch", "setAudioResponsive"},
        {"player-spotify", "setPlayerEnabled"},
    };
    auto controller = makeWindow();
    for (const auto& [name, call] : cases) {
        SCOPED_TRACE(name);
        auto* button = find<QAbstractButton>(*controller, name);
        ASSERT_NE(button, nullptr);
        button->click();
        EXPECT_EQ(takeCalls(), std::vector<std::string>{call});
        EXPECT_FALSE(button->isChecked());
    }
}

TEST_F(SettingsWindowTest, ControlsFollowChangesMadeElsewhere) {
    auto controller = makeWindow();
    preferences->setAutoShow(false);
    preferences->setPlayer(MusicPlayer::youtube, false);
    preferences->setPosition(OverlayPosition::bottom);
    preferences->setDisplayMode(OverlayDisplayMode::fullscreenFog);
    preferences->setAudioResponsive(false);
    EXPECT_FALSE(find<ToggleSwitch>(*controller, "autoShowSwitch")->isChecked());
    EXPECT_FALSE(find<ToggleSwitch>(*controller, "player-youtube")->isChecked());
    EXPECT_EQ(find<SegmentedPicker>(*controller, "displayModePicker")->currentIndex(), 1);
    EXPECT_EQ(find<SegmentedPicker>(*controller, "positionPicker")->currentIndex(), 2);
    EXPECT_FALSE(find<QPushButton>(*controller, "retryButton")->isEnabled());
    EXPECT_TRUE(find<QPushButton>(*controller, "systemPermissionsButton")->isEnabled());  // always available
}

// A failed save, else how the file was read, is said in one line under the tabs.
TEST_F(SettingsWindowTest, TheSettingsFileLineSaysAFailedSaveElseHowTheFileWasRead) {
    for (const std::optional<std::string>& notice : {std::optional<std::string>(), {"1 line was left out."}}) {
        store->setLoadNotice(notice);
        auto controller = makeWindow();
        auto* line = find<QLabel>(*controller, "settingsFileLabel");
        EXPECT_EQ(line->isVisible(), notice.has_value());
        store->setWriteError("Could not save the settings to /x.");
        preferences->setColor(WaveColor::neon);
        EXPECT_TRUE(line->isVisible());
        EXPECT_TRUE(line->text().startsWith("Could not save the settings to /x.")) << line->text().toStdString();
        store->setWriteError(std::nullopt);
        preferences->setColor(WaveColor::ocean);
        EXPECT_EQ(line->isVisible(), notice.has_value());
        EXPECT_EQ(line->text().toStdString(), notice.value_or(""));
    }
}

// The recording actions write each choice, which the display tab's controls then show.
TEST_F(SettingsWindowTest, PickersAndSwatchesShowTheStoredChoiceAndPositionIsDisabledInFogMode) {
    auto controller = makeWindow();
    controller->rootView()->setSelectedTab(SettingsTab::display);
    auto* mode = find<SegmentedPicker>(*controller, "displayModePicker");
    auto* position = find<SegmentedPicker>(*controller, "positionPicker");
    clickSegment(*position, 0);
    clickSegment(*mode, 1);
    EXPECT_FALSE(position->isEnabled());
    EXPECT_EQ(position->currentIndex(), 0);  // still shows the stored position, top
    clickSegment(*mode, 0);
    EXPECT_TRUE(position->isEnabled());

    auto outlined = [&] {
        QStringList names;
        for (auto* swatch : controller->window()->findChildren<SwatchButton*>()) {
            if (swatch->isCurrent()) names << swatch->objectName();
        }
        return names;
    };
    EXPECT_EQ(outlined(), QStringList{"swatch-cyan"});
    find<SwatchButton>(*controller, "swatch-neon")->click();
    EXPECT_EQ(outlined(), QStringList{"swatch-neon"});
}

TEST_F(SettingsWindowTest, AudioStatusRowFollowsTheModelUntilTheWindowIsGone) {
    auto controller = makeWindow();
    auto* text = find<QLabel>(*controller, "audioStatusText");
    auto* symbol = find<QLabel>(*controller, "audioStatusSymbol");
    model->updateLiveFrame({0.5, 1.0, 0.0, {}});
    QApplication::processEvents();
    EXPECT_EQ(text->text(), "Live Audio and Rhythm \u00B7 50%");
    EXPECT_EQ(symbol->property("symbolName").toString(), "waveform.circle.fill");
    // A hidden window's row catches up when the window shows again.
    controller->window()->hide();
    model->updateLiveFrame({0.8, 1.0, 0.0, {}});
    QApplication::processEvents();
    controller->window()->show();
    QApplication::processEvents();
    EXPECT_EQ(text->text(), "Live Audio and Rhythm \u00B7 80%");
    // Changes after the window is gone must not reach its destroyed view.
    controller.reset();
    preferences->setColor(WaveColor::ocean);
    model->updateLiveFrame({0.3, 1.0, 0.0, {}});
    QApplication::processEvents();
}

TEST_F(SettingsWindowTest, LaunchAtLoginShowsTheAnswerOfTheApplication) {
    // Switched from `initial`, the application answering `answer` (the status afterwards).
    for (const auto& [initial, answer, call] : {std::tuple{false, true, "setLaunchAtLogin(true)"},
                                                {true, true, "setLaunchAtLogin(false)"}}) {  // failed: snaps back on
        auto controller = makeWindow(initial);
        auto* toggle = find<ToggleSwitch>(*controller, "launchAtLoginSwitch");
        loginItemAnswer = answer;
        toggle->click();
        EXPECT_EQ(takeCalls(), std::vector<std::string>{call});
        EXPECT_EQ(toggle->isChecked(), answer);
        // A change from elsewhere (the status menu) is not reflected until restart.
        preferences->setAutoShow(true);
        EXPECT_EQ(toggle->isChecked(), answer);
    }
}

TEST_F(SettingsWindowTest, BrowserExtensionRowShowsTheLastReportAndOpensTheSetUp) {
    EXPECT_EQ(makeWindow()->window()->findChild<BrowserExtensionRow*>(), nullptr) << "no status to show, no row";
    std::optional<double> seconds;
    std::optional<unsigned> heldPort;
    int setUps = 0;
    auto controller = makeWindow(false, {[&] { return seconds; }, [&] { ++setUps; }, [&] { return heldPort; }});
    auto* row = find<BrowserExtensionRow>(*controller, "browserExtensionRow");
    for (const auto& [value, text] : {std::pair<std::optional<double>, const char*>{std::nullopt, "not seen yet"},
                                      {119.9, "last report 119 s ago"},
                                      {125, "last report 2 min ago"},
                                      {7300, "last report 2 h ago"}}) {
        seconds = value;
        row->refresh();
        EXPECT_EQ(find<QLabel>(*controller, "browserExtensionStatus")->text(), QString("Browser extension: ") + text);
    }
    heldPort = 43828;
    row->refresh();
    EXPECT_EQ(find<QLabel>(*controller, "browserExtensionStatus")->text(),
              "Browser extension: port 43828 is held by another program or user, so browser tabs are not detected");
    find<QPushButton>(*controller, "browserExtensionSetupButton")->click();
    EXPECT_EQ(setUps, 1);
}

TEST_F(SettingsWindowTest, EverySymbolTheWindowNamesIsBundledAndDrawsSomething) {
    std::vector<std::string_view> names = {"arrow.clockwise", "lock.shield"};  // the audio tab's buttons
    for (auto status : {AudioCaptureStatus::waiting, AudioCaptureStatus::live, AudioCaptureStatus::fallback,
                        AudioCaptureStatus::permissionRequired, AudioCaptureStatus::protectedAudio}) {
        names.push_back(AudioStatusRow::forStatus(status, 0.5).symbolName);
    }
    for (MusicPlayer player : allMusicPlayers) names.push_back(symbolName(player));
    for (SettingsTab tab : allSettingsTabs) names.push_back(settingsTabSymbolName(tab));
    for (std::string_view name : names) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SettingsSymbol::exists(name));
        const QImage image =
            SettingsSymbol::pixmap(name, QColor(200, 40, 10), 24).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_GT(testing::countPixels(image, [](std::uint32_t p) { return qAlpha(p) > 128; }), 20);
        const auto untinted = [](std::uint32_t p) { return qAlpha(p) > 128 && std::abs(qRed(p) - 200) > 3; };
        EXPECT_EQ(testing::countPixels(image, untinted), 0) << "tinted, whatever colour the file uses";
    }
    EXPECT_FALSE(SettingsSymbol::exists("no.such.symbol"));
}

TEST_F(SettingsWindowTest, OtherPlayersAppearAsSeenAndTheirSwitchesRouteThroughTheActions) {
    auto controller = makeWindow();
    EXPECT_NE(controller->window()->findChild<QWidget*>(QStringLiteral("otherPlayersEmpty")), nullptr);
    preferences->rememberOtherPlayer("rhythmbox", "Rhythmbox", "");
    preferences->rememberOtherPlayer("firefox", "Firefox", "no-such-icon");
    QApplication::processEvents();
    auto* firefox = find<ToggleSwitch>(*controller, QStringLiteral("player-mpris:firefox"));
    EXPECT_FALSE(
        find<QLabel>(*controller, QStringLiteral("playerSymbol-mpris:firefox"))->property("fromIconTheme").toBool());
    firefox->click();  // the recording action writes the switch
    EXPECT_TRUE(preferences->isOtherPlayerEnabled("firefox"));
    // A change made elsewhere (the same switch written by the application) shows too.
    preferences->setOtherPlayer("rhythmbox", false);
    EXPECT_FALSE(find<ToggleSwitch>(*controller, QStringLiteral("player-mpris:rhythmbox"))->isChecked());
}

TEST_F(SettingsWindowTest, EveryTabRendersAtTheWindowSize) {
    preferences->rememberOtherPlayer("rhythmbox", "Rhythmbox", "org.gnome.Rhythmbox3");
    preferences->rememberOtherPlayer("firefox", "Firefox", "firefox-esr");
    model->updateLiveFrame({0.42, 1.0, 0.0, {}});
    auto controller = makeWindow(true, {[] { return std::optional<double>(12); }, [] {}, {}});
    EXPECT_FALSE(find<QLabel>(*controller, "applicationIcon")->pixmap().isNull());  // drawn when no icon is set
    for (SettingsTab tab : allSettingsTabs) {
        controller->rootView()->setSelectedTab(tab);
        QApplication::processEvents();
        const QImage image = controller->window()->grab().toImage();
        EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(620, 470)) << settingsTabTitle(tab);
    }
}

}  // namespace
}  // namespace sonavista
