// A tool bar (the comctl32 control) of picture buttons addressed by command id, with hints
// that the bar's tooltips ask the parent for and that can change while it runs.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace qx::win {

class ToolBar {
 public:
  ToolBar() = default;
  ~ToolBar();
  ToolBar(const ToolBar&) = delete;
  ToolBar& operator=(const ToolBar&) = delete;

  // A flat bar at the top of parent, of the given height, with buttons of buttonSize and
  // pictures of imageSize from images (the bar owns the list from here on).
  bool Create(HWND parent, int id, int height, SIZE buttonSize, SIZE imageSize,
              HIMAGELIST images);
  HWND hwnd() const { return h_; }

  bool AddButton(int commandId, int image, std::wstring hint);
  bool Enable(int commandId, bool on) const;
  bool IsEnabled(int commandId) const;
  void SetHint(int commandId, std::wstring hint);
  std::wstring Hint(int commandId) const;
  int ButtonCount() const;

  // For the parent's WM_NOTIFY: answers the tooltip's request for a button's hint; true
  // when the notification was the bar's.
  bool HandleNotify(const NMHDR& hdr);
  // For the parent's WM_SIZE.
  void Resize() const;

 private:
  struct Entry {
    int id;
    std::wstring hint;
  };
  const Entry* Find(int commandId) const;

  HWND h_ = nullptr;
  HIMAGELIST images_ = nullptr;
  int height_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace qx::win
