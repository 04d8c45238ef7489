// The engine behind a schedule object: the rule list, the timer state and
// the guarded delivery of switch commands. Internal to the library.
#ifndef KW_MASK_SCHEDULE_ENGINE_H
#define KW_MASK_SCHEDULE_ENGINE_H

#include <stdint.h>

#include "MaskSchedule.h"

// Receiver of switch commands: (owner, command).
typedef void (*KwSwitchFunction)(void* owner, CKwMaskScheduleKwsSwitch& sw);

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

 private:
  CKwMaskScheduleEngine(const CKwMaskScheduleEngine&);
  CKwMaskScheduleEngine& operator=(const CKwMaskScheduleEngine&);

  bool m_bReportedNoReceiver;   // "no receiver" is logged once per engine
};

#endif
