// The desk's verification workflow in its main window: one-shot and automatic verification
// against the reader simulators, the log step with the number kept in "reader.ini", the card
// fields and face, the photo and copy saves through the real folder dialog, the timer around
// each command, and errors inside a tick. The process runs from a folder of its own (it copies
// itself there with the reader libraries and the templates), where its log store lies too.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "KestrinApp.h"
#include "Reader.h"
#include "SaveName.h"
#include "HeldTimer.h"
#include "ShellTest.h"
#include "TestSupport.h"
#include "data/Connection.h"
#include "data/LogFixture.h"
#include "data/Query.h"
#include "dm.h"
#include "main.h"
#include "win/App.h"
#include "win/Menu.h"

using namespace qx::test;
using namespace kshell_test;
using qx::kestrin::TForm_main;
namespace fixture = qx::data::fixture;

namespace {

const char kIdA[] = "110101198001010011";
const char kIdB[] = "11010119900202002X";
const char kIdC[] = "11010119700303003X";

std::wstring Home() { return qx::kestrin::ProgramFile(L""); }  // ends in "\"
std::filesystem::path HomePath() { return std::filesystem::path(Home()); }

std::wstring IniPath() { return qx::kestrin::ProgramFile(L"reader.ini"); }
void SetIni(const char* utf8) {
  ::DeleteFileW(IniPath().c_str());
  if (utf8) {
    ASSERT_TRUE(WriteText(IniPath(), Gbk(utf8)));
  }
}
std::string IniNum() { return Utf8(qx::kestrin::ReadReaderIni(L"ID", L"NUM", L"<none>")); }

std::vector<std::string> LoggedIds() { return kshell_test::LoggedIds(Home()); }

// ---- modal windows -----------------------------------------------------------------------


struct ChildTextSearch {
  const std::wstring* text;
  bool found;
};
BOOL CALLBACK FindChildText(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<ChildTextSearch*>(lp);
  if (WindowTextOf(w) == *f->text) f->found = true;
  return !f->found;
}
bool HasChildText(HWND parent, const std::wstring& text) {
  ChildTextSearch f{&text, false};
  ::EnumChildWindows(parent, &FindChildText, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

HWND TreeOf(HWND dlg) { return ::FindWindowExW(dlg, nullptr, WC_TREEVIEWW, nullptr); }

std::wstring SelectedTreeText(HWND tree) {
  HTREEITEM item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!item) return L"";
  wchar_t buf[MAX_PATH] = {};
  TVITEMW tv{};
  tv.mask = TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = buf;
  tv.cchTextMax = MAX_PATH;
  ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
  return buf;
}

// Answers message boxes (recording them) and the folder dialog: picks `folder` (its tree item
// shows `leaf`) or cancels when folder is empty. Other dialogs are closed.
class Modal {
 public:
  std::wstring folder;
  std::wstring leaf;
  std::vector<SeenBox> boxes;
  std::vector<std::wstring> dialogs;
  bool promptSeen = false;
  bool timerDuringDialog = false;
  const TForm_main* form = nullptr;

 private:
  std::set<HWND> seen_;
  void Pick(HWND dlg, int tries) {
    if (folder.empty()) {
      ::PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    ::SendMessageW(dlg, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    // The selection sometimes does not take at once: press OK only once the tree shows it.
    Later(60, [this, dlg, tries] {
      if (SelectedTreeText(TreeOf(dlg)).find(leaf) != std::wstring::npos || tries >= 8)
        ::PostMessageW(dlg, WM_COMMAND, IDOK, 0);
      else
        Pick(dlg, tries + 1);
    });
  }
  BoxWatcher watcher_{[this](HWND w, const SeenBox& seen) {
    if (::GetDlgItem(w, 0xFFFF)) {
      boxes.push_back(seen);
      ::PostMessageW(w, WM_COMMAND, IDOK, 0);
      return;
    }
    if (!seen_.insert(w).second) return;
    dialogs.push_back(seen.caption);
    if (form) timerDuringDialog = form->TimeautoEnabled();
    Later(50, [this, w] {
      if (TreeOf(w)) {
        promptSeen = HasChildText(w, W("请选择文件夹"));
        Pick(w, 0);
      } else {
        ::PostMessageW(w, WM_CLOSE, 0, 0);
      }
    });
  }};
};

// ---- the program ---------------------------------------------------------------------------

// COM's answer to a second initialisation of this thread, the call balanced again.
HRESULT ApartmentProbe(DWORD model) {
  const HRESULT hr = ::CoInitializeEx(nullptr, model);
  if (SUCCEEDED(hr)) ::CoUninitialize();
  return hr;
}

// The whole program runs on this thread: its window thread holds a single-threaded apartment
// while the main window is up (the folder dialog and the help command need one), and gives it
// back at the end.
TEST(Program, WindowThreadHoldsASingleThreadedApartmentForTheProgramsLife) {
  ASSERT_EQ(ApartmentProbe(COINIT_MULTITHREADED), S_OK) << "this thread entered an apartment before";
  SetIni(nullptr);
  SetScenario(Reader(""));
  fixture::LayLogStore(HomePath());
  HRESULT multi = E_FAIL, single = E_FAIL;
  bool closed = false;
  std::function<void()> probe = [&] {
    const qx::win::App* app = qx::win::App::Current();
    HWND main = app ? app->MainHwnd() : nullptr;
    if (!main || !::IsWindowVisible(main)) {
      Later(100, probe);
      return;
    }
    multi = ApartmentProbe(COINIT_MULTITHREADED);
    single = ApartmentProbe(COINIT_APARTMENTTHREADED);
    closed = true;
    ::PostMessageW(main, WM_CLOSE, 0, 0);
  };
  Later(100, probe);
  BoxWatcher boxes;
  EXPECT_EQ(qx::kestrin::RunKestrin(SW_SHOW), 0);
  ASSERT_TRUE(closed);
  EXPECT_TRUE(boxes.seen().empty()) << Utf8(BoxTexts(boxes.seen()));
  EXPECT_EQ(multi, RPC_E_CHANGED_MODE);
  EXPECT_EQ(single, S_FALSE);
  EXPECT_EQ(ApartmentProbe(COINIT_MULTITHREADED), S_OK);
}

// ---- the window ----------------------------------------------------------------------------

class Flow : public ::testing::Test {
 protected:
  void SetUp() override {
    SetIni(nullptr);
    SetScenario(Reader(""));
    fixture::LayLogStore(HomePath());
    dm_ = std::make_unique<qx::kestrin::TdataMd>();
    dm_->adoLog.SetConnectionString("FILE NAME=" + Utf8(Home()) + "DBLink.udl");
    dm_->adoLog.SetConnected(true);
    qx::kestrin::dataMd = dm_.get();
  }
  void TearDown() override {
    form_.reset();
    qx::kestrin::dataMd = nullptr;
    dm_.reset();
  }
  // The window, shown (which connects the reader on port 1), with ticks only when sent.
  void Make() {
    form_ = std::make_unique<TForm_main>();
    ASSERT_TRUE(form_->Create());
    timeauto_.Watch(form_->hwnd());
    ::ShowWindow(form_->hwnd(), SW_SHOW);
    FlushEvents(30);
    ASSERT_EQ(form_->CurPort, 1);
  }
  void Command(int id) { ::SendMessageW(form_->hwnd(), WM_COMMAND, id, 0); }
  void Tick() { ::SendMessageW(form_->hwnd(), WM_TIMER, qx::kestrin::kTimeautoId, 0); }
  std::wstring Panel1() const { return form_->PanelText(1); }
  std::string Field(int id) const { return Utf8(WindowTextOf(::GetDlgItem(form_->GroupBox1(), id))); }
  size_t JournalSize() const { return JournalCalls(JournalPath()).size(); }

  std::unique_ptr<qx::kestrin::TdataMd> dm_;
  // timeauto ticks only when a test sends it a tick.
  HeldTimer timeauto_{qx::kestrin::kTimeautoId};
  std::unique_ptr<TForm_main> form_;
};

TEST_F(Flow, OneShotFillsTheHiddenFieldsPhotoFaceAndCopyAndLogsTheCard) {
  SetScenario(Reader(Card("张三", kIdB, "2")));
  Make();
  EXPECT_FALSE(::IsWindowVisible(form_->GroupBox1()));
  RECT face{};
  ::GetWindowRect(form_->Panel2(), &face);
  EXPECT_EQ(face.right - face.left, 665);
  EXPECT_EQ(face.bottom - face.top, 449);

  Modal m;
  Command(IDC_TBTNCHECK);
  EXPECT_TRUE(m.boxes.empty()) << Utf8(BoxTexts(m.boxes));
  EXPECT_EQ(Panel1(), W("身份验证成功!"));
  EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_EDTNAME), "张三");
  EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_EDTSEX), "女");
  EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_HIDSEXID), "2");
  EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_EDTNATION), "汉");
  EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_EDTBIRH), "1980-01-01");
  EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_EDTID), kIdB);
  EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_HIDEXPIREE), "长期..");
  EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_EDTEXPIRE), "2006.01.01-长期..");
  EXPECT_EQ(form_->ImagePhoto().Width(), 102);
  EXPECT_EQ(form_->PhotoTransparentColor(), form_->ImagePhoto().Pixel(0, 0));
  EXPECT_EQ(form_->FaceLabels().labSN, W("张三"));
  EXPECT_EQ(form_->FaceLabels().labSa1, W("北京市东城区景山前街4"));
  EXPECT_EQ(form_->FacePicture().Width(), 665);
  EXPECT_EQ(form_->CopyImages().width, 333);
  EXPECT_EQ(form_->CopyImages().height, 219);

  const std::vector<std::string> ids = LoggedIds();
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_EQ(ids[0], kIdB);
  EXPECT_EQ(IniNum(), kIdB);
}

