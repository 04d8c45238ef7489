// The schedule file: the exact bytes Save writes, what Load accepts and
// refuses, damaged files, and Save keeping the previous file whenever the
// new one cannot be written in full (injected faults, a real file size
// limit, folders that cannot hold the file).
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <climits>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "KwFileTestSeam.h"
#include "MaskScheduleEngine.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class Schedule : public CKwMaskSchedule {
 public:
  CKwMaskScheduleEngine* Engine() { return m_pEngine; }
  CKwMaskScheduleArray& Rules() { return GetScheduleArray(); }
};

// Expected file bytes, built here from the test's own values, independently
// of the code under test.
class Bytes {
 public:
  Bytes& I32(int32_t v) {
    for (int i = 0; i < 4; ++i) s_.push_back((char)(((uint32_t)v >> (8 * i)) & 0xFF));
    return *this;
  }
  Bytes& U16(uint16_t v) {
    s_.push_back((char)(v & 0xFF));
    s_.push_back((char)(v >> 8));
    return *this;
  }
  Bytes& Raw(const std::string& raw) {
    s_ += raw;
    return *this;
  }
  Bytes& Header() {
    std::string h = "KWS RUDU VEDERERU VERSION 0.0";
    h.resize(260, '\0');
    return Raw(h);
  }
  const std::string& str() const { return s_; }
  size_t size() const { return s_.size(); }

 private:
  std::string s_;
};

// A unit name of exactly 260 bytes: text, its zero byte, then other bytes
// the record happens to hold.
std::string UnitName(const std::string& text, int seed) {
  std::string name = text;
  name.push_back('\0');
  while (name.size() < KW_NAME_SIZE) name.push_back((char)((name.size() * 7 + seed * 31 + 1) & 0xFF));
  return name;
}

CKwMaskScheduleKws Unit(int id, const std::string& name260) {
  CKwMaskScheduleKws u;
  u.nId = id;
  memcpy(u.szName, name260.data(), KW_NAME_SIZE);
  return u;
}

SYSTEMTIME Time8(int base) {
  // Every member different and nonzero, so a member written in the wrong
  // place or left out shows.
  return kwtest::Time(2000 + base, base + 1, base + 3, base + 2, base + 4, base + 5, base + 6,
                      base + 7);
}

void AppendTime(Bytes& b, const SYSTEMTIME& t) {
  b.U16(t.wYear).U16(t.wMonth).U16(t.wDayOfWeek).U16(t.wDay);
  b.U16(t.wHour).U16(t.wMinute).U16(t.wSecond).U16(t.wMilliseconds);
}

// A weekday rule with two units and a special-day rule without units, every
// stored byte distinctive, and the file bytes they must produce.
struct Sample {
  MASK_SCHEDULE weekday;
  MASK_SCHEDULE special;
  Bytes bytes;  // header, count 2, both rules
};

