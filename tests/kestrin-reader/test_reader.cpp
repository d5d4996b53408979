// Kestrin's reader unit against the reader simulators: call order and arguments from their
// journal, the card text and photo files, the error boxes, and the JPEG conversion.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Reader.h"
#include "SampleCard.h"
#include "TestSupport.h"
#include "card/CardTextBlock.h"
#include "reader/ReaderApi.h"
#include "win/Text.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

using namespace qx::test;
using qx::kestrin::ReaderError;
using Lines = std::vector<std::string>;

constexpr int kUsb = 1001;
const std::string kSamId = "05.01-20101217-0000001234-2305843009";

// ---- simulator scenario and journal ----------------------------------------------------------
// One journal for the whole run: forced "Op#N" results count calls from the libraries' load,
// and the journal tells how many there were.

TempDir& SimDir() {
  static TempDir dir(L"kreader");
  return dir;
}

std::wstring JournalPath() { return SimDir() / L"journal.txt"; }

const bool g_envReady = [] {
  ::SetEnvironmentVariableW(L"QX_READER_JOURNAL", JournalPath().c_str());
  return true;
}();

Lines JournalLines() {
  Lines out;
  for (const std::string& l : SplitLines(ReadText(JournalPath())))
    if (!l.empty() && l[0] != '#') out.push_back(l);
  return out;
}

int CallsOf(const std::string& op) {
  int n = 0;
  for (const std::string& l : JournalLines())
    if (l.rfind(op + "(", 0) == 0) ++n;
  return n;
}

// Each scenario gets a file of its own, so the simulators always see a new one.
void SetScenario(const std::string& utf8) {
  static int counter = 0;
  const std::wstring path = SimDir() / (L"scenario" + std::to_wstring(++counter) + L".ini");
  ASSERT_TRUE(WriteText(path, utf8));
  ::SetEnvironmentVariableW(L"QX_READER_SCENARIO", path.c_str());
}

std::string U8(const std::u16string& s) { return qx::win::WideToUtf8(qx::win::FromU16(s)); }

std::string CardSection(const qx::card::CardTextInput& c, const std::string& extra = "") {
  return "[card]\nname = " + U8(c.name) + "\nsex = " + U8(c.sex) + "\nnation = " + U8(c.nation) +
         "\nbirth = " + U8(c.birth) + "\naddress = " + U8(c.address) + "\nid = " + U8(c.id) +
         "\nauthority = " + U8(c.authority) + "\nvalid_start = " + U8(c.validStart) +
         "\nvalid_end = " + U8(c.validEnd) + "\n" + extra;
}

std::string HexOf(const std::vector<uint8_t>& bytes) {
  std::string out;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X ", v);
    out += b;
  }
  return out;
}

std::wstring TempFile(const wchar_t* ext) { return BinDir() + L"\\_Temp" + ext; }
std::string GetBmpLine(int result) {
  return "GetBmp(" + Utf8(TempFile(L".wlt")) + ", 2) = " + std::to_string(result);
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTempFiles();
    mark_ = JournalLines().size();
  }
  void TearDown() override { RemoveTempFiles(); }
  static void RemoveTempFiles() {
    ::RemoveDirectoryW(TempFile(L".wlt").c_str());
    ::DeleteFileW(TempFile(L".wlt").c_str());
    ::DeleteFileW(TempFile(L".bmp").c_str());
  }
  // Journal lines written since the test began (or since the last Mark).
  Lines NewCalls() const {
    Lines all = JournalLines();
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(std::min(mark_, all.size())), all.end());
  }
  void Mark() { mark_ = JournalLines().size(); }
  // An open USB port with the scenario given; the journal starts after the open.
  void OpenUsb(const std::string& scenario) {
    SetScenario(scenario);
    ASSERT_EQ(SDT_OpenPort(kUsb), qx::reader::kStatusOk);
    Mark();
  }

 private:
  size_t mark_ = 0;
};

// Drops " = result" from every line but keeps the call and its arguments.
Lines CallsOnly(const Lines& lines) {
  Lines out;
  for (const std::string& l : lines) out.push_back(l.substr(0, l.find(" = ")));
  return out;
}