// The log step by the number that "reader.ini" keeps.
struct LogCase {
  const char* name;
  const char* ini;                   // reader.ini before the program starts (null: none)
  std::vector<const char*> cards;    // read in this order
  std::vector<const char*> logged;   // TLog afterwards
};

class FlowLog : public Flow, public ::testing::WithParamInterface<LogCase> {};

TEST_P(FlowLog, LogsEachCardThatDiffersFromTheOneVerifiedLast) {
  const LogCase& c = GetParam();
  SetIni(c.ini);
  std::string cards;
  for (const char* id : c.cards) cards += Card("李四", id);
  SetScenario(Reader(cards));
  Make();
  Modal m;
  for (size_t i = 0; i < c.cards.size(); ++i) {
    Command(IDM_NCHK);
    EXPECT_EQ(Panel1(), W("身份验证成功!")) << i;
    EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_EDTID), c.cards[i]) << i;
  }
  EXPECT_TRUE(m.boxes.empty()) << Utf8(BoxTexts(m.boxes));
  EXPECT_EQ(LoggedIds(), std::vector<std::string>(c.logged.begin(), c.logged.end()));
  EXPECT_EQ(IniNum(), c.cards.back());
  // The reader settings of the file stay.
  if (c.ini) {
    EXPECT_EQ(Utf8(qx::kestrin::ReadReaderIni(L"COM", L"port", L"")), "COM1");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlowLog,
    ::testing::Values(LogCase{"SameCardTwice", nullptr, {kIdA, kIdA}, {kIdA}},
                      LogCase{"ABA", nullptr, {kIdA, kIdB, kIdA}, {kIdA, kIdB, kIdA}},
                      LogCase{"EqualToTheNumberFromBefore", "[COM]\nport=COM1\n[ID]\nNUM=110101198001010011\n",
                              {kIdA, kIdB}, {kIdB}},
                      // The comparison is exact: a small x is another number.
                      LogCase{"CaseCounts", "[COM]\nport=COM1\n[ID]\nNUM=11010119900202002x\n", {kIdB}, {kIdB}},
                      LogCase{"DefaultNumberIsOne", "[COM]\nport=COM1\n[ID]\nNUM=1\n", {kIdA}, {kIdA}}),
    [](const ::testing::TestParamInfo<LogCase>& i) { return std::string(i.param.name); });

