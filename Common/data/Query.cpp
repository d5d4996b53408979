// Query: reading a selection, browsing it, writing rows back to its table.
#include "data/Query.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <sqlite3.h>

#include "data/CodePage.h"
#include "data/JetSql.h"

namespace qx::data {
namespace {

const Value kNull{};

// ASCII letters without regard to case; a GBK pair must match byte for byte, since its trail
// byte may look like a letter.
bool NameEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 0x81 && x <= 0xFE && i + 1 < a.size()) {
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string Upper(const char* s) {
  std::string out = s ? s : "";
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// The kind of a declared column type, by SQLite's affinity rules, dates picked out first
// after integers.
bool TypeFromDecl(const char* decl, FieldType& type) {
  std::string d = Upper(decl);
  if (d.empty()) return false;
  auto has = [&](const char* w) { return d.find(w) != std::string::npos; };
  if (has("INT")) type = FieldType::Integer;
  else if (has("DATE") || has("TIME")) type = FieldType::Date;
  else if (has("CHAR") || has("CLOB") || has("TEXT")) type = FieldType::Text;
  else if (has("BLOB")) type = FieldType::Blob;
  else type = FieldType::Float;
  return true;
}

Value ColumnValue(sqlite3_stmt* st, int i) {
  Value v;
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
      v.kind = Value::Kind::Integer;
      v.integer = sqlite3_column_int64(st, i);
      break;
    case SQLITE_FLOAT:
      v.kind = Value::Kind::Float;
      v.real = sqlite3_column_double(st, i);
      break;
    case SQLITE_TEXT: {
      v.kind = Value::Kind::Text;
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      v.bytes.assign(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(st, i)));
      break;
    }
    case SQLITE_BLOB: {
      v.kind = Value::Kind::Blob;
      const auto* p = static_cast<const char*>(sqlite3_column_blob(st, i));
      v.bytes.assign(p ? p : "", p ? static_cast<size_t>(sqlite3_column_bytes(st, i)) : 0);
      break;
    }
    default:
      break;
  }
  return v;
}

int Bind(sqlite3_stmt* st, int i, const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return sqlite3_bind_int64(st, i, v.integer);
    case Value::Kind::Float: return sqlite3_bind_double(st, i, v.real);
    case Value::Kind::Text:
      return sqlite3_bind_text(st, i, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
    case Value::Kind::Blob:
      return sqlite3_bind_blob(st, i, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
    default: return sqlite3_bind_null(st, i);
  }
}

// A value as the desk reads it: texts in code page 936, numbers in their plain form.
std::string ValueText(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return std::to_string(v.integer);
    case Value::Kind::Float: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.15g", v.real);
      return buf;
    }
    case Value::Kind::Text: return Cp936FromUtf8(v.bytes);
    case Value::Kind::Blob: return v.bytes;
    default: return {};
  }
}

// Rows read in one statement, and how many of them stay cached (texts only: a few hundred
// bytes a row).
constexpr int kBlockRows = 64;
constexpr size_t kCacheRows = 4 * kBlockRows;
// A block whose keys ascend is read as one run when the run passes over fewer rows than this
// many times its own: an index entry of a row's texts is a few hundred bytes, sixteen of them
// cost less than a look-up; a row of the table fills most of a page, so there the run must be
// nearly without gaps.
constexpr std::int64_t kRunSpanIndexed = 16;
constexpr std::int64_t kRunSpanTable = 2;
// Blocks read at once, at most, by a walk forward through a run of keys.
constexpr int kMaxReadAhead = 16;

[[noreturn]] void FailNotLocated() {
  throw DataError(u8"找不到要删除的行，它可能已被更改或删除");
}

// Owns a prepared statement.
class Statement {
 public:
  Statement(const Connection& c, const std::string& sql, const char** tail = nullptr) : c_(c) {
    if (sqlite3_prepare_v2(c.Handle(), sql.c_str(), static_cast<int>(sql.size()), &st_, tail) != SQLITE_OK)
      c.Fail(u8"无法准备语句");
  }
  ~Statement() { sqlite3_finalize(st_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return st_; }
  bool Step(const char* what) {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) c_.Fail(what);
    return false;
  }

