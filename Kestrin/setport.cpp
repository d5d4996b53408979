// Unit setport: the settings dialog's controls, filled from "reader.ini" and written back.
#include "setport.h"

#include <iterator>
#include <string>

#include "KestrinApp.h"

namespace qx::kestrin {
namespace {

constexpr int kClientWidth = 360;
constexpr int kClientHeight = 186;

}  // namespace

BOOL TForm_setport::OnInitDialog() {
  PlaceDialog(hwnd(), kClientWidth, kClientHeight);
  if (!CreateComponents()) {
    EndDialog(IDABORT);
    return TRUE;
  }
  RunHandler([this] { FormCreate(); });
  return TRUE;
}

bool TForm_setport::CreateComponents() {
  HWND self = hwnd();
  LOGFONTW lf{};
  lf.lfHeight = -11;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
  font_.reset(::CreateFontIndirectW(&lf));

  PageControl1 = win::TabControl::Create(self, IDC_PAGECONTROL1, RECT{8, 8, 352, 140});
  PageControl1.AddPage(L"读卡器端口");
  Label5 = win::Label::Create(self, IDC_LABEL5, L"端 口", RECT{48, 54, 108, 70});
  cbCom = win::ComboBox::CreateDropDownList(self, IDC_CBCOM, RECT{116, 50, 266, 72}, 200);
  Label6 = win::Label::Create(self, IDC_LABEL6, L"波 特 率", RECT{48, 86, 108, 102});
  cbBaund = win::ComboBox::CreateDropDownList(self, IDC_CBBAUND, RECT{116, 82, 266, 104}, 120);
  ckusb = win::CheckBox::Create(self, IDC_CKUSB, L"USB端口", RECT{116, 112, 236, 130});
  btnSet = win::Button::Create(self, IDC_BTNSET, L"保存", RECT{188, 152, 263, 177});
  btnquit = win::Button::Create(self, IDC_BTNQUIT, L"关闭", RECT{275, 152, 350, 177});
  for (const win::Control* c : {static_cast<const win::Control*>(&PageControl1),
                                static_cast<const win::Control*>(&Label5),
                                static_cast<const win::Control*>(&cbCom),
                                static_cast<const win::Control*>(&Label6),
                                static_cast<const win::Control*>(&cbBaund),
                                static_cast<const win::Control*>(&ckusb),
                                static_cast<const win::Control*>(&btnSet),
                                static_cast<const win::Control*>(&btnquit)}) {
    if (!c->hwnd()) return false;
    c->SetFont(font_.get());
  }
  for (const wchar_t* p : {L"COM1", L"COM2", L"COM3", L"COM4", L"COM5", L"COM6", L"COM7", L"COM8"})
    cbCom.Add(p);
  for (const wchar_t* b : {L"9600", L"38400", L"115200"}) cbBaund.Add(b);
  cbCom.Select(0);
  cbBaund.Select(0);
  return true;
}

win::CommandTable TForm_setport::Commands() const {
  static const win::CommandEntry kCommands[] = {
      win::Command(IDC_CKUSB, &TForm_setport::ckusbClick),
      win::Command(IDC_BTNSET, &TForm_setport::btnSetClick),
      win::Command(IDC_BTNQUIT, &TForm_setport::btnquitClick),
  };
  return kCommands;
}

void TForm_setport::FormCreate() {
  if (ReadReaderIni(L"READER", L"PORT", L"COM") == L"USB") {
    ckusb.SetChecked(true);
    // Setting the box's state runs its click handler, as a click does.
    ckusbClick();
  }
  if (ReadReaderIni(L"READER", L"PORT", L"COM") == L"COM") {
    cbCom.SelectExact(ReadReaderIni(L"COM", L"port", L"COM1"));
    cbBaund.SelectExact(ReadReaderIni(L"COM", L"baund", L"9600"));
  }
}

void TForm_setport::ckusbClick() {
  const bool serial = !ckusb.IsChecked();
  Label5.Enable(serial);
  Label6.Enable(serial);
  cbCom.Enable(serial);
  cbBaund.Enable(serial);
}

void TForm_setport::btnSetClick() {
  if (ckusb.IsChecked()) {
    WriteReaderIni(L"READER", L"PORT", L"USB");
  } else {
    WriteReaderIni(L"READER", L"PORT", L"COM");
    WriteReaderIni(L"COM", L"port", cbCom.Text());
    WriteReaderIni(L"COM", L"baund", cbBaund.Text());
  }
  ShowMessage(L"设置完毕!");
}

void TForm_setport::btnquitClick() { EndDialog(IDCANCEL); }

}  // namespace qx::kestrin