// ---- OpenReader --------------------------------------------------------------------------------

TEST_F(ReaderTest, OpenWithRateZeroMakesNoBaudCalls) {
  SetScenario("[reader]\nports = 1001\nsamid = " + kSamId + "\n");
  std::string sam = "old";
  ASSERT_TRUE(qx::kestrin::OpenReader(kUsb, 0, sam));
  EXPECT_EQ(sam, kSamId);
  EXPECT_EQ(CallsOnly(NewCalls()), (Lines{"SDT_ClosePort(1001)", "SDT_OpenPort(1001)", "SDT_GetSAMIDToStr(1001)"}));
}

TEST_F(ReaderTest, OpenWithRateSetsItFromTheRateRead) {
  SetScenario("[reader]\nports = 1\nbaud = 38400\n");
  std::string sam;
  ASSERT_TRUE(qx::kestrin::OpenReader(1, 9600, sam));
  const Lines calls = NewCalls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(CallsOnly({calls[0]})[0], "SDT_ClosePort(1)");
  EXPECT_EQ(Lines(calls.begin() + 1, calls.end()),
            (Lines{"SDT_GetCOMBaud(1) = 0x90", "SDT_SetCOMBaud(1, 38400, 9600) = 0x90", "SDT_OpenPort(1) = 0x90",
                   "SDT_GetSAMIDToStr(1) = 0x90"}));
}

TEST_F(ReaderTest, OpenFailuresStopBeforeTheNextStep) {
  struct Case {
    const char* what;
    std::string scenario;
    int port, rate;
    Lines calls;  // after the close
  };
  const Case cases[] = {
      {"rate not read", "[reader]\nports = 1\n[results]\nSDT_GetCOMBaud = 0x5\n", 1, 9600,
       {"SDT_GetCOMBaud(1) = 0x5"}},
      {"rate not set", "[reader]\nports = 1\n", 1, 1234,
       {"SDT_GetCOMBaud(1) = 0x90", "SDT_SetCOMBaud(1, 115200, 1234) = 0x21"}},
      {"port not opened", "[reader]\nports = 1\n", 3, 0, {"SDT_OpenPort(3) = 0x1"}},
  };
  for (const Case& c : cases) {
    SetScenario(c.scenario);
    Mark();
    std::string sam = "kept";
    EXPECT_FALSE(qx::kestrin::OpenReader(c.port, c.rate, sam)) << c.what;
    EXPECT_EQ(sam, "kept") << c.what;
    Lines calls = NewCalls();
    ASSERT_FALSE(calls.empty()) << c.what;
    EXPECT_EQ(CallsOnly({calls[0]})[0], "SDT_ClosePort(" + std::to_string(c.port) + ")") << c.what;
    EXPECT_EQ(Lines(calls.begin() + 1, calls.end()), c.calls) << c.what;
    // The port stays closed: a card check answers "port not open".
    unsigned char buf[4];
    EXPECT_EQ(SDT_StartFindMorvid(c.port, buf, 0), 0x1) << c.what;
  }
}

TEST_F(ReaderTest, SecurityModuleAnsweringAtTheThirdTry) {
  const int before = CallsOf("SDT_GetSAMIDToStr");
  SetScenario("[reader]\nports = 1001\nsamid = " + kSamId + "\n[results]\nSDT_GetSAMIDToStr#" +
              std::to_string(before + 1) + " = 0x1\nSDT_GetSAMIDToStr#" + std::to_string(before + 2) + " = 0x1\n");
  Mark();
  std::string sam;
  ASSERT_TRUE(qx::kestrin::OpenReader(kUsb, 0, sam));
  EXPECT_EQ(sam, kSamId);
  const Lines calls = NewCalls();
  EXPECT_EQ(Lines(calls.begin() + 2, calls.end()),
            (Lines{"SDT_GetSAMIDToStr(1001) = 0x1", "SDT_GetSAMIDToStr(1001) = 0x1", "SDT_GetSAMIDToStr(1001) = 0x90"}));
}