 private:
  const Connection& c_;
  sqlite3_stmt* st_ = nullptr;
};

}  // namespace

// ---- Field ----

const Value& Field::Current() const {
  Query& q = *query_;
  if (q.state_ == DatasetState::Insert) return q.pending_[index_];
  return q.CurrentValue(index_);
}

bool Field::IsNull() const {
  Query& q = *query_;
  if (q.state_ == DatasetState::Insert) return q.pending_[index_].kind == Value::Kind::Null;
  // Telling a null photo needs no photo read.
  const Query::Values* row = q.CurrentValues();
  return !row || (*row)[index_].kind == Value::Kind::Null;
}

std::string Field::AsString() const { return ValueText(Current()); }

std::int64_t Field::AsInteger() const {
  const Value& v = Current();
  switch (v.kind) {
    case Value::Kind::Integer: return v.integer;
    case Value::Kind::Float: return static_cast<std::int64_t>(v.real);
    case Value::Kind::Text: {
      errno = 0;
      char* end = nullptr;
      long long n = std::strtoll(v.bytes.c_str(), &end, 10);
      if (v.bytes.empty() || errno != 0 || end != v.bytes.c_str() + v.bytes.size())
        throw DataError("'" + v.bytes + u8"' 不是字段 " + Utf8FromCp936(name_) + u8" 的有效整数值");
      return n;
    }
    case Value::Kind::Blob: throw DataError(u8"字段 " + Utf8FromCp936(name_) + u8" 存放的是字节，不是整数");
    default: return 0;
  }
}

double Field::AsFloat() const {
  const Value& v = Current();
  switch (v.kind) {
    case Value::Kind::Integer: return static_cast<double>(v.integer);
    case Value::Kind::Float: return v.real;
    case Value::Kind::Text: {
      char* end = nullptr;
      double d = std::strtod(v.bytes.c_str(), &end);
      if (v.bytes.empty() || end != v.bytes.c_str() + v.bytes.size())
        throw DataError("'" + v.bytes + u8"' 不是字段 " + Utf8FromCp936(name_) + u8" 的有效数值");
      return d;
    }
    case Value::Kind::Blob: throw DataError(u8"字段 " + Utf8FromCp936(name_) + u8" 存放的是字节，不是数值");
    default: return 0;
  }
}

std::vector<std::uint8_t> Field::AsBlob() const {
  const Value& v = Current();
  std::string s = v.kind == Value::Kind::Blob ? v.bytes : v.kind == Value::Kind::Null ? std::string() : AsString();
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

void Field::Assign(Value v) {
  if (query_->state_ != DatasetState::Insert)
    throw DataError(u8"无法修改字段 " + Utf8FromCp936(name_) + u8"：没有正在插入的行");
  query_->pending_[index_] = std::move(v);
  query_->assigned_[index_] = true;
}

void Field::SetAsString(std::string_view text) {
  Value v;
  v.kind = Value::Kind::Text;
  v.bytes = Utf8FromCp936(text);
  Assign(std::move(v));
}

void Field::SetAsInteger(std::int64_t n) {
  Value v;
  v.kind = Value::Kind::Integer;
  v.integer = n;
  Assign(std::move(v));
}

void Field::SetAsBlob(const void* data, std::size_t size) {
  Value v;
  v.kind = Value::Kind::Blob;
  if (size) v.bytes.assign(static_cast<const char*>(data), size);
  Assign(std::move(v));
}

void Field::SetAsBlob(const std::vector<std::uint8_t>& bytes) { SetAsBlob(bytes.data(), bytes.size()); }

void Field::Clear() { Assign(Value{}); }

// ---- Query ----

void Query::StatementDeleter::operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }

Query::Query(Connection* connection, CursorKind kind) : cursor_(kind) { SetConnection(connection); }

Query::~Query() {
  if (connection_) connection_->Detach(this);
}

void Query::SetConnection(Connection* connection) {
  if (connection == connection_) return;
  Close();
  if (connection_) connection_->Detach(this);
  connection_ = connection;
  if (connection_) connection_->Attach(this);
}

void Query::SetCursor(CursorKind kind) {
  if (Active()) throw DataError(u8"查询打开时不能更改游标类型");
  cursor_ = kind;
}

