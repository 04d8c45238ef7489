// Timer evaluation: daily arming, the tick countdown, firing, the merge of
// firing rules per unit and delivery, driven through the clock seam.
#include <gtest/gtest.h>

#include <ostream>

#include "ScheduleTestHost.h"

using namespace kwtest;

namespace {

class TimerTest : public ::testing::Test {
 protected:
  void TearDown() override { KwTestReleaseClock(); }
};

// --- Timelines: a schedule, then calls at given ticks and host times --------

struct Step {
  DWORD tick;
  SYSTEMTIME now;
  const char* ids;    // units delivered by this call, in order
  int64_t countdown;  // m_nCountdown after the call
};

struct Timeline {
  const char* name;
  std::vector<MASK_SCHEDULE> rules;
  std::vector<Step> steps;
};

void PrintTo(const Timeline& t, std::ostream* os) { *os << t.name; }

class TimelineTest : public ::testing::TestWithParam<Timeline> {
 protected:
  void TearDown() override { KwTestReleaseClock(); }
};

TEST_P(TimelineTest, DeliversAtTheRightCalls) {
  const Timeline& t = GetParam();
  RecordingHost host;
  for (MASK_SCHEDULE rule : t.rules) ASSERT_EQ(1, host.Add(&rule));
  for (size_t i = 0; i < t.steps.size(); ++i) {
    const Step& s = t.steps[i];
    host.Tick(s.tick, s.now);
    EXPECT_EQ(s.ids, host.TakeIds()) << "call " << i;
    EXPECT_EQ(s.countdown, host.Engine().m_nCountdown) << "call " << i;
  }
}

const DWORD kHour = 3600000;
const DWORD kDay = 24 * kHour;

INSTANTIATE_TEST_SUITE_P(
    Timer, TimelineTest,
    ::testing::Values(
        Timeline{"EqualToTheSecondFires",
                 {WeekdayRule(9, 30, 15, {1}, {1})},
                 {{0, Mon(9, 30, 14), "", 1000}, {1000, Mon(9, 30, 15), "1", kNoRuleCountdown}}},
        Timeline{"MidnightRuleFiresAtFirstCallOfItsDay",
                 {WeekdayRule(0, 0, 0, {2}, {1})},
                 {{0, Mon(23, 59, 59), "", kNoRuleCountdown},
                  {1000, Tue(0, 0, 0), "1", kNoRuleCountdown}}},
        Timeline{"MidnightRuleLateFirstCall",
                 {WeekdayRule(0, 0, 0, {2}, {1})},
                 {{0, Tue(0, 0, 30), "1", kNoRuleCountdown}}},
        Timeline{"RuleJustBeforeMidnightIsDroppedByTheNewDay",
                 {WeekdayRule(23, 59, 50, {1, 2}, {1})},
                 {{0, Mon(23, 59, 40), "", 10000},
                  {20000, Tue(0, 0, 10), "", (86390 - 10) * 1000LL},
                  {20000 + 86380000, Tue(23, 59, 50), "1", kNoRuleCountdown}}},
        Timeline{"SpecialDayReplacesWeekdaysForThatDayOnly",
                 {SpecialDayRule(9, 0, 0, 2026, 12, 14, {1}), WeekdayRule(10, 0, 0, {1, 2}, {2})},
                 {{0, Mon(8, 0, 0), "", kHour},
                  {kHour * 5 / 2, Mon(10, 30, 0), "1", kNoRuleCountdown},
                  {kHour * 5 / 2 + kDay, Tue(10, 30, 0), "2", kNoRuleCountdown}}},
        Timeline{"SpecialDayForAnotherDateIsNotArmed",
                 {SpecialDayRule(9, 0, 0, 2026, 12, 15, {1})},
                 {{0, Mon(10, 0, 0), "", kNoRuleCountdown}, {kDay, Tue(10, 0, 0), "1", kNoRuleCountdown}}},
        // 4096 ms before the wrap, then 5888 and 10000 ms after the first call.
        Timeline{"TickCounterWraps",
                 {WeekdayRule(8, 0, 10, {1}, {1})},
                 {{0xFFFFF000u, Mon(8, 0, 0), "", 10000},
                  {0x700, Mon(8, 0, 5), "", 10000 - 5888},
                  {0x1710, Mon(8, 0, 9), "", 1000},
                  {0x1710 + 1000, Mon(8, 0, 10), "1", kNoRuleCountdown}}},
        // The host's clock is moved forward by an hour one minute after 08:00.
        Timeline{"ClockMovedForwardFiresWhenTheTimeOfDayIsReached",
                 {WeekdayRule(10, 0, 0, {1}, {1})},
                 {{0, Mon(8, 0, 0), "", 2 * kHour},
                  {60000, Mon(9, 1, 0), "", 2 * kHour - 60000},
                  {kHour - 1000, Mon(9, 59, 59), "", kHour + 1000},
                  {kHour, Mon(10, 0, 0), "1", kNoRuleCountdown}}},
        // The host's clock is moved back by an hour: the countdown runs out at
        // host 09:00 and the rule still waits for 10:00.
        Timeline{"ClockMovedBackNeverFiresEarly",
                 {WeekdayRule(10, 0, 0, {1}, {1})},
                 {{0, Mon(8, 0, 0), "", 2 * kHour},
                  {60000, Mon(7, 1, 0), "", 2 * kHour - 60000},
                  {2 * kHour, Mon(9, 0, 0), "", kHour},
                  {3 * kHour, Mon(10, 0, 0), "1", kNoRuleCountdown}}},
        Timeline{"SameWeekdayOneWeekLaterIsANewDay",
                 {WeekdayRule(8, 0, 0, {1}, {1})},
                 {{0, Mon(9, 0, 0), "1", kNoRuleCountdown},
                  {7 * kDay, NextMon(9, 0, 0), "1", kNoRuleCountdown}}},
        Timeline{"NothingPendingWaitsForTheNextDay",
                 {WeekdayRule(8, 0, 0, {1, 2}, {1})},
                 {{0, Mon(9, 0, 0), "1", kNoRuleCountdown},
                  {1000, Mon(9, 0, 1), "", kNoRuleCountdown - 1000},
                  {kDay, Tue(9, 0, 0), "1", kNoRuleCountdown}}}),
    [](const ::testing::TestParamInfo<Timeline>& info) { return std::string(info.param.name); });

// --- Catch-up after arming ---------------------------------------------------

TEST_F(TimerTest, FirstCallFiresEveryPassedRuleInOneDispatch) {
  LogCapture log;
  RecordingHost host;
  MASK_SCHEDULE r0 = WeekdayRule(8, 0, 0, {1}, {1});
  MASK_SCHEDULE r1 = WeekdayRule(12, 0, 0, {1}, {2});
  MASK_SCHEDULE r2 = WeekdayRule(16, 0, 0, {1}, {3});
  host.Add(&r0);
  host.Add(&r1);
  host.Add(&r2);

  host.Tick(5000, Mon(14, 0, 0));

  EXPECT_EQ("1,2", host.TakeIds());
  EXPECT_EQ(7200000, host.Engine().m_nCountdown);
  EXPECT_EQ(1, host.Engine().m_nLastDayOfWeek);
  CKwMaskScheduleArray& rules = host.GetScheduleArray();
  EXPECT_EQ(0, rules.GetAt(0).bActive);
  EXPECT_EQ(0, rules.GetAt(1).bActive);
  EXPECT_EQ(1, rules.GetAt(2).bActive);
  for (const char* text : {"found week day rule #0", "found week day rule #1",
                           "found week day rule #2", "rule #0", "rule #1"})
    EXPECT_EQ(1, log.Count(std::string("CKwMaskScheduleEngine::OnTimer: ") + text)) << text;
  EXPECT_EQ(0, log.Count("CKwMaskScheduleEngine::OnTimer: rule #2"));
  EXPECT_EQ(1, log.Count("CKwMaskScheduleEngine::OnTimer: Next switch task time comes"));

  // Two hours of ticks later the last rule fires alone.
  host.Tick(5000 + 7200000, Mon(16, 0, 0));
  EXPECT_EQ("3", host.TakeIds());
  EXPECT_EQ(kNoRuleCountdown, host.Engine().m_nCountdown);
}

// At level 4 an evaluation is traced, the per-rule detail is not.
TEST_F(TimerTest, PerRuleDetailIsLevel8) {
  LogCapture log(4);
  RecordingHost host;
  MASK_SCHEDULE r0 = WeekdayRule(8, 0, 0, {1}, {1});
  host.Add(&r0);
  host.Tick(0, Mon(9, 0, 0));
  EXPECT_EQ("1", host.TakeIds());
  EXPECT_EQ(1, log.Count("] INFO "));
  EXPECT_EQ(1, log.Count("OnTimer: Next switch task time comes"));
}

// Create (and Load) force the next call to arm again, even on the same date.
TEST_F(TimerTest, CreateForcesArmingOnTheSameDay) {
  RecordingHost host;
  MASK_SCHEDULE r0 = WeekdayRule(8, 0, 0, {1}, {1});
  host.Add(&r0);
  host.Tick(0, Mon(9, 0, 0));
  host.Tick(1000, Mon(9, 0, 1));
  EXPECT_EQ("1", host.TakeIds());
  host.Create();
  EXPECT_EQ(-1, host.Engine().m_nLastDayOfWeek);
  host.Tick(2000, Mon(9, 0, 2));
  EXPECT_EQ("1", host.TakeIds());
}

// --- Merge of the rules firing together -------------------------------------

struct Expected {
  int id;
  std::vector<int> mask;
  std::vector<int> set;
};

struct MergeCase {
  const char* name;
  std::vector<MASK_SCHEDULE> rules;  // all for Monday, all due at 14:00
  std::vector<Expected> expected;
};

void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.name; }

