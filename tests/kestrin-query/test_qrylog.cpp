// The record query window under Wine, driven through its controls, over a log store laid in a
// temporary folder: conditions, the grid, the details and photo, deletion and the export
// through the real save dialog.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <sqlite3.h>

#include "BiffReader.h"
#include "KestrinApp.h"
#include "QueryTextForTests.h"
#include "TestSupport.h"
#include "data/LogFixture.h"
#include "Biff.h"
#include "qryLog.h"
#include "win/Handle.h"
#include "win/Text.h"

using namespace qx::kestrin;
using qx::test::BoxWatcher;
using qx::test::FlushEvents;
using qx::test::SeenBox;
namespace fixture = qx::data::fixture;

namespace {

const std::wstring kTitle = kAppTitle;

struct Person {
  const char* name;  // UTF-8
  const char* sex;
  const char* nation;
  const char* id;
  const char* birth;
  const char* address;
  const char* authority;
  const char* time;
  int photoW, photoH;
  COLORREF corner, body;
};

const Person kPeople[] = {
    {"张三", "男", "汉", "110101198001010011", "1980-01-01", "北京市东城区景山前街4号", "北京市公安局东城分局",
     "2009-03-02 10:00:00", 102, 126, RGB(0, 255, 0), RGB(200, 10, 10)},
    {"李四", "女", "满", "22010119900202002X", "1990-02-02", "吉林省长春市", "长春市公安局", "2009-03-03 09:00:00",
     90, 110, RGB(255, 255, 255), RGB(10, 10, 200)},
    {"王'五", "男", "回", "640101200006060033", "2000-06-06", "宁夏银川市", "银川市公安局", "2009-03-01 23:59:59",
     80, 100, RGB(1, 2, 3), RGB(50, 150, 50)},
};

std::string G(const char* utf8) { return qx::test::Gbk(utf8); }
std::wstring W(const char* utf8) { return qx::test::Wide(utf8); }

Picture MakePhoto(const Person& p) {
  Picture pic = Picture::Create(p.photoW, p.photoH);
  qx::win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  qx::win::SelectGuard keep(dc.get(), pic.Handle());
  qx::win::UniqueBrush body(::CreateSolidBrush(p.body));
  RECT all{0, 0, p.photoW, p.photoH};
  ::FillRect(dc.get(), &all, body.get());
  qx::win::UniqueBrush corner(::CreateSolidBrush(p.corner));
  RECT c{0, 0, 4, 4};
  ::FillRect(dc.get(), &c, corner.get());
  return pic;
}

class QryLog : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = fixture::LayLogStore(dir_.path());
    dm_.adoLog.SetConnectionString("FILE NAME=" + qx::win::WideToMulti(dir_ / L"DBLink.udl"));
    dm_.adoLog.Open();
  }
  void LogPeople() {
    for (const Person& p : kPeople) {
      TShowCardLine c;
      c.PersonName = G(p.name);
      c.SexText = G(p.sex);
      c.NationText = G(p.nation);
      c.IdNumber = p.id;
      c.BirthDate = p.birth;
      c.AddressText = G(p.address);
      c.ValidFrom = "2005.01.01";
      c.ValidTo = G("长期..");
      c.Authority = G(p.authority);
      c.RecordTime = p.time;
      c.CardPhoto = MakePhoto(p);
      dm_.AppendLogRecord(c);
    }
  }
  void Open() {
    form_ = std::make_unique<TForm_qryLog>(dm_);
    ASSERT_TRUE(form_->CreateModeless());
    FlushEvents(30);
  }
  void Click(const qx::win::Control& c) {
    ::SendMessageW(c.hwnd(), BM_CLICK, 0, 0);
    FlushEvents(20);
  }
  void Check(const qx::win::CheckBox& b) { b.SetChecked(true); }
  // Grid column 3 holds the names.
  std::vector<std::wstring> GridNames() const {
    std::vector<std::wstring> names;
    for (int r = 0; r < form_->DBLogQry.RowCount(); ++r) names.push_back(form_->DBLogQry.CellText(r, 3));
    return names;
  }
  int RowsInTable() {
    qx::data::Query q(&dm_.adoLog, qx::data::CursorKind::Static);
    q.SetSql("select * from TLog");
    q.Open();
    return q.RecordCount();
  }
  void ExpectDetailsOf(const Person& p) {
    EXPECT_EQ(form_->edtName.Text(), W(p.name));
    EXPECT_EQ(form_->edtSex.Text(), W(p.sex));
    EXPECT_EQ(form_->edtNation.Text(), W(p.nation));
    EXPECT_EQ(form_->edtBirh.Text(), W(p.birth));
    EXPECT_EQ(form_->edtAddr.Text(), W(p.address));
    EXPECT_EQ(form_->edtId.Text(), W(p.id));
    EXPECT_EQ(form_->edtSendDep.Text(), W(p.authority));
    EXPECT_EQ(form_->edtExpire.Text(), W("2005.01.01-长期.."));
    const SIZE s = form_->ImageSize();
    EXPECT_EQ(s.cx, p.photoW);
    EXPECT_EQ(s.cy, p.photoH);
    EXPECT_EQ(form_->TransparentColor(), p.corner);
  }
  void ExpectBlankDetails() {
    for (auto* e : {&form_->edtName, &form_->edtSex, &form_->edtNation, &form_->edtBirh, &form_->edtAddr,
                    &form_->edtId, &form_->edtSendDep})
      EXPECT_EQ(e->Text(), L"");
    EXPECT_EQ(form_->edtExpire.Text(), L"-");
    EXPECT_TRUE(form_->ImagePhoto().Empty());
    EXPECT_EQ(form_->ImageSize().cx, 0);
  }
  void SelectRow(int row) {
    LVITEMW it{};
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    it.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(form_->DBLogQry.hwnd(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&it));
    FlushEvents(20);
  }
  // Message boxes only (the form itself is a dialog too and is left alone).
  std::vector<SeenBox> Boxes(const BoxWatcher& w) const {
    std::vector<SeenBox> out;
    for (const SeenBox& s : w.seen())
      if (!s.text.empty()) out.push_back(s);
    return out;
  }
  BoxWatcher::Answer PressOkOnBoxes() {
    return [this](HWND box, const SeenBox& s) {
      if (box != form_->hwnd() && !s.text.empty()) ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
  }

  qx::test::TempDir dir_{L"qxqry"};
  std::filesystem::path db_;
  TdataMd dm_;
  std::unique_ptr<TForm_qryLog> form_;
};

