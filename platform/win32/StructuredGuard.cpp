// Structured guard, Windows: catches C++ exceptions and every structured
// exception (processor faults such as an access violation, and exceptions
// raised with RaiseException) that the guarded code itself leaves unhandled.
//
// GCC has no __try/__except, so the guard builds one:
// - C++ exceptions thrown by GCC code unwind to a catch(...) in
//   KwStructuredCall and are reported as KW_CPP_EXCEPTION_CODE.
// - For structured exceptions, GuardedInvoke registers a frame-based handler
//   (x86_64: in the function's unwind data; i686: in the thread's chain of
//   registrations). Windows consults it only after every handler of the
//   guarded code has declined, as it would an __except block. The handler
//   records the code, points the faulting thread at Recover and continues
//   execution there; Recover jumps back into GuardedInvoke (__builtin_longjmp)
//   which returns the code. The frames between the guard and the fault are
//   abandoned without running their destructors, as __except does for code
//   compiled without asynchronous exception handling.
// - GCC's own C++ unwinding exceptions pass through the handler untouched so
//   that they reach the catch(...).
// Guards nest: each thread keeps a chain of the guards it is inside, and the
// innermost one catches.
#include <malloc.h>  // _resetstkoflw
#include <stdint.h>

#include "KwPlatformApi.h"
#include "KwSeams.h"

#if !defined(__x86_64__) && !defined(__i386__)
#error "The structured guard supports x86_64 and i686."
#endif

#if defined(__i386__)
#define KW_FASTCALL __attribute__((fastcall))
#else
#define KW_FASTCALL
#endif

// One active guard, in KwStructuredCall's frame.
struct KwGuardFrame {
#if defined(__i386__)
  // First member: the registration Windows hands back as the establisher
  // frame, so the handler finds its guard from it.
  EXCEPTION_REGISTRATION_RECORD registration;
  EXCEPTION_REGISTRATION_RECORD* savedList;  // the chain before the guard
#endif
  void* jump[5];              // __builtin_setjmp buffer in GuardedInvoke
  KwGuardFrame* outer;        // enclosing guard of this thread, or null
  volatile DWORD code;        // the caught exception's code
  volatile LONG recovering;   // set once the handler has taken over
};

namespace {

#if defined(__i386__)
// The head of the thread's chain of handler registrations: the first field of
// the thread information block, at fs:0.
inline EXCEPTION_REGISTRATION_RECORD* ExceptionList() {
  EXCEPTION_REGISTRATION_RECORD* head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
  return head;
}
inline void SetExceptionList(EXCEPTION_REGISTRATION_RECORD* head) {
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory");
}
#endif

// The thread's innermost guard, in a TLS slot of the library's own: TlsGetValue
// is safe to call from an exception handler.
class GuardChain {
 public:
  GuardChain() : index_(TlsAlloc()) {}
  ~GuardChain() {
    if (index_ != TLS_OUT_OF_INDEXES) TlsFree(index_);
  }
  bool Usable() const { return index_ != TLS_OUT_OF_INDEXES; }
  KwGuardFrame* Innermost() const {
    DWORD error = GetLastError();  // TlsGetValue clears it
    KwGuardFrame* frame = static_cast<KwGuardFrame*>(TlsGetValue(index_));
    SetLastError(error);
    return frame;
  }
  void SetInnermost(KwGuardFrame* frame) const { TlsSetValue(index_, frame); }

 private:
  DWORD index_;
};

GuardChain& Chain() {
  static GuardChain chain;
  return chain;
}

// GCC raises its C++ exceptions and forced unwinds as structured exceptions
// with these codes ("GCC" and a kind byte); they belong to the catch(...).
bool IsGccUnwind(DWORD code) {
  return (code & 0x00FFFFFFu) == 0x00474343u && (code >> 24) >= 0x20u && (code >> 24) <= 0x22u;
}

}  // namespace

