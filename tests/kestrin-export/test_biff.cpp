// Worksheet bytes: records, cell kinds per field type, numbering, GBK texts, the length limits.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "Biff.h"

using namespace qx::kestrin::biff;

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kXingMing = "\xD0\xD5\xC3\xFB";  // 姓名
const std::string kZhangSan = "\xD5\xC5\xC8\xFD";  // 张三

// Keeps what is written and checks that every write is exactly one record.
class RecordSink : public ByteSink {
 public:
  void Write(const std::uint8_t* data, std::size_t size) override {
    ASSERT_GE(size, 4u);
    const std::size_t len = data[2] | (data[3] << 8);
    ASSERT_EQ(size, len + 4) << "one write, one record";
    bytes.insert(bytes.end(), data, data + size);
    ++writes;
  }
  Bytes bytes;
  std::size_t writes = 0;
};

struct Rec {
  std::uint16_t type;
  Bytes data;
  std::uint16_t U16(std::size_t at) const { return static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8)); }
  std::uint16_t row() const { return U16(0); }
  std::uint16_t col() const { return U16(2); }
};

std::vector<Rec> Parse(const Bytes& b) {
  std::vector<Rec> out;
  std::size_t at = 0;
  while (at + 4 <= b.size()) {
    Rec r;
    r.type = static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
    const std::size_t len = b[at + 2] | (b[at + 3] << 8);
    EXPECT_LE(at + 4 + len, b.size());
    r.data.assign(b.begin() + at + 4, b.begin() + at + 4 + len);
    out.push_back(std::move(r));
    at += 4 + len;
  }
  EXPECT_EQ(at, b.size());
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Of(const std::string& s) { return Bytes(s.begin(), s.end()); }

const Bytes kBofBytes{0x09, 0x08, 0x08, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kEofBytes{0x0A, 0x00, 0x00, 0x00};

struct Null {};
using Value = std::variant<Null, std::int64_t, double, std::string>;

// A query held in memory; counts the walk's hooks.
class TableSource : public SheetSource {
 public:
  std::vector<FieldInfo> fields;
  std::vector<std::vector<Value>> rows;
  int begins = 0, ends = 0;
  std::size_t throwAtRow = SIZE_MAX;
  bool endThrows = false;  // going back to the saved row fails

  std::size_t FieldCount() const override { return fields.size(); }
  FieldInfo Field(std::size_t i) const override { return fields.at(i); }
  void BeginWalk() override { ++begins; }
  void EndWalk() override {
    ++ends;
    if (endThrows) throw std::runtime_error("bookmark lost");
  }
  void First() override { at_ = 0; }
  bool AtEnd() const override { return at_ >= rows.size(); }
  void Next() override { ++at_; }
  bool IsNull(std::size_t i) const override {
    if (at_ == throwAtRow) throw std::runtime_error("query failed");
    return std::holds_alternative<Null>(rows.at(at_).at(i));
  }
  std::int64_t IntegerValue(std::size_t i) const override { return std::get<std::int64_t>(rows.at(at_).at(i)); }
  double NumberValue(std::size_t i) const override { return std::get<double>(rows.at(at_).at(i)); }
  std::string TextValue(std::size_t i) const override { return std::get<std::string>(rows.at(at_).at(i)); }

 private:
  std::size_t at_ = 0;
};

// A long query that is never held: row r, one integer field with the value r.
class CountingSource : public SheetSource {
 public:
  explicit CountingSource(std::size_t n, std::size_t fieldCount = 1) : n_(n), fields_(fieldCount) {}
  std::size_t FieldCount() const override { return fields_; }
  FieldInfo Field(std::size_t) const override { return {"N", FieldType::Int32}; }
  void First() override { at_ = 0; }
  bool AtEnd() const override { return at_ >= n_; }
  void Next() override { ++at_; }
  bool IsNull(std::size_t) const override { return false; }
  std::int64_t IntegerValue(std::size_t) const override { return static_cast<std::int64_t>(at_); }
  double NumberValue(std::size_t) const override { return 0; }
  std::string TextValue(std::size_t) const override { return {}; }

 private:
  std::size_t n_, fields_, at_ = 0;
};

Bytes Sheet(SheetSource& src, bool header, SheetStats* stats = nullptr) {
  RecordSink sink;
  SheetStats s = WriteSheet(src, sink, header);
  if (stats) *stats = s;
  return sink.bytes;
}

TEST(Biff, EmptySheetWithHeaderIsStartHeaderCellsAndEnd) {
  TableSource src;
  src.fields = {{"ID", FieldType::AutoInc}, {kXingMing, FieldType::String}};
  const Bytes expected = Cat({kBofBytes,
                              {0x04, 0x02, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 'I', 'D'},
                              {0x04, 0x02, 0x0C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0x00},
                              Of(kXingMing),
                              kEofBytes});
  EXPECT_EQ(Sheet(src, true), expected);
  EXPECT_EQ(src.begins, 1);
  EXPECT_EQ(src.ends, 1);
}

TEST(Biff, EmptySheetWithoutHeaderIsSixteenBytes) {
  TableSource src;
  src.fields = {{"ID", FieldType::AutoInc}};
  EXPECT_EQ(Sheet(src, false), Cat({kBofBytes, kEofBytes}));
}

TEST(Biff, CellKindFollowsFieldTypeAndNull) {
  TableSource src;
  src.fields = {{"a", FieldType::Int16},    {"b", FieldType::Int32},   {"c", FieldType::UInt16},
                {"d", FieldType::AutoInc},  {"e", FieldType::Bytes},   {"f", FieldType::Float},
                {"g", FieldType::Currency}, {"h", FieldType::Bcd},     {"i", FieldType::String},
                {"j", FieldType::DateTime}, {"k", FieldType::Boolean}, {"l", FieldType::Int64},
                {"m", FieldType::Memo},     {"n", FieldType::Int32},   {"o", FieldType::Float},
                {"p", FieldType::String}};
  src.rows = {{std::int64_t{5}, std::int64_t{-3}, std::int64_t{65535}, std::int64_t{7}, std::int64_t{1}, 2.5,
               1.25, -0.5, std::string(), std::string("2009-3-2 10:00:00"), std::string("True"),
               std::string("12345678901"), kZhangSan, Null{}, Null{}, Null{}}};
  const std::vector<Rec> recs = Parse(Sheet(src, false));
  ASSERT_EQ(recs.size(), 18u);  // start, 16 cells, end
  const std::uint16_t expectedTypes[] = {kRk,    kRk,    kRk,    kRk,    kRk,    kNumber, kNumber, kNumber,
                                         kLabel, kLabel, kLabel, kLabel, kLabel, kBlank,  kBlank,  kBlank};
  for (std::size_t c = 0; c < 16; ++c) {
    const Rec& r = recs[c + 1];
    EXPECT_EQ(r.type, expectedTypes[c]) << "column " << c;
    EXPECT_EQ(r.row(), 0);
    EXPECT_EQ(r.col(), c);
    EXPECT_EQ(r.U16(4), r.type == kBlank ? kBlankFormat : 0) << "format index, column " << c;
  }
  // The Part's example: 5 at row 1, column 0 (here row 0) is value word 0x16.
  EXPECT_EQ(recs[1].data, (Bytes{0, 0, 0, 0, 0, 0, 0x16, 0, 0, 0}));
  EXPECT_EQ(recs[2].data, (Bytes{0, 0, 1, 0, 0, 0, 0xF6, 0xFF, 0xFF, 0xFF}));  // -3 -> -12 | 2
  EXPECT_EQ(recs[3].data, (Bytes{0, 0, 2, 0, 0, 0, 0xFE, 0xFF, 0x03, 0x00}));  // 65535 * 4 + 2
  EXPECT_EQ(recs[6].data, (Bytes{0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x40}));  // 2.5
  EXPECT_EQ(recs[8].data, (Bytes{0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0xBF}));  // -0.5
  EXPECT_EQ(recs[9].data, (Bytes{0, 0, 8, 0, 0, 0, 0, 0}));  // empty text: a label of length 0
  EXPECT_EQ(recs[12].data, Cat({{0, 0, 11, 0, 0, 0, 11, 0}, Of("12345678901")}));
  EXPECT_EQ(recs[13].data, Cat({{0, 0, 12, 0, 0, 0, 4, 0}, Of(kZhangSan)}));
  EXPECT_EQ(recs[14].data, (Bytes{0, 0, 13, 0, 0x17, 0}));
}

TEST(Biff, IntegersOutsideTheRkRangeBecomeNumbers) {
  struct Case {
    std::int64_t value;
    std::uint16_t type;
    std::uint32_t rk;
  };
  const Case cases[] = {
      {kRkMax, kRk, 0x7FFFFFFEu},
      {kRkMin, kRk, 0x80000002u},
      {0, kRk, 2u},
      {kRkMax + 1, kNumber, 0},
      {kRkMin - 1, kNumber, 0},
      {std::int64_t{1} << 40, kNumber, 0},
  };
  for (const Case& c : cases) {
    TableSource src;
    src.fields = {{"n", FieldType::Int32}};
    src.rows = {{c.value}};
    const std::vector<Rec> recs = Parse(Sheet(src, false));
    ASSERT_EQ(recs.size(), 3u);
    const Rec& r = recs[1];
    ASSERT_EQ(r.type, c.type) << c.value;
    if (c.type == kRk) {
      std::uint32_t rk = 0;
      std::memcpy(&rk, r.data.data() + 6, 4);
      EXPECT_EQ(rk, c.rk) << c.value;
    } else {
      double d = 0;
      std::memcpy(&d, r.data.data() + 6, 8);
      EXPECT_EQ(d, static_cast<double>(c.value));
    }
  }
  RecordSink unused;
  BiffWriter direct(unused);
  EXPECT_THROW(direct.PutInteger(0, 0, kRkMax + 1), BiffError);
}

TEST(Biff, CellsRunAcrossFieldsThenDownRows) {
  for (bool header : {false, true}) {
    TableSource src;
    src.fields = {{"a", FieldType::Int32}, {"b", FieldType::String}, {"c", FieldType::Float}};
    for (std::int64_t r = 0; r < 3; ++r) src.rows.push_back({r, std::string("x"), Null{}});
    const std::vector<Rec> recs = Parse(Sheet(src, header));
    const std::size_t headerCells = header ? 3 : 0;
    ASSERT_EQ(recs.size(), 2 + headerCells + 9);
    EXPECT_EQ(recs.front().type, kBof);
    EXPECT_EQ(recs.back().type, kEof);
    for (std::size_t i = 0; i < headerCells + 9; ++i) {
      const Rec& c = recs[1 + i];
      EXPECT_EQ(c.row(), i / 3) << "cell " << i << " header " << header;
      EXPECT_EQ(c.col(), i % 3) << "cell " << i << " header " << header;
      if (i < headerCells) {
        EXPECT_EQ(c.type, kLabel);
      }
    }
  }
}

TEST(Biff, LongTextsAreCutToWhatTheLengthFieldHolds) {
  struct Case {
    std::string text;
    std::size_t keptBytes;
  };
  const std::string dbcs = [] {
    std::string s;
    for (int i = 0; i < 32764; ++i) s += kZhangSan.substr(0, 2);  // 65528 bytes
    return s;
  }();
  const Case cases[] = {
      {std::string(kMaxLabelBytes, 'a'), kMaxLabelBytes},      // fits: record length 0xFFFF
      {std::string(kMaxLabelBytes + 1, 'a'), kMaxLabelBytes},  // one byte too many
      {std::string(70000, 'a'), kMaxLabelBytes},
      {dbcs, kMaxLabelBytes - 1},                              // the cut never splits a character
      {"a" + dbcs, kMaxLabelBytes},
  };
  for (const Case& c : cases) {
    TableSource src;
    src.fields = {{"t", FieldType::Memo}, {"n", FieldType::Int16}};
    src.rows = {{c.text, std::int64_t{1}}};
    const std::vector<Rec> recs = Parse(Sheet(src, false));
    ASSERT_EQ(recs.size(), 4u) << "the records after a long text still parse";
    const Rec& label = recs[1];
    EXPECT_EQ(label.data.size(), c.keptBytes + 8);
    EXPECT_EQ(label.U16(6), c.keptBytes);
    EXPECT_EQ(std::string(label.data.begin() + 8, label.data.end()), c.text.substr(0, c.keptBytes));
    EXPECT_EQ(recs[2].type, kRk);
    EXPECT_EQ(recs[2].col(), 1);
  }
}

TEST(Biff, RowsPastTheLastRowNumberAreLeftOut) {
  struct Case {
    std::size_t rows;
    bool header;
    std::size_t written;
    bool dropped;
  };
  const Case cases[] = {
      {65536, false, 65536, false},
      {65537, false, 65536, true},
      {65535, true, 65535, false},
      {70000, true, 65535, true},
  };
  for (const Case& c : cases) {
    CountingSource src(c.rows, 2);
    RecordSink sink;
    const SheetStats stats = WriteSheet(src, sink, c.header);
    EXPECT_EQ(stats.rows, c.written);
    EXPECT_EQ(stats.rowsDropped, c.dropped);
    const std::size_t cells = 2 * (c.written + (c.header ? 1 : 0));
    EXPECT_EQ(sink.writes, cells + 2);
    const std::vector<Rec> recs = Parse(sink.bytes);
    ASSERT_EQ(recs.size(), cells + 2);
    EXPECT_EQ(recs.back().type, kEof);
    const Rec& last = recs[recs.size() - 2];
    EXPECT_EQ(last.row(), 65535);
    EXPECT_EQ(last.col(), 1);
  }
}

TEST(Biff, AFailingWalkStillEndsTheWalk) {
  TableSource src;
  src.fields = {{"a", FieldType::Int32}};
  src.rows = {{std::int64_t{1}}, {std::int64_t{2}}};
  src.throwAtRow = 1;
  RecordSink sink;
  EXPECT_THROW(WriteSheet(src, sink, true), std::runtime_error);
  EXPECT_EQ(src.begins, 1);
  EXPECT_EQ(src.ends, 1);
  EXPECT_EQ(Parse(sink.bytes).size(), 3u);  // start, header cell, first row: a partial file
}

// An error while ending the walk never ends the process: it reaches the caller, unless the
// walk failed first, whose error then wins.
TEST(Biff, AnErrorEndingTheWalkReachesTheCallerUnlessTheWalkFailedFirst) {
  struct Case {
    std::size_t throwAtRow;
    const char* error;
    std::size_t records;  // what was written before the error
  };
  for (const Case& c : {Case{1, "query failed", 3}, Case{SIZE_MAX, "bookmark lost", 5}}) {
    TableSource src;
    src.fields = {{"a", FieldType::Int32}};
    src.rows = {{std::int64_t{1}}, {std::int64_t{2}}};
    src.throwAtRow = c.throwAtRow;
    src.endThrows = true;
    RecordSink sink;
    try {
      WriteSheet(src, sink, true);
      ADD_FAILURE() << c.error << ": no error";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.error);
    }
    EXPECT_EQ(src.ends, 1) << c.error;
    EXPECT_EQ(Parse(sink.bytes).size(), c.records) << c.error;
  }
}

TEST(Biff, StreamSinkWritesRecordsAndReportsAFailedStream) {
  TableSource src;
  src.fields = {{"ID", FieldType::AutoInc}};
  src.rows = {{std::int64_t{5}}};
  std::ostringstream out;
  OstreamSink sink(out);
  WriteSheet(src, sink, true);
  const std::string s = out.str();
  EXPECT_EQ(Bytes(s.begin(), s.end()),
            Cat({kBofBytes, {0x04, 0x02, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 'I', 'D'},
                 {0x7E, 0x02, 0x0A, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0x00, 0x00, 0x00}, kEofBytes}));

  std::ostringstream bad;
  bad.setstate(std::ios::badbit);
  OstreamSink badSink(bad);
  EXPECT_THROW(WriteSheet(src, badSink, false), BiffError);
}

}  // namespace
