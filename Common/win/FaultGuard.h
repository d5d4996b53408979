// Calls into outside libraries under a guard: a hardware fault (an access violation, say) or
// an exception raised inside the call ends the call instead of the process.
#pragma once
#include <windows.h>

#include <utility>

#include "win/RunTimeError.h"

namespace qx::win {

// Runs fn(ctx); true when it returned normally. On a fault, *faultCode gets the exception
// code (0 for a C++ exception). A fault unwinds the frames inside the call (their own
// clean-up runs), and leaves the floating-point state as the call found it and the stack
// able to catch a next overflow.
bool RunGuarded(void (*fn)(void*), void* ctx, DWORD* faultCode = nullptr);

template <typename F>
bool Guarded(F&& f, DWORD* faultCode = nullptr) {
  auto thunk = [](void* p) { (*static_cast<std::remove_reference_t<F>*>(p))(); };
  return RunGuarded(thunk, const_cast<void*>(static_cast<const void*>(&f)), faultCode);
}

// Runs f under the guard; a fault inside it raises a RunTimeError that names the fault and
// the library (FaultText), so that it ends the caller's work like any other error.
template <typename F>
void CallGuarded(std::wstring_view library, F&& f) {
  DWORD code = 0;
  if (!Guarded(f, &code)) throw RunTimeError(FaultText(library, code));
}

}  // namespace qx::win
