// Shared pieces of the maskschedule command-line tool: exit codes, the error
// that ends a command, calendar arithmetic and text helpers.
//
// The tool is a host like any other: it reaches the library only through
// MaskSchedule.h. The schedule file's byte layout is read directly only by
// FileCheck.cpp, for diagnosis.
#ifndef MASKSCHEDULE_TOOL_H
#define MASKSCHEDULE_TOOL_H

#include <stdint.h>

#include <string>
#include <vector>

#include <MaskSchedule.h>

// Exit codes scripts can rely on (also in --help and README.md).
enum {
  kExitOk = 0,
  kExitInvalid = 1,  // damaged or invalid input file (schedule, JSON, units)
  kExitUsage = 2,    // bad command line: unknown command or option, bad date or number
  kExitIo = 3,       // a file cannot be opened, read or written
};

// Ends the current command: main prints "maskschedule CMD: message" on
// standard error and exits with code.
struct ToolError {
  int code;
  std::string message;
};

[[noreturn]] void Fail(int code, const std::string& message);

// printf into a std::string.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// ---------------------------------------------------------------------------
// Calendar (proleptic Gregorian)
// ---------------------------------------------------------------------------

struct CivilDate {
  int year;
  int month;  // 1..12
  int day;    // 1..31
};

// Days since 1970-01-01 and back.
int64_t DaysFromCivil(const CivilDate& d);
CivilDate CivilFromDays(int64_t days);
// 0 = Sunday, as SYSTEMTIME.wDayOfWeek.
int DayOfWeek(const CivilDate& d);
int DaysInMonth(int year, int month);
// Parses "YYYY-MM-DD" (a real calendar date, year 1601..9999).
bool ParseDate(const std::string& text, CivilDate* out);
std::string DateText(const CivilDate& d);  // "2024-03-05"

extern const char* const kWeekdayNames[7];  // "SUN".."SAT", as the list dialog shows them
extern const char* const kDayNames[7];      // "Sun".."Sat"
extern const char* const kMonthNames[12];   // "Jan".."Dec"

// ---------------------------------------------------------------------------
// Rules and units as the list dialog shows them
// ---------------------------------------------------------------------------

// "07:05:00": hour, minute, second of stTime.
std::string RuleTimeText(const MASK_SCHEDULE& rule);
// The special date as "05/03/2024" (day/month/year) or the weekdays as
// "MON,FRI"; empty when no weekday is set.
std::string RuleDaysText(const MASK_SCHEDULE& rule);
// Seconds of day of stTime, as the engine counts them.
int RuleSecondsOfDay(const MASK_SCHEDULE& rule);

// A unit name's bytes before its first zero byte (all 260 without one).
std::string NameBytes(const CKwMaskScheduleKws& unit);
// Bytes shown on a terminal: printable ASCII as is, others as \xNN.
std::string Printable(const std::string& bytes);
// Bytes read as ISO-8859-1 and written as UTF-8 (every byte is kept).
std::string Latin1ToUtf8(const std::string& bytes);
// The reverse; false when a character is above U+00FF or the UTF-8 is bad.
bool Utf8ToLatin1(const std::string& text, std::string* bytes);

// ---------------------------------------------------------------------------
// Loading a schedule
// ---------------------------------------------------------------------------

// A schedule object used only to hold rules read from a file.
class ScheduleHolder : public CKwMaskSchedule {};

// Checks the file's layout (exit 1 with the diagnosis when damaged, 3 when it
// cannot be read) and loads it with the library. Notes about files that load
// but are unusual go to standard error.
void LoadChecked(CKwMaskSchedule& schedule, const std::string& path);

// Unit names given on the command line (--units FILE): "ID NAME" per line.
struct UnitNames {
  std::vector<std::pair<int, std::string>> names;
  const std::string* Find(int id) const;
};
UnitNames ReadUnitNames(const std::string& path);

// The whole content of a file; fails with kExitIo when it cannot be read.
std::string ReadAll(const std::string& path);

// Parses a whole decimal number in [low, high].
bool ParseInt(const std::string& text, long long low, long long high, long long* out);

// Writes text to path through a temporary file beside it and a rename, so
// an existing file is replaced only by a complete new one.
void WriteFileReplacing(const std::string& path, const std::string& text);

// Command entry points. args excludes the program and command names.
int CmdShow(const std::vector<std::string>& args);
int CmdCheck(const std::vector<std::string>& args);
int CmdExport(const std::vector<std::string>& args);
int CmdImport(const std::vector<std::string>& args);
int CmdSimulate(const std::vector<std::string>& args);

#endif  // MASKSCHEDULE_TOOL_H