TEST_F(QryLog, OpensOnWhatTheLogShows) {
  LogPeople();
  Open();
  EXPECT_EQ(qx::test::WindowTextOf(form_->hwnd()), L"记录查询");
  RECT rc{};
  ::GetClientRect(form_->hwnd(), &rc);
  EXPECT_EQ(rc.right, 745);
  EXPECT_EQ(rc.bottom, 479);
  const LONG style = ::GetWindowLongW(form_->hwnd(), GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));

  const wchar_t* titles[] = {L"ID", L"记录时间", L"身份证号", L"姓名", L"性别", L"民族", L"出生年月", L"地址", L"签发机关"};
  ASSERT_EQ(form_->DBLogQry.ColumnCount(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(form_->DBLogQry.ColumnTitle(i), titles[i]);
  EXPECT_EQ(form_->DBLogQry.ColumnWidth(0), 28);
  EXPECT_EQ(form_->DBLogQry.ColumnWidth(1), 62);

  // Without pressing the search button: all of TLog, the first row current.
  ASSERT_EQ(form_->DBLogQry.RowCount(), 3);
  EXPECT_EQ(form_->DBLogQry.CellText(0, 0), L"1");
  EXPECT_EQ(form_->DBLogQry.CellText(0, 1), L"2009-03-02 10:00:00");
  EXPECT_EQ(form_->DBLogQry.CellText(1, 2), L"22010119900202002X");
  EXPECT_EQ(form_->DBLogQry.CellText(2, 3), W("王'五"));
  EXPECT_EQ(form_->DBLogQry.CellText(1, 7), W("吉林省长春市"));
  EXPECT_EQ(form_->DBLogQry.Selected(), 0);
  ExpectDetailsOf(kPeople[0]);

  // Everything unchecked and empty; the pickers on their dates at midnight.
  for (auto* b : {&form_->ckbN, &form_->ckbS, &form_->ckbM, &form_->ckbDate, &form_->ckbA, &form_->ckbI,
                  &form_->ckbD, &form_->ckbD2, &form_->ckbAll})
    EXPECT_FALSE(b->IsChecked());
  struct { qx::win::DatePicker* p; WORD y, m, d; } dates[] = {
      {&form_->dtpDS, 2006, 7, 25}, {&form_->dtpDE, 2006, 7, 25}, {&form_->edtD1, 2009, 3, 2}, {&form_->edtD2, 2009, 3, 3}};
  for (const auto& d : dates) {
    const SYSTEMTIME st = d.p->Value();
    EXPECT_EQ(st.wYear, d.y);
    EXPECT_EQ(st.wMonth, d.m);
    EXPECT_EQ(st.wDay, d.d);
    EXPECT_EQ(st.wHour + st.wMinute + st.wSecond, 0);
  }
  EXPECT_TRUE(form_->edtName.IsReadOnly());
}

TEST_F(QryLog, ClosedQueryShowsNothing) {
  Open();
  EXPECT_EQ(form_->DBLogQry.RowCount(), 0);
  ExpectBlankDetails();
}

TEST_F(QryLog, NoConditionAsksForOne) {
  LogPeople();
  Open();
  BoxWatcher boxes(PressOkOnBoxes());
  form_->edtN.SetText(L"李");  // typed but not checked
  Click(form_->btnQry);
  const auto seen = Boxes(boxes);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, L"请选择查询条件！");
  EXPECT_EQ(seen[0].caption, kTitle);
  EXPECT_EQ(dm_.qrylog.Sql(), "Select * from TLog");
  EXPECT_FALSE(dm_.qryOutPut.Active());
  EXPECT_EQ(form_->DBLogQry.RowCount(), 3);
}

