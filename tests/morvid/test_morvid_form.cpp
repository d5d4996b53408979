// Morvid's MainForm driven as a window in the test process, with the reader simulator
// termb.dll: port probe and caption, one and continuous reads, chip number, latest address,
// the card display and the run-time error end.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MainForm.h"
#include "Module1.h"
#include "HeldTimer.h"
#include "MorvidTest.h"
#include "TestSupport.h"

using namespace qx::test;
using morvid_test::JournalCalls;
using morvid_test::W;
using qx::morvid::MainForm;

namespace {

const char kCard[] =
    "[card]\n"
    "name = 张三\n"
    "sex = 1\n"
    "nation = 01\n"
    "birth = 19800101\n"
    "address = 北京市东城区景山前街4号\n"
    "id = 110101198001010011\n"
    "authority = 北京市公安局东城分局\n"
    "valid_start = 20060101\n"
    "valid_end = 长期\n"
    "newadd = 北京市海淀区 中关村大街1号\n";

class MorvidForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ::SetEnvironmentVariableW(L"QX_READER_SCENARIO", scenario_.c_str());
    ::SetEnvironmentVariableW(L"QX_READER_JOURNAL", journal_.c_str());
    // The card files of an earlier case must not pass for this one's.
    ::DeleteFileW((BinDir() + L"\\wz.txt").c_str());
    ::DeleteFileW((BinDir() + L"\\zp.bmp").c_str());
    // Call numbers of the simulator count from its load.
    Module1::Unbind();
  }

  void TearDown() override {
    if (!expectBoxes_) {
      for (const SeenBox& b : boxes_.seen()) ADD_FAILURE() << "message box: " << Utf8(b.text);
    }
    EndForm();
    Module1::Unbind();
    if (!oldDir_.empty()) ::SetCurrentDirectoryW(oldDir_.c_str());
    ::SetEnvironmentVariableW(L"QX_READER_SCENARIO", nullptr);
    ::SetEnvironmentVariableW(L"QX_READER_JOURNAL", nullptr);
  }

  // As the program's App does: the window goes while the form is whole, then the form.
  void EndForm() {
    if (form_) form_->Destroy();
    form_.reset();
  }

  void Scenario(const std::string& text) { ASSERT_TRUE(WriteText(scenario_, text)); }

  // Creates and loads the form; true when it is shown.
  bool Start(const std::string& scenario) {
    Scenario(scenario);
    EndForm();
    form_ = std::make_unique<MainForm>();
    if (!form_->Create()) return false;
    timer2_.Watch(form_->hwnd());
    if (!form_->Load()) return false;
    form_->Show(SW_SHOWNOACTIVATE);
    FlushEvents(0);
    return true;
  }

  // Reads from here on use a current folder of their own, not the program's folder.
  void UseOtherCurrentFolder() {
    wchar_t buf[MAX_PATH * 2];
    ::GetCurrentDirectoryW(MAX_PATH * 2, buf);
    oldDir_ = buf;
    ASSERT_TRUE(::SetCurrentDirectoryW(work_.c_str()));
    ASSERT_NE(work_, BinDir());
  }

  void ClearJournal() { WriteText(journal_, ""); }
  std::vector<std::string> Calls(const std::string& prefix = "") const {
    return JournalCalls(journal_, prefix);
  }

  HWND Ctl(int id) const { return form_->Control(id); }
  std::wstring Text(int id) const { return WindowTextOf(Ctl(id)); }
  bool Enabled(int id) const { return ::IsWindowEnabled(Ctl(id)) != FALSE; }
  void Click(int id) { ::SendMessageW(Ctl(id), BM_CLICK, 0, 0); }
  void Tick() { ::SendMessageW(form_->hwnd(), WM_TIMER, qx::morvid::kTimer2Id, 0); }
  bool HasPhoto() const {
    return ::SendMessageW(Ctl(IDC_PHOTO), STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
  }
  std::wstring Status() const { return SbText(0); }
  std::wstring PortKind() const { return SbText(1); }
  // Read straight from the control, by its part number.
  std::wstring SbText(int part) const {
    HWND sb = Ctl(IDC_STATUSBAR1);
    wchar_t buf[512] = {};
    const LRESULT len = ::SendMessageW(sb, SB_GETTEXTLENGTHW, part, 0);
    if (LOWORD(len) >= 512) return L"<too long>";
    ::SendMessageW(sb, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(buf));
    return buf;
  }
  void SetCheck(int id, bool on) {
    const bool is = ::SendMessageW(Ctl(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (is != on) Click(id);
  }

  TempDir dirOwner_{L"morvid"};
  TempDir workOwner_{L"morvid-cwd"};
  std::wstring dir_ = morvid_test::FullPath(dirOwner_.path());
  std::wstring work_ = morvid_test::FullPath(workOwner_.path());
  std::wstring scenario_ = dir_ + L"\\scenario.ini";
  std::wstring journal_ = dir_ + L"\\journal.txt";
  std::wstring oldDir_;
  std::unique_ptr<MainForm> form_;
  // Timer2 ticks only when a test sends it a tick.
  HeldTimer timer2_{qx::morvid::kTimer2Id};
  // Every message box is answered with OK (and looked at first by onBox_); a test that
  // expects none fails on any, instead of hanging.
  bool expectBoxes_ = false;
  std::function<void(HWND)> onBox_;
  BoxWatcher boxes_{[this](HWND box, const SeenBox&) {
    if (onBox_) onBox_(box);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  }};
};

const int kValueLabels[] = {IDC_NAMET, IDC_SEX, IDC_NATION, IDC_BORN, IDC_ADDRESS,
                            IDC_IDN, IDC_REG, IDC_VALIDDATE, IDC_NEWADD, IDC_IINSNDN};

// ---- the window as it loads ----

TEST_F(MorvidForm, ControlsAndTheirCaptions) {
  ASSERT_TRUE(Start("[reader]\nports = 1\n"));
  EXPECT_EQ(WindowTextOf(form_->hwnd()), L"智能接口身份证阅读演示程序");
  const struct {
    int id;
    const char* text;
  } captions[] = {
      {IDC_LABEL1, "身份证阅读演示程序"}, {IDC_LABEL2, "姓名"},     {IDC_LABEL3, "性别"},
      {IDC_LABEL4, "民族"},           {IDC_LABEL5, "出生"},     {IDC_LABEL6, "住址"},
      {IDC_LABEL7, "公民身份号码"},     {IDC_LABEL8, "签发机关"},  {IDC_LABEL9, "有效期限"},
      {IDC_LABEL10, "最新住址"},       {IDC_LABEL11, "芯片号"},   {IDC_CHECK1, "连续读卡"},
      {IDC_CHECK2, "相片解码"},        {IDC_RDCMD, "读 卡"},     {IDC_NEWADDCMD, "最新住址"},
      {IDC_CMDREADIINSNDN, "读芯片号"}, {IDC_ENDCMD, "退 出"},
  };
  for (const auto& c : captions) EXPECT_EQ(Text(c.id), W(c.text)) << c.text;
  for (int id : kValueLabels) EXPECT_EQ(Text(id), L"") << id;
  EXPECT_FALSE(HasPhoto());
  EXPECT_EQ(Status(), L"");
  EXPECT_EQ(form_->PanelText(L"pg_status"), L"");
  EXPECT_EQ(form_->PanelText(L"status"), L"连接RS-232C口");

  // Client area of 10965 x 8115 twips at the screen's resolution.
  RECT rc;
  ::GetClientRect(form_->hwnd(), &rc);
  EXPECT_EQ(rc.right, ::MulDiv(10965, qx::win::ScreenDpiX(), 1440));
  EXPECT_EQ(rc.bottom, ::MulDiv(8115, qx::win::ScreenDpiY(), 1440));

  // The check boxes and buttons stand in one column at the right, in this order.
  int lastTop = -1;
  int left = -1;
  for (int id : {IDC_CHECK1, IDC_CHECK2, IDC_RDCMD, IDC_NEWADDCMD, IDC_CMDREADIINSNDN, IDC_ENDCMD}) {
    RECT r;
    ::GetWindowRect(Ctl(id), &r);
    ::MapWindowPoints(nullptr, form_->hwnd(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_GT(r.top, lastTop);
    if (left >= 0) {
      EXPECT_EQ(r.left, left);
    }
    left = r.left;
    lastTop = r.top;
    EXPECT_GT(r.left, rc.right * 3 / 4);
  }
  // Fonts: the title in 楷体_GB2312, the values and captions in 宋体.
  LOGFONTW lf{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Ctl(IDC_LABEL1), WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_STREQ(lf.lfFaceName, L"楷体_GB2312");
  EXPECT_EQ(lf.lfHeight, -::MulDiv(36, qx::win::ScreenDpiY(), 72));
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Ctl(IDC_NAMET), WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_STREQ(lf.lfFaceName, L"宋体");
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
  EXPECT_FALSE(form_->timer2Enabled());
}

TEST_F(MorvidForm, SerialPortTwoAnswers) {
  ASSERT_TRUE(Start("[reader]\nports = 2\n"));
  EXPECT_EQ(Calls("InitComm"), (std::vector<std::string>{"InitComm(1) = 0", "InitComm(2) = 1"}));
  EXPECT_EQ(PortKind(), L"连接RS-232C口");
  EXPECT_EQ(form_->port(), 2);
  EXPECT_FALSE(form_->usbPort());
  EXPECT_EQ(form_->lastResult(), 0);

  Click(IDC_CHECK1);
  EXPECT_TRUE(form_->timer2Enabled());
  for (int id : {IDC_RDCMD, IDC_NEWADDCMD, IDC_CMDREADIINSNDN}) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(IDC_CHECK2));
  EXPECT_TRUE(Enabled(IDC_ENDCMD));
  Click(IDC_CHECK1);
  EXPECT_FALSE(form_->timer2Enabled());
  for (int id : {IDC_RDCMD, IDC_NEWADDCMD, IDC_CMDREADIINSNDN}) EXPECT_TRUE(Enabled(id)) << id;
  // Nothing was closed while probing.
  EXPECT_TRUE(Calls("CloseComm").empty());
}

TEST_F(MorvidForm, UsbPort1002AnswersAfterTheSerialPorts) {
  ASSERT_TRUE(Start("[reader]\nports = 1002-1004\n"));
  EXPECT_EQ(Calls("InitComm"),
            (std::vector<std::string>{"InitComm(1) = 0", "InitComm(2) = 0", "InitComm(3) = 0",
                                      "InitComm(4) = 0", "InitComm(1001) = 0", "InitComm(1002) = 1"}));
  EXPECT_EQ(PortKind(), L"连接USB口");
  EXPECT_EQ(form_->port(), 1002);
  EXPECT_TRUE(form_->usbPort());
  // The load enables the chip-number button on either kind of port.
  EXPECT_TRUE(Enabled(IDC_CMDREADIINSNDN));

  Click(IDC_CHECK1);
  Click(IDC_CHECK1);
  EXPECT_TRUE(Enabled(IDC_RDCMD));
  EXPECT_TRUE(Enabled(IDC_NEWADDCMD));
  EXPECT_FALSE(Enabled(IDC_CMDREADIINSNDN));
}

// Visible buttons and icons of a message box.
struct BoxParts {
  int buttons = 0;
  int icons = 0;
};

BOOL CALLBACK CountPart(HWND child, LPARAM lp) {
  auto* parts = reinterpret_cast<BoxParts*>(lp);
  // The box itself is not shown yet when it activates: look at the children's own style.
  if (!(::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) return TRUE;
  const std::wstring cls = ClassNameOf(child);
  if (_wcsicmp(cls.c_str(), L"Button") == 0) ++parts->buttons;
  if (_wcsicmp(cls.c_str(), L"Static") == 0 && ::SendMessageW(child, STM_GETICON, 0, 0)) ++parts->icons;
  return TRUE;
}

TEST_F(MorvidForm, NoPortAnswersEndsTheProgramWithoutShowingTheWindow) {
  expectBoxes_ = true;
  bool visibleAtBox = true;
  BoxParts parts;
  onBox_ = [&](HWND box) {
    visibleAtBox = form_ && form_->hwnd() && ::IsWindowVisible(form_->hwnd());
    ::EnumChildWindows(box, &CountPart, reinterpret_cast<LPARAM>(&parts));
  };
  EXPECT_FALSE(Start("[reader]\nports =\n"));
  ASSERT_EQ(boxes_.seen().size(), 1u);
  EXPECT_EQ(boxes_.seen()[0].caption, L"错误");
  EXPECT_EQ(boxes_.seen()[0].text, L"打开端口失败！");
  EXPECT_FALSE(visibleAtBox);
  EXPECT_EQ(parts.buttons, 1);
  EXPECT_EQ(parts.icons, 0);
  EXPECT_TRUE(form_->ended());
  EXPECT_EQ(form_->exitCode(), 0);
  EXPECT_FALSE(form_->exists());
  const std::vector<std::string> probes = Calls("InitComm");
  ASSERT_EQ(probes.size(), 8u);
  const char* ports[] = {"(1)", "(2)", "(3)", "(4)", "(1001)", "(1002)", "(1003)", "(1004)"};
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(probes[i], std::string("InitComm") + ports[i] + " = 0");
  EXPECT_TRUE(Calls("GetSAMID").empty());
}

TEST_F(MorvidForm, CaptionTakesTheThirdAndFourthPartsOfAtLeastFive) {
  const struct {
    const char* samid;
    const char* caption;
  } cases[] = {
      {"05.01-20101217-0000001234-2305843009", "智能接口身份证阅读演示程序"},
      {"05.01-20101217-0000001234-2305843009-11-22",
       "智能接口身份证阅读演示程序(授权号: 0000001234-2305843009) "},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Start(std::string("[reader]\nports = 1\nsamid = ") + c.samid + "\n"));
    EXPECT_EQ(WindowTextOf(form_->hwnd()), W(c.caption)) << c.samid;
    EndForm();
    Module1::Unbind();
  }
}

// ---- one read ----

TEST_F(MorvidForm, OneReadResults) {
  const struct {
    const char* scenario;
    bool photoBox;
    const char* mode;
    const char* status;
    bool card;
    bool photo;
  } cases[] = {
      {"", true, "Read_Content(4) = 1", "读卡成功!请放下一张卡...", true, true},
      {"", false, "Read_Content(2) = 1", "读卡成功!请放下一张卡...", true, false},
      {"photo = bad\n", true, "Read_Content(4) = -1", "相片解码错误!", true, false},
      {"[results]\nRead_Content = -2\n", false, "Read_Content(2) = -2", "wlt文件后缀错误!", false, false},
      {"[results]\nRead_Content = -3\n", false, "Read_Content(2) = -3", "wlt文件打开错误!", false, false},
      {"[results]\nRead_Content = -4\n", false, "Read_Content(2) = -4", "wlt文件格式错误!", false, false},
      {"[results]\nRead_Content = 7\n", true, "Read_Content(4) = 7", "读卡失败!请重新放卡...", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + kCard + c.scenario));
    SetCheck(IDC_CHECK2, c.photoBox);
    // A read clears the latest address and chip number too.
    ::SetWindowTextW(Ctl(IDC_NEWADD), L"old");
    ::SetWindowTextW(Ctl(IDC_IINSNDN), L"old");
    ClearJournal();
    Click(IDC_RDCMD);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"AuthenticateExt() = 1", c.mode}));
    EXPECT_EQ(Status(), W(c.status));
    EXPECT_EQ(Text(IDC_NAMET), c.card ? W("张三") + std::wstring(13, L' ') : L"");
    EXPECT_EQ(Text(IDC_VALIDDATE), c.card ? L"2006.01.01-长期" : L"");
    EXPECT_EQ(Text(IDC_NEWADD), L"");
    EXPECT_EQ(Text(IDC_IINSNDN), L"");
    EXPECT_EQ(HasPhoto(), c.photo);
    EXPECT_EQ(form_->lastResult(), 0);
    EndForm();
    Module1::Unbind();
  }
}

