// The fault guard around calls into outside libraries: what it stops, what it unwinds, and
// the thread it leaves behind (exception frames, registers, floating-point unit, stack).
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>

#include "TestSupport.h"
#include "win/FaultGuard.h"
#include "win/RunTimeError.h"

using namespace qx::win;
using qx::test::Utf8;

// The stand-in reader library (fault_library.cpp).
extern "C" {
__declspec(dllimport) void FaultLib_FaultInsideFrame();
__declspec(dllimport) void FaultLib_OverflowInsideFrame(LONG cleanupBytes);
__declspec(dllimport) void FaultLib_Seen(LONG* dispatchCalls, LONG* unwindCalls);
__declspec(dllimport) int FaultLib_LockIsFree();
}

// Assembly probes, below: the compiler cannot be made to hold chosen values in callee-saved
// registers, nor to leave the x87 registers in use.
extern "C" {
// qx_test_probe(p): loads p->in into the callee-saved registers, calls
// p->run(p->fn, p->ctx, p->code), and stores what those registers hold afterwards in p->out.
struct RegisterProbe;
void qx_test_probe(RegisterProbe* p);
// Puts other values in the callee-saved registers (saved first, as any function does) and
// writes through a null pointer.
void qx_test_clobber_and_fault(void*);
// Switches the x87 unit to single precision with truncation, SSE to truncation with flush to
// zero, leaves all eight x87 registers in use and writes through a null pointer.
void qx_test_fpu_fault(void*);
}

#if defined(__i386__)
constexpr int kProbeRegs = 4;  // ebx, esi, edi, ebp
#else
constexpr int kProbeRegs = 8;   // rbx, rbp, rsi, rdi, r12-r15
constexpr int kProbeXmm = 10;  // xmm6-xmm15
#endif

struct RegisterProbe {
  bool (*run)(void (*)(void*), void*, DWORD*);
  void (*fn)(void*);
  void* ctx;
  DWORD* code;
  uintptr_t in[kProbeRegs];
  uintptr_t out[kProbeRegs];
#if defined(__x86_64__)
  uint64_t xin[kProbeXmm][2];
  uint64_t xout[kProbeXmm][2];
#endif
};

#if defined(__i386__)
static_assert(offsetof(RegisterProbe, in) == 16 && offsetof(RegisterProbe, out) == 32);

__asm__(
    "  .text\n"
    "  .globl _qx_test_probe\n"
    "  .def _qx_test_probe; .scl 2; .type 32; .endef\n"
    "_qx_test_probe:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 20(%esp), %eax\n"
    "  pushl %eax\n"
    "  pushl 12(%eax)\n"
    "  pushl 8(%eax)\n"
    "  pushl 4(%eax)\n"
    "  movl 16(%eax), %ebx\n"
    "  movl 20(%eax), %esi\n"
    "  movl 24(%eax), %edi\n"
    "  movl 28(%eax), %ebp\n"
    "  calll *(%eax)\n"
    "  addl $12, %esp\n"
    "  popl %eax\n"
    "  movl %ebx, 32(%eax)\n"
    "  movl %esi, 36(%eax)\n"
    "  movl %edi, 40(%eax)\n"
    "  movl %ebp, 44(%eax)\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  retl\n"
    "\n"
    "  .globl _qx_test_clobber_and_fault\n"
    "  .def _qx_test_clobber_and_fault; .scl 2; .type 32; .endef\n"
    "_qx_test_clobber_and_fault:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  xorl %ebx, %ebx\n"
    "  xorl %esi, %esi\n"
    "  xorl %edi, %edi\n"
    "  xorl %ebp, %ebp\n"
    "  xorl %eax, %eax\n"
    "  movl %eax, (%eax)\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  retl\n"
    "\n"
    "  .globl _qx_test_fpu_fault\n"
    "  .def _qx_test_fpu_fault; .scl 2; .type 32; .endef\n"
    "_qx_test_fpu_fault:\n"
    "  fldcw qx_test_odd_x87\n"
    "  ldmxcsr qx_test_odd_sse\n"
    "  .rept 8\n"
    "  fld1\n"
    "  .endr\n"
    "  xorl %eax, %eax\n"
    "  movl %eax, (%eax)\n"
    "  retl\n"
    "  .section .rdata,\"dr\"\n"
    "  .balign 4\n"
    "qx_test_odd_x87: .word 0x0c7f\n"
    "  .balign 4\n"
    "qx_test_odd_sse: .long 0xff80\n"
    "  .text\n");

#elif defined(__x86_64__)
static_assert(offsetof(RegisterProbe, in) == 32 && offsetof(RegisterProbe, out) == 96 &&
              offsetof(RegisterProbe, xin) == 160 && offsetof(RegisterProbe, xout) == 320);

