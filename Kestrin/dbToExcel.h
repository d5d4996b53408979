// Unit dbToExcel: TDS2Excel writes every row of a query into a minimal BIFF worksheet, one
// record at a time straight to its stream, the cell kind chosen from each field's type.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Biff.h"
#include "data/Query.h"
#include "win/RunTimeError.h"

namespace qx::kestrin {

// A file that cannot be replaced, created or written; the text names it and the system's reason.
class ExportError : public win::RunTimeError {
 public:
  using win::RunTimeError::RunTimeError;
};

// The query as the worksheet writer sees it. The walk runs with the bound controls disabled
// and ends on the row the query stood on, when that row is still in the selection.
class QuerySheetSource : public biff::SheetSource {
 public:
  explicit QuerySheetSource(data::Query& query) : query_(query) {}

  std::size_t FieldCount() const override;
  biff::FieldInfo Field(std::size_t index) const override;
  void BeginWalk() override;
  void EndWalk() override;
  void First() override { query_.First(); }
  bool AtEnd() const override { return query_.Eof(); }
  void Next() override { query_.Next(); }
  bool IsNull(std::size_t index) const override;
  std::int64_t IntegerValue(std::size_t index) const override;
  double NumberValue(std::size_t index) const override;
  std::string TextValue(std::size_t index) const override;

  // The data layer's kinds: integers as integers, floats as numbers, the rest as text.
  static biff::FieldType TypeOf(data::FieldType type);

 private:
  data::Field& At(std::size_t index) const { return query_.Fields(static_cast<int>(index)); }

  data::Query& query_;
  data::Query::Bookmark savedPosition_ = 0;
};

// Gathers the records into one WriteFile per 64 KB: a system call per cell would cost more
// than the export's reading and writing together. Flush writes what is left; a failed write is
// an ExportError. Records not flushed when an export fails are lost with its partial file.
class FileSink : public biff::ByteSink {
 public:
  // name: the file's path, for the error text.
  FileSink(HANDLE file, std::wstring name) : file_(file), name_(std::move(name)) { buffer_.reserve(kBufferSize); }
  void Write(const std::uint8_t* data, std::size_t size) override;
  void Flush();

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  void WriteOut(const std::uint8_t* data, std::size_t size);

  HANDLE file_;
  std::wstring name_;
  std::vector<std::uint8_t> buffer_;
};

class TDS2Excel {
 public:
  explicit TDS2Excel(data::Query& dataSet) : DataSet(dataSet) {}
  TDS2Excel(const TDS2Excel&) = delete;
  TDS2Excel& operator=(const TDS2Excel&) = delete;

  // Replaces the file with a new worksheet of the query's rows: an existing file is deleted,
  // the new one made by an exclusive create and closed also when the export fails (a partial
  // file may then be left). Errors: ExportError, and the query's DataError. Tells how many rows
  // were written and whether the sheet's last row left some out.
  biff::SheetStats ExportToFile(const std::wstring& fileName, bool withHeader);
  // Start record, header row when WithHeader, the rows, end record.
  biff::SheetStats ExportToStream(biff::ByteSink& stream);

  data::Query& DataSet;  // not owned
  bool WithHeader = false;
};

}  // namespace qx::kestrin
