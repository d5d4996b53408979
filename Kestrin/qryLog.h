// Unit qryLog: TForm_qryLog, the record query window. It selects rows of TLog by a combination
// of conditions into qrylog (browsing, details, deletion) and qryOutPut (export), shows the
// current row's card and photo beside the grid, deletes the current row and exports the
// selection as a worksheet. The main window opens it modally:
//   TForm_qryLog form(dm); form.ShowModal(mainHwnd);
#pragma once
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "Picture.h"
#include "Program.h"
#include "dm.h"
#include "win/CodeDialog.h"
#include "win/Controls.h"
#include "win/DatePicker.h"
#include "win/EditBox.h"
#include "win/Handle.h"
#include "win/ListView.h"

namespace qx::kestrin {

inline constexpr wchar_t kQryLogCaption[] = L"记录查询";
inline constexpr int kQryLogClientWidth = 745;
inline constexpr int kQryLogClientHeight = 479;
inline constexpr int kGridColumns = 9;
// Posted by the grid when rows it read were found gone: it takes the new row count after its paint.
inline constexpr UINT WM_QRY_ROWSLEFT = WM_APP + 1;

// Control ids of TForm_qryLog.
enum QryLogId : int {
  IDC_QRY_GROUP = 1501,
  IDC_CKBN, IDC_CKBS, IDC_CKBM, IDC_CKBDATE, IDC_CKBA, IDC_CKBI, IDC_CKBD, IDC_CKBD2, IDC_CKBALL,
  IDC_EDTN, IDC_EDTS, IDC_EDTM, IDC_EDTA, IDC_EDTI, IDC_EDTD,
  IDC_DTPDS, IDC_DTPDE, IDC_EDTD1, IDC_EDTD2,
  IDC_BTNQRY, IDC_BTNEXCEL, IDC_BTNPRINT, IDC_BTNDEL, IDC_BTNCLOSE,
  IDC_CARD_GROUP,
  IDC_EDTNAME, IDC_EDTSEX, IDC_EDTNATION, IDC_EDTBIRH, IDC_EDTADDR, IDC_EDTID, IDC_EDTSENDDEP,
  IDC_EDTEXPIRE, IDC_IMAGE,
  IDC_DBLOGQRY,
  IDC_QRY_LABEL,  // the captions of the inputs share one id
};

// What the export says instead of "导出成功！" when the worksheet's row limit left rows out.
std::wstring ExportCutText(int written, int left);

class TForm_qryLog : public win::CodeDialog {
 public:
  explicit TForm_qryLog(TdataMd& dm);
  ~TForm_qryLog() override;

  // Modal, as the main window opens it; owner is disabled meanwhile.
  INT_PTR ShowModal(HWND owner = nullptr) { return DoModal(owner); }

  // Event handlers.
  void btnQryClick();
  void btnExcelClick();
  void btndelClick();
  void btnCloseClick();
  void btnPrintClick();
  void DSLogQryDataChange();
  void ShowCurrentRecord();

  // Prints count records from the current one backwards, on one page of one job.
  void PrintCardCopies(int count);

  TdataMd& DataModule() const { return dm_; }
  // The selection of the last query; empty before it and for "全部".
  std::string WhereClause;
  // Copies the record print asks for (0 until its dialog chose).
  int PrintCount = 0;
  // Hidden work images of the record print: the copy of the record printed last.
  Picture imgPic;
  Picture imgBk;
  // The photo that `image` shows (empty when none) and the image's size, which is the photo's.
  const Picture& ImagePhoto() const { return photo_; }
  SIZE ImageSize() const;
  COLORREF TransparentColor() const { return transparent_; }

  // Controls (borrowed from the window).
  win::CheckBox ckbN, ckbS, ckbM, ckbDate, ckbA, ckbI, ckbD, ckbD2, ckbAll;
  win::EditBox edtN, edtS, edtM, edtA, edtI, edtD;
  win::DatePicker dtpDS, dtpDE, edtD1, edtD2;
  win::Button btnQry, btnExcel, btnPrint, btndel, btnClose;
  win::EditBox edtName, edtSex, edtNation, edtBirh, edtAddr, edtId, edtSendDep, edtExpire;
  win::Control image;
  win::ListView DBLogQry;

 protected:
  BOOL OnInitDialog() override;
  win::CommandTable Commands() const override;
  win::MessageTable Messages() const override;
  void RunEvent(const std::function<void()>& handler) override { RunHandler(handler); }
  // Enter gives IDOK: this window has no default button, so it does nothing.
  void OnOK() override {}
  std::optional<LRESULT> OnNotify(const NMHDR& nm) override;
  bool OnDrawItem(const DRAWITEMSTRUCT& item) override;
  void OnDestroy() override;

 private:
  void CreateControls();
  void DrawImage(const DRAWITEMSTRUCT& dis) const;
  std::string PickerText(const win::DatePicker& p) const;
  void SyncGridSelection();
  LRESULT OnRowsLeft(WPARAM, LPARAM);

  TdataMd& dm_;
  bool syncing_ = false;
  bool rowsLeftPosted_ = false;
  Picture photo_;
  COLORREF transparent_ = CLR_INVALID;
  win::UniqueFont font_;
  win::UniqueFont fixedFont_;
};

}  // namespace qx::kestrin
