// Kestrin's data module over a log store laid in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sqlite3.h>

#include "TempFolder.h"
#include "data/DataError.h"
#include "data/LogFixture.h"
#include "dm.h"
#include "win/Handle.h"
#include "win/Text.h"

using namespace qx::kestrin;
using qx::data::DataError;
namespace fixture = qx::data::fixture;
namespace fs = std::filesystem;
using qx::data::test::TempFolder;

namespace {

void FillCard(TShowCardLine& c) {
  c.PersonName = "\xD5\xC5\xC8\xFD";                    // 张三
  c.SexText = "\xC4\xD0";                               // 男
  c.NationText = "\xBA\xBA";                            // 汉
  c.IdNumber = "11010119800101123X";
  c.BirthDate = "1980-01-01";
  c.AddressText = "\xB1\xB1\xBE\xA9\xCA\xD0 1\xBA\xC5";  // 北京市 1号
  c.ValidFrom = "2005.01.01";
  c.ValidTo = "\xB3\xA4\xC6\xDA..";                      // 长期..
  c.Authority = "\xB1\xB1\xBE\xA9\xCA\xD0";
  c.RecordTime = "2010-12-05 10:11:12";
  c.CardPhoto = Picture::Create(102, 126);
  qx::win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  qx::win::SelectGuard keep(dc.get(), c.CardPhoto.Handle());
  for (int y = 0; y < 126; ++y)
    for (int x = 0; x < 102; x += 3) ::SetPixel(dc.get(), x, y, RGB(x * 2, y * 2, (x ^ y) & 0xFF));
}

void ExpectSameText(const TShowCardLine& a, const TShowCardLine& b) {
  EXPECT_EQ(a.PersonName, b.PersonName);
  EXPECT_EQ(a.SexText, b.SexText);
  EXPECT_EQ(a.NationText, b.NationText);
  EXPECT_EQ(a.IdNumber, b.IdNumber);
  EXPECT_EQ(a.BirthDate, b.BirthDate);
  EXPECT_EQ(a.AddressText, b.AddressText);
  EXPECT_EQ(a.ValidFrom, b.ValidFrom);
  EXPECT_EQ(a.ValidTo, b.ValidTo);
  EXPECT_EQ(a.Authority, b.Authority);
}

void ExpectBlank(const TShowCardLine& c) {
  TShowCardLine blank;
  ExpectSameText(c, blank);
  EXPECT_TRUE(c.CardPhoto.Empty());
}

// The start-up's connection step: not connected, the connection string, connected.
void Connect(TdataMd& dm, const fs::path& folder) {
  dm.adoLog.SetConnected(false);
  dm.adoLog.SetConnectionString("FILE NAME=" + qx::win::WideToMulti(folder.wstring() + L"\\") + "DBLink.udl");
  dm.adoLog.SetConnected(true);
}

class Dm : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = fixture::LayLogStore(dir_.path());
    Connect(dm_, dir_.path());
  }
  int RowsInTable() {
    qx::data::Query q(&dm_.adoLog, qx::data::CursorKind::Static);
    q.SetSql("select * from TLog");
    q.Open();
    return q.RecordCount();
  }

  TempFolder dir_;
  fs::path db_;
  TdataMd dm_;
};

}  // namespace

TEST_F(Dm, FirstAppendOpensWholeTableAndDatabaseGivesId) {
  fixture::ExecSql(db_, "insert into TLog (FName) values ('earlier')");
  ASSERT_FALSE(dm_.qrylog.Active());
  TShowCardLine card;
  FillCard(card);
  dm_.AppendLogRecord(card);
  EXPECT_TRUE(dm_.qrylog.Active());
  EXPECT_EQ(dm_.qrylog.Sql(), "Select * from TLog");
  EXPECT_EQ(dm_.qrylog.RecordCount(), 2) << "the whole table";
  EXPECT_EQ(dm_.qrylog.FieldByName("FId").AsInteger(), 2);

  qx::data::Query row(&dm_.adoLog);
  row.SetSql("select * from TLog where FId=2");
  row.Open();
  ASSERT_EQ(row.RecordCount(), 1);
  const std::pair<const char*, const std::string*> columns[] = {
      {"FName", &card.PersonName}, {"FSex", &card.SexText},      {"FMZ", &card.NationText},
      {"FNo", &card.IdNumber},     {"FBirth", &card.BirthDate},  {"FAddress", &card.AddressText},
      {"FBegin", &card.ValidFrom}, {"FEnd", &card.ValidTo},      {"FSendDep", &card.Authority},
      {"FDate", &card.RecordTime},
  };
  for (const auto& [name, want] : columns) EXPECT_EQ(row.FieldByName(name).AsString(), *want) << name;
  EXPECT_EQ(row.FieldByName("FPhoto").AsBlob(), card.CardPhoto.ToBmp());

  dm_.AppendLogRecord(card);
  EXPECT_EQ(dm_.qrylog.RecordCount(), 3) << "later appends reuse the open query";
}

