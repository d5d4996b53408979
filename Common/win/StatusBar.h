// A status bar (the comctl32 control) whose panels are addressed by key: panels are added
// with a key and a width, texts are set and read back by key.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace qx::win {

class StatusBar {
 public:
  StatusBar() = default;
  StatusBar(const StatusBar&) = delete;
  StatusBar& operator=(const StatusBar&) = delete;

  // Creates the bar at the bottom of parent; the parent owns and destroys it.
  bool Create(HWND parent, int id, HFONT font = nullptr);
  HWND hwnd() const { return h_; }

  // width 0: the panel takes the room that the fixed-width panels leave.
  void AddPanel(std::wstring key, int width, std::wstring_view text = {});
  // False for a key that names no panel.
  bool SetText(std::wstring_view key, std::wstring_view text) const;
  // The panel's text as the control holds it; empty for an unknown key.
  std::wstring Text(std::wstring_view key) const;
  int IndexOf(std::wstring_view key) const;

  // Call from the parent's WM_SIZE: the bar follows the parent and the panels are laid
  // out again.
  void Resize() const;

 private:
  struct Panel {
    std::wstring key;
    int width;
  };
  void ApplyParts() const;

  HWND h_ = nullptr;
  std::vector<Panel> panels_;
};

}  // namespace qx::win