Sample MakeSample() {
  Sample s;
  const int mask[5] = {1, 0, -1, 0x7FFFFFFF, INT_MIN};
  const int enable[5] = {0, 1, 2, 0x01020304, -2};
  const int days[7] = {1, 0, 0x12345678, -1, 7, 0x7FFFFFFF, 2};
  const std::string nameA = UnitName("Gate north", 1);
  const std::string nameB = UnitName("Hall \xC3\xA9", 2);

  MASK_SCHEDULE& w = s.weekday;
  for (int v = 0; v < 5; ++v) {
    w.bMask[v] = mask[v];
    w.bEnable[v] = enable[v];
  }
  w.stTime = Time8(10);
  w.bSpecialDay = 0;
  for (int d = 0; d < 7; ++d) w.bWeekDay[d] = days[d];
  CKwMaskScheduleKws ua = Unit(-7, nameA);
  CKwMaskScheduleKws ub = Unit(0x0A0B0C0D, nameB);
  w.arKws.Add(ua);
  w.arKws.Add(ub);

  MASK_SCHEDULE& sp = s.special;
  for (int v = 0; v < 5; ++v) {
    sp.bMask[v] = v + 100;
    sp.bEnable[v] = -(v + 1);
  }
  sp.stTime = Time8(20);
  sp.bSpecialDay = 3;
  sp.stDate = Time8(30);
  sp.bWeekDay[4] = 0x44;
  sp.bWeekDay[5] = -0x55;
  sp.bWeekDay[6] = 0x66666666;

  Bytes& b = s.bytes;
  b.Header().I32(2);
  for (int v = 0; v < 5; ++v) b.I32(mask[v]);
  for (int v = 0; v < 5; ++v) b.I32(enable[v]);
  AppendTime(b, Time8(10));
  b.I32(0);
  for (int d = 0; d < 7; ++d) b.I32(days[d]);
  b.I32(2);
  b.I32(-7).Raw(nameA);
  b.I32(0x0A0B0C0D).Raw(nameB);
  for (int v = 0; v < 5; ++v) b.I32(v + 100);
  for (int v = 0; v < 5; ++v) b.I32(-(v + 1));
  AppendTime(b, Time8(20));
  b.I32(3);
  AppendTime(b, Time8(30));
  b.I32(0x44).I32(-0x55).I32(0x66666666);
  b.I32(0);
  return s;
}

void ExpectSameRule(const MASK_SCHEDULE& expected, MASK_SCHEDULE& actual, const std::string& what) {
  SCOPED_TRACE(what);
  for (int v = 0; v < 5; ++v) {
    EXPECT_EQ(expected.bMask[v], actual.bMask[v]) << "view " << v;
    EXPECT_EQ(expected.bEnable[v], actual.bEnable[v]) << "view " << v;
  }
  EXPECT_EQ(0, memcmp(&expected.stTime, &actual.stTime, sizeof(SYSTEMTIME)));
  EXPECT_EQ(expected.bSpecialDay, actual.bSpecialDay);
  EXPECT_EQ(0, memcmp(expected.bWeekDay, actual.bWeekDay, sizeof(expected.bWeekDay)));
  MASK_SCHEDULE copy = expected;  // GetAt is not const
  ASSERT_EQ(copy.arKws.GetSize(), actual.arKws.GetSize());
  for (int i = 0; i < copy.arKws.GetSize(); ++i) {
    EXPECT_EQ(copy.arKws.GetAt(i).nId, actual.arKws.GetAt(i).nId) << "unit " << i;
    EXPECT_EQ(0, memcmp(copy.arKws.GetAt(i).szName, actual.arKws.GetAt(i).szName, KW_NAME_SIZE))
        << "unit " << i;
  }
}

// Plain rules with units, numbered so that each one is recognisable.
MASK_SCHEDULE NumberedRule(int n, int units) {
  MASK_SCHEDULE r;
  r.bMask[n % 5] = 1;
  r.bEnable[n % 5] = 1;
  r.stTime.wHour = (WORD)(n % 24);
  r.stTime.wMinute = (WORD)(n % 60);
  r.bWeekDay[n % 7] = n + 1;
  for (int u = 0; u < units; ++u) {
    CKwMaskScheduleKws unit = Unit(n * 1000 + u, UnitName("unit " + std::to_string(u), n + u));
    r.arKws.Add(unit);
  }
  return r;
}

std::set<std::string> FolderEntries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

class ScheduleFileTest : public ::testing::Test {
 protected:
  void TearDown() override { KwTestReleaseFileFaults(); }

  std::string PathOf(const std::string& name) { return (dir / name).string(); }

  // Writes raw bytes and loads them into a fresh schedule.
  int LoadBytes(const std::string& bytes) {
    kwtest::WriteFile(dir / "in.kws", bytes);
    return loaded.Load(PathOf("in.kws").c_str());
  }

  void AddRules(Schedule& s, int count, int units) {
    for (int i = 0; i < count; ++i) {
      MASK_SCHEDULE r = NumberedRule(i, units);
      ASSERT_EQ(1, s.Add(&r));
    }
  }

  kwtest::TempDir dir;
  kwtest::LogCapture log{0};
  Schedule saved;
  Schedule loaded;
};