TEST_F(Flow, WithoutReaderIniTheFirstCardIsLoggedAndTheFileCreated) {
  SetScenario(Reader(Card("王五", kIdC)));
  Make();
  ASSERT_FALSE(FileExists(IniPath()));
  Command(IDM_NCHK);
  EXPECT_EQ(LoggedIds(), std::vector<std::string>{kIdC});
  ASSERT_TRUE(FileExists(IniPath()));
  EXPECT_NE(ReadText(IniPath()).find(std::string("[ID]")), std::string::npos);
  EXPECT_EQ(IniNum(), kIdC);
}

// The number verified last cannot be kept (a folder stands where "reader.ini" would be): each
// verification logs the card and then says so, in the default error message.
TEST_F(Flow, UnwritableReaderIniIsAnErrorAfterEveryVerification) {
  SetScenario(Reader(Card("王五", kIdC)));
  Make();
  ASSERT_TRUE(::CreateDirectoryW(IniPath().c_str(), nullptr));
  struct Removed {
    ~Removed() { ::RemoveDirectoryW(IniPath().c_str()); }
  } removed;
  Modal m;
  Command(IDM_NCHK);
  Command(IDM_NCHK);
  const std::wstring error = W("无法写入文件 \"") + IniPath() + W("\"。访问被拒绝。");
  ASSERT_EQ(m.boxes.size(), 2u) << Utf8(BoxTexts(m.boxes));
  for (const SeenBox& b : m.boxes) EXPECT_EQ(b.text, error) << Utf8(b.text);
  EXPECT_EQ(Panel1(), L" ... ...");
  EXPECT_EQ(LoggedIds(), (std::vector<std::string>{kIdC, kIdC}));
}

