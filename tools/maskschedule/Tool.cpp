// Shared helpers of the maskschedule tool, and the show and check commands.
#include "Tool.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileCheck.h"

void Fail(int code, const std::string& message) { throw ToolError{code, message}; }

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string s(n > 0 ? (size_t)n : 0, '\0');
  if (n > 0) vsnprintf(&s[0], (size_t)n + 1, format, args);
  va_end(args);
  return s;
}

// ---------------------------------------------------------------------------
// Calendar
// ---------------------------------------------------------------------------

const char* const kWeekdayNames[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Howard Hinnant's days_from_civil / civil_from_days.
int64_t DaysFromCivil(const CivilDate& d) {
  int64_t y = d.year - (d.month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (d.month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + d.day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CivilDate d;
  d.day = (int)(doy - (153 * mp + 2) / 5 + 1);
  d.month = (int)(mp < 10 ? mp + 3 : mp - 9);
  d.year = (int)(yoe + era * 400 + (d.month <= 2 ? 1 : 0));
  return d;
}

int DayOfWeek(const CivilDate& d) {
  int64_t days = DaysFromCivil(d);  // 1970-01-01 was a Thursday
  return (int)(((days % 7) + 7 + 4) % 7);
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

bool ParseDate(const std::string& text, CivilDate* out) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (i != 4 && i != 7 && (text[i] < '0' || text[i] > '9')) return false;
  CivilDate d;
  d.year = atoi(text.substr(0, 4).c_str());
  d.month = atoi(text.substr(5, 2).c_str());
  d.day = atoi(text.substr(8, 2).c_str());
  if (d.year < 1601 || d.month < 1 || d.month > 12 || d.day < 1 ||
      d.day > DaysInMonth(d.year, d.month))
    return false;
  *out = d;
  return true;
}

std::string DateText(const CivilDate& d) {
  return Format("%04d-%02d-%02d", d.year, d.month, d.day);
}

// ---------------------------------------------------------------------------
// Rules and units
// ---------------------------------------------------------------------------

std::string RuleTimeText(const MASK_SCHEDULE& rule) {
  return Format("%02d:%02d:%02d", rule.stTime.wHour, rule.stTime.wMinute, rule.stTime.wSecond);
}

std::string RuleDaysText(const MASK_SCHEDULE& rule) {
  if (rule.bSpecialDay)
    return Format("%02d/%02d/%04d", rule.stDate.wDay, rule.stDate.wMonth, rule.stDate.wYear);
  std::string days;
  for (int k = 0; k < 7; ++k) {
    if (!rule.bWeekDay[k]) continue;
    if (!days.empty()) days += ",";
    days += kWeekdayNames[k];
  }
  return days;
}

int RuleSecondsOfDay(const MASK_SCHEDULE& rule) {
  return ((int)rule.stTime.wHour * 60 + (int)rule.stTime.wMinute) * 60 + (int)rule.stTime.wSecond;
}

std::string NameBytes(const CKwMaskScheduleKws& unit) {
  const void* zero = memchr(unit.szName, 0, KW_NAME_SIZE);
  size_t n = zero ? (size_t)((const char*)zero - unit.szName) : (size_t)KW_NAME_SIZE;
  return std::string(unit.szName, n);
}

std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\')
      out += (char)c;
    else if (c == '\\')
      out += "\\\\";
    else
      out += Format("\\x%02X", c);
  }
  return out;
}

std::string Latin1ToUtf8(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += (char)c;
    } else {
      out += (char)(0xC0 | (c >> 6));
      out += (char)(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool Utf8ToLatin1(const std::string& text, std::string* bytes) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = (unsigned char)text[i];
    if (c < 0x80) {
      out += (char)c;
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
               ((unsigned char)text[i + 1] & 0xC0) == 0x80) {
      out += (char)(((c & 0x03) << 6) | ((unsigned char)text[i + 1] & 0x3F));
      ++i;
    } else {
      return false;
    }
  }
  *bytes = out;
  return true;
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

void LoadChecked(CKwMaskSchedule& schedule, const std::string& path) {
  FileDiagnosis d = DiagnoseScheduleFile(path);
  if (!d.valid) Fail(kExitInvalid, path + ": " + d.problem);
  for (const std::string& note : d.notes)
    fprintf(stderr, "maskschedule: note: %s: %s\n", path.c_str(), note.c_str());
  const int before = schedule.GetScheduleArray().GetSize();
  if (!schedule.Load(path.c_str()) ||
      schedule.GetScheduleArray().GetSize() - before != d.completeRules)
    Fail(kExitInvalid, Format("%s: the library could not load the file's %d rules", path.c_str(),
                              d.completeRules));
}

const std::string* UnitNames::Find(int id) const {
  for (const auto& entry : names)
    if (entry.first == id) return &entry.second;
  return nullptr;
}

bool ParseInt(const std::string& text, long long low, long long high, long long* out) {
  if (text.empty() || text.size() > 20) return false;
  size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size()) return false;
  for (size_t k = i; k < text.size(); ++k)
    if (text[k] < '0' || text[k] > '9') return false;
  errno = 0;
  char* end = nullptr;
  long long v = strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *out = v;
  return true;
}

std::string ReadAll(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) Fail(kExitIo, Format("cannot open %s: %s", path.c_str(), strerror(errno)));
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
  bool bad = ferror(f) != 0;
  fclose(f);
  if (bad) Fail(kExitIo, Format("cannot read %s", path.c_str()));
  return text;
}

