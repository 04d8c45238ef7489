// Engine construction, the rule list operations and the guarded delivery of
// switch commands.
#include "MaskScheduleEngine.h"

#include "KwSeams.h"

namespace {
const int kError = 2;
}

CKwMaskScheduleEngine::CKwMaskScheduleEngine()
    : m_arSchedule(),
      m_nLastDayOfWeek(-1),
      m_pfnSwitch(nullptr),
      m_pOwner(nullptr),
      m_nCountdown(0),
      m_dwLastTick(0),
      m_nPendingRuleSec(kNoPendingRule),
      m_dwLastArmedDate(0),
      m_bReportedNoReceiver(false) {}

CKwMaskScheduleEngine::~CKwMaskScheduleEngine() { Destroy(); }

int CKwMaskScheduleEngine::Create(KwSwitchFunction pfnSwitch, void* owner) {
  m_pfnSwitch = pfnSwitch;
  m_pOwner = owner;
  m_nLastDayOfWeek = -1;
  return 1;
}

void CKwMaskScheduleEngine::Destroy() {
  unsigned code = KwStructuredGuard([this] { DeleteAll(); });
  if (code)
    CKwLogger::Log(0, kError, this, "CKwMaskScheduleEngine::Destroy", "Exception 0x%08X", code);
}

int CKwMaskScheduleEngine::Add(MASK_SCHEDULE* rule) {
  if (!rule) {
    CKwLogger::Log(0, kError, this, "CKwMaskScheduleEngine::Add", "null rule, nothing stored");
    return 0;
  }
  try {
    MASK_SCHEDULE_EX stored;
    static_cast<MASK_SCHEDULE&>(stored) = *rule;
    stored.bActive = 1;
    return m_arSchedule.Add(stored);
  } catch (...) {
    CKwLogger::Log(0, kError, this, "CKwMaskScheduleEngine::Add", "C++ exception");
    return 0;
  }
}

int CKwMaskScheduleEngine::Delete(int index) {
  int result = 0;
  unsigned code = KwStructuredGuard([&] { result = m_arSchedule.Delete(index); });
  if (code) {
    CKwLogger::Log(0, kError, this, "CKwMaskScheduleEngine::Delete", "Exception 0x%08X", code);
    return 0;
  }
  return result;
}

void CKwMaskScheduleEngine::DeleteAll() {
  unsigned code = KwStructuredGuard([this] { m_arSchedule.DeleteAll(); });
  if (code)
    CKwLogger::Log(0, kError, this, "CKwMaskScheduleEngine::DeleteAll", "Exception 0x%08X", code);
}

void CKwMaskScheduleEngine::MaskSwitch(CKwMaskScheduleKwsSwitch& sw) {
  if (!m_pfnSwitch) {
    // A rule fired before Create connected a receiver: the command has nowhere
    // to go. Said once, so a host that never calls Create is not flooded.
    if (!m_bReportedNoReceiver) {
      m_bReportedNoReceiver = true;
      CKwLogger::Log(0, kError, this, "CKwMaskScheduleEngine::MaskSwitch",
                     "No switch receiver connected (Create not called); switch commands are dropped");
    }
    return;
  }
  unsigned code = KwStructuredGuard([&] { m_pfnSwitch(m_pOwner, sw); });
  if (code)
    CKwLogger::Log(0, kError, this, "CKwMaskScheduleEngine::MaskSwitch", "Exception 0x%08X", code);
}
