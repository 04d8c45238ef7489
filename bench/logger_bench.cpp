// A report that fails the level test against an empty call that is not
// inlined.
#include <cstdio>
#include <string>

#include "BenchRatio.h"
#include "KwTestSeam.h"
#include "MaskSchedule.h"
#include "TestSupport.h"

namespace {

__attribute__((noinline)) int EmptyReport(int level, int kind, const void* object,
                                          const char* function, const char* format, ...) {
  benchmark::ClobberMemory();
  (void)level;
  (void)kind;
  (void)object;
  (void)function;
  (void)format;
  return 1;
}

void BM_EmptyCall(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(EmptyReport(8, 0, nullptr, "f", "rule #%d", 3));
}
BENCHMARK(BM_EmptyCall);

void BM_LogBelowLevel(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(CKwLogger::Log(8, 0, nullptr, "f", "rule #%d", 3));
}
BENCHMARK(BM_LogBelowLevel);

}  // namespace

int main(int argc, char** argv) {
  // Level 0, the default: the level-8 trace fails the level test.
  kwtest::LogCapture quiet(0);
  return kwbench::RunWithRatios(argc, argv, {{"BM_LogBelowLevel", "BM_EmptyCall", 3.0}});
}
