// Whatever the operator types into the record query's boxes stays inside its literal: the
// statement built from it translates, and SQLite takes it as one read-only select over TLog
// with the columns it names. Raw statement text either translates or is refused with a
// DataError, and text without date literals is left as it is; Jet's LIKE stays inside its texts.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <sqlite3.h>

#include "QueryText.h"
#include "data/DataError.h"
#include "data/JetSql.h"
#include "data/LogFixture.h"

namespace {

sqlite3* Store() {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    if (sqlite3_open(":memory:", &d) != SQLITE_OK) __builtin_trap();
    if (sqlite3_exec(d, qx::data::fixture::kLogTableSql, nullptr, nullptr, nullptr) != SQLITE_OK) __builtin_trap();
    return d;
  }();
  return db;
}

// One select, nothing behind it, read-only, with the expected number of result columns.
void CheckStatement(const std::string& sql, int columns) {
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(Store(), sql.c_str(), static_cast<int>(sql.size()), &st, &tail) != SQLITE_OK || !st)
    __builtin_trap();
  const bool alone = std::string_view(tail).find_first_not_of(" \t\r\n") == std::string_view::npos;
  const bool ok = alone && sqlite3_stmt_readonly(st) && sqlite3_column_count(st) == columns;
  sqlite3_finalize(st);
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string_view in(reinterpret_cast<const char*>(data), size);

  // Raw statement text.
  try {
    const std::string out = qx::data::TranslateJetSql(in);
    if (in.find('#') == std::string_view::npos && out != in) __builtin_trap();
  } catch (const qx::data::DataError&) {
  }

  // The boxes: the first byte checks them, the rest is split at NUL bytes into their texts.
  // SQLite stops a statement at a NUL, which no edit box can hold.
  const unsigned flags = static_cast<unsigned char>(in[0]) | 0x100u;
  std::vector<std::string> texts;
  std::string_view rest = in.substr(1);
  for (size_t cut; (cut = rest.find('\0')) != std::string_view::npos; rest.remove_prefix(cut + 1))
    texts.emplace_back(rest.substr(0, cut));
  texts.emplace_back(rest);
  texts.resize(6);
  qx::kestrin::QueryConditions c;
  c.ckbN = flags & 1, c.ckbS = flags & 2, c.ckbM = flags & 4, c.ckbA = flags & 8;
  c.ckbI = flags & 16, c.ckbD = flags & 32, c.ckbDate = flags & 64, c.ckbD2 = flags & 128;
  c.edtN = texts[0], c.edtS = texts[1], c.edtM = texts[2], c.edtA = texts[3], c.edtI = texts[4], c.edtD = texts[5];
  c.dtpDS = "2006-7-25", c.dtpDE = qx::kestrin::PickerDateText("2006-7-25", "13:05:00", false);
  c.edtD1 = "2009/3/2", c.edtD2 = qx::kestrin::PickerDateText("2009/3/3", "0:00:00", true);
  const std::string where = qx::kestrin::BuildWhereClause(c);
  try {
    CheckStatement(qx::data::TranslateJetSql(qx::kestrin::BrowseSql(where)), 12);
    CheckStatement(qx::data::TranslateJetSql(qx::kestrin::ExportSql(where)), 9);
  } catch (const qx::data::DataError&) {
    __builtin_trap();
  }

  return 0;
}
