// The schedule file: Save and Load.
#include "MaskScheduleEngine.h"

int CKwMaskScheduleEngine::Load(const char*) { return 0; }
int CKwMaskScheduleEngine::Save(const char*) { return 0; }