void Query::SetSql(std::string sql) {
  Close();
  sql_ = std::move(sql);
}

void Query::CheckActive() const {
  if (!Active()) throw DataError(u8"不能对已关闭的数据集执行此操作");
}

void Query::CheckUpdatable(const char* what) const {
  CheckActive();
  if (cursor_ == CursorKind::Static) throw DataError(u8"无法" + std::string(what) + u8"：数据集是只读的");
  if (table_.empty())
    throw DataError(u8"无法" + std::string(what) + u8"：所选的行不是来自同一个表");
}

void Query::CheckBrowseMode() {
  CheckActive();
  if (state_ == DatasetState::Insert) Post();
}

void Query::Changed() {
  if (controlsDisabled_ == 0 && onDataChange_) onDataChange_();
}

void Query::EnableControls() {
  if (controlsDisabled_ > 0 && --controlsDisabled_ == 0) Changed();
}

void Query::ConnectionClosing() { Close(); }

void Query::Open() {
  if (Active()) return;
  if (!connection_ || !connection_->Connected()) throw DataError(u8"连接没有打开");
  if (sql_.empty()) throw DataError(u8"查询没有 SQL 文本");
  const std::string sql = Utf8FromCp936(TranslateJetSql(sql_));
  const char* tail = nullptr;
  Statement st(*connection_, sql, &tail);
  if (!st.get()) throw DataError(u8"查询中没有语句");
  for (const char* p = tail; p && *p; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';')
      throw DataError(u8"语句结束后还有字符");
  const int n = sqlite3_column_count(st.get());
  if (n == 0) throw DataError(u8"语句不返回行");

  std::vector<std::unique_ptr<Field>> fields;
  std::vector<bool> typed(n, false);
  std::string table, database;
  bool oneTable = true, allColumns = true;
  for (int i = 0; i < n; ++i) {
    auto f = std::make_unique<Field>();
    f->query_ = this;
    f->index_ = i;
    const char* name = sqlite3_column_name(st.get(), i);
    f->name_ = Cp936FromUtf8(name ? name : "");
    typed[i] = TypeFromDecl(sqlite3_column_decltype(st.get(), i), f->type_);
    const char* t = sqlite3_column_table_name(st.get(), i);
    const char* c = sqlite3_column_origin_name(st.get(), i);
    const char* d = sqlite3_column_database_name(st.get(), i);
    if (t && c) {
      f->table_ = t;
      f->column_ = c;
      if (table.empty()) {
        table = t;
        database = d ? d : "main";
      } else if (table != t || database != (d ? d : "main")) {
        oneTable = false;
      }
    } else {
      allColumns = false;
    }
    fields.push_back(std::move(f));
  }
  const std::string qualified = table.empty() ? std::string() : QuoteName(database) + "." + QuoteName(table);

  // Rows by key when every field is a typed column of the one table and the statement can be
  // asked for its keys alone.
  std::vector<Row> rows;
  std::vector<Values> held;
  Bookmark id = nextId_;
  bool keyed = oneTable && allColumns && !table.empty() &&
               std::all_of(typed.begin(), typed.end(), [](bool b) { return b; });
  sqlite3_stmt* keySt = nullptr;
  if (keyed) {
    const std::string keySql = KeySelectSql(sql);
    keyed = !keySql.empty() &&
            sqlite3_prepare_v2(connection_->Handle(), keySql.c_str(), -1, &keySt, nullptr) == SQLITE_OK && keySt;
  }
  if (keyed) {
    StatementPtr own(keySt);
    for (int rc; (rc = sqlite3_step(keySt)) != SQLITE_DONE;) {
      if (rc != SQLITE_ROW) connection_->Fail(u8"无法执行查询");
      rows.push_back(Row{id++, sqlite3_column_int64(keySt, 0)});
    }
  } else {
    sqlite3_finalize(keySt);
    while (st.Step(u8"无法执行查询")) {
      Values v;
      v.reserve(n);
      for (int i = 0; i < n; ++i) v.push_back(ColumnValue(st.get(), i));
      rows.push_back(Row{id++, 0});
      held.push_back(std::move(v));
    }
    // Expressions have no declared type: the first value tells.
    for (int i = 0; i < n; ++i) {
      if (typed[i]) continue;
      fields[i]->type_ = FieldType::Text;
      for (const Values& r : held) {
        Value::Kind k = r[i].kind;
        if (k == Value::Kind::Null) continue;
        fields[i]->type_ = k == Value::Kind::Integer ? FieldType::Integer
                           : k == Value::Kind::Float ? FieldType::Float
                           : k == Value::Kind::Blob  ? FieldType::Blob
                                                     : FieldType::Text;
        break;
      }
    }
  }

  // The table's key: for deleting rows, and, when it is the rowid, for finding an index that
  // holds every column read by block.
  int keyField = -1;
  std::string keyColumn, keyType;
  if (oneTable && !table.empty()) {
    Statement info(*connection_, "PRAGMA " + QuoteName(database) + ".table_info(" + QuoteName(table) + ")");
    int keys = 0;
    while (info.Step(u8"无法读取表的结构")) {
      if (sqlite3_column_int(info.get(), 5) > 0) {
        ++keys;
        const auto* c = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
        keyColumn = c ? c : "";
        keyType = Upper(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 2)));
      }
    }
    if (keys != 1) keyColumn.clear();
    if (cursor_ == CursorKind::Default && !keyColumn.empty())
      for (int i = 0; i < n && keyField < 0; ++i)
        if (fields[i]->table_ == table && NameEquals(fields[i]->column_, keyColumn)) keyField = i;
  }

  // The statements that read rows by key: texts a block at a time, photos one row at a time.
  deferred_.assign(n, false);
  rangeSql_.clear();
  listSql_.clear();
  deferredSql_.clear();
  coveringIndex_ = false;
  if (keyed) {
    std::string cols, deferredCols;
    std::vector<std::string> read;
    for (int i = 0; i < n; ++i) {
      const std::string col = QuoteName(fields[i]->column_);
      deferred_[i] = fields[i]->type_ == FieldType::Blob;
      cols += ", " + (deferred_[i] ? "typeof(" + col + ")" : col);
      if (deferred_[i]) deferredCols += (deferredCols.empty() ? "" : ", ") + col;
      else read.push_back(fields[i]->column_);
    }
    const std::string index = keyType == "INTEGER" ? CoveringIndex(database, table, keyColumn, read) : std::string();
    auto blockSql = [&](const std::string& from) {
      rangeSql_ = "SELECT rowid" + cols + from + " WHERE rowid BETWEEN ? AND ?";
      listSql_ = "SELECT rowid" + cols + from + " WHERE rowid IN (?";
      for (int k = 1; k < kBlockRows; ++k) listSql_ += ",?";
      listSql_ += ")";
    };
    blockSql(" FROM " + qualified + (index.empty() ? "" : " INDEXED BY " + QuoteName(index)));
    coveringIndex_ = !index.empty();
    if (coveringIndex_) {
      // The planner may still refuse the index (a key declared INTEGER that is no rowid).
      sqlite3_stmt* probe = nullptr;
      coveringIndex_ = sqlite3_prepare_v2(connection_->Handle(), listSql_.c_str(), -1, &probe, nullptr) == SQLITE_OK;
      sqlite3_finalize(probe);
      if (!coveringIndex_) blockSql(" FROM " + qualified);
    }
    if (!deferredCols.empty()) deferredSql_ = "SELECT " + deferredCols + " FROM " + qualified + " WHERE rowid=?";
  }

  fields_ = std::move(fields);
  rows_ = std::move(rows);
  held_ = std::move(held);
  keyed_ = keyed;
  nextId_ = id;
  table_ = oneTable ? qualified : std::string();
  keyField_ = keyField;
  keyColumn_ = keyColumn;
  keyIsRowid_ = keyField >= 0 && keyType == "INTEGER";
  state_ = DatasetState::Browse;
  current_ = 0;
  bof_ = true;
  eof_ = rows_.empty();
  Changed();
}

