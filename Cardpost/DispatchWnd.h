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
  std::optional<LRESULT> OnCopyData(HWND sender, const COPYDATASTRUCT& data) override;
  bool OnClose() override;
  qx::win::MessageTable Messages() const override;

 private:
  LRESULT OnQueryStatus(WPARAM wp, LPARAM lp);
  LRESULT OnScanRequest(WPARAM wp, LPARAM lp);
};