TEST_F(Flow, AutomaticModeReadsAtEachTickShowsEachTimeAndLogsOnce) {
  SetScenario(Reader(Card("赵六", kIdA)));
  Make();
  const size_t before = JournalSize();
  Command(IDM_NAUTO);
  EXPECT_EQ(JournalSize(), before);  // no read at once
  EXPECT_EQ(Panel1(), L" ... ...");
  Modal m;
  for (int i = 0; i < 3; ++i) {
    Tick();
    EXPECT_EQ(Panel1(), W("身份验证成功！")) << i;
    EXPECT_TRUE(form_->TimeautoEnabled()) << i;
    EXPECT_EQ(form_->FaceLabels().labSi, W(kIdA)) << i;
  }
  EXPECT_TRUE(m.boxes.empty()) << Utf8(BoxTexts(m.boxes));
  // Each tick looked for, selected and read the card.
  EXPECT_EQ(JournalSize(), before + 9);
  EXPECT_EQ(LoggedIds(), std::vector<std::string>{kIdA});
  EXPECT_EQ(form_->CopyImages().width, 333);

  Command(IDC_TBTNAUTO);
  EXPECT_EQ(Panel1(), L"... ...");
  EXPECT_FALSE(form_->TimeautoEnabled());
}

TEST_F(Flow, NoCardClearsTheFaceOnceAndKeepsItInAutomaticMode) {
  SetScenario(Reader(Card("孙七", kIdA)));
  Make();
  Command(IDM_NCHK);
  ASSERT_EQ(form_->FaceLabels().labSN, W("孙七"));

  SetScenario(Reader(Card("孙七", kIdA), "never"));
  Command(IDM_NCHK);
  EXPECT_EQ(Panel1(), W("身份验证失败!"));
  EXPECT_EQ(form_->FaceLabels().labSN, L"");
  EXPECT_EQ(form_->FaceLabels().labSi, L"");
  // The fields keep the last card.
  EXPECT_EQ(Field(qx::kestrin::IDC_MAIN_EDTNAME), "孙七");

  SetScenario(Reader(Card("孙七", kIdA)));
  Command(IDM_NCHK);
  SetScenario(Reader(Card("孙七", kIdA), "never"));
  Command(IDM_NAUTO);
  Tick();
  EXPECT_EQ(Panel1(), W("等待刷卡......"));
  EXPECT_EQ(form_->FaceLabels().labSN, W("孙七"));
  EXPECT_TRUE(form_->TimeautoEnabled());
  EXPECT_EQ(LoggedIds(), std::vector<std::string>{kIdA});
}

