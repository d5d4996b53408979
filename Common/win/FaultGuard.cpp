// Fault guard: mingw's g++ has no __try, so each architecture gets a guard of its own.
//  - x86: an exception frame registered on the thread's frame chain (fs:[0]); its handler
//    jumps back to the guard. Frames registered inside the call, and the dispatcher's own,
//    are dropped by restoring the chain to what it was before the guard.
//  - x64: exception handling is table-based, so the call goes through a small assembly
//    trampoline whose unwind data names a handler; on a fault the handler unwinds to the
//    trampoline's landing point, running the cleanups of the frames in between.
#include "win/FaultGuard.h"

#include <cstdint>

namespace qx::win {

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

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* rec, void* frame,
                                                      CONTEXT*, void*) {
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  auto* g = static_cast<GuardFrame*>(frame);
  g->code = rec->ExceptionCode;
  WriteChain(g->next);
  __builtin_longjmp(g->jump, 1);
}

}  // namespace

__attribute__((noinline)) bool RunGuarded(void (*fn)(void*), void* ctx, DWORD* faultCode) {
  volatile GuardFrame g{};
  g.next = ReadChain();
  g.handler = reinterpret_cast<void*>(&GuardHandler);
  g.code = 0;
  if (__builtin_setjmp(const_cast<void**>(g.jump)) == 0) {
    WriteChain(const_cast<GuardFrame*>(&g));
    bool ok = true;
    try {
      fn(ctx);
    } catch (...) {
      ok = false;
    }
    WriteChain(g.next);
    if (!ok && faultCode) *faultCode = 0;
    return ok;
  }
  // Back from the handler: the chain is already restored.
  if (faultCode) *faultCode = g.code;
  return false;
}

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

__attribute__((noinline)) bool RunGuarded(void (*fn)(void*), void* ctx, DWORD* faultCode) {
  uint64_t code = 0;
  try {
    code = qx_guard_call(fn, ctx);
  } catch (...) {
    if (faultCode) *faultCode = 0;
    return false;
  }
  if (code == 0) return true;
  if (faultCode) *faultCode = static_cast<DWORD>(code);
  return false;
}

#else
#error "fault guard: unsupported architecture"
#endif

}  // namespace qx::win
