// The fault guard around calls into outside libraries: what a fault ends, and what it leaves
// as it was (the library's own clean-up, the thread's frame chain, registers, the floating-point
// unit, the stack's guard page).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>

#include "TestSupport.h"
#include "win/FaultGuard.h"
#include "win/RunTimeError.h"

using namespace qx::win;
using qx::test::Utf8;

// Outside the unnamed namespace: the assembly below calls it by name.
extern "C" __attribute__((noinline, used)) void WriteThroughNull(volatile int* p) { *p = 42; }

namespace {

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

// Whatever way an inner guard ended, it is gone from the thread's handling once it returned:
// a later fault belongs to the outer guard.
TEST(FaultGuard, FaultAfterAnInnerGuardReturnedReachesTheOuterGuard) {
  const std::function<void()> inner[] = {
      [] {},
      [] { WriteThroughNull(nullptr); },
      [] { throw std::runtime_error("inner"); },
      [] { ::RaiseException(0xE0004321, 0, 0, nullptr); },
  };
  for (const auto& body : inner) {
    DWORD code = 0;
    bool innerReturned = false;
    EXPECT_FALSE(Guarded([&] {
      Guarded(body);
      innerReturned = true;
      WriteThroughNull(nullptr);
    }, &code));
    EXPECT_TRUE(innerReturned);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  }
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

// A library function that holds a resource under a frame handler of its own, as a compiler's
// __finally or destructor does, and faults while holding it. The handler gives the resource
// back when the thread's frames are unwound past it.
struct LibraryState {
  int unwinds = 0;
  int firstPass = 0;
  CRITICAL_SECTION lock;
};
LibraryState g_library;

extern "C" EXCEPTION_DISPOSITION LibraryHandler(EXCEPTION_RECORD* rec, void*, CONTEXT*, void*) {
  if (rec->ExceptionFlags & EXCEPTION_UNWINDING) {
    ++g_library.unwinds;
    ::LeaveCriticalSection(&g_library.lock);
  } else {
    ++g_library.firstPass;
  }
  return ExceptionContinueSearch;
}

#if defined(__i386__)

void* ReadChain() {
  void* p;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(p));
  return p;
}

struct Registration {
  void* next;
  void* handler;
};

__attribute__((noinline)) void LibraryFaultsHoldingTheLock() {
  Registration r{ReadChain(), reinterpret_cast<void*>(&LibraryHandler)};
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&r) : "memory");
  ::EnterCriticalSection(&g_library.lock);
  WriteThroughNull(nullptr);
  ::LeaveCriticalSection(&g_library.lock);
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(r.next) : "memory");
}

#elif defined(__x86_64__)

extern "C" void LibraryFaultsHoldingTheLockAsm(CRITICAL_SECTION* lock);
__asm__(
    "  .text\n"
    "  .globl LibraryFaultsHoldingTheLockAsm\n"
    "  .def LibraryFaultsHoldingTheLockAsm; .scl 2; .type 32; .endef\n"
    "  .seh_proc LibraryFaultsHoldingTheLockAsm\n"
    "LibraryFaultsHoldingTheLockAsm:\n"
    "  pushq %rbx\n"
    "  .seh_pushreg %rbx\n"
    "  subq $32, %rsp\n"
    "  .seh_stackalloc 32\n"
    "  .seh_endprologue\n"
    "  .seh_handler LibraryHandler, @except, @unwind\n"
    "  movq %rcx, %rbx\n"
    "  callq EnterCriticalSection\n"
    "  xorl %ecx, %ecx\n"
    "  callq WriteThroughNull\n"
    "  movq %rbx, %rcx\n"
    "  callq LeaveCriticalSection\n"
    "  nop\n"
    "  addq $32, %rsp\n"
    "  popq %rbx\n"
    "  retq\n"
    "  .seh_endproc\n");

void LibraryFaultsHoldingTheLock() { LibraryFaultsHoldingTheLockAsm(&g_library.lock); }

#endif

DWORD WINAPI TakeTheLibraryLock(void*) {
  ::EnterCriticalSection(&g_library.lock);
  ::LeaveCriticalSection(&g_library.lock);
  return 0;
}