// ---------------------------------------------------------------------------
// Layout
// ---------------------------------------------------------------------------

TEST_F(ScheduleFileTest, EmptyScheduleIsHeaderAndZeroCount) {
  ASSERT_EQ(1, saved.Save(PathOf("empty.kws").c_str()));
  Bytes expected;
  expected.Header().I32(0);
  EXPECT_EQ(expected.str(), kwtest::ReadFile(dir / "empty.kws"));

  loaded.Engine()->m_nLastDayOfWeek = 4;
  EXPECT_EQ(1, loaded.Load(PathOf("empty.kws").c_str()));
  EXPECT_EQ(0, loaded.Rules().GetSize());
  EXPECT_EQ(-1, loaded.Engine()->m_nLastDayOfWeek);
  EXPECT_EQ("", log.Text());
}

TEST_F(ScheduleFileTest, SaveWritesEveryFieldLittleEndianWithoutPadding) {
  Sample s = MakeSample();
  ASSERT_EQ(1, saved.Add(&s.weekday));
  ASSERT_EQ(1, saved.Add(&s.special));
  // A longer previous file is replaced as a whole, leaving no stale tail.
  kwtest::WriteFile(dir / "plan.kws", std::string(5000, 'x'));

  ASSERT_EQ(1, saved.Save(PathOf("plan.kws").c_str()));
  std::string file = kwtest::ReadFile(dir / "plan.kws");
  ASSERT_EQ(260u + 4u + (92u + 2u * 264u) + 92u, file.size());
  EXPECT_EQ(s.bytes.str(), file);
  EXPECT_EQ(std::set<std::string>{"plan.kws"}, FolderEntries(dir.path()));
}

TEST_F(ScheduleFileTest, LoadRestoresEveryStoredByteAndArmsRules) {
  Sample s = MakeSample();
  loaded.Engine()->m_nLastDayOfWeek = 2;
  ASSERT_EQ(1, LoadBytes(s.bytes.str()));

  ASSERT_EQ(2, loaded.Rules().GetSize());
  ExpectSameRule(s.weekday, loaded.Rules().GetAt(0), "weekday rule");
  ExpectSameRule(s.special, loaded.Rules().GetAt(1), "special-day rule");
  EXPECT_EQ(1, loaded.Rules().GetAt(0).bActive);
  EXPECT_EQ(1, loaded.Rules().GetAt(1).bActive);
  EXPECT_EQ(-1, loaded.Engine()->m_nLastDayOfWeek);

  // And written back, the same bytes again.
  ASSERT_EQ(1, loaded.Save(PathOf("again.kws").c_str()));
  EXPECT_EQ(s.bytes.str(), kwtest::ReadFile(dir / "again.kws"));
  EXPECT_EQ("", log.Text());
}

TEST_F(ScheduleFileTest, LoadAppendsAfterTheRulesHeldAndTwiceDoubles) {
  Sample s = MakeSample();
  MASK_SCHEDULE first = NumberedRule(9, 1);
  ASSERT_EQ(1, loaded.Add(&first));
  loaded.Rules().GetAt(0).bActive = 0;

  ASSERT_EQ(1, LoadBytes(s.bytes.str()));
  ASSERT_EQ(1, loaded.Load(PathOf("in.kws").c_str()));

  ASSERT_EQ(5, loaded.Rules().GetSize());
  ExpectSameRule(first, loaded.Rules().GetAt(0), "rule held before");
  EXPECT_EQ(0, loaded.Rules().GetAt(0).bActive) << "rules held before are left alone";
  ExpectSameRule(s.weekday, loaded.Rules().GetAt(1), "first load, rule 0");
  ExpectSameRule(s.special, loaded.Rules().GetAt(2), "first load, rule 1");
  ExpectSameRule(s.weekday, loaded.Rules().GetAt(3), "second load, rule 0");
  ExpectSameRule(s.special, loaded.Rules().GetAt(4), "second load, rule 1");
  // Independent copies: changing one load's units leaves the other alone.
  loaded.Rules().GetAt(1).arKws.GetAt(0).nId = 555;
  EXPECT_EQ(-7, loaded.Rules().GetAt(3).arKws.GetAt(0).nId);
}

