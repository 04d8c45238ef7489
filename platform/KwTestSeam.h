// Hooks for the library's own tests; not part of the public interface and
// not installed. Exported so that tests can drive the shared library.
#ifndef KW_TEST_SEAM_H
#define KW_TEST_SEAM_H

#include "MaskSchedulePlatform.h"

// From now on KwTickCount returns tick (until changed or released).
KW_API void KwTestSetTickCount(DWORD tick);
// From now on KwLocalTime returns *now (until changed or released).
KW_API void KwTestSetLocalTime(const SYSTEMTIME* now);
// Back to the system clocks.
KW_API void KwTestReleaseClock();

// Puts the logger back into its never-initialised state with the initial
// settings, and makes the module file name query use module (null: the
// executable) on the next initialisation.
KW_API void KwTestResetLogger(HMODULE module);

#endif