MASK_SCHEDULE Rule(int hour, std::initializer_list<int> ids, std::vector<int> enable,
                   std::vector<int> mask) {
  MASK_SCHEDULE r = WeekdayRule(hour, 0, 0, {1}, ids);
  for (int v = 0; v < KW_VIEW_COUNT; ++v) {
    r.bEnable[v] = enable[v];
    r.bMask[v] = mask[v];
  }
  return r;
}

class MergeTest : public ::testing::TestWithParam<MergeCase> {
 protected:
  void TearDown() override { KwTestReleaseClock(); }
};

TEST_P(MergeTest, OneCommandPerUnit) {
  const MergeCase& c = GetParam();
  RecordingHost host;
  for (MASK_SCHEDULE rule : c.rules) host.Add(&rule);
  host.Tick(0, Mon(14, 0, 0));
  ASSERT_EQ(c.expected.size(), host.received.size());
  for (size_t i = 0; i < c.expected.size(); ++i) {
    const CKwMaskScheduleKwsSwitch& sw = host.received[i];
    EXPECT_EQ(c.expected[i].id, sw.stKws.nId) << "command " << i;
    EXPECT_EQ(c.expected[i].mask, std::vector<int>(sw.bMask, sw.bMask + 5)) << "command " << i;
    EXPECT_EQ(c.expected[i].set, std::vector<int>(sw.bSet, sw.bSet + 5)) << "command " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Timer, MergeTest,
    ::testing::Values(
        MergeCase{"HigherRuleIndexWinsOverLaterTime",
                  {Rule(10, {7}, {1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}),
                   Rule(8, {7}, {1, 0, 0, 0, 0}, {0, 0, 0, 0, 0})},
                  {{7, {0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}}}},
        MergeCase{"ViewsOfTwoRulesCombine",
                  {Rule(8, {7}, {1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}),
                   Rule(9, {7}, {0, 0, 0, 1, 0}, {0, 0, 0, 1, 0})},
                  {{7, {1, 0, 0, 1, 0}, {1, 0, 0, 1, 0}}}},
        MergeCase{"OrderOfFirstAppearance",
                  {Rule(8, {5, 3}, {1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}),
                   Rule(9, {3, 9, 5}, {0, 1, 0, 0, 0}, {0, 1, 0, 0, 0})},
                  {{5, {1, 1, 0, 0, 0}, {1, 1, 0, 0, 0}},
                   {3, {1, 1, 0, 0, 0}, {1, 1, 0, 0, 0}},
                   {9, {0, 1, 0, 0, 0}, {0, 1, 0, 0, 0}}}},
        MergeCase{"UnitWithNoEnabledViewIsStillDelivered",
                  {Rule(8, {4}, {0, 0, 0, 0, 0}, {1, 1, 0, 0, 1})},
                  {{4, {1, 1, 0, 0, 1}, {0, 0, 0, 0, 0}}}},
        // A new record takes the values as stored; a later rule sets 1.
        MergeCase{"StoredValuesThenLaterRuleSetsOne",
                  {Rule(8, {4}, {2, 0, 0, 0, 0}, {5, 1, 0, 0, 0}),
                   Rule(9, {4}, {0, 0, 3, 0, 0}, {0, 0, 7, 0, 0})},
                  {{4, {5, 1, 7, 0, 0}, {2, 0, 1, 0, 0}}}},
        MergeCase{"RuleWithoutUnitsContributesNothing",
                  {Rule(8, {}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}),
                   Rule(9, {2}, {1, 0, 0, 0, 0}, {0, 0, 0, 0, 0})},
                  {{2, {0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}}}}),
    [](const ::testing::TestParamInfo<MergeCase>& info) { return std::string(info.param.name); });

