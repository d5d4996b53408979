// Fault guard: mingw's g++ has no __try, so each architecture gets a guard of its own.
//  - x86: an exception frame registered on the thread's frame chain (fs:[0]). On a fault its
//    handler first unwinds the frames registered above it, as the system's own __except
//    does: each of their handlers is called for the unwind, so a library's __finally blocks
//    and its compiler's destructors run and the locks it holds are released. Then it jumps
//    back into the guard, which takes its frame off the chain.
//  - x64: exception handling is table-based, so the call goes through a small assembly
//    trampoline whose unwind data names a handler; on a fault the handler unwinds to the
//    trampoline's landing point, running the cleanups of the frames in between.
// Both keep room at the end of the stack for handling a stack overflow; after a fault they
// give the caller back its floating-point modes and, after an overflow, the stack's guard
// page, which the overflow used up.
#include "win/FaultGuard.h"

#include <cstdint>

namespace qx::win {

namespace {

// Calls fn(ctx) under the architecture's guard: true when it returned; on a fault or a
// raised exception, false with its code. A C++ exception goes on to the caller.
bool CallUnderGuard(void (*fn)(void*), void* ctx, DWORD* code);

}  // namespace

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

// qx_guard_unwind(target, rec): RtlUnwind(target, ..., rec, 0), which calls the handler of
// every frame above target for the unwind and leaves target first on the chain. On x86 it
// ignores its target address and resumes at its return address with registers it captured
// itself, where ebx, esi and edi need not be the caller's (Microsoft's own CRT saves them
// around it too): they and ebp are kept on the stack, which it does give back as it was.
extern "C" void qx_guard_unwind(void* target, EXCEPTION_RECORD* rec);

__asm__(
    "  .text\n"
    "  .globl _qx_guard_unwind\n"
    "  .def _qx_guard_unwind; .scl 2; .type 32; .endef\n"
    "_qx_guard_unwind:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl $0\n"              // ReturnValue
    "  pushl 28(%esp)\n"        // ExceptionRecord: rec
    "  pushl $1f\n"             // TargetIp
    "  pushl 32(%esp)\n"        // TargetFrame: target
    "  calll *__imp__RtlUnwind@16\n"
    "1:\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  retl\n");

extern "C" EXCEPTION_DISPOSITION __cdecl qx_guard_handler(EXCEPTION_RECORD* rec, void* frame,
                                                          CONTEXT*, void*) {
  // Called for an unwind only when an outer frame unwinds past the guard: nothing to do.
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  auto* g = static_cast<GuardFrame*>(frame);
  g->code = rec->ExceptionCode;
  // Also drops the dispatcher's own frame, registered above the fault's.
  qx_guard_unwind(g, rec);
  __builtin_longjmp(g->jump, 1);
}

namespace {

// The receiver of the jump: gcc saves every callee-saved register in the prologue of a
// function that calls __builtin_setjmp and restores them from its frame on the way out, so
// none of the values that the library or the unwinding left in them reaches the caller.
__attribute__((noinline)) bool CallUnderGuard(void (*fn)(void*), void* ctx, DWORD* code) {
  volatile GuardFrame g{};
  g.next = ReadChain();
  g.handler = reinterpret_cast<void*>(&qx_guard_handler);
  if (__builtin_setjmp(const_cast<void**>(g.jump)) != 0) {
    // Back from the handler, the frames above the guard's unwound.
    WriteChain(g.next);
    *code = g.code;
    return false;
  }
  WriteChain(const_cast<GuardFrame*>(&g));
  try {
    fn(ctx);
  } catch (...) {
    // g++ unwinds C++ exceptions by its own tables on x86, without the frame chain.
    WriteChain(g.next);
    throw;
  }
  WriteChain(g.next);
  return true;
}

// Processors without SSE have no MXCSR.
bool HasSse() {
  static const bool has = ::IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE);
  return has;
}

}  // namespace

#elif defined(__x86_64__)

// qx_guard_call(fn, ctx): calls fn(ctx); returns 0 when it returned, else 1 << 32 | the code
// of the exception that ended it. The handler resumes at qx_guard_landed with that value in
// rax; the unwinder restores rsp and the saved registers of this frame.
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

constexpr uint64_t kFaulted = uint64_t{1} << 32;

// libgcc raises C++ exceptions as SEH exceptions with codes 0x2?474343 ("GCC"): those
// belong to the C++ handlers outside the trampoline.
bool IsCppException(DWORD code) { return (code & 0x00FFFFFFu) == 0x474343u && (code >> 28) == 2; }

}  // namespace

