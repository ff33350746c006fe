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
    EXPECT_EQ(SettingsFileFormat::parse(SettingsFileFormat::serialize(values)), values);
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
    EXPECT_EQ(SettingsFileFormat::parse(text), expected);
}

TEST(SettingsFileFormatTest, MalformedFilesAreRejectedWhole) {
    const std::string rows[] = {
        "overlayEnabled=true\ngarbage line\n",
        "waveColor=cyan\n",           // strings must be quoted
        "waveColor=\"cyan\n",          // unterminated
        "overlayEnabled=\n",
        "bad key=true\n",              // spaces in keys are encoded
        "k%2=true\n",
        "k%zz=true\n",
        "[General\nk=true\n",
        "k=\"\xFF\xFE\"\n",            // invalid UTF-8 in a string
        std::string("k=true\n\0\x01\x02", 10),
        "k=[\"a\"]]\n",
        "k=1e99999\n",
        std::string("k=[606]\0\0more\n", 15),  // the JSON parser would stop at the NUL
    };
    for (const std::string& text : rows) EXPECT_EQ(SettingsFileFormat::parse(text), std::nullopt) << text;
    EXPECT_EQ(SettingsFileFormat::parse(""), SettingsMap{});
}

// Carriage returns inside an opaque value are dropped; invalid UTF-8 in a string is written as
// U+FFFD. (That whatever parses is written back unchanged is the settings fuzzer's property.)
TEST(SettingsFileFormatTest, RepairedValues) {
    EXPECT_EQ(SettingsFileFormat::parse("k=[1,\r\r2]\r\n"), (SettingsMap{{"k", OpaqueSettingsValue{"[1,2]"}}}));
    EXPECT_EQ(SettingsFileFormat::parse(SettingsFileFormat::serialize({{"k", "a\xFFz"s}})),
              (SettingsMap{{"k", "a\xEF\xBF\xBDz"s}}));
}

}  // namespace
}  // namespace sonavista
