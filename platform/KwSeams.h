// Platform services the library reaches through a seam of its own rather than
// through a Win32 call, so that both builds share one contract and tests can
// control them. One implementation per platform, chosen by CMake, except the
// clock override, which is shared.
#ifndef KW_SEAMS_H
#define KW_SEAMS_H

#include "MaskSchedulePlatform.h"

// The millisecond tick counter (GetTickCount) unless a test has set one.
DWORD KwTickCount();
// The local time (GetLocalTime) unless a test has set one.
void KwLocalTime(SYSTEMTIME* now);

// The code reported for a C++ exception caught by the structured guard: the
// code Windows gives language exceptions.
#define KW_CPP_EXCEPTION_CODE 0xE06D7363u

// Runs fn(context) and catches whatever it raises: every C++ exception and,
// where the platform delivers processor faults as exceptions (Windows), those
// too. Returns 0 when fn returned normally, otherwise the exception's 32-bit
// code (KW_CPP_EXCEPTION_CODE for a C++ exception). Exported for the
// library's tests.
KW_API unsigned KwStructuredCall(void (*fn)(void*), void* context);

template <class F>
unsigned KwStructuredGuard(F&& f) {
  struct Thunk {
    static void Run(void* p) { (*static_cast<F*>(p))(); }
  };
  return KwStructuredCall(&Thunk::Run, &f);
}

#endif
