// Helper of the desk's scripts that works Kestrin's menu commands from outside, as an operator
// would:   kestrin_drive.exe verify|end ...
// waits for the main window, then for each word sends the command and waits for its outcome:
// "verify" until the status bar reports the verified card, "end" until the window is gone.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "ShellTest.h"
#include "resource.h"

using kshell_test::W;

int main(int argc, char** argv) {
  HWND main = nullptr;
  if (!qx::test::WaitUntil([&] { return (main = ::FindWindowW(L"TForm_main", nullptr)) && ::IsWindowVisible(main); },
                           30000)) {
    std::fprintf(stderr, "kestrin_drive: no Kestrin window\n");
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    bool done = false;
    if (std::strcmp(argv[i], "verify") == 0) {
      ::PostMessageW(main, WM_COMMAND, IDM_NCHK, 0);
      HWND bar = ::GetDlgItem(main, IDC_SB);
      done = qx::test::WaitUntil([&] { return kshell_test::RemotePanelText(bar, 1) == W("身份验证成功!"); }, 10000);
    } else if (std::strcmp(argv[i], "end") == 0) {
      ::PostMessageW(main, WM_COMMAND, IDM_E1, 0);
      done = qx::test::WaitUntil([&] { return !::IsWindow(main); }, 10000);
    } else {
      std::fprintf(stderr, "kestrin_drive: unknown word %s\n", argv[i]);
      return 2;
    }
    if (!done) {
      std::fprintf(stderr, "kestrin_drive: %s did not finish\n", argv[i]);
      return 1;
    }
  }
  // Lets the window repaint before a screenshot is taken.
  ::Sleep(300);
  return 0;
}
