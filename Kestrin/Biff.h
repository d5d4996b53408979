// Minimal BIFF worksheet: a start record, cell records and an end record, written one record
// at a time to a sink, fed from any row source (the export unit adapts the data layer's query).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qx::kestrin::biff {

class BiffError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Record types.
inline constexpr std::uint16_t kBof = 0x0809;
inline constexpr std::uint16_t kBlank = 0x0201;
inline constexpr std::uint16_t kRk = 0x027E;
inline constexpr std::uint16_t kNumber = 0x0203;
inline constexpr std::uint16_t kLabel = 0x0204;
inline constexpr std::uint16_t kEof = 0x000A;

// Format index of a blank cell; every other cell carries 0.
inline constexpr std::uint16_t kBlankFormat = 0x0017;

// Integers an RK cell holds: 30 bits, two's complement.
inline constexpr std::int64_t kRkMin = -(std::int64_t{1} << 29);
inline constexpr std::int64_t kRkMax = (std::int64_t{1} << 29) - 1;

// A label's record length (text bytes + 8) is 16 bits wide, so a text is cut to this many
// bytes, at a character boundary, rather than writing a length that wraps.
inline constexpr std::size_t kMaxLabelBytes = 0xFFFF - 8;

// Row and column numbers are 16 bits: rows past the last one are left out.
inline constexpr std::uint32_t kMaxRows = 0x10000;
inline constexpr std::size_t kMaxFields = 0x10000;

// Where the records go; Write takes one whole record each time.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const std::uint8_t* data, std::size_t size) = 0;
};

// A sink over a standard stream; a failed write raises BiffError.
class OstreamSink : public ByteSink {
 public:
  explicit OstreamSink(std::ostream& out) : out_(out) {}
  void Write(const std::uint8_t* data, std::size_t size) override;

 private:
  std::ostream& out_;
};

// GBK text cut to at most maxBytes without splitting a double-byte character.
std::string_view CutGbk(std::string_view text, std::size_t maxBytes);

// One record per call, straight to the sink.
class BiffWriter {
 public:
  explicit BiffWriter(ByteSink& sink) : sink_(sink) {}
  void PutBof();
  void PutEof();
  void PutBlank(std::uint16_t row, std::uint16_t col);
  // value must lie in kRkMin..kRkMax (BiffError otherwise).
  void PutInteger(std::uint16_t row, std::uint16_t col, std::int64_t value);
  void PutNumber(std::uint16_t row, std::uint16_t col, double value);
  // text: code page 936 bytes, no terminator; cut to kMaxLabelBytes.
  void PutLabel(std::uint16_t row, std::uint16_t col, std::string_view text);

 private:
  ByteSink& sink_;
  std::vector<std::uint8_t> buffer_;  // the record being assembled
};

// Field types of a query, as far as the cell kind depends on them.
enum class FieldType : std::uint8_t {
  // integer kinds
  Int16,
  Int32,
  UInt16,
  AutoInc,
  Bytes,  // fixed-length bytes: with the integers, the source's integer reading of the bytes
  // floating kinds
  Float,
  Currency,
  Bcd,
  // written in their standard text form
  String,
  Date,
  Time,
  DateTime,
  Boolean,
  Memo,
  Int64,
  Other,
};

enum class CellKind : std::uint8_t { Blank, Integer, Number, Label };

// Null: blank; integer kinds: integer; floating kinds: number; the rest: text.
CellKind CellKindFor(FieldType type, bool isNull);

struct FieldInfo {
  std::string name;  // code page 936
  FieldType type = FieldType::String;
};

// What is exported: the fields and a forward walk over the rows.
class SheetSource {
 public:
  virtual ~SheetSource() = default;
  virtual std::size_t FieldCount() const = 0;
  virtual FieldInfo Field(std::size_t index) const = 0;

  // Around the walk: suspend bound controls and keep the current row; go back and resume.
  // EndWalk also runs when the walk fails; an error it raises then gives way to the walk's own.
  virtual void BeginWalk() {}
  virtual void EndWalk() {}

  virtual void First() = 0;
  virtual bool AtEnd() const = 0;
  virtual void Next() = 0;

  // The current row's values; only the reading that fits the field's cell kind is asked for.
  virtual bool IsNull(std::size_t index) const = 0;
  virtual std::int64_t IntegerValue(std::size_t index) const = 0;
  virtual double NumberValue(std::size_t index) const = 0;
  virtual std::string TextValue(std::size_t index) const = 0;  // code page 936
};

struct SheetStats {
  std::size_t rows = 0;        // data rows written
  bool rowsDropped = false;    // the walk stopped at the last row number
};

// The whole worksheet: start record, the header row of field names when asked for, one cell
// per field of every row (row by row, columns from 0), end record. The header takes row 0
// and the data starts at row 1; without it the data starts at row 0. An integer outside the
// RK range becomes a number cell with the same value.
SheetStats WriteSheet(SheetSource& source, ByteSink& sink, bool withHeader);

}  // namespace qx::kestrin::biff
