// The worksheet export over queries of a log store laid in a temporary folder.
#include <gtest/gtest.h>

#include "BiffReader.h"
#include "QueryTextForTests.h"
#include "TestSupport.h"
#include "data/CodePage.h"
#include "data/LogFixture.h"
#include "dbToExcel.h"
#include "win/Text.h"

using namespace qx::kestrin;
using qx::test::BiffRecord;
using qx::test::ReadBiff;
namespace fixture = qx::data::fixture;

namespace {

constexpr std::uint8_t kBof[] = {0x09, 0x08, 0x08, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::uint8_t kEof[] = {0x0A, 0x00, 0x00, 0x00};

class MemorySink : public biff::ByteSink {
 public:
  void Write(const std::uint8_t* data, std::size_t size) override { bytes.insert(bytes.end(), data, data + size); }
  std::vector<std::uint8_t> bytes;
};

class DbToExcel : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = fixture::LayLogStore(dir_.path());
    conn_.SetConnectionString("FILE NAME=" + qx::win::WideToMulti(dir_ / L"DBLink.udl"));
    conn_.Open();
  }
  // GBK statements, written into the Unicode store as another program would: UTF-8.
  void Exec(const std::string& sql) { fixture::ExecSql(db_, qx::data::Utf8FromCp936(sql)); }
  void AddRows() {
    // 张三 / 李四, one authority null, one address empty.
    Exec("insert into TLog (FNo,FName,FSex,FMZ,FBirth,FAddress,FSendDep,FDate) values "
         "('110101198001010011','\xD5\xC5\xC8\xFD','\xC4\xD0','\xBA\xBA','1980-01-01','A1',"
         "'\xB1\xB1\xBE\xA9','2009-03-02 10:00:00')");
    Exec("insert into TLog (FNo,FName,FSex,FMZ,FBirth,FAddress,FSendDep,FDate) values "
         "('22010119900202002X','\xC0\xEE\xCB\xC4','\xC5\xAE','\xC2\xFA','1990-02-02','',"
         "NULL,'2009-03-02 11:00:00')");
  }
  void OpenExport(qx::data::Query& q, const std::string& where = "") {
    q.SetSql(ExportSql(where));
    q.Open();
  }

  qx::test::TempDir dir_{L"qxxls"};
  std::filesystem::path db_;
  qx::data::Connection conn_;
};

TEST_F(DbToExcel, HeaderRowsAndCellKinds) {
  AddRows();
  qx::data::Query q(&conn_, qx::data::CursorKind::Static);
  OpenExport(q);
  MemorySink sink;
  TDS2Excel x(q);
  x.WithHeader = true;
  x.ExportToStream(sink);

  ASSERT_GE(sink.bytes.size(), sizeof kBof + sizeof kEof);
  EXPECT_TRUE(std::equal(std::begin(kBof), std::end(kBof), sink.bytes.begin()));
  EXPECT_TRUE(std::equal(std::begin(kEof), std::end(kEof), sink.bytes.end() - 4));
  const auto f = ReadBiff(sink.bytes);
  ASSERT_TRUE(f.ok);
  ASSERT_EQ(f.records.size(), 2u + 9u * 3u);
  for (size_t i = 0; i < kExportHeaders.size(); ++i) {
    const BiffRecord& h = f.records[1 + i];
    EXPECT_EQ(h.type, biff::kLabel);
    EXPECT_EQ(h.row, 0);
    EXPECT_EQ(h.col, i);
    EXPECT_EQ(h.format, 0);
    EXPECT_EQ(h.text, kExportHeaders[i]);
  }
  // The two-character header 姓名 is 4 bytes, its record 16.
  EXPECT_EQ(f.records[3].length + 4, 16);
  const BiffRecord* r1 = &f.records[10];
  EXPECT_EQ(r1[0].type, biff::kRk);
  EXPECT_EQ(r1[0].integer, 1);
  EXPECT_EQ(r1[0].row, 1);
  EXPECT_EQ(r1[1].text, "110101198001010011");
  EXPECT_EQ(r1[2].text, "\xD5\xC5\xC8\xFD");
  EXPECT_EQ(r1[5].text, "1980-01-01");
  EXPECT_EQ(r1[8].text, "2009-03-02 10:00:00");
  EXPECT_EQ(r1[8].col, 8);
  const BiffRecord* r2 = &f.records[19];
  EXPECT_EQ(r2[0].integer, 2);
  EXPECT_EQ(r2[0].row, 2);
  // An empty text is a label of length 0; a null a blank cell with format 23.
  EXPECT_EQ(r2[6].type, biff::kLabel);
  EXPECT_EQ(r2[6].length, 8);
  EXPECT_EQ(r2[7].type, biff::kBlank);
  EXPECT_EQ(r2[7].format, 0x17);
  EXPECT_EQ(r2[7].col, 7);
  EXPECT_EQ(r2[8].type, biff::kLabel);
  EXPECT_EQ(r2[8].col, 8);
}

TEST_F(DbToExcel, EmptySelection) {
  qx::data::Query q(&conn_, qx::data::CursorKind::Static);
  OpenExport(q);
  TDS2Excel x(q);
  MemorySink bare;
  x.ExportToStream(bare);
  EXPECT_EQ(bare.bytes.size(), 16u);

  x.WithHeader = true;
  MemorySink headed;
  x.ExportToStream(headed);
  const auto f = ReadBiff(headed.bytes);
  ASSERT_TRUE(f.ok);
  ASSERT_EQ(f.records.size(), 11u);
  EXPECT_EQ(f.records[9].text, kExportHeaders[8]);
  EXPECT_EQ(f.records[10].type, biff::kEof);
}