TEST(FaultGuard, FaultRunsTheLibrarysOwnCleanUpOnce) {
  ::InitializeCriticalSection(&g_library.lock);
  DWORD code = 0;
  EXPECT_FALSE(Guarded([] { LibraryFaultsHoldingTheLock(); }, &code));
  EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(g_library.unwinds, 1);
  // Left held, the next caller from another thread would wait for ever.
  HANDLE other = ::CreateThread(nullptr, 0, &TakeTheLibraryLock, nullptr, 0, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(::WaitForSingleObject(other, 5000), WAIT_OBJECT_0);
  ::CloseHandle(other);
}

#if defined(__i386__)
TEST(FaultGuard, FrameChainIsAsBeforeOnEveryPath) {
  const std::function<void()> bodies[] = {
      [] {},
      [] { throw std::runtime_error("inside"); },
      [] { WriteThroughNull(nullptr); },
      [] { LibraryFaultsHoldingTheLock(); },
  };
  ::InitializeCriticalSection(&g_library.lock);
  for (const auto& body : bodies) {
    void* before = ReadChain();
    Guarded(body);
    EXPECT_EQ(ReadChain(), before);
  }
}
#endif

// Runs RunGuarded(fn, ctx) from an assembly probe that holds a sentinel in every callee-saved
// register; answers a bit for each register that did not keep its sentinel.
extern "C" unsigned ProbeSavedRegisters(void (*fn)(void*), void* ctx);
extern "C" void ProbeRunGuarded(void (*fn)(void*), void* ctx) { RunGuarded(fn, ctx); }

#if defined(__i386__)
__asm__(
    "  .text\n"
    "  .globl _ProbeSavedRegisters\n"
    "_ProbeSavedRegisters:\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl %ebp\n"
    "  movl 20(%esp), %eax\n"
    "  movl 24(%esp), %ecx\n"
    "  movl $0x11111111, %ebx\n"
    "  movl $0x22222222, %esi\n"
    "  movl $0x33333333, %edi\n"
    "  movl $0x44444444, %ebp\n"
    "  pushl %ecx\n"
    "  pushl %eax\n"
    "  call _ProbeRunGuarded\n"
    "  addl $8, %esp\n"
    "  xorl %eax, %eax\n"
    "  cmpl $0x11111111, %ebx\n"
    "  je 1f\n"
    "  orl $1, %eax\n"
    "1: cmpl $0x22222222, %esi\n"
    "  je 2f\n"
    "  orl $2, %eax\n"
    "2: cmpl $0x33333333, %edi\n"
    "  je 3f\n"
    "  orl $4, %eax\n"
    "3: cmpl $0x44444444, %ebp\n"
    "  je 4f\n"
    "  orl $8, %eax\n"
    "4: popl %ebp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  ret\n");

void ClobberSavedRegistersAndFault(void*) {
  __asm__ __volatile__("movl $-1, %%ebx\n movl $-1, %%esi\n movl $-1, %%edi" : : : "ebx", "esi", "edi");
  WriteThroughNull(nullptr);
}
#elif defined(__x86_64__)
// rbx rbp rsi rdi r12-r15 are bits 0-7, xmm6-xmm15 bits 8-17.
#define QX_GPRS(X) X(rbx, 0) X(rbp, 1) X(rsi, 2) X(rdi, 3) X(r12, 4) X(r13, 5) X(r14, 6) X(r15, 7)
#define QX_XMMS(X) X(6) X(7) X(8) X(9) X(10) X(11) X(12) X(13) X(14) X(15)
#define QX_STR(x) #x
#define QX_SAVE_XMM(n) "  movdqu %xmm" QX_STR(n) ", " QX_STR(16 * (n - 6) + 32) "(%rsp)\n  .seh_savexmm %xmm" QX_STR(n) ", " QX_STR(16 * (n - 6) + 32) "\n"
#define QX_LOAD_XMM(n) "  movq $0x" QX_STR(n) "0" QX_STR(n) "0, %rax\n  movq %rax, %xmm" QX_STR(n) "\n"
#define QX_CHECK_XMM(n) "  movq %xmm" QX_STR(n) ", %rax\n  cmpq $0x" QX_STR(n) "0" QX_STR(n) "0, %rax\n  je 1f\n  orl $(1 << (" QX_STR(n) " + 2)), %r11d\n1:\n"
#define QX_RESTORE_XMM(n) "  movdqu " QX_STR(16 * (n - 6) + 32) "(%rsp), %xmm" QX_STR(n) "\n"
#define QX_PUSH(r, b) "  pushq %" #r "\n  .seh_pushreg %" #r "\n"
#define QX_LOAD(r, b) "  movq $0x" #b "a" #b "b" #b "c, %" #r "\n"
#define QX_CHECK(r, b) "  cmpq $0x" #b "a" #b "b" #b "c, %" #r "\n  je 1f\n  orl $(1 << " #b "), %r11d\n1:\n"
__asm__(
    "  .text\n"
    "  .globl ProbeSavedRegisters\n"
    "  .def ProbeSavedRegisters; .scl 2; .type 32; .endef\n"
    "  .seh_proc ProbeSavedRegisters\n"
    "ProbeSavedRegisters:\n"
    QX_GPRS(QX_PUSH)
    "  subq $200, %rsp\n"
    "  .seh_stackalloc 200\n"
    QX_XMMS(QX_SAVE_XMM)
    "  .seh_endprologue\n"
    QX_XMMS(QX_LOAD_XMM)
    QX_GPRS(QX_LOAD)
    "  callq ProbeRunGuarded\n"
    "  xorl %r11d, %r11d\n"
    QX_GPRS(QX_CHECK)
    QX_XMMS(QX_CHECK_XMM)
    "  movl %r11d, %eax\n"
    QX_XMMS(QX_RESTORE_XMM)
    "  addq $200, %rsp\n"
    "  popq %r15\n"
    "  popq %r14\n"
    "  popq %r13\n"
    "  popq %r12\n"
    "  popq %rdi\n"
    "  popq %rsi\n"
    "  popq %rbp\n"
    "  popq %rbx\n"
    "  retq\n"
    "  .seh_endproc\n");

void ClobberSavedRegistersAndFault(void*) {
  __asm__ __volatile__(
      "movq $-1, %%rbx\n movq $-1, %%rsi\n movq $-1, %%rdi\n movq $-1, %%r12\n movq $-1, %%r13\n"
      "movq $-1, %%r14\n movq $-1, %%r15\n pcmpeqd %%xmm6, %%xmm6\n pcmpeqd %%xmm7, %%xmm7\n"
      "pcmpeqd %%xmm8, %%xmm8\n pcmpeqd %%xmm9, %%xmm9\n pcmpeqd %%xmm10, %%xmm10\n pcmpeqd %%xmm11, %%xmm11\n"
      "pcmpeqd %%xmm12, %%xmm12\n pcmpeqd %%xmm13, %%xmm13\n pcmpeqd %%xmm14, %%xmm14\n pcmpeqd %%xmm15, %%xmm15"
      : : : "rbx", "rsi", "rdi", "r12", "r13", "r14", "r15", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11",
        "xmm12", "xmm13", "xmm14", "xmm15");
  WriteThroughNull(nullptr);
}
#endif

TEST(FaultGuard, CalleeSavedRegistersHoldAcrossAFault) {
  EXPECT_EQ(ProbeSavedRegisters([](void*) {}, nullptr), 0u);
  EXPECT_EQ(ProbeSavedRegisters(&ClobberSavedRegistersAndFault, nullptr), 0u);
}

struct FpState {
  std::uint16_t control;
  std::uint16_t tags;
  std::uint32_t mxcsr;
};

FpState ReadFp() {
  std::uint16_t env[14] = {};  // the 28-byte environment: control, status, tags, ...
  std::uint32_t mxcsr = 0;
  __asm__ __volatile__("fnstenv %0\n fldenv %0" : "+m"(env));
  __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr));
  return {env[0], env[4], mxcsr};
}

