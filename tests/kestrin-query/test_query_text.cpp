// The record query's SQL texts, built from every kind of condition.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "QueryText.h"
#include "TempFolder.h"
#include "data/CodePage.h"
#include "data/LogFixture.h"
#include "data/Query.h"

using namespace qx::kestrin;

namespace {

// 张三 in code page 936.
const std::string kZhang = "\xD5\xC5\xC8\xFD";

struct Case {
  const char* what;
  void (*set)(QueryConditions&);
  std::string where;
};

const Case kCases[] = {
    {"name", [](QueryConditions& c) { c.ckbN = true; c.edtN = kZhang; },
     " where (FName  like '%" + kZhang + "%') and  1=1"},
    {"empty name matches every name", [](QueryConditions& c) { c.ckbN = true; },
     " where (FName  like '%%') and  1=1"},
    {"sex", [](QueryConditions& c) { c.ckbS = true; c.edtS = "\xC4\xD0"; },
     " where (FSex like '%\xC4\xD0%') and  1=1"},
    {"nation", [](QueryConditions& c) { c.ckbM = true; c.edtM = "\xBA\xBA"; },
     " where (FMz like '%\xBA\xBA%') and  1=1"},
    {"birth range", [](QueryConditions& c) { c.ckbDate = true; c.dtpDS = "1980/1/1"; c.dtpDE = "1990/12/31"; },
     " where (FBirth>=#1980/1/1# and FBirth <=#1990/12/31#) and  1=1"},
    {"birth range of one day", [](QueryConditions& c) { c.ckbDate = true; c.dtpDS = c.dtpDE = "2006/7/25"; },
     " where (FBirth>=#2006/7/25# and FBirth <=#2006/7/25#) and  1=1"},
    {"address", [](QueryConditions& c) { c.ckbA = true; c.edtA = "1"; },
     " where (FAddress  like '%1%') and  1=1"},
    {"id number", [](QueryConditions& c) { c.ckbI = true; c.edtI = "123X"; },
     " where (FNo like '%123X%') and  1=1"},
    {"authority", [](QueryConditions& c) { c.ckbD = true; c.edtD = "A"; },
     " where (FSendDep  like '%A%') and  1=1"},
    {"record dates", [](QueryConditions& c) { c.ckbD2 = true; c.edtD1 = "2009/3/2"; c.edtD2 = "2009/3/3 12:30:00"; },
     " where (FDate>=#2009/3/2# and FDate <=#2009/3/3 12:30:00#) and  1=1"},
    {"every condition, in the table's order",
     [](QueryConditions& c) {
       c.ckbN = c.ckbS = c.ckbM = c.ckbDate = c.ckbA = c.ckbI = c.ckbD = c.ckbD2 = true;
       c.edtN = "n"; c.edtS = "s"; c.edtM = "m"; c.edtA = "a"; c.edtI = "i"; c.edtD = "d";
       c.dtpDS = "1"; c.dtpDE = "2"; c.edtD1 = "3"; c.edtD2 = "4";
     },
     " where (FName  like '%n%') and (FSex like '%s%') and (FMz like '%m%') and "
     "(FBirth>=#1# and FBirth <=#2#) and (FAddress  like '%a%') and (FNo like '%i%') and "
     "(FSendDep  like '%d%') and (FDate>=#3# and FDate <=#4#) and  1=1"},
    {"all alone", [](QueryConditions& c) { c.ckbAll = true; }, ""},
    {"all wins over the others", [](QueryConditions& c) { c.ckbAll = c.ckbN = c.ckbD2 = true; c.edtN = "x"; }, ""},
    // A quote in the operator's text stays inside the literal.
    {"quote doubled", [](QueryConditions& c) { c.ckbN = true; c.edtN = "O'Neil"; },
     " where (FName  like '%O''Neil%') and  1=1"},
    {"injection stays a literal",
     [](QueryConditions& c) { c.ckbA = true; c.edtA = "x') or 1=1 or ('"; },
     " where (FAddress  like '%x'') or 1=1 or (''%') and  1=1"},
    {"quote after a double-byte character",
     [](QueryConditions& c) { c.ckbD = true; c.edtD = kZhang + "'"; },
     " where (FSendDep  like '%" + kZhang + "''%') and  1=1"},
};

}  // namespace

TEST(QueryText, WhereClauseOfEveryCondition) {
  for (const Case& k : kCases) {
    QueryConditions c;
    k.set(c);
    EXPECT_TRUE(AnyConditionChecked(c)) << k.what;
    EXPECT_EQ(BuildWhereClause(c), k.where) << k.what;
  }
}

TEST(QueryText, NothingCheckedIsNoQuery) {
  QueryConditions c;
  c.edtN = "typed but not checked";
  EXPECT_FALSE(AnyConditionChecked(c));
  // Each box alone counts.
  bool QueryConditions::*boxes[] = {&QueryConditions::ckbN, &QueryConditions::ckbS, &QueryConditions::ckbM,
                                    &QueryConditions::ckbDate, &QueryConditions::ckbA, &QueryConditions::ckbI,
                                    &QueryConditions::ckbD, &QueryConditions::ckbD2, &QueryConditions::ckbAll};
  for (auto box : boxes) {
    QueryConditions one;
    one.*box = true;
    EXPECT_TRUE(AnyConditionChecked(one));
  }
}

