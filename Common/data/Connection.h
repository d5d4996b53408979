// A connection to the verification log store, opened from a connection string the way the
// desk's ADO connection is: "FILE NAME=<data link file>" or "Provider=...;Data Source=...".
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "data/DataError.h"

struct sqlite3;

namespace qx::data {

class Query;

class Connection {
 public:
  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // 8-bit text in the program's code page. Changing it while connected is an error.
  const std::string& ConnectionString() const { return connectionString_; }
  void SetConnectionString(std::string text);

  bool Connected() const { return db_ != nullptr; }
  // True opens the database the connection string names (it must exist and hold table TLog;
  // it is never created) with shared access: other processes may read and write it meanwhile.
  // False closes it and every query on it. Failures are DataErrors; the connection stays
  // closed and a file that is no store is not written.
  void SetConnected(bool on);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  // The database file of the open connection.
  const std::filesystem::path& DatabasePath() const { return databasePath_; }

  // For the datasets of this layer.
  sqlite3* Handle() const { return db_; }
  void Attach(Query* q);
  void Detach(Query* q);
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  std::string connectionString_;
  std::filesystem::path databasePath_;
  sqlite3* db_ = nullptr;
  std::vector<Query*> queries_;
};

}  // namespace qx::data
