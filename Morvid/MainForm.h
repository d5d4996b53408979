// MainForm, the one window of the sample program: its controls, the reader port opened at
// load, one and continuous card reads, the card display, chip number and latest address.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "resource.h"
#include "win/Controls.h"
#include "win/Handle.h"
#include "win/StatusBar.h"
#include "win/Window.h"

namespace qx::morvid {

inline constexpr wchar_t kMainFormClass[] = L"MorvidMainForm";
inline constexpr wchar_t kMainFormCaption[] = L"智能接口身份证阅读演示程序";
inline constexpr UINT_PTR kTimer2Id = 2;

class MainForm : public win::Window {
 public:
  // Its owner destroys the window before the object goes (App does for the main window),
  // so that the form's own end runs.
  MainForm() = default;

  // The window and its controls, not yet shown.
  bool Create();
  // Runs Form_Load at the handler boundary; false when the program is to end (the window
  // is then gone and was never shown).
  bool Load();
  void Show(int cmdShow);

  // The program's main window: when it ends, the message loop is told to stop.
  void SetQuitOnEnd(bool on) { quitOnEnd_ = on; }

  bool ended() const { return ended_; }
  int exitCode() const { return exitCode_; }

  // Event handlers.
  void Form_Load();
  void Check1_Click();
  void Timer2_Timer();
  void RdCmd_Click();
  void EndCmd_Click();
  void Form_Unload(int& cancel);
  void cmdReadIINSNDN_Click();
  void NewAddCmd_Click();

  // Fills the value labels from folder\wz.txt and, with Check2 on, Photo from folder\zp.bmp.
  void ShowCardInfo(const std::wstring& folder);
  void GetNation(const std::wstring& strNationcode, std::wstring& strNation) const;

  // State that the platform cannot show.
  short port() const { return nPort; }
  bool usbPort() const { return bUsbPort; }
  short lastResult() const { return vLastResult; }
  const std::wstring& chipNo() const { return strChipNo; }
  bool timer2Enabled() const { return timer2Enabled_; }

  HWND Control(int id) const { return ::GetDlgItem(hwnd(), id); }
  std::wstring PanelText(std::wstring_view key) const { return StatusBar1.Text(key); }

 protected:
  bool OnCreate(const CREATESTRUCTW& cs) override;
  bool OnTimer(UINT_PTR id) override;
  bool OnClose() override;
  HBRUSH OnCtlColorStatic(HDC dc, HWND control) override;
  bool OnDrawItem(const DRAWITEMSTRUCT& item) override;
  bool OnPaint() override;
  void OnSize(UINT type, int width, int height) override;
  void OnFinalDestroy() override;
  win::CommandTable Commands() const override;
  // Every handler: errors it does not handle end the program with the run-time error
  // report, and nothing starts while a handler runs (ticks that fall due meanwhile are
  // dropped).
  void RunEvent(const std::function<void()>& handler) override;

 private:
  enum class PhotoUse { Load, Skip };

  bool CreateControls();
  void ReportRunTimeError(const std::wstring& text);
  void EndProgram(int code);

  void ShowCard(const std::wstring& folder, PhotoUse photo);
  void ClearDisplay();
  void ClearPhoto();
  void SetStatus(std::u16string_view text);
  void SetTimer2Enabled(bool on);
  void ArmTimer2();
  void EnableReadButtons(bool on);
  int Tx(int twips) const { return win::TwipsToPixels(twips, dpiX_); }
  int Ty(int twips) const { return win::TwipsToPixels(twips, dpiY_); }
  RECT Place(int left, int top, int width, int height) const;

  // Fields of the form.
  short nPort = 0;
  bool bUsbPort = false;
  short vLastResult = 0;
  std::wstring strChipNo;

  // Controls.
  win::Label Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9, Label10,
      Label11;
  win::Label namet, sex, nation, born, address, IDN, reg, ValidDate, NewAdd, IINSNDN;
  win::Picture Photo;
  win::CheckBox Check1, Check2;
  win::Button RdCmd, NewAddCmd, cmdReadIINSNDN, EndCmd;
  win::StatusBar StatusBar1;
  RECT Shape2{};  // the white frame around the card area, painted by the form

  bool timer2Enabled_ = false;
  UINT timer2Interval_ = 0;

  int dpiX_ = 96;
  int dpiY_ = 96;
  win::UniqueFont titleFont_, captionFont_, label7Font_, valueFont_, smallFont_;
  win::UniqueBrush cardBrush_;
  win::UniqueBitmap photoBitmap_;
  win::UniqueIcon readIcon_, newAddIcon_, chipIcon_, endIcon_;
  struct Look {
    HWND control;
    COLORREF text;
    bool onCard;  // inside Shape2: white behind the text
  };
  std::vector<Look> looks_;

  bool busy_ = false;
  bool ended_ = false;
  int exitCode_ = 0;
  bool quitOnEnd_ = false;
};

}  // namespace qx::morvid
