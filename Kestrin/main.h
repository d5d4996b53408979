// Unit main: TForm_main, the desk's main window: its menus, tool bar, client panel, status
// bar and automatic-verification timer, the reader connection, the hidden card fields and the
// card face, one-shot and automatic verification with its log step, the photo and copy saves,
// the prints, and the commands that lead to the settings, the record query, the about box,
// the help file and the end. Its definitions: main.cpp (the frame and small commands),
// MainReader.cpp, MainVerify.cpp and MainSaves.cpp.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "CardCopy.h"
#include "CardFace.h"
#include "CardFields.h"
#include "Picture.h"
#include "Program.h"
#include "resource.h"
#include "win/Controls.h"
#include "win/Handle.h"
#include "win/StatusBar.h"
#include "win/ToolBar.h"
#include "win/Window.h"

namespace qx::kestrin {

inline constexpr wchar_t kMainFormClass[] = L"TForm_main";
inline constexpr wchar_t kMainFormCaption[] = L"Tesmo二代身份验证程序  V6.5";
inline constexpr wchar_t kPanel0Initial[] = L"读卡器连接成功! 安全模块编号【】";
inline constexpr wchar_t kPanel1Initial[] = L" ... ...";
inline constexpr UINT_PTR kTimeautoId = 1;
inline constexpr UINT kTimeautoIntervalMs = 1500;
// The hidden card fields (children of GroupBox1), the group box and the card face.
enum MainFormId : int {
  IDC_MAIN_GROUPBOX1 = 1130,
  IDC_MAIN_EDTNAME, IDC_MAIN_EDTSEX, IDC_MAIN_HIDSEXID, IDC_MAIN_EDTNATION, IDC_MAIN_HIDNATIONID, IDC_MAIN_EDTBIRH,
  IDC_MAIN_EDTADDR, IDC_MAIN_EDTID, IDC_MAIN_EDTSENDDEP, IDC_MAIN_HIDEXPIRES, IDC_MAIN_HIDEXPIREE, IDC_MAIN_EDTEXPIRE,
  IDC_MAIN_PANEL2,
};
inline constexpr wchar_t kFolderPrompt[] = L"请选择文件夹";
// The identity number cannot name a file in the chosen folder (no card read yet, or a number
// holding a path or a device name).
inline constexpr wchar_t kBadSaveName[] = L"身份号码不能用作文件名，未保存！";
// Positions of the top-level menus in the bar.
inline constexpr UINT kMenuS1 = 0, kMenuO01 = 1, kMenuQ1 = 2, kMenuH1 = 3, kMenuE1 = 4;

class TForm_main : public win::Window {
 public:
  TForm_main() = default;
  ~TForm_main() override;

  // Creates the window (not shown) and runs FormCreate. owner: the application window.
  bool Create(HWND owner = nullptr);
  // The program's main window: closing it hides it and ends the message loop; the window
  // itself goes when the program destroys it.
  void SetEndsProgram(bool on) { endsProgram_ = on; }

  // Handlers of the window and of the reader connection.
  void FormCreate();
  void FormShow();
  void FormDestroy();
  void ConnectReader();
  void P1Click();
  void tbtnDepartClick() { P1Click(); }

  // Verification and the other commands.
  void nchkClick();
  void nautoClick();
  void timeautoTimer();
  void ncopyClick();
  void nprintClick();
  void nimegClick();
  void fileprintClick();
  void Y1Click();
  void A2Click();
  void W1Click();
  void E1Click();
  void tbtnCheckClick() { nchkClick(); }
  void tbtnAutoClick() { nautoClick(); }
  void tbtnCopyClick() { ncopyClick(); }
  void tbtnPrintClick() { nprintClick(); }
  void ToolButton1Click() { nimegClick(); }
  void tbtfprintClick() { fileprintClick(); }
  void tbtnQryClick() { Y1Click(); }
  void tbtnHelpClick() { W1Click(); }
  void tbtnExitClick() { E1Click(); }

  // State the platform cannot show.
  int CurPort = 0;
  int AutoFlag = 0;
  bool TimeautoEnabled() const { return timeautoEnabled_; }

  HMENU Menu() const { return menu_; }
  const win::ToolBar& ToolBar1() const { return toolBar_; }
  HWND Panel1() const { return panel1_; }
  HWND Panel2() const { return panel2_.hwnd(); }
  HWND GroupBox1() const { return groupBox1_; }
  std::wstring PanelText(int index) const;

  // The card fields (code page 936), as the hidden edits show them, and the photo of `image`.
  const CardFields& Fields() const { return fields_; }
  const Picture& ImagePhoto() const { return photo_; }
  COLORREF PhotoTransparentColor() const { return photo_.Empty() ? CLR_INVALID : photo_.Pixel(0, 0); }
  // What imgshow and its labels show, and what imgPic and imgBk hold.
  const Picture& FacePicture() const { return face_; }
  const CardFaceLabels& FaceLabels() const { return labels_; }
  const CardCopyImages& CopyImages() const { return copy_; }
  // The document page as the last document print drew it (Imagda).
  const Picture& Imagda() const { return imagda_; }

 protected:
  win::CommandTable Commands() const override;
  void RunEvent(const std::function<void()>& handler) override { RunHandler(handler); }
  std::optional<LRESULT> OnNotify(const NMHDR& nm) override;
  bool OnTimer(UINT_PTR id) override;
  void OnShowWindow(bool show, UINT status) override;
  void OnSize(UINT type, int width, int height) override;
  bool OnClose() override;
  void OnDestroy() override;

 private:
  bool CreateComponents();
  void Layout();
  void SetTimeauto(bool on);
  void SetVerifyControls(bool on);
  void SetPanel(int index, std::wstring_view text);
  void ReportConnection(bool opened, const std::string& samId);

  // Steps of a verification that come with the card fields and the card face.
  bool ReadCardToForm();
  void ShowCardFace();
  void ClearCardFace();
  void ComposeCopyImages();
  void SaveVerifyLog();
  // False when the identity number names no file: nothing is written.
  bool SavePhotoBmp(const std::wstring& folder);
  // The file name made from the identity number, or nullopt after telling the operator that
  // the number cannot name a file.
  std::optional<std::wstring> SaveName(const wchar_t* prefix, const wchar_t* extension) const;
  bool CreateCardFields();
  // Keeps the fields and mirrors them into the hidden edits.
  void SetFields(const CardFields& f);
  // The local time as the log and the document print write it: yyyy-mm-dd hh:nn:ss.
  static std::string NowText();

  // Panel2 with imgshow: paints the rendered card face as it stands.
  class FacePanel : public win::Window {
   public:
    explicit FacePanel(const TForm_main& owner) : owner_(owner) {}
    bool Create(HWND parent);

   protected:
    bool OnEraseBackground(HDC dc) override;
    bool OnPaint() override;

   private:
    const TForm_main& owner_;
  };

  HMENU menu_ = nullptr;       // owned by the window
  HMENU menuO01_ = nullptr;
  win::ToolBar toolBar_;
  HWND panel1_ = nullptr;
  HWND groupBox1_ = nullptr;
  FacePanel panel2_{*this};
  SIZE panel1Design_{0, 0};  // Panel1's client size when the window was made
  CardFields fields_;
  Picture photo_;
  Picture face_;
  CardFaceLabels labels_;
  CardCopyImages copy_;
  Picture imagda_;
  win::StatusBar sb_;
  win::UniqueFont font_;
  win::UniqueIcon icon_;
  bool timeautoEnabled_ = false;
  bool endsProgram_ = false;
};

}  // namespace qx::kestrin
