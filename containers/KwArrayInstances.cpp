// The list instantiations the library hands to hosts: their code and their
// default items live here, in the library.
#include "KwArrayP.h"

template class CKwArray<CKwMaskScheduleKws, CKwMaskScheduleKws&>;
template class CKwArray<MASK_SCHEDULE_EX, MASK_SCHEDULE_EX&>;
template class CKwArrayP<MASK_SCHEDULE_EX, MASK_SCHEDULE_EX&>;
template class CKwArray<CKwMaskScheduleKwsSwitch, CKwMaskScheduleKwsSwitch&>;
