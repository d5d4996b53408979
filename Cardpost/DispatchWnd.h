// Cardpost's point of contact for the Quorix console: takes the handshake and the close
// request, passes state queries and scan requests on to the reader window.
#pragma once
#include <windows.h>

#include "win/Window.h"

constexpr char kDispatchWndTitle[] = "HardwareCtrlWnd_Morvid2Reader";

class Cwnd_Dispatch : public qx::win::Window {
 public:
  static constexpr char kRuntimeClassName[] = "Cwnd_Dispatch";

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  LRESULT OnCopyData(HWND sender, const COPYDATASTRUCT& data, WPARAM wp, LPARAM lp);
};