TEST_F(Dm, AppendAfterNarrowedSelectionStillLandsInTable) {
  TShowCardLine card;
  FillCard(card);
  dm_.AppendLogRecord(card);
  const std::string narrowed = "select *  from TLog  where (FName  like '%nobody%') and  1=1";
  dm_.qrylog.Close();
  dm_.qrylog.SetSql(narrowed);
  dm_.qrylog.Open();
  ASSERT_TRUE(dm_.qrylog.IsEmpty());
  dm_.AppendLogRecord(card);
  EXPECT_EQ(dm_.qrylog.Sql(), narrowed);
  EXPECT_EQ(RowsInTable(), 2);
}

TEST_F(Dm, PhotoRoundTripKeepsSizeAndPixels) {
  TShowCardLine card;
  FillCard(card);
  dm_.AppendLogRecord(card);
  dm_.qrylog.Requery();
  TShowCardLine back;
  back.RecordTime = "kept";
  dm_.LoadLogRecord(back);
  ExpectSameText(back, card);
  EXPECT_EQ(back.RecordTime, "kept") << "FDate is not read";
  ASSERT_EQ(back.CardPhoto.Width(), 102);
  ASSERT_EQ(back.CardPhoto.Height(), 126);
  for (int y = 0; y < 126; ++y)
    for (int x = 0; x < 102; ++x) ASSERT_EQ(back.CardPhoto.Pixel(x, y), card.CardPhoto.Pixel(x, y)) << x << "," << y;
  auto stored = dm_.qrylog.FieldByName("FPhoto").AsBlob();
  ASSERT_GE(stored.size(), 2u);
  EXPECT_EQ(stored[0], 'B');
  EXPECT_EQ(stored.size(), 14u + 40 + 308 * 126) << "a complete BMP file";
}

TEST_F(Dm, CardWithoutPhotoReadsBackEmpty) {
  TShowCardLine card;
  FillCard(card);
  card.CardPhoto = Picture();
  dm_.AppendLogRecord(card);
  EXPECT_TRUE(dm_.qrylog.FieldByName("FPhoto").IsNull());
  TShowCardLine back;
  dm_.LoadLogRecord(back);
  EXPECT_TRUE(back.CardPhoto.Empty());
}

TEST_F(Dm, LoadWithClosedQueryChangesNothing) {
  TShowCardLine fresh;
  dm_.LoadLogRecord(fresh);
  ExpectBlank(fresh);
  TShowCardLine held;
  FillCard(held);
  dm_.LoadLogRecord(held);
  EXPECT_EQ(held.PersonName, "\xD5\xC5\xC8\xFD");
  EXPECT_FALSE(held.CardPhoto.Empty());
}

TEST_F(Dm, LoadOnEmptySelectionGivesBlankRecord) {
  dm_.qrylog.SetSql("select *  from TLog  where (FNo like '%none%') and  1=1");
  dm_.qrylog.Open();
  TShowCardLine held;
  FillCard(held);
  dm_.LoadLogRecord(held);
  ExpectBlank(held);
  EXPECT_EQ(held.RecordTime, "2010-12-05 10:11:12");
}

TEST_F(Dm, ErrorsPassToCaller) {
  fixture::ExecSql(db_, "insert into TLog (FName, FPhoto) values ('bad', x'00112233')");
  dm_.qrylog.SetSql("Select * from TLog");
  dm_.qrylog.Open();
  TShowCardLine card;
  EXPECT_THROW(dm_.LoadLogRecord(card), PictureError);

  // A database without TLog is no store: it is not connected, and the append is refused with
  // qrylog left closed.
  fixture::ExecSql(db_, "drop table TLog; create table Other (X)");
  TdataMd other;
  EXPECT_THROW(Connect(other, dir_.path()), DataError);
  FillCard(card);
  EXPECT_THROW(other.AppendLogRecord(card), DataError);
  EXPECT_FALSE(other.qrylog.Active());
}

