// Fault guard for 32-bit Windows: mingw's g++ has no __try, so the guard registers an
// exception frame of its own on the thread's frame chain (fs:[0]) and jumps back to the
// guard from its handler. Frames registered inside the call, and the dispatcher's own, are
// dropped by restoring the chain to what it was before the guard.
#include "win/FaultGuard.h"

#include <cstdint>

namespace qx::win {
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

}  // namespace qx::win
