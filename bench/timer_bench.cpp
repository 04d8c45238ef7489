// OnTimer between evaluations against a bare tick read, and an evaluation of
// many firing rules at two sizes (the merge should grow linearly).
#include <random>
#include <time.h>

#include "BenchRatio.h"
#include "MaskSchedule.h"
#include "MaskScheduleEngine.h"

namespace {

// What the library's tick counter does on this platform, without the seam.
DWORD BareTickCount() {
  timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return (DWORD)((unsigned long long)ts.tv_sec * 1000ull + (unsigned long long)ts.tv_nsec / 1000000ull);
}

SYSTEMTIME Monday(int hour) {
  SYSTEMTIME t;
  memset(&t, 0, sizeof(t));
  t.wYear = 2026;
  t.wMonth = 12;
  t.wDay = 14;
  t.wDayOfWeek = 1;
  t.wHour = (WORD)hour;
  return t;
}

class CountingHost : public CKwMaskSchedule {
 public:
  CountingHost() { Create(); }
  void MaskSwitch(CKwMaskScheduleKwsSwitch& sw) override { sum += sw.stKws.nId; }
  CKwMaskScheduleEngine& Engine() { return *m_pEngine; }
  long long sum = 0;
};

void BM_BareTickRead(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(BareTickCount());
}
BENCHMARK(BM_BareTickRead);

// 100 rules, one still pending late in the day: every call ends after the
// countdown step.
void BM_OnTimerBetweenEvaluations(benchmark::State& state) {
  CountingHost host;
  for (int i = 0; i < 100; ++i) {
    MASK_SCHEDULE r;
    r.stTime.wHour = (WORD)(i == 0 ? 23 : 1);
    r.bWeekDay[1] = 1;
    r.bEnable[0] = 1;
    CKwMaskScheduleKws u;
    memset(&u, 0, sizeof(u));
    u.nId = i;
    r.arKws.Add(u);
    host.Add(&r);
  }
  SYSTEMTIME now = Monday(9);
  host.OnTimer(&now);  // arms and evaluates once
  for (auto _ : state) host.OnTimer(&now);
  benchmark::DoNotOptimize(host.sum);
}
BENCHMARK(BM_OnTimerBetweenEvaluations);

// range(0) rules at midnight, 8 units each drawn from 10,000 identifiers;
// each iteration re-arms them all (not timed) and times the one evaluation
// that fires them together.
void BM_EvaluateFiringRules(benchmark::State& state) {
  const int ruleCount = (int)state.range(0);
  CountingHost host;
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> unitId(0, 9999);
  for (int i = 0; i < ruleCount; ++i) {
    MASK_SCHEDULE r;
    r.bWeekDay[1] = 1;
    r.bEnable[i % KW_VIEW_COUNT] = 1;
    r.bMask[i % KW_VIEW_COUNT] = i & 1;
    for (int k = 0; k < 8; ++k) {
      CKwMaskScheduleKws u;
      memset(&u, 0, sizeof(u));
      u.nId = unitId(rng);
      r.arKws.Add(u);
    }
    host.Add(&r);
  }
  SYSTEMTIME now = Monday(12);
  host.OnTimer(&now);  // arms for the day
  CKwMaskScheduleArray& rules = host.GetScheduleArray();
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < ruleCount; ++i) rules.GetAt(i).bActive = 1;
    host.Engine().m_nCountdown = 0;
    state.ResumeTiming();
    host.OnTimer(&now);
  }
  benchmark::DoNotOptimize(host.sum);
  state.SetItemsProcessed(state.iterations() * ruleCount * 8);
}
BENCHMARK(BM_EvaluateFiringRules)->Arg(64000)->Arg(256000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return kwbench::RunWithRatios(
      argc, argv,
      {{"BM_OnTimerBetweenEvaluations", "BM_BareTickRead", 1.5},
       {"BM_EvaluateFiringRules/256000", "BM_EvaluateFiringRules/64000", 5.0}});
}