TEST_F(MorvidForm, OneReadWithoutACardStillAsksForTheContent) {
  ASSERT_TRUE(Start(std::string("[reader]\nports = 1\npresent = never\n") + kCard));
  SetCheck(IDC_CHECK2, false);
  ClearJournal();
  Click(IDC_RDCMD);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"AuthenticateExt() = 0", "Read_Content(2) = 0"}));
  EXPECT_EQ(Status(), L"读卡失败!请重新放卡...");
  EXPECT_EQ(Text(IDC_NAMET), L"");
}

// A double click on the read button is two reads: the quick second press is a click too.
TEST_F(MorvidForm, DoubleClickOnReadReadsTwice) {
  ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + kCard));
  ClearJournal();
  HWND read = Ctl(IDC_RDCMD);
  const LPARAM at = MAKELPARAM(5, 5);
  ::SendMessageW(read, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageW(read, WM_LBUTTONUP, 0, at);
  ::SendMessageW(read, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  ::SendMessageW(read, WM_LBUTTONUP, 0, at);
  FlushEvents(0);
  EXPECT_EQ(Calls("Read_Content"), (std::vector<std::string>{"Read_Content(4) = 1", "Read_Content(4) = 1"}));
}

TEST_F(MorvidForm, ShownCardFields) {
  ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + kCard));
  Click(IDC_RDCMD);
  EXPECT_EQ(Text(IDC_SEX), L"男");
  EXPECT_EQ(Text(IDC_NATION), L"汉");
  EXPECT_EQ(Text(IDC_BORN), L"1980年01月01日");
  EXPECT_EQ(Text(IDC_ADDRESS), W("北京市东城区景山前街4号") + std::wstring(23, L' '));
  EXPECT_EQ(Text(IDC_IDN), L"110101198001010011");
  EXPECT_EQ(Text(IDC_REG), W("北京市公安局东城分局") + std::wstring(5, L' '));
  // The photo is the library's bitmap of the card.
  BITMAP bm{};
  ASSERT_TRUE(::GetObjectW(reinterpret_cast<HBITMAP>(::SendMessageW(Ctl(IDC_PHOTO), STM_GETIMAGE, IMAGE_BITMAP, 0)),
                           sizeof bm, &bm));
  EXPECT_EQ(bm.bmWidth, 102);
  EXPECT_EQ(bm.bmHeight, 126);
}

