// Unit main, the reader connection: the port "reader.ini" names is opened when the window
// shows and after the settings dialog, and closed when the window goes.
#include "main.h"

#include "Program.h"
#include "Reader.h"
#include "setport.h"

namespace qx::kestrin {

void TForm_main::FormCreate() {
  CurPort = 0;
  AutoFlag = 0;
}

void TForm_main::FormShow() { ConnectReader(); }

void TForm_main::FormDestroy() {
  if (CurPort > 0) CloseReader(CurPort);
}

void TForm_main::ConnectReader() {
  std::string samId;
  if (ReadReaderIni(L"READER", L"PORT", L"COM") == L"USB") {
    CurPort = 1001;
    const bool opened = OpenReader(1001, 0, samId);
    ReportConnection(opened, samId);
  }
  if (ReadReaderIni(L"READER", L"PORT", L"COM") == L"COM") {
    const std::wstring port = ReadReaderIni(L"COM", L"port", L"COM1");
    CurPort = StrToInt(port.size() > 3 ? port.substr(3) : std::wstring());
    const int baud = StrToInt(ReadReaderIni(L"COM", L"baund", L"9600"));
    if (baud == 0) CurPort = 0;
    const bool opened = OpenReader(CurPort, baud, samId);
    ReportConnection(opened, samId);
  }
}

void TForm_main::ReportConnection(bool opened, const std::string& samId) {
  if (opened) {
    SetPanel(0, L"读卡器连接成功!安全模块编号 [" + FromGbk(samId) + L"]");
    SetVerifyControls(true);
    return;
  }
  CurPort = 0;
  SetPanel(0, L"读卡器连接失败!");
  ShowMessage(L"读卡器连接出错!请检查配置!");
  SetVerifyControls(false);
}

void TForm_main::P1Click() {
  {
    TForm_setport dialog;
    // Whichever way the dialog was closed.
    dialog.ShowModal(hwnd());
  }
  ConnectReader();
}

}  // namespace qx::kestrin
