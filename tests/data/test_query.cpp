// Connections and datasets over a TLog store laid in a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include <sqlite3.h>

#include "TempFolder.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/LogFixture.h"
#include "data/Query.h"

using namespace qx::data;

namespace {

// GBK texts.
const std::string kZhangSan = "\xD5\xC5\xC8\xFD";  // 张三
const std::string kWangWu = "\xCD\xF5\xCE\xE5";    // 王五
const std::string kLiSi = "\xC0\xEE\xCB\xC4";      // 李四
const std::string kMale = "\xC4\xD0";              // 男
const std::string kFemale = "\xC5\xAE";            // 女
const std::string kHan = "\xBA\xBA";               // 汉

struct Card {
  std::string name, sex, nation, no, birth, date;
  std::string photo;
};

class Store : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = fixture::LayLogStore(dir_.path());
    conn_.SetConnectionString("FILE NAME=" + (dir_ / "DBLink.udl").string());
    conn_.SetConnected(true);
  }

  void Append(Query& q, const Card& c) {
    q.Append();
    q.FieldByName("FName").SetAsString(c.name);
    q.FieldByName("FSex").SetAsString(c.sex);
    q.FieldByName("FMZ").SetAsString(c.nation);
    q.FieldByName("FNo").SetAsString(c.no);
    q.FieldByName("FBirth").SetAsString(c.birth);
    q.FieldByName("FDate").SetAsString(c.date);
    q.FieldByName("FPhoto").SetAsBlob(c.photo.data(), c.photo.size());
    q.Post();
  }

  // Three cards through a query of their own.
  void Fill() {
    Query q(&conn_);
    q.SetSql("Select * from TLog");
    q.Open();
    for (const Card& c : cards_) Append(q, c);
  }

  std::vector<std::string> Names(const std::string& sql) {
    Query q(&conn_);
    q.SetSql(sql);
    q.Open();
    std::vector<std::string> names;
    for (q.First(); !q.Eof(); q.Next()) names.push_back(q.FieldByName("FName").AsString());
    return names;
  }

  int Count() {
    Query q(&conn_, CursorKind::Static);
    q.SetSql("select FId from TLog");
    q.Open();
    return q.RecordCount();
  }

  qx::data::test::TempFolder dir_;
  std::filesystem::path db_;
  Connection conn_;
  const std::vector<Card> cards_ = {
      {kZhangSan, kMale, kHan, "110101198001011234", "1980-01-01", "2010-12-01 00:00:00",
       std::string("BM\0\x01photo", 9)},
      {kWangWu, kFemale, kHan, "110101198012315678", "1980-12-31", "2010-12-31 00:00:00", "BMx"},
      {kLiSi, kMale, kHan, "220101199001019999", "1990-01-01", "2010-12-31 00:00:01", ""},
  };
};

}  // namespace

TEST_F(Store, ConnectsThroughDataLinkAndDirectString) {
  EXPECT_TRUE(conn_.Connected());
  EXPECT_EQ(conn_.DatabasePath(), std::filesystem::absolute(db_).lexically_normal());
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  conn_.SetConnected(false);
  EXPECT_FALSE(conn_.Connected());
  EXPECT_FALSE(q.Active()) << "closing the connection closes its queries";
  EXPECT_THROW(q.Open(), DataError);

  Connection direct;
  direct.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db_.string() +
                             ";Mode=Share Deny None");
  direct.SetConnected(true);
  EXPECT_TRUE(direct.Connected());
  EXPECT_THROW(direct.SetConnectionString("x"), DataError);
}