TEST_F(QryLog, ConditionsSelectRows) {
  LogPeople();
  Open();
  using Names = std::vector<std::wstring>;
  const Names all{W("张三"), W("李四"), W("王'五")};
  struct Case {
    const char* what;
    std::function<void(TForm_qryLog&)> set;
    Names names;
  };
  const Case cases[] = {
      {"name", [](TForm_qryLog& f) { f.ckbN.SetChecked(true); f.edtN.SetText(L"李"); }, {W("李四")}},
      {"empty name: every name", [](TForm_qryLog& f) { f.ckbN.SetChecked(true); }, all},
      {"a quote is a plain character",
       [](TForm_qryLog& f) { f.ckbN.SetChecked(true); f.edtN.SetText(L"'"); }, {W("王'五")}},
      {"injection finds nothing",
       [](TForm_qryLog& f) { f.ckbN.SetChecked(true); f.edtN.SetText(L"') or ('1%'='1"); }, {}},
      {"sex and nation",
       [](TForm_qryLog& f) {
         f.ckbS.SetChecked(true); f.edtS.SetText(L"男");
         f.ckbM.SetChecked(true); f.edtM.SetText(L"回");
       }, {W("王'五")}},
      {"birth range",
       [](TForm_qryLog& f) { f.ckbDate.SetChecked(true); f.dtpDS.SetDate(1980, 1, 1); f.dtpDE.SetDate(1990, 2, 2); },
       {W("张三"), W("李四")}},
      {"birth on one day",
       [](TForm_qryLog& f) { f.ckbDate.SetChecked(true); f.dtpDS.SetDate(2000, 6, 6); f.dtpDE.SetDate(2000, 6, 6); },
       {W("王'五")}},
      {"address, id and authority",
       [](TForm_qryLog& f) {
         f.ckbA.SetChecked(true); f.edtA.SetText(L"北京");
         f.ckbI.SetChecked(true); f.edtI.SetText(L"0011");
         f.ckbD.SetChecked(true); f.edtD.SetText(L"东城");
       }, {W("张三")}},
      // The initial record range, 2009-03-02 to the start of 2009-03-03.
      {"record dates", [](TForm_qryLog& f) { f.ckbD2.SetChecked(true); }, {W("张三")}},
      {"all wins", [](TForm_qryLog& f) { f.ckbAll.SetChecked(true); f.ckbN.SetChecked(true); f.edtN.SetText(L"无"); },
       all},
      {"nobody", [](TForm_qryLog& f) { f.ckbI.SetChecked(true); f.edtI.SetText(L"999"); }, {}},
  };
  for (const Case& c : cases) {
    for (auto* b : {&form_->ckbN, &form_->ckbS, &form_->ckbM, &form_->ckbDate, &form_->ckbA, &form_->ckbI,
                    &form_->ckbD, &form_->ckbD2, &form_->ckbAll})
      b->SetChecked(false);
    for (auto* e : {&form_->edtN, &form_->edtS, &form_->edtM, &form_->edtA, &form_->edtI, &form_->edtD})
      e->SetText(L"");
    form_->dtpDS.SetDate(2006, 7, 25);
    form_->dtpDE.SetDate(2006, 7, 25);
    c.set(*form_);
    BoxWatcher boxes(PressOkOnBoxes());
    Click(form_->btnQry);
    EXPECT_TRUE(Boxes(boxes).empty()) << c.what;
    EXPECT_EQ(GridNames(), c.names) << c.what;
    EXPECT_EQ(dm_.qrylog.Sql(), BrowseSql(form_->WhereClause)) << c.what;
    EXPECT_EQ(dm_.qryOutPut.Sql(), ExportSql(form_->WhereClause)) << c.what;
    EXPECT_EQ(dm_.qryOutPut.RecordCount(), static_cast<int>(c.names.size())) << c.what;
    if (c.names.empty()) ExpectBlankDetails();
    else EXPECT_EQ(form_->edtName.Text(), c.names[0]) << c.what;
  }
}