// ---- continuous reading ----

TEST_F(MorvidForm, ContinuousFirstTickAsksForACardThenReadsOne) {
  ASSERT_TRUE(Start(std::string("[reader]\nports = 1\npresent = never\n") + kCard));
  Click(IDC_CHECK1);
  ClearJournal();
  Tick();
  EXPECT_EQ(Status(), L"请放卡...");
  EXPECT_EQ(Calls(), (std::vector<std::string>{"Authenticate() = 0"}));
  EXPECT_EQ(form_->lastResult(), 0);

  // A card is laid on the reader: the next tick reads it and shows it at once.
  Scenario(std::string("[reader]\nports = 1\npresent = 1\n") + kCard);
  ::SetWindowTextW(Ctl(IDC_IINSNDN), L"old");
  Tick();
  EXPECT_EQ(Calls(), (std::vector<std::string>{"Authenticate() = 0", "Authenticate() = 1", "Read_Content(1) = 1"}));
  EXPECT_EQ(Status(), L"正在读卡...");
  EXPECT_EQ(Text(IDC_NAMET), W("张三") + std::wstring(13, L' '));
  EXPECT_EQ(Text(IDC_IINSNDN), L"");
  EXPECT_TRUE(HasPhoto());
  EXPECT_EQ(form_->lastResult(), 1);

  // Its text follows at the next tick and stays while no card answers.
  for (int i = 0; i < 2; ++i) {
    Tick();
    EXPECT_EQ(Status(), L"读卡成功!请放下一张卡...");
    EXPECT_EQ(Text(IDC_NAMET), W("张三") + std::wstring(13, L' '));
    EXPECT_TRUE(HasPhoto());
  }
  EXPECT_EQ(Calls("Read_Content").size(), 1u);

  // Switching off and on keeps the last result.
  Click(IDC_CHECK1);
  Click(IDC_CHECK1);
  Tick();
  EXPECT_EQ(Status(), L"读卡成功!请放下一张卡...");
}

