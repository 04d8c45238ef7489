// The merge of firing rules, compared on random schedules with a plain
// reference: for every unit of every firing rule, scan the records built so
// far for its identifier.
#include <gtest/gtest.h>

#include <random>

#include "ScheduleTestHost.h"

using namespace kwtest;

namespace {

int SecondsOfDay(const SYSTEMTIME& t) { return (t.wHour * 60 + t.wMinute) * 60 + t.wSecond; }

// The commands one evaluation at nowSec should deliver, given the rules that
// fire (armed, with lastSec < their time <= nowSec), built by linear scans.
std::vector<CKwMaskScheduleKwsSwitch> ReferenceMerge(CKwMaskScheduleArray& rules, int lastSec,
                                                     int nowSec) {
  std::vector<CKwMaskScheduleKwsSwitch> out;
  for (int i = 0; i < rules.GetSize(); ++i) {
    MASK_SCHEDULE_EX& r = rules.GetAt(i);
    int sec = SecondsOfDay(r.stTime);
    if (sec <= lastSec || sec > nowSec) continue;
    for (int k = 0; k < r.arKws.GetSize(); ++k) {
      const CKwMaskScheduleKws& u = r.arKws.GetAt(k);
      size_t j = 0;
      while (j < out.size() && out[j].stKws.nId != u.nId) ++j;
      if (j == out.size()) {
        CKwMaskScheduleKwsSwitch sw;
        sw.stKws = u;
        for (int v = 0; v < KW_VIEW_COUNT; ++v) {
          sw.bMask[v] = r.bMask[v];
          sw.bSet[v] = r.bEnable[v];
        }
        out.push_back(sw);
      } else {
        for (int v = 0; v < KW_VIEW_COUNT; ++v)
          if (r.bEnable[v]) {
            out[j].bMask[v] = r.bMask[v];
            out[j].bSet[v] = 1;
          }
      }
    }
  }
  return out;
}

void ExpectSameCommands(const std::vector<CKwMaskScheduleKwsSwitch>& expected,
                        const std::vector<CKwMaskScheduleKwsSwitch>& actual, int seed) {
  ASSERT_EQ(expected.size(), actual.size()) << "seed " << seed;
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(0, memcmp(&expected[i], &actual[i], sizeof(CKwMaskScheduleKwsSwitch)))
        << "seed " << seed << ", command " << i << ", unit " << expected[i].stKws.nId;
}

TEST(Merge, MatchesTheReferenceOnRandomSchedules) {
  for (int seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    RecordingHost host;
    const int ruleCount = pick(1, 40);
    const int unitPool = pick(1, 12);  // few identifiers: many shared units
    for (int i = 0; i < ruleCount; ++i) {
      MASK_SCHEDULE r;
      r.stTime = Time(2000, 1, 1, 0, pick(0, 23), pick(0, 59), pick(0, 59));
      r.bWeekDay[1] = 1;
      for (int v = 0; v < KW_VIEW_COUNT; ++v) {
        static const int kEnable[] = {0, 0, 1, 2};
        static const int kMask[] = {0, 1, 1, 5};
        r.bEnable[v] = kEnable[pick(0, 3)];
        r.bMask[v] = kMask[pick(0, 3)];
      }
      for (int k = pick(0, 6); k > 0; --k) {
        // The same identifier under different names: only the identifier merges.
        int id = pick(1, unitPool);
        CKwMaskScheduleKws u = Unit(id, "unit " + std::to_string(id) + "/" + std::to_string(pick(0, 3)));
        r.arKws.Add(u);
      }
      ASSERT_EQ(1, host.Add(&r));
    }

    // Two evaluations: the catch-up at noon, then the rest of the day.
    const SYSTEMTIME noon = Mon(12, 0, 0), late = Mon(23, 59, 59);
    std::vector<CKwMaskScheduleKwsSwitch> first =
        ReferenceMerge(host.GetScheduleArray(), -1, SecondsOfDay(noon));
    std::vector<CKwMaskScheduleKwsSwitch> second =
        ReferenceMerge(host.GetScheduleArray(), SecondsOfDay(noon), SecondsOfDay(late));

    host.Tick(0, noon);
    ExpectSameCommands(first, host.received, seed);
    host.received.clear();
    host.Tick(12 * 3600000u, late);
    ExpectSameCommands(second, host.received, seed);
  }
  KwTestReleaseClock();
}

}  // namespace
