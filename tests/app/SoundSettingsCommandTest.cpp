#include "app/SoundSettingsCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace sonavista {
namespace {

namespace fs = std::filesystem;

void program(const fs::path& path, bool executable = true) {
    std::ofstream(path) << "#!/bin/sh\n";
    ::chmod(path.c_str(), executable ? 0755 : 0644);
}

TEST(SoundSettingsCommandTest, PicksThePreferredInstalledTool) {
    const testing::TempDir temp{"sonavista-path"};
    const fs::path root = temp.path();
    fs::create_directories(root / "a");
    fs::create_directories(root / "b");
    const std::string path = (root / "a").string() + "::relative:" + (root / "b").string();
    program(root / "a" / "xfce4-mixer", false);  // not executable: skipped
    EXPECT_EQ(SoundSettingsCommand::find(path), std::nullopt);

    program(root / "b" / "gnome-control-center");
    EXPECT_EQ(SoundSettingsCommand::find(path),
              (std::vector<std::string>{(root / "b" / "gnome-control-center").string(), "sound"}));

    program(root / "b" / "pavucontrol");
    EXPECT_EQ(SoundSettingsCommand::find(path),
              (std::vector<std::string>{(root / "b" / "pavucontrol").string(), "--tab=2"}));

    fs::create_directories(root / "a" / "pavucontrol-qt");  // a folder is no program
    EXPECT_EQ(SoundSettingsCommand::find(path)->front(), (root / "b" / "pavucontrol").string());
    EXPECT_EQ(SoundSettingsCommand::find(""), std::nullopt);
}

}  // namespace
}  // namespace sonavista
