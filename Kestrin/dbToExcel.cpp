// Unit dbToExcel: the query walked into a BIFF worksheet file.
#include "dbToExcel.h"

#include "Program.h"
#include "win/Handle.h"

namespace qx::kestrin {

std::size_t QuerySheetSource::FieldCount() const {
  return static_cast<std::size_t>(query_.FieldCount());
}

biff::FieldType QuerySheetSource::TypeOf(data::FieldType type) {
  switch (type) {
    case data::FieldType::Integer: return biff::FieldType::Int32;
    case data::FieldType::Float: return biff::FieldType::Float;
    case data::FieldType::Text: return biff::FieldType::String;
    case data::FieldType::Date: return biff::FieldType::DateTime;
    case data::FieldType::Blob: return biff::FieldType::Other;
  }
  return biff::FieldType::Other;
}

biff::FieldInfo QuerySheetSource::Field(std::size_t index) const {
  const data::Field& f = At(index);
  return {f.Name(), TypeOf(f.Type())};
}

void QuerySheetSource::BeginWalk() {
  query_.DisableControls();
  savedPosition_ = query_.GetBookmark();
}

void QuerySheetSource::EndWalk() {
  try {
    if (query_.BookmarkValid(savedPosition_)) query_.GotoBookmark(savedPosition_);
  } catch (...) {
    query_.EnableControls();
    throw;
  }
  query_.EnableControls();
}

bool QuerySheetSource::IsNull(std::size_t index) const { return At(index).IsNull(); }

std::int64_t QuerySheetSource::IntegerValue(std::size_t index) const { return At(index).AsInteger(); }

double QuerySheetSource::NumberValue(std::size_t index) const { return At(index).AsFloat(); }

std::string QuerySheetSource::TextValue(std::size_t index) const { return At(index).AsString(); }

void FileSink::WriteOut(const std::uint8_t* data, std::size_t size) {
  DWORD written = 0;
  if (!::WriteFile(file_, data, static_cast<DWORD>(size), &written, nullptr) || written != size) {
    const DWORD err = ::GetLastError();
    throw ExportError(win::FileErrorText(L"无法写入文件", name_, err ? err : ERROR_WRITE_FAULT));
  }
}

void FileSink::Write(const std::uint8_t* data, std::size_t size) {
  if (buffer_.size() + size > kBufferSize) Flush();
  if (size >= kBufferSize) {
    WriteOut(data, size);
    return;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

void FileSink::Flush() {
  if (buffer_.empty()) return;
  WriteOut(buffer_.data(), buffer_.size());
  buffer_.clear();
}

biff::SheetStats TDS2Excel::ExportToFile(const std::wstring& fileName, bool withHeader) {
  WithHeader = withHeader;
  if (::GetFileAttributesW(fileName.c_str()) != INVALID_FILE_ATTRIBUTES &&
      !::DeleteFileW(fileName.c_str()))
    throw ExportError(win::FileErrorText(L"无法删除文件", fileName, ::GetLastError()));
  win::UniqueFile file(::CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw ExportError(win::FileErrorText(L"无法创建文件", fileName, ::GetLastError()));
  FileSink sink(file.get(), fileName);
  const biff::SheetStats stats = ExportToStream(sink);
  sink.Flush();
  return stats;
}

biff::SheetStats TDS2Excel::ExportToStream(biff::ByteSink& stream) {
  QuerySheetSource source(DataSet);
  return biff::WriteSheet(source, stream, WithHeader);
}

}  // namespace qx::kestrin
