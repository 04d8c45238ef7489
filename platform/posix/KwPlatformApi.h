// The Win32 calls the library makes, Linux build: our own stand-in.
//
// Only the subset the library uses, with the behaviour the library relies on:
// - GetTickCount: milliseconds since boot, time spent suspended included,
//   wrapping at 32 bits.
// - GetLocalTime: the local wall clock.
// - Critical sections: initialised and deleted; nothing in the library enters
//   them, but they are real mutexes for a caller that does.
// - GetModuleFileNameA: a null module names the running executable; any other
//   handle fails with ERROR_MOD_NOT_FOUND.
// - PathRenameExtensionA: replaces or appends the extension of the last path
//   component; fails when the result would not fit in MAX_PATH.
// - Profile (INI) functions: see Profile.h.
// - GetStdHandle/WriteFile: the process's standard output.
// - OutputDebugStringA: there is no debugger channel here; standard error.
#ifndef KW_PLATFORM_API_H
#define KW_PLATFORM_API_H

#include "MaskSchedulePlatform.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_INSUFFICIENT_BUFFER 122L

DWORD GetTickCount();
void GetLocalTime(SYSTEMTIME* st);
void InitializeCriticalSection(CRITICAL_SECTION* cs);
void DeleteCriticalSection(CRITICAL_SECTION* cs);
void EnterCriticalSection(CRITICAL_SECTION* cs);
void LeaveCriticalSection(CRITICAL_SECTION* cs);
DWORD GetLastError();
void SetLastError(DWORD code);
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
BOOL PathRenameExtensionA(char* path, const char* ext);
DWORD GetCurrentThreadId();
HANDLE GetStdHandle(DWORD which);
BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void* overlapped);
void OutputDebugStringA(const char* text);

#include "Profile.h"

#endif
