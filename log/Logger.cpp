// Process-wide logger: configured once from the host's INI file, then each
// report becomes one line written to the log file, standard output and the
// debugger output, as the sink mask selects.
#include <errno.h>
#include <inttypes.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "KwPlatformApi.h"
#include "KwSeams.h"
#include "KwTestSeam.h"
#include "MaskSchedule.h"

namespace {

const char kSection[] = "LOGGER";
const int kBufferSize = 1024;

enum SinkBits { kSinkFile = 1, kSinkDebugger = 2, kSinkStdout = 4 };

// The logger's process-wide state. After initialisation it is only read.
HMODULE hModule = nullptr;
std::atomic<int> bInitialized(0);
int nFlags = 3;
int nLevel = 0;
char szFile[MAX_PATH] = "";

std::mutex g_initLock;  // makes a first report from two threads initialise once

const char* KindText(int kind) {
  switch (kind) {
    case 0: return "INFO";
    case 1: return "WARNING";
    case 2: return "ERROR";
    default: return "UNKNOWN";
  }
}

std::mutex g_fileLock;  // one line at a time into the log file

// Appends the line exactly as formatted. Binary mode: in text mode the
// Windows runtime would turn the line's "\r\n" into "\r\r\n". The lock
// keeps lines of two threads from overwriting each other where the runtime
// appends by seeking to the end and then writing.
void WriteToFile(const char* line, size_t len) {
  std::lock_guard<std::mutex> lock(g_fileLock);
  FILE* f = fopen(szFile, "ab");
  if (!f) return;
  fwrite(line, 1, len, f);
  fclose(f);
}

void WriteToStdout(const char* line, size_t len) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(out, line, (DWORD)len, &written, nullptr);
}

// The leading decimal number of text, as atoi reads it (blanks, an optional
// sign, digits; anything else reads as 0), but clamped to the int range
// instead of overflowing.
int LeadingInt(const char* text) {
  errno = 0;
  long long v = strtoll(text, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return (int)v;
}

}  // namespace

int CKwLogger::Log(int level, int kind, const void* object, const char* function,
                   const char* format, ...) {
  // The common case, a trace below the configured level, returns before any
  // argument handling.
  if (bInitialized.load(std::memory_order_acquire) && (nLevel < level || nFlags == 0)) return 1;
  va_list args;
  va_start(args, format);
  int result = LogV(level, kind, object, function, format, args);
  va_end(args);
  return result;
}

int CKwLogger::LogV(int level, int kind, const void* object, const char* function,
                    const char* format, va_list args) {
  if (!bInitialized.load(std::memory_order_acquire) && !Init(nullptr)) return 0;
  if (nLevel < level) return 1;
  if (nFlags == 0) return 1;

  char message[kBufferSize];
  message[0] = '\0';
  if (format) vsnprintf(message, sizeof(message), format, args);

  SYSTEMTIME now;
  KwLocalTime(&now);

  // %p differs between runtimes (glibc prints "0x..." and "(nil)"), so the
  // pointer is printed by hand: upper-case hex, two digits per byte.
  char line[kBufferSize];
  int n = snprintf(line, sizeof(line),
                   "%08X [%02d/%02d/%02d %02d:%02d:%02d:%03d] %s %0*" PRIXPTR " %s: %s\r\n",
                   (unsigned)GetCurrentThreadId(), now.wDay, now.wMonth, now.wYear, now.wHour,
                   now.wMinute, now.wSecond, now.wMilliseconds, KindText(kind),
                   (int)(2 * sizeof(void*)), (uintptr_t)object, function ? function : "", message);
  if (n < 0) return 1;
  size_t len = (size_t)n < sizeof(line) ? (size_t)n : sizeof(line) - 1;

  if (nFlags & kSinkFile) WriteToFile(line, len);
  if (nFlags & kSinkStdout) WriteToStdout(line, len);
  if (nFlags & kSinkDebugger) OutputDebugStringA(line);
  return 1;
}

int CKwLogger::Init(const char* iniPath) {
  if (bInitialized.load(std::memory_order_acquire)) return 1;

  bool moduleNameFailed = false;
  DWORD moduleError = 0;
  {
    std::lock_guard<std::mutex> lock(g_initLock);
    if (bInitialized.load(std::memory_order_relaxed)) return 1;

    char path[MAX_PATH];
    if (!iniPath) {
      DWORD n = GetModuleFileNameA(hModule, path, MAX_PATH);
      if (n == 0 || n >= MAX_PATH) {
        moduleNameFailed = true;
        moduleError = GetLastError();
        n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return 0;
      }
      if (!PathRenameExtensionA(path, ".ini")) return 0;
      iniPath = path;
    } else if (strnlen(iniPath, MAX_PATH) >= MAX_PATH) {
      return 0;
    }

    ReadSettings(iniPath);
    WriteSettings(iniPath);
    bInitialized.store(1, std::memory_order_release);
  }

  if (moduleNameFailed)
    Log(0, 2, nullptr, "CKwLogger::Init", "GetModuleFileName for 0x%08X failed with 0x%08X",
        (unsigned)(uintptr_t)hModule, (unsigned)moduleError);
  return 1;
}

void CKwLogger::ReadSettings(const char* iniPath) {
  char defaultFile[MAX_PATH];
  snprintf(defaultFile, sizeof(defaultFile), "%s", iniPath);
  PathRenameExtensionA(defaultFile, ".log");
  nFlags = ReadProfileInt(kSection, "FLAGS", nFlags, iniPath);
  nLevel = ReadProfileInt(kSection, "LEVEL", nLevel, iniPath);
  GetPrivateProfileStringA(kSection, "FILE", defaultFile, szFile, sizeof(szFile), iniPath);
}

void CKwLogger::WriteSettings(const char* iniPath) {
  WriteProfileInt(kSection, "FLAGS", nFlags, iniPath);
  WriteProfileInt(kSection, "LEVEL", nLevel, iniPath);
  WritePrivateProfileStringA(kSection, "FILE", szFile, iniPath);
}

int CKwLogger::ReadProfileInt(const char* section, const char* key, int current,
                              const char* iniPath) {
  char def[32];
  snprintf(def, sizeof(def), "%d", current);
  char value[MAX_PATH];
  GetPrivateProfileStringA(section, key, def, value, sizeof(value), iniPath);
  return LeadingInt(value);
}

void CKwLogger::WriteProfileInt(const char* section, const char* key, int value,
                                const char* iniPath) {
  char text[32];
  snprintf(text, sizeof(text), "%d", value);
  WritePrivateProfileStringA(section, key, text, iniPath);
}

void KwTestResetLogger(HMODULE module) {
  std::lock_guard<std::mutex> lock(g_initLock);
  bInitialized.store(0, std::memory_order_release);
  hModule = module;
  nFlags = 3;
  nLevel = 0;
  szFile[0] = '\0';
}