// A card the store refuses (here: another program holds the write lock past the time-out) is not
// left pending, so the next card does not bring it along, twice or half-made.
TEST_F(Dm, FailedAppendLeavesNothingPending) {
  TShowCardLine card;
  FillCard(card);
  dm_.AppendLogRecord(card);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2(qx::data::PathToUtf8(db_).c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  card.RecordTime = "2010-12-05 11:00:00";
  EXPECT_THROW(dm_.AppendLogRecord(card), DataError);
  EXPECT_EQ(dm_.qrylog.State(), qx::data::DatasetState::Browse);
  EXPECT_EQ(dm_.qrylog.RecordCount(), 1);
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  card.RecordTime = "2010-12-05 12:00:00";
  dm_.AppendLogRecord(card);
  EXPECT_EQ(RowsInTable(), 2) << "the refused card is not stored after all";
  qx::data::Query times(&dm_.adoLog, qx::data::CursorKind::Static);
  times.SetSql("select FDate from TLog order by FId");
  times.Open();
  times.Last();
  EXPECT_EQ(times.Fields(0).AsString(), "2010-12-05 12:00:00");

  // A table without the photo column: the half-filled row is dropped too.
  fixture::ExecSql(db_, "drop table TLog; create table TLog (FId integer primary key, FNo, FName, FSex, FMZ,"
                        " FBirth, FAddress, FBegin, FEnd, FSendDep, FDate)");
  TdataMd other2;
  Connect(other2, dir_.path());
  EXPECT_THROW(other2.AppendLogRecord(card), DataError);
  EXPECT_EQ(other2.qrylog.State(), qx::data::DatasetState::Browse);
  EXPECT_EQ(RowsInTable(), 0);
}

// A card stored counts as stored, even when reading its row back afterwards fails: reported as
// failed, it would be logged again at its next verification.
TEST_F(Dm, AppendWhoseReadBackFailsIsStoredOnce) {
  // Columns without declared types: qrylog holds its rows and reads each posted row back.
  fixture::ExecSql(db_, "drop table TLog; create table TLog (FId integer primary key, FNo, FName, FSex, FMZ,"
                        " FBirth, FAddress, FBegin, FEnd, FSendDep, FDate, FPhoto)");
  TdataMd dm;
  Connect(dm, dir_.path());
  TShowCardLine card;
  FillCard(card);
  dm.AppendLogRecord(card);
  // From now on the database refuses every SELECT, the read-back's among them.
  auto noSelect = [](void*, int action, const char*, const char*, const char*, const char*) {
    return action == SQLITE_SELECT ? SQLITE_DENY : SQLITE_OK;
  };
  sqlite3_set_authorizer(dm.adoLog.Handle(), noSelect, nullptr);
  card.IdNumber = "220101199001019999";
  EXPECT_NO_THROW(dm.AppendLogRecord(card));
  EXPECT_EQ(dm.qrylog.State(), qx::data::DatasetState::Browse);
  EXPECT_EQ(dm.qrylog.RecordCount(), 2);
  EXPECT_EQ(dm.qrylog.FieldByName("FNo").AsString(), card.IdNumber) << "the row as posted";
  EXPECT_EQ(dm.qrylog.FieldByName("FId").AsInteger(), 2) << "its key, the rowid";
  sqlite3_set_authorizer(dm.adoLog.Handle(), nullptr, nullptr);

  qx::data::Query stored(&dm.adoLog, qx::data::CursorKind::Static);
  stored.SetSql("select FId from TLog where FNo='220101199001019999'");
  stored.Open();
  ASSERT_EQ(stored.RecordCount(), 1) << "stored once";
  EXPECT_EQ(stored.Fields(0).AsInteger(), 2);
  // The next card goes in as usual.
  card.IdNumber = "330101199001019999";
  dm.AppendLogRecord(card);
  EXPECT_EQ(RowsInTable(), 3);
}

TEST(DmConnection, DataLinkFileWrittenByInstaller) {
  TempFolder dir;
  fs::path db = dir / "store" / "log.db";
  fs::create_directories(db.parent_path());
  fixture::CreateLogDatabase(db);
  // As the platform's data link editor writes it, naming the Jet provider and a full path.
  std::wstring text = L"[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
                      L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.wstring() +
                      L";Persist Security Info=False\r\n";
  std::string bytes = "\xFF\xFE";
  for (wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  std::ofstream(dir / "DBLink.udl", std::ios::binary) << bytes;
  TdataMd dm;
  Connect(dm, dir.path());
  EXPECT_TRUE(dm.adoLog.Connected());
  TShowCardLine card;
  FillCard(card);
  dm.AppendLogRecord(card);
  EXPECT_EQ(dm.qrylog.RecordCount(), 1);
}

TEST(DmConnection, FailuresRaiseDataError) {
  TempFolder dir;
  TdataMd dm;
  EXPECT_THROW(Connect(dm, dir.path()), DataError) << "no DBLink.udl";
  EXPECT_FALSE(dm.adoLog.Connected());
  fixture::WriteDataLink(dir / "DBLink.udl",
                         "Provider=Quorix.SQLite.1;Data Source=TLog.db");
  EXPECT_THROW(Connect(dm, dir.path()), DataError) << "the database it names is missing";
  EXPECT_FALSE(dm.adoLog.Connected());
  EXPECT_FALSE(fs::exists(dir / "TLog.db")) << "a missing database is not created";
}
