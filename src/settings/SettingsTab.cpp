#include "settings/SettingsTab.h"

namespace sonavista {

std::string_view settingsTabTitle(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::display: return "Waveform";
        case SettingsTab::players: return "Players";
        case SettingsTab::audio: return "Audio";
        case SettingsTab::general: return "General";
    }
    return "Players";
}

std::string_view settingsTabSymbolName(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::display: return "waveform";
        case SettingsTab::players: return "music.note.list";
        case SettingsTab::audio: return "speaker.wave.2";
        case SettingsTab::general: return "gearshape";
    }
    return "music.note.list";
}

}  // namespace sonavista
