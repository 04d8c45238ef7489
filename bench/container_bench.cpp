// Reading a list by ascending position against iterating a std::list of the
// same items.
#include <list>

#include "BenchRatio.h"
#include "MaskSchedule.h"

namespace {

const int kItems = 100000;

CKwMaskScheduleKws Unit(int i) {
  CKwMaskScheduleKws u;
  memset(&u, 0, sizeof(u));
  u.nId = i;
  return u;
}

void BM_StdListIterate(benchmark::State& state) {
  std::list<CKwMaskScheduleKws> list;
  for (int i = 0; i < kItems; ++i) list.push_back(Unit(i));
  for (auto _ : state) {
    long long sum = 0;
    for (const CKwMaskScheduleKws& u : list) sum += u.nId;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_StdListIterate);

void BM_KwArrayGetAtAscending(benchmark::State& state) {
  CKwMaskScheduleKwsArray list;
  for (int i = 0; i < kItems; ++i) {
    CKwMaskScheduleKws u = Unit(i);
    list.Add(u);
  }
  for (auto _ : state) {
    long long sum = 0;
    for (int i = 0; i < list.GetSize(); ++i) sum += list.GetAt(i).nId;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_KwArrayGetAtAscending);

}  // namespace

int main(int argc, char** argv) {
  return kwbench::RunWithRatios(argc, argv,
                                {{"BM_KwArrayGetAtAscending", "BM_StdListIterate", 2.0}});
}
