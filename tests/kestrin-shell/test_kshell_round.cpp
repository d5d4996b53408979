// Kestrin.exe as the build lays it out (the program, its templates, the empty log store, the
// data link and "reader.ini", copied to a folder of their own) through one round of an
// operator's work, driven from outside through its menu commands: verify a card, print its
// copy and its document page, find it in the record query, export the selection, end. What
// the desk wrote is read back by readers of its own: SQLite linked here directly for the
// store, poppler for the printed PDFs, python3-xlrd for the worksheet.
#include <windows.h>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "PrintLayout.h"
#include "ShellTest.h"
#include "Spooler.h"
#include "TestSupport.h"
#include "qryLog.h"
#include "resource.h"

using namespace qx::test;
using namespace kshell_test;

namespace {

const DWORD kWaitMs = 20000;
// What an installed desk holds beside the program.
const wchar_t* const kDeskFiles[] = {L"Kestrin.exe", L"sdtapi.dll", L"WltRS.dll",  L"show.bmp",   L"bkF.bmp",
                                     L"bkB.bmp",     L"da.bmp",     L"TLog.db",    L"DBLink.udl", L"reader.ini"};
const char kScenario[] =
    "[reader]\nports = 1001\n[card]\nname = 张三\nsex = 1\nnation = 01\nbirth = 19800101\n"
    "address = 北京市东城区景山前街4号\nid = 110101198001010011\nauthority = 北京市公安局东城分局\n"
    "valid_start = 20060101\nvalid_end = 20260101\n";
const char kName[] = "张三";
const char kId[] = "110101198001010011";
const char kAddress[] = "北京市东城区景山前街4号";
const char kAuthority[] = "北京市公安局东城分局";

// The store's texts as an outside reader sees them: UTF-8 where the bytes are valid UTF-8,
// else the program's code page (936).
std::string StoredText(const unsigned char* bytes, int size) {
  const std::string raw(reinterpret_cast<const char*>(bytes), bytes ? static_cast<size_t>(size) : 0);
  if (raw.empty()) return raw;
  const bool utf8 = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, raw.data(), static_cast<int>(raw.size()),
                                          nullptr, 0) > 0;
  return utf8 ? raw : GbkToUtf8(raw);
}

using Row = std::map<std::string, std::string>;

// The rows of TLog, read through SQLite itself, not through the desk's data layer. Text
// columns by name; "FPhoto" gives the photo's first two bytes and its size.
std::optional<std::vector<Row>> StoreRows(const std::wstring& db, std::string* error) {
  sqlite3* h = nullptr;
  std::vector<Row> rows;
  int rc = sqlite3_open_v2(Utf8(db).c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(h, 5000);
    rc = sqlite3_prepare_v2(h, "SELECT * FROM TLog ORDER BY FId", -1, &st, nullptr);
  }
  while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
    Row row;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      const std::string name = sqlite3_column_name(st, i);
      if (sqlite3_column_type(st, i) == SQLITE_BLOB) {
        const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
        const int n = sqlite3_column_bytes(st, i);
        row[name] = (n >= 2 ? std::string(reinterpret_cast<const char*>(b), 2) : std::string()) + " " +
                    std::to_string(n);
      } else {
        row[name] = StoredText(sqlite3_column_text(st, i), sqlite3_column_bytes(st, i));
      }
    }
    rows.push_back(row);
    rc = SQLITE_OK;
  }
  const bool ok = rc == SQLITE_DONE;
  if (!ok && error) *error = h ? sqlite3_errmsg(h) : sqlite3_errstr(rc);
  sqlite3_finalize(st);
  sqlite3_close(h);
  if (!ok) return std::nullopt;
  return rows;
}

std::string TodayText() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
  return buf;
}

