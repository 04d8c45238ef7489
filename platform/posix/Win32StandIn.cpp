// Linux stand-in for the kernel, shell and console calls the library makes.
#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <new>

#include "KwPlatformApi.h"

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque),
              "CRITICAL_SECTION too small for a mutex");

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetTickCount() {
  // CLOCK_BOOTTIME keeps counting while the machine sleeps, as Windows' tick
  // count does; CLOCK_MONOTONIC would stop.
  timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  unsigned long long ms = (unsigned long long)ts.tv_sec * 1000ull + (unsigned long long)ts.tv_nsec / 1000000ull;
  return (DWORD)ms;
}

void GetLocalTime(SYSTEMTIME* st) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  struct tm tmv;
  localtime_r(&secs, &tmv);
  st->wYear = (WORD)(tmv.tm_year + 1900);
  st->wMonth = (WORD)(tmv.tm_mon + 1);
  st->wDayOfWeek = (WORD)tmv.tm_wday;
  st->wDay = (WORD)tmv.tm_mday;
  st->wHour = (WORD)tmv.tm_hour;
  st->wMinute = (WORD)tmv.tm_min;
  st->wSecond = (WORD)(tmv.tm_sec > 59 ? 59 : tmv.tm_sec);  // no leap second in SYSTEMTIME
  st->wMilliseconds = (WORD)(ts.tv_nsec / 1000000);
}

void InitializeCriticalSection(CRITICAL_SECTION* cs) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);  // Windows sections are re-entrant
  pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(cs->opaque), &attr);
  pthread_mutexattr_destroy(&attr);
}

void DeleteCriticalSection(CRITICAL_SECTION* cs) {
  pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(cs->opaque));
}

void EnterCriticalSection(CRITICAL_SECTION* cs) {
  pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(cs->opaque));
}

void LeaveCriticalSection(CRITICAL_SECTION* cs) {
  pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(cs->opaque));
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
  if (module != nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) {
    SetLastError((DWORD)errno);
    return 0;
  }
  path[n] = '\0';
  if ((DWORD)n >= size) {
    // As Windows does: cut to the buffer, zero-terminated, and say so.
    memcpy(buffer, path, size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  memcpy(buffer, path, (size_t)n + 1);
  return (DWORD)n;
}

BOOL PathRenameExtensionA(char* path, const char* ext) {
  if (!path || !ext) return 0;
  size_t len = strnlen(path, MAX_PATH);
  if (len >= MAX_PATH) return 0;
  // The extension starts at the last '.' of the last path component.
  size_t start = 0;
  for (size_t i = 0; i < len; ++i)
    if (path[i] == '/' || path[i] == '\\') start = i + 1;
  size_t cut = len;
  for (size_t i = len; i > start; --i) {
    if (path[i - 1] == '.') {
      cut = i - 1;
      break;
    }
  }
  size_t extLen = strlen(ext);
  if (cut + extLen >= MAX_PATH) return 0;
  memcpy(path + cut, ext, extLen + 1);
  return 1;
}

DWORD GetCurrentThreadId() { return (DWORD)syscall(SYS_gettid); }

HANDLE GetStdHandle(DWORD which) {
  if (which != STD_OUTPUT_HANDLE) return INVALID_HANDLE_VALUE;
  return (HANDLE)(intptr_t)STDOUT_FILENO;
}

BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void*) {
  int fd = (int)(intptr_t)file;
  const char* p = static_cast<const char*>(data);
  DWORD done = 0;
  while (done < size) {
    ssize_t n = write(fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += (DWORD)n;
  }
  if (written) *written = done;
  return done == size;
}

void OutputDebugStringA(const char* text) {
  if (!text) return;
  size_t len = strlen(text);
  while (len > 0) {
    ssize_t n = write(STDERR_FILENO, text, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text += n;
    len -= (size_t)n;
  }
}