UnitNames ReadUnitNames(const std::string& path) {
  std::string text = ReadAll(path);

  UnitNames result;
  size_t pos = 0;
  int lineNo = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos || line[b] == '#') continue;
    size_t idEnd = line.find_first_of(" \t", b);
    size_t nameStart = idEnd == std::string::npos ? std::string::npos
                                                  : line.find_first_not_of(" \t", idEnd);
    long long id = 0;
    if (nameStart == std::string::npos ||
        !ParseInt(line.substr(b, idEnd - b), INT32_MIN, INT32_MAX, &id))
      Fail(kExitInvalid, Format("%s line %d: expected a unit id and a name (\"ID NAME\")",
                                path.c_str(), lineNo));
    std::string name = line.substr(nameStart);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    if (result.Find((int)id))
      Fail(kExitInvalid, Format("%s line %d: unit %lld is named twice", path.c_str(), lineNo, id));
    result.names.emplace_back((int)id, name);
  }
  return result;
}

void WriteFileReplacing(const std::string& path, const std::string& text) {
  std::string temp = path + ".tmp-XXXXXX";
  int fd = mkstemp(&temp[0]);
  if (fd < 0) Fail(kExitIo, Format("cannot write %s: %s", path.c_str(), strerror(errno)));
  // mkstemp makes the file private; give it the mode a new file would get,
  // or keep the mode of the file it replaces.
  const mode_t mask = umask(0);
  umask(mask);
  struct stat old;
  fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~mask));
  const char* p = text.data();
  size_t left = text.size();
  int error = 0;
  while (left > 0 && !error) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    p += n;
    left -= (size_t)n;
  }
  if (!error && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && !error) error = errno;
  if (!error && rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error) {
    unlink(temp.c_str());
    Fail(kExitIo, Format("cannot write %s: %s", path.c_str(), strerror(error)));
  }
}

// ---------------------------------------------------------------------------
// show, check
// ---------------------------------------------------------------------------

namespace {

std::string Pad(const std::string& s, size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

std::string OneFileArg(const std::vector<std::string>& args, const char* command) {
  if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-'))
    Fail(kExitUsage, Format("expected one schedule file (see 'maskschedule %s --help')", command));
  return args[0];
}

}  // namespace

int CmdShow(const std::vector<std::string>& args) {
  const std::string path = OneFileArg(args, "show");
  ScheduleHolder schedule;
  LoadChecked(schedule, path);
  CKwMaskScheduleArray& rules = schedule.GetScheduleArray();
  const int count = rules.GetSize();
  if (count == 0) {
    printf("no rules\n");
    return kExitOk;
  }

  std::vector<std::vector<std::string>> rows;
  rows.push_back({"#", "V0", "V1", "V2", "V3", "V4", "time", "days", "units"});
  for (int i = 0; i < count; ++i) {
    MASK_SCHEDULE_EX& rule = rules.GetAt(i);
    std::vector<std::string> row;
    row.push_back(Format("%d", i));
    for (int v = 0; v < KW_VIEW_COUNT; ++v)
      row.push_back(!rule.bEnable[v] ? "-" : rule.bMask[v] ? "on" : "off");
    row.push_back(RuleTimeText(rule));
    std::string days = RuleDaysText(rule);
    row.push_back(days.empty() ? "(no day)" : days);
    std::string units;
    const int unitCount = rule.arKws.GetSize();
    for (int k = 0; k < unitCount; ++k) {
      CKwMaskScheduleKws& unit = rule.arKws.GetAt(k);
      if (k) units += ", ";
      units += Format("%d", unit.nId);
      std::string name = NameBytes(unit);
      if (!name.empty()) units += " " + Printable(name);
    }
    row.push_back(unitCount ? units : "(no unit)");
    rows.push_back(row);
  }
  std::vector<size_t> width(rows[0].size(), 0);
  for (const auto& row : rows)
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c)
      line += c + 1 < row.size() ? Pad(row[c], width[c] + 2) : row[c];
    printf("%s\n", line.c_str());
  }
  printf("views: on = hidden zone switched on, off = switched off, - = not controlled\n");
  return kExitOk;
}

int CmdCheck(const std::vector<std::string>& args) {
  const std::string path = OneFileArg(args, "check");
  FileDiagnosis d = DiagnoseScheduleFile(path);
  if (!d.valid) Fail(kExitInvalid, path + ": " + d.problem);
  // The library must agree with the layout: it loads exactly these rules.
  ScheduleHolder schedule;
  if (schedule.Load(path.c_str()) != 1 || schedule.GetScheduleArray().GetSize() != d.ruleCount)
    Fail(kExitInvalid, Format("%s: the layout is valid but the library does not load its %d rules",
                              path.c_str(), d.ruleCount));
  printf("%s: valid schedule file: %d rule%s, %lld unit%s, %lld bytes\n", path.c_str(),
         d.ruleCount, d.ruleCount == 1 ? "" : "s", d.unitCount, d.unitCount == 1 ? "" : "s",
         d.size);
  for (const std::string& note : d.notes) printf("note: %s\n", note.c_str());
  return kExitOk;
}
