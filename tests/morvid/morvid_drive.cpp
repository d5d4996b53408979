// Test helper that presses Morvid's buttons from outside, as an operator would:
//   morvid_drive.exe read|newadd|chip|end ...
// waits for Morvid's window, then for each word presses the button and waits until the label
// that the button fills shows a text (or, for "end", until the window is gone).
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "MainForm.h"

namespace {

bool WaitFor(bool (*done)(HWND), HWND form, DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (!done(form)) {
    if (::GetTickCount() - start > ms) return false;
    ::Sleep(50);
  }
  return true;
}

HWND g_label = nullptr;
bool LabelFilled(HWND) { return ::GetWindowTextLengthW(g_label) > 0; }
bool Gone(HWND form) { return !::IsWindow(form); }

}  // namespace

int main(int argc, char** argv) {
  // The window exists, hidden, while it loads; it is ready once it is shown.
  HWND form = nullptr;
  for (int i = 0; i < 600; ++i) {
    form = ::FindWindowW(qx::morvid::kMainFormClass, nullptr);
    if (form && ::IsWindowVisible(form)) break;
    ::Sleep(50);
  }
  if (!form || !::IsWindowVisible(form)) {
    std::fprintf(stderr, "morvid_drive: no Morvid window\n");
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    struct Word {
      const char* word;
      int button;
      int label;
    };
    static const Word kWords[] = {
        {"read", IDC_RDCMD, IDC_IDN},
        {"newadd", IDC_NEWADDCMD, IDC_NEWADD},
        {"chip", IDC_CMDREADIINSNDN, IDC_IINSNDN},
        {"end", IDC_ENDCMD, 0},
    };
    const Word* w = nullptr;
    for (const Word& k : kWords)
      if (std::strcmp(argv[i], k.word) == 0) w = &k;
    if (!w) {
      std::fprintf(stderr, "morvid_drive: unknown word %s\n", argv[i]);
      return 2;
    }
    if (w->label) {
      g_label = ::GetDlgItem(form, w->label);
    }
    ::PostMessageW(::GetDlgItem(form, w->button), BM_CLICK, 0, 0);
    const bool ok = w->label ? WaitFor(LabelFilled, form, 10000) : WaitFor(Gone, form, 10000);
    if (!ok) {
      std::fprintf(stderr, "morvid_drive: %s did not finish\n", w->word);
      return 1;
    }
  }
  // Lets the window repaint before a screenshot is taken.
  ::Sleep(300);
  return 0;
}