// A copy template of the desk: its size, and the colours of its corners, which the
// composition leaves as they are.
struct TemplateLook {
  int width = 0, height = 0;
  COLORREF topLeft = 0, bottomRight = 0;
};
std::optional<TemplateLook> LookOf(const std::wstring& bmp) {
  HBITMAP b = static_cast<HBITMAP>(::LoadImageW(nullptr, bmp.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  if (!b) return std::nullopt;
  BITMAP info{};
  ::GetObjectW(b, sizeof info, &info);
  HDC dc = ::CreateCompatibleDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, b);
  TemplateLook t{info.bmWidth, info.bmHeight, ::GetPixel(dc, 0, 0), ::GetPixel(dc, info.bmWidth - 1, info.bmHeight - 1)};
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  ::DeleteObject(b);
  return t;
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}
const COLORREF kPaper = RGB(255, 255, 255);

// A dialog of pid other than a message box; the save dialog has no title we rely on.
HWND PlainDialogOf(DWORD pid, HWND except) {
  HWND w = nullptr;
  while ((w = ::FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr)
    if (w != except && PidOf(w) == pid && ::IsWindowVisible(w) && !::GetDlgItem(w, 0xFFFF)) return w;
  return nullptr;
}

class KestrinDesk : public ::testing::Test, protected DeskFolders {
 protected:
  KestrinDesk() : DeskFolders(L"kdesk") {}

  void SetUp() override {
    for (const wchar_t* f : kDeskFiles)
      ASSERT_TRUE(CopyFileTo(BinDir() + L"\\" + f, app_ + L"\\" + f)) << "not laid by the build: " << Utf8(f);
    ASSERT_TRUE(WriteText(scenario_, kScenario));
  }


  // The main window once visible; any message box on the way is a failure.
  HWND WaitForMain(Process& p) {
    HWND main = nullptr;
    WaitUntil([&] {
      if (HWND box = MessageBoxOf(p.pid())) ADD_FAILURE() << "box at start: " << Utf8(AnswerBox(box).text);
      main = FindOf(p.pid(), L"TForm_main");
      return (main && ::IsWindowVisible(main)) || !p.Running();
    }, kWaitMs);
    return main && ::IsWindowVisible(main) ? main : nullptr;
  }

  // The one message box the command brings (its text); empty when none came.
  std::wstring AnswerNextBox(DWORD pid) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = MessageBoxOf(pid)) != nullptr; }, kWaitMs)) return L"";
    return AnswerBox(box).text;
  }

  std::wstring db() const { return app_ + L"\\TLog.db"; }

};

TEST_F(KestrinDesk, LaidStoreHoldsTheEmptyLogAndItsLinkNamesIt) {
  std::string error;
  const auto rows = StoreRows(db(), &error);
  ASSERT_TRUE(rows.has_value()) << error;
  EXPECT_TRUE(rows->empty());
  // UTF-16LE with its byte-order mark, the "[oledb]" line, then the link to the file beside it.
  const std::string udl = ReadText(app_ + L"\\DBLink.udl");
  ASSERT_GE(udl.size(), 2u);
  EXPECT_EQ(udl.substr(0, 2), "\xFF\xFE");
  const std::string text = Utf8(std::wstring(reinterpret_cast<const wchar_t*>(udl.data() + 2), (udl.size() - 2) / 2));
  EXPECT_EQ(text.find("[oledb]"), 0u) << text;
  EXPECT_NE(text.find("Data Source=TLog.db"), std::string::npos) << text;
  EXPECT_EQ(ReadText(app_ + L"\\reader.ini").substr(0, 20), "[READER]\r\nPORT=USB\r\n");
}