// An error inside a tick reaches the default message and leaves the timer stopped.
struct TickError {
  const char* name;
  const char* sex;         // the card's sex code
  bool dropTable;          // the log store refuses the insert
  const char* results;     // forced results of the reader libraries
  const char* message;     // the default error message ("" : any)
};

class FlowTickError : public Flow, public ::testing::WithParamInterface<TickError> {};

TEST_P(FlowTickError, LeavesTheTimerStoppedUntilOffAndOn) {
  const TickError& c = GetParam();
  SetScenario(Reader(Card("周八", kIdA, c.sex)) + "[results]\n" + c.results + "\n");
  if (c.dropTable) fixture::ExecSql(HomePath() / fixture::kLogDatabaseName, "DROP TABLE TLog");
  Make();
  Command(IDM_NAUTO);
  {
    Modal m;
    Tick();
    ASSERT_EQ(m.boxes.size(), 1u);
    EXPECT_EQ(m.boxes[0].caption, W("Tesmo二代身份验证"));
    if (*c.message) {
      EXPECT_EQ(m.boxes[0].text, W(c.message));
    }
  }
  EXPECT_EQ(Panel1(), L" ... ...");  // keeps its text
  EXPECT_FALSE(form_->TimeautoEnabled());
  EXPECT_EQ(form_->AutoFlag, 1);
  EXPECT_EQ(qx::win::MenuText(form_->Menu(), IDM_NAUTO, false), W("停止(&S)"));
  EXPECT_EQ(IniNum(), "<none>");  // not written after a failed append
  // A stopped timer serves no tick.
  const size_t journal = JournalSize();
  Tick();
  EXPECT_EQ(JournalSize(), journal);

  if (c.dropTable) fixture::ExecSql(HomePath() / fixture::kLogDatabaseName, fixture::kLogTableSql);
  SetScenario(Reader(Card("周八", kIdA)));
  Command(IDM_NAUTO);
  Command(IDM_NAUTO);
  EXPECT_TRUE(form_->TimeautoEnabled());
  Modal m;
  Tick();
  EXPECT_TRUE(m.boxes.empty()) << Utf8(BoxTexts(m.boxes));
  EXPECT_EQ(Panel1(), W("身份验证成功！"));
  EXPECT_EQ(LoggedIds(), std::vector<std::string>{kIdA});
  EXPECT_EQ(IniNum(), kIdA);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlowTickError,
                         ::testing::Values(TickError{"DatabaseError", "1", true, "", "无法执行查询：no such table: TLog"},
                                           TickError{"SexCodeNoNumber", "x", false, "", "'x' 不是有效的整数值"},
                                           TickError{"ReaderFault", "1", false, "SDT_ReadBaseMsg = fault",
                                                     "sdtapi.dll 中发生访问冲突（0xC0000005）"}),
                         [](const ::testing::TestParamInfo<TickError>& i) { return std::string(i.param.name); });

// A template missing beside the program: the verification stops with the default error
// message, which names the file and gives Wine's own reason. A one-shot verification composes
// the copy before it logs the card, a tick logs it first: with the front template missing,
// whether the row is there tells which came first.
struct MissingTemplateCase {
  const char* name;
  const wchar_t* file;
  bool automatic;
  bool logged;
};

class FlowMissingTemplate : public Flow, public ::testing::WithParamInterface<MissingTemplateCase> {};

