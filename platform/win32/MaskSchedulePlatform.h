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

#endif
