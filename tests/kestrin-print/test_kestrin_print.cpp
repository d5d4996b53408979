// Kestrin's prints. The pages are drawn into memory DCs and probed pixel by pixel; the
// print-count dialog is driven through its buttons; the card, document and record prints go
// from the main window and the record query window to a private CUPS queue (cups-pdf), and
// the PDFs are read back: pdftotext for the texts and where they stand, pdftoppm for the
// pixels at the printer's reported resolution. The NoPrinter tests run with that spooler
// stopped. The process runs from a folder of its own with the reader simulators, the
// templates and a log store.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "KestrinApp.h"
#include "SetPrint.h"
#include "HeldTimer.h"
#include "ShellTest.h"
#include "Spooler.h"
#include "TestSupport.h"
#include "data/LogFixture.h"
#include "dm.h"
#include "main.h"
#include "qryLog.h"
#include "win/Handle.h"
#include "win/Text.h"

using namespace qx::test;
using namespace kshell_test;
using namespace qx::kestrin;
namespace fixture = qx::data::fixture;

namespace {

const char kId[] = "110101198001010011";
// 35 characters: four address rows, and a whole-address row longer than the page is wide.
const char kLongAddress[] = "北京市东城区景山前街4号故宫博物院内北京市东城区景山前街4号故宫博物院";
const COLORREF kWhite = RGB(255, 255, 255);

std::wstring Home() { return ProgramFile(L""); }  // ends in "\"

bool Near(COLORREF a, COLORREF b, int tolerance) {
  return a != CLR_INVALID && b != CLR_INVALID && std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
         std::abs(GetGValue(a) - GetGValue(b)) <= tolerance && std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}
bool Dark(COLORREF c) { return c != CLR_INVALID && GetRValue(c) < 110 && GetGValue(c) < 110 && GetBValue(c) < 110; }

std::string Rgb(COLORREF c) {
  if (c == CLR_INVALID) return "none";
  return std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," + std::to_string(GetBValue(c));
}

// A picture of one colour, with its top-left 4 x 4 in another (the transparent colour of a photo).
Picture Solid(int w, int h, COLORREF body, COLORREF corner) {
  Picture p = Picture::Create(w, h);
  qx::win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  qx::win::SelectGuard keep(dc.get(), p.Handle());
  qx::win::UniqueBrush b(::CreateSolidBrush(body));
  RECT all{0, 0, w, h};
  ::FillRect(dc.get(), &all, b.get());
  qx::win::UniqueBrush c(::CreateSolidBrush(corner));
  RECT top{0, 0, 4, 4};
  ::FillRect(dc.get(), &top, c.get());
  ::GdiFlush();
  return p;
}

// A white canvas that a drawing function paints into through a memory DC.
Picture Draw(int w, int h, const std::function<void(HDC)>& paint) {
  Picture canvas = Picture::Create(w, h);
  qx::win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  {
    qx::win::SelectGuard keep(dc.get(), canvas.Handle());
    paint(dc.get());
    ::GdiFlush();
  }
  return canvas;
}

// Any dark pixel in the box (text on the page).
bool InkIn(const Picture& p, int left, int top, int right, int bottom) {
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      if (Dark(p.Pixel(x, y))) return true;
  return false;
}

// ---- pages in memory DCs ----------------------------------------------------------------

struct Probe {
  int x, y;
  COLORREF colour;
};

void ExpectProbes(const Picture& canvas, const std::vector<Probe>& probes) {
  for (const Probe& p : probes)
    EXPECT_EQ(Rgb(canvas.Pixel(p.x, p.y)), Rgb(p.colour)) << "at " << p.x << "," << p.y;
}

// Inside each corner of r, and just outside its top-left and bottom-right.
std::vector<Probe> EdgeProbes(const PrintRect& r, COLORREF inside) {
  return {{r.left, r.top, inside},          {r.right - 1, r.top, inside},      {r.left, r.bottom - 1, inside},
          {r.right - 1, r.bottom - 1, inside}, {r.left - 1, r.top - 1, kWhite}, {r.right, r.bottom, kWhite}};
}

struct CardPageCase {
  const char* name;
  int printerPpi;
  PrintRect front, back;  // as the layout puts them, written out
};

class CardPage : public ::testing::TestWithParam<CardPageCase> {};

TEST_P(CardPage, FrontAboveBackStretchedToTheScaledRectangles) {
  const CardPageCase& c = GetParam();
  CardCopyImages images;
  images.front = Solid(333, 219, RGB(200, 40, 40), RGB(200, 40, 40));
  images.back = Solid(333, 219, RGB(40, 40, 200), RGB(40, 40, 200));
  const int k = PrintScale(c.printerPpi, 96);
  const Picture page = Draw(c.back.right + 40, c.back.bottom + 40,
                            [&](HDC dc) { DrawCardPrintPage(dc, images, k, k); });
  std::vector<Probe> probes = EdgeProbes(c.front, RGB(200, 40, 40));
  for (const Probe& p : EdgeProbes(c.back, RGB(40, 40, 200))) probes.push_back(p);
  // The gap of 5 screen pixels between them.
  probes.push_back({c.front.left + 10, (c.front.bottom + c.back.top) / 2, kWhite});
  ExpectProbes(page, probes);
}

INSTANTIATE_TEST_SUITE_P(Cases, CardPage,
                         ::testing::Values(CardPageCase{"Screen", 96, {40, 40, 378, 264}, {40, 269, 378, 493}},
                                           CardPageCase{"Printer300", 300, {124, 124, 1171, 818},
                                                        {124, 833, 1171, 1528}}),
                         [](const ::testing::TestParamInfo<CardPageCase>& i) { return std::string(i.param.name); });

TEST(PrintPages, RecordCopiesStandSideBySideEachHf120BelowTheOneBefore) {
  const COLORREF fronts[] = {RGB(200, 40, 40), RGB(40, 160, 40), RGB(160, 160, 40)};
  const COLORREF backs[] = {RGB(40, 40, 200), RGB(160, 40, 160), RGB(40, 160, 160)};
  std::vector<Picture> f, b;
  for (int i = 0; i < 3; ++i) {
    f.push_back(Solid(333, 219, fronts[i], fronts[i]));
    b.push_back(Solid(333, 219, backs[i], backs[i]));
  }
  const std::vector<int> tops = RecordCopyTops(3, 219);
  ASSERT_EQ(tops, (std::vector<int>{60, 399, 738}));
  const Picture page = Draw(760, 1000, [&](HDC dc) {
    for (int i = 0; i < 3; ++i) DrawRecordCopy(dc, f[i], b[i], 10, 10, tops[i]);
  });
  for (int i = 0; i < 3; ++i) {
    const int top = tops[i];
    ExpectProbes(page, {{30, top, fronts[i]},
                        {367, top + 223, fronts[i]},
                        {368, top, backs[i]},
                        {705, top + 223, backs[i]},
                        {29, top, kWhite},
                        {706, top, kWhite},
                        {200, top - 1, kWhite},
                        {200, top + 224, kWhite}});
  }
}

struct DocCase {
  const char* name;
  std::string address;  // UTF-8
  int rows;
};

class DocumentPageRows : public ::testing::TestWithParam<DocCase> {};

TEST_P(DocumentPageRows, PhotoAndTextsStandAtTheirPixels) {
  const DocCase& c = GetParam();
  CardFields f;
  f.edtName = Gbk("张三");
  f.edtSex = Gbk("男");
  f.edtNation = Gbk("汉");
  f.edtBirh = "1980-01-01";
  f.edtAddr = Gbk(c.address);
  f.edtId = kId;
  f.edtSendDep = Gbk("北京市公安局东城分局");
  f.edtExpire = "2006.01.01-2026.01.01";
  const Picture photo = Solid(102, 126, RGB(200, 30, 30), RGB(0, 255, 0));
  const DocumentPage page = MakeDocumentPage(Home() + L"da.bmp", photo, f, "2026-12-10 09:08:07");
  const Picture shown = RenderDocumentPage(page);
  ASSERT_EQ(shown.Width(), 580);
  ASSERT_EQ(shown.Height(), 880);

  // The photo at (442, 130) at its own size; its corner colour lets the page show through.
  EXPECT_EQ(Rgb(shown.Pixel(442 + 51, 130 + 63)), Rgb(RGB(200, 30, 30)));
  EXPECT_EQ(Rgb(shown.Pixel(442 + 101, 130 + 125)), Rgb(RGB(200, 30, 30)));
  EXPECT_EQ(Rgb(shown.Pixel(442 + 1, 130 + 1)), Rgb(kWhite));
  EXPECT_EQ(Rgb(shown.Pixel(442 + 102, 130 + 126)), Rgb(kWhite));

  // Text of 15 pixels from each row's top: ink in the row, none just above it.
  auto row = [&](int x, int y) { return InkIn(shown, x, y, x + 140, y + 15); };
  for (int y : {105, 130, 155, 267, 342, 367, 442}) {
    EXPECT_TRUE(row(180, y)) << "row " << y;
    // A fourth address row (from 255) runs into the identity number's: they overlap.
    if (y != 267 || c.rows < 4) {
      EXPECT_FALSE(InkIn(shown, 180, y - 9, 320, y - 1)) << "above row " << y;
    }
  }
  EXPECT_TRUE(row(380, 130)) << "nation";
  for (int r = 0; r < 4; ++r) {
    const int y = 180 + 25 * r;
    // The fourth row's box reaches the identity number at 267: it is looked at only when used.
    if (r < c.rows || r < 3) {
      EXPECT_EQ(row(180, y), r < c.rows) << "address row " << r;
    }
  }
  EXPECT_EQ(row(180, 292), c.rows > 0) << "whole address";
  // Nothing left of the texts' column.
  EXPECT_FALSE(InkIn(shown, 100, 100, 178, 460));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DocumentPageRows,
    ::testing::Values(DocCase{"FourRows", kLongAddress, 4},
                      DocCase{"TwoRows", "北京市东城区景山前街4号故宫博物院内", 2},
                      DocCase{"NoAddress", "", 0}),
    [](const ::testing::TestParamInfo<DocCase>& i) { return std::string(i.param.name); });

TEST(PrintPages, DocumentPageStretchesToItsRectangleWhateverItsProportions) {
  TempDir dir(L"kprint-page");
  Solid(580, 880, RGB(90, 160, 90), RGB(90, 160, 90)).SaveToFile(dir / L"da.bmp");
  const DocumentPage page = MakeDocumentPage(dir / L"da.bmp", Picture(), CardFields{}, "");
  const PrintRect r = DocumentPageRect(50, 60);
  ASSERT_EQ(r, (PrintRect{25, 30, 365, 630}));
  const Picture out = Draw(400, 680, [&](HDC dc) { DrawDocumentPage(dc, page, r); });
  ExpectProbes(out, EdgeProbes(r, RGB(90, 160, 90)));
}

TEST(PrintPages, DocumentTextsStopAtThePageEdge) {
  TempDir dir(L"kprint-edge");
  Solid(580, 880, kWhite, kWhite).SaveToFile(dir / L"da.bmp");
  CardFields f;
  f.edtAddr = Gbk(kLongAddress);
  const DocumentPage page = MakeDocumentPage(dir / L"da.bmp", Picture(), f, "");
  // As a printer of 100 pixels per inch has it: the page scaled, with paper right of it.
  const PrintRect r = DocumentPageRect(100, 100);
  const Picture out = Draw(r.right + 300, r.bottom + 50, [&](HDC dc) { DrawDocumentPage(dc, page, r); });
  // The whole-address row (page y 292, 15 pixels high) runs on to page x 705 of 580.
  const int top = r.top + 292 * (r.bottom - r.top) / 880, bottom = r.top + 307 * (r.bottom - r.top) / 880 + 1;
  EXPECT_TRUE(InkIn(out, r.right - 40, top, r.right, bottom)) << "the row up to the edge";
  EXPECT_FALSE(InkIn(out, r.right, top - 10, out.Width(), bottom + 10)) << "the row past the edge";
}

TEST(PrintPages, MissingPagePictureFails) {
  EXPECT_THROW(MakeDocumentPage(Home() + L"no-such-da.bmp", Picture(), CardFields{}, ""), PictureError);
}

// ---- the print-count dialog -------------------------------------------------------------

// Drives the dialog when it comes up: act(dialog), then presses `button` (0: none).
struct DialogDriver {
  std::function<void(TfrmSetPrint&)> act;
  UINT closeWith;  // WM_COMMAND id to click, or WM_CLOSE when 0
};

struct DialogCase {
  const char* name;
  int select;     // item to select first; -2: leave as made; -1: clear all
  bool print;     // btn1, else the closing below
  bool closeBox;  // when not printing: the close box, else btn2
  int expected;
};

class SetPrintDialog : public ::testing::TestWithParam<DialogCase> {};

TEST(SetPrintDialogLook, ItemsAndButtonsWithTheThirdItemSelected) {
  int count = 0;
  TfrmSetPrint dialog(&count);
  std::wstring caption, group, b1, b2;
  std::vector<std::wstring> items;
  int selected = -5;
  BoxWatcher w([&](HWND h, const SeenBox& s) {
    if (s.caption != kSetPrintCaption) return;
    Later(20, [&, h] {
      caption = WindowTextOf(h);
      group = WindowTextOf(::GetDlgItem(h, IDC_RGSETPRINT));
      for (int i = 0; i < 3; ++i) items.push_back(WindowTextOf(::GetDlgItem(h, IDC_RGSETPRINT_1 + i)));
      b1 = WindowTextOf(::GetDlgItem(h, IDC_BTN1));
      b2 = WindowTextOf(::GetDlgItem(h, IDC_BTN2));
      selected = dialog.ItemIndex();
      ::PostMessageW(::GetDlgItem(h, IDC_BTN2), BM_CLICK, 0, 0);
    });
  });
  dialog.ShowModal();
  EXPECT_EQ(caption, W("打印设置"));
  EXPECT_EQ(group, W("设置"));
  EXPECT_EQ(items, (std::vector<std::wstring>{W("打印"), W("打印最近两张"), W("打印最近三张")}));
  EXPECT_EQ(b1, W("打印(&P)"));
  EXPECT_EQ(b2, W("取消(&Q)"));
  EXPECT_EQ(selected, 2);
  EXPECT_TRUE(w.messageBoxes().empty());
}

TEST_P(SetPrintDialog, SetsThePrintCountOfItsQueryWindow) {
  const DialogCase& c = GetParam();
  int count = 7;  // an earlier choice
  TfrmSetPrint dialog(&count);
  BoxWatcher w([&](HWND h, const SeenBox& s) {
    if (s.caption != kSetPrintCaption) return;
    Later(20, [&, h] {
      if (c.select == -1) {
        for (int i = 0; i < 3; ++i) ::SendDlgItemMessageW(h, IDC_RGSETPRINT_1 + i, BM_SETCHECK, BST_UNCHECKED, 0);
      } else if (c.select >= 0) {
        ::SendDlgItemMessageW(h, IDC_RGSETPRINT_1 + c.select, BM_CLICK, 0, 0);
      }
      if (c.print)
        ::PostMessageW(::GetDlgItem(h, IDC_BTN1), BM_CLICK, 0, 0);
      else if (c.closeBox)
        ::PostMessageW(h, WM_CLOSE, 0, 0);
      else
        ::PostMessageW(::GetDlgItem(h, IDC_BTN2), BM_CLICK, 0, 0);
    });
  });
  dialog.ShowModal();
  EXPECT_EQ(count, c.expected);
  EXPECT_FALSE(::IsWindow(dialog.hwnd()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetPrintDialog,
    ::testing::Values(DialogCase{"PrintAsMadeAsksForThree", -2, true, false, 3},
                      DialogCase{"First", 0, true, false, 1}, DialogCase{"Second", 1, true, false, 2},
                      DialogCase{"NoneSelectedKeepsTheCount", -1, true, false, 7},
                      DialogCase{"Cancel", 1, false, false, 0},
                      // The close box is a cancel: an earlier choice is not printed again.
                      DialogCase{"CloseBox", 0, false, true, 0}),
    [](const ::testing::TestParamInfo<DialogCase>& i) { return std::string(i.param.name); });

// ---- the spooler --------------------------------------------------------------------------

// Compares a picture stretched over r with the picture itself, at sample points whose
// neighbourhood is one colour (edges of text and frames depend on rounding).
void ExpectPictureAt(const PrintedPage& page, const Picture& pic, const PrintRect& r, const char* what) {
  const int w = pic.Width(), h = pic.Height();
  int checked = 0;
  for (int sy = 0; sy < 11; ++sy) {
    for (int sx = 0; sx < 11; ++sx) {
      const int tx = 2 + (w - 5) * sx / 10, ty = 2 + (h - 5) * sy / 10;
      const COLORREF want = pic.Pixel(tx, ty);
      bool uniform = true;
      for (int dy = -2; dy <= 2 && uniform; ++dy)
        for (int dx = -2; dx <= 2 && uniform; ++dx) uniform = pic.Pixel(tx + dx, ty + dy) == want;
      if (!uniform) continue;
      const int x = r.left + (2 * tx + 1) * (r.right - r.left) / (2 * w);
      const int y = r.top + (2 * ty + 1) * (r.bottom - r.top) / (2 * h);
      ++checked;
      EXPECT_TRUE(Near(page.At(x, y), want, 40))
          << what << " picture pixel " << tx << "," << ty << " (" << Rgb(want) << ") printed at " << x << "," << y
          << " as " << Rgb(page.At(x, y));
    }
  }
  EXPECT_GE(checked, 40) << what;
  // Its corners stand where the layout puts them: just outside is paper.
  EXPECT_TRUE(Near(page.At(r.left + 3, r.top + 3), pic.Pixel(0, 0), 40)) << what;
  EXPECT_TRUE(Near(page.At(r.left - 4, r.top - 4), kWhite, 24)) << what << " " << Rgb(page.At(r.left - 4, r.top - 4));
  EXPECT_TRUE(Near(page.At(r.right - 4, r.bottom - 4), pic.Pixel(w - 1, h - 1), 40)) << what;
}

class SpoolerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::optional<Spooler> s = Spooler::FromEnvironment();
    ASSERT_TRUE(s) << "QX_SPOOLER_DIR and QX_SPOOLER_SCRIPT are set by the test command";
    spooler_ = *s;
    ASSERT_TRUE(spooler_.Clear());
  }
  // The one PDF the print made, rendered at the printer's resolution.
  std::optional<PrintedPage> PrintedOnce(std::string* path = nullptr) {
    const std::vector<std::string> pdfs = spooler_.WaitForPdfs(1);
    EXPECT_EQ(pdfs.size(), 1u);
    if (pdfs.size() != 1) return std::nullopt;
    if (path) *path = pdfs[0];
    const std::optional<PrinterGeometry> g = DefaultPrinter();
    EXPECT_TRUE(g);
    if (!g) return std::nullopt;
    EXPECT_EQ(g->ppiX, g->ppiY);
    std::optional<Raster> r = spooler_.Render(pdfs[0], g->ppiX);
    EXPECT_TRUE(r);
    if (!r) return std::nullopt;
    return PrintedPage{*g, std::move(*r)};
  }
  Spooler spooler_;
};

// ---- card and document print from the main window ----------------------------------------

class Desk : public SpoolerTest {
 protected:
  void SetUp() override {
    SpoolerTest::SetUp();
    ::DeleteFileW(ProgramFile(L"reader.ini").c_str());
    SetScenario(Reader(Card("张三", kId, "1", "20260101", "北京市东城区景山前街4号故宫博物院内")));
    fixture::LayLogStore(std::filesystem::path(Home()));
    dm_ = std::make_unique<TdataMd>();
    dm_->adoLog.SetConnectionString("FILE NAME=" + Utf8(Home()) + "DBLink.udl");
    dm_->adoLog.SetConnected(true);
    dataMd = dm_.get();
    form_ = std::make_unique<TForm_main>();
    ASSERT_TRUE(form_->Create());
    timeauto_.Watch(form_->hwnd());
    ::ShowWindow(form_->hwnd(), SW_SHOW);
    FlushEvents(30);
    ASSERT_EQ(form_->CurPort, 1);
    BoxWatcher none;
    Command(IDM_NCHK);
    ASSERT_EQ(form_->PanelText(1), W("身份验证成功!"));
    ASSERT_EQ(form_->CopyImages().front.Width(), 333);
  }
  void TearDown() override {
    form_.reset();
    dataMd = nullptr;
    dm_.reset();
  }
  void Command(int id) { ::SendMessageW(form_->hwnd(), WM_COMMAND, id, 0); }
  void Automatic() {
    Command(IDM_NAUTO);
    ASSERT_EQ(form_->AutoFlag, 1);
    ASSERT_TRUE(form_->TimeautoEnabled());
  }
  // Runs a command; answers its message boxes, noting whether the timer ran while each was up.
  std::vector<SeenBox> Run(int id, std::vector<bool>* timerDuringBox = nullptr) {
    BoxWatcher w([&](HWND box, const SeenBox& s) {
      if (!s.messageBox) return;
      if (timerDuringBox) timerDuringBox->push_back(form_->TimeautoEnabled());
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    Command(id);
    FlushEvents(20);
    return w.messageBoxes();
  }

  std::unique_ptr<TdataMd> dm_;
  // timeauto ticks only when a test sends it a tick.
  HeldTimer timeauto_{kTimeautoId};
  std::unique_ptr<TForm_main> form_;
};

TEST_F(Desk, CardPrintSendsFrontAboveBackToTheDefaultPrinter) {
  const std::vector<SeenBox> boxes = Run(IDM_NPRINT);
  EXPECT_EQ(Utf8(BoxTexts(boxes)), "打印成功！|");
  std::optional<PrintedPage> page = PrintedOnce();
  ASSERT_TRUE(page);
  const CardCopyImages& copy = form_->CopyImages();
  const int kx = PrintScale(page->g.ppiX, 96), ky = PrintScale(page->g.ppiY, 96);
  const CopyRects at = CardPrintRects(kx, ky, SizesOf(copy.front, copy.back));
  // The tests' queue prints at cups-pdf's default of 300 pixels per inch, as Wine reports
  // it: the rectangles in its pixels.
  ASSERT_EQ(page->g.ppiX, 300);
  ASSERT_EQ(page->g.ppiY, 300);
  EXPECT_EQ(at.front, (PrintRect{124, 124, 1171, 818}));
  EXPECT_EQ(at.back, (PrintRect{124, 833, 1171, 1528}));
  ExpectPictureAt(*page, copy.front, at.front, "front");
  ExpectPictureAt(*page, copy.back, at.back, "back");
  // The gap between them and the paper beside and below are blank.
  EXPECT_TRUE(Near(page->At(at.front.left + 40, (at.front.bottom + at.back.top) / 2), kWhite, 24));
  EXPECT_TRUE(Near(page->At(at.back.right + 20, at.back.top + 40), kWhite, 24));
  EXPECT_TRUE(Near(page->At(at.back.left + 40, at.back.bottom + 20), kWhite, 24));
}

// Where a point of the page picture lands on paper, in points from the paper's corner.
struct PaperPoint {
  double x, y;
};
PaperPoint OnPaper(const PrinterGeometry& g, PixelPoint pagePixel) {
  const PrintRect r = DocumentPageRect(g.ppiX, g.ppiY);
  const double dx = r.left + static_cast<double>(pagePixel.x) * (r.right - r.left) / 580 + g.offsetX;
  const double dy = r.top + static_cast<double>(pagePixel.y) * (r.bottom - r.top) / 880 + g.offsetY;
  return PaperPoint{dx * 72 / g.ppiX, dy * 72 / g.ppiY};
}

TEST_F(Desk, DocumentPrintPutsTheCardTextsWhereThePageHasThem) {
  const std::vector<SeenBox> boxes = Run(IDM_FILEPRINT);
  EXPECT_EQ(Utf8(BoxTexts(boxes)), "打印成功！|");
  std::string pdf;
  std::optional<PrintedPage> page = PrintedOnce(&pdf);
  ASSERT_TRUE(page);

  // Every text of the page, as a word of the PDF near its place (points, 1/72 inch).
  const std::vector<PdfWord> words = spooler_.Words(pdf);
  struct Expect {
    const char* text;
    PixelPoint at;
  };
  const Expect texts[] = {
      {"张三", {180, 105}},         {"男", {180, 130}},          {"汉", {380, 130}},
      {"1980-01-01", {180, 155}},    {"北京市东城区景山前街4", {180, 180}}, {"号故宫博物院内", {180, 205}},
      {kId, {180, 267}},            {"北京市东城区景山前街4号故宫博物院内", {180, 292}},
      {"北京市公安局东城分局", {180, 342}}, {"2006.01.01-2026.01.01", {180, 367}},
  };
  std::string all;
  for (const PdfWord& w : words) all += w.text + " ";
  for (const Expect& e : texts) {
    const PaperPoint want = OnPaper(page->g, e.at);
    bool found = false;
    for (const PdfWord& w : words)
      found = found || (w.text == e.text && std::abs(w.xMin - want.x) < 4 && std::abs(w.yMin - want.y) < 6);
    EXPECT_TRUE(found) << e.text << " near " << want.x << "," << want.y << " in: " << all;
  }
  // The time of printing, "yyyy-mm-dd hh:nn:ss", on its row.
  const PaperPoint timeAt = OnPaper(page->g, {180, 442});
  bool time = false;
  for (size_t i = 0; i + 1 < words.size(); ++i)
    time = time || (std::regex_match(words[i].text, std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9]")) &&
                    std::regex_match(words[i + 1].text, std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]")) &&
                    std::abs(words[i].xMin - timeAt.x) < 4 && std::abs(words[i].yMin - timeAt.y) < 6);
  EXPECT_TRUE(time) << all;

  // The page picture stretched half an inch in: its top band, the photo, blank paper outside.
  const PrintRect r = DocumentPageRect(page->g.ppiX, page->g.ppiY);
  const Picture& imagda = form_->Imagda();
  ASSERT_EQ(imagda.Width(), 580);
  auto at = [&](int px, int py) {
    return page->At(r.left + (2 * px + 1) * (r.right - r.left) / (2 * 580),
                    r.top + (2 * py + 1) * (r.bottom - r.top) / (2 * 880));
  };
  EXPECT_TRUE(Near(at(20, 20), imagda.Pixel(20, 20), 40)) << Rgb(at(20, 20));
  EXPECT_TRUE(Near(at(560, 40), imagda.Pixel(560, 40), 40)) << Rgb(at(560, 40));
  const Picture& photo = form_->ImagePhoto();
  const PixelPoint mid{442 + photo.Width() / 2, 130 + photo.Height() / 2};
  EXPECT_TRUE(Near(at(mid.x, mid.y), imagda.Pixel(mid.x, mid.y), 40)) << Rgb(at(mid.x, mid.y));
  EXPECT_FALSE(Near(imagda.Pixel(mid.x, mid.y), kWhite, 24)) << "the photo is on the page";
  EXPECT_TRUE(Near(page->At(r.left - 10, r.top - 10), kWhite, 24));
  EXPECT_TRUE(Near(page->At(r.right + 10, r.bottom + 10), kWhite, 24));
}

TEST_F(Desk, DocumentPrintKeepsALongAddressOnThePage) {
  SetScenario(Reader(Card("张三", kId, "1", "20260101", kLongAddress)));
  Command(IDM_NCHK);
  ASSERT_EQ(form_->Fields().edtAddr, Gbk(kLongAddress));
  EXPECT_EQ(Utf8(BoxTexts(Run(IDM_FILEPRINT))), "打印成功！|");
  std::optional<PrintedPage> page = PrintedOnce();
  ASSERT_TRUE(page);
  // The whole-address row, 15 page pixels from y 292, is printed up to the page's right edge
  // and no further, as if drawn into the picture; the page picture is blank there.
  const PrintRect r = DocumentPageRect(page->g.ppiX, page->g.ppiY);
  const int top = r.top + 292 * (r.bottom - r.top) / 880, bottom = r.top + 307 * (r.bottom - r.top) / 880 + 1;
  auto ink = [&](int left, int right, int margin) {
    for (int y = top - margin; y < bottom + margin; ++y)
      for (int x = left; x < right; ++x)
        if (Dark(page->At(x, y))) return true;
    return false;
  };
  EXPECT_TRUE(ink(r.right - 60, r.right, 0)) << "the row up to the edge";
  EXPECT_FALSE(ink(r.right, page->raster.width - page->g.offsetX, 20)) << "the row past the edge";
}

struct TimerCase {
  const char* name;
  int command;
  bool automatic;
};

class DeskTimer : public Desk, public ::testing::WithParamInterface<TimerCase> {};

TEST_P(DeskTimer, StoppedForThePrintAndStartedAgainOnlyInAutomaticMode) {
  const TimerCase& c = GetParam();
  if (c.automatic) Automatic();
  std::vector<bool> during;
  const std::vector<SeenBox> boxes = Run(c.command, &during);
  EXPECT_EQ(Utf8(BoxTexts(boxes)), "打印成功！|");
  EXPECT_EQ(during, std::vector<bool>{false});
  EXPECT_EQ(form_->TimeautoEnabled(), c.automatic);
  EXPECT_EQ(spooler_.WaitForPdfs(1).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeskTimer,
                         ::testing::Values(TimerCase{"CardManual", IDM_NPRINT, false},
                                           TimerCase{"CardAutomatic", IDC_TBTNPRINT, true},
                                           TimerCase{"DocumentManual", IDC_TBTFPRINT, false},
                                           TimerCase{"DocumentAutomatic", IDM_FILEPRINT, true}),
                         [](const ::testing::TestParamInfo<TimerCase>& i) { return std::string(i.param.name); });

TEST_F(Desk, DocumentPrintWithoutItsPageShowsTheErrorAndLeavesTheTimerStopped) {
  Automatic();
  ASSERT_TRUE(::MoveFileW(ProgramFile(L"da.bmp").c_str(), ProgramFile(L"da.bmp.away").c_str()));
  const std::vector<SeenBox> boxes = Run(IDM_FILEPRINT);
  ::MoveFileW(ProgramFile(L"da.bmp.away").c_str(), ProgramFile(L"da.bmp").c_str());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, kAppTitle);
  EXPECT_NE(boxes[0].text, kPrintDone);
  EXPECT_FALSE(boxes[0].text.empty());
  EXPECT_FALSE(form_->TimeautoEnabled());
  EXPECT_EQ(form_->AutoFlag, 1);
  // No job was begun: the queue is empty and nothing was printed.
  EXPECT_TRUE(spooler_.Pdfs().empty());
}

// ---- record print from the query window ---------------------------------------------------

struct Person {
  const char* name;
  const char* id;
  const char* birth;
  COLORREF photo;
};
const Person kPeople[] = {
    {"张三", "110101198001010011", "1980-01-01", RGB(200, 30, 30)},
    {"李四", "22010119900202002X", "1990-02-02", RGB(30, 30, 200)},
    {"王五", "640101200006060033", "2000-06-06", RGB(30, 160, 30)},
};

class Records : public SpoolerTest {
 protected:
  void SetUp() override {
    SpoolerTest::SetUp();
    db_ = fixture::LayLogStore(std::filesystem::path(Home()));
    dm_.adoLog.SetConnectionString("FILE NAME=" + Utf8(Home()) + "DBLink.udl");
    dm_.adoLog.SetConnected(true);
  }
  void Log(const Person& p, const char* birth = nullptr) {
    TShowCardLine c;
    c.PersonName = Gbk(p.name);
    c.SexText = Gbk("男");
    c.NationText = Gbk("汉");
    c.IdNumber = p.id;
    c.BirthDate = birth ? birth : p.birth;
    c.AddressText = Gbk("北京市东城区景山前街4号");
    c.ValidFrom = "2005.01.01";
    c.ValidTo = "2025.01.01";
    c.Authority = Gbk("北京市公安局东城分局");
    c.RecordTime = "2009-03-02 10:00:00";
    c.CardPhoto = Solid(102, 126, p.photo, RGB(0, 255, 0));
    dm_.AppendLogRecord(c);
  }
  // The window over every row, the given row current.
  void Open(int row) {
    form_ = std::make_unique<TForm_qryLog>(dm_);
    ASSERT_TRUE(form_->CreateModeless());
    FlushEvents(30);
    form_->ckbAll.SetChecked(true);
    ::SendMessageW(form_->btnQry.hwnd(), BM_CLICK, 0, 0);
    FlushEvents(20);
    dm_.qrylog.First();
    dm_.qrylog.MoveBy(row);
    FlushEvents(20);
    ASSERT_EQ(dm_.qrylog.RecordNo(), row + 1);
  }
  // Presses the print button; the dialog gets `select` (-2: as made) and its print button,
  // or its close box; message boxes are answered.
  std::vector<SeenBox> Print(int select, bool closeBox = false) {
    dialogs_ = 0;
    others_.clear();
    BoxWatcher w([&](HWND h, const SeenBox& s) {
      if (s.messageBox) {
        ::PostMessageW(h, WM_COMMAND, IDOK, 0);
        return;
      }
      if (s.caption != kSetPrintCaption) {
        others_.push_back(s.caption);
        return;
      }
      ++dialogs_;
      Later(20, [h, select, closeBox] {
        if (select >= 0) ::SendDlgItemMessageW(h, IDC_RGSETPRINT_1 + select, BM_CLICK, 0, 0);
        if (closeBox)
          ::PostMessageW(h, WM_CLOSE, 0, 0);
        else
          ::PostMessageW(::GetDlgItem(h, IDC_BTN1), BM_CLICK, 0, 0);
      });
    });
    ::SendMessageW(form_->btnPrint.hwnd(), BM_CLICK, 0, 0);
    FlushEvents(20);
    return w.messageBoxes();
  }
  // Which person's photo each copy slot of the page shows (-1: blank paper).
  std::vector<int> CopiesOnPage(const PrintedPage& page) {
    const int kx = PrintScale(page.g.ppiX, 96), ky = PrintScale(page.g.ppiY, 96);
    std::vector<int> found;
    for (int top : RecordCopyTops(3, 219)) {
      const CopyRects r = RecordCopyRects(kx, ky, top, {333, 219, 333, 219});
      // The photo's middle on the front: (211 + 51, 28 + 63) of the picture.
      const COLORREF c = page.At(r.front.left + 262 * (r.front.right - r.front.left) / 333,
                                 r.front.top + 91 * (r.front.bottom - r.front.top) / 219);
      int who = -1;
      for (int i = 0; i < 3; ++i)
        if (Near(c, kPeople[i].photo, 40)) who = i;
      if (who < 0) {
        EXPECT_TRUE(Near(c, kWhite, 24)) << "copy at " << top << ": " << Rgb(c);
        // Nothing of a template there either.
        EXPECT_TRUE(Near(page.At(r.front.left + 6, r.front.top + 6), kWhite, 24)) << top;
      } else {
        // Front and back stand side by side, each in its frame.
        EXPECT_FALSE(Near(page.At(r.front.left + 5, r.front.top + 5), kWhite, 24)) << top;
        EXPECT_FALSE(Near(page.At(r.back.right - 6, r.back.bottom - 6), kWhite, 24)) << top;
        EXPECT_TRUE(Near(page.At(r.back.right + 6, r.back.top + 20), kWhite, 24)) << top;
      }
      found.push_back(who);
    }
    return found;
  }
  std::filesystem::path db_;
  TdataMd dm_;
  std::unique_ptr<TForm_qryLog> form_;
  int dialogs_ = 0;
  std::vector<std::wstring> others_;  // captions of the other dialogs that became active
};

TEST_F(Records, ThreeRecentRecordsOnOnePageFromTheCurrentOneBackwards) {
  for (const Person& p : kPeople) Log(p);
  Open(2);
  const std::vector<SeenBox> boxes = Print(-2);
  EXPECT_EQ(dialogs_, 1);
  // Only the success: the query window, active again when the dialog closed, is no box.
  EXPECT_EQ(Utf8(BoxTexts(boxes)), "打印成功！|");
  // The "empty box" seen now and then before the success message was this window's own
  // activation, which comes with the X focus event and so before or after the box.
  for (const std::wstring& caption : others_) EXPECT_EQ(caption, kQryLogCaption);
  EXPECT_EQ(form_->PrintCount, 3);
  std::optional<PrintedPage> page = PrintedOnce();
  ASSERT_TRUE(page);
  EXPECT_EQ(CopiesOnPage(*page), (std::vector<int>{2, 1, 0}));
  // The query stays on the last record printed, and the window shows it.
  EXPECT_EQ(dm_.qrylog.RecordNo(), 1);
  EXPECT_EQ(form_->edtName.Text(), W("张三"));
  EXPECT_EQ(form_->imgPic.Height(), 219);
}

struct RecordCase {
  const char* name;
  int row;     // current row
  int select;  // dialog item, -2 as made
  std::vector<int> copies;
};

class RecordCount : public Records, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordCount, StopsAtTheFirstRecordWithSuccessAllTheSame) {
  const RecordCase& c = GetParam();
  for (const Person& p : kPeople) Log(p);
  Open(c.row);
  const std::vector<SeenBox> boxes = Print(c.select);
  EXPECT_EQ(Utf8(BoxTexts(boxes)), "打印成功！|");
  std::optional<PrintedPage> page = PrintedOnce();
  ASSERT_TRUE(page);
  EXPECT_EQ(CopiesOnPage(*page), c.copies);
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordCount,
                         ::testing::Values(RecordCase{"ThreeFromTheFirst", 0, -2, {0, -1, -1}},
                                           RecordCase{"ThreeFromTheSecond", 1, -2, {1, 0, -1}},
                                           RecordCase{"One", 2, 0, {2, -1, -1}},
                                           RecordCase{"Two", 2, 1, {2, 1, -1}}),
                         [](const ::testing::TestParamInfo<RecordCase>& i) { return std::string(i.param.name); });

TEST_F(Records, FewerRecordsThanAskedForPrintNothing) {
  Log(kPeople[0]);
  Log(kPeople[1]);
  Open(1);
  const std::vector<SeenBox> boxes = Print(-2);
  EXPECT_EQ(Utf8(BoxTexts(boxes)), "记录数量不足3条，请重新选择|");
  EXPECT_EQ(dm_.qrylog.RecordNo(), 2);
  EXPECT_TRUE(spooler_.Pdfs().empty());
}

TEST_F(Records, ClosingTheDialogPrintsNothingEvenAfterAnEarlierChoice) {
  for (const Person& p : kPeople) Log(p);
  Open(2);
  EXPECT_EQ(Utf8(BoxTexts(Print(0))), "打印成功！|");
  ASSERT_EQ(spooler_.WaitForPdfs(1).size(), 1u);
  ASSERT_TRUE(spooler_.Clear());
  EXPECT_EQ(form_->PrintCount, 1);
  const std::vector<SeenBox> boxes = Print(1, true);
  EXPECT_EQ(dialogs_, 1);
  EXPECT_TRUE(boxes.empty()) << Utf8(BoxTexts(boxes));
  EXPECT_EQ(form_->PrintCount, 0);
  EXPECT_TRUE(spooler_.Pdfs().empty());
}

TEST_F(Records, AFailingCopyEndsTheJobWithWhatWasDrawnAndNoSuccess) {
  Log(kPeople[0]);
  Log(kPeople[1], "1990-13-45");  // no date
  Log(kPeople[2]);
  Open(2);
  const std::vector<SeenBox> boxes = Print(-2);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text, kPrintDone);
  EXPECT_FALSE(boxes[0].text.empty());
  // The job was ended, not left open: its page holds the copy drawn before the failure.
  std::optional<PrintedPage> page = PrintedOnce();
  ASSERT_TRUE(page);
  EXPECT_EQ(CopiesOnPage(*page), (std::vector<int>{2, -1, -1}));
}

// The earlier record cannot be shown: the print ends there with that error, the job with the copy
// drawn before, and no copy is printed again from the fields that still hold it.
class RecordUnshown : public Records, public ::testing::WithParamInterface<int> {};

TEST_P(RecordUnshown, EndsThePrintWithOneErrorAndNoCopyTwice) {
  for (const Person& p : kPeople) Log(p);
  fixture::ExecSql(db_, "update TLog set FPhoto=x'00112233' where FId=2");
  Open(2);
  const std::vector<SeenBox> boxes = Print(GetParam());
  EXPECT_EQ(Utf8(BoxTexts(boxes)), "位图图像无效|");
  std::optional<PrintedPage> page = PrintedOnce();
  ASSERT_TRUE(page);
  EXPECT_EQ(CopiesOnPage(*page), (std::vector<int>{2, -1, -1}));
}

// Two copies, and three as the dialog is made.
INSTANTIATE_TEST_SUITE_P(Copies, RecordUnshown, ::testing::Values(1, -2),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param < 0 ? "Three" : "Two"; });