TEST_F(Store, ConnectionFailuresLeaveItClosedAndCreateNothing) {
  fixture::WriteDataLink(dir_ / "nodb.udl", "Provider=Quorix.SQLite.1;Data Source=absent.db");
  fixture::WriteDataLink(dir_ / "jet.udl", "Provider=SQLOLEDB.1;Data Source=TLog.db");
  { std::ofstream(dir_ / "text.db") << "this is not a database, only some text of a file\n"; }
  fixture::WriteDataLink(dir_ / "text.udl", "Provider=Quorix.SQLite.1;Data Source=text.db");
  // A file of no bytes, which SQLite would take for an empty database, and a database that holds
  // no TLog: neither is the store, and neither is written to.
  { std::ofstream(dir_ / "empty.db"); }
  fixture::WriteDataLink(dir_ / "empty.udl", "Provider=Quorix.SQLite.1;Data Source=empty.db");
  fixture::ExecSql(dir_ / "other.db", "create table Other (FId integer primary key, FName text)");
  fixture::WriteDataLink(dir_ / "other.udl", "Provider=Quorix.SQLite.1;Data Source=other.db");
  auto bytesOf = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::string other = bytesOf(dir_ / "other.db");
  auto files = [&] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = files();
  const std::string cases[] = {
      "FILE NAME=" + (dir_ / "missing.udl").string(),
      "FILE NAME=" + (dir_ / "nodb.udl").string(),
      "FILE NAME=" + (dir_ / "jet.udl").string(),
      "FILE NAME=" + (dir_ / "text.udl").string(),
      "FILE NAME=" + (dir_ / "empty.udl").string(),
      "FILE NAME=" + (dir_ / "other.udl").string(),
      "FILE NAME=" + db_.string(),  // the database itself is no link file
      "",
  };
  for (const std::string& cs : cases) {
    Connection c;
    c.SetConnectionString(cs);
    EXPECT_THROW(c.SetConnected(true), DataError) << cs;
    EXPECT_FALSE(c.Connected()) << cs;
  }
  // Nothing is written to the two files SQLite could write: a write would show in their bytes
  // (its journal lives only while it commits, so the folder cannot tell).
  EXPECT_FALSE(std::filesystem::exists(dir_ / "absent.db"));
  EXPECT_EQ(files(), before) << "no file is made";
  EXPECT_EQ(std::filesystem::file_size(dir_ / "empty.db"), 0u);
  EXPECT_EQ(bytesOf(dir_ / "other.db"), other);
}

TEST_F(Store, AppendFillsKeyAndKeepsBytes) {
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  EXPECT_TRUE(q.IsEmpty());
  for (size_t i = 0; i < cards_.size(); ++i) {
    Append(q, cards_[i]);
    EXPECT_EQ(q.State(), DatasetState::Browse);
    EXPECT_EQ(q.RecordCount(), static_cast<int>(i + 1));
    EXPECT_EQ(q.RecordNo(), static_cast<int>(i + 1)) << "the posted row is current";
    EXPECT_EQ(q.FieldByName("Fid").AsInteger(), static_cast<int>(i + 1)) << "filled by the database";
  }
  q.Requery();
  ASSERT_EQ(q.RecordCount(), 3);
  for (const Card& c : cards_) {
    EXPECT_EQ(q.FieldByName("FNO").AsString(), c.no);
    EXPECT_EQ(q.FieldByName("fname").AsString(), c.name);
    EXPECT_EQ(q.FieldByName("FMz").AsString(), c.nation);
    EXPECT_EQ(q.FieldByName("Fdate").AsString(), c.date);
    EXPECT_EQ(q.FieldByName("Fphoto").AsBlob(), std::vector<std::uint8_t>(c.photo.begin(), c.photo.end()));
    EXPECT_TRUE(q.FieldByName("FAddress").IsNull()) << "never assigned";
    q.Next();
  }
  // Names and kinds as the table gives them.
  EXPECT_EQ(q.FieldCount(), 12);
  EXPECT_EQ(q.FieldByName("fmz").Name(), "FMZ");
  EXPECT_EQ(q.Fields(0).Type(), FieldType::Integer);
  EXPECT_EQ(q.FieldByName("FName").Type(), FieldType::Text);
  EXPECT_EQ(q.FieldByName("FPhoto").Type(), FieldType::Blob);
  EXPECT_EQ(q.FindField("FMissing"), nullptr);
  EXPECT_THROW(q.FieldByName("FMissing"), DataError);
}

TEST_F(Store, RecordQueryConditions) {
  Fill();
  struct Case {
    std::string where;
    std::vector<std::string> names;
  } cases[] = {
      {"", {kZhangSan, kWangWu, kLiSi}},
      {" where (FName  like '%%') and  1=1", {kZhangSan, kWangWu, kLiSi}},
      {" where (FName  like '%\xD5\xC5%') and  1=1", {kZhangSan}},
      {" where (FSex like '%" + kFemale + "%') and (FMz like '%" + kHan + "%') and  1=1", {kWangWu}},
      {" where (FNo like '%1101%') and  1=1", {kZhangSan, kWangWu}},
      // Birth dates are whole-day texts; both ends of the range count.
      {" where (FBirth>=#1980-01-01# and FBirth <=#1980-12-31#) and  1=1", {kZhangSan, kWangWu}},
      {" where (FBirth>=#1980-12-31# and FBirth <=#1980-12-31#) and  1=1", {kWangWu}},
      // Record times: a range ends at the very start of its end day.
      {" where (FDate>=#2010-12-01# and FDate <=#2010-12-31#) and  1=1", {kZhangSan, kWangWu}},
      {" where (FDate>=#2010-12-02# and FDate <=#2011-01-01#) and  1=1", {kWangWu, kLiSi}},
      {" where FDate>#2010-12-31# and  1=1", {kLiSi}},
      {" where FDate<#2010-12-31 00:00:01# and  1=1", {kZhangSan, kWangWu}},
      {" where (FAddress  like '%%') and  1=1", {}},  // no address was stored
  };
  for (const Case& c : cases) EXPECT_EQ(Names("select *  from TLog " + c.where), c.names) << c.where;
  EXPECT_THROW(Names("select *  from TLog  where (FName  like '%O'Hara%') and  1=1"), DataError);
}

