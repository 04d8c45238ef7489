// Daily arming, the tick countdown and the evaluation of due rules.
//
// OnTimer is called often; most calls end after the countdown step, having
// read no rule: a few comparisons on the host's time, one tick read and one
// 64-bit subtraction. The rule list is walked only when the day changes and
// when an evaluation is due.
#include <string.h>

#include <unordered_map>

#include "KwSeams.h"
#include "MaskScheduleEngine.h"

namespace {

const char kFunction[] = "CKwMaskScheduleEngine::OnTimer";
const int kInfo = 0;
const int kError = 2;

// Countdown, in seconds, when no armed rule is pending for the rest of the day.
const int64_t kNoRuleSeconds = 4294967295LL;

typedef CKwArray<CKwMaskScheduleKwsSwitch, CKwMaskScheduleKwsSwitch&> CKwSwitchList;

int SecondsOfDay(const SYSTEMTIME& t) {
  return ((int)t.wHour * 60 + (int)t.wMinute) * 60 + (int)t.wSecond;
}

// Arms every rule for the day of now. Special-day rules for today's date
// replace the weekday plan for the whole day: when at least one matches, no
// weekday rule is armed. The countdown is cleared so that an evaluation
// follows in the same call.
void ArmForDay(CKwMaskScheduleEngine& engine, const SYSTEMTIME& now) {
  CKwMaskScheduleArray& rules = engine.m_arSchedule;
  const int count = rules.GetSize();

  bool specialDay = false;
  for (int i = 0; i < count; ++i) {
    MASK_SCHEDULE_EX& rule = rules.GetAt(i);
    if (!rule.bSpecialDay) continue;
    if (KwSameDate(rule.stDate, now)) {
      rule.bActive = 1;
      specialDay = true;
      CKwLogger::Log(8, kInfo, &engine, kFunction, "found special day rule #%d", i);
    } else {
      rule.bActive = 0;
    }
  }

  for (int i = 0; i < count; ++i) {
    MASK_SCHEDULE_EX& rule = rules.GetAt(i);
    if (rule.bSpecialDay) continue;
    if (rule.bWeekDay[now.wDayOfWeek] && !specialDay) {
      rule.bActive = 1;
      CKwLogger::Log(8, kInfo, &engine, kFunction, "found week day rule #%d", i);
    } else {
      rule.bActive = 0;
    }
  }

  engine.m_nLastDayOfWeek = now.wDayOfWeek;
  engine.m_dwLastArmedDate = KwPackDate(now);
  engine.m_nCountdown = 0;
}

// Builds the switch list of one evaluation: one record per distinct unit
// identifier, in order of first appearance. A unit met again takes the
// values of the views the later rule enables; the others keep theirs. The
// index from identifier to record keeps each unit's lookup constant, so the
// merge is linear in the number of unit references.
class CKwSwitchMerger {
 public:
  explicit CKwSwitchMerger(CKwSwitchList& list) : m_list(list) {}

  void MergeRule(MASK_SCHEDULE_EX& rule) {
    CKwMaskScheduleKwsArray& units = rule.arKws;
    const int count = units.GetSize();
    for (int k = 0; k < count; ++k) {
      CKwMaskScheduleKws& unit = units.GetAt(k);
      std::unordered_map<int, CKwMaskScheduleKwsSwitch*>::iterator found = m_byId.find(unit.nId);
      if (found != m_byId.end()) {
        CKwMaskScheduleKwsSwitch& record = *found->second;
        for (int v = 0; v < KW_VIEW_COUNT; ++v) {
          if (rule.bEnable[v]) {
            record.bMask[v] = rule.bMask[v];
            record.bSet[v] = 1;
          }
        }
        continue;
      }
      // A new unit: the rule's values and enable flags exactly as stored.
      CKwMaskScheduleKwsSwitch record;
      record.stKws = unit;
      memcpy(record.bMask, rule.bMask, sizeof(record.bMask));
      memcpy(record.bSet, rule.bEnable, sizeof(record.bSet));
      if (!m_list.Add(record)) continue;  // no memory: no command for this unit now
      // The new node is the last one and the list's cursor is on it, so this
      // lookup takes no step. Nodes never move, so the pointer stays valid.
      m_byId.emplace(unit.nId, &m_list.GetAt(m_list.GetSize() - 1));
    }
  }

