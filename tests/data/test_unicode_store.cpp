// The store holds UTF-8 text that any other reader takes as it is, while the desk keeps its
// code page 936; a store of GBK texts laid before is converted once, when it is opened.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "TempFolder.h"
#include "card/Utf.h"
#include "data/CodePage.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/LogFixture.h"
#include "data/LogStore.h"
#include "data/Query.h"

using namespace qx::data;

namespace {

// The same names as GBK bytes (what the desk hands the layer) and as UTF-8.
struct Name {
  const char* gbk;
  const char* utf8;
};
const Name kNames[] = {
    {"\xD5\xC5\xC8\xFD", "\xE5\xBC\xA0\xE4\xB8\x89"},                  // 张三
    {"\xB0\xA2\xD2\xC0\xB9\xC5\xC0\xF6", "\xE9\x98\xBF\xE4\xBE\x9D\xE5\x8F\xA4\xE4\xB8\xBD"},  // 阿依古丽
    {"Smith", "Smith"},
};
const char kHanGbk[] = "\xBA\xBA";  // 汉

// Texts of one column read by SQLite itself, in key order, not through the layer.
std::vector<std::string> RawTexts(const std::filesystem::path& db, const std::string& column) {
  sqlite3* h = nullptr;
  std::vector<std::string> out;
  if (sqlite3_open_v2(PathToUtf8(db).c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    const std::string sql = "select " + column + " from TLog order by FId";
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK)
      while (sqlite3_step(st) == SQLITE_ROW) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        out.emplace_back(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(st, 0)));
      }
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return out;
}