TEST_F(MorvidForm, ContinuousModesFollowThePhotoBox) {
  ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + kCard));
  SetCheck(IDC_CHECK2, false);
  Click(IDC_CHECK1);
  ClearJournal();
  Tick();
  SetCheck(IDC_CHECK2, true);
  Tick();
  EXPECT_EQ(Calls("Read_Content"), (std::vector<std::string>{"Read_Content(2) = 1", "Read_Content(1) = 1"}));
}

TEST_F(MorvidForm, ContinuousFailuresAreReportedAtTheNextTicks) {
  const struct {
    const char* forced;
    const char* status;
    short last;
  } cases[] = {
      {"-2", "wlt文件后缀错误!", -2},
      {"-3", "wlt文件打开错误!", -3},
      {"-4", "wlt文件格式错误!", -4},
      {"7", "读卡失败!请重新放卡...", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.forced);
    ASSERT_TRUE(Start(std::string("[reader]\nports = 1\npresent = 1\n") + kCard +
                      "[results]\nRead_Content = " + c.forced + "\n"));
    Click(IDC_CHECK1);
    Tick();
    EXPECT_EQ(Status(), L"正在读卡...");
    EXPECT_EQ(form_->lastResult(), c.last);
    for (int i = 0; i < 2; ++i) {
      Tick();
      EXPECT_EQ(Status(), W(c.status));
      for (int id : kValueLabels) EXPECT_EQ(Text(id), L"") << id;
    }
    EndForm();
    Module1::Unbind();
  }
}

