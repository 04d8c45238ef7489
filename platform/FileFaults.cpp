// Fault injection for the file seam: counts the calls of every step and makes
// the one a test chose fail or throw.
#include <atomic>
#include <stdexcept>

#include "DurableFile.h"
#include "KwFileTestSeam.h"

namespace {

struct Fault {
  std::atomic<int> remaining{0};  // calls left until the fault; 0: none armed
  std::atomic<int> mode{KW_TEST_FILE_FAIL};
};

Fault g_faults[KW_FILE_STEP_COUNT];
std::atomic<bool> g_armed(false);  // fast path: nothing armed anywhere

}  // namespace

int KwFileFault(KwFileStep step) {
  if (!g_armed.load(std::memory_order_acquire)) return 0;
  if (step < 0 || step >= KW_FILE_STEP_COUNT) return 0;
  Fault& f = g_faults[step];
  int left = f.remaining.load(std::memory_order_relaxed);
  while (left > 0 && !f.remaining.compare_exchange_weak(left, left - 1)) {
  }
  if (left != 1) return 0;
  if (f.mode.load(std::memory_order_relaxed) == KW_TEST_FILE_THROW)
    throw std::runtime_error("injected file fault");
  return 1;
}

void KwTestFileFault(int step, int nth, int mode) {
  if (step < 0 || step >= KW_FILE_STEP_COUNT) return;
  g_faults[step].mode.store(mode, std::memory_order_relaxed);
  g_faults[step].remaining.store(nth > 0 ? nth : 0, std::memory_order_relaxed);
  g_armed.store(true, std::memory_order_release);
}

void KwTestReleaseFileFaults() {
  for (Fault& f : g_faults) f.remaining.store(0, std::memory_order_relaxed);
  g_armed.store(false, std::memory_order_release);
}
