// The structured guard: what it catches and reports, on its own and around a
// host's MaskSwitch. On Windows it also catches processor faults and other
// structured exceptions; on Linux a processor fault is a signal and is not
// caught, so those cases are skipped there.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "KwSeams.h"
#include "ScheduleTestHost.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace kwtest;

namespace {

#ifdef _WIN32
const bool kFaultsAreExceptions = true;
#else
const bool kFaultsAreExceptions = false;
#endif

// What a piece of guarded code does.
enum class Act {
  kReturn,
  kThrowCpp,
  kThrowInt,
  kWriteNull,
  kDivideByZero,
  kRaiseCode,          // RaiseException(0xE0001234), continuable
  kRaiseMsvcCpp,       // what another compiler's C++ throw raises: noncontinuable 0xE06D7363
  kStackOverflow,
  kOutputDebugString,  // raises an exception that the system call handles itself
};

volatile int* volatile g_null = nullptr;
volatile int g_zero = 0;

#if defined(__GNUC__)
__attribute__((noinline))
#endif
int Recurse(int depth) {
  volatile char block[4096];
  block[0] = (char)depth;
  if (g_zero < 0) return 0;  // never: keeps the recursion open-ended
  return Recurse(depth + 1) + block[0];
}

void Perform(Act act) {
  switch (act) {
    case Act::kReturn:
      return;
    case Act::kThrowCpp:
      throw std::runtime_error("host failure");
    case Act::kThrowInt:
      throw 7;
    case Act::kWriteNull:
      *g_null = 1;
      return;
    case Act::kDivideByZero:
      g_zero = 10 / g_zero;
      return;
#ifdef _WIN32
    case Act::kRaiseCode:
      RaiseException(0xE0001234u, 0, 0, nullptr);
      return;
    case Act::kRaiseMsvcCpp:
      RaiseException(0xE06D7363u, EXCEPTION_NONCONTINUABLE, 0, nullptr);
      return;
    case Act::kStackOverflow:
      g_zero = Recurse(0);
      return;
    case Act::kOutputDebugString:
      OutputDebugStringA("guarded\n");
      return;
#else
    default:
      return;
#endif
  }
}

bool IsFault(Act act) {
  return act != Act::kReturn && act != Act::kThrowCpp && act != Act::kThrowInt;
}

struct GuardCase {
  const char* name;
  Act act;
  unsigned code;  // what KwStructuredCall returns
};

void PrintTo(const GuardCase& c, std::ostream* os) { *os << c.name; }

class StructuredCallTest : public ::testing::TestWithParam<GuardCase> {};

void RunAct(void* p) { Perform(*static_cast<Act*>(p)); }

TEST_P(StructuredCallTest, ReturnsTheCodeAndStaysUsable) {
  const GuardCase& c = GetParam();
  if (IsFault(c.act) && !kFaultsAreExceptions)
    GTEST_SKIP() << "processor faults are signals here, not exceptions";
  Act act = c.act;
  // Twice: a caught exception leaves the guard (and the thread's stack) ready
  // for the next one.
  EXPECT_EQ(c.code, KwStructuredCall(&RunAct, &act));
  EXPECT_EQ(c.code, KwStructuredCall(&RunAct, &act));
  Act fine = Act::kReturn;
  EXPECT_EQ(0u, KwStructuredCall(&RunAct, &fine));
}

INSTANTIATE_TEST_SUITE_P(
    Guard, StructuredCallTest,
    ::testing::Values(GuardCase{"Returns", Act::kReturn, 0},
                      GuardCase{"CppException", Act::kThrowCpp, KW_CPP_EXCEPTION_CODE},
                      GuardCase{"CppExceptionOfAnyType", Act::kThrowInt, KW_CPP_EXCEPTION_CODE},
                      GuardCase{"AccessViolation", Act::kWriteNull, 0xC0000005u},
                      GuardCase{"IntegerDivideByZero", Act::kDivideByZero, 0xC0000094u},
                      GuardCase{"RaisedCode", Act::kRaiseCode, 0xE0001234u},
                      GuardCase{"OtherCompilersCppException", Act::kRaiseMsvcCpp, 0xE06D7363u},
                      GuardCase{"StackOverflow", Act::kStackOverflow, 0xC00000FDu},
                      GuardCase{"ExceptionHandledInsideIsNotSeen", Act::kOutputDebugString, 0}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return std::string(info.param.name); });

// A guard inside a guard: the inner one catches what happens inside it, and
// the outer one then goes on, and still catches what happens later.
struct Nested {
  Act inner;
  Act afterInner;
  unsigned innerCode = 0;
};

void RunNested(void* p) {
  Nested* n = static_cast<Nested*>(p);
  n->innerCode = KwStructuredCall(&RunAct, &n->inner);
  Perform(n->afterInner);
}

TEST(StructuredGuard, NestedGuardsCatchAtTheInnermost) {
  Nested cpp{Act::kThrowCpp, Act::kThrowInt};
  EXPECT_EQ(KW_CPP_EXCEPTION_CODE, KwStructuredCall(&RunNested, &cpp));
  EXPECT_EQ(KW_CPP_EXCEPTION_CODE, cpp.innerCode);

  Nested quiet{Act::kThrowCpp, Act::kReturn};
  EXPECT_EQ(0u, KwStructuredCall(&RunNested, &quiet));
  EXPECT_EQ(KW_CPP_EXCEPTION_CODE, quiet.innerCode);

  if (!kFaultsAreExceptions) GTEST_SKIP() << "processor faults are signals here";
  Nested faults{Act::kWriteNull, Act::kDivideByZero};
  EXPECT_EQ(0xC0000094u, KwStructuredCall(&RunNested, &faults));
  EXPECT_EQ(0xC0000005u, faults.innerCode);

  Nested mixed{Act::kWriteNull, Act::kThrowCpp};
  EXPECT_EQ(KW_CPP_EXCEPTION_CODE, KwStructuredCall(&RunNested, &mixed));
  EXPECT_EQ(0xC0000005u, mixed.innerCode);
}

TEST(StructuredGuard, ThreadsHaveGuardsOfTheirOwn) {
  Act act = kFaultsAreExceptions ? Act::kWriteNull : Act::kThrowCpp;
  unsigned expected = kFaultsAreExceptions ? 0xC0000005u : KW_CPP_EXCEPTION_CODE;
  auto worker = [&](unsigned* wrong) {
    for (int i = 0; i < 2000; ++i) {
      Act mine = act;
      if (KwStructuredCall(&RunAct, &mine) != expected) ++*wrong;
    }
  };
  unsigned wrongA = 0, wrongB = 0;
  std::thread a(worker, &wrongA), b(worker, &wrongB);
  a.join();
  b.join();
  EXPECT_EQ(0u, wrongA);
  EXPECT_EQ(0u, wrongB);
}

// --- Around a host's MaskSwitch ---------------------------------------------

// A host whose MaskSwitch fails in a chosen way for the first command.
class FailingHost : public CKwMaskSchedule {
 public:
  explicit FailingHost(Act act) : act_(act) { Create(); }
  void MaskSwitch(CKwMaskScheduleKwsSwitch& sw) override {
    if (++calls_ == 1) Perform(act_);
    delivered += (delivered.empty() ? "" : ",") + std::to_string(sw.stKws.nId);
  }
  std::string delivered;