TEST_F(MorvidForm, ContinuousPhotoErrorShowsTheCardAgainAtEveryTick) {
  ASSERT_TRUE(Start(std::string("[reader]\nports = 1\npresent = 1\n") + kCard + "photo = bad\n"));
  SetCheck(IDC_CHECK2, true);
  Click(IDC_CHECK1);
  Tick();
  EXPECT_EQ(Calls("Read_Content"), (std::vector<std::string>{"Read_Content(1) = -1"}));
  EXPECT_EQ(form_->lastResult(), -1);
  EXPECT_EQ(Text(IDC_NAMET), W("张三") + std::wstring(13, L' '));
  EXPECT_FALSE(HasPhoto());
  for (int i = 0; i < 2; ++i) {
    ::SetWindowTextW(Ctl(IDC_NAMET), L"");
    Tick();
    EXPECT_EQ(Text(IDC_NAMET), W("张三") + std::wstring(13, L' '));
    EXPECT_EQ(Text(IDC_IDN), L"110101198001010011");
    EXPECT_FALSE(HasPhoto());
    EXPECT_EQ(Status(), L"相片解码错误!");
  }
  EXPECT_TRUE(form_->exists());
}

TEST_F(MorvidForm, PlatformTimerTicksWhileContinuousReadingIsOn) {
  ASSERT_TRUE(Start("[reader]\nports = 1\npresent = never\n"));
  timer2_.Release();
  const DWORD start = ::GetTickCount();
  Click(IDC_CHECK1);
  EXPECT_TRUE(WaitUntil([&] { return Status() == L"请放卡..."; }, 5000));
  // Every 300 ms: a load can delay ticks but not hasten them, so the third comes 900 ms after
  // the start at the earliest (less a step of the tick count).
  ASSERT_TRUE(WaitUntil([&] { return Calls("Authenticate").size() >= 3; }, 5000));
  EXPECT_GE(::GetTickCount() - start, 3 * 300u - 20);
  Click(IDC_CHECK1);
  FlushEvents(50);
  const size_t after = Calls("Authenticate").size();
  FlushEvents(700);
  EXPECT_EQ(Calls("Authenticate").size(), after);
}