// Jet's LIKE on the desk's GBK texts: the store holds them as UTF-8, and SQLite's LIKE matches
// characters whole and folds ASCII case, as Jet does.
TEST_F(Store, LikeMatchesGbkCharactersWhole) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  } cases[] = {
      {"%", "", true},
      {"%%", "anything", true},
      {"%\xD5\xC5%", "\xD5\xC5\xC8\xFD", true},        // 张 in 张三
      {"%\xD5\xC5%", "\xCD\xF5\xCE\xE5", false},       // not in 王五
      {"%\xC5\xAE%", "\xC4\xD0\xC5\xAE", true},        // 女 as a whole character
      {"%\xC5\xAE%", "\xC4\xC5\xAE\xD0", false},       // the same bytes straddling two characters
      {"_", "\xD5\xC5", true},                         // one double-byte character
      {"__", "\xD5\xC5", false},
      {"%abc%", "xxABCxx", true},                      // single-byte letters ignore case
      {"\x81\x41", "\x81\x61", false},                 // a trail byte is not a letter
      {"%\x81\x5F%", "\x81\x5F", true},                // a trail byte 0x5F is not "_"
      {"\x81\x5F", "\x81\x41", false},
      {"a%b%c", "aXbYc", true},
      {"a%b%c", "aXbY", false},
      {"%ab", "aab", true},
      {"1100%", "110000198001011234", true},
      {"", "", true},
      {"", "x", false},
  };
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  for (size_t i = 0; i < std::size(cases); ++i) {
    q.Append();
    q.FieldByName("FNo").SetAsString(std::to_string(i));
    q.FieldByName("FName").SetAsString(cases[i].text);
    q.Post();
  }
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::string sql = "select * from TLog where FNo='" + std::to_string(i) + "' and FName like '" + c.pattern + "'";
    EXPECT_EQ(Names(sql).size(), c.match ? 1u : 0u) << c.pattern << " / " << c.text;
  }
  EXPECT_EQ(Names("select * from TLog where FNo='7' and '10%' like '10!%' escape '!'").size(), 1u);
  EXPECT_EQ(Names("select * from TLog where FNo='7' and '100' like '10!%' escape '!'").size(), 0u);
}

TEST_F(Store, ExportQueryKeepsAliasesAndKinds) {
  Fill();
  Query q(&conn_, CursorKind::Static);
  q.SetSql("select FId as ID,FNo as \xC9\xED\xB7\xDD\xBA\xC5\xC2\xEB,FName as \xD0\xD5\xC3\xFB,"
           "FDate as d  from TLog ");
  q.Open();
  ASSERT_EQ(q.FieldCount(), 4);
  EXPECT_EQ(q.Fields(0).Name(), "ID");
  EXPECT_EQ(q.Fields(0).Type(), FieldType::Integer);
  EXPECT_EQ(q.Fields(1).Name(), "\xC9\xED\xB7\xDD\xBA\xC5\xC2\xEB");  // 身份号码
  EXPECT_EQ(q.FieldByName("\xD0\xD5\xC3\xFB").AsString(), kZhangSan);
  EXPECT_EQ(q.Fields(1).Type(), FieldType::Text);
}

TEST_F(Store, StaticSnapshotAgainstDefaultCursor) {
  Fill();
  Query live(&conn_), snap(&conn_, CursorKind::Static);
  live.SetSql("Select * from TLog");
  snap.SetSql("Select * from TLog");
  live.Open();
  snap.Open();
  Append(live, {kLiSi, kMale, kHan, "330101", "2000-01-01", "2011-01-01 10:00:00", "BM"});
  EXPECT_EQ(live.RecordCount(), 4);
  EXPECT_EQ(snap.RecordCount(), 3);
  fixture::ExecSql(db_, "insert into TLog (FName) values ('other program')");
  EXPECT_EQ(live.RecordCount(), 4) << "others' rows show after a requery";
  snap.Requery();
  live.Requery();
  EXPECT_EQ(snap.RecordCount(), 5);
  EXPECT_EQ(live.RecordCount(), 5);
  EXPECT_THROW(snap.Append(), DataError);
  EXPECT_THROW(snap.Delete(), DataError);
  EXPECT_EQ(Count(), 5);
}

