// maskschedule-demo: a small host of the MaskSchedule library.
//
// It builds a sample schedule for four units, runs one simulated week through
// OnTimer in one-minute steps (the library's clock seam follows the simulated
// clock, so the week passes in a moment) and prints every switch command the
// library sends back.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "MaskSchedule.h"

namespace {

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

struct Unit {
  int id;
  const char* name;
};

const Unit kUnits[] = {{1, "Entrance"}, {2, "Cash desk"}, {3, "Warehouse"}, {4, "Parking"}};

// ---- Simulated calendar -----------------------------------------------------

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

void NextDay(SYSTEMTIME& t) {
  t.wDayOfWeek = (WORD)((t.wDayOfWeek + 1) % 7);
  if (++t.wDay > DaysInMonth(t.wYear, t.wMonth)) {
    t.wDay = 1;
    if (++t.wMonth > 12) {
      t.wMonth = 1;
      ++t.wYear;
    }
  }
}

void AddMinute(SYSTEMTIME& t) {
  if (++t.wMinute < 60) return;
  t.wMinute = 0;
  if (++t.wHour < 24) return;
  t.wHour = 0;
  NextDay(t);
}

std::string DateText(const SYSTEMTIME& t) {
  char buf[32];
  snprintf(buf, sizeof(buf), "%s %04u-%02u-%02u", kDayNames[t.wDayOfWeek % 7], t.wYear, t.wMonth,
           t.wDay);
  return buf;
}

std::string TimeText(const SYSTEMTIME& t) {
  char buf[32];
  snprintf(buf, sizeof(buf), "%02u:%02u:%02u", t.wHour, t.wMinute, t.wSecond);
  return buf;
}

// ---- Rules ------------------------------------------------------------------

enum { kOff = 0, kOn = 1, kKeep = -1 };

struct RuleSpec {
  const char* purpose;
  int hour, minute;
  const char* days;  // weekdays as "SMTWTFS" flags, e.g. "-MTWTF-"; null: special day
  int year, month, day;
  std::vector<int> units;
  int views[KW_VIEW_COUNT];  // kOn, kOff or kKeep (the rule leaves the view alone)
};

MASK_SCHEDULE MakeRule(const RuleSpec& s) {
  MASK_SCHEDULE r;
  r.stTime.wHour = (WORD)s.hour;
  r.stTime.wMinute = (WORD)s.minute;
  if (s.days) {
    for (int d = 0; d < 7; ++d) r.bWeekDay[d] = s.days[d] != '-';
  } else {
    r.bSpecialDay = 1;
    r.stDate.wYear = (WORD)s.year;
    r.stDate.wMonth = (WORD)s.month;
    r.stDate.wDay = (WORD)s.day;
  }
  for (int v = 0; v < KW_VIEW_COUNT; ++v) {
    r.bEnable[v] = s.views[v] != kKeep;
    r.bMask[v] = s.views[v] == kOn;
  }
  for (int id : s.units) {
    CKwMaskScheduleKws u;
    memset(&u, 0, sizeof(u));
    u.nId = id;
    for (const Unit& known : kUnits)
      if (known.id == id) strncpy(u.szName, known.name, sizeof(u.szName) - 1);
    r.arKws.Add(u);
  }
  return r;
}

std::string ViewsText(const int* set, const int* mask) {
  std::string s;
  for (int v = 0; v < KW_VIEW_COUNT; ++v) {
    const char* value = !set[v] ? "--" : mask[v] ? "ON" : "OFF";
    char buf[32];
    snprintf(buf, sizeof(buf), v + 1 < KW_VIEW_COUNT ? "  view%d %-3s" : "  view%d %s", v, value);
    s += buf;
  }
  return s;
}

// ---- The host -----------------------------------------------------------------

class DemoHost : public CKwMaskSchedule {
 public:
  void MaskSwitch(CKwMaskScheduleKwsSwitch& sw) override {
    char unit[64];
    snprintf(unit, sizeof(unit), "%.40s (id %d)", sw.stKws.szName, sw.stKws.nId);
    printf("%s %s  %-20s%s\n", DateText(now).c_str(), TimeText(now).c_str(), unit,
           ViewsText(sw.bSet, sw.bMask).c_str());
    ++commands;
  }
  SYSTEMTIME now;
  int commands = 0;
};

}  // namespace