TEST_F(ReaderTest, SecurityModuleFailingThreeTimesLeavesThePortOpen) {
  SetScenario("[reader]\nports = 1001\n[results]\nSDT_GetSAMIDToStr = 0x1\n");
  Mark();
  std::string sam = "kept";
  EXPECT_FALSE(qx::kestrin::OpenReader(kUsb, 0, sam));
  EXPECT_EQ(sam, "kept");
  const Lines calls = NewCalls();
  EXPECT_EQ(Lines(calls.begin() + 1, calls.end()),
            (Lines{"SDT_OpenPort(1001) = 0x90", "SDT_GetSAMIDToStr(1001) = 0x1", "SDT_GetSAMIDToStr(1001) = 0x1",
                   "SDT_GetSAMIDToStr(1001) = 0x1"}));
  unsigned char buf[4];
  EXPECT_NE(SDT_StartFindMorvid(kUsb, buf, 0), 0x1);
}

TEST_F(ReaderTest, CloseReaderClosesThePort) {
  OpenUsb("[reader]\nports = 1001\n");
  qx::kestrin::CloseReader(kUsb);
  EXPECT_EQ(NewCalls(), (Lines{"SDT_ClosePort(1001) = 0x90"}));
}

// ---- ReadCardData ------------------------------------------------------------------------------

TEST_F(ReaderTest, ReadsACardInTheCallOrder) {
  const auto card = SampleCardInput();
  OpenUsb(CardSection(card));
  BoxWatcher boxes;
  std::u16string text;
  ASSERT_TRUE(qx::kestrin::ReadCardData(kUsb, text));
  EXPECT_EQ(text, qx::card::BuildCardText(card).substr(0, 120));
  EXPECT_EQ(NewCalls(), (Lines{"SDT_StartFindMorvid(1001) = 0x9F", "SDT_SelectMorvid(1001) = 0x90",
                               "SDT_ReadBaseMsg(1001, 0, 0) = 0x90", GetBmpLine(1)}));
  EXPECT_TRUE(boxes.seen().empty());
  const auto wlt = ReadBytes(TempFile(L".wlt"));
  ASSERT_TRUE(wlt);
  EXPECT_GE(wlt->size(), 640u);
  EXPECT_LE(wlt->size(), 1024u);
  EXPECT_EQ(std::string(wlt->begin(), wlt->begin() + 4), "QXWL");
  const auto bmp = ReadBytes(TempFile(L".bmp"));
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->size(), 38862u);
}

TEST_F(ReaderTest, NoCardAnswersFalseSilently) {
  OpenUsb("[reader]\npresent = never\n" + CardSection(SampleCardInput()));
  BoxWatcher boxes;
  std::u16string text = u"previous";
  EXPECT_FALSE(qx::kestrin::ReadCardData(kUsb, text));
  EXPECT_EQ(text, u"previous");
  EXPECT_EQ(NewCalls(), (Lines{"SDT_StartFindMorvid(1001) = 0x80"}));
  EXPECT_TRUE(boxes.seen().empty());
  EXPECT_FALSE(FileExists(TempFile(L".wlt")));
}

TEST_F(ReaderTest, SelectOrReadFailureShowsTheStatusMessage) {
  struct Case {
    const char* results;
    std::wstring message;
    Lines calls;
  };
  const Case cases[] = {
      {"SDT_SelectMorvid = 4", L"错误代码4无法识别的错误",
       {"SDT_StartFindMorvid(1001) = 0x9F", "SDT_SelectMorvid(1001) = 0x4"}},
      {"SDT_ReadBaseMsg = 0x41", L"错误代码65读证/卡操作失败",
       {"SDT_StartFindMorvid(1001) = 0x9F", "SDT_SelectMorvid(1001) = 0x90", "SDT_ReadBaseMsg(1001, 0, 0) = 0x41"}},
  };
  for (const Case& c : cases) {
    OpenUsb(CardSection(SampleCardInput()) + "[results]\n" + c.results + "\n");
    BoxWatcher boxes;
    std::u16string text = u"previous";
    EXPECT_FALSE(qx::kestrin::ReadCardData(kUsb, text)) << c.results;
    EXPECT_EQ(text, u"previous");
    EXPECT_EQ(NewCalls(), c.calls);
    ASSERT_EQ(boxes.seen().size(), 1u) << c.results;
    EXPECT_EQ(boxes.seen()[0].text, c.message);
    EXPECT_FALSE(FileExists(TempFile(L".wlt")));
  }
}

