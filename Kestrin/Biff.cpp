// Minimal BIFF worksheet writer: record bytes and the walk that picks a cell per field.
#include "Biff.h"

#include <cstring>
#include <vector>

#include "card/Gbk.h"

namespace qx::kestrin::biff {

namespace {

// Little-endian record assembly into the writer's buffer, handed to the sink whole; the buffer
// is kept from record to record, so that a cell costs no allocation.
class Record {
 public:
  Record(std::vector<std::uint8_t>& bytes, std::uint16_t type, std::size_t dataSize) : bytes_(bytes) {
    bytes_.clear();
    bytes_.reserve(4 + dataSize);
    U16(type);
    U16(static_cast<std::uint16_t>(dataSize));
  }
  void U16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  void Bytes(std::string_view s) { bytes_.insert(bytes_.end(), s.begin(), s.end()); }
  void SendTo(ByteSink& sink) const { sink.Write(bytes_.data(), bytes_.size()); }

 private:
  std::vector<std::uint8_t>& bytes_;
};

// Cell position of the next cell: across the fields, then down a row.
class CellCursor {
 public:
  explicit CellCursor(std::size_t fieldCount) : fieldCount_(fieldCount) {}
  std::uint16_t row() const { return static_cast<std::uint16_t>(row_); }
  std::uint16_t col() const { return col_; }
  bool RowsLeft() const { return row_ < kMaxRows; }
  void Advance() {
    if (col_ + std::size_t{1} >= fieldCount_) {
      ++row_;
      col_ = 0;
    } else {
      ++col_;
    }
  }

 private:
  std::size_t fieldCount_;
  std::uint32_t row_ = 0;  // wider than a row number so the end of the sheet is seen
  std::uint16_t col_ = 0;
};

// Ends the walk however it stops. End() raises the source's error; when the walk itself
// failed, the destructor ends it and drops an error of the ending, since a destructor that
// throws during unwinding ends the process.
class WalkGuard {
 public:
  explicit WalkGuard(SheetSource& s) : source_(s) { source_.BeginWalk(); }
  ~WalkGuard() {
    if (ended_) return;
    try {
      source_.EndWalk();
    } catch (...) {
    }
  }
  void End() {
    ended_ = true;
    source_.EndWalk();
  }
  WalkGuard(const WalkGuard&) = delete;
  WalkGuard& operator=(const WalkGuard&) = delete;

 private:
  SheetSource& source_;
  bool ended_ = false;
};

void PutCell(BiffWriter& w, const SheetSource& source, std::size_t field, FieldType type,
             std::uint16_t row, std::uint16_t col) {
  switch (CellKindFor(type, source.IsNull(field))) {
    case CellKind::Blank:
      w.PutBlank(row, col);
      break;
    case CellKind::Integer: {
      const std::int64_t v = source.IntegerValue(field);
      if (v >= kRkMin && v <= kRkMax)
        w.PutInteger(row, col, v);
      else
        w.PutNumber(row, col, static_cast<double>(v));
      break;
    }
    case CellKind::Number:
      w.PutNumber(row, col, source.NumberValue(field));
      break;
    case CellKind::Label:
      w.PutLabel(row, col, source.TextValue(field));
      break;
  }
}

}  // namespace

void OstreamSink::Write(const std::uint8_t* data, std::size_t size) {
  out_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out_) throw BiffError(u8"无法写入工作表");
}

std::string_view CutGbk(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = 0;
  while (end < maxBytes) {
    const bool pair = qx::card::IsGbkLeadByte(static_cast<std::uint8_t>(text[end])) && end + 1 < text.size();
    const std::size_t step = pair ? 2 : 1;
    if (end + step > maxBytes) break;
    end += step;
  }
  return text.substr(0, end);
}

void BiffWriter::PutBof() {
  Record r(buffer_, kBof, 8);
  r.U16(0);       // version
  r.U16(0x0010);  // worksheet
  r.U16(0);
  r.U16(0);
  r.SendTo(sink_);
}

void BiffWriter::PutEof() { Record(buffer_, kEof, 0).SendTo(sink_); }

void BiffWriter::PutBlank(std::uint16_t row, std::uint16_t col) {
  Record r(buffer_, kBlank, 6);
  r.U16(row);
  r.U16(col);
  r.U16(kBlankFormat);
  r.SendTo(sink_);
}

void BiffWriter::PutInteger(std::uint16_t row, std::uint16_t col, std::int64_t value) {
  if (value < kRkMin || value > kRkMax)
    throw BiffError(u8"整数 " + std::to_string(value) + u8" 超出工作表数值单元格的范围");
  Record r(buffer_, kRk, 10);
  r.U16(row);
  r.U16(col);
  r.U16(0);
  // Shifted in unsigned arithmetic: a negative value keeps its two's-complement bits.
  r.U32((static_cast<std::uint32_t>(static_cast<std::int32_t>(value)) << 2) | 2u);
  r.SendTo(sink_);
}

void BiffWriter::PutNumber(std::uint16_t row, std::uint16_t col, double value) {
  std::uint64_t bits;
  static_assert(sizeof bits == sizeof value, "IEEE 754 double");
  std::memcpy(&bits, &value, sizeof bits);
  Record r(buffer_, kNumber, 14);
  r.U16(row);
  r.U16(col);
  r.U16(0);
  r.U64(bits);
  r.SendTo(sink_);
}

void BiffWriter::PutLabel(std::uint16_t row, std::uint16_t col, std::string_view text) {
  const std::string_view t = CutGbk(text, kMaxLabelBytes);
  Record r(buffer_, kLabel, t.size() + 8);
  r.U16(row);
  r.U16(col);
  r.U16(0);
  r.U16(static_cast<std::uint16_t>(t.size()));
  r.Bytes(t);
  r.SendTo(sink_);
}

CellKind CellKindFor(FieldType type, bool isNull) {
  if (isNull) return CellKind::Blank;
  switch (type) {
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::UInt16:
    case FieldType::AutoInc:
    case FieldType::Bytes:
      return CellKind::Integer;
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::Bcd:
      return CellKind::Number;
    default:
      return CellKind::Label;
  }
}

SheetStats WriteSheet(SheetSource& source, ByteSink& sink, bool withHeader) {
  const std::size_t fieldCount = source.FieldCount();
  if (fieldCount > kMaxFields)
    throw BiffError(std::to_string(fieldCount) + u8" 个字段超过工作表的列数 " + std::to_string(kMaxFields));
  std::vector<FieldType> types;
  types.reserve(fieldCount);
  for (std::size_t i = 0; i < fieldCount; ++i) types.push_back(source.Field(i).type);

  BiffWriter w(sink);
  CellCursor cur(fieldCount);
  SheetStats stats;
  w.PutBof();
  if (withHeader) {
    for (std::size_t i = 0; i < fieldCount; ++i) {
      w.PutLabel(cur.row(), cur.col(), source.Field(i).name);
      cur.Advance();
    }
  }
  {
    WalkGuard walk(source);
    for (source.First(); !source.AtEnd(); source.Next()) {
      if (!cur.RowsLeft()) {
        stats.rowsDropped = true;
        break;
      }
      for (std::size_t i = 0; i < fieldCount; ++i) {
        PutCell(w, source, i, types[i], cur.row(), cur.col());
        cur.Advance();
      }
      ++stats.rows;
    }
    w.PutEof();
    walk.End();
  }
  return stats;
}

}  // namespace qx::kestrin::biff