// ---- chip number and latest address ----

std::wstring Repeat(const wchar_t* group, int n) {
  std::wstring s;
  for (int i = 0; i < n; ++i) s += group;
  return s;
}

TEST_F(MorvidForm, ChipNumberFromTheCurrentFolder) {
  const struct {
    std::string hex;  // bytes of IINSNDN.bin
    std::wstring shown;
  } cases[] = {
      {"00 0A FF" + Utf8(Repeat(L" 11", 25)), L"00 0A FF" + Repeat(L" 11", 25)},
      {"00" + Utf8(Repeat(L" 00", 27)), L"00" + Repeat(L" 00", 27)},
      // Only bytes 0 to 27 of a longer file.
      {"22" + Utf8(Repeat(L" 22", 27) + Repeat(L" 33", 12)), L"22" + Repeat(L" 22", 27)},
      // Bytes past the end of a short file count as 0.
      {"AB CD", L"AB CD" + Repeat(L" 00", 26)},
  };
  UseOtherCurrentFolder();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + kCard + "chip_hex = " + c.hex + "\n"));
    ClearJournal();
    Click(IDC_CMDREADIINSNDN);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"AuthenticateExt() = 1", "Read_Content(4) = 1"}));
    EXPECT_TRUE(FileExists(work_ + L"\\IINSNDN.bin"));
    EXPECT_EQ(Text(IDC_IINSNDN), c.shown);
    EXPECT_EQ(Text(IDC_IINSNDN).size(), 83u);
    EXPECT_EQ(form_->chipNo(), L" " + c.shown);
    EXPECT_EQ(Status(), L"读卡成功!请放下一张卡...");
    EndForm();
    Module1::Unbind();
  }
}

