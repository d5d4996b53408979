// A dataset over one SELECT: browsed with a current row, and (with the default cursor) grown
// and shrunk by Append/Post and Delete, which write straight through to the single table the
// SELECT reads.
//
// Rows on demand: when every column comes from one table, opening reads only the rows' keys, in
// order; a row's columns are read when the row is shown or used (a block of neighbours at a
// time, a few blocks kept, more blocks at once while the rows are walked forward; from an index
// holding all the columns when the table has one), and a photo (a BLOB column) only for the row
// that asks for it, one row at a time. Other selections (expressions, DISTINCT, grouping) are
// read in full on open.
// A row deleted elsewhere after the open leaves the selection when its block is read: a move onto
// it goes on to the next row the way it was going, a row read by position is the one after it,
// and RecordCount goes down. Rows read before the deletion keep their values until the next
// Requery.
//
// Cursor kinds:
//  - Default: updatable. The selection is fixed when the query opens; rows posted or deleted
//    through this query join or leave it at once; changes made elsewhere (another query, another
//    process) show after the next Requery.
//  - Static: read-only, the selection at open (less the rows deleted elsewhere before they were
//    read); Append, Insert and Delete are errors.
//
// Texts go in and come out in the desk's code page 936; the store holds them as UTF-8. Field
// names match without regard to ASCII case; a double-byte GBK character matches only itself.
// The SQL is Jet's dialect as TranslateJetSql takes it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/Connection.h"
#include "data/DataError.h"

struct sqlite3_stmt;

namespace qx::data {

enum class CursorKind { Default, Static };
enum class DatasetState { Inactive, Browse, Insert };
enum class FieldType { Integer, Float, Text, Blob, Date };

struct Value {
  enum class Kind { Null, Integer, Float, Text, Blob } kind = Kind::Null;
  std::int64_t integer = 0;
  double real = 0;
  std::string bytes;  // text (UTF-8, as stored) or blob
  bool deferred = false;  // a blob not read yet
};

class Query;

// One column of the result, read from and written to the current row.
class Field {
 public:
  // The name as the result spells it (the alias when there is one).
  const std::string& Name() const { return name_; }
  FieldType Type() const { return type_; }
  int Index() const { return index_; }

  bool IsNull() const;
  // Null gives "", 0, empty bytes. AsInteger of a text that is not a whole number is an error.
  std::string AsString() const;
  std::int64_t AsInteger() const;
  double AsFloat() const;
  std::vector<std::uint8_t> AsBlob() const;

  // Only while a new row is being inserted.
  void SetAsString(std::string_view text);
  void SetAsInteger(std::int64_t v);
  void SetAsBlob(const std::vector<std::uint8_t>& bytes);
  void SetAsBlob(const void* data, std::size_t size);
  void Clear();

 private:
  friend class Query;
  const Value& Current() const;
  void Assign(Value v);

  Query* query_ = nullptr;
  int index_ = 0;
  std::string name_;
  FieldType type_ = FieldType::Text;
  std::string table_;   // table and column the field comes from; empty for expressions
  std::string column_;
};

class Query {
 public:
  explicit Query(Connection* connection = nullptr, CursorKind kind = CursorKind::Default);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  void SetConnection(Connection* connection);
  Connection* GetConnection() const { return connection_; }
  CursorKind Cursor() const { return cursor_; }
  void SetCursor(CursorKind kind);  // only while closed

  const std::string& Sql() const { return sql_; }
  void SetSql(std::string sql);  // closes an open query first

  // Runs the SQL and reads its rows; the first row becomes current. The SQL must be one
  // statement that returns rows. On failure the query stays closed.
  void Open();
  // Drops the rows; a row being inserted is discarded.
  void Close();
  bool Active() const { return state_ != DatasetState::Inactive; }
  void SetActive(bool on) { on ? Open() : Close(); }
  // Runs the SQL again (after posting a pending row); the first row becomes current.
  void Requery();
  DatasetState State() const { return state_; }

  // Navigation, as a grid's data set moves: Bof after First, Eof after Last or a Next past the
  // last row; both on an empty or closed query. A pending row is posted first.
  void First();
  void Last();
  void Next();
  void Prior();
  int MoveBy(int distance);  // returns the rows actually moved, signed
  bool Eof() const;
  bool Bof() const;
  int RecordNo() const;  // 1-based; 0 when empty
  int RecordCount() const;
  bool IsEmpty() const;

  // A field's value as text in the row at position row (0 is the first) without moving there:
  // the virtual grid reads the rows it paints. Empty past the rows. Rows found gone as the row
  // is read leave first, so a reader by position compares RecordCount afterwards.
  std::string TextAt(int row, int field);

