// Re-arming one rule for the machine's current date.
#include "MaskScheduleEngine.h"

void CKwMaskScheduleEngine::UpdateSchedule(int) {}