void Query::Close() {
  if (!Active()) return;
  state_ = DatasetState::Inactive;
  fields_.clear();
  rows_.clear();
  held_.clear();
  cache_.clear();
  deferredRead_ = false;
  deferredValues_.clear();
  rangeSt_.reset();
  listSt_.reset();
  nextBlock_ = -1;
  readAhead_ = 1;
  deferredSt_.reset();
  keyed_ = false;
  pending_.clear();
  assigned_.clear();
  table_.clear();
  keyField_ = -1;
  keyIsRowid_ = false;
  anchor_ = -1;
  current_ = 0;
  bof_ = eof_ = true;
  Changed();
}

sqlite3_stmt* Query::Prepared(StatementPtr& st, const std::string& sql) {
  if (!st) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection_->Handle(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
      connection_->Fail(u8"无法读取行");
    st.reset(raw);
  }
  return st.get();
}

std::string Query::CoveringIndex(const std::string& database, const std::string& table, const std::string& key,
                                 const std::vector<std::string>& columns) {
  if (key.empty()) return {};
  std::vector<std::string> names;
  {
    Statement list(*connection_, "PRAGMA " + QuoteName(database) + ".index_list(" + QuoteName(table) + ")");
    while (list.Step(u8"无法列出表的索引")) {
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 1));
      if (name && sqlite3_column_int(list.get(), 4) == 0) names.emplace_back(name);  // not partial
    }
  }
  for (const std::string& name : names) {
    std::vector<std::string> held;
    Statement info(*connection_, "PRAGMA " + QuoteName(database) + ".index_info(" + QuoteName(name) + ")");
    while (info.Step(u8"无法读取索引的结构")) {
      const auto* c = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 2));
      held.emplace_back(c ? c : "");
    }
    if (held.empty() || !NameEquals(held[0], key)) continue;
    const bool covers = std::all_of(columns.begin(), columns.end(), [&](const std::string& c) {
      return NameEquals(c, "rowid") || std::any_of(held.begin(), held.end(), [&](const std::string& h) {
               return NameEquals(h, c);
             });
    });
    if (covers) return name;
  }
  return {};
}