TEST_F(KestrinDesk, OperatorRoundVerifiesLogsPrintsFindsExportsAndEnds) {
  using namespace qx::kestrin;
  Process p;
  ASSERT_TRUE(Start(p));
  HWND main = WaitForMain(p);
  ASSERT_NE(main, nullptr);
  HWND bar = ::GetDlgItem(main, IDC_SB);
  // The shipped "reader.ini" names the USB reader, which the simulator answers on 1001.
  EXPECT_EQ(RemotePanelText(bar, 0).rfind(W("读卡器连接成功!"), 0), 0u) << Utf8(RemotePanelText(bar, 0));

  // Verify: the card shows and its row reaches the store.
  ::PostMessageW(main, WM_COMMAND, IDM_NCHK, 0);
  ASSERT_TRUE(WaitUntil([&] { return RemotePanelText(bar, 1) == W("身份验证成功!"); }, kWaitMs))
      << Utf8(RemotePanelText(bar, 1));
  std::string error;
  std::optional<std::vector<Row>> rows = StoreRows(db(), &error);
  ASSERT_TRUE(rows.has_value()) << error;
  ASSERT_EQ(rows->size(), 1u);
  const Row& r = rows->front();
  EXPECT_EQ(r.at("FName"), kName);
  EXPECT_EQ(r.at("FNo"), kId);
  EXPECT_EQ(r.at("FSex"), "男");
  EXPECT_EQ(r.at("FMZ"), "汉");
  EXPECT_EQ(r.at("FBirth"), "1980-01-01");
  EXPECT_EQ(r.at("FAddress"), kAddress);
  EXPECT_EQ(r.at("FSendDep"), kAuthority);
  EXPECT_EQ(r.at("FBegin"), "2006.01.01");
  EXPECT_EQ(r.at("FEnd"), "2026.01.01");
  EXPECT_EQ(r.at("FDate").substr(0, 10), TodayText());
  EXPECT_EQ(r.at("FPhoto").substr(0, 3), "BM ");

  // Card print and document print, each one job on the default printer: the private spooler.
  const std::optional<Spooler> spooler = Spooler::FromEnvironment();
  ASSERT_TRUE(spooler) << "the test command gives the spooler";
  const std::optional<PrinterGeometry> g = DefaultPrinter();
  ASSERT_TRUE(g) << "no default printer";
  ASSERT_TRUE(spooler->Clear());
  ::PostMessageW(main, WM_COMMAND, IDM_NPRINT, 0);
  EXPECT_EQ(AnswerNextBox(p.pid()), W("打印成功！"));
  std::vector<std::string> pdfs = spooler->WaitForPdfs(1);
  ASSERT_EQ(pdfs.size(), 1u);
  // The copy pictures are pictures on paper: the templates' corners stand where the card
  // print puts the front and, below it, the back, with paper around them.
  std::optional<Raster> rendered = spooler->Render(pdfs[0], g->ppiX);
  ASSERT_TRUE(rendered);
  const PrintedPage card{*g, std::move(*rendered)};
  const std::optional<TemplateLook> front = LookOf(app_ + L"\\bkF.bmp"), back = LookOf(app_ + L"\\bkB.bmp");
  ASSERT_TRUE(front && back);
  const CopyRects at = CardPrintRects(PrintScale(g->ppiX, 96), PrintScale(g->ppiY, 96),
                                      {front->width, front->height, back->width, back->height});
  auto paper = [&](int x, int y) { return card.At(x, y); };
  for (const auto& [rect, look] : {std::pair{at.front, *front}, std::pair{at.back, *back}}) {
    EXPECT_TRUE(Near(paper(rect.left + 3, rect.top + 3), look.topLeft, 40));
    EXPECT_TRUE(Near(paper(rect.right - 4, rect.bottom - 4), look.bottomRight, 40));
    EXPECT_TRUE(Near(paper(rect.left - 4, rect.top - 4), kPaper, 24));
    EXPECT_TRUE(Near(paper(rect.right + 8, rect.bottom + 8), kPaper, 24));
  }

  ASSERT_TRUE(spooler->Clear());
  ::PostMessageW(main, WM_COMMAND, IDM_FILEPRINT, 0);
  EXPECT_EQ(AnswerNextBox(p.pid()), W("打印成功！"));
  pdfs = spooler->WaitForPdfs(1);
  ASSERT_EQ(pdfs.size(), 1u);
  const std::string page = spooler->Text(pdfs[0]);
  for (const char* text : {kName, kId, "1980-01-01", kAddress, kAuthority, "2006.01.01-2026.01.01"})
    EXPECT_NE(page.find(text), std::string::npos) << text << " not in: " << page;
  EXPECT_EQ(MessageBoxOf(p.pid()), nullptr);

  // The record query finds the row.
  ::PostMessageW(main, WM_COMMAND, IDM_Y1, 0);
  HWND qry = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    qry = FindOf(p.pid(), L"#32770", kQryLogCaption);
    return qry && ::IsWindowVisible(qry) && ::GetDlgItem(qry, IDC_DBLOGQRY);
  }, kWaitMs));
  ::PostMessageW(::GetDlgItem(qry, IDC_CKBALL), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return RemoteSend(::GetDlgItem(qry, IDC_CKBALL), BM_GETCHECK) == BST_CHECKED; },
                        kWaitMs));
  ::PostMessageW(::GetDlgItem(qry, IDC_BTNQRY), BM_CLICK, 0, 0);
  HWND grid = ::GetDlgItem(qry, IDC_DBLOGQRY);
  ASSERT_TRUE(WaitUntil([&] { return RemoteText(::GetDlgItem(qry, IDC_EDTID)) == W(kId); }, kWaitMs))
      << Utf8(RemoteText(::GetDlgItem(qry, IDC_EDTID)));
  EXPECT_EQ(RemoteSend(grid, LVM_GETITEMCOUNT), 1);
  EXPECT_EQ(RemoteText(::GetDlgItem(qry, IDC_EDTNAME)), W(kName));
  EXPECT_EQ(MessageBoxOf(p.pid()), nullptr);

  // Export: the save dialog takes a name, the exporter adds ".xls".
  ::PostMessageW(::GetDlgItem(qry, IDC_BTNEXCEL), BM_CLICK, 0, 0);
  HWND save = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (save = PlainDialogOf(p.pid(), qry)) != nullptr; }, kWaitMs));
  // The file name box of the platform's save dialog: the combo box cmb13, or the edit edt1.
  HWND nameBox = ::GetDlgItem(save, 0x47C);
  if (!nameBox) nameBox = ::GetDlgItem(save, 0x480);
  ASSERT_NE(nameBox, nullptr);
  const std::wstring sheet = sim_ + L"\\log";
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(nameBox) != FALSE; }, kWaitMs));
  DWORD_PTR unused = 0;
  ::SendMessageTimeoutW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(sheet.c_str()), SMTO_ABORTIFHUNG, 5000,
                        &unused);
  ::PostMessageW(save, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(AnswerNextBox(p.pid()), W("导出成功！"));
  ASSERT_TRUE(FileExists(sheet + L".xls"));
  // The file carries no code-page record: its texts are the program's code page.
  const auto xls = RunHostCommand(
      "/usr/bin/python3 -c 'import sys, xlrd\n"
      "s = xlrd.open_workbook(sys.argv[1], encoding_override=\"gbk\").sheet_by_index(0)\n"
      "for r in range(s.nrows): print(\"|\".join(str(v) for v in s.row_values(r)))' '" +
      HostPath(sheet + L".xls") + "'");
  ASSERT_TRUE(xls.has_value());
  ASSERT_EQ(xls->code, 0) << xls->output;
  const std::vector<std::string> lines = SplitLines(xls->output);
  ASSERT_EQ(lines.size(), 2u) << xls->output;
  EXPECT_EQ(lines[0], "ID|身份号码|姓名|性别|民族|出生日期|地址|发证机关|记录时间");
  EXPECT_EQ(lines[1].substr(0, lines[1].rfind('|')),
            "1.0|110101198001010011|张三|男|汉|1980-01-01|北京市东城区景山前街4号|北京市公安局东城分局")
      << lines[1];
  EXPECT_EQ(lines[1].substr(lines[1].rfind('|') + 1, 10), TodayText());

  // Close the query, end the desk.
  ::PostMessageW(::GetDlgItem(qry, IDC_BTNCLOSE), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(qry); }, kWaitMs));
  ::PostMessageW(main, WM_COMMAND, IDM_E1, 0);
  EXPECT_EQ(p.Wait(kWaitMs), std::optional<DWORD>(0));
  EXPECT_EQ(MessageBoxOf(p.pid()), nullptr);
  // The row stays, and the number verified last is kept for the next start.
  rows = StoreRows(db(), &error);
  ASSERT_TRUE(rows.has_value()) << error;
  EXPECT_EQ(rows->size(), 1u);
  EXPECT_NE(GbkToUtf8(ReadText(app_ + L"\\reader.ini")).find(std::string("NUM=") + kId), std::string::npos);
}

}  // namespace
