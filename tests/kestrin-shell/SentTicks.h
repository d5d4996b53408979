// The desk's main window in a test: its timer calls arm nothing, so timeauto ticks only when
// the test sends WM_TIMER.
#pragma once
#include <windows.h>

#include "main.h"

namespace kshell_test {

inline UINT_PTR WINAPI ArmNothing(HWND, UINT_PTR id, UINT, TIMERPROC) { return id; }
inline BOOL WINAPI DisarmNothing(HWND, UINT_PTR) { return TRUE; }
inline const qx::kestrin::TimerCalls kSentTicks{&ArmNothing, &DisarmNothing};

}  // namespace kshell_test
