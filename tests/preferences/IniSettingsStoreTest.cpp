#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <utility>

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

TEST_F(IniSettingsStoreTest, DamagedFileLoadsEmptyAndIsKeptBeforeTheFirstWrite) {
    const std::pair<const char*, std::string> rows[] = {
        {"text", "this is not a settings file\n"},
        {"binary", std::string("\x00\x01\xFF\xFEoverlayEnabled=false\x00", 21)},
        {"well-formed but too large", "[General]\noverlayEnabled=false\nk=\"" +
                                          std::string(IniSettingsStore::maximumFileSize, 'a') + "\"\n"},
    };
    for (const auto& [name, bytes] : rows) {
        SCOPED_TRACE(name);
        fs::remove_all(file_.parent_path());
        testing::writeText(file_, bytes);

        IniSettingsStore store(file_.string());
        EXPECT_EQ(store.loadOutcome(), IniSettingsStore::LoadOutcome::corrupt);
        EXPECT_EQ(readText(file_), bytes);  // reading alone changes nothing

        // The first write keeps the damaged file aside and holds nothing read from it.
        store.setBool("autoShow", false);
        const fs::path kept = file_.string() + ".corrupt";
        EXPECT_EQ(readText(kept), bytes);
        EXPECT_EQ(readText(file_), "[General]\nautoShow=false\n");

        // Later writes keep nothing more aside (the kept copy's name would be taken).
        store.setBool("autoShow", true);
        EXPECT_EQ(fileCount(), 2);
    }
}

TEST_F(IniSettingsStoreTest, UnreadablePathAndEarlierCorruptCopiesAreKept) {
    // A directory where the file should be cannot be read as settings.
    fs::create_directories(file_);
    testing::writeText(file_ / "inside", "x");
    testing::writeText(file_.string() + ".corrupt", "older damage");

    IniSettingsStore store(file_.string());
    EXPECT_EQ(store.loadOutcome(), IniSettingsStore::LoadOutcome::corrupt);
    store.setString("waveColor", "neon");
    EXPECT_EQ(readText(file_.string() + ".corrupt"), "older damage");
    EXPECT_EQ(store.preservedCorruptPath(), file_.string() + ".corrupt.2");
    EXPECT_EQ(readText(file_.string() + ".corrupt.2/inside"), "x");
    EXPECT_EQ(IniSettingsStore(file_.string()).stringValue("waveColor"), "neon");
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