TEST_F(MorvidForm, ChipNumberFailures) {
  const struct {
    const char* scenario;
    std::vector<std::string> calls;
    const char* status;
  } cases[] = {
      {"present = never\n", {"AuthenticateExt() = 0"}, "请重新放卡！"},
      {"[results]\nRead_Content = 0\n", {"AuthenticateExt() = 1", "Read_Content(4) = 0"}, "读芯片号失败!"},
  };
  UseOtherCurrentFolder();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + c.scenario + kCard));
    ::SetWindowTextW(Ctl(IDC_IINSNDN), L"00 01");
    ClearJournal();
    Click(IDC_CMDREADIINSNDN);
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(Text(IDC_IINSNDN), L"");
    EXPECT_EQ(Status(), W(c.status));
    EndForm();
    Module1::Unbind();
  }
}

TEST_F(MorvidForm, ChipNumberFileThatCannotBeOpenedIsAFailedRead) {
  UseOtherCurrentFolder();
  // A folder where the file should be: the library's write fails, its forced 1 stands.
  ASSERT_TRUE(::CreateDirectoryW((work_ + L"\\IINSNDN.bin").c_str(), nullptr));
  ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + kCard + "[results]\nRead_Content = 1\n"));
  Click(IDC_CMDREADIINSNDN);
  EXPECT_EQ(Calls("Read_Content"), (std::vector<std::string>{"Read_Content(4) = 1"}));
  EXPECT_EQ(Text(IDC_IINSNDN), L"");
  EXPECT_EQ(Status(), L"读芯片号失败!");
  EXPECT_TRUE(form_->exists());
}

TEST_F(MorvidForm, LatestAddressFromTheCurrentFolder) {
  UseOtherCurrentFolder();
  ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + kCard));
  ClearJournal();
  Click(IDC_NEWADDCMD);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"Authenticate() = 1", "Read_Content(3) = 1"}));
  const std::wstring expected = W("北京市海淀区 中关村大街1号");
  EXPECT_EQ(Text(IDC_NEWADD), expected);
  const auto file = ReadBytes(work_ + L"\\newadd.txt");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(Text(IDC_NEWADD).size(), file->size() / 2);
  EXPECT_EQ(Status(), L"读卡成功!请放下一张卡...");
}

TEST_F(MorvidForm, LatestAddressGoesOnWhateverTheCardCheckSays) {
  const struct {
    const char* scenario;
    std::vector<std::string> calls;
    const char* status;
  } cases[] = {
      // No card: the read is asked for all the same and fails.
      {"present = never\n", {"Authenticate() = 0", "Read_Content(3) = 0"}, "读最新住址失败!"},
      // A card check that fails does not stop a read that succeeds.
      {"[results]\nAuthenticate = 0\nRead_Content = 1\n", {"Authenticate() = 0", "Read_Content(3) = 1"},
       "读卡成功!请放下一张卡..."},
  };
  UseOtherCurrentFolder();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + c.scenario + kCard));
    ::SetWindowTextW(Ctl(IDC_NEWADD), L"old");
    ClearJournal();
    Click(IDC_NEWADDCMD);
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(Status(), W(c.status));
    EndForm();
    Module1::Unbind();
  }
}

TEST_F(MorvidForm, LatestAddressEmptyFileShowsNothingWithSuccess) {
  UseOtherCurrentFolder();
  ASSERT_TRUE(Start("[reader]\nports = 1\n[card]\nname = 李四\n"));
  ::SetWindowTextW(Ctl(IDC_NEWADD), L"old");
  Click(IDC_NEWADDCMD);
  const auto file = ReadBytes(work_ + L"\\newadd.txt");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->size(), 0u);
  EXPECT_EQ(Text(IDC_NEWADD), L"");
  EXPECT_EQ(Status(), L"读卡成功!请放下一张卡...");
}