  // A bookmark names a row for as long as the row stays in the selection.
  using Bookmark = std::uint64_t;
  Bookmark GetBookmark() const;  // 0 when there is no current row
  bool BookmarkValid(Bookmark b) const;
  void GotoBookmark(Bookmark b);

  // Fields exist while the query is open; Close drops them.
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  Field& Fields(int index);
  Field* FindField(std::string_view name);
  Field& FieldByName(std::string_view name);  // DataError when missing

  // A new row at the end (Append) or before the current row (Insert), all fields null; fields
  // are then assigned and Post writes the row. A pending row is posted first.
  void Append();
  void Insert();
  // Inserts the pending row into the table; only fields that were assigned are written, the
  // database fills the others (the auto-increment key among them). The row as stored then
  // joins the selection and becomes current. When the insert fails the row stays pending; once
  // the row is stored the post succeeds, even when reading it back fails.
  void Post();
  void Cancel();
  // Deletes the current row from the table (found by the table's primary key, which the
  // selection must include) and from the selection; a pending row is only discarded.
  void Delete();

  // Bound controls: told after every change of the current row or of the data, unless
  // disabled; enabling again (as often as disabled) tells them once.
  void SetOnDataChange(std::function<void()> handler) { onDataChange_ = std::move(handler); }
  void DisableControls() { ++controlsDisabled_; }
  void EnableControls();
  bool ControlsDisabled() const { return controlsDisabled_ > 0; }

 private:
  friend class Field;
  friend class Connection;
  using Values = std::vector<Value>;
  struct Row {
    Bookmark id;
    std::int64_t key;  // the row's rowid in the table; unused when rows are held
  };
  struct StatementDeleter {
    void operator()(sqlite3_stmt* st) const;
  };
  using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

  void CheckActive() const;
  void CheckUpdatable(const char* what) const;
  void CheckBrowseMode();
  void StartNew(bool atEnd);
  void Changed();
  void ConnectionClosing();
  Values ReadBack(std::int64_t rowid, Values pending);
  Values Stored(std::int64_t rowid);
  // Values of the row at pos, or of the current row (deferred blobs unread); null when there is
  // none. Reading may find rows gone: those leave the selection first.
  const Values* ValuesAt(int pos);
  const Values* CurrentValues();
  const Value& CurrentValue(int field);  // blobs read
  // Reads the block of rows around pos; true when the current row was found gone with no row
  // after it (it is then the last row).
  bool LoadBlock(int pos);
  bool DropGone(int start, int end);
  // Makes the current row one that is read and present; true when the end of the selection the
  // way it moved was reached on the way.
  bool Settle(bool forward);
  // An index of the table that starts with its rowid key and holds all the columns: blocks are
  // read from it, never from the table's pages. Empty when there is none.
  std::string CoveringIndex(const std::string& database, const std::string& table, const std::string& key,
                            const std::vector<std::string>& columns);
  const Value& DeferredValue(int pos, int field);
  void Forget(std::int64_t key);
  sqlite3_stmt* Prepared(StatementPtr& st, const std::string& sql);

  Connection* connection_ = nullptr;
  CursorKind cursor_;
  std::string sql_;
  DatasetState state_ = DatasetState::Inactive;
  std::vector<std::unique_ptr<Field>> fields_;
  std::vector<Row> rows_;
  bool keyed_ = false;       // rows read on demand by key; else held_ has every row
  std::vector<Values> held_;
  std::unordered_map<std::int64_t, Values> cache_;
  std::vector<bool> deferred_;  // blob fields, read for one row at a time
  std::int64_t deferredKey_ = 0;
  bool deferredRead_ = false;
  Values deferredValues_;
  std::string rangeSql_, listSql_, deferredSql_;  // a block by a run of keys, by its list of keys
  StatementPtr rangeSt_, listSt_, deferredSt_;
  bool coveringIndex_ = false;
  int nextBlock_ = -1;  // the row after the last rows read, and how many blocks were read then
  int readAhead_ = 1;
  int current_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  Bookmark nextId_ = 1;
  std::string table_;     // the one table of the fields; empty when there is none or several
  int keyField_ = -1;     // field holding the table's primary key
  std::string keyColumn_;
  bool keyIsRowid_ = false;
  int anchor_ = -1;       // where a MoveBy started, kept up to date as rows leave
  // The row being inserted.
  std::vector<Value> pending_;
  std::vector<bool> assigned_;
  bool pendingAtEnd_ = true;
  std::function<void()> onDataChange_;
  int controlsDisabled_ = 0;
};

}  // namespace qx::data