bool Query::LoadBlock(int pos) {
  const int size = static_cast<int>(rows_.size());
  // Blocks start on a multiple of their size, or where the last rows read end when pos is past
  // them in the same block: rows found gone there moved the rows after them back, and a walk
  // forward goes on where it was, reading each row once.
  const int aligned = pos - pos % kBlockRows;
  const int start = nextBlock_ > aligned && nextBlock_ <= pos ? nextBlock_ : aligned;
  // A walk forward reads further ahead at each block it reaches: every statement is a read
  // transaction of its own, and taking and dropping the file's locks costs more than the texts.
  readAhead_ = start == nextBlock_ ? std::min(readAhead_ * 2, kMaxReadAhead) : 1;
  int end = std::min(start + readAhead_ * kBlockRows, size);
  // Keys in ascending order and close together are read as one run of the table or index, the
  // rows between that are not in the block passed over; others one by one.
  auto isRun = [&] {
    for (int p = start + 1; p < end; ++p)
      if (rows_[p - 1].key >= rows_[p].key) return false;
    const std::int64_t span = rows_[end - 1].key - rows_[start].key;
    return span < (end - start) * (coveringIndex_ ? kRunSpanIndexed : kRunSpanTable);
  };
  bool run = isRun();
  if (!run && end - start > kBlockRows) {
    end = std::min(start + kBlockRows, size);
    run = isRun();
  }
  nextBlock_ = end;
  if (cache_.size() + (end - start) > kCacheRows) cache_.clear();
  // Read afresh: a row of the block that the statement does not return is gone.
  for (int p = start; p < end; ++p) cache_.erase(rows_[p].key);
  sqlite3_stmt* st;
  if (run) {
    st = Prepared(rangeSt_, rangeSql_);
    sqlite3_bind_int64(st, 1, rows_[start].key);
    sqlite3_bind_int64(st, 2, rows_[end - 1].key);
  } else {
    st = Prepared(listSt_, listSql_);
    sqlite3_clear_bindings(st);
    for (int p = start; p < end; ++p) sqlite3_bind_int64(st, p - start + 1, rows_[p].key);
  }
  auto inBlock = [&](std::int64_t key) {
    return std::binary_search(rows_.begin() + start, rows_.begin() + end, Row{0, key},
                              [](const Row& a, const Row& b) { return a.key < b.key; });
  };
  const int n = FieldCount();
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    const std::int64_t key = sqlite3_column_int64(st, 0);
    if (run && !inBlock(key)) continue;
    Values v;
    v.reserve(n);
    for (int i = 0; i < n; ++i) {
      if (!deferred_[i]) {
        v.push_back(ColumnValue(st, i + 1));
        continue;
      }
      Value d;
      const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(st, i + 1));
      if (type && std::string_view(type) != "null") {
        d.kind = Value::Kind::Blob;
        d.deferred = true;
      }
      v.push_back(std::move(d));
    }
    cache_[key] = std::move(v);
  }
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) connection_->Fail(u8"无法读取行");
  return DropGone(start, end);
}