TEST_F(Store, AppendAfterNarrowedSelectionLandsInTable) {
  Fill();
  Query q(&conn_);
  q.SetSql("select *  from TLog  where (FName  like '%" + kWangWu + "%') and  1=1");
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1);
  Append(q, {"X", kMale, kHan, "1", "2000-01-01", "2011-01-01 10:00:00", ""});
  EXPECT_EQ(q.RecordCount(), 2) << "the posted row joins the selection";
  EXPECT_EQ(q.FieldByName("FId").AsInteger(), 4);
  EXPECT_EQ(Count(), 4);
}

TEST_F(Store, DeleteCurrentRow) {
  Fill();
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  q.Next();
  q.Delete();  // 王五
  EXPECT_EQ(q.RecordCount(), 2);
  EXPECT_EQ(q.FieldByName("FName").AsString(), kLiSi) << "the next row becomes current";
  q.Delete();  // 李四, the last: the one before becomes current
  EXPECT_EQ(q.FieldByName("FName").AsString(), kZhangSan);
  EXPECT_EQ(Names("select * from TLog"), std::vector<std::string>{kZhangSan});
  q.Delete();
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_TRUE(q.Eof() && q.Bof());
  EXPECT_THROW(q.Delete(), DataError);
  EXPECT_EQ(Count(), 0);
  q.Close();
  EXPECT_THROW(q.Delete(), DataError);

  // Without the key in the selection no row can be named; a row deleted elsewhere is not found,
  // whether it was read before (it stays in the selection) or is found gone as it is read (it
  // leaves it, and the row after it is not deleted in its place).
  Fill();
  Query noKey(&conn_);
  noKey.SetSql("select FName from TLog");
  noKey.Open();
  EXPECT_THROW(noKey.Delete(), DataError);
  q.Open();
  ASSERT_EQ(q.FieldByName("FName").AsString(), kZhangSan);
  fixture::ExecSql(db_, "delete from TLog where FId=4");
  EXPECT_THROW(q.Delete(), DataError);
  EXPECT_EQ(q.RecordCount(), 3);
  EXPECT_EQ(Count(), 2);
  q.Requery();
  fixture::ExecSql(db_, "delete from TLog where FId=5");
  EXPECT_THROW(q.Delete(), DataError);
  EXPECT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.FieldByName("FId").AsInteger(), 6);
  EXPECT_EQ(Count(), 1);
}

TEST_F(Store, Navigation) {
  Fill();
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  struct Step {
    const char* what;
    int move;  // 0 First, 9 Last, else MoveBy
    int recNo, moved;
    bool bof, eof;
  } steps[] = {
      {"open", 0, 1, 0, true, false},   {"next", 1, 2, 1, false, false},
      {"next", 1, 3, 1, false, false},  {"next past end", 1, 3, 0, false, true},
      {"prior", -1, 2, -1, false, false}, {"back 5", -5, 1, -1, true, false},
      {"last", 9, 3, 0, false, true},   {"first", 0, 1, 0, true, false},
  };
  for (const Step& s : steps) {
    int moved = 0;
    if (s.move == 0) q.First();
    else if (s.move == 9) q.Last();
    else moved = q.MoveBy(s.move);
    EXPECT_EQ(q.RecordNo(), s.recNo) << s.what;
    EXPECT_EQ(moved, s.moved) << s.what;
    EXPECT_EQ(q.Bof(), s.bof) << s.what;
    EXPECT_EQ(q.Eof(), s.eof) << s.what;
  }
  EXPECT_EQ(q.MoveBy(2), 2);
  EXPECT_EQ(q.FieldByName("FName").AsString(), kLiSi);

  Query none(&conn_);
  none.SetSql("select * from TLog where FId<0");
  none.Open();
  EXPECT_TRUE(none.IsEmpty() && none.Bof() && none.Eof());
  EXPECT_EQ(none.RecordNo(), 0);
  EXPECT_TRUE(none.FieldByName("FName").IsNull());
  EXPECT_EQ(none.FieldByName("FName").AsString(), "");
  EXPECT_TRUE(none.FieldByName("FPhoto").AsBlob().empty());

  Query closed(&conn_);
  EXPECT_TRUE(closed.Eof() && closed.IsEmpty());
  EXPECT_THROW(closed.RecordCount(), DataError);
  EXPECT_THROW(closed.FieldByName("FName"), DataError);
  EXPECT_THROW(closed.Next(), DataError);
}

TEST_F(Store, BookmarksAndBoundControls) {
  Fill();
  Query q(&conn_);
  int notices = 0;
  q.SetOnDataChange([&] { ++notices; });
  q.SetSql("Select * from TLog");
  q.Open();
  EXPECT_EQ(notices, 1);
  q.Last();
  Query::Bookmark third = q.GetBookmark();
  q.DisableControls();
  q.First();
  q.Delete();
  q.Next();
  EXPECT_EQ(notices, 2);
  q.EnableControls();
  EXPECT_EQ(notices, 3) << "one notice when enabled again";
  ASSERT_TRUE(q.BookmarkValid(third));
  q.GotoBookmark(third);
  EXPECT_EQ(q.FieldByName("FName").AsString(), kLiSi);
  q.Delete();
  EXPECT_FALSE(q.BookmarkValid(third));
  EXPECT_THROW(q.GotoBookmark(third), DataError);
}

