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

// Owns a prepared statement.
class Statement {
 public:
  Statement(const Connection& c, const std::string& sql, const char** tail = nullptr) : c_(c) {
    if (sqlite3_prepare_v2(c.Handle(), sql.c_str(), static_cast<int>(sql.size()), &st_, tail) != SQLITE_OK)
      c.Fail("the statement cannot be prepared");
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

const Value& Field::Current() const { return query_->state_ == DatasetState::Insert
                                          ? query_->pending_[index_]
                                          : query_->rows_.empty() ? kNull
                                          : query_->rows_[query_->current_].values[index_]; }

bool Field::IsNull() const { return Current().kind == Value::Kind::Null; }

std::string Field::AsString() const {
  const Value& v = Current();
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
        throw DataError("'" + v.bytes + "' is not a valid integer value of field " + Utf8FromCp936(name_));
      return n;
    }
    case Value::Kind::Blob: throw DataError("field " + Utf8FromCp936(name_) + " holds bytes, not an integer");
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
        throw DataError("'" + v.bytes + "' is not a valid number value of field " + Utf8FromCp936(name_));
      return d;
    }
    case Value::Kind::Blob: throw DataError("field " + Utf8FromCp936(name_) + " holds bytes, not a number");
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
    throw DataError("field " + Utf8FromCp936(name_) + " cannot be modified: no row is being inserted");
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
  if (Active()) throw DataError("the cursor kind cannot change while the query is open");
  cursor_ = kind;
}

void Query::SetSql(std::string sql) {
  Close();
  sql_ = std::move(sql);
}

void Query::CheckActive() const {
  if (!Active()) throw DataError("cannot perform this operation on a closed dataset");
}

void Query::CheckUpdatable(const char* what) const {
  CheckActive();
  if (cursor_ == CursorKind::Static) throw DataError(std::string("cannot ") + what + ": the dataset is read-only");
  if (table_.empty())
    throw DataError(std::string("cannot ") + what + ": the selection does not come from one table");
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
  if (!connection_ || !connection_->Connected()) throw DataError("the connection is not open");
  if (sql_.empty()) throw DataError("the query has no SQL text");
  const std::string sql = Utf8FromCp936(TranslateJetSql(sql_));
  const char* tail = nullptr;
  Statement st(*connection_, sql, &tail);
  if (!st.get()) throw DataError("the query has no statement");
  for (const char* p = tail; p && *p; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';')
      throw DataError("characters found after the end of the statement");
  const int n = sqlite3_column_count(st.get());
  if (n == 0) throw DataError("the statement returns no rows");

  std::vector<std::unique_ptr<Field>> fields;
  std::vector<bool> typed(n, false);
  std::string table, database;
  bool oneTable = true;
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
    }
    fields.push_back(std::move(f));
  }

  std::vector<Row> rows;
  Bookmark id = nextId_;
  while (st.Step("the query cannot be run")) {
    Row r{id++, {}};
    r.values.reserve(n);
    for (int i = 0; i < n; ++i) r.values.push_back(ColumnValue(st.get(), i));
    rows.push_back(std::move(r));
  }
  // Expressions have no declared type: the first value tells.
  for (int i = 0; i < n; ++i) {
    if (typed[i]) continue;
    fields[i]->type_ = FieldType::Text;
    for (const Row& r : rows) {
      Value::Kind k = r.values[i].kind;
      if (k == Value::Kind::Null) continue;
      fields[i]->type_ = k == Value::Kind::Integer ? FieldType::Integer
                         : k == Value::Kind::Float ? FieldType::Float
                         : k == Value::Kind::Blob  ? FieldType::Blob
                                                   : FieldType::Text;
      break;
    }
  }

  // The table's key, for deleting rows.
  int keyField = -1;
  std::string keyColumn;
  if (oneTable && !table.empty() && cursor_ == CursorKind::Default) {
    Statement info(*connection_, "PRAGMA " + QuoteName(database) + ".table_info(" + QuoteName(table) + ")");
    int keys = 0;
    while (info.Step("the table cannot be described")) {
      if (sqlite3_column_int(info.get(), 5) > 0) {
        ++keys;
        const auto* c = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
        keyColumn = c ? c : "";
      }
    }
    if (keys == 1)
      for (int i = 0; i < n && keyField < 0; ++i)
        if (fields[i]->table_ == table && NameEquals(fields[i]->column_, keyColumn)) keyField = i;
  }

  fields_ = std::move(fields);
  rows_ = std::move(rows);
  nextId_ = id;
  table_ = oneTable ? (table.empty() ? std::string() : QuoteName(database) + "." + QuoteName(table))
                    : std::string();
  keyField_ = keyField;
  keyColumn_ = keyColumn;
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
  pending_.clear();
  assigned_.clear();
  table_.clear();
  keyField_ = -1;
  current_ = 0;
  bof_ = eof_ = true;
  Changed();
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
  bof_ = true;
  eof_ = rows_.empty();
  Changed();
}

