// The engine behind a schedule object: the rule list, the timer state and
// the guarded delivery of switch commands. Internal to the library.
#ifndef KW_MASK_SCHEDULE_ENGINE_H
#define KW_MASK_SCHEDULE_ENGINE_H

#include <stdint.h>

#include "MaskSchedule.h"

// Receiver of switch commands: (owner, command).
typedef void (*KwSwitchFunction)(void* owner, CKwMaskScheduleKwsSwitch& sw);

// A calendar date (year, month, day) as one comparable value.
inline DWORD KwPackDate(const SYSTEMTIME& t) {
  return ((DWORD)t.wYear << 16) | ((DWORD)(t.wMonth & 0xFF) << 8) | (DWORD)(t.wDay & 0xFF);
}

// Same calendar date: year, month and day; the other members are ignored.
inline bool KwSameDate(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

class CKwMaskScheduleEngine {
 public:
  CKwMaskScheduleEngine();
  virtual ~CKwMaskScheduleEngine();

  // Connects the receiver and makes the next OnTimer arm every rule again.
  int Create(KwSwitchFunction pfnSwitch, void* owner);
  void Destroy();
  int Add(MASK_SCHEDULE* rule);
  int Delete(int index);
  void DeleteAll();
  // Hands one command to the receiver under the structured guard.
  void MaskSwitch(CKwMaskScheduleKwsSwitch& sw);

  void OnTimer(SYSTEMTIME* now);
  void UpdateSchedule(int index);
  int Load(const char* path);
  int Save(const char* path);

  CKwMaskScheduleArray m_arSchedule;
  int m_nLastDayOfWeek;         // weekday last armed for; -1: arm at next OnTimer
  KwSwitchFunction m_pfnSwitch;
  void* m_pOwner;
  int64_t m_nCountdown;         // milliseconds to the next evaluation
  DWORD m_dwLastTick;           // tick count read at the last OnTimer
  // Seconds of day of the nearest rule still pending today, or
  // kNoPendingRule. OnTimer evaluates as soon as the host's time of day
  // reaches it, even when the tick countdown has not run out (clock moved
  // forward).
  int m_nPendingRuleSec;
  // Calendar date the rules were last armed for, packed by KwPackDate
  // (0: never). A new date re-arms even on the same weekday.
  DWORD m_dwLastArmedDate;

  static constexpr int kNoPendingRule = 0x7FFFFFFF;

 private:
  CKwMaskScheduleEngine(const CKwMaskScheduleEngine&);
  CKwMaskScheduleEngine& operator=(const CKwMaskScheduleEngine&);

  bool m_bReportedNoReceiver;   // "no receiver" is logged once per engine
};

#endif