TEST_F(Store, PendingRows) {
  fixture::ExecSql(db_, "create table T (Id integer primary key, Need text not null, N integer)");
  Query q(&conn_);
  q.SetSql("select * from T");
  q.Open();
  EXPECT_THROW(q.FieldByName("Need").SetAsString("x"), DataError) << "not inserting";
  q.Append();
  q.FieldByName("N").SetAsInteger(-7);
  EXPECT_EQ(q.FieldByName("N").AsInteger(), -7);
  EXPECT_THROW(q.Post(), DataError);
  EXPECT_EQ(q.State(), DatasetState::Insert) << "a refused row stays pending";
  q.FieldByName("Need").SetAsString("12");
  q.Next();  // moving posts the pending row
  EXPECT_EQ(q.State(), DatasetState::Browse);
  EXPECT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.FieldByName("Need").AsInteger(), 12);
  EXPECT_EQ(q.FieldByName("N").AsString(), "-7");
  q.Append();
  q.Cancel();
  EXPECT_EQ(q.RecordCount(), 1);
  q.Insert();
  q.FieldByName("Need").SetAsString("not a number");
  q.Post();
  EXPECT_EQ(q.RecordNo(), 1) << "Insert goes before the current row";
  EXPECT_THROW(q.FieldByName("Need").AsInteger(), DataError);
  // A field without a column behind it cannot be written.
  Query expr(&conn_);
  expr.SetSql("select Id, Need, N*2 as Twice from T");
  expr.Open();
  expr.Append();
  expr.FieldByName("Need").SetAsString("y");
  expr.FieldByName("Twice").SetAsInteger(2);
  EXPECT_THROW(expr.Post(), DataError);
  expr.Close();
  EXPECT_EQ(Count(), 0);
}

TEST_F(Store, StatementsThatAreNotOneSelect) {
  Fill();
  Query q(&conn_);
  for (const char* sql : {"delete from TLog", "select * from TLog; delete from TLog", "selct * from TLog",
                          "select * from TLog where FDate>=#2010-02-30#", ""}) {
    q.SetSql(sql);
    EXPECT_THROW(q.Open(), DataError) << sql;
    EXPECT_FALSE(q.Active()) << sql;
  }
  EXPECT_EQ(Count(), 3);
  q.SetSql("select * from TLog;");
  q.Open();
  EXPECT_EQ(q.RecordCount(), 3);
}

// Rows on demand, over a store that holds more rows than any cache of the layer.
class BigStore : public Store {
 protected:
  static constexpr int kRows = 1000;
  void SetUp() override {
    Store::SetUp();
    // Names "n1".."n1000"; each photo is its own number repeated.
    fixture::ExecSql(db_,
                     "with recursive n(i) as (select 1 union all select i+1 from n where i<1000) "
                     "insert into TLog (FName, FNo, FPhoto) select 'n'||i, printf('%018d', i), "
                     "cast(replace(hex(zeroblob(300)), '00', printf('%04d', i)) as blob) from n");
  }
  static std::string NameOf(int i) { return "n" + std::to_string(i); }
  static std::vector<std::uint8_t> PhotoOf(int i) {
    char four[8];
    std::snprintf(four, sizeof four, "%04d", i);
    std::vector<std::uint8_t> out;
    for (int k = 0; k < 300; ++k) out.insert(out.end(), four, four + 4);
    return out;
  }
};

TEST_F(BigStore, EveryRowReadsRightWhereverTheCursorGoes) {
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  ASSERT_EQ(q.RecordCount(), kRows);
  int seen = 0;
  for (q.First(); !q.Eof(); q.Next()) {
    ++seen;
    ASSERT_EQ(q.FieldByName("FName").AsString(), NameOf(seen));
    ASSERT_EQ(q.FieldByName("FId").AsInteger(), seen);
  }
  EXPECT_EQ(seen, kRows);
  // Backwards, in jumps across blocks, and rows read without moving there.
  q.Last();
  EXPECT_EQ(q.FieldByName("FName").AsString(), NameOf(kRows));
  EXPECT_EQ(q.MoveBy(-600), -600);
  EXPECT_EQ(q.FieldByName("FName").AsString(), NameOf(400));
  EXPECT_FALSE(q.FieldByName("FPhoto").IsNull());
  EXPECT_EQ(q.FieldByName("FPhoto").AsBlob(), PhotoOf(400));
  const int name = q.FieldByName("FName").Index();
  for (int row : {0, 999, 63, 64, 500, 1})
    EXPECT_EQ(q.TextAt(row, name), NameOf(row + 1)) << row;
  EXPECT_EQ(q.TextAt(kRows, name), "");
  EXPECT_EQ(q.RecordNo(), 400) << "reading other rows does not move";
  EXPECT_EQ(q.FieldByName("FPhoto").AsBlob(), PhotoOf(400));
  q.Next();
  EXPECT_EQ(q.FieldByName("FPhoto").AsBlob(), PhotoOf(401)) << "the photo follows the current row";

  // The snapshot's keys, against the default cursor's.
  Query snap(&conn_, CursorKind::Static);
  snap.SetSql("select FId as ID, FName as N from TLog where FId > 990");
  snap.Open();
  ASSERT_EQ(snap.RecordCount(), 10);
  snap.Last();
  EXPECT_EQ(snap.FieldByName("N").AsString(), NameOf(kRows));
}

