// Unit qryLog: the record query window.
#include "qryLog.h"

#include <commdlg.h>

#include <exception>
#include <utility>

#include "Program.h"
#include "QueryText.h"
#include "SetPrint.h"
#include "CardFace.h"
#include "dbToExcel.h"
#include "win/Text.h"

namespace qx::kestrin {
namespace {

// Grid columns: field, title, width (-1: the control's default).
struct GridColumn {
  const char* field;
  const wchar_t* title;
  int width;
};
constexpr GridColumn kGrid[kGridColumns] = {
    {"Fid", L"ID", 28},           {"Fdate", L"记录时间", 62}, {"FNo", L"身份证号", -1},
    {"FName", L"姓名", -1},       {"FSex", L"性别", -1},       {"FMZ", L"民族", -1},
    {"FBirth", L"出生年月", -1},  {"FAddress", L"地址", -1},   {"FSendDep", L"签发机关", -1},
};

RECT Box(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

BOOL CALLBACK SetFontOf(HWND child, LPARAM font) {
  ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
  return TRUE;
}

}  // namespace

TForm_qryLog::TForm_qryLog(TdataMd& dm)
    : CodeDialog(kQryLogCaption, DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                 kQryLogClientWidth, kQryLogClientHeight),
      dm_(dm) {}

TForm_qryLog::~TForm_qryLog() {
  dm_.qrylog.SetOnDataChange(nullptr);
  if (exists()) ::DestroyWindow(hwnd());
}

SIZE TForm_qryLog::ImageSize() const {
  RECT r{};
  if (image) ::GetWindowRect(image.hwnd(), &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

BOOL TForm_qryLog::OnInitDialog() {
  CreateControls();
  // The grid follows qrylog from now on: it shows at once whatever the query holds. A refresh
  // that fails ends the operation that moved the query, which reports it: a print goes on no
  // further from fields that still hold the record before. Only what an append brings is the
  // window's own to report: failing the append, the card would be logged again.
  dm_.qrylog.SetOnDataChange([this] {
    if (dm_.Appending())
      RunHandler([this] { DSLogQryDataChange(); });
    else
      DSLogQryDataChange();
  });
  RunHandler([this] {
    data::Query& q = dm_.qrylog;
    if (q.Active() && q.State() == data::DatasetState::Browse && !q.IsEmpty())
      q.First();  // tells DSLogQryDataChange when it moves
    DSLogQryDataChange();
  });
  return TRUE;
}

void TForm_qryLog::CreateControls() {
  HWND h = hwnd();
  font_.reset(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
  fixedFont_.reset(::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 FIXED_PITCH | FF_MODERN, L"Courier New"));

  // Left panel, 257 wide: the conditions, then the buttons.
  win::Button::Create(h, IDC_QRY_GROUP, L"组合条件", Box(8, 6, 241, 300), BS_GROUPBOX);
  struct TextRow {
    win::CheckBox* box;
    int boxId;
    const wchar_t* caption;
    win::EditBox* edit;
    int editId;
  };
  struct DateRow {
    win::CheckBox* box;
    int boxId;
    const wchar_t* caption;
    win::DatePicker* from;
    int fromId;
    win::DatePicker* to;
    int toId;
  };
  int y = 26;
  const int step = 30;
  auto textRow = [&](const TextRow& r) {
    *r.box = win::CheckBox::Create(h, r.boxId, r.caption, Box(16, y, 76, 20));
    *r.edit = win::EditBox::Create(h, r.editId, L"", Box(96, y, 144, 21));
    y += step;
  };
  auto dateRow = [&](const DateRow& r) {
    *r.box = win::CheckBox::Create(h, r.boxId, r.caption, Box(16, y, 76, 20));
    *r.from = win::DatePicker::Create(h, r.fromId, Box(96, y, 66, 21));
    win::Label::Create(h, IDC_QRY_LABEL, L"至", Box(164, y + 3, 12, 16));
    *r.to = win::DatePicker::Create(h, r.toId, Box(176, y, 66, 21));
    y += step;
  };
  textRow({&ckbN, IDC_CKBN, L"姓名", &edtN, IDC_EDTN});
  textRow({&ckbS, IDC_CKBS, L"性别", &edtS, IDC_EDTS});
  textRow({&ckbM, IDC_CKBM, L"民族", &edtM, IDC_EDTM});
  dateRow({&ckbDate, IDC_CKBDATE, L"出生日期", &dtpDS, IDC_DTPDS, &dtpDE, IDC_DTPDE});
  textRow({&ckbA, IDC_CKBA, L"住址", &edtA, IDC_EDTA});
  textRow({&ckbI, IDC_CKBI, L"身份证号", &edtI, IDC_EDTI});
  textRow({&ckbD, IDC_CKBD, L"签发机关", &edtD, IDC_EDTD});
  dateRow({&ckbD2, IDC_CKBD2, L"验证日期", &edtD1, IDC_EDTD1, &edtD2, IDC_EDTD2});
  ckbAll = win::CheckBox::Create(h, IDC_CKBALL, L"全部", Box(16, y, 76, 20));
  dtpDS.SetDate(2006, 7, 25);
  dtpDE.SetDate(2006, 7, 25);
  edtD1.SetDate(2009, 3, 2);
  edtD2.SetDate(2009, 3, 3);

  btnQry = win::Button::Create(h, IDC_BTNQRY, L"查询(&Q)", Box(24, 324, 96, 28));
  btnExcel = win::Button::Create(h, IDC_BTNEXCEL, L"导出(&X)", Box(136, 324, 96, 28));
  btnPrint = win::Button::Create(h, IDC_BTNPRINT, L"打印(&P)", Box(24, 364, 96, 28));
  btndel = win::Button::Create(h, IDC_BTNDEL, L"删除(&D)", Box(136, 364, 96, 28));
  btnClose = win::Button::Create(h, IDC_BTNCLOSE, L"关闭(&C)", Box(80, 404, 96, 28));

  // Right: the card details above the grid.
  win::Button::Create(h, IDC_CARD_GROUP, L"身份证信息", Box(265, 6, 472, 186), BS_GROUPBOX);
  auto detail = [&](const wchar_t* caption, int x, int yy, int w, int id) {
    win::Label::Create(h, IDC_QRY_LABEL, caption, Box(x, yy + 3, 50, 16));
    return win::EditBox::Create(h, id, L"", Box(x + 50, yy, w, 21), true);
  };
  edtName = detail(L"姓名", 275, 26, 100, IDC_EDTNAME);
  edtSex = detail(L"性别", 430, 26, 36, IDC_EDTSEX);
  edtNation = detail(L"民族", 275, 52, 100, IDC_EDTNATION);
  edtBirh = detail(L"出生", 430, 52, 90, IDC_EDTBIRH);
  edtAddr = detail(L"住址", 275, 78, 295, IDC_EDTADDR);
  edtId = detail(L"身份码号", 275, 104, 295, IDC_EDTID);
  edtSendDep = detail(L"签发机关", 275, 130, 295, IDC_EDTSENDDEP);
  edtExpire = detail(L"有效期限", 275, 156, 295, IDC_EDTEXPIRE);
  // Sized to its photo by ShowCurrentRecord; drawn here, transparently.
  image = win::Control(::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW,
                                         628, 24, 92, 109, h,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_IMAGE)),
                                         ::GetModuleHandleW(nullptr), nullptr));