__asm__(
    "  .text\n"
    "  .globl qx_test_probe\n"
    "  .def qx_test_probe; .scl 2; .type 32; .endef\n"
    "  .seh_proc qx_test_probe\n"
    "qx_test_probe:\n"
    "  pushq %rbp\n  .seh_pushreg %rbp\n"
    "  pushq %rbx\n  .seh_pushreg %rbx\n"
    "  pushq %rsi\n  .seh_pushreg %rsi\n"
    "  pushq %rdi\n  .seh_pushreg %rdi\n"
    "  pushq %r12\n  .seh_pushreg %r12\n"
    "  pushq %r13\n  .seh_pushreg %r13\n"
    "  pushq %r14\n  .seh_pushreg %r14\n"
    "  pushq %r15\n  .seh_pushreg %r15\n"
    "  subq $200, %rsp\n  .seh_stackalloc 200\n"
    "  .irp n, 6,7,8,9,10,11,12,13,14,15\n"
    "  movdqa %xmm\\n, 32+16*(\\n-6)(%rsp)\n  .seh_savexmm %xmm\\n, 32+16*(\\n-6)\n"
    "  .endr\n"
    "  .seh_endprologue\n"
    "  movq %rcx, 192(%rsp)\n"
    "  movq %rcx, %rax\n"
    "  movq 8(%rax), %rcx\n"
    "  movq 16(%rax), %rdx\n"
    "  movq 24(%rax), %r8\n"
    "  movq 0(%rax), %r10\n"
    "  movq 32(%rax), %rbx\n"
    "  movq 40(%rax), %rbp\n"
    "  movq 48(%rax), %rsi\n"
    "  movq 56(%rax), %rdi\n"
    "  movq 64(%rax), %r12\n"
    "  movq 72(%rax), %r13\n"
    "  movq 80(%rax), %r14\n"
    "  movq 88(%rax), %r15\n"
    "  .irp n, 6,7,8,9,10,11,12,13,14,15\n"
    "  movdqu 160+16*(\\n-6)(%rax), %xmm\\n\n"
    "  .endr\n"
    "  callq *%r10\n"
    "  movq 192(%rsp), %rax\n"
    "  movq %rbx, 96(%rax)\n"
    "  movq %rbp, 104(%rax)\n"
    "  movq %rsi, 112(%rax)\n"
    "  movq %rdi, 120(%rax)\n"
    "  movq %r12, 128(%rax)\n"
    "  movq %r13, 136(%rax)\n"
    "  movq %r14, 144(%rax)\n"
    "  movq %r15, 152(%rax)\n"
    "  .irp n, 6,7,8,9,10,11,12,13,14,15\n"
    "  movdqu %xmm\\n, 320+16*(\\n-6)(%rax)\n"
    "  movdqa 32+16*(\\n-6)(%rsp), %xmm\\n\n"
    "  .endr\n"
    "  addq $200, %rsp\n"
    "  popq %r15\n"
    "  popq %r14\n"
    "  popq %r13\n"
    "  popq %r12\n"
    "  popq %rdi\n"
    "  popq %rsi\n"
    "  popq %rbx\n"
    "  popq %rbp\n"
    "  retq\n"
    "  .seh_endproc\n"
    "\n"
    "  .globl qx_test_clobber_and_fault\n"
    "  .def qx_test_clobber_and_fault; .scl 2; .type 32; .endef\n"
    "  .seh_proc qx_test_clobber_and_fault\n"
    "qx_test_clobber_and_fault:\n"
    "  pushq %rbp\n  .seh_pushreg %rbp\n"
    "  pushq %rbx\n  .seh_pushreg %rbx\n"
    "  pushq %rsi\n  .seh_pushreg %rsi\n"
    "  pushq %rdi\n  .seh_pushreg %rdi\n"
    "  pushq %r12\n  .seh_pushreg %r12\n"
    "  pushq %r13\n  .seh_pushreg %r13\n"
    "  pushq %r14\n  .seh_pushreg %r14\n"
    "  pushq %r15\n  .seh_pushreg %r15\n"
    "  subq $168, %rsp\n  .seh_stackalloc 168\n"
    "  .irp n, 6,7,8,9,10,11,12,13,14,15\n"
    "  movdqa %xmm\\n, 16*(\\n-6)(%rsp)\n  .seh_savexmm %xmm\\n, 16*(\\n-6)\n"
    "  .endr\n"
    "  .seh_endprologue\n"
    "  .irp r, rbx,rbp,rsi,rdi,r12,r13,r14,r15\n"
    "  xorq %\\r, %\\r\n"
    "  .endr\n"
    "  .irp n, 6,7,8,9,10,11,12,13,14,15\n"
    "  pxor %xmm\\n, %xmm\\n\n"
    "  .endr\n"
    "  xorl %eax, %eax\n"
    "  movl %eax, (%rax)\n"
    "  .irp n, 6,7,8,9,10,11,12,13,14,15\n"
    "  movdqa 16*(\\n-6)(%rsp), %xmm\\n\n"
    "  .endr\n"
    "  addq $168, %rsp\n"
    "  popq %r15\n"
    "  popq %r14\n"
    "  popq %r13\n"
    "  popq %r12\n"
    "  popq %rdi\n"
    "  popq %rsi\n"
    "  popq %rbx\n"
    "  popq %rbp\n"
    "  retq\n"
    "  .seh_endproc\n"
    "\n"
    "  .globl qx_test_fpu_fault\n"
    "  .def qx_test_fpu_fault; .scl 2; .type 32; .endef\n"
    "  .seh_proc qx_test_fpu_fault\n"
    "qx_test_fpu_fault:\n"
    "  .seh_endprologue\n"
    "  fldcw qx_test_odd_x87(%rip)\n"
    "  ldmxcsr qx_test_odd_sse(%rip)\n"
    "  .rept 8\n"
    "  fld1\n"
    "  .endr\n"
    "  xorl %eax, %eax\n"
    "  movl %eax, (%rax)\n"
    "  retq\n"
    "  .seh_endproc\n"
    "  .section .rdata,\"dr\"\n"
    "  .balign 4\n"
    "qx_test_odd_x87: .word 0x0c7f\n"
    "  .balign 4\n"
    "qx_test_odd_sse: .long 0xff80\n"
    "  .text\n");
