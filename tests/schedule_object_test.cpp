// The schedule object: storing, reading, changing and deleting rules with
// their units, the object without an engine, and copies being refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <type_traits>
#include <vector>

#include "MaskScheduleEngine.h"
#include "TestSupport.h"

namespace {

// When positive, the nothrow allocation with this number (1 = the next one)
// fails. This reaches the library only where the platform lets a program
// replace the global allocator for its libraries too (ELF); the test skips
// elsewhere.
std::atomic<int> g_failNothrowAllocation(0);
std::atomic<int> g_nothrowAllocations(0);

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  int n = ++g_nothrowAllocations;
  if (g_failNothrowAllocation.load() == n) return nullptr;
  try {
    return ::operator new(size);  // pairs with the ordinary delete
  } catch (...) {
    return nullptr;
  }
}

namespace {

static_assert(!std::is_copy_constructible<CKwMaskSchedule>::value, "schedule objects are not copyable");
static_assert(!std::is_copy_assignable<CKwMaskSchedule>::value, "schedule objects are not assignable");

class Schedule : public CKwMaskSchedule {
 public:
  CKwMaskScheduleEngine* Engine() { return m_pEngine; }
  // Drops the engine, as if allocating it had failed.
  void MakeInert() {
    delete m_pEngine;
    m_pEngine = nullptr;
  }
  std::vector<int> switched;
  void MaskSwitch(CKwMaskScheduleKwsSwitch& sw) override { switched.push_back(sw.stKws.nId); }
};

MASK_SCHEDULE Rule(int hour, std::vector<int> unitIds, int weekday = 1) {
  MASK_SCHEDULE r;
  r.stTime.wHour = (WORD)hour;
  r.bWeekDay[weekday] = 1;
  r.bEnable[0] = 1;
  r.bMask[0] = 1;
  for (int id : unitIds) {
    CKwMaskScheduleKws u;
    memset(&u, 0, sizeof(u));
    u.nId = id;
    snprintf(u.szName, sizeof(u.szName), "Unit %d", id);
    r.arKws.Add(u);
  }
  return r;
}

std::vector<int> Hours(CKwMaskScheduleArray& rules) {
  std::vector<int> hours;
  for (int i = 0; i < rules.GetSize(); ++i) hours.push_back(rules.GetAt(i).stTime.wHour);
  return hours;
}

TEST(ScheduleObject, AddStoresArmedDeepCopies) {
  Schedule s;
  ASSERT_EQ(s.Create(), 1);
  MASK_SCHEDULE r = Rule(8, {1, 2});
  r.bWeekDay[1] = 0;  // for no day at all: stored and armed all the same
  ASSERT_EQ(s.Add(&r), 1);
  ASSERT_EQ(s.Add(&r), 1);
  r.arKws.GetAt(0).nId = 99;
  r.stTime.wHour = 23;
  r.arKws.DeleteAll();

  CKwMaskScheduleArray& rules = s.GetScheduleArray();
  ASSERT_EQ(rules.GetSize(), 2);
  for (int i = 0; i < 2; ++i) {
    MASK_SCHEDULE_EX& stored = rules.GetAt(i);
    EXPECT_EQ(stored.bActive, 1);
    EXPECT_EQ(stored.stTime.wHour, 8);
    ASSERT_EQ(stored.arKws.GetSize(), 2);
    EXPECT_EQ(stored.arKws.GetAt(0).nId, 1);
    EXPECT_STREQ(stored.arKws.GetAt(1).szName, "Unit 2");
  }
  // Each stored rule has its own unit list.
  rules.GetAt(0).arKws.DeleteFirst();
  EXPECT_EQ(rules.GetAt(1).arKws.GetSize(), 2);
}

TEST(ScheduleObject, AddKeepsTheWholeDayStorage) {
  Schedule s;
  MASK_SCHEDULE r = Rule(6, {});
  r.bSpecialDay = 1;
  r.stDate = kwtest::Time(2026, 12, 24, 4, 1, 2, 3, 4);
  r.bWeekDay[5] = 0x55;
  r.bWeekDay[6] = -7;
  ASSERT_EQ(s.Add(&r), 1);
  MASK_SCHEDULE_EX& stored = s.GetScheduleArray().GetAt(0);
  EXPECT_EQ(memcmp(stored.bWeekDay, r.bWeekDay, sizeof(r.bWeekDay)), 0);
  EXPECT_EQ(stored.arKws.GetSize(), 0);  // a rule without units is stored
}

TEST(ScheduleObject, AddingLeavesTimerStateAlone) {
  Schedule s;
  s.Engine()->m_nLastDayOfWeek = 3;
  s.Engine()->m_nCountdown = 1234;
  MASK_SCHEDULE r = Rule(8, {1});
  s.Add(&r);
  s.Add(&r);
  s.GetScheduleArray().GetAt(0).bActive = 0;
  s.Delete(1);
  EXPECT_EQ(s.GetScheduleArray().GetAt(0).bActive, 0);
  EXPECT_EQ(s.Engine()->m_nLastDayOfWeek, 3);
  EXPECT_EQ(s.Engine()->m_nCountdown, 1234);
}

struct DeleteCase {
  int index;
  int result;
  std::vector<int> hoursAfter;
};

class ScheduleDelete : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(ScheduleDelete, RemovesOnlyValidPositions) {
  kwtest::LogCapture log(0);
  Schedule s;
  for (int h : {8, 9, 10}) {
    MASK_SCHEDULE r = Rule(h, {h});
    s.Add(&r);
  }
  EXPECT_EQ(s.Delete(GetParam().index), GetParam().result);
  EXPECT_EQ(Hours(s.GetScheduleArray()), GetParam().hoursAfter);
  EXPECT_EQ(log.Count("ERROR"), 0);  // a bad index is only answered with 0
}

INSTANTIATE_TEST_SUITE_P(Cases, ScheduleDelete, ::testing::Values(
    DeleteCase{0, 1, {9, 10}},
    DeleteCase{1, 1, {8, 10}},
    DeleteCase{2, 1, {8, 9}},
    DeleteCase{-1, 0, {8, 9, 10}},
    DeleteCase{3, 0, {8, 9, 10}}));

TEST(ScheduleObject, DestroyEmptiesAndTheObjectStaysUsable) {
  Schedule s;
  ASSERT_EQ(s.Create(), 1);
  MASK_SCHEDULE r = Rule(8, {1, 2, 3});
  s.Add(&r);
  s.Add(&r);
  CKwMaskScheduleArray& rules = s.GetScheduleArray();
  s.Destroy();
  EXPECT_EQ(rules.GetSize(), 0);
  EXPECT_EQ(s.Add(&r), 1);
  EXPECT_EQ(rules.GetSize(), 1);
  s.DeleteAll();
  EXPECT_EQ(rules.GetSize(), 0);
  EXPECT_EQ(&s.GetScheduleArray(), &rules);
}

TEST(ScheduleObject, CreateConnectsOnceAndAsksForRearming) {
  Schedule s;
  EXPECT_EQ(s.Engine()->m_pfnSwitch, nullptr);
  s.Engine()->m_nLastDayOfWeek = 2;
  s.Engine()->m_nCountdown = 77;
  ASSERT_EQ(s.Create(), 1);
  ASSERT_EQ(s.Create(), 1);
  EXPECT_EQ(s.Engine()->m_pOwner, static_cast<CKwMaskSchedule*>(&s));
  EXPECT_EQ(s.Engine()->m_nLastDayOfWeek, -1);
  EXPECT_EQ(s.Engine()->m_nCountdown, 77);  // the countdown is not touched
  // The receiver calls the object's own MaskSwitch, once.
  CKwMaskScheduleKwsSwitch sw;
  memset(&sw, 0, sizeof(sw));
  sw.stKws.nId = 5;
  s.Engine()->m_pfnSwitch(s.Engine()->m_pOwner, sw);
  EXPECT_EQ(s.switched, std::vector<int>{5});
}

TEST(ScheduleObject, NullRuleIsRefusedWithAnError) {
  kwtest::LogCapture log(0);
  Schedule s;
  EXPECT_EQ(s.Add(nullptr), 0);
  EXPECT_EQ(s.GetScheduleArray().GetSize(), 0);
  EXPECT_EQ(log.Count("ERROR"), 1);
  EXPECT_EQ(log.Count("CKwMaskScheduleEngine::Add"), 1);
}

TEST(ScheduleObject, WithoutAnEngineEverythingIsInert) {
  kwtest::LogCapture log(8);
  Schedule s;
  s.MakeInert();
  MASK_SCHEDULE r = Rule(8, {1});
  SYSTEMTIME now = kwtest::Time(2026, 12, 14, 1, 9, 0, 0);
  EXPECT_EQ(s.Create(), 0);
  EXPECT_EQ(s.Add(&r), 0);
  EXPECT_EQ(s.Delete(0), 0);
  EXPECT_EQ(s.Load("whatever.kws"), 0);
  EXPECT_EQ(s.Save("whatever.kws"), 0);
  s.OnTimer(&now);
  s.UpdateSchedule(0);
  s.DeleteAll();
  s.Destroy();
  CKwMaskScheduleArray& empty = s.GetScheduleArray();
  EXPECT_EQ(empty.GetSize(), 0);
  Schedule other;
  other.MakeInert();
  EXPECT_EQ(&other.GetScheduleArray(), &empty);  // one list for the process
  EXPECT_TRUE(s.switched.empty());
  EXPECT_EQ(log.Text(), "");
}

TEST(ScheduleObject, RulesFiringBeforeCreateDeliverNothingAndSaySoOnce) {
  kwtest::LogCapture log(0);
  Schedule s;  // no Create: no receiver
  MASK_SCHEDULE a = Rule(8, {1, 2});
  MASK_SCHEDULE b = Rule(9, {3});
  s.Add(&a);
  s.Add(&b);
  SYSTEMTIME monday = kwtest::Time(2026, 12, 14, 1, 10, 0, 0);
  s.OnTimer(&monday);
  EXPECT_TRUE(s.switched.empty());
  EXPECT_EQ(log.Count("ERROR"), 1);
  EXPECT_EQ(log.Count("CKwMaskScheduleEngine::MaskSwitch: No switch receiver connected"), 1);
  // Once connected, the next firing is delivered.
  ASSERT_EQ(s.Create(), 1);
  s.OnTimer(&monday);
  EXPECT_EQ(s.switched, (std::vector<int>{1, 2, 3}));
}

TEST(ScheduleObject, OutOfMemoryDropsTheRuleOrAUnitSilently) {
  // Fail each allocation of one Add in turn: the rule is either not stored
  // (result 0) or stored with the units that could be copied, in order.
  kwtest::LogCapture log(0);
  MASK_SCHEDULE r = Rule(8, {1, 2, 3});
  bool injected = false;
  for (int failing = 1; failing <= 8; ++failing) {
    Schedule s;
    g_nothrowAllocations = 0;
    g_failNothrowAllocation = failing;
    int result = s.Add(&r);
    g_failNothrowAllocation = 0;
    if (g_nothrowAllocations.load() >= failing) injected = true;
    CKwMaskScheduleArray& rules = s.GetScheduleArray();
    if (result == 0) {
      EXPECT_EQ(rules.GetSize(), 0);
      continue;
    }
    ASSERT_EQ(rules.GetSize(), 1);
    std::vector<int> ids;
    for (int i = 0; i < rules.GetAt(0).arKws.GetSize(); ++i)
      ids.push_back(rules.GetAt(0).arKws.GetAt(i).nId);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_GE(ids.size(), 2u) << "failing allocation " << failing;
  }
  if (!injected) GTEST_SKIP() << "allocation failures cannot be injected into the library here";
  EXPECT_EQ(log.Text(), "");
}

}  // namespace
