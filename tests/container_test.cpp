// The indexed list: positions, cursor walk, deletion and insertion, default
// items, and the deep copies of stored rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

// Exposes the list's fields so tests can check the cursor and the links.
template <class T>
struct Probe : CKwArray<T, T&> {
  using Base = CKwArray<T, T&>;
  using Node = typename Base::CNode;
  Node* Head() const { return this->m_pHead; }
  Node* Tail() const { return this->m_pTail; }
  Node* Cursor() const { return this->m_pCursor; }
  // Positions and links are consistent from head to tail and back.
  void ExpectConsistent() const {
    int i = 0;
    Node* prev = nullptr;
    for (Node* n = Head(); n; n = n->pNext, ++i) {
      EXPECT_EQ(n->nIndex, i);
      EXPECT_EQ(n->pPrev, prev);
      prev = n;
    }
    EXPECT_EQ(i, this->GetSize());
    EXPECT_EQ(Tail(), prev);
    if (this->GetSize() == 0) {
      EXPECT_EQ(Head(), nullptr);
      EXPECT_EQ(Cursor(), nullptr);
    }
  }
};

using Units = Probe<CKwMaskScheduleKws>;

CKwMaskScheduleKws Unit(int id, const char* name = "cam") {
  CKwMaskScheduleKws u;
  memset(&u, 0, sizeof(u));
  u.nId = id;
  snprintf(u.szName, sizeof(u.szName), "%s%d", name, id);
  return u;
}

std::vector<int> Ids(Units& list) {
  std::vector<int> ids;
  for (int i = 0; i < list.GetSize(); ++i) ids.push_back(list.GetAt(i).nId);
  return ids;
}

Units Filled(std::vector<int> ids) {
  Units list;
  for (int id : ids) {
    CKwMaskScheduleKws u = Unit(id);
    EXPECT_EQ(list.Add(u), 1);
  }
  return list;
}

TEST(Container, EmptyListAnswersWithDefaultsAndLogs) {
  kwtest::LogCapture log(0);
  Units list;
  CKwMaskScheduleKws& item = list.GetAt(0);
  (void)item;
  EXPECT_EQ(list.DeleteFirst(), 0);
  EXPECT_EQ(list.DeleteLast(), 0);
  EXPECT_EQ(list.DeleteAll(), 1);
  EXPECT_EQ(log.Count("ERROR"), 1);
  EXPECT_EQ(log.Count("CKwArray::GetAt: Index 0 is out of bounds [0..0)"), 1);
  list.ExpectConsistent();
}

TEST(Container, BadPositionLogsAndLeavesCursor) {
  kwtest::LogCapture log(0);
  Units list = Filled({10, 11, 12});
  list.GetAt(1);
  auto* cursor = list.Cursor();
  list.GetAt(-1);
  list.GetAt(3);
  EXPECT_EQ(list.Cursor(), cursor);
  EXPECT_EQ(log.Count("Index -1 is out of bounds [0..3)"), 1);
  EXPECT_EQ(log.Count("Index 3 is out of bounds [0..3)"), 1);
  // The line names the list as its object.
  char object[32];
  snprintf(object, sizeof(object), " %0*llX ", (int)(2 * sizeof(void*)),
           (unsigned long long)(uintptr_t)&list);
  EXPECT_EQ(log.Count(object), 2);
}

TEST(Container, DefaultItemIsSharedAndWritable) {
  kwtest::LogCapture log(0);
  Units a, b;
  a.GetAt(5).nId = 4242;
  EXPECT_EQ(b.GetAt(-3).nId, 4242);
  b.GetAt(7).nId = 0;
}

struct DeleteCase {
  std::vector<int> before;
  int index;
  int result;
  std::vector<int> after;
  int cursorId;  // -1: no cursor
};

class ContainerDelete : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(ContainerDelete, RemovesAndRenumbers) {
  const DeleteCase& c = GetParam();
  Units list = Filled(c.before);
  EXPECT_EQ(list.Delete(c.index), c.result);
  list.ExpectConsistent();
  if (c.cursorId < 0)
    EXPECT_EQ(list.Cursor(), nullptr);
  else
    EXPECT_EQ(list.Cursor()->item.nId, c.cursorId);
  EXPECT_EQ(Ids(list), c.after);
}

INSTANTIATE_TEST_SUITE_P(Cases, ContainerDelete, ::testing::Values(
    DeleteCase{{1, 2, 3}, 0, 1, {2, 3}, 2},        // cursor on the successor
    DeleteCase{{1, 2, 3}, 2, 1, {1, 2}, 2},        // last: cursor on new tail
    DeleteCase{{1, 2, 3}, 1, 1, {1, 3}, 3},
    DeleteCase{{7}, 0, 1, {}, -1},                 // only item: all null
    DeleteCase{{1, 2, 3}, -1, 0, {1, 2, 3}, 3},    // bad positions: unchanged
    DeleteCase{{1, 2, 3}, 3, 0, {1, 2, 3}, 3}));

struct InsertCase {
  int index;
  int result;
  std::vector<int> after;
};

class ContainerInsert : public ::testing::TestWithParam<InsertCase> {};

