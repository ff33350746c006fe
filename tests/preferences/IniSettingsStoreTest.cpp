#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "preferences/OverlayPreferences.h"
#include "preferences/IniSettingsStore.h"

namespace sonavista {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Gives each test its own XDG_CONFIG_HOME and restores the environment afterwards.
class IniSettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfigHome_ = old;
        if (const char* old = std::getenv("HOME")) oldHome_ = old;
        configHome_ = fs::path(temp_.path().toStdString()) / "config";
        setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
        file_ = configHome_ / "Sonavista" / "Sonavista.conf";
    }
    void TearDown() override {
        restore("XDG_CONFIG_HOME", oldConfigHome_);
        restore("HOME", oldHome_);
    }
    static void restore(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    std::vector<std::string> directoryEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(file_.parent_path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir temp_;
    std::optional<std::string> oldConfigHome_;
    std::optional<std::string> oldHome_;
    fs::path configHome_;
    fs::path file_;
};

TEST_F(IniSettingsStoreTest, DefaultPathFollowsXdgConfigHome) {
    EXPECT_EQ(IniSettingsStore::defaultFilePath(), file_.string());
    const std::string home = temp_.path().toStdString() + "/home";
    setenv("HOME", home.c_str(), 1);
    for (const char* ignored : {"", "relative/config"}) {
        setenv("XDG_CONFIG_HOME", ignored, 1);
        EXPECT_EQ(IniSettingsStore::defaultFilePath(), home + "/.config/Sonavista/Sonavista.conf") << ignored;
    }
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(IniSettingsStore::defaultFilePath(), home + "/.config/Sonavista/Sonavista.conf");
}

TEST_F(IniSettingsStoreTest, EveryValueFormRoundTripsThroughTheFile) {
    auto store = IniSettingsStore::openDefault();
    EXPECT_EQ(store->loadOutcome(), IniSettingsStore::LoadOutcome::missing);
    EXPECT_FALSE(fs::exists(file_));  // nothing is created until something is written

    store->setBool("yes", true);
    store->setBool("no", false);
    store->setString("text", "fullscreenFog");
    store->setString("empty", "");
    store->setString("awkward", "line\nbreak = \"q\" ; [s] 网易云音乐");
    store->setStringArray("none", {});
    store->setStringArray("one", {"spotify"});
    store->setStringArray("three", {"a", "b,c", ""});
    EXPECT_EQ(store->lastWriteError(), std::nullopt);

    IniSettingsStore reloaded(file_.string());
    EXPECT_EQ(reloaded.loadOutcome(), IniSettingsStore::LoadOutcome::loaded);
    EXPECT_TRUE(reloaded.hasObject("no"));
    EXPECT_FALSE(reloaded.hasObject("missing"));
    EXPECT_TRUE(reloaded.boolValue("yes"));
    EXPECT_FALSE(reloaded.boolValue("no"));
    EXPECT_EQ(reloaded.stringValue("text"), "fullscreenFog");
    EXPECT_EQ(reloaded.stringValue("empty"), "");
    EXPECT_EQ(reloaded.stringValue("awkward"), "line\nbreak = \"q\" ; [s] 网易云音乐");
    EXPECT_EQ(reloaded.stringArrayValue("none"), Strings{});
    EXPECT_EQ(reloaded.stringArrayValue("one"), Strings{"spotify"});
    EXPECT_EQ(reloaded.stringArrayValue("three"), (Strings{"a", "b,c", ""}));
    // Types are kept: a one-element list is not a string, a string is not a list.
    EXPECT_EQ(reloaded.stringValue("one"), std::nullopt);
    EXPECT_EQ(reloaded.stringArrayValue("text"), std::nullopt);
    EXPECT_EQ(reloaded.stringValue("yes"), std::nullopt);
}

TEST_F(IniSettingsStoreTest, EachAssignmentReplacesTheFileAtOnce) {
    IniSettingsStore store(file_.string());
    store.setBool("overlayEnabled", false);
    EXPECT_EQ(readFile(file_), "[General]\noverlayEnabled=false\n");

    // The file is replaced by rename, not rewritten in place: a hard link to the old file keeps
    // the old contents, and no temporary file is left behind.
    const fs::path link = file_.parent_path() / "old-link";
    fs::create_hard_link(file_, link);
    store.setStringArray("enabledMusicPlayers", {"spotify"});
    EXPECT_EQ(readFile(file_), "[General]\nenabledMusicPlayers=[\"spotify\"]\noverlayEnabled=false\n");
    EXPECT_EQ(readFile(link), "[General]\noverlayEnabled=false\n");
    fs::remove(link);
    EXPECT_EQ(directoryEntries(), Strings{"Sonavista.conf"});
}

TEST_F(IniSettingsStoreTest, DamagedFileLoadsEmptyAndIsKeptBeforeTheFirstWrite) {
    struct Row {
        const char* name;
        std::string bytes;
    };
    const Row rows[] = {
        {"text", "this is not a settings file\n"},
        {"binary", std::string("\x00\x01\xFF\xFEoverlayEnabled=false\x00", 21)},
        {"half-written line", "[General]\noverlayEnabled=false\nwaveColor=\"ne"},
        {"unquoted value", "[General]\nwaveColor=neon\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(file_.parent_path());
        writeFile(file_, row.bytes);

        IniSettingsStore store(file_.string());
        EXPECT_EQ(store.loadOutcome(), IniSettingsStore::LoadOutcome::corrupt);
        EXPECT_FALSE(store.hasObject("overlayEnabled"));
        EXPECT_EQ(readFile(file_), row.bytes);  // reading alone changes nothing

        store.setBool("autoShow", false);
        EXPECT_EQ(store.lastWriteError(), std::nullopt);
        const fs::path kept = file_.string() + ".corrupt";
        EXPECT_EQ(store.preservedCorruptPath(), kept.string());
        EXPECT_EQ(readFile(kept), row.bytes);
        EXPECT_EQ(readFile(file_), "[General]\nautoShow=false\n");

        // Later writes leave the kept file alone.
        store.setBool("autoShow", true);
        EXPECT_EQ(readFile(kept), row.bytes);
        EXPECT_EQ(directoryEntries(), (Strings{"Sonavista.conf", "Sonavista.conf.corrupt"}));
    }
}

TEST_F(IniSettingsStoreTest, UnreadablePathAndEarlierCorruptCopiesAreKept) {
    // A directory where the file should be cannot be read as settings.
    fs::create_directories(file_);
    writeFile(file_ / "inside", "x");
    writeFile(file_.string() + ".corrupt", "older damage");

    IniSettingsStore store(file_.string());
    EXPECT_EQ(store.loadOutcome(), IniSettingsStore::LoadOutcome::corrupt);
    store.setString("waveColor", "neon");
    EXPECT_EQ(store.lastWriteError(), std::nullopt);
    EXPECT_EQ(readFile(file_.string() + ".corrupt"), "older damage");
    EXPECT_EQ(store.preservedCorruptPath(), file_.string() + ".corrupt.2");
    EXPECT_EQ(readFile(file_.string() + ".corrupt.2/inside"), "x");
    EXPECT_EQ(IniSettingsStore(file_.string()).stringValue("waveColor"), "neon");
}

TEST_F(IniSettingsStoreTest, OversizedFileCountsAsDamaged) {
    writeFile(file_, "[General]\nk=\"" + std::string(IniSettingsStore::maximumFileSize, 'a') + "\"\n");
    IniSettingsStore store(file_.string());
    EXPECT_EQ(store.loadOutcome(), IniSettingsStore::LoadOutcome::corrupt);
    EXPECT_FALSE(store.hasObject("k"));
}

TEST_F(IniSettingsStoreTest, FailedWriteIsReportedAndKeepsTheValue) {
    // A plain file where the settings directory belongs: no directory can be made, even as root.
    std::ofstream(configHome_) << "not a directory";
    IniSettingsStore store(file_.string());
    store.setBool("overlayEnabled", false);
    ASSERT_TRUE(store.lastWriteError());
    EXPECT_NE(store.lastWriteError()->find(file_.string()), std::string::npos) << *store.lastWriteError();
    EXPECT_TRUE(store.hasObject("overlayEnabled"));
    EXPECT_FALSE(store.boolValue("overlayEnabled"));

    // Once the obstacle is gone, the next change saves everything held.
    fs::remove(configHome_);
    store.setBool("autoShow", true);
    EXPECT_EQ(store.lastWriteError(), std::nullopt);
    EXPECT_EQ(readFile(file_), "[General]\nautoShow=true\noverlayEnabled=false\n");
}

TEST_F(IniSettingsStoreTest, PreferencesPersistAcrossLaunches) {
    {
        auto preferences = OverlayPreferences::create(IniSettingsStore::openDefault());
        EXPECT_EQ(readFile(file_), "[General]\nbrowserPlayersMigrationV1=true\n");
        preferences->setPlayer(MusicPlayer::youtube, false);
        preferences->setColor(WaveColor::coralSky);
        preferences->setOverlayEnabled(false);
    }
    OverlayPreferences relaunched(IniSettingsStore::openDefault());
    EXPECT_FALSE(relaunched.overlayEnabled());
    EXPECT_EQ(relaunched.color(), WaveColor::coralSky);
    EXPECT_EQ(relaunched.enabledPlayers().count(MusicPlayer::youtube), 0u);
    EXPECT_EQ(relaunched.enabledPlayers().size(), 6u);
}

}  // namespace
}  // namespace sonavista