TEST_P(FlowMissingTemplate, NamesTheFileAndTheReason) {
  const MissingTemplateCase& c = GetParam();
  const std::wstring file = qx::kestrin::ProgramFile(c.file);
  const std::wstring away = file + L".away";
  SetScenario(Reader(Card("钱一", kIdA)));
  Make();
  if (c.automatic) Command(IDM_NAUTO);
  ASSERT_TRUE(::MoveFileW(file.c_str(), away.c_str()));
  struct Back {
    const std::wstring& from;
    const std::wstring& to;
    ~Back() { ::MoveFileW(from.c_str(), to.c_str()); }
  } back{away, file};
  Modal m;
  if (c.automatic)
    Tick();
  else
    Command(IDM_NCHK);
  ASSERT_EQ(m.boxes.size(), 1u) << Utf8(BoxTexts(m.boxes));
  EXPECT_EQ(m.boxes[0].text, W("无法打开文件 \"") + file + W("\"。找不到文件。")) << Utf8(m.boxes[0].text);
  EXPECT_EQ(m.boxes[0].caption, W("Tesmo二代身份验证"));
  EXPECT_EQ(Panel1(), L" ... ...");
  EXPECT_EQ(LoggedIds(), c.logged ? std::vector<std::string>{kIdA} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Templates, FlowMissingTemplate,
                         ::testing::Values(MissingTemplateCase{"show", L"show.bmp", false, false},
                                           MissingTemplateCase{"OneShotComposesFirst", L"bkF.bmp", false, false},
                                           MissingTemplateCase{"bkB", L"bkB.bmp", false, false},
                                           MissingTemplateCase{"TickLogsFirst", L"bkF.bmp", true, true}),
                         [](const ::testing::TestParamInfo<MissingTemplateCase>& i) {
                           return std::string(i.param.name);
                         });

// ---- saves ---------------------------------------------------------------------------------

struct SaveCase {
  const char* name;
  int command;
  bool automatic;
  bool cancel;
};

class FlowSave : public Flow, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(FlowSave, SavesIntoTheChosenFolderAndRestartsTheTimer) {
  const SaveCase& c = GetParam();
  SetScenario(Reader(Card("吴九", kIdB)));
  Make();
  Command(IDM_NCHK);
  ASSERT_EQ(Field(qx::kestrin::IDC_MAIN_EDTID), kIdB);
  if (c.automatic) Command(IDM_NAUTO);

  TempDir out(L"kflow-out");
  const std::wstring folder = FullPath(out.path());
  Modal m;
  m.form = form_.get();
  if (!c.cancel) {
    m.folder = folder;
    m.leaf = folder.substr(folder.find_last_of(L'\\') + 1);
  }
  Command(c.command);
  ASSERT_EQ(m.dialogs.size(), 1u);
  EXPECT_TRUE(m.promptSeen);
  const bool photo = c.command == IDC_TBTNCOPY || c.command == IDM_NCOPY;
  // The photo save stops the timer before the choice, the copy save only after it.
  if (c.automatic) {
    EXPECT_EQ(m.timerDuringDialog, !photo);
  }
  EXPECT_EQ(form_->TimeautoEnabled(), c.automatic);

  const std::vector<std::wstring> files = ListFiles(folder);
  if (c.cancel) {
    EXPECT_TRUE(files.empty());
    EXPECT_TRUE(m.boxes.empty()) << Utf8(BoxTexts(m.boxes));
    return;
  }
  ASSERT_EQ(m.boxes.size(), 1u);
  EXPECT_EQ(m.boxes[0].text, photo ? W("照片保存成功！") : W("复印保存成功！"));
  ASSERT_EQ(files.size(), 1u);
  if (photo) {
    // The identity number as the card gives it, with its capital X.
    EXPECT_EQ(Utf8(files[0]), std::string(kIdB) + ".bmp");
    const qx::kestrin::Picture saved = qx::kestrin::Picture::FromBmpFile(folder + L"\\" + files[0]);
    EXPECT_EQ(saved.Width(), 102);
    EXPECT_EQ(saved.Pixel(50, 60), form_->ImagePhoto().Pixel(50, 60));
  } else {
    EXPECT_EQ(Utf8(files[0]), std::string("P") + kIdB + ".jpg");
    const std::string jpeg = ReadText(folder + L"\\" + files[0]);
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlowSave,
    ::testing::Values(SaveCase{"Photo", IDM_NCOPY, false, false}, SaveCase{"PhotoAutomatic", IDC_TBTNCOPY, true, false},
                      SaveCase{"PhotoCancelAutomatic", IDM_NCOPY, true, true},
                      SaveCase{"CopyAutomatic", IDC_TBTNIMEG, true, false},
                      SaveCase{"CopyCancelAutomatic", IDM_NIMEG, true, true}),
    [](const ::testing::TestParamInfo<SaveCase>& i) { return std::string(i.param.name); });

// The identity number names the saved files: a number that would put them outside the chosen
// folder, or no number at all, saves nothing and says why; the timer goes on as after a
// cancelled choice.
struct BadNameCase {
  const char* name;
  const char* id;  // the card's number; null: no card read yet
  int command;
  bool automatic;
};

class FlowBadName : public Flow, public ::testing::WithParamInterface<BadNameCase> {};

TEST_P(FlowBadName, RefusesTheNameAndWritesNothing) {
  const BadNameCase& c = GetParam();
  TempDir parent(L"kflow-parent");
  const std::wstring above = FullPath(parent.path());
  const std::wstring folder = above + L"\\out";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  SetScenario(Reader(Card("冯二", c.id ? c.id : kIdA)));
  Make();
  if (c.id) {
    Command(IDM_NCHK);
    ASSERT_EQ(Field(qx::kestrin::IDC_MAIN_EDTID), c.id);
  }
  if (c.automatic) Command(IDM_NAUTO);
  Modal m;
  m.folder = folder;
  m.leaf = L"out";
  Command(c.command);
  ASSERT_EQ(m.boxes.size(), 1u) << Utf8(BoxTexts(m.boxes));
  EXPECT_EQ(m.boxes[0].text, qx::kestrin::kBadSaveName);
  EXPECT_EQ(m.boxes[0].caption, W("Tesmo二代身份验证"));
  EXPECT_TRUE(ListFiles(folder).empty());
  EXPECT_EQ(ListFiles(above), std::vector<std::wstring>{L"out"});
  EXPECT_EQ(form_->TimeautoEnabled(), c.automatic);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlowBadName,
    ::testing::Values(BadNameCase{"PhotoBeforeAnyCard", nullptr, IDM_NCOPY, false},
                      BadNameCase{"CopyBeforeAnyCard", nullptr, IDM_NIMEG, true},
                      BadNameCase{"PhotoUpTheTree", "x\\..\\..\\escaped", IDM_NCOPY, true},
                      BadNameCase{"CopyUpTheTree", "x\\..\\..\\escaped", IDC_TBTNIMEG, false},
                      BadNameCase{"PhotoDriveAndStream", "C:escaped", IDC_TBTNCOPY, false},
                      BadNameCase{"PhotoDevice", "NUL", IDM_NCOPY, false}),
    [](const ::testing::TestParamInfo<BadNameCase>& i) { return std::string(i.param.name); });

TEST(SaveName, PlainFileNamesOnly) {
  struct Case {
    const wchar_t* name;
    bool plain;
  };
  for (const Case& c : {Case{L"11010119900202002X.bmp", true}, Case{L"P.jpg", true}, Case{L"..bmp", true},
                        Case{L"CONSOLE.bmp", true}, Case{L"COM0.bmp", true}, Case{L"", false},
                        Case{L"..\\x.bmp", false}, Case{L"a/b.bmp", false}, Case{L"C:x.bmp", false},
                        Case{L"x?.bmp", false}, Case{L"x*.bmp", false}, Case{L"x\"y.bmp", false},
                        Case{L"x<y>.bmp", false}, Case{L"x|y.bmp", false}, Case{L"x\ty.bmp", false},
                        Case{L"NUL.bmp", false}, Case{L"con.jpg", false}, Case{L"Aux .bmp", false},
                        Case{L"PRN.x.jpg", false}, Case{L"com7.bmp", false}, Case{L"LPT9.jpg", false}})
    EXPECT_EQ(qx::kestrin::IsPlainFileName(c.name), c.plain) << Utf8(c.name);
}

TEST_F(Flow, PhotoSaveIntoADriveRootWritesOneBackslash) {
  // Under Wine a drive letter made by DefineDosDevice is listed but not reachable by path, so
  // the system drive's root serves; the file is removed again.
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 2u);
  const std::wstring root = std::wstring(windows, 2) + L"\\";
  const std::wstring target = root + W(kIdC) + L".bmp";
  ::DeleteFileW(target.c_str());
  SetScenario(Reader(Card("郑十", kIdC)));
  Make();
  Command(IDM_NCHK);
  Modal m;
  m.folder = root;
  m.leaf = L"(" + root.substr(0, 2) + L")";
  Command(IDM_NCOPY);
  const bool written = FileExists(target);
  ::DeleteFileW(target.c_str());
  ASSERT_EQ(m.boxes.size(), 1u);
  EXPECT_EQ(m.boxes[0].text, W("照片保存成功！"));
  EXPECT_TRUE(written);
}

TEST_F(Flow, PhotoSaveWithoutTempBmpShowsTheErrorAndLeavesTheTimerStopped) {
  SetScenario(Reader(Card("钱一", kIdA)));
  Make();
  Command(IDM_NCHK);
  Command(IDM_NAUTO);
  ASSERT_TRUE(::DeleteFileW((qx::kestrin::TempPhotoBase() + L".bmp").c_str()));
  TempDir out(L"kflow-out");
  const std::wstring folder = FullPath(out.path());
  Modal m;
  m.folder = folder;
  m.leaf = folder.substr(folder.find_last_of(L'\\') + 1);
  Command(IDM_NCOPY);
  ASSERT_EQ(m.boxes.size(), 1u);
  EXPECT_EQ(m.boxes[0].text, W("无法打开文件 \"") + qx::kestrin::TempPhotoBase() + W(".bmp\"。找不到文件。"))
      << Utf8(m.boxes[0].text);
  EXPECT_FALSE(form_->TimeautoEnabled());
  EXPECT_EQ(form_->AutoFlag, 1);
  EXPECT_TRUE(ListFiles(folder).empty());
}

TEST_F(Flow, RecordQueryOpensModallyAndLeavesTheTimerRunning) {
  Make();
  Command(IDM_NAUTO);
  // The platform's ticks from here on: they must come in the query window's own loop.
  timeauto_.Release();
  const size_t before = JournalSize();
  HWND query = nullptr;
  std::wstring caption;
  DWORD opened = 0;
  size_t looksWhileOpen = 0;
  std::wstring panelWhileOpen;
  // No card: each tick looks once. Up to four intervals, for a loaded machine.
  std::function<void()> look = [&] {
    if (JournalSize() == before && ::GetTickCount() - opened < 6000) {
      Later(100, look);
      return;
    }
    looksWhileOpen = JournalSize() - before;
    panelWhileOpen = Panel1();
    ::PostMessageW(query, WM_CLOSE, 0, 0);
  };
  BoxWatcher w([&](HWND dlg, const SeenBox& s) {
    if (s.messageBox || query) return;
    query = dlg;
    caption = s.caption;
    opened = ::GetTickCount();
    Later(100, look);
  });
  Command(IDC_TBTNQRY);
  EXPECT_EQ(caption, W("记录查询"));
  EXPECT_GE(looksWhileOpen, 1u);
  EXPECT_EQ(panelWhileOpen, W("等待刷卡......"));
}

}  // namespace

int main(int argc, char** argv) {
  // The templates and the reader simulators lie beside the program, as they ship.
  if (const auto code = RerunInFreshFolder(argc, argv, L"QX_KFLOW_AT_HOME", L"kflow",
                                           {L"sdtapi.dll", L"WltRS.dll", L"show.bmp", L"bkF.bmp",
                                            L"bkB.bmp", L"da.bmp"}))
    return *code;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