  DBLogQry = win::ListView::CreateVirtualReport(h, IDC_DBLOGQRY, Box(265, 198, 472, 273));
  for (const GridColumn& c : kGrid) DBLogQry.AddColumn(c.title, c.width);

  ::EnumChildWindows(h, &SetFontOf, reinterpret_cast<LPARAM>(font_.get()));
  edtId.SetFont(fixedFont_.get());
}

win::CommandTable TForm_qryLog::Commands() const {
  static const win::CommandEntry kCommands[] = {
      win::Command(IDC_BTNQRY, &TForm_qryLog::btnQryClick),
      win::Command(IDC_BTNEXCEL, &TForm_qryLog::btnExcelClick),
      win::Command(IDC_BTNDEL, &TForm_qryLog::btndelClick),
      win::Command(IDC_BTNCLOSE, &TForm_qryLog::btnCloseClick),
      win::Command(IDC_BTNPRINT, &TForm_qryLog::btnPrintClick),
  };
  return kCommands;
}

win::MessageTable TForm_qryLog::Messages() const {
  static const win::MessageEntry kMessages[] = {
      win::Message(WM_QRY_ROWSLEFT, &TForm_qryLog::OnRowsLeft),
  };
  return kMessages;
}

bool TForm_qryLog::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlID != IDC_IMAGE) return false;
  DrawImage(item);
  return true;
}

void TForm_qryLog::OnDestroy() {
  // qrylog outlives the window.
  dm_.qrylog.SetOnDataChange(nullptr);
}

