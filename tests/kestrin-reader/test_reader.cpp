// Kestrin's reader unit against the reader simulators: call order and arguments from their
// journal, the card text and photo files, and the error boxes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Reader.h"
#include "SampleCard.h"
#include "TestSupport.h"
#include "card/CardTextBlock.h"
#include "reader/ReaderApi.h"
#include "win/RunTimeError.h"
#include "win/Text.h"

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
  try {
    qx::kestrin::ReadCardData(kUsb, text);
    ADD_FAILURE() << "no error";
  } catch (const ReaderError& e) {
    // The file and Wine's own reason.
    EXPECT_EQ(e.text(), L"无法写入文件 \"" + TempFile(L".wlt") + L"\"。访问被拒绝。") << Utf8(e.text());
  }
  EXPECT_EQ(text, u"previous");
  for (const std::string& l : NewCalls()) EXPECT_EQ(l.rfind("GetBmp", 0), std::string::npos) << l;
}

// ---- faults inside the libraries -----------------------------------------------------------

// Every call into the libraries, scripted to fault: the call raises an error that names the
// fault and the library, and the same call works again once the library behaves.
TEST_F(ReaderTest, FaultInsideALibraryIsAnErrorAndTheNextCallWorks) {
  using qx::kestrin::OpenReader;
  using qx::kestrin::ReadCardData;
  struct Case {
    const char* op;
    const wchar_t* library;
    std::function<bool()> call;
  };
  std::string sam;
  std::u16string text;
  const auto openUsb = [&] { return OpenReader(kUsb, 0, sam); };
  const auto openSerial = [&] { return OpenReader(1, 9600, sam); };
  const auto read = [&] { return ReadCardData(kUsb, text); };
  const Case cases[] = {
      {"SDT_ClosePort", L"sdtapi.dll", [] { qx::kestrin::CloseReader(kUsb); return true; }},
      {"SDT_OpenPort", L"sdtapi.dll", openUsb},
      {"SDT_GetSAMIDToStr", L"sdtapi.dll", openUsb},
      {"SDT_GetCOMBaud", L"sdtapi.dll", openSerial},
      {"SDT_SetCOMBaud", L"sdtapi.dll", openSerial},
      {"SDT_StartFindMorvid", L"sdtapi.dll", read},
      {"SDT_SelectMorvid", L"sdtapi.dll", read},
      {"SDT_ReadBaseMsg", L"sdtapi.dll", read},
      {"GetBmp", L"WltRS.dll", read},
  };
  const std::string calm = "[reader]\nports = 1, 1001\n" + CardSection(SampleCardInput());
  for (const Case& c : cases) {
    OpenUsb(calm);
    SetScenario(calm + "[results]\n" + c.op + " = fault\n");
    BoxWatcher boxes;
    try {
      c.call();
      ADD_FAILURE() << c.op << ": no error";
    } catch (const qx::win::RunTimeError& e) {
      EXPECT_EQ(e.text(), c.library + std::wstring(L" 中发生访问冲突（0xC0000005）")) << c.op;
    }
    const Lines calls = NewCalls();
    ASSERT_FALSE(calls.empty()) << c.op;
    EXPECT_EQ(calls.back().substr(0, calls.back().find('(')), c.op);
    EXPECT_EQ(calls.back().substr(calls.back().size() - 8), " = fault") << calls.back();
    EXPECT_TRUE(boxes.seen().empty()) << c.op;

    OpenUsb(calm);
    EXPECT_TRUE(c.call()) << c.op;
  }
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

}  // namespace