TEST_F(ReaderTest, CardTextEndsAtTheFirstNulOrAt120Characters) {
  struct Case {
    const char* what;
    std::u16string block;
    std::u16string expected;
  };
  const std::u16string letters = [] {
    std::u16string s;
    for (int i = 0; i < 128; ++i) s += static_cast<char16_t>(u'A' + i % 26);
    return s;
  }();
  const std::u16string nulAt50 = letters.substr(0, 49) + u'\0' + letters.substr(50);
  const Case cases[] = {
      {"NUL at character 50", nulAt50, letters.substr(0, 49)},
      {"no NUL", letters, letters.substr(0, 120)},
      {"NUL first", u'\0' + letters.substr(1), u""},
      // The library wrote only 40 bytes: the rest of the buffer holds no stale characters.
      {"short block", letters.substr(0, 20), letters.substr(0, 20)},
      {"Chinese", u"张三" + letters.substr(2), u"张三" + letters.substr(2, 118)},
  };
  for (const Case& c : cases) {
    OpenUsb("[card]\nblock_hex = " + HexOf(qx::card::Ucs2LeFromText(c.block)) + "\n");
    std::u16string text;
    ASSERT_TRUE(qx::kestrin::ReadCardData(kUsb, text)) << c.what;
    EXPECT_EQ(text, c.expected) << c.what;
  }
}

TEST_F(ReaderTest, PhotoLengthZeroWritesAnEmptyFileAndStillDecodes) {
  ASSERT_TRUE(WriteText(TempFile(L".wlt"), "stale photo bytes"));
  OpenUsb("[results]\nSDT_StartFindMorvid = 0x9F\nSDT_SelectMorvid = 0x90\nSDT_ReadBaseMsg = 0x90\n");
  std::u16string text;
  ASSERT_TRUE(qx::kestrin::ReadCardData(kUsb, text));
  EXPECT_EQ(text, std::u16string(120, u' '));  // the blank card of a forced read
  const auto wlt = ReadBytes(TempFile(L".wlt"));
  ASSERT_TRUE(wlt);
  EXPECT_TRUE(wlt->empty());
  const Lines calls = NewCalls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), GetBmpLine(0));
}

TEST_F(ReaderTest, UndecodedPhotoStillReadsAndLeavesThePreviousBitmap) {
  auto second = SampleCardInput();
  second.name = u"李四";
  second.id = u"110101198001010027";
  OpenUsb(CardSection(SampleCardInput()) + CardSection(second, "photo = bad\n"));
  std::u16string text;
  ASSERT_TRUE(qx::kestrin::ReadCardData(kUsb, text));
  const auto firstBmp = ReadBytes(TempFile(L".bmp"));
  const auto firstWlt = ReadBytes(TempFile(L".wlt"));
  ASSERT_TRUE(firstBmp && firstWlt);
  Mark();

  ASSERT_TRUE(qx::kestrin::ReadCardData(kUsb, text));
  EXPECT_EQ(text, qx::card::BuildCardText(second).substr(0, 120));
  EXPECT_EQ(NewCalls().back(), GetBmpLine(0));
  EXPECT_EQ(ReadBytes(TempFile(L".bmp")), firstBmp);
  EXPECT_NE(ReadBytes(TempFile(L".wlt")), firstWlt);
}

TEST_F(ReaderTest, UnwritablePhotoFileRaisesToTheCaller) {
  ASSERT_TRUE(::CreateDirectoryW(TempFile(L".wlt").c_str(), nullptr));
  OpenUsb(CardSection(SampleCardInput()));
  std::u16string text = u"previous";
  EXPECT_THROW(qx::kestrin::ReadCardData(kUsb, text), ReaderError);
  EXPECT_EQ(text, u"previous");
  for (const std::string& l : NewCalls()) EXPECT_EQ(l.rfind("GetBmp", 0), std::string::npos) << l;
}

