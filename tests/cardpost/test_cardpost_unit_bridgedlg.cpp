// Cardpost's main dialog made in this process, where its system menu can be read (menus of
// another process cannot be, under Wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "BridgeDlg.h"
#include "TestSupport.h"

namespace {

using namespace qx::test;

// The about item is found in the dialog's own system menu by its text and chosen with the
// command that the menu holds for it.
TEST(CardpostBridgeDlg, SystemMenuItemShowsTheAboutBox) {
  BoxWatcher watcher([](HWND box, const SeenBox& seen) {
    if (seen.caption == L"关于 Cardpost") ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  CBridgeDlg dlg;
  std::optional<UINT> command;
  Later(0, [&] {
    HMENU menu = ::GetSystemMenu(dlg.hwnd(), FALSE);
    for (int i = 0, n = ::GetMenuItemCount(menu); i < n && !command; ++i) {
      wchar_t text[64] = {};
      ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
      if (std::wstring(text) == L"关于 Cardpost(&A)...") command = ::GetMenuItemID(menu, i);
    }
    // Returns once the box has been answered.
    if (command) ::SendMessageW(dlg.hwnd(), WM_SYSCOMMAND, *command, 0);
    ::PostMessageW(dlg.hwnd(), WM_CLOSE, 0, 0);
  });
  dlg.DoModal();
  ASSERT_TRUE(command.has_value()) << "no item 关于 Cardpost(&A)... in the system menu";
  bool aboutShown = false;
  for (const SeenBox& box : watcher.seen()) aboutShown |= box.caption == L"关于 Cardpost";
  EXPECT_TRUE(aboutShown);
}

}  // namespace
