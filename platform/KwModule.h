// The library's own module instance handle, for code that loads resources
// from the library (dialog templates, bitmaps). Set by the Windows entry
// point when the library is attached to a process and cleared when it is
// detached; elsewhere nothing assigns it and it stays null.
#ifndef KW_MODULE_H
#define KW_MODULE_H

#include "MaskSchedulePlatform.h"

extern HINSTANCE g_hDllInstance;

#endif