std::string FileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int UserVersion(const std::filesystem::path& db) {
  sqlite3* h = nullptr;
  int v = -1;
  if (sqlite3_open_v2(PathToUtf8(db).c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      v = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return v;
}

// How SQLite reads the keys of the whole table (or of the rows a condition on texts selects):
// from an index, or from the table's pages.
std::string KeyPlan(const std::filesystem::path& db, const std::string& where = "") {
  sqlite3* h = nullptr;
  std::string plan;
  if (sqlite3_open_v2(PathToUtf8(db).c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    const std::string sql = "EXPLAIN QUERY PLAN SELECT rowid FROM TLog" + where;
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK)
      while (sqlite3_step(st) == SQLITE_ROW) plan += reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return plan;
}

class UnicodeStore : public ::testing::Test {
 protected:
  void SetUp() override { db_ = fixture::LayLogStore(dir_.path()); }
  void Connect() {
    conn_.SetConnectionString("FILE NAME=" + (dir_ / "DBLink.udl").string());
    conn_.SetConnected(true);
  }
  std::vector<std::string> LayerNames() {
    Query q(&conn_, CursorKind::Static);
    q.SetSql("select FName from TLog order by FId");
    q.Open();
    std::vector<std::string> names;
    for (q.First(); !q.Eof(); q.Next()) names.push_back(q.Fields(0).AsString());
    return names;
  }
  // A store as the desk laid it before: the same table, GBK bytes in its text columns.
  void LayGbkStore() {
    std::filesystem::remove(db_);
    std::string sql = std::string(kLogTableSql) + ";";
    for (const Name& n : kNames)
      sql += std::string("insert into TLog (FName, FMZ, FPhoto) values ('") + n.gbk + "','" + kHanGbk +
             "', x'424D00D5C5');";
    fixture::ExecSql(db_, sql);
    ASSERT_EQ(UserVersion(db_), 0);
  }

  // Opened again once marked, the store does not change by a byte; the connection is left closed.
  void ExpectMarkedReopenKeepsTheFile() {
    conn_.SetConnected(false);
    const std::string bytes = FileBytes(db_);
    Connect();
    conn_.SetConnected(false);
    EXPECT_EQ(FileBytes(db_), bytes);
  }

  test::TempFolder dir_;
  std::filesystem::path db_;
  Connection conn_;
};

}  // namespace

TEST_F(UnicodeStore, TextsStoredAsUtf8ReadBackAsGbk) {
  EXPECT_EQ(UserVersion(db_), kStoreVersion) << "the laid store is marked Unicode";
  Connect();
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  for (const Name& n : kNames) {
    q.Append();
    q.FieldByName("FName").SetAsString(n.gbk);
    q.FieldByName("FMZ").SetAsString(kHanGbk);
    q.Post();
    EXPECT_EQ(q.FieldByName("FName").AsString(), n.gbk);
  }
  std::vector<std::string> utf8, gbk;
  for (const Name& n : kNames) {
    utf8.push_back(n.utf8);
    gbk.push_back(n.gbk);
  }
  EXPECT_EQ(RawTexts(db_, "FName"), utf8);
  EXPECT_EQ(RawTexts(db_, "FMZ"), std::vector<std::string>(3, "\xE6\xB1\x89"));
  EXPECT_EQ(LayerNames(), gbk);

  // Another program writes UTF-8; the desk reads it in its code page, and its GBK query text
  // finds it.
  fixture::ExecSql(db_, "insert into TLog (FName) values ('\xE6\x9D\x8E\xE5\x9B\x9B')");  // 李四
  Query found(&conn_);
  found.SetSql("select *  from TLog  where (FName  like '%\xC0\xEE%') and  1=1");
  found.Open();
  ASSERT_EQ(found.RecordCount(), 1);
  EXPECT_EQ(found.FieldByName("FName").AsString(), "\xC0\xEE\xCB\xC4");
}

#ifndef _WIN32
// Python's sqlite3 module decodes every text as UTF-8 and refuses anything else.
TEST_F(UnicodeStore, PythonReadsTheNames) {
  Connect();
  Query q(&conn_);
  q.SetSql("Select * from TLog");
  q.Open();
  for (const Name& n : kNames) {
    q.Append();
    q.FieldByName("FName").SetAsString(n.gbk);
    q.Post();
  }
  const std::string cmd =
      "python3 -c \"import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); "
      "sys.stdout.buffer.write('|'.join(r[0] for r in c.execute('select FName from TLog order by FId')).encode())\" '" +
      db_.string() + "' 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  EXPECT_EQ(::pclose(p), 0) << out;
  EXPECT_EQ(out, std::string(kNames[0].utf8) + "|" + kNames[1].utf8 + "|" + kNames[2].utf8);
}
#endif

TEST_F(UnicodeStore, GbkStoreIsConvertedOnceWhenOpened) {
  LayGbkStore();
  Connect();
  EXPECT_EQ(UserVersion(db_), kStoreVersion);
  EXPECT_EQ(RawTexts(db_, "FName"), (std::vector<std::string>{kNames[0].utf8, kNames[1].utf8, kNames[2].utf8}));
  EXPECT_EQ(RawTexts(db_, "FMZ"), std::vector<std::string>(3, "\xE6\xB1\x89"));
  EXPECT_EQ(LayerNames(), (std::vector<std::string>{kNames[0].gbk, kNames[1].gbk, kNames[2].gbk}));
  {
    Query photo(&conn_);
    photo.SetSql("select FPhoto from TLog");
    photo.Open();
    const std::vector<std::uint8_t> want{0x42, 0x4D, 0x00, 0xD5, 0xC5};
    EXPECT_EQ(photo.Fields(0).AsBlob(), want) << "bytes are no text";
  }
  // Opened again: nothing left to convert, the UTF-8 stays as it is.
  conn_.SetConnected(false);
  Connect();
  EXPECT_EQ(RawTexts(db_, "FName")[0], kNames[0].utf8);
}

// The whole table's keys come from the key index, not from pages shared with the photos: in the
// store laid new, and in one laid before, which gets the indexes once when it is opened.
TEST_F(UnicodeStore, KeysOfTheWholeTableComeFromTheKeyIndex) {
  // A condition on the texts is tested on the text index, not on the table's pages either.
  const std::string texts = " WHERE FName LIKE '%a%' AND FDate >= '2009-03-02'";
  EXPECT_EQ(KeyPlan(db_), "SCAN TLog USING COVERING INDEX TLogKey");
  EXPECT_EQ(KeyPlan(db_, texts), "SCAN TLog USING COVERING INDEX TLogTexts");
  LayGbkStore();
  EXPECT_EQ(KeyPlan(db_), "SCAN TLog");
  EXPECT_EQ(KeyPlan(db_, texts), "SCAN TLog");
  Connect();
  EXPECT_EQ(KeyPlan(db_), "SCAN TLog USING COVERING INDEX TLogKey");
  EXPECT_EQ(KeyPlan(db_, texts), "SCAN TLog USING COVERING INDEX TLogTexts");
  EXPECT_EQ(LayerNames(), (std::vector<std::string>{kNames[0].gbk, kNames[1].gbk, kNames[2].gbk}))
      << "the rows keep their order";
  conn_.SetConnected(false);

  // A Unicode store without the index: its texts are left alone, the index is added.
  std::filesystem::remove(db_);
  fixture::ExecSql(db_, std::string(kLogTableSql) + "; insert into TLog (FName) values ('" + kNames[0].utf8 +
                            "'); pragma user_version=" + std::to_string(kUnicodeStoreVersion));
  Connect();
  EXPECT_EQ(UserVersion(db_), kStoreVersion);
  EXPECT_EQ(KeyPlan(db_), "SCAN TLog USING COVERING INDEX TLogKey");
  EXPECT_EQ(KeyPlan(db_, texts), "SCAN TLog USING COVERING INDEX TLogTexts");
  EXPECT_EQ(RawTexts(db_, "FName"), std::vector<std::string>{kNames[0].utf8});
}

TEST_F(UnicodeStore, UnmarkedStoreOfUtf8IsKept) {
  std::filesystem::remove(db_);
  fixture::ExecSql(db_, std::string(kLogTableSql) + "; insert into TLog (FName) values ('" + kNames[0].utf8 + "')");
  Connect();
  EXPECT_EQ(UserVersion(db_), kStoreVersion);
  EXPECT_EQ(RawTexts(db_, "FName"), std::vector<std::string>{kNames[0].utf8});
  EXPECT_EQ(LayerNames(), std::vector<std::string>{kNames[0].gbk});
}

// An older store can hold both: UTF-8 rows another program wrote beside the desk's GBK. Each text
// is read as code page 936 only when it is GBK, also where GBK bytes happen to be well-formed
// UTF-8, and no text is converted twice.
TEST_F(UnicodeStore, MixedStoreConvertsOnlyItsGbkTexts) {
  struct Cell {
    const char* stored;
    const char* utf8;  // after the upgrade
  };
  const struct {
    Cell name, sex;
  } rows[] = {
      // 张三丰, 男 as UTF-8.
      {{"\xE5\xBC\xA0\xE4\xB8\x89\xE4\xB8\xB0", "\xE5\xBC\xA0\xE4\xB8\x89\xE4\xB8\xB0"},
       {"\xE7\x94\xB7", "\xE7\x94\xB7"}},
      // 李四, 女 as GBK; the GBK of 女 is well-formed UTF-8 ("Ů").
      {{"\xC0\xEE\xCB\xC4", "\xE6\x9D\x8E\xE5\x9B\x9B"}, {"\xC5\xAE", "\xE5\xA5\xB3"}},
      // 谢小梅 as GBK, which reads as the UTF-8 "лС÷"; 男 as GBK.
      {{"\xD0\xBB\xD0\xA1\xC3\xB7", "\xE8\xB0\xA2\xE5\xB0\x8F\xE6\xA2\x85"}, {"\xC4\xD0", "\xE7\x94\xB7"}},
      // 阿依古丽·买买提 as UTF-8, a two-byte "·" beside the Chinese; 女 as UTF-8.
      {{"\xE9\x98\xBF\xE4\xBE\x9D\xE5\x8F\xA4\xE4\xB8\xBD\xC2\xB7\xE4\xB9\xB0\xE4\xB9\xB0\xE6\x8F\x90",
        "\xE9\x98\xBF\xE4\xBE\x9D\xE5\x8F\xA4\xE4\xB8\xBD\xC2\xB7\xE4\xB9\xB0\xE4\xB9\xB0\xE6\x8F\x90"},
       {"\xE5\xA5\xB3", "\xE5\xA5\xB3"}},
      {{"Smith", "Smith"}, {"", ""}},
  };
  std::filesystem::remove(db_);
  std::string sql = std::string(kLogTableSql) + ";";
  std::vector<std::string> names, sexes;
  for (const auto& r : rows) {
    sql += std::string("insert into TLog (FName, FSex) values ('") + r.name.stored + "','" + r.sex.stored + "');";
    names.push_back(r.name.utf8);
    sexes.push_back(r.sex.utf8);
  }
  fixture::ExecSql(db_, sql);
  ASSERT_EQ(UserVersion(db_), 0);
  Connect();
  EXPECT_EQ(RawTexts(db_, "FName"), names);
  EXPECT_EQ(RawTexts(db_, "FSex"), sexes);
  EXPECT_EQ(LayerNames()[1], "\xC0\xEE\xCB\xC4");

  ExpectMarkedReopenKeepsTheFile();
  // Even with the mark gone every text is UTF-8 now, and stays as it is.
  fixture::ExecSql(db_, "pragma user_version=0");
  Connect();
  EXPECT_EQ(RawTexts(db_, "FName"), names);
  EXPECT_EQ(RawTexts(db_, "FSex"), sexes);
}

// Every text of a row was written by one program, so an older store is read row by row. The GBK
// of many names is well-formed UTF-8 ("谢婧玥" reads as "л溫h"), as is that of "女" ("Ů"): a row
// of nothing else tells nothing by itself and goes with the store's rows that do tell. Those of
// the desk hold GBK that is no UTF-8 ("男", "汉", an address, an authority), those of another
// program UTF-8 that is no GBK ("男", "张三丰").
TEST_F(UnicodeStore, OlderStoreIsReadRowByRow) {
  // The texts as UTF-8; a row is laid as the desk's GBK or as another program's UTF-8, a text
  // left out as NULL.
  struct Row {
    bool gbk;
    const char* name;
    const char* sex = nullptr;
    const char* nation = nullptr;
    const char* address = nullptr;
    const char* authority = nullptr;
  };
  const char* const address = u8"湖南省长沙市岳麓区麓山南路1号";
  const char* const authority = u8"长沙市公安局岳麓分局";
  const std::vector<Row> desk = {
      {true, u8"谢婧玥", u8"女", u8"汉", address, authority},
      {true, u8"谢婧玥", u8"女"},
      {true, u8"瑾玥", u8"男", u8"汉", address, authority},
      {true, u8"瑾玥"},
      {true, u8"婧祎", u8"女", u8"汉", address, authority},
      {true, u8"婧祎", u8"女", nullptr, nullptr, authority},
      {true, u8"姝珺", u8"女"},
      {true, u8"肖婧玥", u8"女", u8"汉"},
      {true, u8"张三", u8"男", u8"汉", address, authority},
      {true, u8"张三", u8"男"},
  };
  const Row zhang{false, u8"张三丰", u8"男", u8"汉", u8"北京市海淀区中关村大街1号",
                  u8"北京市公安局海淀分局"};
  const Row ayi{false, u8"阿依古丽·买买提", u8"女", u8"维吾尔", u8"新疆维吾尔自治区乌鲁木齐市",
                u8"乌鲁木齐市公安局"};
  std::vector<Row> deskMore = desk;
  deskMore.insert(deskMore.begin() + 2, zhang);
  deskMore.insert(deskMore.begin() + 6, ayi);
  // 李四 and 瑾玥 as UTF-8 read as GBK too ("鏉庡洓", "鐟剧帴").
  const std::vector<Row> otherMore = {zhang, {false, u8"李四"}, {true, u8"谢婧玥", u8"男", u8"汉"}, ayi,
                                      {false, u8"瑾玥"}};
  const std::vector<Row> asMany = {{true, u8"婧祎", u8"女", u8"汉"}, zhang, {true, u8"婧祎"}};
  const struct {
    const char* what;
    const std::vector<Row>& rows;
  } stores[] = {
      {"the desk's rows only", desk},
      {"the desk's rows beside fewer of another program", deskMore},
      {"another program's rows beside fewer of the desk", otherMore},
      {"as many rows of each: the store was the desk's", asMany},
  };

  // The case in question: these names' GBK is well-formed UTF-8.
  EXPECT_EQ(Cp936FromUtf8(u8"谢婧玥"), "\xD0\xBB\xE6\xBA\xAB\x68");
  for (const char* n : {u8"谢婧玥", u8"瑾玥", u8"婧祎", u8"姝珺", u8"肖婧玥", u8"女"})
    EXPECT_TRUE(qx::card::IsUtf8(Cp936FromUtf8(n))) << n;

  const char* const columns[] = {"FName", "FSex", "FMZ", "FAddress", "FSendDep"};
  for (const auto& store : stores) {
    SCOPED_TRACE(store.what);
    std::filesystem::remove(db_);
    std::string sql = std::string(kLogTableSql) + ";";
    std::vector<std::vector<std::string>> want(std::size(columns));
    std::vector<std::string> names;
    int withJing = 0;
    for (const Row& r : store.rows) {
      sql += "insert into TLog (FNo, FName, FSex, FMZ, FAddress, FSendDep, FBirth) values ('43010419900101123X'";
      const char* const texts[] = {r.name, r.sex, r.nation, r.address, r.authority};
      for (size_t i = 0; i < std::size(texts); ++i) {
        sql += texts[i] ? ",'" + (r.gbk ? Cp936FromUtf8(texts[i]) : std::string(texts[i])) + "'" : ",NULL";
        want[i].push_back(texts[i] ? texts[i] : "");
      }
      sql += ",'1990-01-01');";
      names.push_back(Cp936FromUtf8(r.name));
      withJing += std::string(r.name).find(u8"婧") != std::string::npos;
    }
    fixture::ExecSql(db_, sql);
    ASSERT_EQ(UserVersion(db_), 0);
    Connect();
    for (size_t i = 0; i < std::size(columns); ++i) EXPECT_EQ(RawTexts(db_, columns[i]), want[i]) << columns[i];
    EXPECT_EQ(RawTexts(db_, "FNo"), std::vector<std::string>(store.rows.size(), "43010419900101123X"));
    EXPECT_EQ(LayerNames(), names);
    {
      Query found(&conn_);
      found.SetSql("select * from TLog where (FName like '%" + Cp936FromUtf8(u8"婧") + "%')");
      found.Open();
      EXPECT_EQ(found.RecordCount(), withJing) << "a search by name finds every row of it";
    }

    // Unmarked again, every text is UTF-8 now and stays as it is.
    ExpectMarkedReopenKeepsTheFile();
    fixture::ExecSql(db_, "pragma user_version=0");
    Connect();
    conn_.SetConnected(false);
    for (size_t i = 0; i < std::size(columns); ++i) EXPECT_EQ(RawTexts(db_, columns[i]), want[i]) << columns[i];
  }
}

TEST_F(UnicodeStore, ConversionBlockedByAWriterRefusesTheConnection) {
  LayGbkStore();
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2(PathToUtf8(db_).c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_THROW(Connect(), DataError);
  EXPECT_FALSE(conn_.Connected());
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(UserVersion(db_), 0);
  EXPECT_EQ(RawTexts(db_, "FName")[0], kNames[0].gbk) << "left as it was";
  Connect();
  EXPECT_EQ(RawTexts(db_, "FName")[0], kNames[0].utf8);
}
