// Cardpost's dispatch window: the console's handshake, close request, state query and scan request.
#include "DispatchWnd.h"

#include <cstring>
#include <string>

#include "Log.h"
#include "ReaderWnd.h"
#include "card/Gbk.h"
#include "card/Packets.h"
#include "win/App.h"

namespace {

HWND MainDialog() {
  qx::win::App* app = qx::win::App::Current();
  return app ? app->MainHwnd() : nullptr;
}

// Never a thread message: without a dialog there is nobody to ask.
void PostToDialog(UINT msg) {
  if (HWND dlg = MainDialog()) ::PostMessageA(dlg, msg, 0, 0);
}

}  // namespace

std::optional<LRESULT> Cwnd_Dispatch::OnCopyData(HWND, const COPYDATASTRUCT& data) {
  LogWrite("Cwnd_Dispatch::OnCopyData %d", static_cast<int>(data.dwData));

  if (data.dwData == qx::card::WM_HD_SCANREQUEST) {
    // The console's own payload goes on as it came.
    if (HWND reader = ::FindWindowA(nullptr, kReaderWndTitle))
      return ::SendMessageA(reader, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    return std::nullopt;
  }

  if (data.dwData == qx::card::CDS_HARDWARE_CHECK) {
    std::string text;
    if (data.lpData) {
      const char* p = static_cast<const char*>(data.lpData);
      text.assign(p, strnlen(p, data.cbData));
    }
    if (qx::card::GbkFind(text, "0800") != qx::card::kNpos ||
        qx::card::GbkFind(text, "0802") != qx::card::kNpos) {
      LogWrite("收到消息，检测硬件编号（合法）:%s", text.c_str());
      PostToDialog(qx::card::WM_HD_STARTDEVICE);
    } else {
      LogWrite("收到消息，检测硬件编号（非法），程序即将自动关闭:%s", text.c_str());
      PostToDialog(WM_CLOSE);
    }
  }
  return std::nullopt;
}

LRESULT Cwnd_Dispatch::OnQueryStatus(WPARAM, LPARAM) {
  if (HWND reader = ::FindWindowA(nullptr, kReaderWndTitle))
    return ::SendMessageA(reader, qx::card::WM_HD_QUERYSTATUS, 0, 0);
  return 1;
}

LRESULT Cwnd_Dispatch::OnScanRequest(WPARAM wp, LPARAM lp) {
  if (HWND reader = ::FindWindowA(nullptr, kReaderWndTitle))
    return ::SendMessageA(reader, qx::card::WM_HD_SCANREQUEST, wp, lp);
  return 1;
}

bool Cwnd_Dispatch::OnClose() {
  // The window stays; the dialog's close sequence destroys it.
  PostToDialog(WM_CLOSE);
  return true;
}

qx::win::MessageTable Cwnd_Dispatch::Messages() const {
  static const qx::win::MessageEntry kMessages[] = {
      qx::win::Message(qx::card::WM_HD_QUERYSTATUS, &Cwnd_Dispatch::OnQueryStatus),
      qx::win::Message(qx::card::WM_HD_SCANREQUEST, &Cwnd_Dispatch::OnScanRequest),
  };
  return kMessages;
}
