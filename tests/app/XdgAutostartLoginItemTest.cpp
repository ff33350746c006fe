#include "app/XdgAutostartLoginItem.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace sonavista {
namespace {

namespace fs = std::filesystem;

class XdgAutostartLoginItemTest : public ::testing::Test {
protected:
    testing::TempDir temp{"sonavista-autostart"};
    const fs::path root = temp.path();
};

TEST_F(XdgAutostartLoginItemTest, RegisterWritesTheEntryAndUnregisterRemovesIt) {
    XdgAutostartLoginItem item(root / "config", "/opt/Sonavista/bin/sonavista");
    EXPECT_EQ(item.entryPath(), root / "config" / "autostart" / "sonavista.desktop");
    EXPECT_EQ(item.unregisterItem(), std::nullopt);  // nothing to remove is no failure
    EXPECT_EQ(item.registerItem(), std::nullopt);
    const std::string text = testing::readText(item.entryPath());
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(text.find("\nExec=\"/opt/Sonavista/bin/sonavista\" --autostart\n"), std::string::npos);
    EXPECT_EQ(item.registerItem(), std::nullopt);  // again: replaced in place, no stray temporary
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "config" / "autostart"), fs::directory_iterator()), 1);

    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_FALSE(item.isEnabled());
}

TEST_F(XdgAutostartLoginItemTest, AnEntrySwitchedOffByTheDesktopCountsAsDisabled) {
    XdgAutostartLoginItem item(root, "/usr/bin/sonavista");
    const std::pair<const char*, bool> cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=sonavista\n", true},
        {"[Desktop Entry]\nHidden=true\n", false},
        {"[Desktop Entry]\nHidden = true\n", false},
        {"[Desktop Entry]\nHidden=false\n", true},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\nExec=a\n[Desktop Action x]\nHidden=true\n", true},
    };
    for (const auto& [text, enabled] : cases) {
        testing::writeText(item.entryPath(), text);
        EXPECT_EQ(item.isEnabled(), enabled) << text;
    }
    fs::remove(item.entryPath());
    fs::create_directories(item.entryPath());  // a folder in its place is no entry
    EXPECT_FALSE(item.isEnabled());
}

TEST_F(XdgAutostartLoginItemTest, FailuresAreDescribedAndLeaveNoTrace) {
    testing::writeText(root / "autostart", "a file where the folder should be");
    XdgAutostartLoginItem blocked(root, "/usr/bin/sonavista");
    const auto error = blocked.registerItem();
    ASSERT_TRUE(error);
    EXPECT_NE(error->find((root / "autostart").string()), std::string::npos) << *error;

    XdgAutostartLoginItem item(root / "other", "/usr/bin/sonavista");
    fs::create_directories(item.entryPath() / "child");  // a non-empty folder cannot be unlinked
    const auto removeError = item.unregisterItem();
    ASSERT_TRUE(removeError);
    EXPECT_NE(removeError->find("sonavista.desktop"), std::string::npos);
}

TEST(XdgAutostartExecValue, QuotesAndEscapesEveryPath) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/sonavista", R"("/usr/bin/sonavista")"},
        {"/x/\"q\"", R"("/x/\\"q\\"")"},
        {"/x/$HOME`", R"("/x/\\$HOME\\`")"},
        {"/x/back\\slash", R"("/x/back\\\\slash")"},
        {"/x/100%", R"("/x/100%%")"},
    };
    for (const auto& [path, exec] : cases) EXPECT_EQ(XdgAutostartLoginItem::execValue(path), exec) << path;
}

TEST(XdgAutostartConfigHome, PrefersAnAbsoluteXdgConfigHome) {
    testing::ScopedEnvironment environment;
    environment.set("HOME", "/home/u");
    environment.set("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(XdgAutostartLoginItem::configHomeFromEnvironment(), fs::path("/cfg"));
    environment.set("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(XdgAutostartLoginItem::configHomeFromEnvironment(), fs::path("/home/u/.config"));
    environment.unset("XDG_CONFIG_HOME");
    EXPECT_EQ(XdgAutostartLoginItem::configHomeFromEnvironment(), fs::path("/home/u/.config"));
    environment.unset("HOME");
    EXPECT_EQ(XdgAutostartLoginItem::configHomeFromEnvironment(), std::nullopt);
}

}  // namespace
}  // namespace sonavista
