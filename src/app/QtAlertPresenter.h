#pragma once

#include "app/AlertPresenter.h"

namespace sonavista {

// A modal warning box with one OK button.
class QtAlertPresenter final : public AlertPresenter {
public:
    void showWarning(const std::string& message, const std::string& informativeText) override;
};

}  // namespace sonavista
