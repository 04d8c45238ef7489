// Platform types named by the public header, Windows build: the real ones.
#ifndef MASKSCHEDULE_PLATFORM_H
#define MASKSCHEDULE_PLATFORM_H

#ifndef NOMINMAX
#define NOMINMAX  // keep std::min/std::max usable in hosts and in the library
#endif
#include <windows.h>

#ifdef MASKSCHEDULE_BUILDING
#define KW_API __declspec(dllexport)
#else
#define KW_API __declspec(dllimport)
#endif

// Inline members of the library's list instantiations that hosts compile into
// their own code. GCC neither exports such a member of an explicitly
// instantiated template from the DLL nor emits a copy of it in a host that
// sees the instantiation as extern, so with GCC they are always inlined.
#if defined(__GNUC__)
#define KW_HOST_INLINE inline __attribute__((always_inline))
#else
#define KW_HOST_INLINE inline
#endif

#endif
