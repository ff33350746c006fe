#include "playback/ProcRunningApplications.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>

namespace sonavista {
namespace {

namespace fs = std::filesystem;

// A fake /proc tree in a temporary directory.
class ProcTree : public ::testing::Test {
protected:
    void process(int pid, const std::string& exe, const std::string& cgroup = "0::/user.slice/session-2.scope\n") {
        auto dir = root / std::to_string(pid);
        fs::create_directories(dir / "root");
        if (!exe.empty()) fs::create_symlink(exe, dir / "exe");
        testing::writeText(dir / "cgroup", cgroup);
    }

    std::vector<RunningApplication> scan(ProcRunningApplications& apps) {
        auto list = apps.runningApplications();
        std::sort(list.begin(), list.end(),
                  [](const auto& a, const auto& b) { return a.processIdentifier < b.processIdentifier; });
        return list;
    }

    testing::TempDir temp{"sonavista-proc"};
    const fs::path root = temp.path();
};

TEST_F(ProcTree, ListsTheUsersProcessesWithNamesAndSandboxIds) {
    process(100, "/usr/share/spotify/spotify");
    process(101, "/app/extra/share/spotify/spotify");
    testing::writeText(root / "101" / "root" / ".flatpak-info", "[Application]\nname=com.spotify.Client\nruntime=x\n");
    process(102, "/snap/spotify/81/usr/share/spotify/spotify",
            "0::/user.slice/user-1000.slice/user@1000.service/app.slice/snap.spotify.spotify-5f2b.scope\n");
    process(104, "/usr/bin/netease-cloud-music (deleted)");
    fs::create_directory_symlink(root / "100", root / "self");  // not a process id: skipped

    ProcRunningApplications apps(root.string());
    const std::vector<RunningApplication> expected = {
        {100, std::nullopt, "spotify"},
        {101, "com.spotify.Client", "spotify"},
        {102, "spotify", "spotify"},
        {104, std::nullopt, "netease-cloud-music"},
    };
    EXPECT_EQ(scan(apps), expected);
}

TEST_F(ProcTree, OtherUsersProcessesAndMissingTreeGiveNothing) {
    process(100, "/usr/bin/spotify");
    ProcRunningApplications otherUser(root.string(), ::getuid() + 1);
    EXPECT_TRUE(otherUser.runningApplications().empty());

    ProcRunningApplications missing((root / "nothing").string());
    EXPECT_TRUE(missing.runningApplications().empty());
}

TEST_F(ProcTree, ProcessThatExecutesAnotherProgramIsReadAfresh) {
    process(100, "/usr/bin/launcher");
    ProcRunningApplications apps(root.string());
    ASSERT_EQ(scan(apps).at(0).localizedName, "launcher");

    // Same process, new program in a Snap: both name and id must follow.
    fs::remove(root / "100" / "exe");
    fs::create_symlink("/snap/spotify/81/spotify", root / "100" / "exe");
    testing::writeText(root / "100" / "cgroup", "0::/user.slice/snap.spotify.spotify-1.scope\n");
    EXPECT_EQ(scan(apps).at(0), (RunningApplication{100, "spotify", "spotify"}));

    // A new process under a reused id (a new /proc directory) is read afresh too.
    fs::remove_all(root / "100");
    scan(apps);
    process(100, "/snap/spotify/81/spotify", "0::/user.slice/session-2.scope\n");
    EXPECT_EQ(scan(apps).at(0), (RunningApplication{100, std::nullopt, "spotify"}));

    // A kernel thread (no executable) is skipped; a later process under its id is not.
    process(200, "");
    EXPECT_EQ(scan(apps).size(), 1u);
    fs::remove_all(root / "200");
    scan(apps);
    process(200, "/usr/bin/spotify");
    EXPECT_EQ(scan(apps).size(), 2u);
    EXPECT_EQ(apps.application(200), (RunningApplication{200, std::nullopt, "spotify"}));
}

TEST(ProcParsingTest, FindsTheApplicationIdInTheCgroup) {
    const std::tuple<const char*, std::string, std::optional<std::string>> rows[] = {
        {"flatpak id with dashes", "0::/app.slice/app-flatpak-io.github.some-player-12.scope", "io.github.some-player"},
        {"flatpak without number", "0::/app.slice/app-flatpak-org.example.Player.scope\n", "org.example.Player"},
        {"flatpak nested deeper", "0::/app.slice/app-flatpak-org.example.Player-7.scope/sub\n", "org.example.Player"},
        {"snap on a cgroup v1 line", "12:pids:/user.slice\n1:name=systemd:/user.slice/snap.vlc.vlc.abc.scope\n", "vlc"},
        {"snap daemon is not a snap", "0::/system.slice/snapd.service\n", std::nullopt},
        {"empty prefixes", "0::/app-flatpak-.scope/snap..x\n", std::nullopt},
        {"garbage", "no colons here\n::\n", std::nullopt},
    };
    for (const auto& [name, text, id] : rows) {
        EXPECT_EQ(ProcRunningApplications::applicationIdFromCgroup(text), id) << name;
    }
}

TEST(ProcParsingTest, FlatpakInfoNamesTheApplicationSectionOnly) {
    EXPECT_EQ(ProcRunningApplications::flatpakIdFromInfo("[Application]\nname = com.spotify.Client\r\n"),
              "com.spotify.Client");
    EXPECT_EQ(ProcRunningApplications::flatpakIdFromInfo("[Instance]\nname=wrong\n[Application]\nruntime=r\nname=right"),
              "right");
    EXPECT_EQ(ProcRunningApplications::flatpakIdFromInfo("[Runtime]\nname=org.gnome.Platform\n"), std::nullopt);
}

}  // namespace
}  // namespace sonavista
