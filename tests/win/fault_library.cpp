// A stand-in for an outside reader library that faults: its call takes the library's lock
// and registers an exception frame of its own, whose handler releases the lock when the frame
// is unwound, as the code of a __finally block or of a destructor does in a library built by
// Microsoft's compiler.
#include <windows.h>

#include <climits>

namespace {

CRITICAL_SECTION lock;
volatile LONG dispatches = 0;  // first-pass calls of the library's handler
volatile LONG unwinds = 0;     // unwinding calls of it
volatile LONG cleanupStack = 0;  // bytes of stack the unwinding call uses
int* volatile nowhere = nullptr;

__attribute__((noinline)) void Fault() { *nowhere = 1; }

// Calls itself depth times, each call holding half a kilobyte of stack.
__attribute__((noinline)) int Deep(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth == 0) return frame[0];
  return Deep(depth - 1) + frame[0];
}

// Uses bytes of stack, as a clean-up that calls further functions does.
__attribute__((noinline)) void UseStack(LONG bytes) {
  volatile char* p = static_cast<volatile char*>(__builtin_alloca(bytes));
  for (LONG i = 0; i < bytes; i += 256) p[i] = 0;
}

}  // namespace

extern "C" EXCEPTION_DISPOSITION qx_library_handler(EXCEPTION_RECORD* rec, void*, CONTEXT*,
                                                    void*) {
  if (rec->ExceptionFlags & EXCEPTION_UNWINDING) {
    ::InterlockedIncrement(&unwinds);
    if (cleanupStack) UseStack(cleanupStack);
    ::LeaveCriticalSection(&lock);
  } else {
    ::InterlockedIncrement(&dispatches);
  }
  return ExceptionContinueSearch;
}

#if defined(__i386__)

namespace {

struct Registration {
  Registration* next;
  void* handler;
};

// Runs body() holding the lock, inside a frame whose handler is qx_library_handler.
__attribute__((noinline)) void LockedInsideFrame(void (*body)()) {
  Registration frame;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(frame.next));
  frame.handler = reinterpret_cast<void*>(&qx_library_handler);
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&frame) : "memory");
  ::EnterCriticalSection(&lock);
  body();
  ::LeaveCriticalSection(&lock);
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(frame.next) : "memory");
}

}  // namespace

#elif defined(__x86_64__)

// qx_library_frame(body): calls body() in a frame whose handler is qx_library_handler, for
// the dispatch and for the unwind.
extern "C" void qx_library_frame(void (*body)());

__asm__(
    "  .text\n"
    "  .globl qx_library_frame\n"
    "  .def qx_library_frame; .scl 2; .type 32; .endef\n"
    "  .seh_proc qx_library_frame\n"
    "qx_library_frame:\n"
    "  subq $40, %rsp\n"
    "  .seh_stackalloc 40\n"
    "  .seh_endprologue\n"
    "  .seh_handler qx_library_handler, @unwind, @except\n"
    "  callq *%rcx\n"
    "  nop\n"
    "  addq $40, %rsp\n"
    "  retq\n"
    "  .seh_endproc\n");

namespace {

void (*lockedBody)();

void Locked() {
  ::EnterCriticalSection(&lock);
  lockedBody();
  ::LeaveCriticalSection(&lock);
}

// Runs body() holding the lock, inside a frame whose handler is qx_library_handler.
void LockedInsideFrame(void (*body)()) {
  lockedBody = body;
  qx_library_frame(&Locked);
}

}  // namespace

#endif

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) ::InitializeCriticalSection(&lock);
  if (reason == DLL_PROCESS_DETACH) ::DeleteCriticalSection(&lock);
  return TRUE;
}

// Holds the lock inside a frame with a handler of its own and writes through a null pointer.
__declspec(dllexport) void FaultLib_FaultInsideFrame() {
  dispatches = unwinds = cleanupStack = 0;
  LockedInsideFrame(&Fault);
}

// The same, but overflows the stack, and the handler's clean-up uses cleanupBytes of stack.
__declspec(dllexport) void FaultLib_OverflowInsideFrame(LONG cleanupBytes) {
  dispatches = unwinds = 0;
  cleanupStack = cleanupBytes;
  LockedInsideFrame([] { Deep(INT_MAX); });
}

__declspec(dllexport) void FaultLib_Seen(LONG* dispatchCalls, LONG* unwindCalls) {
  *dispatchCalls = dispatches;
  *unwindCalls = unwinds;
}

// 1 when the lock is free: to be called from a thread other than the one that faulted, since
// the owner of a critical section may always enter it again.
__declspec(dllexport) int FaultLib_LockIsFree() {
  if (!::TryEnterCriticalSection(&lock)) return 0;
  ::LeaveCriticalSection(&lock);
  return 1;
}

}  // extern "C"