TEST_F(QryLog, PickerDatesEnterAsLocaleDates) {
  LogPeople();
  Open();
  form_->ckbDate.SetChecked(true);
  form_->dtpDS.SetDate(1980, 1, 1);
  Click(form_->btnQry);
  wchar_t from[64] = {}, to[64] = {};
  SYSTEMTIME a{1980, 1, 2, 1, 0, 0, 0, 0}, b{2006, 7, 2, 25, 0, 0, 0, 0};
  ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &a, nullptr, from, 64);
  ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &b, nullptr, to, 64);
  EXPECT_EQ(form_->WhereClause, " where (FBirth>=#" + qx::win::WideToMulti(from, 936) + "# and FBirth <=#" +
                                    qx::win::WideToMulti(to, 936) + "#) and  1=1");
}

TEST_F(QryLog, SelectingARowShowsItsCardAndPhoto) {
  LogPeople();
  Open();
  SelectRow(1);
  EXPECT_EQ(dm_.qrylog.RecordNo(), 2);
  ExpectDetailsOf(kPeople[1]);
  SelectRow(2);
  EXPECT_EQ(dm_.qrylog.RecordNo(), 3);
  ExpectDetailsOf(kPeople[2]);
  // The photo is drawn at its own size, its corner colour left out.
  const Picture& photo = form_->ImagePhoto();
  EXPECT_EQ(photo.Pixel(10, 10), kPeople[2].body);
  ::RedrawWindow(form_->image.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  qx::win::WindowDc dc(form_->image.hwnd());
  EXPECT_EQ(::GetPixel(dc.get(), 10, 10), kPeople[2].body);
  EXPECT_EQ(::GetPixel(dc.get(), 1, 1), ::GetSysColor(COLOR_BTNFACE));
  // Moving the query moves the grid.
  dm_.qrylog.First();
  FlushEvents(20);
  EXPECT_EQ(form_->DBLogQry.Selected(), 0);
  ExpectDetailsOf(kPeople[0]);
}

// Rows another program deleted after the query opened, where the grid had not painted yet: when it
// comes to them they are left out, the rows after move up, and no empty row is left at the end.
TEST_F(QryLog, RowsDeletedElsewhereLeaveTheGrid) {
  fixture::ExecSql(db_, "with recursive n(i) as (select 1 union all select i+1 from n where i<200) "
                        "insert into TLog (FNo, FName) select printf('%018d', i), 'n'||i from n");
  Open();
  form_->ckbAll.SetChecked(true);
  Click(form_->btnQry);
  ASSERT_EQ(form_->DBLogQry.RowCount(), 200);
  fixture::ExecSql(db_, "delete from TLog where FId in (195, 200)");
  ::SendMessageW(form_->DBLogQry.hwnd(), LVM_ENSUREVISIBLE, 199, FALSE);
  ::UpdateWindow(form_->DBLogQry.hwnd());
  FlushEvents(20);
  ASSERT_EQ(form_->DBLogQry.RowCount(), 198);
  std::vector<std::wstring> ids, want;
  for (int r = 0; r < 198; ++r) ids.push_back(form_->DBLogQry.CellText(r, 0));
  for (int i = 1; i <= 199; ++i)
    if (i != 195) want.push_back(std::to_wstring(i));
  EXPECT_EQ(ids, want);
  EXPECT_EQ(form_->DBLogQry.CellText(197, 3), L"n199");
  EXPECT_EQ(dm_.qrylog.RecordCount(), 198);
}

// A card logged while the window is open goes into the query the window shows. When showing the
// new row fails, the window says so, and the append counts as done: the row is stored once.
TEST_F(QryLog, AppendWhoseRefreshFailsIsStoredAndTheWindowSaysWhy) {
  LogPeople();
  Open();
  BoxWatcher boxes(PressOkOnBoxes());
  // From now on the database refuses every read: the window cannot show the row it is given.
  auto noSelect = [](void*, int action, const char*, const char*, const char*, const char*) {
    return action == SQLITE_SELECT ? SQLITE_DENY : SQLITE_OK;
  };
  sqlite3_set_authorizer(dm_.adoLog.Handle(), noSelect, nullptr);
  TShowCardLine c;
  c.PersonName = G("赵六");
  c.IdNumber = "440101199001010044";
  c.CardPhoto = MakePhoto(kPeople[0]);
  EXPECT_NO_THROW(dm_.AppendLogRecord(c));
  sqlite3_set_authorizer(dm_.adoLog.Handle(), nullptr, nullptr);
  const auto seen = Boxes(boxes);
  ASSERT_EQ(seen.size(), 1u) << qx::test::Utf8(qx::test::BoxTexts(seen));
  EXPECT_EQ(seen[0].caption, kTitle);
  EXPECT_EQ(seen[0].text.rfind(W("无法读取行："), 0), 0u) << qx::test::Utf8(seen[0].text);
  EXPECT_EQ(RowsInTable(), 4);
  qx::data::Query q(&dm_.adoLog, qx::data::CursorKind::Static);
  q.SetSql("select FId from TLog where FNo='440101199001010044'");
  q.Open();
  EXPECT_EQ(q.RecordCount(), 1) << "stored once";
}

// The window open on a closed query: the append opens it on the whole log, whose first row cannot
// be shown. That is the window's to say too; the card is stored all the same.
TEST_F(QryLog, AppendOpeningTheQueryOnARowThatCannotBeShownIsStoredAndSaysWhy) {
  LogPeople();
  fixture::ExecSql(db_, "update TLog set FPhoto=x'00112233' where FId=1");
  dm_.qrylog.Close();
  Open();
  BoxWatcher boxes(PressOkOnBoxes());
  TShowCardLine c;
  c.PersonName = G("赵六");
  c.IdNumber = "440101199001010044";
  c.CardPhoto = MakePhoto(kPeople[0]);
  EXPECT_NO_THROW(dm_.AppendLogRecord(c));
  const auto seen = Boxes(boxes);
  ASSERT_EQ(seen.size(), 1u) << qx::test::Utf8(qx::test::BoxTexts(seen));
  EXPECT_EQ(seen[0].caption, kTitle);
  EXPECT_EQ(seen[0].text, L"位图图像无效");
  EXPECT_EQ(RowsInTable(), 4);
  // The window shows the card it was given.
  EXPECT_EQ(form_->DBLogQry.RowCount(), 4);
  EXPECT_EQ(form_->edtName.Text(), W("赵六"));
}

TEST_F(QryLog, DeleteRemovesTheCurrentRowWithoutAsking) {
  LogPeople();
  Open();
  SelectRow(1);
  BoxWatcher boxes(PressOkOnBoxes());
  Click(form_->btndel);
  EXPECT_TRUE(Boxes(boxes).empty());
  EXPECT_EQ(RowsInTable(), 2);
  EXPECT_EQ(GridNames(), (std::vector<std::wstring>{W("张三"), W("王'五")}));
  EXPECT_EQ(form_->DBLogQry.Selected(), 0);
  ExpectDetailsOf(kPeople[0]);

  // The only row of a selection: then nothing is left to show.
  form_->ckbN.SetChecked(true);
  form_->edtN.SetText(L"五");
  Click(form_->btnQry);
  ASSERT_EQ(form_->DBLogQry.RowCount(), 1);
  Click(form_->btndel);
  EXPECT_EQ(RowsInTable(), 1);
  EXPECT_EQ(form_->DBLogQry.RowCount(), 0);
  ExpectBlankDetails();
  EXPECT_TRUE(Boxes(boxes).empty());

  // Nothing left: the data set's error, nothing deleted.
  Click(form_->btndel);
  const auto seen = Boxes(boxes);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, kTitle);
  EXPECT_EQ(seen[0].text, W("不能对空数据集执行此操作"));
  EXPECT_EQ(RowsInTable(), 1);
}

