// Fault guard: mingw's g++ has no __try, so each architecture gets a guard of its own.
//  - x86: an exception frame registered on the thread's frame chain (fs:[0]). On a fault its
//    handler unwinds the frames registered since (RtlUnwind: each one's handler runs its
//    clean-up, as for the platform's own __except), then jumps back to the guard, which drops
//    its frame: the chain is what it was before the guard.
//  - x64: exception handling is table-based, so the call goes through a small assembly
//    trampoline whose unwind data names a handler; on a fault the handler unwinds to the
//    trampoline's landing point, running the cleanups of the frames in between.
// After a fault, both put back the floating-point state the call began with and re-arm the
// stack's guard page when the fault was a stack overflow.
#include "win/FaultGuard.h"

#include <malloc.h>

#include <cstdint>

namespace qx::win {

namespace {

enum class Ended { Returned, Threw, Faulted };

// The x87 control word and the SSE control/status register. A library that faults may leave
// x87 registers in use (the 32-bit build's own arithmetic runs on x87) or either control word
// changed.
struct FpuState {
  std::uint16_t control = 0;
  std::uint32_t mxcsr = 0;
};

bool HasSse() {
#if defined(__x86_64__)
  return true;
#else
  static const bool sse = ::IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0;
  return sse;
#endif
}

FpuState SaveFpu() {
  FpuState s;
  __asm__ __volatile__("fnstcw %0" : "=m"(s.control));
  if (HasSse()) __asm__ __volatile__("stmxcsr %0" : "=m"(s.mxcsr));
  return s;
}

void RestoreFpu(const FpuState& s) {
  __asm__ __volatile__("fninit\n\tfldcw %0" : : "m"(s.control));
  if (HasSse()) __asm__ __volatile__("ldmxcsr %0" : : "m"(s.mxcsr));
}

Ended CallUnderGuard(void (*fn)(void*), void* ctx, DWORD* code);

}  // namespace

bool RunGuarded(void (*fn)(void*), void* ctx, DWORD* faultCode) {
  const FpuState fpu = SaveFpu();
  DWORD code = 0;
  const Ended ended = CallUnderGuard(fn, ctx, &code);
  if (ended == Ended::Faulted) {
    RestoreFpu(fpu);
    // The overflow used up the guard page; without a new one the next overflow ends the process.
    if (code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
  }
  if (faultCode && ended != Ended::Returned) *faultCode = ended == Ended::Faulted ? code : 0;
  return ended == Ended::Returned;
}

#if defined(__i386__)

namespace {

struct GuardFrame {
  // Must come first: the dispatcher passes this address to the handler.
  void* next;
  void* handler;
  void* jump[5];
  DWORD code;
};

void* ReadChain() {
  void* p;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(p));
  return p;
}

void WriteChain(void* p) { __asm__ __volatile__("movl %0, %%fs:0" : : "r"(p) : "memory"); }

}  // namespace

// qx_unwind_to(frame, rec): RtlUnwind(frame, <here>, rec, 0), with ebx, esi, edi and ebp kept:
// on x86 RtlUnwind does not promise them (the platform's own unwind helper saves them too).
extern "C" void __attribute__((stdcall)) qx_unwind_to(void* frame, EXCEPTION_RECORD* rec);
__asm__(
    "  .text\n"
    "  .globl _qx_unwind_to@8\n"
    "_qx_unwind_to@8:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 20(%esp), %eax\n"
    "  movl 24(%esp), %ecx\n"
    "  pushl $0\n"
    "  pushl %ecx\n"
    "  pushl $1f\n"
    "  pushl %eax\n"
    "  call _RtlUnwind@16\n"
    "1:\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret $8\n");

namespace {

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* rec, void* frame,
                                                      CONTEXT*, void*) {
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  auto* g = static_cast<GuardFrame*>(frame);
  g->code = rec->ExceptionCode;
  // Runs the handlers of the frames above the guard's for the unwind (the library's own
  // clean-up, and the dispatcher's frame) and leaves the guard's frame on top of the chain.
  qx_unwind_to(g, rec);
  WriteChain(g->next);
  __builtin_longjmp(g->jump, 1);
}

// The jump back restores only the frame and stack pointers: __builtin_setjmp makes this
// function save every callee-saved register itself, so its caller's come back on return.
__attribute__((noinline)) Ended CallUnderGuard(void (*fn)(void*), void* ctx, DWORD* code) {
  volatile GuardFrame g{};
  g.next = ReadChain();
  g.handler = reinterpret_cast<void*>(&GuardHandler);
  g.code = 0;
  if (__builtin_setjmp(const_cast<void**>(g.jump)) == 0) {
    WriteChain(const_cast<GuardFrame*>(&g));
    Ended ended = Ended::Returned;
    try {
      fn(ctx);
    } catch (...) {
      ended = Ended::Threw;
    }
    WriteChain(g.next);
    return ended;
  }
  // Back from the handler: the chain is already restored.
  *code = g.code;
  return Ended::Faulted;
}

}  // namespace

#elif defined(__x86_64__)

// qx_guard_call(fn, ctx): calls fn(ctx); returns 0 when it returned, else the code of the
// exception that ended it (codes are never 0). The handler resumes at qx_guard_landed with
// the code in rax; the unwinder restores rsp and the saved registers of this frame.
extern "C" uint64_t qx_guard_call(void (*fn)(void*), void* ctx);
extern "C" char qx_guard_landed[];

__asm__(
    "  .text\n"
    "  .globl qx_guard_call\n"
    "  .globl qx_guard_landed\n"
    "  .def qx_guard_call; .scl 2; .type 32; .endef\n"
    "  .seh_proc qx_guard_call\n"
    "qx_guard_call:\n"
    "  pushq %rbp\n"
    "  .seh_pushreg %rbp\n"
    "  subq $48, %rsp\n"
    "  .seh_stackalloc 48\n"
    "  .seh_endprologue\n"
    "  .seh_handler qx_guard_handler, @except\n"
    "  movq %rcx, %rax\n"
    "  movq %rdx, %rcx\n"
    "  callq *%rax\n"
    "  xorl %eax, %eax\n"
    "qx_guard_landed:\n"
    "  nop\n"
    "  addq $48, %rsp\n"
    "  popq %rbp\n"
    "  retq\n"
    "  .seh_endproc\n");

namespace {

// libgcc raises C++ exceptions as SEH exceptions with codes 0x2?474343 ("GCC"): those
// belong to the C++ handlers outside the trampoline.
bool IsCppException(DWORD code) { return (code & 0x00FFFFFFu) == 0x474343u && (code >> 28) == 2; }

}  // namespace

extern "C" EXCEPTION_DISPOSITION qx_guard_handler(EXCEPTION_RECORD* rec, void* frame, CONTEXT*,
                                                  DISPATCHER_CONTEXT* dc) {
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  if (IsCppException(rec->ExceptionCode)) return ExceptionContinueSearch;
  RtlUnwindEx(frame, qx_guard_landed, rec, reinterpret_cast<void*>(uintptr_t{rec->ExceptionCode}),
              dc->ContextRecord, dc->HistoryTable);
  return ExceptionContinueSearch;  // not reached
}

namespace {

Ended CallUnderGuard(void (*fn)(void*), void* ctx, DWORD* code) {
  uint64_t c = 0;
  try {
    c = qx_guard_call(fn, ctx);
  } catch (...) {
    return Ended::Threw;
  }
  *code = static_cast<DWORD>(c);
  return c == 0 ? Ended::Returned : Ended::Faulted;
}

}  // namespace

#else
#error "fault guard: unsupported architecture"
#endif

}  // namespace qx::win
