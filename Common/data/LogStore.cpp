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

// What the bytes of a text of a store laid before tell of the program that wrote them. The desk
// wrote code page 936 only, so a text that is no UTF-8 is its GBK ("男" is C4 D0), and one that
// is UTF-8 but no GBK is another program's ("男" is E7 94 B7, its last byte a lead byte without
// a trail). Many texts are both: the GBK of "谢婧玥" reads as the UTF-8 "л溫h", that of "女" as
// "Ů", the UTF-8 of "李四" as the GBK "鏉庡洓".
enum class Origin { kAscii, kGbk, kUtf8, kEither };

Origin OriginOf(std::string_view t) {
  bool ascii = true;
  for (char c : t) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return Origin::kAscii;
  if (!qx::card::IsUtf8(t)) return Origin::kGbk;
  return Cp936FromUtf8(Utf8FromCp936(t)) == t ? Origin::kEither : Origin::kUtf8;
}

struct TableTexts {
  std::string table;
  std::vector<std::string> columns;
  std::vector<TextCell> gbk;       // to be read as code page 936
  std::vector<TextCell> undecided;  // of rows whose texts could all be either
};

// The texts of a table to convert. Every text of a row was written by one program: a row with a
// text that is GBK is the desk's, and its texts that could be either are GBK too; a row with one
// that is UTF-8 and none that is GBK is another program's and stays. A text that is no GBK is
// never converted, which would only give replacement marks. The rows that tell are counted in
// gbkRows and utf8Rows. Only text values are fetched: typeof() tells without reading a photo.
TableTexts ForeignTexts(sqlite3* db, const std::string& table, size_t& gbkRows, size_t& utf8Rows) {
  TableTexts out{table, {}, {}, {}};
  {
    Stmt info(db, "PRAGMA table_info(" + Quote(table) + ")");
    while (info.Step()) out.columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1)));
  }
  if (out.columns.empty()) return out;
  std::string sql = "SELECT rowid";
  for (const std::string& c : out.columns)
    sql += ", CASE WHEN typeof(" + Quote(c) + ")='text' THEN " + Quote(c) + " END";
  Stmt st(db, sql + " FROM " + Quote(table));
  std::vector<TextCell> either;
  while (st.Step()) {
    const sqlite3_int64 rowid = sqlite3_column_int64(st.get(), 0);
    bool gbk = false, utf8 = false;
    either.clear();
    for (int i = 0; i < static_cast<int>(out.columns.size()); ++i) {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), i + 1));
      if (!p) continue;
      std::string_view t(p, static_cast<size_t>(sqlite3_column_bytes(st.get(), i + 1)));
      switch (OriginOf(t)) {
        case Origin::kAscii: break;
        case Origin::kGbk: gbk = true; out.gbk.push_back({rowid, i, std::string(t)}); break;
        case Origin::kUtf8: utf8 = true; break;
        case Origin::kEither: either.push_back({rowid, i, std::string(t)}); break;
      }
    }
    auto& to = gbk ? out.gbk : out.undecided;
    if (gbk || !utf8) to.insert(to.end(), either.begin(), either.end());
    gbkRows += gbk;
    utf8Rows += utf8 && !gbk;
  }
  return out;
}

void Convert(sqlite3* db) {
  std::vector<std::string> tables;
  {
    Stmt st(db, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
    while (st.Step()) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
  }
  std::vector<TableTexts> found;
  size_t gbkRows = 0, utf8Rows = 0;
  for (const std::string& table : tables) found.push_back(ForeignTexts(db, table, gbkRows, utf8Rows));
  // A row that tells nothing (a short name, "女") was most likely written by the program that
  // wrote most of the rows that tell, and by the desk if as many are its: the store was the
  // desk's. A store without a GBK text is left as it is, as are its converted texts when it is
  // converted again (the mark gone): they are all UTF-8 then.
  const bool undecidedAreGbk = gbkRows > 0 && gbkRows >= utf8Rows;
  for (const TableTexts& t : found) {
    std::vector<std::unique_ptr<Stmt>> updates(t.columns.size());
    auto convert = [&](const TextCell& c) {
      auto& up = updates[c.column];
      if (!up) up = std::make_unique<Stmt>(db, "UPDATE " + Quote(t.table) + " SET " + Quote(t.columns[c.column]) +
                                                   "=? WHERE rowid=?");
      const std::string utf8 = Utf8FromCp936(c.text);
      sqlite3_bind_text(up->get(), 1, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int64(up->get(), 2, c.rowid);
      up->Step();
      sqlite3_reset(up->get());
    };
    for (const TextCell& c : t.gbk) convert(c);
    if (undecidedAreGbk)
      for (const TextCell& c : t.undecided) convert(c);
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
