// The exported schedule object: a thin front over one engine.
#include "MaskSchedule.h"

#include "MaskScheduleEngine.h"

namespace {

// The receiver Create connects: the owner is the schedule object, and the
// virtual MaskSwitch is the host's override.
void SwitchTrampoline(void* owner, CKwMaskScheduleKwsSwitch& sw) {
  static_cast<CKwMaskSchedule*>(owner)->MaskSwitch(sw);
}

}  // namespace

CKwMaskSchedule::CKwMaskSchedule() : m_pEngine(new (std::nothrow) CKwMaskScheduleEngine()) {}

CKwMaskSchedule::~CKwMaskSchedule() { delete m_pEngine; }

void CKwMaskSchedule::MaskSwitch(CKwMaskScheduleKwsSwitch&) {
  // The base does nothing: forwarding to the engine would call back here.
}

int CKwMaskSchedule::Create() { return m_pEngine ? m_pEngine->Create(&SwitchTrampoline, this) : 0; }

void CKwMaskSchedule::Destroy() {
  if (m_pEngine) m_pEngine->Destroy();
}

int CKwMaskSchedule::Load(const char* path) { return m_pEngine ? m_pEngine->Load(path) : 0; }

int CKwMaskSchedule::Save(const char* path) { return m_pEngine ? m_pEngine->Save(path) : 0; }

void CKwMaskSchedule::OnTimer(SYSTEMTIME* now) {
  if (m_pEngine) m_pEngine->OnTimer(now);
}

int CKwMaskSchedule::Add(MASK_SCHEDULE* rule) { return m_pEngine ? m_pEngine->Add(rule) : 0; }

int CKwMaskSchedule::Delete(int index) { return m_pEngine ? m_pEngine->Delete(index) : 0; }

void CKwMaskSchedule::DeleteAll() {
  if (m_pEngine) m_pEngine->DeleteAll();
}

CKwMaskScheduleArray& CKwMaskSchedule::GetScheduleArray() {
  if (m_pEngine) return m_pEngine->m_arSchedule;
  // An inert object lends one empty list, the same for the whole process.
  static CKwMaskScheduleArray empty;
  return empty;
}

void CKwMaskSchedule::UpdateSchedule(int index) {
  if (m_pEngine) m_pEngine->UpdateSchedule(index);
}
