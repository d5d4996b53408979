// The desk's program: the start-up sequence, the objects that live as long as it, and the
// placing of its dialogs.
#pragma once
#include <windows.h>

#include "Program.h"

namespace qx::kestrin {

class TdataMd;
class TForm_main;

inline constexpr wchar_t kAppWindowClass[] = L"TApplication";
inline constexpr wchar_t kMutexName[] = L"Vuv";

// The data module of the running program (null before start-up created it, and in tests
// that make their windows alone).
extern TdataMd* dataMd;

// The whole start-up, loop and exit; the process's exit code.
int RunKestrin(int cmdShow);

// Sizes a dialog to a client area in pixels and centres it on the screen.
void PlaceDialog(HWND dlg, int clientWidth, int clientHeight);

}  // namespace qx::kestrin