// ---- the card display of a folder ----

TEST_F(MorvidForm, MissingCardFileReadsAsEmptyAndIsCreated) {
  ASSERT_TRUE(Start("[reader]\nports = 1\n"));
  SetCheck(IDC_CHECK2, false);
  TempDir folderOwner(L"morvid-wz");
  const std::wstring folder = morvid_test::FullPath(folderOwner.path());
  form_->ShowCardInfo(folder);
  EXPECT_EQ(Text(IDC_NAMET), L"");
  EXPECT_EQ(Text(IDC_SEX), L"未说明");
  EXPECT_EQ(Text(IDC_NATION), L"");
  EXPECT_EQ(Text(IDC_BORN), L"年月日");
  EXPECT_EQ(Text(IDC_VALIDDATE), L"..-..");
  auto created = ReadBytes(folder + L"\\wz.txt");
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(created->size(), 0u);
}

TEST_F(MorvidForm, CardFileFieldsAsTheyStandAndAnOddLastByteIgnored) {
  ASSERT_TRUE(Start(std::string("[reader]\nports = 1\n") + kCard));
  // A photo from a read; with the photo box off the display leaves it alone.
  Click(IDC_RDCMD);
  ASSERT_TRUE(HasPhoto());
  SetCheck(IDC_CHECK2, false);
  TempDir folderOwner(L"morvid-wz");
  const std::wstring folder = morvid_test::FullPath(folderOwner.path());
  std::u16string text = u"王五" + std::u16string(13, u' ') + u"236" + u"19991231";
  std::vector<uint8_t> bytes;
  for (char16_t ch : text) {
    bytes.push_back(static_cast<uint8_t>(ch));
    bytes.push_back(static_cast<uint8_t>(ch >> 8));
  }
  bytes.push_back(0x41);
  ASSERT_TRUE(WriteBytes(folder + L"\\wz.txt", bytes.data(), bytes.size()));
  form_->ShowCardInfo(folder);
  EXPECT_EQ(Text(IDC_NAMET), W("王五") + std::wstring(13, L' '));
  EXPECT_EQ(Text(IDC_SEX), L"女");
  EXPECT_EQ(Text(IDC_NATION), L"毛南");
  EXPECT_EQ(Text(IDC_BORN), L"1999年12月31日");
  EXPECT_EQ(Text(IDC_ADDRESS), L"");
  EXPECT_TRUE(HasPhoto());
  std::wstring nation = L"原样";
  form_->GetNation(L"  ", nation);
  EXPECT_EQ(nation, L"原样");
  form_->GetNation(L"99", nation);
  EXPECT_EQ(nation, L"其他");
}

TEST_F(MorvidForm, PictureThatCannotBeLoadedEndsTheProgramWithARunTimeError) {
  // A forced success without a card leaves a blank text and no photo.
  ASSERT_TRUE(Start("[reader]\nports = 1\n[results]\nRead_Content = 1\n"));
  SetCheck(IDC_CHECK2, true);
  expectBoxes_ = true;
  ClearJournal();
  Click(IDC_RDCMD);
  ASSERT_EQ(boxes_.seen().size(), 1u);
  EXPECT_EQ(boxes_.seen()[0].caption, L"Morvid");
  EXPECT_NE(boxes_.seen()[0].text.find(L"zp.bmp"), std::wstring::npos) << Utf8(boxes_.seen()[0].text);
  EXPECT_TRUE(form_->ended());
  EXPECT_EQ(form_->exitCode(), 1);
  EXPECT_FALSE(form_->exists());
  // The run-time end does not close the port.
  EXPECT_TRUE(Calls("CloseComm").empty());
}

TEST_F(MorvidForm, EndButtonAndClosingCloseThePortOnce) {
  for (bool byButton : {true, false}) {
    ASSERT_TRUE(Start("[reader]\nports = 1\n"));
    ClearJournal();
    if (byButton)
      Click(IDC_ENDCMD);
    else
      ::SendMessageW(form_->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(form_->ended());
    EXPECT_FALSE(form_->exists());
    EXPECT_EQ(Calls(), (std::vector<std::string>{"CloseComm() = 1"})) << byButton;
    EndForm();
    Module1::Unbind();
  }
}

}  // namespace