 private:
  CKwSwitchList& m_list;
  std::unordered_map<int, CKwMaskScheduleKwsSwitch*> m_byId;
};

// Fires every armed rule whose time of day has come, delivers the merged
// commands and sets the countdown to the nearest rule still pending.
void Evaluate(CKwMaskScheduleEngine& engine, const SYSTEMTIME& now) {
  CKwLogger::Log(4, kInfo, &engine, kFunction, "Next switch task time comes");

  const int nowSec = SecondsOfDay(now);
  // Seconds until the evaluation ends, then milliseconds.
  engine.m_nCountdown = kNoRuleSeconds;
  engine.m_nPendingRuleSec = CKwMaskScheduleEngine::kNoPendingRule;

  CKwSwitchList switches;
  CKwSwitchMerger merger(switches);

  CKwMaskScheduleArray& rules = engine.m_arSchedule;
  const int count = rules.GetSize();
  for (int i = 0; i < count; ++i) {
    MASK_SCHEDULE_EX& rule = rules.GetAt(i);
    if (!rule.bActive) continue;
    const int ruleSec = SecondsOfDay(rule.stTime);
    if (nowSec < ruleSec) {
      // Pending: it stays armed; the nearest one sets the countdown.
      if ((int64_t)(ruleSec - nowSec) < engine.m_nCountdown) {
        engine.m_nCountdown = ruleSec - nowSec;
        engine.m_nPendingRuleSec = ruleSec;
      }
    } else {
      CKwLogger::Log(8, kInfo, &engine, kFunction, "rule #%d", i);
      rule.bActive = 0;
      merger.MergeRule(rule);
    }
  }

  // Each command is delivered under the engine's guard: a host that throws
  // loses only that command.
  const int switchCount = switches.GetSize();
  for (int i = 0; i < switchCount; ++i) engine.MaskSwitch(switches.GetAt(i));

  engine.m_nCountdown *= 1000;
  // Time spent in the host's MaskSwitch does not count against the new
  // countdown.
  engine.m_dwLastTick = KwTickCount();
}

}  // namespace

void CKwMaskScheduleEngine::OnTimer(SYSTEMTIME* now) {
  try {
    if (!now) {
      CKwLogger::Log(0, kError, this, kFunction, "No local time given, call ignored");
      return;
    }
    // A weekday outside 0..6 would index past the weekday flags, and a time
    // of day out of range would make rules fire at the wrong moment.
    if (now->wDayOfWeek > 6 || now->wHour > 23 || now->wMinute > 59 || now->wSecond > 59) {
      CKwLogger::Log(0, kError, this, kFunction,
                     "Invalid local time (day of week %u, %02u:%02u:%02u), call ignored",
                     (unsigned)now->wDayOfWeek, (unsigned)now->wHour, (unsigned)now->wMinute,
                     (unsigned)now->wSecond);
      return;
    }

    // A new day: the weekday differs from the one armed for (-1 forces it),
    // or the calendar date does, which also catches a host that slept for
    // whole weeks.
    if (now->wDayOfWeek != m_nLastDayOfWeek || KwPackDate(*now) != m_dwLastArmedDate)
      ArmForDay(*this, *now);

    // The unsigned difference is the true elapsed time across a wrap of the
    // tick counter.
    const DWORD tick = KwTickCount();
    const DWORD elapsed = tick - m_dwLastTick;
    m_dwLastTick = tick;
    m_nCountdown -= (int64_t)elapsed;

    // Due when the countdown has run out, or when the host's clock has
    // reached the nearest pending rule sooner than the ticks (the clock was
    // moved forward). Neither makes a rule fire before its time of day.
    if (m_nCountdown > 0 && SecondsOfDay(*now) < m_nPendingRuleSec) return;

    Evaluate(*this, *now);
  } catch (...) {
    CKwLogger::Log(0, kError, this, kFunction, "C++ exception");
  }
}
