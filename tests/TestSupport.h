// Shared helpers for the tests: local times, a temporary folder and a log
// capture that points the logger at a file of the test's own.
#ifndef KW_TEST_SUPPORT_H
#define KW_TEST_SUPPORT_H

#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <filesystem>

#include "KwTestSeam.h"
#include "MaskSchedule.h"

namespace kwtest {

inline SYSTEMTIME Time(int year, int month, int day, int dayOfWeek, int hour, int minute,
                       int second, int ms = 0) {
  SYSTEMTIME t;
  t.wYear = (WORD)year;
  t.wMonth = (WORD)month;
  t.wDay = (WORD)day;
  t.wDayOfWeek = (WORD)dayOfWeek;
  t.wHour = (WORD)hour;
  t.wMinute = (WORD)minute;
  t.wSecond = (WORD)second;
  t.wMilliseconds = (WORD)ms;
  return t;
}

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

// A fresh folder under the system temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("kwtest_" + std::to_string(std::rand()) + "_" + std::to_string(++counter));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Points the logger at a log file in its own folder, with the given level and
// only the file sink, for the life of the object.
class LogCapture {
 public:
  explicit LogCapture(int level = 8) {
    ini_ = dir_ / "capture.ini";
    log_ = dir_ / "capture.log";
    WriteFile(ini_, "[LOGGER]\r\nFLAGS=1\r\nLEVEL=" + std::to_string(level) + "\r\nFILE=" +
                        log_.string() + "\r\n");
    KwTestResetLogger(nullptr);
    CKwLogger::Init(ini_.string().c_str());
  }
  ~LogCapture() { KwTestResetLogger(nullptr); }

  std::string Text() const { return ReadFile(log_); }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::string text = Text();
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find("\r\n", pos);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(pos, end - pos));
      pos = end + 2;
    }
    return lines;
  }
  // Number of lines containing the text.
  int Count(const std::string& text) const {
    int n = 0;
    for (const auto& l : Lines())
      if (l.find(text) != std::string::npos) ++n;
    return n;
  }
  void Clear() { WriteFile(log_, ""); }

 private:
  TempDir dir_;
  std::filesystem::path ini_;
  std::filesystem::path log_;
};

}  // namespace kwtest

#endif