#endif

namespace {

__attribute__((noinline)) void WriteThroughNull(volatile int* p) { *p = 42; }

DWORD WINAPI TryLibraryLock(void*) { return static_cast<DWORD>(FaultLib_LockIsFree()); }

// True when the library's lock can be taken by another thread.
bool LibraryLockIsFree() {
  HANDLE t = ::CreateThread(nullptr, 0, &TryLibraryLock, nullptr, 0, nullptr);
  if (!t) return false;
  ::WaitForSingleObject(t, INFINITE);
  DWORD free = 0;
  ::GetExitCodeThread(t, &free);
  ::CloseHandle(t);
  return free == 1;
}

#if defined(__i386__)
void* FrameChain() {
  void* p;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(p));
  return p;
}
#endif

uint16_t X87Control() {
  uint16_t cw;
  __asm__ __volatile__("fnstcw %0" : "=m"(cw));
  return cw;
}

uint32_t SseControl() {
  uint32_t csr;
  __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
  return csr;
}

// Loads 1 onto the x87 stack and stores it back: NaN when the stack is full.
double X87One() {
  double one;
  __asm__ __volatile__("fld1\n\tfstpl %0" : "=m"(one));
  return one;
}

// Calls itself depth times, each call holding half a kilobyte of stack.
__attribute__((noinline)) int Deep(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth == 0) return frame[0];
  return Deep(depth - 1) + frame[0];
}

TEST(FaultGuard, ReturnsNormallyCompletedCalls) {
  int calls = 0;
  EXPECT_TRUE(Guarded([&] { ++calls; }));
  EXPECT_EQ(calls, 1);
}

TEST(FaultGuard, StopsAnAccessViolationAndKeepsWorking) {
  for (int round = 0; round < 3; ++round) {
    DWORD code = 0;
    bool after = false;
    EXPECT_FALSE(Guarded([&] {
      WriteThroughNull(nullptr);
      after = true;
    }, &code));
    EXPECT_FALSE(after);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  }
  // The thread's exception handling still works after the guards.
  EXPECT_THROW(throw std::runtime_error("x"), std::runtime_error);
}

TEST(FaultGuard, StopsRaisedExceptionsAndCppExceptions) {
  DWORD code = 1;
  EXPECT_FALSE(Guarded([] { ::RaiseException(0xE0001234, 0, 0, nullptr); }, &code));
  EXPECT_EQ(code, 0xE0001234u);
  EXPECT_FALSE(Guarded([] { throw std::runtime_error("inside"); }, &code));
  EXPECT_EQ(code, 0u);
  // An exception whose code is 0 still ended the call.
  code = 1;
  EXPECT_FALSE(Guarded([] { ::RaiseException(0, 0, 0, nullptr); }, &code));
  EXPECT_EQ(code, 0u);
}

