#include "app/TrayNotice.h"

#include <gtest/gtest.h>

namespace sonavista {
namespace {

TEST(TrayNoticeTest, NamesWhatTheDesktopOffers) {
    // XDG_CURRENT_DESKTOP; a phrase the notice must hold; one it must not hold.
    const struct { const char* desktop; const char* says; const char* notSays; } cases[] = {
        {"ubuntu:GNOME", "AppIndicator extension", "waybar"},
        {"sway", "waybar", "AppIndicator"},
        {"", "StatusNotifierItem", "waybar"},
    };
    for (const auto& c : cases) {
        const auto notice = TrayNotice::whenMissing(c.desktop);
        EXPECT_NE(notice.find(c.says), std::string::npos) << c.desktop << ": " << notice;
        EXPECT_EQ(notice.find(c.notSays), std::string::npos) << c.desktop << ": " << notice;
    }
}

}  // namespace
}  // namespace sonavista
