// Platform types named by the public header, Linux build.
//
// This is our own small stand-in for the few Win32 types the library's public
// records carry. Field order and widths follow the Windows records, so a
// schedule record has the same layout on both builds (apart from pointer and
// CRITICAL_SECTION width).
#ifndef MASKSCHEDULE_PLATFORM_H
#define MASKSCHEDULE_PLATFORM_H

#include <stdint.h>

// Symbols a host links against; everything else stays hidden.
#define KW_API __attribute__((visibility("default")))
// Inline members of the library's list instantiations that hosts compile into
// their own code (the shared object exports them as well).
#define KW_HOST_INLINE inline

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int BOOL;
typedef unsigned int UINT;
typedef void* HANDLE;
typedef struct KwModule_* HMODULE;
typedef HMODULE HINSTANCE;
typedef struct KwWindow_* HWND;
typedef struct KwBitmap_* HBITMAP;

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

// Local time as Windows hands it out: wDayOfWeek 0 is Sunday.
typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME;

// Opaque storage for a critical section; only the platform layer looks inside.
typedef struct _CRITICAL_SECTION {
  alignas(16) unsigned char opaque[48];
} CRITICAL_SECTION;

#endif
