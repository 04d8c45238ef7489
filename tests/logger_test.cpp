// The logger: configuration from the INI file and its write-back, the level
// and sink tests, the line format and its limits, and first use from two
// threads at once.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>

#include "TestSupport.h"

namespace fs = std::filesystem;
using kwtest::ReadFile;
using kwtest::TempDir;
using kwtest::WriteFile;

namespace {

// GoogleTest reads captured standard output back in text mode, which on
// Windows turns the "\r\n" the logger wrote into "\n". The log file itself
// holds exactly the line's characters everywhere.
const std::string kFileEol = "\r\n";
#ifdef _WIN32
const std::string kCapturedEol = "\n";
#else
const std::string kCapturedEol = "\r\n";
#endif

// A logger configured from an INI file of the test's own, in a fresh folder.
class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ini_ = dir_ / "host.ini";
    log_ = dir_ / "host.log";
    KwTestReleaseClock();
    KwTestResetLogger(nullptr);
  }
  void TearDown() override {
    KwTestReleaseClock();
    KwTestResetLogger(nullptr);
  }
  void Configure(const std::string& loggerKeys) {
    WriteFile(ini_, "[LOGGER]\r\n" + loggerKeys + "FILE=" + log_.string() + "\r\n");
  }
  int Init() { return CKwLogger::Init(ini_.string().c_str()); }
  std::string LogText() { return ReadFile(log_); }

  TempDir dir_;
  fs::path ini_, log_;
};

fs::path ExecutablePath() {
  return fs::absolute(fs::path(::testing::internal::GetArgvs()[0]));
}

struct LevelCase {
  const char* keys;   // FLAGS and LEVEL lines as they stand in the INI file
  int reportLevel;
  bool written;       // the line reaches the log file
};