std::optional<LRESULT> TForm_qryLog::OnNotify(const NMHDR& nm) {
  if (nm.idFrom != IDC_DBLOGQRY) return 0;
  if (nm.code == LVN_GETDISPINFOW) {
    auto& info = *reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&nm));
    // The grid asks for the rows it paints; the query reads them from the store on demand.
    const int row = info.item.iItem, col = info.item.iSubItem;
    // A row that cannot be read paints empty: a message box per painted cell helps no one.
    std::wstring text;
    try {
      data::Query& q = dm_.qrylog;
      const data::Field* f = q.Active() && col >= 0 && col < kGridColumns ? q.FindField(kGrid[col].field) : nullptr;
      if (f) text = FromGbk(q.TextAt(row, f->Index()));
      // Rows found gone as the query read them have left it: the grid takes the new count once
      // this paint is over, not in the middle of it.
      if (q.Active() && q.RecordCount() != DBLogQry.RowCount() && !rowsLeftPosted_)
        rowsLeftPosted_ = ::PostMessageW(hwnd(), WM_QRY_ROWSLEFT, 0, 0) != FALSE;
    } catch (...) {
      text.clear();
    }
    win::FillDispText(info, text);
    return 0;
  }
  if (nm.code == LVN_ITEMCHANGED && !syncing_) {
    const auto& lv = reinterpret_cast<const NMLISTVIEW&>(nm);
    const bool selected = (lv.uNewState & LVIS_SELECTED) && !(lv.uOldState & LVIS_SELECTED);
    if (selected && lv.iItem >= 0) {
      // The grid moves the query; the query's data change brings the details.
      RunHandler([&] {
        data::Query& q = dm_.qrylog;
        if (q.Active() && q.RecordNo() > 0) q.MoveBy(lv.iItem + 1 - q.RecordNo());
      });
    }
  }
  return 0;
}

std::string TForm_qryLog::PickerText(const win::DatePicker& p) const {
  const SYSTEMTIME st = p.Value();
  wchar_t date[80] = {}, time[80] = {};
  ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 80);
  ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 80);
  const bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
  return PickerDateText(Gbk(date), Gbk(time), midnight);
}

void TForm_qryLog::btnQryClick() {
  QueryConditions c;
  c.ckbN = ckbN.IsChecked();
  c.ckbS = ckbS.IsChecked();
  c.ckbM = ckbM.IsChecked();
  c.ckbDate = ckbDate.IsChecked();
  c.ckbA = ckbA.IsChecked();
  c.ckbI = ckbI.IsChecked();
  c.ckbD = ckbD.IsChecked();
  c.ckbD2 = ckbD2.IsChecked();
  c.ckbAll = ckbAll.IsChecked();
  if (!AnyConditionChecked(c)) {
    ShowMessage(L"请选择查询条件！");
    return;
  }
  c.edtN = Gbk(edtN.Text());
  c.edtS = Gbk(edtS.Text());
  c.edtM = Gbk(edtM.Text());
  c.edtA = Gbk(edtA.Text());
  c.edtI = Gbk(edtI.Text());
  c.edtD = Gbk(edtD.Text());
  c.dtpDS = PickerText(dtpDS);
  c.dtpDE = PickerText(dtpDE);
  c.edtD1 = PickerText(edtD1);
  c.edtD2 = PickerText(edtD2);
  WhereClause = BuildWhereClause(c);

  data::Query& q = dm_.qrylog;
  q.Close();
  q.SetSql(BrowseSql(WhereClause));
  q.Open();

  data::Query& out = dm_.qryOutPut;
  out.Close();
  out.SetSql(ExportSql(WhereClause));
  out.Open();
}

void TForm_qryLog::btndelClick() {
  dm_.qrylog.Delete();
  dm_.qrylog.Requery();
}

void TForm_qryLog::btnExcelClick() {
  wchar_t file[MAX_PATH * 2] = {};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd();
  ofn.lpstrFilter = L"xls\0*.xls\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH * 2;
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (!::GetSaveFileNameW(&ofn)) return;

  dm_.qryOutPut.Requery();
  // Appended whatever the name ends with: "a.xls" becomes "a.xls.xls".
  const std::wstring name = std::wstring(file) + L".xls";
  biff::SheetStats written;
  {
    TDS2Excel exporter(dm_.qryOutPut);
    written = exporter.ExportToFile(name, true);
  }
  if (!written.rowsDropped) {
    ShowMessage(L"导出成功！");
    return;
  }
  // The sheet ends at its last row number: say what did not fit rather than plain success.
  const int left = dm_.qryOutPut.RecordCount() - static_cast<int>(written.rows);
  ShowMessage(ExportCutText(static_cast<int>(written.rows), left));
}

std::wstring ExportCutText(int written, int left) {
  return L"已导出" + std::to_wstring(written) + L"条记录，超出工作表的行数上限，另有" + std::to_wstring(left) +
         L"条记录未导出！";
}

void TForm_qryLog::btnCloseClick() { EndDialog(IDCANCEL); }