// A row that cannot be shown ends the operation that moved the query there, with one message:
// opening the window on it (which opens all the same), or a delete that leaves it current (the
// row is deleted all the same; the requery after it does not run).
TEST_F(QryLog, OpeningOnARowThatCannotBeShownSaysSoOnce) {
  LogPeople();
  fixture::ExecSql(db_, "update TLog set FPhoto=x'00112233' where FId=1");
  BoxWatcher boxes(PressOkOnBoxes());
  Open();
  const auto seen = Boxes(boxes);
  ASSERT_EQ(seen.size(), 1u) << qx::test::Utf8(qx::test::BoxTexts(seen));
  EXPECT_EQ(seen[0].caption, kTitle);
  EXPECT_EQ(seen[0].text, L"位图图像无效");
  ASSERT_TRUE(::IsWindow(form_->hwnd()));
  EXPECT_EQ(form_->DBLogQry.RowCount(), 3);
  EXPECT_EQ(dm_.qrylog.RecordNo(), 1);
}

TEST_F(QryLog, DeleteWhoseRefreshFailsSaysSoOnce) {
  LogPeople();
  Open();
  SelectRow(1);
  // Every photo from now on: the row that takes the deleted one's place, and the first row a
  // requery would show.
  fixture::ExecSql(db_, "update TLog set FPhoto=x'00112233'");
  BoxWatcher boxes(PressOkOnBoxes());
  Click(form_->btndel);
  const auto seen = Boxes(boxes);
  ASSERT_EQ(seen.size(), 1u) << qx::test::Utf8(qx::test::BoxTexts(seen));
  EXPECT_EQ(seen[0].caption, kTitle);
  EXPECT_EQ(seen[0].text, L"位图图像无效");
  EXPECT_EQ(RowsInTable(), 2);
  EXPECT_EQ(dm_.qrylog.RecordCount(), 2);
  EXPECT_EQ(dm_.qrylog.RecordNo(), 2) << "on the row after the deleted one, not requeried";
}