TEST_F(BigStore, ColumnsAreReadWhenShown) {
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  // Changed elsewhere after the open, before the row was shown: the row shows the change.
  fixture::ExecSql(db_, "update TLog set FName='changed' where FId=900");
  q.MoveBy(899);
  EXPECT_EQ(q.FieldByName("FName").AsString(), "changed");
  // Deleted elsewhere (a row not read yet): a move onto it goes on to the row after it, and it
  // leaves the selection.
  fixture::ExecSql(db_, "delete from TLog where FId=990");
  EXPECT_EQ(q.MoveBy(90), 90);
  EXPECT_EQ(q.RecordNo(), 990);
  EXPECT_EQ(q.FieldByName("FName").AsString(), NameOf(991));
  EXPECT_EQ(q.FieldByName("FPhoto").AsBlob(), PhotoOf(991));
  EXPECT_EQ(q.RecordCount(), kRows - 1);
  q.Requery();
  EXPECT_EQ(q.RecordCount(), kRows - 1);
}

// Rows deleted by another program after the open, none of them read yet, are left out of every
// walk of either cursor: forwards, backwards and by position, with no empty row in their place.
TEST_F(BigStore, RowsDeletedElsewhereLeaveTheSelection) {
  const struct {
    int last;  // the selection is FId 1..last
    const char* gone;
    bool (*isGone)(int);
  } cases[] = {
      // The first row, a whole block and more, rows here and there, the last rows.
      {kRows, "FId = 1 or FId between 65 and 140 or FId % 97 = 0 or FId > 990",
       [](int i) { return i == 1 || (i >= 65 && i <= 140) || i % 97 == 0 || i > 990; }},
      // The last row alone in a block of its own (blocks are 64 rows): a walk reaches its end there.
      {961, "FId = 961", [](int i) { return i == 961; }},
  };
  fixture::ExecSql(db_, "create table Saved as select * from TLog");
  enum Walk { Forwards, Backwards, ByPosition };
  for (const auto& c : cases) {
    std::vector<int> kept;
    for (int i = 1; i <= c.last; ++i)
      if (!c.isGone(i)) kept.push_back(i);
    for (CursorKind kind : {CursorKind::Default, CursorKind::Static}) {
      for (Walk walk : {Forwards, Backwards, ByPosition}) {
        SCOPED_TRACE(std::string(c.gone) + " / " + std::to_string(static_cast<int>(kind)) + std::to_string(walk));
        Query q(&conn_, kind);
        q.SetSql("Select * from TLog where FId <= " + std::to_string(c.last));
        q.Open();
        ASSERT_EQ(q.RecordCount(), c.last);
        fixture::ExecSql(db_, std::string("delete from TLog where ") + c.gone);
        const int id = q.FieldByName("FId").Index(), name = q.FieldByName("FName").Index();
        std::vector<int> seen;
        if (walk == Forwards) {
          for (q.First(); !q.Eof(); q.Next()) {
            seen.push_back(static_cast<int>(q.Fields(id).AsInteger()));
            ASSERT_EQ(q.Fields(name).AsString(), NameOf(seen.back()));
          }
        } else if (walk == Backwards) {
          for (q.Last(); !q.Bof(); q.Prior()) {
            seen.insert(seen.begin(), static_cast<int>(q.Fields(id).AsInteger()));
            ASSERT_EQ(q.Fields(name).AsString(), NameOf(seen.front()));
          }
        } else {
          for (int r = 0; r < q.RecordCount(); ++r) {
            const std::string text = q.TextAt(r, id);
            if (r == q.RecordCount()) break;  // it and every row after it were found gone
            ASSERT_FALSE(text.empty()) << r;
            seen.push_back(std::stoi(text));
            ASSERT_EQ(q.TextAt(r, name), NameOf(seen.back()));
          }
        }
        EXPECT_EQ(seen, kept);
        EXPECT_EQ(q.RecordCount(), static_cast<int>(kept.size()));
        fixture::ExecSql(db_, "insert into TLog select * from Saved where FId not in (select FId from TLog)");
      }
    }
  }

  // The current row, deleted elsewhere once its values left the cache (the grid read other rows
  // meanwhile): deleting it fails, and the row after it, current now, is not deleted instead.
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  q.MoveBy(9);
  ASSERT_EQ(q.FieldByName("FId").AsInteger(), 10);
  for (int r = 400; r < kRows; ++r) q.TextAt(r, 0);
  fixture::ExecSql(db_, "delete from TLog where FId=10");
  EXPECT_THROW(q.Delete(), DataError);
  EXPECT_EQ(q.FieldByName("FId").AsInteger(), 11);
  EXPECT_EQ(Count(), kRows - 1);
}