TEST_P(ContainerInsert, PlacesItemBeforePosition) {
  const InsertCase& c = GetParam();
  Units list = Filled({1, 2});
  CKwMaskScheduleKws x = Unit(99);
  auto* cursor = list.Cursor();
  EXPECT_EQ(list.Insert(c.index, x), c.result);
  list.ExpectConsistent();
  if (c.result)
    EXPECT_EQ(list.Cursor()->item.nId, 99);
  else
    EXPECT_EQ(list.Cursor(), cursor);
  EXPECT_EQ(Ids(list), c.after);
}

INSTANTIATE_TEST_SUITE_P(Cases, ContainerInsert, ::testing::Values(
    InsertCase{0, 1, {99, 1, 2}},
    InsertCase{1, 1, {1, 99, 2}},
    InsertCase{2, 1, {1, 2, 99}},   // at the end: appended
    InsertCase{3, 0, {1, 2}},
    InsertCase{-1, 0, {1, 2}}));

// Counts the nodes a walk examines by watching the cursor and the links: a
// lookup next to the cursor must not start from the head.
TEST(Container, WalkStartsFromNearestOfHeadCursorTail) {
  std::vector<int> ids;
  for (int i = 0; i < 100; ++i) ids.push_back(i);
  Units list = Filled(ids);
  // After Add the cursor is the tail.
  EXPECT_EQ(list.Cursor(), list.Tail());
  EXPECT_EQ(list.GetAt(99).nId, 99);
  EXPECT_EQ(list.GetAt(5).nId, 5);
  EXPECT_EQ(list.Cursor()->nIndex, 5);
  EXPECT_EQ(list.GetAt(6).nId, 6);
  EXPECT_EQ(list.GetAt(98).nId, 98);
  EXPECT_EQ(list.GetAt(50).nId, 50);
  EXPECT_EQ(list.GetAt(0).nId, 0);
  // Every position is found from every cursor position.
  for (int from = 0; from < 100; from += 7)
    for (int to = 0; to < 100; ++to) {
      list.GetAt(from);
      ASSERT_EQ(list.GetAt(to).nId, to);
    }
}

TEST(Container, AddEmptyRefAppendsAndReturnsNewItem) {
  Units list = Filled({1});
  CKwMaskScheduleKws& added = list.AddEmptyRef();
  added.nId = 5;
  EXPECT_EQ(list.GetSize(), 2);
  EXPECT_EQ(list.GetAt(1).nId, 5);
  EXPECT_EQ(list.Cursor(), list.Tail());
}

TEST(Container, UnitNamesAreCopiedWhole) {
  // A name without a terminator is copied as its 260 bytes, nothing more.
  CKwMaskScheduleKws u;
  memset(&u, 'x', sizeof(u));
  u.nId = 3;
  Units list;
  list.Add(u);
  EXPECT_EQ(memcmp(&list.GetAt(0), &u, sizeof(u)), 0);
}

MASK_SCHEDULE RuleWithUnits(std::vector<int> ids) {
  MASK_SCHEDULE r;
  r.bMask[2] = 1;
  r.bEnable[2] = 1;
  r.stTime.wHour = 7;
  r.bWeekDay[3] = 1;
  r.bWeekDay[6] = 9;
  for (int id : ids) {
    CKwMaskScheduleKws u = Unit(id);
    r.arKws.Add(u);
  }
  return r;
}

TEST(Container, StoredRulesAreDeepCopies) {
  MASK_SCHEDULE src = RuleWithUnits({1, 2, 3});
  CKwArrayP<MASK_SCHEDULE_EX, MASK_SCHEDULE_EX&> rules;
  MASK_SCHEDULE_EX ex;
  static_cast<MASK_SCHEDULE&>(ex) = src;
  ex.bActive = 1;
  rules.Add(ex);
  rules.Add(ex);
  // Changing the source changes no stored rule, and the two stored rules
  // have separate unit lists.
  ex.arKws.GetAt(0).nId = 77;
  ex.bWeekDay[6] = 0;
  rules.GetAt(0).arKws.Delete(1);
  EXPECT_EQ(rules.GetAt(0).arKws.GetSize(), 2);
  EXPECT_EQ(rules.GetAt(1).arKws.GetSize(), 3);
  EXPECT_EQ(rules.GetAt(1).arKws.GetAt(0).nId, 1);
  EXPECT_EQ(rules.GetAt(1).bWeekDay[6], 9);
  EXPECT_EQ(rules.GetAt(1).bActive, 1);
  EXPECT_EQ(rules.GetAt(1).stTime.wHour, 7);
  // Deleting, DeleteAll and destruction free the units (checked by the
  // leak sanitizer in the sanitizer build).
  rules.Delete(0);
  rules.Insert(0, ex);
  rules.DeleteAll();
  rules.Add(ex);
}

TEST(Container, RuleDefaultItemIsEmptyRule) {
  kwtest::LogCapture log(0);
  CKwArrayP<MASK_SCHEDULE_EX, MASK_SCHEDULE_EX&> rules;
  MASK_SCHEDULE_EX& d = rules.GetAt(0);
  EXPECT_EQ(d.arKws.GetSize(), 0);
  EXPECT_EQ(d.bSpecialDay, 0);
  EXPECT_EQ(log.Count("Index 0 is out of bounds [0..0)"), 1);
}

}  // namespace