TEST(FaultGuard, NestedGuardsUnwindToTheInnerOne) {
  bool innerFailed = false, outerRest = false;
  EXPECT_TRUE(Guarded([&] {
    innerFailed = !Guarded([] { WriteThroughNull(nullptr); });
    outerRest = true;
  }));
  EXPECT_TRUE(innerFailed);
  EXPECT_TRUE(outerRest);
}

TEST(FaultGuard, CallGuardedRaisesAnErrorNamingTheFaultAndTheLibrary) {
  struct Case {
    std::function<void()> call;
    std::wstring text;
  };
  const Case cases[] = {
      {[] { WriteThroughNull(nullptr); }, L"a.dll 中发生访问冲突（0xC0000005）"},
      {[] { ::RaiseException(EXCEPTION_INT_DIVIDE_BY_ZERO, 0, 0, nullptr); }, L"a.dll 中发生整数被零除（0xC0000094）"},
      {[] { ::RaiseException(0xE0001234, 0, 0, nullptr); }, L"a.dll 中发生外部异常（0xE0001234）"},
      {[] { throw std::runtime_error("inside"); }, L"a.dll 中发生异常"},
  };
  for (const Case& c : cases) {
    try {
      CallGuarded(L"a.dll", c.call);
      ADD_FAILURE() << Utf8(c.text);
    } catch (const RunTimeError& e) {
      EXPECT_EQ(e.text(), c.text) << Utf8(e.text());
    }
  }
  int calls = 0;
  EXPECT_NO_THROW(CallGuarded(L"a.dll", [&] { ++calls; }));
  EXPECT_EQ(calls, 1);
}

TEST(FaultGuard, RunsTheLibrarysOwnCleanUpOfAFault) {
  // The library's frame handler, as its __try/__finally or its compiler's cleanup tables
  // register one, is called once to look at the fault and once to unwind.
  DWORD code = 0;
  EXPECT_FALSE(Guarded([] { FaultLib_FaultInsideFrame(); }, &code));
  EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  LONG dispatches = -1, unwinds = -1;
  FaultLib_Seen(&dispatches, &unwinds);
  EXPECT_EQ(dispatches, 1);
  EXPECT_EQ(unwinds, 1);
  // The library released its lock: its next call, from whichever thread, gets it.
  EXPECT_TRUE(LibraryLockIsFree());
}