class LoggerLevels : public LoggerTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(LoggerLevels, WritesOnlyWhatLevelAndFlagsAllow) {
  Configure(GetParam().keys);
  ASSERT_EQ(Init(), 1);
  EXPECT_EQ(CKwLogger::Log(GetParam().reportLevel, 2, nullptr, "T::F", "hello"), 1);
  EXPECT_EQ(LogText().find("T::F: hello") != std::string::npos, GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoggerLevels, ::testing::Values(
    LevelCase{"", 0, true},                        // defaults: FLAGS 3, LEVEL 0
    LevelCase{"", 4, false},                       // traces stay out by default
    LevelCase{"", 8, false},
    LevelCase{"FLAGS=1\r\nLEVEL=-1\r\n", 0, false},  // -1 silences everything
    LevelCase{"FLAGS=1\r\nLEVEL=8\r\n", 8, true},
    LevelCase{"FLAGS=1\r\nLEVEL=4\r\n", 8, false},
    LevelCase{"FLAGS=0\r\n", 0, false},
    LevelCase{"FLAGS=\r\n", 0, false},             // present but empty reads as 0
    LevelCase{"FLAGS=8\r\n", 0, false},            // no known sink bit
    LevelCase{"FLAGS=1x\r\n", 0, true},            // leading number: 1
    LevelCase{"  flags  =  1  \r\n  level = 8 \r\n", 8, true}));  // case and blanks

TEST_F(LoggerTest, MissingIniIsCreatedWithTheDefaults) {
  ASSERT_FALSE(fs::exists(ini_));
  ASSERT_EQ(Init(), 1);
  std::string ini = ReadFile(ini_);
  EXPECT_NE(ini.find("[LOGGER]"), std::string::npos);
  EXPECT_NE(ini.find("FLAGS=3"), std::string::npos);
  EXPECT_NE(ini.find("LEVEL=0"), std::string::npos);
  // The default log file is the INI path with extension ".log".
  EXPECT_NE(ini.find("FILE=" + log_.string()), std::string::npos);
  CKwLogger::Log(0, 2, nullptr, "T::F", "to the default file");
  EXPECT_NE(LogText().find("to the default file"), std::string::npos);
}

TEST_F(LoggerTest, FirstReportConfiguresFromTheExecutablesIni) {
  // No INI beside the executable: the first report creates it with the
  // defaults and logs to the executable's name with extension ".log".
  fs::path exeIni = ExecutablePath().replace_extension(".ini");
  fs::path exeLog = ExecutablePath().replace_extension(".log");
  fs::remove(exeIni);
  fs::remove(exeLog);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(CKwLogger::Log(0, 2, nullptr, "T::F", "first report"), 1);
  std::string debugger = ::testing::internal::GetCapturedStderr();
  std::string ini = ReadFile(exeIni);
  EXPECT_NE(ini.find("FLAGS=3"), std::string::npos) << ini;
  EXPECT_NE(ini.find("LEVEL=0"), std::string::npos);
  EXPECT_NE(ini.find("FILE="), std::string::npos);
  EXPECT_NE(ReadFile(exeLog).find("T::F: first report" + kFileEol), std::string::npos);
#ifndef _WIN32
  // Here the debugger output is standard error.
  EXPECT_NE(debugger.find("T::F: first report\r\n"), std::string::npos);
#endif
  fs::remove(exeIni);
  fs::remove(exeLog);
}

TEST_F(LoggerTest, WriteBackNormalisesValuesAndKeepsTheRest) {
  WriteFile(ini_, "; host settings\r\n[HOST]\r\nNAME=gate\r\n[LOGGER]\r\nFLAGS=1x\r\nFILE=" +
                      log_.string() + "\r\n");
  ASSERT_EQ(Init(), 1);
  std::string ini = ReadFile(ini_);
  EXPECT_NE(ini.find("; host settings"), std::string::npos);
  EXPECT_NE(ini.find("NAME=gate"), std::string::npos);
  EXPECT_NE(ini.find("FLAGS=1\r\n"), std::string::npos);
  EXPECT_NE(ini.find("LEVEL=0"), std::string::npos);
}

TEST_F(LoggerTest, SettingsAreReadOncePerProcess) {
  Configure("FLAGS=1\r\nLEVEL=0\r\n");
  ASSERT_EQ(Init(), 1);
  Configure("FLAGS=1\r\nLEVEL=8\r\n");
  ASSERT_EQ(Init(), 1);
  CKwLogger::Log(8, 0, nullptr, "T::F", "trace");
  EXPECT_EQ(LogText().find("trace"), std::string::npos);
}

TEST_F(LoggerTest, LineFormat) {
  Configure("FLAGS=1\r\nLEVEL=8\r\n");
  ASSERT_EQ(Init(), 1);
  SYSTEMTIME t = kwtest::Time(2009, 10, 29, 4, 17, 5, 9, 42);
  KwTestSetLocalTime(&t);
  CKwLogger::Log(0, 2, nullptr, "CKwArray::GetAt", "Index %d is out of bounds [0..%d)", 5, 3);
  const void* object = reinterpret_cast<const void*>(uintptr_t(0x12FE40));
  CKwLogger::Log(8, 0, object, "E::F", "rule #%d", 7);
  std::string digits(2 * sizeof(void*), '0');
  std::string obj = std::string(2 * sizeof(void*) - 6, '0') + "12FE40";
  std::regex expected(
      "[0-9A-F]{8} \\[29/10/2009 17:05:09:042\\] ERROR " + digits +
      " CKwArray::GetAt: Index 5 is out of bounds \\[0\\.\\.3\\)" + kFileEol +
      "[0-9A-F]{8} \\[29/10/2009 17:05:09:042\\] INFO " + obj + " E::F: rule #7" + kFileEol);
  EXPECT_TRUE(std::regex_match(LogText(), expected)) << LogText();
}

struct KindCase {
  int kind;
  const char* text;
};

class LoggerKinds : public LoggerTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(LoggerKinds, KindText) {
  Configure("FLAGS=1\r\n");
  ASSERT_EQ(Init(), 1);
  CKwLogger::Log(0, GetParam().kind, nullptr, "T::F", "m");
  EXPECT_NE(LogText().find(std::string("] ") + GetParam().text + " "), std::string::npos)
      << LogText();
}

INSTANTIATE_TEST_SUITE_P(Cases, LoggerKinds, ::testing::Values(
    KindCase{0, "INFO"}, KindCase{1, "WARNING"}, KindCase{2, "ERROR"},
    KindCase{3, "UNKNOWN"}, KindCase{-1, "UNKNOWN"}));

TEST_F(LoggerTest, LongMessagesAndLinesAreCutAt1023) {
  Configure("FLAGS=1\r\n");
  ASSERT_EQ(Init(), 1);
  std::string longText(5000, 'm');
  CKwLogger::Log(0, 2, nullptr, "T::F", "%s", longText.c_str());
  std::string text = LogText();
  EXPECT_EQ(text.size(), 1023u);
  EXPECT_EQ(text.back(), 'm');  // no line end on a cut line
  // A format that is not text at all is printed, not followed.
  CKwLogger::Log(0, 2, nullptr, nullptr, nullptr);
  EXPECT_EQ(LogText().substr(1023).find(": " + kFileEol) != std::string::npos, true);
}

TEST_F(LoggerTest, UnwritableLogFileSkipsOnlyThatSink) {
  WriteFile(ini_, "[LOGGER]\r\nFLAGS=5\r\nFILE=" + (dir_ / "missing" / "x.log").string() + "\r\n");
  ASSERT_EQ(Init(), 1);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(CKwLogger::Log(0, 2, nullptr, "T::F", "still on stdout"), 1);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("T::F: still on stdout" + kCapturedEol), std::string::npos);
}

