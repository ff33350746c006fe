#include "app/QtStatusMenu.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

#include <algorithm>

#include "support/QtTestApplication.h"

namespace sonavista {
namespace {

// The item titled `title`, in the menu or any submenu (each submenu is a child of its menu).
QAction* byTitle(QMenu* menu, const QString& title) {
    const auto actions = menu->findChildren<QAction*>();
    const auto found = std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == title; });
    return found == actions.end() ? nullptr : *found;
}

TEST(QtStatusMenuTest, MirrorsTheModelAndReportsChosenCommands) {
    testing::qtTestApplication();
    std::vector<std::pair<StatusMenuAction, std::string>> chosen;
    QtStatusMenu menu([&](StatusMenuAction action, const std::string& data) { chosen.emplace_back(action, data); });
    EXPECT_FALSE(menu.trayIcon()->icon().isNull());

    StatusMenuState state;
    state.currentMusicPlayer = MusicPlayer::spotify;
    state.currentPlaybackState = MusicPlaybackState::playing;
    state.captureStatus = AudioCaptureStatus::permissionRequired;
    state.color = WaveColor::candyPop;
    state.overlayEnabled = false;
    menu.update(StatusMenuModel::make(state));
    ASSERT_NE(byTitle(menu.menu(), "Spotify: Playing"), nullptr);
    EXPECT_FALSE(byTitle(menu.menu(), "Spotify: Playing")->isEnabled());
    EXPECT_TRUE(byTitle(menu.menu(), "Open System Audio Permissions...")->isVisible());
    EXPECT_FALSE(byTitle(menu.menu(), "Show Waveform")->isChecked());
    EXPECT_TRUE(byTitle(menu.menu(), "Candy Pop")->isChecked());
    EXPECT_EQ(byTitle(menu.menu(), "Quit Sonavista")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));

    state.captureStatus = AudioCaptureStatus::live;
    menu.update(StatusMenuModel::make(state));
    EXPECT_FALSE(byTitle(menu.menu(), "Open System Audio Permissions...")->isVisible());
    EXPECT_TRUE(chosen.empty());  // mirroring chooses nothing
    byTitle(menu.menu(), "Mint Grape")->trigger();
    byTitle(menu.menu(), "Show Waveform")->trigger();
    EXPECT_EQ(chosen,
              (std::vector<std::pair<StatusMenuAction, std::string>>{{StatusMenuAction::selectWaveColor, "mintGrape"},
                                                                     {StatusMenuAction::toggleOverlayEnabled, ""}}));
}

}  // namespace
}  // namespace sonavista