// A jump onto an end row deleted elsewhere, not read yet, stops on the row next to it and at that
// end, so that a walk on from there does not show that row twice; a bookmark whose row is gone
// leads to the row after it, as a move onto it would.
TEST_F(BigStore, MovesOntoRowsGoneElsewhere) {
  const struct {
    const char* what;
    bool fromLast;
    int by;
    const char* gone;
    int id, moved;
    bool bof, eof;
  } cases[] = {
      {"forwards onto the last row", false, kRows - 1, "FId = 1000", 999, kRows - 2, false, true},
      {"backwards onto the first row", true, 1 - kRows, "FId = 1", 2, 2 - kRows, true, false},
  };
  fixture::ExecSql(db_, "create table Saved as select * from TLog");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Query q(&conn_);
    q.SetSql("Select * from TLog");
    q.Open();
    c.fromLast ? q.Last() : q.First();
    fixture::ExecSql(db_, std::string("delete from TLog where ") + c.gone);
    EXPECT_EQ(q.MoveBy(c.by), c.moved);
    EXPECT_EQ(q.FieldByName("FId").AsInteger(), c.id);
    EXPECT_EQ(q.Bof(), c.bof);
    EXPECT_EQ(q.Eof(), c.eof);
    EXPECT_EQ(q.MoveBy(c.by > 0 ? 1 : -1), 0);
    EXPECT_EQ(q.RecordCount(), kRows - 1);
    fixture::ExecSql(db_, "insert into TLog select * from Saved where FId not in (select FId from TLog)");
  }

  // Bookmarked, then its values left the cache (the grid read other rows), then deleted.
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  q.MoveBy(9);
  const Query::Bookmark tenth = q.GetBookmark();
  q.First();
  for (int r = 400; r < kRows; ++r) q.TextAt(r, 0);
  fixture::ExecSql(db_, "delete from TLog where FId=10");
  q.GotoBookmark(tenth);
  EXPECT_EQ(q.RecordCount(), kRows - 1);
  EXPECT_FALSE(q.BookmarkValid(tenth));
  EXPECT_NE(q.GetBookmark(), tenth) << "the current row is one that is there";
  EXPECT_EQ(q.RecordNo(), 10);
  EXPECT_EQ(q.FieldByName("FId").AsInteger(), 11);
}

TEST_F(BigStore, RowAddedElsewhereShowsAfterRequery) {
  Query q(&conn_);
  q.SetSql("select *  from TLog  where (FName  like '%n99%') and  1=1");
  q.Open();
  ASSERT_EQ(q.RecordCount(), 11);  // n99, n990..n999
  fixture::ExecSql(db_, "insert into TLog (FName) values ('n99 elsewhere')");
  q.Last();
  EXPECT_EQ(q.RecordCount(), 11);
  EXPECT_EQ(q.FieldByName("FName").AsString(), NameOf(999));
  q.Requery();
  EXPECT_EQ(q.RecordCount(), 12);
  q.Last();
  EXPECT_EQ(q.FieldByName("FName").AsString(), "n99 elsewhere");
  EXPECT_TRUE(q.FieldByName("FPhoto").IsNull());
}

TEST_F(BigStore, DeleteOfTheCurrentRow) {
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  const int name = q.FieldByName("FName").Index();
  q.MoveBy(499);
  ASSERT_EQ(q.FieldByName("FName").AsString(), NameOf(500));
  q.Delete();
  EXPECT_EQ(q.RecordCount(), kRows - 1);
  EXPECT_EQ(q.RecordNo(), 500);
  EXPECT_EQ(q.FieldByName("FName").AsString(), NameOf(501)) << "the next row becomes current";
  EXPECT_EQ(q.FieldByName("FPhoto").AsBlob(), PhotoOf(501));
  EXPECT_EQ(q.TextAt(498, name), NameOf(499));
  EXPECT_EQ(q.TextAt(499, name), NameOf(501));
  EXPECT_TRUE(Names("select * from TLog where FId=500").empty());
  q.Last();
  q.Delete();
  EXPECT_EQ(q.FieldByName("FName").AsString(), NameOf(kRows - 1));
  EXPECT_EQ(Count(), kRows - 2);
}