// ---- with the spooler stopped -------------------------------------------------------------

class NoPrinterDesk : public Desk {};

TEST_F(NoPrinterDesk, CardAndDocumentPrintShowTheErrorAndLeaveTheTimerStopped) {
  ASSERT_FALSE(DefaultPrinter()) << "the spooler of this test is stopped";
  Automatic();
  for (int command : {IDM_NPRINT, IDM_FILEPRINT}) {
    const std::vector<SeenBox> boxes = Run(command);
    ASSERT_EQ(boxes.size(), 1u) << command;
    EXPECT_EQ(boxes[0].caption, kAppTitle);
    EXPECT_EQ(Utf8(boxes[0].text), "没有默认打印机");
    EXPECT_FALSE(form_->TimeautoEnabled()) << command;
    EXPECT_EQ(form_->AutoFlag, 1);
    // Switching automatic mode off and on starts it again.
    Command(IDM_NAUTO);
    Automatic();
  }
}

class NoPrinterRecords : public Records {};

TEST_F(NoPrinterRecords, RecordPrintShowsTheErrorAndNoSuccess) {
  for (const Person& p : kPeople) Log(p);
  Open(2);
  const std::vector<SeenBox> boxes = Print(-2);
  EXPECT_EQ(Utf8(BoxTexts(boxes)), "没有默认打印机|");
  EXPECT_EQ(dm_.qrylog.RecordNo(), 3);
}

}  // namespace

int main(int argc, char** argv) {
  // The templates and the reader simulators lie beside the program, as they ship.
  if (const auto code = RerunInFreshFolder(argc, argv, L"QX_KPRINT_AT_HOME", L"kprint",
                                           {L"sdtapi.dll", L"WltRS.dll", L"show.bmp", L"bkF.bmp", L"bkB.bmp",
                                            L"da.bmp"}))
    return *code;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
