#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <utility>

#include <sys/fsuid.h>
#include <unistd.h>

#include "preferences/IniSettingsStore.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace sonavista {
namespace {

namespace fs = std::filesystem;
using testing::readText;

struct IniSettingsStoreTest : ::testing::Test {
    long fileCount() const { return std::distance(fs::directory_iterator(file_.parent_path()), {}); }

    testing::TempDir temp_{"sonavista-settings"};
    const fs::path configHome_ = temp_ / "config";
    const fs::path file_ = configHome_ / "Sonavista" / "Sonavista.conf";
};

TEST_F(IniSettingsStoreTest, DefaultPathFallsBackToHomeConfig) {
    testing::ScopedEnvironment environment;
    environment.set("HOME", (temp_ / "home").string());
    const std::string fallback = (temp_ / "home" / ".config" / "Sonavista" / "Sonavista.conf").string();
    for (const std::optional<std::string>& ignored : {std::optional<std::string>(""), {"relative/config"}, {}}) {
        environment.set("XDG_CONFIG_HOME", ignored);  // empty, relative, unset
        EXPECT_EQ(IniSettingsStore::defaultFilePath(), fallback) << ignored.value_or("unset");
    }
}

TEST_F(IniSettingsStoreTest, EachAssignmentReplacesTheFileAtOnce) {
    IniSettingsStore store(file_.string());
    EXPECT_EQ(store.loadOutcome(), IniSettingsStore::LoadOutcome::missing);
    EXPECT_FALSE(fs::exists(file_));  // nothing is created until something is written
    store.setBool("overlayEnabled", false);
    EXPECT_EQ(readText(file_), "[General]\noverlayEnabled=false\n");

    // The file is replaced by rename, not rewritten in place: a hard link to the old file keeps
    // the old contents, and no temporary file is left behind.
    const fs::path link = file_.parent_path() / "old-link";
    fs::create_hard_link(file_, link);
    store.setStringArray("enabledMusicPlayers", {"spotify"});
    EXPECT_EQ(readText(file_), "[General]\nenabledMusicPlayers=[\"spotify\"]\noverlayEnabled=false\n");
    EXPECT_EQ(readText(link), "[General]\noverlayEnabled=false\n");
    EXPECT_EQ(fileCount(), 2) << "a temporary file is left behind";
}

TEST_F(IniSettingsStoreTest, LinesThatCannotBeReadAreDroppedAfterTheFileIsCopied) {
    const std::string good = "[General]\noverlayEnabled=false\nwaveColor=\"neon\"\n";
    const std::pair<const char*, std::string> rows[] = {
        {"hand edit", good + "color=red\n"},
        {"garbage among good lines", "[General]\noverlayEnabled=false\n\x01\xFFgarbage\nwaveColor=\"neon\"\n"},
        {"past the size limit", good + "k=\"" + std::string(IniSettingsStore::maximumFileSize, 'a') + "\"\n"},
    };
    for (const auto& [name, bytes] : rows) {
        SCOPED_TRACE(name);
        fs::remove_all(file_.parent_path());
        testing::writeText(file_, bytes);

        // Two launches before any write: each keeps its own copy, neither over the other.
        const IniSettingsStore earlier(file_.string());
        IniSettingsStore store(file_.string());
        EXPECT_EQ(store.loadOutcome(), IniSettingsStore::LoadOutcome::repaired);
        EXPECT_NE(earlier.backupPath(), store.backupPath());
        for (const std::string& copy : {earlier.backupPath(), store.backupPath()}) EXPECT_EQ(readText(copy), bytes);
        ASSERT_TRUE(store.loadNotice());
        EXPECT_NE(store.loadNotice()->find("kept as " + store.backupPath()), std::string::npos) << *store.loadNotice();
        EXPECT_EQ(readText(file_), bytes);  // reading alone changes nothing

        store.setBool("autoShow", false);
        EXPECT_EQ(readText(file_), "[General]\nautoShow=false\noverlayEnabled=false\nwaveColor=\"neon\"\n");
        EXPECT_EQ(IniSettingsStore(file_.string()).loadOutcome(), IniSettingsStore::LoadOutcome::loaded);
        EXPECT_EQ(fileCount(), 3) << "one file and two copies";
    }
}

// Whatever keeps the file from being read, nothing is written over it until it can be; then the
// values it holds are kept under those assigned meanwhile.
TEST_F(IniSettingsStoreTest, AFileThatCannotBeReadIsLeftAloneUntilItCanBe) {
    const auto putFileBack = [&] { fs::remove(file_); testing::writeText(file_, "[General]\nwaveColor=\"neon\"\n"); };
    struct Row {
        const char* name;
        std::function<void()> block, unblock;
        const char* reason;
    };
    const Row rows[] = {
        {"a folder in its place", [&] { fs::create_directories(file_); }, putFileBack, "directory"},
        // Reading the start of this process's memory fails with EIO, as a failing disk does.
        {"an I/O error", [&] { fs::create_symlink("/proc/self/mem", file_); }, putFileBack, "Input/output error"},
        // Root reads any file; a file system uid of nobody on this thread drops that power.
        {"no permission",
         [&] {
             putFileBack();
             fs::permissions(file_, fs::perms::none);
             for (const fs::path& folder : {temp_.path(), configHome_, file_.parent_path()}) {
                 fs::permissions(folder, fs::perms::group_read | fs::perms::group_exec, fs::perm_options::add);
             }
             if (::geteuid() == 0) ::setfsuid(65534);
         },
         [&] {
             if (::geteuid() == 0) ::setfsuid(0);
             fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
         },
         "Permission denied"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(file_.parent_path());
        fs::create_directories(file_.parent_path());
        std::thread([&] {  // the file system uid is per thread
            row.block();
            IniSettingsStore store(file_.string());
            EXPECT_EQ(store.loadOutcome(), IniSettingsStore::LoadOutcome::unreadable);
            ASSERT_TRUE(store.loadNotice());
            EXPECT_NE(store.loadNotice()->find(row.reason), std::string::npos) << *store.loadNotice();
            store.setBool("autoShow", false);
            ASSERT_TRUE(store.lastWriteError());
            EXPECT_NE(store.lastWriteError()->find(row.reason), std::string::npos) << *store.lastWriteError();
            EXPECT_EQ(fileCount(), 1) << "nothing is moved, copied or written beside it";

            row.unblock();
            store.setString("overlayPosition", "top");
            EXPECT_EQ(store.lastWriteError(), std::nullopt);
            EXPECT_EQ(store.loadNotice(), std::nullopt);
            EXPECT_EQ(readText(file_), "[General]\nautoShow=false\noverlayPosition=\"top\"\nwaveColor=\"neon\"\n");
        }).join();
    }
}

TEST_F(IniSettingsStoreTest, FailedWriteIsReportedAndKeepsTheValue) {
    // A plain file where the settings directory belongs: no directory can be made, even as root.
    testing::writeText(configHome_, "not a directory");
    IniSettingsStore store(file_.string());
    store.setBool("overlayEnabled", false);
    ASSERT_TRUE(store.lastWriteError());
    EXPECT_NE(store.lastWriteError()->find(file_.string()), std::string::npos) << *store.lastWriteError();

    // Once the obstacle is gone, the next change saves everything held.
    fs::remove(configHome_);
    store.setBool("autoShow", true);
    EXPECT_EQ(store.lastWriteError(), std::nullopt);
    EXPECT_EQ(readText(file_), "[General]\nautoShow=true\noverlayEnabled=false\n");
}

}  // namespace
}  // namespace sonavista
