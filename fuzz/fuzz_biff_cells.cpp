// Any cell texts and field names give a worksheet of whole records: each label holds a prefix
// of its text that splits no double-byte character and whose length its record states, the
// cells run across the fields and down the rows, and the sheet ends with its end record.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Biff.h"
#include "card/Gbk.h"

namespace {

using namespace qx::kestrin::biff;

class Sink : public ByteSink {
 public:
  std::vector<std::uint8_t> bytes;
  void Write(const std::uint8_t* data, std::size_t size) override { bytes.insert(bytes.end(), data, data + size); }
};

// The fuzz texts as a table: fieldCount names, then the cells row by row; an empty text is null.
class TextSource : public SheetSource {
 public:
  TextSource(std::vector<std::string> names, std::vector<std::string> cells)
      : names_(std::move(names)), cells_(std::move(cells)) {}
  std::size_t FieldCount() const override { return names_.size(); }
  FieldInfo Field(std::size_t i) const override { return {names_[i], FieldType::String}; }
  void First() override { row_ = 0; }
  bool AtEnd() const override { return (row_ + 1) * names_.size() > cells_.size(); }
  void Next() override { ++row_; }
  bool IsNull(std::size_t i) const override { return Cell(i).empty(); }
  std::int64_t IntegerValue(std::size_t) const override { return 0; }
  double NumberValue(std::size_t) const override { return 0; }
  std::string TextValue(std::size_t i) const override { return Cell(i); }
  const std::string& Cell(std::size_t i) const { return cells_[row_ * names_.size() + i]; }

 private:
  std::vector<std::string> names_, cells_;
  std::size_t row_ = 0;
};

std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// The label's text is a prefix of the source text, cut only between characters.
void CheckLabelText(std::string_view written, std::string_view source) {
  if (written.size() > kMaxLabelBytes || source.substr(0, written.size()) != written) __builtin_trap();
  if (written.size() < source.size() && CutGbk(source, written.size()) != written) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::size_t fields = data[0] % 5 + 1;
  const bool header = data[0] & 0x80;
  std::vector<std::string> texts;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  // Texts separated by 0xFF 0x00, a pair no GBK text holds; one text may be repeated to pass
  // the label limit ("*" and a byte N in front: the rest repeated to N times 4096 bytes).
  bool repeated = false;
  for (;;) {
    const size_t cut = rest.find(std::string_view("\xFF\0", 2));
    std::string t(rest.substr(0, cut));
    if (!repeated && t.size() >= 3 && t[0] == '*') {
      repeated = true;
      const std::size_t target = (static_cast<unsigned char>(t[1]) % 20) * std::size_t{4096};
      const std::string unit = t.substr(2);
      std::string big;
      while (big.size() < target) big += unit;
      if (!big.empty()) t = std::move(big);
    }
    texts.push_back(std::move(t));
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 2);
  }
  std::vector<std::string> names(fields);
  for (std::size_t i = 0; i < fields && i < texts.size(); ++i) names[i] = texts[i];
  std::vector<std::string> cells(texts.begin() + static_cast<std::ptrdiff_t>(std::min(fields, texts.size())), texts.end());

  TextSource source(names, cells);
  Sink sink;
  const SheetStats stats = WriteSheet(source, sink, header);
  const std::size_t rows = cells.size() / fields;
  if (stats.rows != rows || stats.rowsDropped) __builtin_trap();

  // Read the records back.
  const std::vector<std::uint8_t>& b = sink.bytes;
  std::size_t at = 0, cell = 0;
  bool first = true, ended = false;
  while (at < b.size()) {
    if (ended || at + 4 > b.size()) __builtin_trap();
    const std::uint16_t type = U16(b, at), len = U16(b, at + 2);
    if (at + 4 + len > b.size()) __builtin_trap();
    if (first) {
      if (type != kBof) __builtin_trap();
      first = false;
    } else if (type == kEof) {
      ended = true;
    } else {
      if (len < 6) __builtin_trap();
      const std::size_t row = U16(b, at + 4), col = U16(b, at + 6);
      if (row != cell / fields || col != cell % fields) __builtin_trap();
      const bool inHeader = header && cell < fields;
      const std::size_t dataCell = cell - (header ? fields : 0);
      const std::string& source = inHeader ? names[cell] : cells[dataCell];
      if (type == kBlank) {
        if (inHeader || !source.empty()) __builtin_trap();
      } else if (type == kLabel) {
        const std::size_t n = U16(b, at + 10);
        if (len != n + 8) __builtin_trap();
        CheckLabelText(std::string_view(reinterpret_cast<const char*>(b.data() + at + 12), n), source);
      } else {
        __builtin_trap();
      }
      ++cell;
    }
    at += 4 + len;
  }
  if (!ended || cell != (header ? fields : 0) + rows * fields) __builtin_trap();
  return 0;
}