extern "C" EXCEPTION_DISPOSITION qx_guard_handler(EXCEPTION_RECORD* rec, void* frame, CONTEXT*,
                                                  DISPATCHER_CONTEXT* dc) {
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  if (IsCppException(rec->ExceptionCode)) return ExceptionContinueSearch;
  RtlUnwindEx(frame, qx_guard_landed, rec, reinterpret_cast<void*>(kFaulted | rec->ExceptionCode),
              dc->ContextRecord, dc->HistoryTable);
  return ExceptionContinueSearch;  // not reached
}

namespace {

bool CallUnderGuard(void (*fn)(void*), void* ctx, DWORD* code) {
  const uint64_t result = qx_guard_call(fn, ctx);
  if (result == 0) return true;
  *code = static_cast<DWORD>(result);
  return false;
}

constexpr bool HasSse() { return true; }

}  // namespace

#else
#error "fault guard: unsupported architecture"
#endif

namespace {

// The caller's floating-point modes. A library that faults may leave x87 registers in use
// (the 32-bit build's own double arithmetic runs on them, and with all eight taken every
// result is NaN) and rounding, precision or flush modes of its own; neither path puts them
// back by itself.
struct FpuModes {
  uint16_t x87 = 0;
  uint32_t sse = 0;
};

FpuModes SaveFpuModes() {
  FpuModes m;
  __asm__ __volatile__("fnstcw %0" : "=m"(m.x87));
  if (HasSse()) __asm__ __volatile__("stmxcsr %0" : "=m"(m.sse));
  return m;
}

// The x87 registers are all free at a call, so emptying them loses nothing of the caller's.
void RestoreFpuModes(const FpuModes& m) {
  __asm__ __volatile__("fninit\n\tfldcw %0" : : "m"(m.x87));
  if (HasSse()) __asm__ __volatile__("ldmxcsr %0" : : "m"(m.sse));
}

// Stack kept free at the end of the stack for handling an overflow: the dispatcher, the
// guard's handler, the unwinding and the library's own clean-up handlers all run on the
// overflowed stack.
constexpr ULONG kOverflowRoom = 32 * 1024;
constexpr size_t kPage = 4096;

// Lays a guard page just below the stack pointer, from where it moves down as the stack
// grows, by the CRT's _resetstkoflw (so it runs once the call's frames are gone). Looked up,
// as not every msvcrt.dll need have it.
void LayStackGuard() {
  using Reset = int(__cdecl*)();
  static const auto reset = reinterpret_cast<Reset>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"msvcrt.dll"), "_resetstkoflw")));
  if (reset) reset();
}

// True when a guard page of this thread's stack lies above the room, so that the stack's
// growth into the room raises the overflow.
bool GuardPageAboveRoom() {
  MEMORY_BASIC_INFORMATION m;
  if (!::VirtualQuery(&m, &m, sizeof m)) return true;
  const auto* top = reinterpret_cast<const char*>(&m);
  const auto* p = static_cast<const char*>(m.AllocationBase);
  const char* roomEnd = p + kPage + kOverflowRoom;
  while (p < top && ::VirtualQuery(p, &m, sizeof m)) {
    const auto* next = static_cast<const char*>(m.BaseAddress) + m.RegionSize;
    if ((m.Protect & PAGE_GUARD) && next > roomEnd) return true;
    p = next;
  }
  return false;
}

// Once a thread: the system raises the overflow when the guard page reaches the room. Wine
// commits a whole stack at once and guards only its last page, so that its first overflow
// leaves less than a page and the dispatcher itself runs out of stack and ends the thread:
// there a guard page is laid above the room.
void KeepRoomForAStackOverflow() {
  static thread_local bool kept = false;
  if (kept) return;
  kept = true;
  ULONG room = kOverflowRoom;
  ::SetThreadStackGuarantee(&room);
  if (!GuardPageAboveRoom()) LayStackGuard();
}

// An overflow turns the guard page into ordinary stack: without a new one the next overflow
// runs into the end of the stack, where no exception can be raised, and the thread or the
// process is ended.
void RecoverFromFault(DWORD code, const FpuModes& modes) {
  RestoreFpuModes(modes);
  if (code == EXCEPTION_STACK_OVERFLOW) LayStackGuard();
}

}  // namespace

__attribute__((noinline)) bool RunGuarded(void (*fn)(void*), void* ctx, DWORD* faultCode) {
  KeepRoomForAStackOverflow();
  const FpuModes modes = SaveFpuModes();
  DWORD code = 0;
  bool returned = false;
  try {
    returned = CallUnderGuard(fn, ctx, &code);
  } catch (...) {
    if (faultCode) *faultCode = 0;
    return false;
  }
  if (returned) return true;
  RecoverFromFault(code, modes);
  if (faultCode) *faultCode = code;
  return false;
}

}  // namespace qx::win