// Where a caught structured exception resumes: leaves the abandoned frames
// and returns into GuardedInvoke.
extern "C" __attribute__((noreturn, noinline, used)) void KW_FASTCALL
KwGuardRecover(KwGuardFrame* frame) {
#if defined(__i386__)
  // Drop every registration made below the guard, the guard's own included.
  SetExceptionList(frame->savedList);
#endif
  __builtin_longjmp(frame->jump, 1);
}

extern "C" __attribute__((used)) EXCEPTION_DISPOSITION __cdecl KwGuardFrameHandler(
    EXCEPTION_RECORD* record, void* establisherFrame, CONTEXT* context, void* /*dispatcher*/) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  if (IsGccUnwind(record->ExceptionCode)) return ExceptionContinueSearch;
#if defined(__i386__)
  KwGuardFrame* frame = reinterpret_cast<KwGuardFrame*>(establisherFrame);
#else
  (void)establisherFrame;
  KwGuardFrame* frame = Chain().Innermost();
#endif
  if (!frame || frame->recovering) return ExceptionContinueSearch;  // a fault while recovering
  frame->recovering = 1;
  frame->code = record->ExceptionCode;

  // Resume in KwGuardRecover on a stack below the guard's frames: the region
  // of the abandoned frames, untouched by whatever state the fault left (a
  // stack overflow included). Aligned as at a function's entry.
  uintptr_t sp = (reinterpret_cast<uintptr_t>(frame) - 2048) & ~static_cast<uintptr_t>(15);
#if defined(__x86_64__)
  sp -= 8;  // the return address slot
  context->Rsp = sp;
  context->Rcx = reinterpret_cast<DWORD64>(frame);
  context->Rip = reinterpret_cast<DWORD64>(&KwGuardRecover);
#else
  sp -= 4;
  context->Esp = static_cast<DWORD>(sp);
  context->Ecx = static_cast<DWORD>(reinterpret_cast<uintptr_t>(frame));
  context->Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&KwGuardRecover));
#endif
  // Language exceptions of other compilers are raised as noncontinuable; the
  // guard does not continue them where they were raised, so it may resume.
  record->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
  return ExceptionContinueExecution;
}

namespace {

// Runs fn under the frame handler. Kept out of line and free of C++ cleanups:
// its unwind data carries the handler, and a landing pad would need GCC's.
__attribute__((noinline, noclone)) DWORD GuardedInvoke(KwGuardFrame* frame, void (*fn)(void*),
                                                       void* context) {
#if defined(__x86_64__)
  __asm__ __volatile__(".seh_handler KwGuardFrameHandler, @except");
#else
  frame->registration.Next = frame->savedList;
  frame->registration.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(&KwGuardFrameHandler);
  SetExceptionList(&frame->registration);
#endif
  if (__builtin_setjmp(frame->jump) == 0) {
    fn(context);
#if defined(__i386__)
    SetExceptionList(frame->savedList);
#endif
    return 0;
  }
  // Back from KwGuardRecover.
  if (frame->code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();  // re-arm the stack's guard page
  return frame->code;
}

}  // namespace

unsigned KwStructuredCall(void (*fn)(void*), void* context) {
  GuardChain& chain = Chain();
  if (!chain.Usable()) {  // no TLS slot: C++ exceptions only
    try {
      fn(context);
      return 0;
    } catch (...) {
      return KW_CPP_EXCEPTION_CODE;
    }
  }
  KwGuardFrame frame;
  frame.outer = chain.Innermost();
  frame.code = 0;
  frame.recovering = 0;
#if defined(__i386__)
  frame.savedList = ExceptionList();
#endif
  chain.SetInnermost(&frame);
  unsigned code;
  try {
    code = GuardedInvoke(&frame, fn, context);
  } catch (...) {
#if defined(__i386__)
    SetExceptionList(frame.savedList);
#endif
    code = KW_CPP_EXCEPTION_CODE;
  }
  chain.SetInnermost(frame.outer);
  return code;
}