TEST_F(DbToExcel, NegativeIntegersAndFloats) {
  AddRows();
  qx::data::Query q(&conn_, qx::data::CursorKind::Static);
  q.SetSql("select FId - 10 as N, FId * 1.5 as F from TLog");
  q.Open();
  MemorySink sink;
  TDS2Excel(q).ExportToStream(sink);
  const auto f = ReadBiff(sink.bytes);
  ASSERT_TRUE(f.ok);
  ASSERT_EQ(f.records.size(), 6u);
  EXPECT_EQ(f.records[1].type, biff::kRk);
  EXPECT_EQ(f.records[1].integer, -9);
  // -9 shifted left two bits with bit 1 set.
  EXPECT_EQ(sink.bytes[12 + 10], 0xDE);
  EXPECT_EQ(sink.bytes[12 + 13], 0xFF);
  EXPECT_EQ(f.records[2].type, biff::kNumber);
  EXPECT_DOUBLE_EQ(f.records[2].number, 1.5);
  EXPECT_DOUBLE_EQ(f.records[4].number, 3.0);
}

TEST_F(DbToExcel, WalkKeepsPositionAndQuietControls) {
  AddRows();
  qx::data::Query q(&conn_, qx::data::CursorKind::Default);
  q.SetSql("select * from TLog");
  q.Open();
  q.Next();
  ASSERT_EQ(q.RecordNo(), 2);
  int notices = 0;
  q.SetOnDataChange([&] {
    ++notices;
    EXPECT_FALSE(q.ControlsDisabled());
  });
  MemorySink sink;
  TDS2Excel(q).ExportToStream(sink);
  EXPECT_EQ(q.RecordNo(), 2);
  EXPECT_FALSE(q.ControlsDisabled());
  EXPECT_EQ(notices, 1);  // once, when the controls are enabled again
  EXPECT_EQ(ReadBiff(sink.bytes).records.size(), 2u + 12u * 2u);
}

// Rows another program deleted after the export query opened are left out: no row of blank cells
// in their place, the rows after them one row up.
TEST_F(DbToExcel, RowsDeletedAfterOpenAreLeftOut) {
  AddRows();
  Exec("insert into TLog (FNo,FName) values ('330101200001010033','c'), ('440101200001010044','d')");
  qx::data::Query q(&conn_, qx::data::CursorKind::Static);
  OpenExport(q);
  ASSERT_EQ(q.RecordCount(), 4);
  Exec("delete from TLog where FId in (2, 4)");
  MemorySink sink;
  TDS2Excel(q).ExportToStream(sink);
  const auto f = ReadBiff(sink.bytes);
  ASSERT_TRUE(f.ok);
  ASSERT_EQ(f.records.size(), 2u + 9u * 2u);
  const BiffRecord* r = &f.records[1];
  EXPECT_EQ(r[0].type, biff::kRk);
  EXPECT_EQ(r[0].integer, 1);
  EXPECT_EQ(r[2].text, "\xD5\xC5\xC8\xFD");
  EXPECT_EQ(r[9].type, biff::kRk);
  EXPECT_EQ(r[9].integer, 3);
  EXPECT_EQ(r[9].row, 1);
  EXPECT_EQ(r[10].text, "330101200001010033");
  EXPECT_EQ(r[11].text, "c");
  EXPECT_EQ(f.records.back().type, biff::kEof);
}

// The last row alone in a block of its own (blocks are 64 rows), deleted after the open: the
// export ends on the row before it and writes that row once.
TEST_F(DbToExcel, LastRowDeletedAloneInItsBlockIsLeftOut) {
  Exec("with recursive n(i) as (select 1 union all select i+1 from n where i<65) "
       "insert into TLog (FNo,FName) select printf('%018d', i), 'n'||i from n");
  qx::data::Query q(&conn_, qx::data::CursorKind::Static);
  OpenExport(q);
  ASSERT_EQ(q.RecordCount(), 65);
  Exec("delete from TLog where FId=65");
  MemorySink sink;
  EXPECT_EQ(TDS2Excel(q).ExportToStream(sink).rows, 64u);
  const auto f = ReadBiff(sink.bytes);
  ASSERT_TRUE(f.ok);
  ASSERT_EQ(f.records.size(), 2u + 9u * 64u);
  const BiffRecord* last = &f.records[1 + 9 * 63];
  EXPECT_EQ(last[0].integer, 64);
  EXPECT_EQ(last[0].row, 63);
  EXPECT_EQ(last[2].text, "n64");
  EXPECT_EQ(f.records.back().type, biff::kEof);
}

TEST_F(DbToExcel, FileIsReplacedInFull) {
  AddRows();
  qx::data::Query q(&conn_, qx::data::CursorKind::Static);
  OpenExport(q);
  const std::wstring file = dir_ / L"out.xls";
  const std::string junk(100000, 'J');
  ASSERT_TRUE(qx::test::WriteText(file, junk));
  TDS2Excel x(q);
  x.ExportToFile(file, true);
  MemorySink expected;
  x.ExportToStream(expected);
  const auto bytes = qx::test::ReadBytes(file);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, expected.bytes);
}

TEST_F(DbToExcel, FileThatCannotBeMade) {
  qx::data::Query q(&conn_, qx::data::CursorKind::Static);
  OpenExport(q);
  const std::wstring file = dir_ / L"no such folder\\out.xls";
  TDS2Excel x(q);
  try {
    x.ExportToFile(file, true);
    ADD_FAILURE() << "no error";
  } catch (const ExportError& e) {
    // The file, then Wine's reason.
    EXPECT_EQ(e.text(), L"无法创建文件 \"" + file + L"\"。找不到路径。") << qx::test::Utf8(e.text());
  }
  EXPECT_FALSE(qx::test::FileExists(file));
}

}  // namespace
