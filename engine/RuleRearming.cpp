// Re-arming one rule for the machine's current date.
#include "KwSeams.h"
#include "MaskScheduleEngine.h"

namespace {
const int kError = 2;
}

void CKwMaskScheduleEngine::UpdateSchedule(int index) {
  try {
    // The machine's clock, not the last time the host passed to OnTimer.
    SYSTEMTIME today;
    KwLocalTime(&today);

    // The next OnTimer evaluates at once and finds every pending rule again.
    m_nCountdown = 0;

    const int count = m_arSchedule.GetSize();
    if (index < 0 || index >= count) {
      // The list reports the bad position. Its default item is only looked
      // at here, never written: it is shared by every rule list.
      (void)m_arSchedule.GetAt(index);
      return;
    }
    MASK_SCHEDULE_EX& rule = m_arSchedule.GetAt(index);

    if (rule.bSpecialDay) {
      rule.bActive = KwSameDate(rule.stDate, today) ? 1 : 0;
      return;
    }

    // A special day for today's date replaces the weekday plan.
    for (int i = 0; i < count; ++i) {
      const MASK_SCHEDULE_EX& other = m_arSchedule.GetAt(i);
      if (other.bSpecialDay && KwSameDate(other.stDate, today)) {
        rule.bActive = 0;
        return;
      }
    }
    rule.bActive = (today.wDayOfWeek <= 6 && rule.bWeekDay[today.wDayOfWeek]) ? 1 : 0;
  } catch (...) {
    CKwLogger::Log(0, kError, this, "CKwMaskScheduleEngine::UpdateSchedule", "C++ exception");
  }
}