 private:
  Act act_;
  int calls_ = 0;
};

struct HostCase {
  const char* name;
  Act act;
  const char* line;  // the one report expected
};

void PrintTo(const HostCase& c, std::ostream* os) { *os << c.name; }

class HostFailureTest : public ::testing::TestWithParam<HostCase> {
 protected:
  void TearDown() override { KwTestReleaseClock(); }
};

TEST_P(HostFailureTest, CostsOnlyThatUnitsCommand) {
  const HostCase& c = GetParam();
  if (IsFault(c.act) && !kFaultsAreExceptions)
    GTEST_SKIP() << "processor faults are signals here, not exceptions";
  LogCapture log;
  FailingHost host(c.act);
  MASK_SCHEDULE rule = WeekdayRule(8, 0, 0, {1}, {1, 2, 3});
  ASSERT_EQ(1, host.Add(&rule));
  KwTestSetTickCount(0);
  SYSTEMTIME now = Mon(9, 0, 0);
  host.OnTimer(&now);
  EXPECT_EQ("2,3", host.delivered);
  EXPECT_EQ(1, log.Count(std::string("CKwMaskScheduleEngine::MaskSwitch: ") + c.line))
      << log.Text();
  EXPECT_EQ(1, log.Count("Exception 0x")) << log.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Host, HostFailureTest,
    ::testing::Values(HostCase{"Throws", Act::kThrowCpp, "Exception 0xE06D7363"},
                      HostCase{"WritesThroughNull", Act::kWriteNull, "Exception 0xC0000005"},
                      HostCase{"DividesByZero", Act::kDivideByZero, "Exception 0xC0000094"}),
    [](const ::testing::TestParamInfo<HostCase>& info) { return std::string(info.param.name); });

}  // namespace
