#pragma once

#include <optional>
#include <string>

namespace sonavista {

// Registration of the application as something the desktop starts at login.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    // Read afresh on every call: the user may change it outside the application.
    virtual bool isEnabled() const = 0;
    // Each answers nothing on success, or a sentence describing why it failed.
    virtual std::optional<std::string> registerItem() = 0;
    virtual std::optional<std::string> unregisterItem() = 0;
};

}  // namespace sonavista