#if defined(__i386__)
TEST(FaultGuard, LeavesTheThreadsFrameChainAsItFoundIt) {
  struct Case {
    const char* name;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"return", [] {}},
      {"C++ exception", [] { throw std::runtime_error("inside"); }},
      {"raised exception", [] { ::RaiseException(0xE0001234, 0, 0, nullptr); }},
      {"fault", [] { WriteThroughNull(nullptr); }},
      {"fault inside a library frame", [] { FaultLib_FaultInsideFrame(); }},
      {"fault inside an inner guard", [] { Guarded([] { WriteThroughNull(nullptr); }); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    void* before = FrameChain();
    void* inside = nullptr;
    Guarded([&] {
      inside = FrameChain();
      c.call();
    });
    EXPECT_NE(inside, before);  // the guard's own frame
    EXPECT_EQ(FrameChain(), before);
  }
}
#endif

TEST(FaultGuard, AFaultAfterAnInnerGuardReturnedReachesTheOuterGuard) {
  struct Case {
    const char* name;
    std::function<void()> inner;
  };
  const Case cases[] = {
      {"inner call returned", [] {}},
      {"inner call faulted", [] { WriteThroughNull(nullptr); }},
      {"inner call threw", [] { throw std::runtime_error("inside"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DWORD code = 0;
    bool innerReturned = false;
    bool outerRest = false;
    EXPECT_FALSE(Guarded([&] {
      Guarded(c.inner);
      innerReturned = true;
      WriteThroughNull(nullptr);
      outerRest = true;
    }, &code));
    EXPECT_TRUE(innerReturned);
    EXPECT_FALSE(outerRest);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  }
  // The process goes on, and so does its guarding.
  DWORD code = 0;
  EXPECT_FALSE(Guarded([] { ::RaiseException(0xE0004321, 0, 0, nullptr); }, &code));
  EXPECT_EQ(code, 0xE0004321u);
}

TEST(FaultGuard, KeepsCalleeSavedRegistersAcrossAFault) {
  RegisterProbe p{};
  DWORD code = 0;
  p.run = &RunGuarded;
  p.fn = &qx_test_clobber_and_fault;
  p.code = &code;
  for (int i = 0; i < kProbeRegs; ++i)
    p.in[i] = static_cast<uintptr_t>(0x1F2E3D4C5B6A7988ull * (i + 1));
#if defined(__x86_64__)
  for (int i = 0; i < kProbeXmm; ++i) {
    p.xin[i][0] = 0x0123456789ABCDEFull * (i + 3);
    p.xin[i][1] = 0xFEDCBA9876543210ull * (i + 5);
  }
#endif
  qx_test_probe(&p);
  EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  for (int i = 0; i < kProbeRegs; ++i) EXPECT_EQ(p.out[i], p.in[i]) << "register " << i;
#if defined(__x86_64__)
  for (int i = 0; i < kProbeXmm; ++i) {
    EXPECT_EQ(p.xout[i][0], p.xin[i][0]) << "xmm" << i + 6;
    EXPECT_EQ(p.xout[i][1], p.xin[i][1]) << "xmm" << i + 6;
  }
#endif
}

TEST(FaultGuard, GivesTheFloatingPointUnitBackAsItWasAfterAFault) {
  const uint16_t x87 = X87Control();
  const uint32_t sse = SseControl();
  DWORD code = 0;
  EXPECT_FALSE(RunGuarded(&qx_test_fpu_fault, nullptr, &code));
  EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(X87Control(), x87);
  EXPECT_EQ(SseControl(), sse);
  EXPECT_EQ(X87One(), 1.0);  // the x87 registers are free again
  // Rounding to nearest makes 1/3*3 exactly 1; truncation, a full x87 stack or single
  // precision do not.
  volatile double three = 3.0;
  const double third = 1.0 / three;
  EXPECT_EQ(third * three, 1.0);
}

struct ThreadCall {
  void (*body)(void*);
  void* arg;
};

constexpr DWORD kRanToItsEnd = 0x600D;

DWORD WINAPI RunThreadCall(void* p) {
  auto* c = static_cast<ThreadCall*>(p);
  c->body(c->arg);
  return kRanToItsEnd;
}

// Runs body(arg) on a thread of its own with a small stack, so that overflows stay quick and
// leave this thread's stack alone; true when the thread ran to its end.
bool RunOnSmallStack(void (*body)(void*), void* arg) {
  ThreadCall call{body, arg};
  HANDLE t = ::CreateThread(nullptr, 256 * 1024, &RunThreadCall, &call,
                            STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!t) return false;
  const bool ended = ::WaitForSingleObject(t, 60000) == WAIT_OBJECT_0;
  DWORD exitCode = 0;
  ::GetExitCodeThread(t, &exitCode);
  ::CloseHandle(t);
  return ended && exitCode == kRanToItsEnd;
}

TEST(FaultGuard, StopsAStackOverflowAgainAfterTheFirst) {
  struct Run {
    DWORD codes[2] = {0, 0};
    bool stopped[2] = {false, false};
    bool deepCallReturned = false;
    DWORD lastFault = 0;
  } run;
  const bool ranToItsEnd = RunOnSmallStack(
      [](void* p) {
        auto& r = *static_cast<Run*>(p);
        for (int i = 0; i < 2; ++i) r.stopped[i] = !Guarded([] { Deep(INT_MAX); }, &r.codes[i]);
        // The thread goes on: calls that fit in its stack return, and a fault is stopped.
        r.deepCallReturned = Guarded([] { Deep(64); });
        Guarded([] { WriteThroughNull(nullptr); }, &r.lastFault);
      },
      &run);
  EXPECT_TRUE(ranToItsEnd);
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(run.stopped[i]) << "overflow " << i + 1;
    EXPECT_EQ(run.codes[i], static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW)) << "overflow " << i + 1;
  }
  EXPECT_TRUE(run.deepCallReturned);
  EXPECT_EQ(run.lastFault, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

TEST(FaultGuard, LeavesALibrarysCleanUpRoomAfterAStackOverflow) {
  // The library's unwinding handler runs on what is left of the overflowed stack, and takes
  // some of it, as a clean-up that calls further functions does.
  struct Run {
    DWORD code = 0;
    LONG dispatches = -1, unwinds = -1;
  } run;
  const bool ranToItsEnd = RunOnSmallStack(
      [](void* p) {
        auto& r = *static_cast<Run*>(p);
        Guarded([] { FaultLib_OverflowInsideFrame(12 * 1024); }, &r.code);
        FaultLib_Seen(&r.dispatches, &r.unwinds);
      },
      &run);
  EXPECT_TRUE(ranToItsEnd);
  EXPECT_EQ(run.code, static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW));
  EXPECT_EQ(run.dispatches, 1);
  EXPECT_EQ(run.unwinds, 1);
  EXPECT_TRUE(LibraryLockIsFree());
}

}  // namespace