// Rows deleted elsewhere since the keys were read leave the selection where they are found, so
// that no walk and no grid shows them as empty rows. The current row and anchor_ follow their
// rows, or name the row after when theirs is gone.
bool Query::DropGone(int start, int end) {
  int kept = start, current = -1, anchor = -1;
  for (int p = start; p < end; ++p) {
    if (p == current_) current = kept;
    if (p == anchor_) anchor = kept;
    if (cache_.count(rows_[p].key)) rows_[kept++] = rows_[p];
  }
  const int gone = end - kept;
  if (gone == 0) return false;
  rows_.erase(rows_.begin() + kept, rows_.begin() + end);
  auto follow = [&](int& at, int to) { at = to >= 0 ? to : at >= end ? at - gone : at; };
  follow(current_, current);
  follow(anchor_, anchor);
  nextBlock_ = kept;
  const int size = static_cast<int>(rows_.size());
  if (current_ < size) return false;
  current_ = std::max(0, size - 1);
  if (size == 0) bof_ = eof_ = true;
  return true;
}

bool Query::Settle(bool forward) {
  bool ended = false;
  while (keyed_ && !rows_.empty()) {
    const std::int64_t key = rows_[current_].key;
    if (cache_.count(key)) break;
    const bool pastLast = LoadBlock(current_);
    if (rows_.empty()) return true;
    if (rows_[current_].key == key) break;
    // Gone: current_ names the row after it, or the last row when none is after.
    if (pastLast) {
      ended = ended || forward;
      forward = false;
    } else if (!forward) {
      if (current_ > 0) {
        --current_;
      } else {
        ended = true;
        forward = true;
      }
    }
  }
  return ended;
}

const Query::Values* Query::ValuesAt(int pos) {
  while (pos >= 0 && pos < static_cast<int>(rows_.size())) {
    if (!keyed_) return &held_[pos];
    auto it = cache_.find(rows_[pos].key);
    if (it != cache_.end()) return &it->second;
    LoadBlock(pos);
  }
  return nullptr;
}

const Query::Values* Query::CurrentValues() {
  if (keyed_ && !rows_.empty()) {
    auto it = cache_.find(rows_[current_].key);
    if (it != cache_.end()) return &it->second;
    Settle(true);
  }
  return ValuesAt(current_);
}

const Value& Query::DeferredValue(int pos, int field) {
  const std::int64_t key = rows_[pos].key;
  if (!deferredRead_ || deferredKey_ != key) {
    deferredRead_ = false;
    sqlite3_stmt* st = Prepared(deferredSt_, deferredSql_);
    sqlite3_bind_int64(st, 1, key);
    deferredValues_.assign(FieldCount(), Value{});
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW)
      for (int i = 0, k = 0; i < FieldCount(); ++i)
        if (deferred_[i]) deferredValues_[i] = ColumnValue(st, k++);
    sqlite3_reset(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) connection_->Fail(u8"无法读取该行");
    deferredKey_ = key;
    deferredRead_ = true;
  }
  return deferredValues_[field];
}

const Value& Query::CurrentValue(int field) {
  const Values* row = CurrentValues();
  if (!row) return kNull;
  const Value& v = (*row)[field];
  return v.deferred ? DeferredValue(current_, field) : v;
}

void Query::Forget(std::int64_t key) {
  cache_.erase(key);
  if (deferredKey_ == key) deferredRead_ = false;
}

std::string Query::TextAt(int row, int field) {
  CheckActive();
  if (field < 0 || field >= FieldCount()) return {};
  const Values* values = ValuesAt(row);
  if (!values) return {};
  const Value& v = (*values)[field];
  return ValueText(v.deferred ? DeferredValue(row, field) : v);
}