// A library that leaves the x87 stack full and both control words changed, then faults.
void LeaveTheFpuDirtyAndFault(void*) {
  const std::uint16_t chop = 0x0C7F;   // round toward zero, single precision
  const std::uint32_t mxChop = 0x7F80; // round toward zero, all exceptions masked
  __asm__ __volatile__("fldcw %0\n ldmxcsr %1\n fld1\n fld1\n fld1\n fld1\n fld1\n fld1\n fld1\n fld1"
                       : : "m"(chop), "m"(mxChop));
  WriteThroughNull(nullptr);
}

TEST(FaultGuard, FaultLeavesTheFloatingPointUnitAsBefore) {
  const FpState before = ReadFp();
  ASSERT_EQ(before.tags, 0xFFFF) << "the x87 stack is empty between calls";
  EXPECT_FALSE(Guarded([] { LeaveTheFpuDirtyAndFault(nullptr); }));
  const FpState after = ReadFp();
  EXPECT_EQ(after.tags, 0xFFFF);
  EXPECT_EQ(after.control, before.control);
  EXPECT_EQ(after.mxcsr & 0xFFC0u, before.mxcsr & 0xFFC0u);  // modes and masks, not the sticky flags
  volatile double third = 1.0;
  third = third / 3.0;
  EXPECT_EQ(third * 3.0, 1.0);
  EXPECT_EQ(static_cast<int>(2.5 + third), 2);
}

// Deeper than any stack; the frame's buffer keeps the compiler from turning it into a loop.
volatile int g_depthLimit = 1 << 30;
__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return depth < g_depthLimit ? Recurse(depth + 1) + frame[0] : 0;
}

// On a thread of its own with a small stack: bit n set when round n was not caught as a stack
// overflow, bit 3 when the thread had no room left afterwards.
DWORD WINAPI OverflowThreeTimes(void*) {
  DWORD bad = 0;
  for (int round = 0; round < 3; ++round) {
    DWORD code = 0;
    if (Guarded([] { Recurse(0); }, &code) || code != EXCEPTION_STACK_OVERFLOW) bad |= 1u << round;
  }
  if (!Guarded([] {
        volatile char room[64 * 1024];
        room[0] = 1;
        room[sizeof room - 1] = room[0];
      }))
    bad |= 8;
  return bad;
}

TEST(FaultGuard, EachStackOverflowIsCaught) {
  HANDLE t = ::CreateThread(nullptr, 256 * 1024, &OverflowThreeTimes, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(::WaitForSingleObject(t, 60000), WAIT_OBJECT_0);
  DWORD bad = 99;
  ::GetExitCodeThread(t, &bad);
  ::CloseHandle(t);
  EXPECT_EQ(bad, 0u);
}

}  // namespace
