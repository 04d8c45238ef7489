// Re-arming one rule after an edit, by the machine's date.
#include <gtest/gtest.h>

#include <ostream>

#include "ScheduleTestHost.h"

using namespace kwtest;

namespace {

struct RearmCase {
  const char* name;
  std::vector<MASK_SCHEDULE> rules;
  std::vector<int> activeBefore;
  SYSTEMTIME machine;  // the machine's clock; the host runs on Monday
  int index;
  std::vector<int> activeAfter;
  const char* logLine;  // expected error line, or ""
};

void PrintTo(const RearmCase& c, std::ostream* os) { *os << c.name; }

class RearmTest : public ::testing::TestWithParam<RearmCase> {
 protected:
  void TearDown() override { KwTestReleaseClock(); }
};

TEST_P(RearmTest, SetsOnlyThatRuleAndForcesAnEvaluation) {
  const RearmCase& c = GetParam();
  LogCapture log;
  RecordingHost host;
  for (MASK_SCHEDULE rule : c.rules) host.Add(&rule);
  host.Tick(0, Mon(7, 0, 0));
  CKwMaskScheduleArray& rules = host.GetScheduleArray();
  for (size_t i = 0; i < c.activeBefore.size(); ++i) rules.GetAt((int)i).bActive = c.activeBefore[i];
  log.Clear();

  KwTestSetLocalTime(&c.machine);
  host.UpdateSchedule(c.index);

  for (size_t i = 0; i < c.activeAfter.size(); ++i)
    EXPECT_EQ(c.activeAfter[i], rules.GetAt((int)i).bActive) << "rule " << i;
  EXPECT_EQ(0, host.Engine().m_nCountdown);
  EXPECT_EQ(1, host.Engine().m_nLastDayOfWeek);
  if (*c.logLine) {
    EXPECT_EQ(1, log.Count(c.logLine));
    EXPECT_EQ(1, (int)log.Lines().size());
  } else {
    EXPECT_EQ("", log.Text());
  }

  // The next call evaluates at once.
  host.Tick(1000, Mon(7, 0, 1));
  EXPECT_EQ(1, log.Count("Next switch task time comes"));
}

INSTANTIATE_TEST_SUITE_P(
    Rearm, RearmTest,
    ::testing::Values(
        RearmCase{"WeekdayEditedAwayFromToday", {WeekdayRule(15, 0, 0, {2}, {1})}, {1},
                  Mon(10, 0, 0), 0, {0}, ""},
        RearmCase{"FiredWeekdayRuleIsArmedAgain", {WeekdayRule(8, 0, 0, {1}, {1})}, {0},
                  Mon(10, 0, 0), 0, {1}, ""},
        RearmCase{"SpecialDayTodayDisarmsWeekdayRule",
                  {WeekdayRule(15, 0, 0, {1}, {1}), SpecialDayRule(9, 0, 0, 2026, 12, 14, {2})},
                  {1, 1}, Mon(10, 0, 0), 0, {0, 1}, ""},
        RearmCase{"SpecialDayForAnotherDate", {SpecialDayRule(15, 0, 0, 2026, 12, 15, {1})}, {1},
                  Mon(10, 0, 0), 0, {0}, ""},
        RearmCase{"SpecialDayOnItsDate", {SpecialDayRule(8, 0, 0, 2026, 12, 14, {1})}, {0},
                  Mon(10, 0, 0), 0, {1}, ""},
        // Precedence over the armed weekday rule waits for the next arming.
        RearmCase{"OtherRulesKeepTheirFlags",
                  {WeekdayRule(15, 0, 0, {1}, {1}), SpecialDayRule(9, 0, 0, 2026, 12, 14, {2})},
                  {1, 0}, Mon(10, 0, 0), 1, {1, 1}, ""},
        // The host runs on Monday, the machine says Tuesday.
        RearmCase{"MachineDateNotHostTime", {WeekdayRule(15, 0, 0, {2}, {1})}, {0},
                  Tue(10, 0, 0), 0, {1}, ""},
        RearmCase{"IndexEqualToCount", {WeekdayRule(15, 0, 0, {1}, {1})}, {0}, Mon(10, 0, 0), 1,
                  {0}, "CKwArray::GetAt: Index 1 is out of bounds [0..1)"},
        RearmCase{"NegativeIndex", {WeekdayRule(15, 0, 0, {1}, {1})}, {0}, Mon(10, 0, 0), -1,
                  {0}, "CKwArray::GetAt: Index -1 is out of bounds [0..1)"}),
    [](const ::testing::TestParamInfo<RearmCase>& info) { return std::string(info.param.name); });

// An edit through the live list plus UpdateSchedule takes effect at the next
// call, even though nothing was pending.
TEST(Rearm, EditedRuleDeliversItsNewValuesAtTheNextCall) {
  RecordingHost host;
  MASK_SCHEDULE r0 = WeekdayRule(8, 0, 0, {1}, {1});
  host.Add(&r0);
  host.Tick(0, Mon(9, 0, 0));
  ASSERT_EQ("1", host.TakeIds());
  ASSERT_EQ(kNoRuleCountdown, host.Engine().m_nCountdown);

  MASK_SCHEDULE_EX& stored = host.GetScheduleArray().GetAt(0);
  stored.bEnable[0] = 0;
  stored.bEnable[2] = 1;
  stored.bMask[2] = 1;
  SYSTEMTIME machine = Mon(10, 0, 0);
  KwTestSetLocalTime(&machine);
  host.UpdateSchedule(0);
  host.Tick(3600000, Mon(10, 0, 0));

  ASSERT_EQ(1u, host.received.size());
  EXPECT_EQ(std::vector<int>({0, 0, 1, 0, 0}),
            std::vector<int>(host.received[0].bSet, host.received[0].bSet + 5));
  KwTestReleaseClock();
}

// A disarmed rule stays silent for the rest of the day.
TEST(Rearm, DisarmedRuleDoesNotFireThatDay) {
  RecordingHost host;
  MASK_SCHEDULE r0 = WeekdayRule(15, 0, 0, {1, 2}, {1});
  host.Add(&r0);
  host.Tick(0, Mon(10, 0, 0));
  host.GetScheduleArray().GetAt(0).bWeekDay[1] = 0;
  SYSTEMTIME machine = Mon(10, 0, 0);
  KwTestSetLocalTime(&machine);
  host.UpdateSchedule(0);
  host.Tick(1000, Mon(10, 0, 1));
  host.Tick(5 * 3600000u, Mon(15, 0, 0));
  EXPECT_EQ("", host.TakeIds());
  host.Tick(29 * 3600000u, Tue(15, 0, 0));
  EXPECT_EQ("1", host.TakeIds());
  KwTestReleaseClock();
}

// A bad index must not write into the default item that every rule list
// shares for failed lookups.
TEST(Rearm, BadIndexLeavesTheSharedDefaultItemAlone) {
  RecordingHost host;
  MASK_SCHEDULE r0 = WeekdayRule(15, 0, 0, {1}, {1});
  host.Add(&r0);
  CKwMaskScheduleArray& rules = host.GetScheduleArray();
  MASK_SCHEDULE_EX& shared = rules.GetAt(-1);
  for (int d = 0; d < 7; ++d) shared.bWeekDay[d] = 1;
  shared.bActive = 7;

  SYSTEMTIME machine = Mon(10, 0, 0);
  KwTestSetLocalTime(&machine);
  host.UpdateSchedule(5);

  EXPECT_EQ(7, shared.bActive);
  EXPECT_EQ(1, rules.GetAt(0).bActive);
  for (int d = 0; d < 7; ++d) shared.bWeekDay[d] = 0;
  shared.bActive = 0;
  KwTestReleaseClock();
}

}  // namespace