// ---------------------------------------------------------------------------
// Header and rule count
// ---------------------------------------------------------------------------

TEST_F(ScheduleFileTest, HeaderMustBeTheTextAndItsZeroByte) {
  const std::string good = MakeSample().bytes.str();
  const std::string body = good.substr(260);
  auto withHeader = [&](std::string header) {
    header.resize(260, '\0');
    return header + body;
  };
  std::string afterZero = "KWS RUDU VEDERERU VERSION 0.0";
  afterZero.push_back('\0');
  while (afterZero.size() < 260) afterZero.push_back((char)(0x80 + afterZero.size() % 100));

  struct Case {
    const char* what;
    std::string bytes;
    int rulesAdded;
  } cases[] = {
      {"other version", withHeader("KWS RUDU VEDERERU VERSION 0.1"), 0},
      {"letter case", withHeader("kWS RUDU VEDERERU VERSION 0.0"), 0},
      {"text runs on", withHeader("KWS RUDU VEDERERU VERSION 0.0X"), 0},
      {"text cut short", withHeader("KWS RUDU VEDERERU VERSION 0."), 0},
      {"empty file", "", 0},
      {"half the text", "KWS RUDU VED", 0},
      {"other file", std::string(4000, '\x7F'), 0},
      {"any bytes after the zero byte", afterZero + body, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    loaded.DeleteAll();
    loaded.Engine()->m_nLastDayOfWeek = 3;
    EXPECT_EQ(1, LoadBytes(c.bytes));
    EXPECT_EQ(c.rulesAdded, loaded.Rules().GetSize());
    if (c.rulesAdded == 0) {
      EXPECT_EQ(3, loaded.Engine()->m_nLastDayOfWeek);
      EXPECT_EQ(1, log.Count("ERROR")) << log.Text();
      EXPECT_EQ(1, log.Count("CKwMaskScheduleEngine::Load: ")) << log.Text();
      EXPECT_EQ(1, log.Count("header does not match")) << log.Text();
    } else {
      EXPECT_EQ(-1, loaded.Engine()->m_nLastDayOfWeek);
      EXPECT_EQ("", log.Text());
    }
  }
}

TEST_F(ScheduleFileTest, RuleCountOutsideZeroTo64000IsRefused) {
  for (int32_t count : {-1, 64001, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(count);
    log.Clear();
    loaded.Engine()->m_nLastDayOfWeek = 3;
    Bytes b;
    b.Header().I32(count);
    EXPECT_EQ(0, LoadBytes(b.str()));
    EXPECT_EQ(0, loaded.Rules().GetSize());
    EXPECT_EQ(3, loaded.Engine()->m_nLastDayOfWeek);
    EXPECT_EQ(1, log.Count("ERROR")) << log.Text();
    EXPECT_EQ(1, log.Count("rule count " + std::to_string(count) + " is outside 0..64000"))
        << log.Text();
  }
}

TEST_F(ScheduleFileTest, MaximumRuleCountLoadsAndOneMoreIsNotSaved) {
  Bytes b;
  b.Header().I32(64000);
  std::string file = b.str();
  std::string rule(92, '\0');
  rule[60 + 4 * 2] = 1;  // Tuesday
  for (int i = 0; i < 64000; ++i) file += rule;
  EXPECT_EQ(1, LoadBytes(file));
  ASSERT_EQ(64000, loaded.Rules().GetSize());
  EXPECT_EQ(1, loaded.Rules().GetAt(63999).bWeekDay[2]);

  // A schedule one rule over what Load accepts is not written at all: the
  // file on disk would be refused when read back.
  ASSERT_EQ(1, loaded.Save(PathOf("max.kws").c_str()));
  EXPECT_EQ(file, kwtest::ReadFile(dir / "max.kws"));
  MASK_SCHEDULE extra;
  ASSERT_EQ(1, loaded.Add(&extra));
  log.Clear();
  EXPECT_EQ(0, loaded.Save(PathOf("max.kws").c_str()));
  EXPECT_EQ(file, kwtest::ReadFile(dir / "max.kws"));
  EXPECT_EQ(1, log.Count("64001 rules are more than a schedule file holds")) << log.Text();
}

// ---------------------------------------------------------------------------
// Damaged files
// ---------------------------------------------------------------------------

// Cuts a five-rule file at every length and checks that exactly the rules
// complete before the cut are loaded, never a zero-filled or repeated one.
TEST_F(ScheduleFileTest, FileEndingEarlyKeepsOnlyCompleteRules) {
  const int kUnits[5] = {1, 0, 2, 1, 3};
  std::vector<MASK_SCHEDULE> rules;
  std::vector<size_t> ruleEnd;  // offset just past each rule
  size_t offset = 264;
  for (int i = 0; i < 5; ++i) {
    rules.push_back(NumberedRule(i, kUnits[i]));
    ASSERT_EQ(1, saved.Add(&rules.back()));
    offset += 92 + 264 * (size_t)kUnits[i];
    ruleEnd.push_back(offset);
  }
  ASSERT_EQ(1, saved.Save(PathOf("full.kws").c_str()));
  const std::string full = kwtest::ReadFile(dir / "full.kws");
  ASSERT_EQ(offset, full.size());

  for (size_t cut = 30; cut < full.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    log.Clear();
    loaded.DeleteAll();
    ASSERT_EQ(0, LoadBytes(full.substr(0, cut)));
    int complete = 0;
    while (complete < 5 && ruleEnd[complete] <= cut) ++complete;
    ASSERT_EQ(complete, loaded.Rules().GetSize());
    for (int i = 0; i < complete; ++i)
      ExpectSameRule(rules[i], loaded.Rules().GetAt(i), "rule " + std::to_string(i));
    ASSERT_EQ(1, log.Count("ERROR")) << log.Text();
    if (cut < 264)
      ASSERT_EQ(1, log.Count("file ends early: no rule count")) << log.Text();
    else
      ASSERT_EQ(1, log.Count("file ends early: read " + std::to_string(complete) + " of 5 rules"))
          << log.Text();
  }
}

TEST_F(ScheduleFileTest, UnitCountsAreBoundedByTheFile) {
  const std::string unit = Bytes().I32(42).Raw(UnitName("only", 0)).str();
  auto ruleWithUnitCount = [](int32_t n) {
    Bytes b;
    for (int i = 0; i < 22; ++i) b.I32(0);
    return b.I32(n).str();
  };

  // A count no file could hold, followed by one unit: nothing is added and
  // nothing the size of the count is allocated.
  for (int32_t huge : {INT_MAX, 1 << 20, 2}) {
    SCOPED_TRACE(huge);
    log.Clear();
    loaded.DeleteAll();
    EXPECT_EQ(0, LoadBytes(Bytes().Header().I32(1).str() + ruleWithUnitCount(huge) + unit));
    EXPECT_EQ(0, loaded.Rules().GetSize());
    EXPECT_EQ(1, log.Count("file ends early: read 0 of 1 rules")) << log.Text();
  }

  // A negative count reads no units: the next bytes are the next rule.
  log.Clear();
  loaded.DeleteAll();
  std::string file = Bytes().Header().I32(2).str() + ruleWithUnitCount(-5) +
                     ruleWithUnitCount(1) + unit;
  EXPECT_EQ(1, LoadBytes(file));
  ASSERT_EQ(2, loaded.Rules().GetSize());
  EXPECT_EQ(0, loaded.Rules().GetAt(0).arKws.GetSize());
  ASSERT_EQ(1, loaded.Rules().GetAt(1).arKws.GetSize());
  EXPECT_EQ(42, loaded.Rules().GetAt(1).arKws.GetAt(0).nId);
  EXPECT_EQ("", log.Text());
}

TEST_F(ScheduleFileTest, ReadErrorsAndExceptionsKeepTheCompleteRules) {
  // Three rules of about 105 KB each: reading takes several calls.
  AddRules(saved, 3, 400);
  ASSERT_EQ(1, saved.Save(PathOf("big.kws").c_str()));
  ASSERT_EQ(1, loaded.Load(PathOf("big.kws").c_str()));
  const int rulesInFirstRead = 2;  // the first read fills the 256 KB buffer
  ASSERT_EQ(3, loaded.Rules().GetSize());

  struct Case {
    int mode;
    const char* message;
  } cases[] = {
      {KW_TEST_FILE_FAIL, "Can't read"},
      {KW_TEST_FILE_THROW, "C++ exception"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    log.Clear();
    loaded.DeleteAll();
    loaded.Engine()->m_nLastDayOfWeek = 5;
    KwTestFileFault(KW_TEST_FILE_READ, 2, c.mode);
    EXPECT_EQ(0, loaded.Load(PathOf("big.kws").c_str()));
    ASSERT_EQ(rulesInFirstRead, loaded.Rules().GetSize());
    for (int i = 0; i < rulesInFirstRead; ++i)
      ExpectSameRule(saved.Rules().GetAt(i), loaded.Rules().GetAt(i), "rule " + std::to_string(i));
    EXPECT_EQ(-1, loaded.Engine()->m_nLastDayOfWeek);
    EXPECT_EQ(1, log.Count("ERROR")) << log.Text();
    EXPECT_EQ(1, log.Count(std::string("CKwMaskScheduleEngine::Load: ") + c.message)) << log.Text();
  }
}

TEST_F(ScheduleFileTest, NoPathOrNoFile) {
  EXPECT_EQ(0, loaded.Load(nullptr));
  EXPECT_EQ(0, saved.Save(nullptr));
  EXPECT_EQ(1, log.Count("CKwMaskScheduleEngine::Load: No file name given")) << log.Text();
  EXPECT_EQ(1, log.Count("CKwMaskScheduleEngine::Save: No file name given")) << log.Text();

  // No schedule file yet is the normal first start: refused quietly.
  log.Clear();
  EXPECT_EQ(0, loaded.Load(PathOf("missing.kws").c_str()));
  EXPECT_EQ(0, loaded.Load(dir.path().string().c_str()));
  EXPECT_EQ(0, loaded.Rules().GetSize());
  EXPECT_EQ("", log.Text());
}

// ---------------------------------------------------------------------------
// Save keeps the previous file unless the new one is complete on the disk
// ---------------------------------------------------------------------------

class SaveFailureTest : public ScheduleFileTest {
 protected:
  void SetUp() override {
    // About 630 KB: written out in three large writes.
    AddRules(saved, 6, 400);
    kwtest::WriteFile(dir / "plan.kws", previous);
  }
  // Save must fail, leave the previous file byte for byte and no other file.
  void ExpectFailureKeepsPrevious(const std::string& message) {
    EXPECT_EQ(0, saved.Save(PathOf("plan.kws").c_str()));
    EXPECT_EQ(previous, kwtest::ReadFile(dir / "plan.kws"));
    EXPECT_EQ(std::set<std::string>{"plan.kws"}, FolderEntries(dir.path()));
    EXPECT_EQ(1, log.Count("ERROR")) << log.Text();
    EXPECT_EQ(1, log.Count(message)) << log.Text();
  }
  const std::string previous = MakeSample().bytes.str();
};

TEST_F(SaveFailureTest, AnyFailingStepKeepsThePreviousFile) {
  struct Case {
    int step;
    int nth;
    int mode;
    const char* message;
  } cases[] = {
      {KW_TEST_FILE_CREATE, 1, KW_TEST_FILE_FAIL, "create temporary file failed"},
      {KW_TEST_FILE_WRITE, 1, KW_TEST_FILE_FAIL, "write failed"},
      {KW_TEST_FILE_WRITE, 2, KW_TEST_FILE_FAIL, "write failed"},
      {KW_TEST_FILE_WRITE, 3, KW_TEST_FILE_FAIL, "write failed"},
      {KW_TEST_FILE_SYNC, 1, KW_TEST_FILE_FAIL, "sync failed"},
      {KW_TEST_FILE_REPLACE, 1, KW_TEST_FILE_FAIL, "replace failed"},
      {KW_TEST_FILE_CREATE, 1, KW_TEST_FILE_THROW, "CKwMaskScheduleEngine::Save: C++ exception"},
      {KW_TEST_FILE_WRITE, 2, KW_TEST_FILE_THROW, "CKwMaskScheduleEngine::Save: C++ exception"},
      {KW_TEST_FILE_SYNC, 1, KW_TEST_FILE_THROW, "CKwMaskScheduleEngine::Save: C++ exception"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.message) + ", step " + std::to_string(c.step) + " call " +
                 std::to_string(c.nth));
    log.Clear();
    KwTestFileFault(c.step, c.nth, c.mode);
    ExpectFailureKeepsPrevious(c.message);
    KwTestReleaseFileFaults();
  }
  // Nothing left over from the failures: the next save works.
  log.Clear();
  ASSERT_EQ(1, saved.Save(PathOf("plan.kws").c_str()));
  ASSERT_EQ(1, loaded.Load(PathOf("plan.kws").c_str()));
  EXPECT_EQ(6, loaded.Rules().GetSize());
  EXPECT_EQ("", log.Text());
}

#ifndef _WIN32  // folder sync, file size limits and permission bits are POSIX
TEST_F(SaveFailureTest, FolderSyncFailureIsReportedAfterTheReplace) {
  // The new file is already in place, but it is not known to be durable:
  // the caller hears of it.
  KwTestFileFault(KW_TEST_FILE_SYNC_FOLDER, 1, KW_TEST_FILE_FAIL);
  EXPECT_EQ(0, saved.Save(PathOf("plan.kws").c_str()));
  EXPECT_EQ(1, log.Count("sync folder failed")) << log.Text();
  EXPECT_EQ(std::set<std::string>{"plan.kws"}, FolderEntries(dir.path()));
  EXPECT_EQ(1, loaded.Load(PathOf("plan.kws").c_str()));
  EXPECT_EQ(6, loaded.Rules().GetSize());
}

TEST_F(SaveFailureTest, FileSizeLimitKeepsThePreviousFile) {
  // A real short write: the child may write no more than 100 KB per file.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100 * 1024, 100 * 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
    _exit(saved.Save(PathOf("plan.kws").c_str()) == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status)) << "Save must report the short write";
  EXPECT_EQ(previous, kwtest::ReadFile(dir / "plan.kws"));
  EXPECT_EQ(std::set<std::string>{"plan.kws"}, FolderEntries(dir.path()));
  EXPECT_EQ(1, log.Count("write failed (error 27)")) << log.Text();  // EFBIG
}

#endif

TEST_F(SaveFailureTest, FolderThatCannotHoldTheFile) {
  for (const std::string& path : {PathOf("no-such-folder/plan.kws"), PathOf("plan.kws/inner.kws")}) {
    SCOPED_TRACE(path);
    log.Clear();
    EXPECT_EQ(0, saved.Save(path.c_str()));
    EXPECT_EQ(previous, kwtest::ReadFile(dir / "plan.kws"));
    EXPECT_EQ(std::set<std::string>{"plan.kws"}, FolderEntries(dir.path()));
    EXPECT_EQ(1, log.Count("create temporary file failed")) << log.Text();
  }
}

#ifndef _WIN32
TEST_F(SaveFailureTest, NewVersionKeepsThePermissionsOfTheOldOne) {
  ASSERT_EQ(0, chmod(PathOf("plan.kws").c_str(), 0640));
  ASSERT_EQ(1, saved.Save(PathOf("plan.kws").c_str()));
  struct stat st;
  ASSERT_EQ(0, stat(PathOf("plan.kws").c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777u);
}

#endif

}  // namespace