TEST_F(LoggerTest, ModuleNameFailureFallsBackToTheExecutableAndSaysSo) {
  // Nothing in the library sets the module handle; a handle that names no
  // module makes the first query fail, the executable's name is used instead,
  // and the failure is reported once initialisation has completed.
  HMODULE bogus = reinterpret_cast<HMODULE>(uintptr_t(0x1230));
  KwTestResetLogger(bogus);
  // The INI beside the test executable: point its FILE at our folder.
  fs::path exeIni = ExecutablePath().replace_extension(".ini");
  std::string saved = fs::exists(exeIni) ? ReadFile(exeIni) : std::string();
  WriteFile(exeIni, "[LOGGER]\r\nFLAGS=1\r\nFILE=" + log_.string() + "\r\n");
  EXPECT_EQ(CKwLogger::Log(0, 2, nullptr, "T::F", "after"), 1);
  std::string text = LogText();
  EXPECT_NE(text.find("ERROR " + std::string(2 * sizeof(void*), '0') +
                      " CKwLogger::Init: GetModuleFileName for 0x00001230 failed with 0x0000007E"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("T::F: after"), std::string::npos);
  if (saved.empty())
    fs::remove(exeIni);
  else
    WriteFile(exeIni, saved);
}

TEST_F(LoggerTest, FirstReportsFromTwoThreadsInitialiseOnce) {
  Configure("FLAGS=1\r\n");
  // Point the executable's INI at our configuration by initialising through
  // the explicit path from both threads at once.
  std::string ini = ini_.string();
  auto report = [&](int id) {
    CKwLogger::Init(ini.c_str());
    for (int i = 0; i < 50; ++i) CKwLogger::Log(0, 2, nullptr, "T::F", "thread %d line %d", id, i);
  };
  std::thread a(report, 1), b(report, 2);
  a.join();
  b.join();
  std::string text = LogText();
  for (int id = 1; id <= 2; ++id)
    for (int i = 0; i < 50; ++i)
      EXPECT_NE(text.find("thread " + std::to_string(id) + " line " + std::to_string(i) + kFileEol),
                std::string::npos);
  std::string written = ReadFile(ini_);
  EXPECT_EQ(written.find("FLAGS"), written.rfind("FLAGS"));  // one key, not two
}

}  // namespace
