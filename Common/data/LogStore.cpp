// Laying an empty log store, and bringing a store laid before up to date: GBK texts made
// Unicode, the indexes added.
#include "data/LogStore.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <sqlite3.h>

#include "card/Utf.h"
#include "data/CodePage.h"
#include "data/DataError.h"
#include "data/DataLink.h"

namespace qx::data {
namespace {

std::string Quote(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

class Stmt {
 public:
  Stmt(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st_, nullptr) != SQLITE_OK) Fail();
  }
  ~Stmt() { sqlite3_finalize(st_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  sqlite3_stmt* get() const { return st_; }
  bool Step() {
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Fail();
    return false;
  }
  [[noreturn]] void Fail() const { throw DataError(std::string(u8"无法转换日志库的文字：") + sqlite3_errmsg(db_)); }

 private:
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
};

void Exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err ? err : sqlite3_errmsg(db);
    sqlite3_free(err);
    throw DataError(msg);
  }
}

struct TextCell {
  sqlite3_int64 rowid;
  int column;
  std::string text;
};

// Whether a text of a store laid before is UTF-8 already (another program's, or one converted
// before) rather than the desk's GBK: well-formed, every character one of code page 936, and one
// of them at least a three-byte character, as Chinese text is. GBK bytes are well-formed UTF-8
// more often than one would think, but then of two-byte characters or ones that code page lacks:
// "女" reads as "Ů", "谢小梅" as "лС÷".
bool IsUnicodeText(std::string_view t) {
  if (!qx::card::IsUtf8(t)) return false;
  bool ascii = true, wide = false;
  for (char ch : t) {
    const auto c = static_cast<unsigned char>(ch);
    ascii = ascii && c < 0x80;
    wide = wide || c >= 0xE0;
  }
  return ascii || (wide && Utf8FromCp936(Cp936FromUtf8(t)) == t);
}

// The texts of a table that are GBK, each with its place; those that are UTF-8 already are kept,
// so that nothing is converted twice. Only text values are fetched: typeof() tells without
// reading a photo.
std::vector<TextCell> ForeignTexts(sqlite3* db, const std::string& table, std::vector<std::string>& columns) {
  columns.clear();
  {
    Stmt info(db, "PRAGMA table_info(" + Quote(table) + ")");
    while (info.Step()) columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1)));
  }
  std::vector<TextCell> cells;
  if (columns.empty()) return cells;
  std::string sql = "SELECT rowid";
  for (const std::string& c : columns)
    sql += ", CASE WHEN typeof(" + Quote(c) + ")='text' THEN " + Quote(c) + " END";
  Stmt st(db, sql + " FROM " + Quote(table));
  while (st.Step()) {
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), i + 1));
      if (!p) continue;
      std::string_view t(p, static_cast<size_t>(sqlite3_column_bytes(st.get(), i + 1)));
      if (!IsUnicodeText(t)) cells.push_back({sqlite3_column_int64(st.get(), 0), i, std::string(t)});
    }
  }
  return cells;
}

void Convert(sqlite3* db) {
  std::vector<std::string> tables;
  {
    Stmt st(db, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
    while (st.Step()) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
  }
  for (const std::string& table : tables) {
    std::vector<std::string> columns;
    const std::vector<TextCell> cells = ForeignTexts(db, table, columns);
    std::vector<std::unique_ptr<Stmt>> updates(columns.size());
    for (const TextCell& c : cells) {
      auto& up = updates[c.column];
      if (!up) up = std::make_unique<Stmt>(db, "UPDATE " + Quote(table) + " SET " + Quote(columns[c.column]) +
                                                   "=? WHERE rowid=?");
      const std::string utf8 = Utf8FromCp936(c.text);
      sqlite3_bind_text(up->get(), 1, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int64(up->get(), 2, c.rowid);
      up->Step();
      sqlite3_reset(up->get());
    }
  }
}

// TLog with all the named columns; a database without them is left to fail at its first query.
bool HasColumns(sqlite3* db, std::initializer_list<const char*> names) {
  std::vector<std::string> have;
  Stmt info(db, "PRAGMA table_info(TLog)");
  while (info.Step()) {
    const auto* c = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
    if (c) have.emplace_back(c);
  }
  for (const char* n : names) {
    bool found = false;
    for (const std::string& c : have) found = found || sqlite3_stricmp(c.c_str(), n) == 0;
    if (!found) return false;
  }
  return true;
}

int UserVersion(sqlite3* db) {
  Stmt st(db, "PRAGMA user_version");
  return st.Step() ? sqlite3_column_int(st.get(), 0) : 0;
}

}  // namespace

void CreateLogStore(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::remove(file, ec);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(PathToUtf8(file).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::string msg;
  if (rc == SQLITE_OK) {
    try {
      Exec(db, (std::string("BEGIN; ") + kLogTableSql + "; " + kLogKeyIndexSql + "; " + kLogTextIndexSql + "; PRAGMA user_version=" +
                std::to_string(kStoreVersion) + "; COMMIT")
                   .c_str());
    } catch (const DataError& e) {
      msg = e.what();
    }
  } else {
    msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  }
  sqlite3_close(db);
  if (!msg.empty()) throw DataError(u8"无法创建日志库 \"" + PathToUtf8(file) + u8"\"：" + msg);
}

void UpgradeStore(sqlite3* db) {
  if (UserVersion(db) >= kStoreVersion) return;
  // Taken for writing at once, so that no one changes what is being converted.
  Exec(db, "BEGIN IMMEDIATE");
  try {
    const int version = UserVersion(db);
    if (version < kStoreVersion) {
      if (version < kUnicodeStoreVersion) Convert(db);
      if (HasColumns(db, {"FId"})) Exec(db, kLogKeyIndexSql);
      if (HasColumns(db, {"FId", "FNo", "FName", "FSex", "FMZ", "FBirth", "FAddress", "FBegin", "FEnd", "FSendDep",
                          "FDate"}))
        Exec(db, kLogTextIndexSql);
      Exec(db, ("PRAGMA user_version=" + std::to_string(kStoreVersion)).c_str());
    }
    Exec(db, "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace qx::data