TEST(QueryText, Statements) {
  EXPECT_EQ(BrowseSql(""), "select *  from TLog ");
  EXPECT_EQ(BrowseSql(" where  1=1"), "select *  from TLog  where  1=1");
  // Aliases: 身份号码 姓名 性别 民族 出生日期 地址 发证机关 记录时间.
  EXPECT_EQ(ExportSql(" where  1=1"),
            "select FId as ID,FNo as \xC9\xED\xB7\xDD\xBA\xC5\xC2\xEB,FName as \xD0\xD5\xC3\xFB,"
            "FSex as \xD0\xD4\xB1\xF0,FMz as \xC3\xF1\xD7\xE5,FBirth as \xB3\xF6\xC9\xFA\xC8\xD5\xC6\xDA,"
            "FAddress as \xB5\xD8\xD6\xB7,FSendDep as \xB7\xA2\xD6\xA4\xBB\xFA\xB9\xD8,"
            "FDate as \xBC\xC7\xC2\xBC\xCA\xB1\xBC\xE4  from TLog  where  1=1");
}

TEST(QueryText, QuoteLiteralBody) {
  EXPECT_EQ(QuoteLiteralBody(""), "");
  EXPECT_EQ(QuoteLiteralBody("'"), "''");
  EXPECT_EQ(QuoteLiteralBody("''a'"), "''''a''");
  EXPECT_EQ(QuoteLiteralBody("50%_\"#"), "50%_\"#");
}

TEST(QueryText, PickerDateText) {
  EXPECT_EQ(PickerDateText("2006/7/25", "0:00:00", true), "2006/7/25");
  EXPECT_EQ(PickerDateText("2006/7/25", "9:05:01", false), "2006/7/25 9:05:01");
}

// The texts run against a log store: the operator's text is taken as a literal whatever it
// holds, and the date literals select the ranges they name.
class QueryTextOnStore : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = qx::data::fixture::LayLogStore(dir_.path());
    conn_.SetConnectionString("FILE NAME=" + (dir_.path() / "DBLink.udl").string());
    conn_.Open();
    Add("O'Neil", "1980-01-01", "2009-03-02 08:00:00");
    Add(kZhang, "1990-06-15", "2009-03-03 00:00:00");
    Add("Li", "2006-07-25", "2009-03-03 00:00:01");
  }
  // As another program writes into the Unicode store: UTF-8 text.
  void Add(const std::string& name, const std::string& birth, const std::string& time) {
    qx::data::fixture::ExecSql(db_, "insert into TLog (FName,FBirth,FDate) values ('" +
                                        qx::data::Utf8FromCp936(QuoteLiteralBody(name)) + "','" + birth +
                                        "','" + time + "')");
  }
  std::vector<std::string> Names(const QueryConditions& c) {
    qx::data::Query q(&conn_, qx::data::CursorKind::Static);
    q.SetSql(BrowseSql(BuildWhereClause(c)));
    q.Open();
    std::vector<std::string> names;
    for (q.First(); !q.Eof(); q.Next()) names.push_back(q.FieldByName("FName").AsString());
    return names;
  }

  qx::data::test::TempFolder dir_;
  std::filesystem::path db_;
  qx::data::Connection conn_;
};

TEST_F(QueryTextOnStore, SelectsWhatTheConditionsSay) {
  using V = std::vector<std::string>;
  struct Run {
    const char* what;
    void (*set)(QueryConditions&);
    V names;
  };
  const Run runs[] = {
      {"quote in the name", [](QueryConditions& c) { c.ckbN = true; c.edtN = "'N"; }, V{"O'Neil"}},
      {"injection matches nothing",
       [](QueryConditions& c) { c.ckbN = true; c.edtN = "x') or 1=1 or ('"; }, V{}},
      {"empty name, every name", [](QueryConditions& c) { c.ckbN = true; }, V{"O'Neil", kZhang, "Li"}},
      {"double-byte name", [](QueryConditions& c) { c.ckbN = true; c.edtN = "\xC8\xFD"; }, V{kZhang}},
      {"birth range, inclusive",
       [](QueryConditions& c) { c.ckbDate = true; c.dtpDS = "1980/1/1"; c.dtpDE = "1990/6/15"; },
       V{"O'Neil", kZhang}},
      {"birth on one day", [](QueryConditions& c) { c.ckbDate = true; c.dtpDS = c.dtpDE = "2006/7/25"; }, V{"Li"}},
      // A range ends at the very start of its end date.
      {"record dates", [](QueryConditions& c) { c.ckbD2 = true; c.edtD1 = "2009/3/2"; c.edtD2 = "2009/3/3"; },
       V{"O'Neil", kZhang}},
      {"all", [](QueryConditions& c) { c.ckbAll = true; c.edtN = "none"; c.ckbN = true; },
       V{"O'Neil", kZhang, "Li"}},
  };
  for (const Run& r : runs) {
    QueryConditions c;
    r.set(c);
    EXPECT_EQ(Names(c), r.names) << r.what;
  }
}
