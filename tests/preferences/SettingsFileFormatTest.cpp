#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "preferences/SettingsFileFormat.h"

namespace sonavista {
namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;

TEST(SettingsFileFormatTest, EveryValueFormRoundTrips) {
    const SettingsMap values = {
        {"true", true},
        {"false", false},
        {"emptyString", ""s},
        {"awkwardString", "a=b; \"quoted\" \\ back\nnew line\t[x] 音乐 #not a comment"s},
        {"emptyArray", Strings{}},
        {"oneElement", Strings{"spotify"}},
        {"manyElements", Strings{"appleMusic", "", "a,b", "音乐"}},
        {"number", 0.25},
        {"odd key = [with] spaces/%", "x"s},
        {"", true},
    };
    EXPECT_EQ(SettingsFileFormat::parse(SettingsFileFormat::serialize(values)), (SettingsFileFormat::Parsed{values, 0}));
}

// Values of other forms that are not one line of JSON cannot be written back: they become null.
TEST(SettingsFileFormatTest, UnwritableValuesBecomeNull) {
    const SettingsMap values = {{"a", OpaqueSettingsValue{"{\n}"}}, {"b", OpaqueSettingsValue{"not json"}}};
    EXPECT_EQ(SettingsFileFormat::serialize(values), "[General]\na=null\nb=null\n");
}

TEST(SettingsFileFormatTest, AcceptsHandEditedVariations) {
    const std::string text =
        "\xEF\xBB\xBF; comment\r\n"
        "# another comment\n"
        "\n"
        "[General]\r\n"
        "  overlayEnabled =  true  \r\n"
        "autoShow=0\n"
        "waveColor=\"neon\"\n"
        "waveColor=\"ocean\"\n"  // the last of duplicate keys wins
        "mixed=[\"a\", 1]\n"
        "object={\"a\": [1, 2]}\n"
        "nothing=null\n"
        "[Other]\n"
        "last=[]";  // no final newline
    const SettingsMap expected = {
        {"overlayEnabled", true},
        {"autoShow", 0.0},
        {"waveColor", "ocean"s},
        {"mixed", OpaqueSettingsValue{"[\"a\", 1]"}},
        {"object", OpaqueSettingsValue{"{\"a\": [1, 2]}"}},
        {"nothing", OpaqueSettingsValue{"null"}},
        {"last", Strings{}},
    };
    EXPECT_EQ(SettingsFileFormat::parse(text), (SettingsFileFormat::Parsed{expected, 0}));
}

// A line that cannot be read is dropped alone; the lines around it keep their values.
TEST(SettingsFileFormatTest, UnreadableLinesAreDroppedOneByOne) {
    const std::string rows[] = {
        "garbage line",
        "waveColor=cyan",  // strings must be quoted
        "waveColor=\"cyan",  // unterminated
        "overlayEnabled=",
        "bad key=true",  // spaces in keys are encoded
        "k%2=true",
        "k%zz=true",
        "[General",
        "k=\"\xFF\xFE\"",  // invalid UTF-8 in a string
        std::string("\0\x01\x02", 3),
        "k=[\"a\"]]",
        "k=1e99999",
        std::string("k=[606]\0\0more", 14),  // the JSON parser would stop at the NUL
    };
    for (const std::string& bad : rows) {
        const auto parsed = SettingsFileFormat::parse("[General]\nautoShow=false\n" + bad + "\nwaveColor=\"neon\"\n");
        EXPECT_EQ(parsed, (SettingsFileFormat::Parsed{{{"autoShow", false}, {"waveColor", "neon"s}}, 1})) << bad;
    }
    EXPECT_EQ(SettingsFileFormat::parse(""), SettingsFileFormat::Parsed{});
}

// Carriage returns inside an opaque value are dropped; invalid UTF-8 in a string is written as
// U+FFFD. (That whatever parses is written back unchanged is the settings fuzzer's property.)
TEST(SettingsFileFormatTest, RepairedValues) {
    EXPECT_EQ(SettingsFileFormat::parse("k=[1,\r\r2]\r\n").values, (SettingsMap{{"k", OpaqueSettingsValue{"[1,2]"}}}));
    EXPECT_EQ(SettingsFileFormat::parse(SettingsFileFormat::serialize({{"k", "a\xFFz"s}})).values,
              (SettingsMap{{"k", "a\xEF\xBF\xBDz"s}}));
}

}  // namespace
}  // namespace sonavista
