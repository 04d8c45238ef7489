// The INI profile functions the logger relies on. The same cases run against
// our Linux stand-in and against the real Windows API, so the two agree on
// everything a host's INI file may contain.
#include <gtest/gtest.h>

#include <string>

#include "KwPlatformApi.h"
#include "TestSupport.h"

using kwtest::ReadFile;
using kwtest::TempDir;
using kwtest::WriteFile;

namespace {

std::string Get(const std::string& file, const char* section, const char* key,
                const char* def = "(default)", DWORD size = 260) {
  char buffer[260];
  DWORD n = GetPrivateProfileStringA(section, key, def, buffer, size, file.c_str());
  std::string value(buffer);
  EXPECT_EQ(n, value.size());
  return value;
}

struct ReadCase {
  const char* name;
  const char* text;  // the file
  const char* section;
  const char* key;
  const char* expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, FindsTheValue) {
  TempDir dir;
  std::string file = (dir / "host.ini").string();
  WriteFile(file, GetParam().text);
  EXPECT_EQ(GetParam().expected, Get(file, GetParam().section, GetParam().key));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    ::testing::Values(
        ReadCase{"Plain", "[LOGGER]\r\nFLAGS=5\r\n", "LOGGER", "FLAGS", "5"},
        ReadCase{"NamesIgnoreCase", "[Logger]\r\nFlags=5\r\n", "LOGGER", "FLAGS", "5"},
        ReadCase{"QueryIgnoresCase", "[LOGGER]\r\nFLAGS=5\r\n", "logger", "flags", "5"},
        ReadCase{"BlanksAroundKeyAndValue", "[LOGGER]\r\n  FLAGS \t=  5 7 \t\r\n", "LOGGER",
                 "FLAGS", "5 7"},
        ReadCase{"BlanksBeforeSection", "  [LOGGER]\r\nFLAGS=5\r\n", "LOGGER", "FLAGS", "5"},
        ReadCase{"CommentLineIsNoKey", "[LOGGER]\r\n;FLAGS=1\r\n", "LOGGER", "FLAGS",
                 "(default)"},
        ReadCase{"CommentLineSkipped", "; host\r\n[LOGGER]\r\n; old: FLAGS=1\r\nFLAGS=2\r\n",
                 "LOGGER", "FLAGS", "2"},
        ReadCase{"DoubleQuotesRemoved", "[LOGGER]\r\nFILE=\"C:\\logs\\a b.log\"\r\n", "LOGGER",
                 "FILE", "C:\\logs\\a b.log"},
        ReadCase{"SingleQuotesRemoved", "[LOGGER]\r\nFILE='a b'\r\n", "LOGGER", "FILE", "a b"},
        ReadCase{"UnmatchedQuoteKept", "[LOGGER]\r\nFILE=\"a b\r\n", "LOGGER", "FILE",
                 "\"a b"},
        ReadCase{"EmptyValue", "[LOGGER]\r\nFLAGS=\r\n", "LOGGER", "FLAGS", ""},
        ReadCase{"KeyOfAnotherSection", "[HOST]\r\nFLAGS=1\r\n[LOGGER]\r\nLEVEL=2\r\n", "LOGGER",
                 "FLAGS", "(default)"},
        ReadCase{"LaterSection", "[HOST]\r\nFLAGS=1\r\n[LOGGER]\r\nFLAGS=2\r\n", "LOGGER",
                 "FLAGS", "2"},
        ReadCase{"LineFeedsOnly", "[HOST]\nX=1\n[LOGGER]\nFLAGS=3\n", "LOGGER", "FLAGS", "3"},
        ReadCase{"NoLineEndAtTheEnd", "[LOGGER]\r\nFLAGS=4", "LOGGER", "FLAGS", "4"},
        ReadCase{"MissingSection", "[HOST]\r\nX=1\r\n", "LOGGER", "X", "(default)"},
        ReadCase{"EmptyFile", "", "LOGGER", "FLAGS", "(default)"}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(Profile, DefaultsAndLimits) {
  TempDir dir;
  std::string missing = (dir / "missing.ini").string();
  EXPECT_EQ("3", Get(missing, "LOGGER", "FLAGS", "3"));
  EXPECT_EQ("", Get(missing, "LOGGER", "FLAGS", nullptr));
  EXPECT_EQ("a.log", Get(missing, "LOGGER", "FILE", "a.log  "));  // trailing blanks dropped
  EXPECT_FALSE(std::filesystem::exists(missing));                   // reading creates nothing

  std::string file = (dir / "host.ini").string();
  WriteFile(file, "[LOGGER]\r\nFILE=abcdefghij\r\n");
  EXPECT_EQ("abcd", Get(file, "LOGGER", "FILE", "", 5));  // cut to size - 1
}

TEST(Profile, WriteCreatesFileAndSection) {
  TempDir dir;
  std::string file = (dir / "host.ini").string();
  ASSERT_NE(0, WritePrivateProfileStringA("LOGGER", "FLAGS", "3", file.c_str()));
  ASSERT_NE(0, WritePrivateProfileStringA("LOGGER", "LEVEL", "0", file.c_str()));
  EXPECT_EQ("3", Get(file, "LOGGER", "FLAGS"));
  EXPECT_EQ("0", Get(file, "LOGGER", "LEVEL"));
  std::string text = ReadFile(file);
  EXPECT_EQ(0u, text.find("[LOGGER]\r\nFLAGS=3\r\nLEVEL=0\r\n")) << text;
}

TEST(Profile, WriteKeepsTheRestAndReplacesInPlace) {
  TempDir dir;
  std::string file = (dir / "host.ini").string();
  WriteFile(file,
            "; host settings\r\n[HOST]\r\nNAME=gate\r\n[logger]\r\n; sinks\r\nflags = 1x\r\n"
            "LEVEL=4\r\n[OTHER]\r\nK=v\r\n");
  ASSERT_NE(0, WritePrivateProfileStringA("LOGGER", "FLAGS", "1", file.c_str()));
  ASSERT_NE(0, WritePrivateProfileStringA("LOGGER", "FILE", "C:\\a.log", file.c_str()));
  ASSERT_NE(0, WritePrivateProfileStringA("NEW", "X", "9", file.c_str()));

  EXPECT_EQ("1", Get(file, "LOGGER", "FLAGS"));
  EXPECT_EQ("4", Get(file, "LOGGER", "LEVEL"));
  EXPECT_EQ("C:\\a.log", Get(file, "LOGGER", "FILE"));
  EXPECT_EQ("gate", Get(file, "HOST", "NAME"));
  EXPECT_EQ("v", Get(file, "OTHER", "K"));
  EXPECT_EQ("9", Get(file, "NEW", "X"));

  std::string text = ReadFile(file);
  // Comments stay; the existing key keeps its place and its name's spelling
  // and the new key joins the end of its section.
  EXPECT_EQ(0u, text.find("; host settings\r\n")) << text;
  size_t comment = text.find("; sinks\r\n");
  size_t flags = text.find("flags=1\r\n");
  size_t level = text.find("LEVEL=4\r\n");
  size_t fileKey = text.find("FILE=C:\\a.log\r\n");
  size_t other = text.find("[OTHER]");
  ASSERT_NE(std::string::npos, comment) << text;
  ASSERT_NE(std::string::npos, flags) << text;
  ASSERT_NE(std::string::npos, level) << text;
  ASSERT_NE(std::string::npos, fileKey) << text;
  EXPECT_LT(comment, flags);
  EXPECT_LT(flags, level);
  EXPECT_LT(level, fileKey);
  EXPECT_LT(fileKey, other);
  EXPECT_EQ(std::string::npos, text.find("1x"));
  EXPECT_LT(other, text.find("[NEW]\r\nX=9\r\n"));
}

TEST(Profile, NullValueRemovesKeyAndNullKeyRemovesSection) {
  TempDir dir;
  std::string file = (dir / "host.ini").string();
  WriteFile(file, "[HOST]\r\nNAME=gate\r\n[LOGGER]\r\nFLAGS=1\r\nLEVEL=2\r\n");
  ASSERT_NE(0, WritePrivateProfileStringA("LOGGER", "FLAGS", nullptr, file.c_str()));
  EXPECT_EQ("(default)", Get(file, "LOGGER", "FLAGS"));
  EXPECT_EQ("2", Get(file, "LOGGER", "LEVEL"));
  ASSERT_NE(0, WritePrivateProfileStringA("LOGGER", nullptr, nullptr, file.c_str()));
  EXPECT_EQ("(default)", Get(file, "LOGGER", "LEVEL"));
  EXPECT_EQ("gate", Get(file, "HOST", "NAME"));
}

TEST(Profile, UnwritableFileFailsTheWrite) {
  TempDir dir;
  std::string file = (dir / "missing" / "host.ini").string();
  EXPECT_EQ(0, WritePrivateProfileStringA("LOGGER", "FLAGS", "1", file.c_str()));
}

}  // namespace
