// Decodes the records of an exported worksheet so that tests can compare them cell by cell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qx::test {

struct BiffRecord {
  std::uint16_t type = 0;
  std::uint16_t length = 0;
  std::uint16_t row = 0, col = 0, format = 0;
  std::int32_t integer = 0;  // RK cells, decoded
  double number = 0;         // NUMBER cells
  std::string text;          // LABEL cells, code page 936
};

// Every record in file order; a record that runs past the end, or a length that does not fit
// its type, makes ok false.
struct BiffFile {
  bool ok = true;
  std::vector<BiffRecord> records;
};
BiffFile ReadBiff(const std::vector<std::uint8_t>& bytes);

}  // namespace qx::test
