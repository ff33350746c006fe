#pragma once

#include <array>
#include <string_view>

namespace sonavista {

// The pages of the settings window, in the order their tabs appear.
enum class SettingsTab {
    display,
    players,
    audio,
    general,
};

inline constexpr std::array<SettingsTab, 4> allSettingsTabs = {
    SettingsTab::display,
    SettingsTab::players,
    SettingsTab::audio,
    SettingsTab::general,
};

// The page shown when the window is opened for the first time.
inline constexpr SettingsTab initialSettingsTab = SettingsTab::players;

// The tab's label, e.g. "Waveform" for `display`.
std::string_view settingsTabTitle(SettingsTab tab);
// The name of the symbol drawn beside the label, e.g. "waveform".
std::string_view settingsTabSymbolName(SettingsTab tab);

}  // namespace sonavista
