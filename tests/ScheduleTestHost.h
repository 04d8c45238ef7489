// A host for the timer, re-arming and merge tests: it records every switch
// command it receives, can be told to throw, and lets the test read the
// engine's fields. Plus small builders for rules.
#ifndef KW_SCHEDULE_TEST_HOST_H
#define KW_SCHEDULE_TEST_HOST_H

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "MaskSchedule.h"
#include "MaskScheduleEngine.h"
#include "TestSupport.h"

namespace kwtest {

class RecordingHost : public CKwMaskSchedule {
 public:
  RecordingHost() { Create(); }

  void MaskSwitch(CKwMaskScheduleKwsSwitch& sw) override {
    ++calls;
    if (throwOnCall == calls) throw std::runtime_error("host failure");
    received.push_back(sw);
  }

  const CKwMaskScheduleEngine& Engine() const { return *m_pEngine; }

  // Identifiers of the commands received so far, e.g. "1,2".
  std::string Ids() const {
    std::string s;
    for (const auto& sw : received) s += (s.empty() ? "" : ",") + std::to_string(sw.stKws.nId);
    return s;
  }
  // Identifiers received since the last call of TakeIds.
  std::string TakeIds() {
    std::string s = Ids();
    received.clear();
    return s;
  }

  void Tick(DWORD tick, SYSTEMTIME now) {
    KwTestSetTickCount(tick);
    OnTimer(&now);
  }

  std::vector<CKwMaskScheduleKwsSwitch> received;
  int calls = 0;
  int throwOnCall = 0;  // 1-based call that throws; 0: none
};

inline CKwMaskScheduleKws Unit(int id, const std::string& name = "") {
  CKwMaskScheduleKws u;
  memset(&u, 0, sizeof(u));
  u.nId = id;
  std::string n = name.empty() ? "unit " + std::to_string(id) : name;
  strncpy(u.szName, n.c_str(), sizeof(u.szName) - 1);
  return u;
}

inline void AddUnits(MASK_SCHEDULE& rule, std::initializer_list<int> ids) {
  for (int id : ids) {
    CKwMaskScheduleKws u = Unit(id);
    rule.arKws.Add(u);
  }
}

// A weekday rule at h:m:s for the given weekdays (0 = Sunday), enabling
// view 0 with value 1, for the given units.
inline MASK_SCHEDULE WeekdayRule(int h, int m, int s, std::initializer_list<int> days,
                                 std::initializer_list<int> ids) {
  MASK_SCHEDULE r;
  r.stTime = Time(2000, 1, 1, 0, h, m, s);
  for (int d : days) r.bWeekDay[d] = 1;
  r.bEnable[0] = 1;
  r.bMask[0] = 1;
  AddUnits(r, ids);
  return r;
}

// A special-day rule at h:m:s for one date.
inline MASK_SCHEDULE SpecialDayRule(int h, int m, int s, int year, int month, int day,
                                    std::initializer_list<int> ids) {
  MASK_SCHEDULE r;
  r.stTime = Time(2000, 1, 1, 0, h, m, s);
  r.bSpecialDay = 1;
  r.stDate = Time(year, month, day, 0, 0, 0, 0);
  r.bEnable[0] = 1;
  r.bMask[0] = 1;
  AddUnits(r, ids);
  return r;
}

// Days used throughout: Monday 2026-12-14 and the days around it.
inline SYSTEMTIME Mon(int h, int m, int s) { return Time(2026, 12, 14, 1, h, m, s); }
inline SYSTEMTIME Tue(int h, int m, int s) { return Time(2026, 12, 15, 2, h, m, s); }
inline SYSTEMTIME NextMon(int h, int m, int s) { return Time(2026, 12, 21, 1, h, m, s); }

const int64_t kNoRuleCountdown = 4294967295000LL;

}  // namespace kwtest

#endif