// --- Failures ---------------------------------------------------------------

TEST_F(TimerTest, ThrowingHostLosesOnlyThatCommand) {
  LogCapture log;
  RecordingHost host;
  host.throwOnCall = 1;
  MASK_SCHEDULE r0 = WeekdayRule(8, 0, 0, {1}, {1, 2, 3});
  host.Add(&r0);
  host.Tick(0, Mon(9, 0, 0));
  EXPECT_EQ(3, host.calls);
  EXPECT_EQ("2,3", host.TakeIds());
  EXPECT_EQ(1, log.Count("CKwMaskScheduleEngine::MaskSwitch: Exception 0xE06D7363"));
  EXPECT_EQ(kNoRuleCountdown, host.Engine().m_nCountdown);
}

struct BadTime {
  const char* name;
  bool null;
  SYSTEMTIME now;
};

void PrintTo(const BadTime& b, std::ostream* os) { *os << b.name; }

class BadTimeTest : public ::testing::TestWithParam<BadTime> {
 protected:
  void TearDown() override { KwTestReleaseClock(); }
};

// A bad time is reported and ignored: nothing is armed, fired or counted,
// and the next good call works as if the bad one had not been made.
TEST_P(BadTimeTest, IsReportedAndIgnored) {
  const BadTime& b = GetParam();
  LogCapture log;
  RecordingHost host;
  MASK_SCHEDULE r0 = WeekdayRule(0, 0, 0, {0, 1, 2, 3, 4, 5, 6}, {1});
  host.Add(&r0);
  KwTestSetTickCount(500);
  SYSTEMTIME now = b.now;
  host.OnTimer(b.null ? nullptr : &now);

  EXPECT_EQ(1, log.Count("ERROR"));
  EXPECT_EQ(1, log.Count("CKwMaskScheduleEngine::OnTimer"));
  EXPECT_EQ("", host.TakeIds());
  EXPECT_EQ(-1, host.Engine().m_nLastDayOfWeek);
  EXPECT_EQ(0, host.Engine().m_nCountdown);
  EXPECT_EQ(0u, host.Engine().m_dwLastTick);
  EXPECT_EQ(1, host.GetScheduleArray().GetAt(0).bActive);

  host.Tick(1000, Mon(9, 0, 0));
  EXPECT_EQ("1", host.TakeIds());
}

INSTANTIATE_TEST_SUITE_P(
    Timer, BadTimeTest,
    ::testing::Values(BadTime{"NullTime", true, Mon(9, 0, 0)},
                      BadTime{"DayOfWeek7", false, Time(2026, 12, 14, 7, 9, 0, 0)},
                      BadTime{"DayOfWeekHuge", false, Time(2026, 12, 14, 0xFFFF, 9, 0, 0)},
                      BadTime{"Hour24", false, Mon(24, 0, 0)},
                      BadTime{"Minute60", false, Mon(9, 60, 0)},
                      BadTime{"Second60", false, Mon(9, 0, 60)}),
    [](const ::testing::TestParamInfo<BadTime>& info) { return std::string(info.param.name); });

}  // namespace