// ---- ShowReaderError ---------------------------------------------------------------------------

int VisibleButtons(HWND box) {
  int n = 0;
  for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
    if (ClassNameOf(c) == L"Button" && (::GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE)) ++n;
  return n;
}

TEST_F(ReaderTest, ErrorBoxShowsCodeAndTextRunTogether) {
  struct Case {
    int status;
    std::wstring text;
  };
  const Case cases[] = {
      {1, L"错误代码1端口打开失败/端口未打开/端口号不合法"},
      {0x41, L"错误代码65读证/卡操作失败"},
      {102, L"错误代码102SAM_V没经过授权,无法使用"},
      {0x05, L"错误代码5SAM_V串口不可用，SDT_GetCOMBaud"},
      {4, L"错误代码4无法识别的错误"},
      {0x90, L"错误代码144无法识别的错误"},
      {-1, L"错误代码-1无法识别的错误"},
  };
  for (const Case& c : cases) {
    int buttons = -1;
    bool okIsThere = false;
    BoxWatcher boxes([&](HWND box, const SeenBox&) {
      buttons = VisibleButtons(box);
      okIsThere = ::GetDlgItem(box, IDOK) != nullptr;
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    qx::kestrin::ShowReaderError(c.status);
    ASSERT_EQ(boxes.seen().size(), 1u) << c.status;
    EXPECT_EQ(boxes.seen()[0].text, c.text);
    EXPECT_EQ(boxes.seen()[0].caption, L"Tesmo二代身份验证");
    EXPECT_EQ(buttons, 1) << c.status;
    EXPECT_TRUE(okIsThere);
  }
}

// ---- BmpFileToJpegFile -------------------------------------------------------------------------

// A 24-bit bottom-up BMP whose quadrants are red (top left), green (top right), blue (bottom
// left) and white, so a swapped channel or a flipped row order shows.
std::vector<uint8_t> QuadrantBmp(int w, int h) {
  const int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> f(54 + stride * h, 0);
  auto put16 = [&](size_t at, uint32_t v) { f[at] = v & 0xFF; f[at + 1] = (v >> 8) & 0xFF; };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v); put16(at + 2, v >> 16); };
  f[0] = 'B';
  f[1] = 'M';
  put32(2, static_cast<uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  put16(26, 1);
  put16(28, 24);
  for (int y = 0; y < h; ++y) {
    const int top = h - 1 - y;  // file rows run bottom-up
    for (int x = 0; x < w; ++x) {
      uint8_t r = 255, g = 255, b = 255;
      const bool upper = top < h / 2, left = x < w / 2;
      if (upper && left) g = b = 0;
      if (upper && !left) r = b = 0;
      if (!upper && left) r = g = 0;
      uint8_t* p = &f[54 + y * stride + x * 3];
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return f;
}

struct JpegInfo {
  int sofMarker = 0, precision = 0, width = 0, height = 0, components = 0;
  int firstLumaQuant = -1;
};

JpegInfo ScanMarkers(const std::vector<uint8_t>& j) {
  JpegInfo info;
  if (j.size() < 4 || j[0] != 0xFF || j[1] != 0xD8) return info;
  size_t at = 2;
  while (at + 4 <= j.size() && j[at] == 0xFF) {
    const int marker = j[at + 1];
    const size_t len = (j[at + 2] << 8) | j[at + 3];
    if (marker == 0xDB && info.firstLumaQuant < 0 && at + 5 < j.size()) info.firstLumaQuant = j[at + 5];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC &&
        at + 9 < j.size()) {
      info.sofMarker = marker;
      info.precision = j[at + 4];
      info.height = (j[at + 5] << 8) | j[at + 6];
      info.width = (j[at + 7] << 8) | j[at + 8];
      info.components = j[at + 9];
    }
    if (marker == 0xDA) break;
    at += 2 + len;
  }
  return info;
}

// RGB pixels of a JPEG, top row first.
std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t>& j, int& w, int& h) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, j.data(), static_cast<unsigned long>(j.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  w = static_cast<int>(d.output_width);
  h = static_cast<int>(d.output_height);
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = px.data() + static_cast<size_t>(d.output_scanline) * w * 3;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return px;
}

TEST(BmpFileToJpegFile, WritesABaselineColourJpegOfTheBitmapsSize) {
  TempDir dir(L"kjpeg");
  const int w = 64, h = 48;
  const auto bmp = QuadrantBmp(w, h);
  ASSERT_TRUE(WriteBytes(dir / L"card.bmp", bmp.data(), bmp.size()));
  ASSERT_TRUE(WriteText(dir / L"card.jpg", std::string(100000, 'x')));  // replaced in full
  qx::kestrin::BmpFileToJpegFile(dir / L"card.bmp", dir / L"card.jpg", 50);

  const auto jpg = ReadBytes(dir / L"card.jpg");
  ASSERT_TRUE(jpg);
  ASSERT_LT(jpg->size(), 100000u);
  const JpegInfo info = ScanMarkers(*jpg);
  EXPECT_EQ(info.sofMarker, 0xC0) << "baseline";
  EXPECT_EQ(info.precision, 8);
  EXPECT_EQ(info.width, w);
  EXPECT_EQ(info.height, h);
  EXPECT_EQ(info.components, 3);
  EXPECT_EQ(jpg->at(jpg->size() - 2), 0xFF);
  EXPECT_EQ(jpg->back(), 0xD9);

  int dw = 0, dh = 0;
  const auto px = DecodeJpeg(*jpg, dw, dh);
  ASSERT_EQ(dw, w);
  ASSERT_EQ(dh, h);
  struct Probe {
    int x, y, r, g, b;
  };
  const Probe probes[] = {{w / 4, h / 4, 255, 0, 0},
                          {3 * w / 4, h / 4, 0, 255, 0},
                          {w / 4, 3 * h / 4, 0, 0, 255},
                          {3 * w / 4, 3 * h / 4, 255, 255, 255}};
  for (const Probe& p : probes) {
    const uint8_t* c = &px[(static_cast<size_t>(p.y) * w + p.x) * 3];
    EXPECT_NEAR(c[0], p.r, 24) << p.x << "," << p.y;
    EXPECT_NEAR(c[1], p.g, 24) << p.x << "," << p.y;
    EXPECT_NEAR(c[2], p.b, 24) << p.x << "," << p.y;
  }
}

TEST(BmpFileToJpegFile, QualityScalesTheQuantisationTables) {
  TempDir dir(L"kjpeg");
  const auto bmp = QuadrantBmp(16, 16);
  ASSERT_TRUE(WriteBytes(dir / L"q.bmp", bmp.data(), bmp.size()));
  // The first entry of libjpeg's standard luminance table is 16, scaled by the quality.
  const std::pair<uint8_t, int> cases[] = {{50, 16}, {75, 8}, {10, 80}, {100, 1}, {1, 255}};
  for (const auto& [quality, first] : cases) {
    qx::kestrin::BmpFileToJpegFile(dir / L"q.bmp", dir / L"q.jpg", quality);
    const auto jpg = ReadBytes(dir / L"q.jpg");
    ASSERT_TRUE(jpg);
    EXPECT_EQ(ScanMarkers(*jpg).firstLumaQuant, first) << int(quality);
  }
}

TEST(BmpFileToJpegFile, FailuresRaiseAndWriteNothing) {
  TempDir dir(L"kjpeg");
  const auto bmp = QuadrantBmp(8, 8);
  ASSERT_TRUE(WriteBytes(dir / L"ok.bmp", bmp.data(), bmp.size()));
  ASSERT_TRUE(WriteText(dir / L"junk.bmp", "not a bitmap at all"));
  struct Case {
    std::wstring bmp, jpg;
  };
  const Case cases[] = {
      {dir / L"missing.bmp", dir / L"a.jpg"},
      {dir / L"junk.bmp", dir / L"b.jpg"},
      {dir / L"ok.bmp", dir / L"no-such-folder\\c.jpg"},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(qx::kestrin::BmpFileToJpegFile(c.bmp, c.jpg, 50), ReaderError) << Utf8(c.bmp);
    EXPECT_FALSE(FileExists(c.jpg)) << Utf8(c.jpg);
  }
}

}  // namespace
