#include <atomic>

#include "KwPlatformApi.h"
#include "KwSeams.h"
#include "KwTestSeam.h"

namespace {

std::atomic<bool> g_tickSet(false);
std::atomic<DWORD> g_tick(0);
std::atomic<bool> g_timeSet(false);
SYSTEMTIME g_time;  // written by a test before g_timeSet is raised

}  // namespace

DWORD KwTickCount() {
  if (g_tickSet.load(std::memory_order_acquire)) return g_tick.load(std::memory_order_relaxed);
  return GetTickCount();
}

void KwLocalTime(SYSTEMTIME* now) {
  if (g_timeSet.load(std::memory_order_acquire)) {
    *now = g_time;
    return;
  }
  GetLocalTime(now);
}

void KwTestSetTickCount(DWORD tick) {
  g_tick.store(tick, std::memory_order_relaxed);
  g_tickSet.store(true, std::memory_order_release);
}

void KwTestSetLocalTime(const SYSTEMTIME* now) {
  g_timeSet.store(false, std::memory_order_release);
  g_time = *now;
  g_timeSet.store(true, std::memory_order_release);
}

void KwTestReleaseClock() {
  g_tickSet.store(false, std::memory_order_release);
  g_timeSet.store(false, std::memory_order_release);
}