// Rows come in blocks: from the text index of TLog, or from a table without one; by a run of
// keys (which passes over rows outside the selection) or by a list of them. Every selection
// shape reads each row's own values, its photo included.
TEST_F(BigStore, BlocksReadTheirOwnRowsInEveryKeyOrder) {
  // The same rows in a table without any index.
  fixture::ExecSql(db_, "create table Plain (FId integer primary key, FName text, FNo text, FPhoto blob);"
                        "insert into Plain select FId, FName, FNo, FPhoto from TLog");
  auto ids = [](int from, int to, int step) {
    std::vector<int> v;
    for (int i = from; step > 0 ? i <= to : i >= to; i += step) v.push_back(i);
    return v;
  };
  std::vector<int> byName = ids(1, 39, 1);
  for (int i = 901; i <= 1000; ++i) byName.push_back(i);
  std::sort(byName.begin(), byName.end(), [](int a, int b) { return NameOf(a) < NameOf(b); });
  const struct {
    const char* where;
    std::vector<int> ids;  // the selection, in its order
  } cases[] = {
      {"", ids(1, 1000, 1)},                              // every row: runs
      {" where FId % 3 = 0", ids(3, 999, 3)},             // gaps that a run passes over
      {" where FId % 50 = 7", ids(7, 957, 50)},           // far apart: lists
      {" order by FId desc", ids(1000, 1, -1)},           // descending: lists
      {" where FId > 900 or FId < 40 order by FName", byName},
  };
  for (const char* table : {"TLog", "Plain"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(table) + c.where);
      Query q(&conn_);
      q.SetSql(std::string("select FId, FName, FNo, FPhoto from ") + table + c.where);
      q.Open();
      ASSERT_EQ(q.RecordCount(), static_cast<int>(c.ids.size()));
      size_t k = 0;
      for (q.First(); !q.Eof(); q.Next(), ++k) {
        ASSERT_EQ(q.Fields(0).AsInteger(), c.ids[k]) << k;
        ASSERT_EQ(q.Fields(1).AsString(), NameOf(c.ids[k])) << k;
        ASSERT_EQ(q.Fields(2).AsInteger(), c.ids[k]) << k;
        if (k % 97 == 0) {
          ASSERT_EQ(q.Fields(3).AsBlob(), PhotoOf(c.ids[k])) << k;
        }
      }
      // Backwards from the end, across blocks read before.
      q.Last();
      for (size_t back = c.ids.size(); back-- > 0; q.Prior())
        ASSERT_EQ(q.Fields(1).AsString(), NameOf(c.ids[back])) << back;
    }
  }
}

// A walk forward reads each row once, in as many statements as with no row deleted: rows found
// gone elsewhere do not move the blocks after them off where the walk goes on.
TEST_F(BigStore, AWalkForwardReadsEachRowOnce) {
  struct Reads {
    int statements = 0, rows = 0;
  };
  auto count = [](unsigned type, void* reads, void*, void*) {
    ++(type == SQLITE_TRACE_STMT ? static_cast<Reads*>(reads)->statements : static_cast<Reads*>(reads)->rows);
    return 0;
  };
  fixture::ExecSql(db_, "create table Saved as select * from TLog");
  int statements = 0;  // of the walk with none deleted
  for (const char* gone : {"0", "FId % 50 = 0", "FId = 1 or FId between 60 and 200 or FId % 50 = 0 or FId > 990"}) {
    SCOPED_TRACE(gone);
    Query q(&conn_);
    q.SetSql("select FId, FName from TLog");
    q.Open();
    fixture::ExecSql(db_, std::string("delete from TLog where ") + gone);
    Reads reads;
    sqlite3_trace_v2(conn_.Handle(), SQLITE_TRACE_STMT | SQLITE_TRACE_ROW, count, &reads);
    int seen = 0;
    for (q.First(); !q.Eof(); q.Next(), ++seen) ASSERT_EQ(q.Fields(1).AsString(), "n" + q.Fields(0).AsString());
    sqlite3_trace_v2(conn_.Handle(), 0, nullptr, nullptr);
    EXPECT_EQ(seen, Count());
    EXPECT_EQ(reads.rows, seen);
    if (statements == 0) statements = reads.statements;
    EXPECT_EQ(reads.statements, statements);
    fixture::ExecSql(db_, "insert into TLog select * from Saved where FId not in (select FId from TLog)");
  }
  EXPECT_LE(statements, 6) << "64 rows, then twice as many at each block, up to 1,024";
}
