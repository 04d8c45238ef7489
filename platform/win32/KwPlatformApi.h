// The Win32 calls the library makes, Windows build: the real API.
#ifndef KW_PLATFORM_API_H
#define KW_PLATFORM_API_H

#include "MaskSchedulePlatform.h"

#include <shlwapi.h>

#endif