TEST_F(QryLog, DeleteOnClosedQueryIsAnError) {
  LogPeople();
  dm_.qrylog.Close();
  Open();
  BoxWatcher boxes(PressOkOnBoxes());
  Click(form_->btndel);
  ASSERT_EQ(Boxes(boxes).size(), 1u);
  EXPECT_EQ(RowsInTable(), 3);
}

// Answers the save dialog by typing a name into it and pressing its save button; message
// boxes get OK.
class SaveAs {
 public:
  // name empty: cancel the dialog.
  explicit SaveAs(HWND form, std::wstring name) : form_(form), name_(std::move(name)) {}
  BoxWatcher::Answer Answer() {
    return [this](HWND box, const SeenBox& s) {
      if (box == form_) return;
      if (!s.text.empty()) {
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      ++dialogs_;
      // The dialog fills its controls after it is shown: act from its own loop.
      t_self = this;
      t_box = box;
      ::SetTimer(nullptr, 0, 50, &SaveAs::Act);
    };
  }
  int dialogs() const { return dialogs_; }

 private:
  static void CALLBACK Act(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    SaveAs* self = t_self;
    if (!self || !::IsWindow(t_box)) return;
    if (self->name_.empty()) {
      ::PostMessageW(t_box, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    // The file name box: an edit (edt1) or the edit inside a combo box (cmb13).
    HWND edit = ::GetDlgItem(t_box, 0x480);
    if (!edit) {
      HWND combo = ::GetDlgItem(t_box, 0x47c);
      if (combo) edit = ::FindWindowExW(combo, nullptr, L"Edit", nullptr);
      if (!edit) edit = combo;
    }
    ::SetWindowTextW(edit, self->name_.c_str());
    ::PostMessageW(t_box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(t_box, IDOK)));
  }
  static inline thread_local SaveAs* t_self = nullptr;
  static inline thread_local HWND t_box = nullptr;

  HWND form_;
  std::wstring name_;
  int dialogs_ = 0;
};

TEST_F(QryLog, ExportThroughTheSaveDialog) {
  LogPeople();
  Open();
  form_->ckbAll.SetChecked(true);
  Click(form_->btnQry);
  // A card logged after the query: the export runs its query again and holds it too.
  fixture::ExecSql(db_, "insert into TLog (FNo,FName,FDate) values ('1','赵六','2010-01-01 00:00:00')");

  SaveAs answer(form_->hwnd(), dir_ / L"记录");
  BoxWatcher boxes(answer.Answer());
  Click(form_->btnExcel);
  ASSERT_TRUE(qx::test::WaitUntil([&] { return !Boxes(boxes).empty(); }, 10000));
  EXPECT_EQ(answer.dialogs(), 1);
  const auto seen = Boxes(boxes);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, L"导出成功！");
  EXPECT_EQ(seen[0].caption, kTitle);

  const auto bytes = qx::test::ReadBytes(dir_ / L"记录.xls");
  ASSERT_TRUE(bytes);
  const auto f = qx::test::ReadBiff(*bytes);
  ASSERT_TRUE(f.ok);
  ASSERT_EQ(f.records.size(), 2u + 9u * 5u);
  EXPECT_EQ(f.records.front().type, qx::kestrin::biff::kBof);
  EXPECT_EQ(f.records.back().type, qx::kestrin::biff::kEof);
  for (size_t i = 0; i < 9; ++i) EXPECT_EQ(f.records[1 + i].text, kExportHeaders[i]);
  for (int r = 0; r < 4; ++r) {
    const qx::test::BiffRecord* row = &f.records[10 + 9 * r];
    EXPECT_EQ(row[0].type, qx::kestrin::biff::kRk);
    EXPECT_EQ(row[0].integer, r + 1);
    EXPECT_EQ(row[0].row, r + 1);
    for (int c = 1; c < 9; ++c) EXPECT_EQ(row[c].col, c);
  }
  const qx::test::BiffRecord* first = &f.records[10];
  EXPECT_EQ(first[1].text, "110101198001010011");
  EXPECT_EQ(first[2].text, G("张三"));
  EXPECT_EQ(first[3].text, G("男"));
  EXPECT_EQ(first[4].text, G("汉"));
  EXPECT_EQ(first[5].text, "1980-01-01");
  EXPECT_EQ(first[6].text, G("北京市东城区景山前街4号"));
  EXPECT_EQ(first[7].text, G("北京市公安局东城分局"));
  EXPECT_EQ(first[8].text, "2009-03-02 10:00:00");
  // The card logged afterwards has no birth date: a blank cell.
  const qx::test::BiffRecord* last = &f.records[10 + 27];
  EXPECT_EQ(last[2].text, G("赵六"));
  EXPECT_EQ(last[5].type, qx::kestrin::biff::kBlank);
  EXPECT_EQ(last[5].format, 0x17);
}

TEST_F(QryLog, ExportAppendsXlsToAnyName) {
  LogPeople();
  Open();
  form_->ckbN.SetChecked(true);
  form_->edtN.SetText(L"李");
  Click(form_->btnQry);
  const std::wstring old = dir_ / L"old.xls";
  ASSERT_TRUE(qx::test::WriteText(old, "old"));
  SaveAs answer(form_->hwnd(), old);
  BoxWatcher boxes(answer.Answer());
  Click(form_->btnExcel);
  ASSERT_TRUE(qx::test::WaitUntil([&] { return !Boxes(boxes).empty(); }, 10000));
  EXPECT_EQ(qx::test::ReadText(old), "old");
  const auto bytes = qx::test::ReadBytes(dir_ / L"old.xls.xls");
  ASSERT_TRUE(bytes);
  const auto f = qx::test::ReadBiff(*bytes);
  ASSERT_EQ(f.records.size(), 2u + 9u * 2u);
  EXPECT_EQ(f.records[12].text, G("李四"));
}

TEST_F(QryLog, ExportCancelledOrNeverQueried) {
  LogPeople();
  Open();
  {
    // Never queried since start: the closed data set's error, no file.
    SaveAs answer(form_->hwnd(), dir_ / L"never");
    BoxWatcher boxes(answer.Answer());
    Click(form_->btnExcel);
    ASSERT_TRUE(qx::test::WaitUntil([&] { return !Boxes(boxes).empty(); }, 10000));
    EXPECT_NE(Boxes(boxes)[0].text, L"导出成功！");
    EXPECT_FALSE(qx::test::FileExists(dir_ / L"never.xls"));
  }
  form_->ckbAll.SetChecked(true);
  Click(form_->btnQry);
  SaveAs cancel(form_->hwnd(), L"");
  BoxWatcher boxes(cancel.Answer());
  Click(form_->btnExcel);
  qx::test::WaitUntil([&] { return cancel.dialogs() == 1; }, 10000);
  FlushEvents(200);
  EXPECT_EQ(cancel.dialogs(), 1);
  EXPECT_TRUE(Boxes(boxes).empty());
  EXPECT_TRUE(qx::test::ListFiles(dir_.path(), L"*.xls").empty());
}

// More rows than the worksheet holds: the file keeps its row limit and the operator is told how
// many rows were left out.
TEST_F(QryLog, ExportPastTheRowLimitSaysWhatWasLeftOut) {
  const int rows = 65600;
  fixture::ExecSql(db_, "with recursive n(i) as (select 1 union all select i+1 from n where i<" + std::to_string(rows) +
                            ") insert into TLog (FNo, FName, FDate) select printf('%018d', i), '张'||i,"
                            " '2009-03-02 10:00:00' from n");
  Open();
  form_->ckbAll.SetChecked(true);
  Click(form_->btnQry);
  ASSERT_EQ(form_->DBLogQry.RowCount(), rows);
  EXPECT_EQ(form_->DBLogQry.CellText(rows - 1, 3), W("张65600")) << "the grid reads the rows it shows";
  SaveAs answer(form_->hwnd(), dir_ / L"big");
  BoxWatcher boxes(answer.Answer());
  Click(form_->btnExcel);
  ASSERT_TRUE(qx::test::WaitUntil([&] { return !Boxes(boxes).empty(); }, 60000));
  const auto seen = Boxes(boxes);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, ExportCutText(65535, rows - 65535));
  EXPECT_EQ(seen[0].text, L"已导出65535条记录，超出工作表的行数上限，另有65条记录未导出！");
  EXPECT_EQ(seen[0].caption, kTitle);
  const auto bytes = qx::test::ReadBytes(dir_ / L"big.xls");
  ASSERT_TRUE(bytes);
  const auto f = qx::test::ReadBiff(*bytes);
  ASSERT_TRUE(f.ok);
  ASSERT_EQ(f.records.size(), 2u + 9u * 65536u);
  EXPECT_EQ(f.records[f.records.size() - 2].row, 65535);
  EXPECT_EQ(f.records[f.records.size() - 8].text, G("张65535"));
}

