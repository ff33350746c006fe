#pragma once

#include "preferences/OverlayPreferences.h"

#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QVBoxLayout;

namespace sonavista {

class ToggleSwitch;

// The rows of the Players tab's "Other Players" section: every player outside the catalogue
// seen so far, with its icon (from the icon theme by its desktop entry, a note symbol
// otherwise), its own name and its switch. A switch the user flips is handed to `toggled`
// with the player's stem; the list itself changes nothing.
class OtherPlayersList : public QWidget {
public:
    explicit OtherPlayersList(std::function<void(const std::string& stem, bool enabled)> toggled,
                              QWidget* parent = nullptr);

    // Shows these players; rows are rebuilt only when the players themselves changed.
    void setPlayers(const std::vector<OtherPlayerSetting>& players);

private:
    void rebuild(const std::vector<OtherPlayerSetting>& players);

    std::function<void(const std::string&, bool)> toggled_;
    QVBoxLayout* rows_;
    std::vector<OtherPlayerSetting> shown_;
    std::map<std::string, ToggleSwitch*> switches_;
};

}  // namespace sonavista
