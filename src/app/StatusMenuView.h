#pragma once

#include "app/StatusMenuAction.h"
#include "app/StatusMenuModel.h"

#include <functional>
#include <memory>
#include <string>

namespace sonavista {

// The status icon and its menu on the desktop. It mirrors the model it is given and reports
// the commands the user chooses.
class StatusMenuView {
public:
    virtual ~StatusMenuView() = default;
    // Shows the model; called after every change of state, up to 30 times a second.
    virtual void update(const StatusMenuModel& model) = 0;
};

// A chosen command and, for colour items, the item's data.
using StatusMenuActionHandler = std::function<void(StatusMenuAction action, const std::string& data)>;
using StatusMenuViewFactory = std::function<std::shared_ptr<StatusMenuView>(StatusMenuActionHandler handler)>;

}  // namespace sonavista