int main(int argc, char** argv) {
  // --save FILE: also write the sample schedule to a schedule file.
  const char* savePath = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--save") == 0 && i + 1 < argc) {
      savePath = argv[++i];
    } else {
      fprintf(stderr, "usage: maskschedule-demo [--save FILE]\n");
      return 2;
    }
  }
  const std::vector<RuleSpec> specs = {
      {"shop opens: show the entrance and cash desk", 8, 0, "-MTWTF-", 0, 0, 0, {1, 2},
       {kOff, kOff, kKeep, kKeep, kKeep}},
      {"same minute: hide the till close-up at the cash desk", 8, 0, "-MTWTF-", 0, 0, 0, {2},
       {kKeep, kKeep, kKeep, kOn, kKeep}},
      {"lunch break: hide the staff area", 12, 0, "-MTWTF-", 0, 0, 0, {2, 3},
       {kKeep, kKeep, kOn, kKeep, kKeep}},
      {"lunch is over", 13, 0, "-MTWTF-", 0, 0, 0, {2, 3}, {kKeep, kKeep, kOff, kKeep, kKeep}},
      {"shop closes: hide entrance and cash desk", 18, 0, "-MTWTF-", 0, 0, 0, {1, 2},
       {kOn, kOn, kKeep, kKeep, kKeep}},
      {"Saturday: hide everything everywhere", 10, 0, "------S", 0, 0, 0, {1, 2, 3, 4},
       {kOn, kOn, kOn, kOn, kOn}},
      {"night: hide the parking street view", 0, 0, "SMTWTFS", 0, 0, 0, {4},
       {kKeep, kKeep, kKeep, kKeep, kOn}},
      {"morning: show the parking street view", 6, 0, "SMTWTFS", 0, 0, 0, {4},
       {kKeep, kKeep, kKeep, kKeep, kOff}},
      {"Christmas (special day, replaces the weekday rules)", 9, 0, nullptr, 2026, 12, 25,
       {1, 4}, {kOn, kKeep, kKeep, kOn, kKeep}},
  };

  DemoHost host;
  if (!host.Create()) {
    fprintf(stderr, "maskschedule-demo: the library could not create its engine\n");
    return 1;
  }
  for (const RuleSpec& s : specs) {
    MASK_SCHEDULE r = MakeRule(s);
    host.Add(&r);
  }
  if (savePath && !host.Save(savePath)) {
    fprintf(stderr, "maskschedule-demo: cannot save the schedule to %s\n", savePath);
    return 1;
  }

  printf("MaskSchedule demo: one simulated week, the clock advancing a minute at a time.\n\n");
  printf("Units (each has five camera views, view0 to view4, each with a hidden zone):\n");
  for (const Unit& u : kUnits) printf("  %-10s id %d\n", u.name, u.id);
  printf("\nRules:\n");
  for (size_t i = 0; i < specs.size(); ++i) {
    const RuleSpec& s = specs[i];
    char when[32];
    if (s.days)
      snprintf(when, sizeof(when), "%s %02d:%02d", s.days, s.hour, s.minute);
    else
      snprintf(when, sizeof(when), "%04d-%02d-%02d %02d:%02d", s.year, s.month, s.day, s.hour,
               s.minute);
    std::string units;
    for (int id : s.units) units += (units.empty() ? "" : ",") + std::to_string(id);
    MASK_SCHEDULE r = MakeRule(s);
    printf("  #%zu %-17s units %-8s%s\n      %s\n", i, when, units.c_str(),
           ViewsText(r.bEnable, r.bMask).c_str(), s.purpose);
  }
  printf("\nWeekdays are written SMTWTFS (Sunday first); '-' means not on that day.\n"
         "Rules due at the same moment are merged into one line per unit; where two\n"
         "rules set the same view, the one listed later wins.\n"
         "On a special day only the special-day rules apply: no weekday rule runs then.\n"
         "When the demo starts (Monday 07:00) rules already due that day apply at once.\n\n"
         "Each line below is one switch command the library sent to this host:\n"
         "  when, which unit, and per view:  ON  = hide the zone   OFF = show it\n"
         "                                   --  = leave this view as it is\n\n");

  // Monday 2026-12-21 07:00:00 to Sunday 2026-12-27 23:59:00.
  SYSTEMTIME now;
  memset(&now, 0, sizeof(now));
  now.wYear = 2026;
  now.wMonth = 12;
  now.wDay = 21;
  now.wDayOfWeek = 1;
  now.wHour = 7;
  int lastDay = -1;
  const int minutes = 7 * 24 * 60 - 7 * 60;
  for (int i = 0; i < minutes; ++i) {
    if (now.wDay != lastDay) {
      lastDay = now.wDay;
      printf("---- %s ----\n", DateText(now).c_str());
    }
    host.now = now;
    host.OnTimer(&now);
    AddMinute(now);
  }
  printf("\n%d switch commands in one simulated week.\n", host.commands);
  return 0;
}