// Opened modeless, the window still takes the dialog keys: Tab moves to the next control,
// Esc closes it.
TEST_F(QryLog, ModelessWindowTakesTabAndEsc) {
  Open();
  HWND start = form_->ckbN.hwnd();
  ::SetFocus(start);
  ASSERT_EQ(::GetFocus(), start);
  auto key = [](UINT vk) {
    HWND focus = ::GetFocus();
    ::PostMessageW(focus, WM_KEYDOWN, vk, 1);
    ::PostMessageW(focus, WM_KEYUP, vk, 0xC0000001);
    FlushEvents(20);
  };
  key(VK_TAB);
  HWND next = ::GetFocus();
  EXPECT_NE(next, start);
  EXPECT_EQ(::GetAncestor(next, GA_ROOT), form_->hwnd());
  key(VK_ESCAPE);
  EXPECT_FALSE(form_->exists());
}

TEST_F(QryLog, ModalRunEndsWithClose) {
  LogPeople();
  TForm_qryLog form(dm_);
  int seenForm = 0;
  BoxWatcher boxes([&](HWND box, const SeenBox& s) {
    if (s.caption == L"记录查询" && seenForm++ == 0)
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDC_BTNCLOSE, BN_CLICKED), 0);
  });
  EXPECT_EQ(form.ShowModal(nullptr), IDCANCEL);
  EXPECT_EQ(seenForm, 1);
  // The window is gone and no longer follows the query.
  dm_.qrylog.First();
  EXPECT_FALSE(form.exists());
}

}  // namespace
