// The records and lists that cross the library boundary keep their field
// order and widths. Checked at compile time for the build's pointer size, so
// a 32-bit build proves its layout even where its tests cannot run.
#include <gtest/gtest.h>

#include <cstddef>

#include "MaskSchedule.h"

// The lists carry a table pointer, so they are not standard-layout types;
// GCC still gives their members' offsets exactly, which is what is checked.
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

namespace {

constexpr size_t P = sizeof(void*);  // one machine word: 4 or 8

// Four pointers' worth of list header plus the count, rounded to a word.
constexpr size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }
constexpr size_t kListSize = RoundUp(4 * P + 4, P);

static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is eight 16-bit members");
static_assert(offsetof(SYSTEMTIME, wDayOfWeek) == 4 && offsetof(SYSTEMTIME, wDay) == 6 &&
                  offsetof(SYSTEMTIME, wMilliseconds) == 14,
              "SYSTEMTIME member order");

static_assert(offsetof(CKwMaskScheduleKws, nId) == 0, "unit id first");
static_assert(offsetof(CKwMaskScheduleKws, szName) == 4, "then the name");
static_assert(sizeof(CKwMaskScheduleKws) == 264, "unit record is 264 bytes");

static_assert(offsetof(MASK_SCHEDULE, bMask) == 0, "bMask");
static_assert(offsetof(MASK_SCHEDULE, bEnable) == 20, "bEnable");
static_assert(offsetof(MASK_SCHEDULE, stTime) == 40, "stTime");
static_assert(offsetof(MASK_SCHEDULE, bSpecialDay) == 56, "bSpecialDay");
static_assert(offsetof(MASK_SCHEDULE, bWeekDay) == 60 && offsetof(MASK_SCHEDULE, stDate) == 60,
              "weekdays and date share one storage");
static_assert(offsetof(MASK_SCHEDULE, arKws) == RoundUp(88, P), "unit list after the day storage");
static_assert(sizeof(CKwMaskScheduleKwsArray) == kListSize, "list: table, head, tail, cursor, count");
static_assert(sizeof(MASK_SCHEDULE) == RoundUp(88, P) + kListSize, "rule size");
static_assert(offsetof(MASK_SCHEDULE_EX, bActive) == sizeof(MASK_SCHEDULE), "bActive follows the rule");

static_assert(offsetof(CKwMaskScheduleKwsSwitch, stKws) == 0, "switch: unit");
static_assert(offsetof(CKwMaskScheduleKwsSwitch, bMask) == 264, "switch: values");
static_assert(offsetof(CKwMaskScheduleKwsSwitch, bSet) == 284, "switch: set flags");
static_assert(sizeof(CKwMaskScheduleKwsSwitch) == 304, "switch record size");

using UnitNode = CKwMaskScheduleKwsArray::CNode;
static_assert(offsetof(UnitNode, pNext) == 0 && offsetof(UnitNode, pPrev) == P, "node links");
static_assert(offsetof(UnitNode, item) == 2 * P, "node item after the links");
static_assert(offsetof(UnitNode, nIndex) == 2 * P + 264, "node index after the item");

static_assert(sizeof(CKwMaskSchedule) == 2 * P, "schedule object: table and engine pointer");

// The list fields in the order hosts read them through the inline GetAt.
struct ListView : CKwMaskScheduleKwsArray {
  static void Check() {
    ListView v;
    const char* base = reinterpret_cast<const char*>(&v);
    EXPECT_EQ(reinterpret_cast<const char*>(&v.m_pHead) - base, (ptrdiff_t)P);
    EXPECT_EQ(reinterpret_cast<const char*>(&v.m_pTail) - base, (ptrdiff_t)(2 * P));
    EXPECT_EQ(reinterpret_cast<const char*>(&v.m_pCursor) - base, (ptrdiff_t)(3 * P));
    EXPECT_EQ(reinterpret_cast<const char*>(&v.m_nCount) - base, (ptrdiff_t)(4 * P));
  }
};

TEST(Layout, ListFieldsFollowTheTablePointer) { ListView::Check(); }

TEST(Layout, RuleListAddsItsSectionAfterTheListFields) {
  EXPECT_EQ(sizeof(CKwMaskScheduleArray),
            RoundUp(kListSize, alignof(CRITICAL_SECTION)) + sizeof(CRITICAL_SECTION));
}

}  // namespace
