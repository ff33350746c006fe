#pragma once

#include <string>

namespace sonavista {

// Shows a modal warning with a single button; returns once the user has dismissed it.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void showWarning(const std::string& message, const std::string& informativeText) = 0;
};

}  // namespace sonavista