void Query::Requery() {
  CheckBrowseMode();
  int disabled = controlsDisabled_;
  controlsDisabled_ = 1;  // one notice for the pair
  try {
    Close();
    Open();
  } catch (...) {
    controlsDisabled_ = disabled;
    Changed();
    throw;
  }
  controlsDisabled_ = disabled;
  Changed();
}

void Query::First() {
  CheckBrowseMode();
  current_ = 0;
  Settle(true);
  bof_ = true;
  eof_ = rows_.empty();
  Changed();
}

void Query::Last() {
  CheckBrowseMode();
  current_ = rows_.empty() ? 0 : static_cast<int>(rows_.size()) - 1;
  Settle(false);
  eof_ = true;
  bof_ = rows_.empty();
  Changed();
}

int Query::MoveBy(int distance) {
  CheckBrowseMode();
  const size_t rows = rows_.size();
  const int last = static_cast<int>(rows) - 1;
  const int step = distance > 0 ? std::min(distance, std::max(0, last - current_)) : -std::min(-distance, current_);
  anchor_ = current_;
  current_ += step;
  // The rows passed over are not read; the one arrived at is.
  const bool ended = step != 0 && Settle(distance > 0);
  const int moved = current_ - anchor_;
  anchor_ = -1;
  if (distance > 0) {
    if (moved > 0) bof_ = false;
    eof_ = ended || step < distance;
  } else if (distance < 0) {
    if (moved < 0) eof_ = false;
    bof_ = ended || -step < -distance;
  }
  if (moved != 0 || rows_.size() != rows) Changed();
  return moved;
}

void Query::Next() { MoveBy(1); }
void Query::Prior() { MoveBy(-1); }

bool Query::Eof() const { return !Active() || (state_ == DatasetState::Browse && eof_); }
bool Query::Bof() const { return !Active() || (state_ == DatasetState::Browse && bof_); }

int Query::RecordNo() const {
  CheckActive();
  return rows_.empty() ? 0 : current_ + 1;
}

int Query::RecordCount() const {
  CheckActive();
  return static_cast<int>(rows_.size());
}

bool Query::IsEmpty() const { return !Active() || (rows_.empty() && state_ != DatasetState::Insert); }

Query::Bookmark Query::GetBookmark() const {
  if (!Active() || state_ == DatasetState::Insert || rows_.empty()) return 0;
  return rows_[current_].id;
}

bool Query::BookmarkValid(Bookmark b) const {
  return Active() && b != 0 &&
         std::any_of(rows_.begin(), rows_.end(), [&](const Row& r) { return r.id == b; });
}

void Query::GotoBookmark(Bookmark b) {
  CheckBrowseMode();
  auto it = std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.id == b; });
  if (b == 0 || it == rows_.end()) throw DataError(u8"该记录已不在所选的行中");
  current_ = static_cast<int>(it - rows_.begin());
  Settle(true);
  bof_ = eof_ = rows_.empty();
  Changed();
}

Field& Query::Fields(int index) {
  if (index < 0 || index >= FieldCount()) throw DataError(u8"字段索引超出范围");
  return *fields_[index];
}

Field* Query::FindField(std::string_view name) {
  for (auto& f : fields_)
    if (NameEquals(f->name_, name)) return f.get();
  return nullptr;
}

Field& Query::FieldByName(std::string_view name) {
  Field* f = FindField(name);
  if (!f) throw DataError(u8"找不到字段 '" + Utf8FromCp936(name) + "'");
  return *f;
}

void Query::StartNew(bool atEnd) {
  CheckUpdatable(u8"插入行");
  CheckBrowseMode();
  pending_.assign(fields_.size(), Value{});
  assigned_.assign(fields_.size(), false);
  pendingAtEnd_ = atEnd || rows_.empty();
  state_ = DatasetState::Insert;
  Changed();
}

void Query::Append() { StartNew(true); }
void Query::Insert() { StartNew(false); }

void Query::Cancel() {
  if (state_ != DatasetState::Insert) return;
  state_ = DatasetState::Browse;
  pending_.clear();
  assigned_.clear();
  Changed();
}