void Query::Last() {
  CheckBrowseMode();
  current_ = rows_.empty() ? 0 : static_cast<int>(rows_.size()) - 1;
  eof_ = true;
  bof_ = rows_.empty();
  Changed();
}

int Query::MoveBy(int distance) {
  CheckBrowseMode();
  const int last = static_cast<int>(rows_.size()) - 1;
  int moved = 0;
  if (distance > 0) {
    moved = std::min(distance, std::max(0, last - current_));
    if (moved > 0) bof_ = false;
    eof_ = moved < distance;
  } else if (distance < 0) {
    moved = -std::min(-distance, current_);
    if (moved < 0) eof_ = false;
    bof_ = -moved < -distance;
  }
  current_ += moved;
  if (moved != 0) Changed();
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
  if (b == 0 || it == rows_.end()) throw DataError("the record is no longer in the selection");
  current_ = static_cast<int>(it - rows_.begin());
  bof_ = eof_ = false;
  Changed();
}

Field& Query::Fields(int index) {
  if (index < 0 || index >= FieldCount()) throw DataError("field index out of range");
  return *fields_[index];
}

Field* Query::FindField(std::string_view name) {
  for (auto& f : fields_)
    if (NameEquals(f->name_, name)) return f.get();
  return nullptr;
}

Field& Query::FieldByName(std::string_view name) {
  Field* f = FindField(name);
  if (!f) throw DataError("field '" + Utf8FromCp936(name) + "' not found");
  return *f;
}

void Query::StartNew(bool atEnd) {
  CheckUpdatable("insert a row");
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

Query::Row Query::ReadBack(std::int64_t rowid, Row pending) {
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
  if (st.Step("the new row cannot be read back"))
    for (size_t k = 0; k < which.size(); ++k)
      pending.values[which[k]] = ColumnValue(st.get(), static_cast<int>(k));
  return pending;
}

void Query::Post() {
  CheckActive();
  if (state_ != DatasetState::Insert) return;
  std::string cols, marks;
  std::vector<int> which;
  for (auto& f : fields_) {
    if (!assigned_[f->index_]) continue;
    if (f->column_.empty()) throw DataError("field " + Utf8FromCp936(f->name_) + " cannot be modified");
    cols += (cols.empty() ? "" : ",") + QuoteName(f->column_);
    marks += marks.empty() ? "?" : ",?";
    which.push_back(f->index_);
  }
  std::string sql = "INSERT INTO " + table_ +
                    (which.empty() ? std::string(" DEFAULT VALUES") : " (" + cols + ") VALUES (" + marks + ")");
  Statement st(*connection_, sql);
  for (size_t k = 0; k < which.size(); ++k)
    if (Bind(st.get(), static_cast<int>(k) + 1, pending_[which[k]]) != SQLITE_OK)
      connection_->Fail("a value cannot be passed to the database");
  st.Step("the row cannot be inserted");
  const std::int64_t rowid = sqlite3_last_insert_rowid(connection_->Handle());

  Row row = ReadBack(rowid, Row{nextId_++, pending_});
  int at = pendingAtEnd_ ? static_cast<int>(rows_.size()) : current_;
  rows_.insert(rows_.begin() + at, std::move(row));
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
  CheckUpdatable("delete");
  if (rows_.empty()) throw DataError("cannot perform this operation on an empty dataset");
  if (keyField_ < 0) throw DataError("cannot delete: the selection lacks the key of its table");
  const Value& key = rows_[current_].values[keyField_];
  Statement st(*connection_, "DELETE FROM " + table_ + " WHERE " + QuoteName(keyColumn_) + "=?");
  Bind(st.get(), 1, key);
  st.Step("the row cannot be deleted");
  if (sqlite3_changes(connection_->Handle()) == 0)
    throw DataError("the row cannot be located for deletion; it may have been changed or deleted");
  rows_.erase(rows_.begin() + current_);
  if (current_ >= static_cast<int>(rows_.size())) current_ = std::max(0, static_cast<int>(rows_.size()) - 1);
  bof_ = eof_ = rows_.empty();
  Changed();
}

}  // namespace qx::data