void TForm_qryLog::btnPrintClick() {
  {
    TfrmSetPrint dialog(&PrintCount);
    dialog.ShowModal(hwnd());
  }
  if (PrintCount == 0) return;
  if (dm_.qrylog.RecordCount() < PrintCount) {
    ShowMessage(RecordShortageText(PrintCount));
    return;
  }
  PrintCardCopies(PrintCount);
}

void TForm_qryLog::PrintCardCopies(int count) {
  // The layout of every copy follows the photo shown when the print began.
  const int w = photo_.Empty() ? 102 : photo_.Width();
  const int h = photo_.Empty() ? 126 : photo_.Height();
  const POINT ppi = WindowPpi(hwnd());
  data::Query& q = dm_.qrylog;
  PrintJob job;
  int top = 60;
  for (int i = 1; i <= count; ++i) {
    CardFields f;
    f.edtName = Gbk(edtName.Text());
    f.edtSex = Gbk(edtSex.Text());
    f.edtNation = Gbk(edtNation.Text());
    f.edtBirh = Gbk(edtBirh.Text());
    f.edtAddr = Gbk(edtAddr.Text());
    f.edtId = Gbk(edtId.Text());
    f.edtSendDep = Gbk(edtSendDep.Text());
    f.edtExpire = Gbk(edtExpire.Text());
    CardCopyImages copy = ComposeCopyImagesSized(ProgramFile(L"bkF.bmp"), ProgramFile(L"bkB.bmp"), w, h,
                                                 photo_, f);
    imgPic = std::move(copy.front);
    imgBk = std::move(copy.back);
    DrawRecordCopy(job.Dc(), imgPic, imgBk, PrintScale(job.PpiX(), ppi.x), PrintScale(job.PpiY(), ppi.y), top);
    if (i < count) {
      top += imgPic.Height() + 120;
      // Moving the query shows the earlier record in the fields and the photo; one that cannot
      // be shown ends the print here, with the job ended on the copies drawn so far.
      q.Prior();
      if (q.Bof()) break;
    }
  }
  job.End();
  ShowMessage(kPrintDone);
}

void TForm_qryLog::SyncGridSelection() {
  const data::Query& q = dm_.qrylog;
  const int at = q.Active() && q.State() == data::DatasetState::Browse ? q.RecordNo() : 0;
  syncing_ = true;
  DBLogQry.SelectOnly(at > 0 ? at - 1 : -1);
  syncing_ = false;
}

LRESULT TForm_qryLog::OnRowsLeft(WPARAM, LPARAM) {
  rowsLeftPosted_ = false;
  DSLogQryDataChange();
  return 0;
}

void TForm_qryLog::DSLogQryDataChange() {
  if (!hwnd()) return;
  // Rows may have come, gone or changed: the grid paints its visible rows again.
  const data::Query& q = dm_.qrylog;
  const int rows = q.Active() ? q.RecordCount() : 0;
  if (rows != DBLogQry.RowCount())
    DBLogQry.SetRowCount(rows);
  else
    ::InvalidateRect(DBLogQry.hwnd(), nullptr, FALSE);
  SyncGridSelection();
  ShowCurrentRecord();
}

void TForm_qryLog::ShowCurrentRecord() {
  TShowCardLine card;
  dm_.LoadLogRecord(card);
  edtName.SetText(FromGbk(card.PersonName));
  edtSex.SetText(FromGbk(card.SexText));
  edtNation.SetText(FromGbk(card.NationText));
  edtId.SetText(FromGbk(card.IdNumber));
  edtBirh.SetText(FromGbk(card.BirthDate));
  edtAddr.SetText(FromGbk(card.AddressText));
  edtSendDep.SetText(FromGbk(card.Authority));
  edtExpire.SetText(FromGbk(card.ValidFrom + "-" + card.ValidTo));
  photo_ = std::move(card.CardPhoto);
  transparent_ = photo_.Pixel(0, 0);
  // The photo shows at its own size in place of the design size.
  ::SetWindowPos(image.hwnd(), nullptr, 0, 0, photo_.Width(), photo_.Height(),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(image.hwnd(), nullptr, TRUE);
}

void TForm_qryLog::DrawImage(const DRAWITEMSTRUCT& dis) const {
  ::FillRect(dis.hDC, &dis.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
  if (photo_.Empty()) return;
  win::UniqueMemDc mem(::CreateCompatibleDC(dis.hDC));
  win::SelectGuard keep(mem.get(), photo_.Handle());
  ::TransparentBlt(dis.hDC, 0, 0, photo_.Width(), photo_.Height(), mem.get(), 0, 0, photo_.Width(),
                   photo_.Height(), transparent_);
}

}  // namespace qx::kestrin