Query::Values Query::ReadBack(std::int64_t rowid, Values pending) {
  std::string cols;
  std::vector<int> which;
  for (auto& f : fields_) {
    if (f->column_.empty()) continue;
    cols += (cols.empty() ? "" : ",") + QuoteName(f->column_);
    which.push_back(f->index_);
  }
  if (which.empty()) return pending;
  Statement st(*connection_, "SELECT " + cols + " FROM " + table_ + " WHERE rowid=?");
  sqlite3_bind_int64(st.get(), 1, rowid);
  if (st.Step(u8"无法读回新插入的行"))
    for (size_t k = 0; k < which.size(); ++k) pending[which[k]] = ColumnValue(st.get(), static_cast<int>(k));
  return pending;
}

// The posted row as the table holds it, with what the database filled in; when it cannot be read
// back, the values as posted and the key where it is the rowid (a Requery shows the rest).
Query::Values Query::Stored(std::int64_t rowid) {
  try {
    return ReadBack(rowid, pending_);
  } catch (const DataError&) {
    Values v = pending_;
    if (keyIsRowid_ && !assigned_[keyField_]) {
      v[keyField_].kind = Value::Kind::Integer;
      v[keyField_].integer = rowid;
    }
    return v;
  }
}

void Query::Post() {
  CheckActive();
  if (state_ != DatasetState::Insert) return;
  std::string cols, marks;
  std::vector<int> which;
  for (auto& f : fields_) {
    if (!assigned_[f->index_]) continue;
    if (f->column_.empty()) throw DataError(u8"无法修改字段 " + Utf8FromCp936(f->name_));
    cols += (cols.empty() ? "" : ",") + QuoteName(f->column_);
    marks += marks.empty() ? "?" : ",?";
    which.push_back(f->index_);
  }
  std::string sql = "INSERT INTO " + table_ +
                    (which.empty() ? std::string(" DEFAULT VALUES") : " (" + cols + ") VALUES (" + marks + ")");
  Statement st(*connection_, sql);
  for (size_t k = 0; k < which.size(); ++k)
    if (Bind(st.get(), static_cast<int>(k) + 1, pending_[which[k]]) != SQLITE_OK)
      connection_->Fail(u8"无法把值传给数据库");
  st.Step(u8"无法插入行");
  const std::int64_t rowid = sqlite3_last_insert_rowid(connection_->Handle());
  // Stored: nothing from here on fails the post, or the caller would store the row again.

  const int at = pendingAtEnd_ ? static_cast<int>(rows_.size()) : current_;
  if (keyed_) {
    Forget(rowid);  // read back from the table when it is shown
  } else {
    held_.insert(held_.begin() + at, Stored(rowid));
  }
  rows_.insert(rows_.begin() + at, Row{nextId_++, rowid});
  current_ = at;
  bof_ = eof_ = false;
  state_ = DatasetState::Browse;
  pending_.clear();
  assigned_.clear();
  Changed();
}

void Query::Delete() {
  CheckActive();
  if (state_ == DatasetState::Insert) {
    Cancel();
    return;
  }
  CheckUpdatable(u8"删除行");
  if (rows_.empty()) throw DataError(u8"不能对空数据集执行此操作");
  if (keyField_ < 0) throw DataError(u8"无法删除行：所选的行缺少其表的键");
  const Bookmark row = rows_[current_].id;
  const Value key = CurrentValue(keyField_);
  if (rows_.empty() || rows_[current_].id != row) {
    // Found gone as it was read: the row that took its place is not the one to delete.
    Changed();
    FailNotLocated();
  }
  Statement st(*connection_, "DELETE FROM " + table_ + " WHERE " + QuoteName(keyColumn_) + "=?");
  Bind(st.get(), 1, key);
  st.Step(u8"无法删除行");
  if (sqlite3_changes(connection_->Handle()) == 0) FailNotLocated();
  if (keyed_) Forget(rows_[current_].key);
  else held_.erase(held_.begin() + current_);
  rows_.erase(rows_.begin() + current_);
  if (current_ >= static_cast<int>(rows_.size())) current_ = std::max(0, static_cast<int>(rows_.size()) - 1);
  bof_ = eof_ = rows_.empty();
  Changed();
}

}  // namespace qx::data
