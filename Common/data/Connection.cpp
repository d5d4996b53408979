// Connection: data link resolution, opening the SQLite file, a store laid before brought up to date.
#include "data/Connection.h"

#include <algorithm>
#include <system_error>

#include <sqlite3.h>

#include "data/DataLink.h"
#include "data/LogStore.h"
#include "data/Query.h"

namespace qx::data {
namespace {

// A writer elsewhere holds the file only for the length of its transaction; wait that long.
constexpr int kBusyTimeoutMs = 3000;

// Pages are read through a view of the file, not a read call each, where the address space has
// room for a store of years (some 40 KB a card, gigabytes): a read call costs tens of
// microseconds under Wine, a page of a view a memory access. A 32-bit process reads, and so
// does a store on a share: a page the network fails to bring in would fault, not fail a call.
constexpr const char* kMapSql = sizeof(void*) >= 8 ? "PRAGMA mmap_size=1099511627776" : "";

// Empty when the database holds table TLog, else why not; reads only. Reading the schema tells a
// database from any other file; a file of no bytes reads as an empty database, and neither it
// nor a database of other tables is the store.
std::string MissingLogTable(sqlite3* db) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name='TLog' COLLATE NOCASE",
                              -1, &st, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(st);
  std::string msg = rc == SQLITE_ROW ? std::string() : rc == SQLITE_DONE ? u8"缺少表 TLog" : sqlite3_errmsg(db);
  sqlite3_finalize(st);
  return msg;
}

}  // namespace

Connection::~Connection() {
  for (Query* q : queries_) {
    q->ConnectionClosing();
    q->connection_ = nullptr;
  }
  if (db_) sqlite3_close(db_);
}

void Connection::SetConnectionString(std::string text) {
  if (Connected()) throw DataError(u8"连接打开时不能更改连接字符串");
  connectionString_ = std::move(text);
}

void Connection::Fail(const std::string& what) const {
  throw DataError(what + (db_ ? std::string(u8"：") + sqlite3_errmsg(db_) : std::string()));
}

void Connection::SetConnected(bool on) {
  if (on == Connected()) return;
  if (!on) {
    for (Query* q : queries_) q->ConnectionClosing();
    sqlite3_close(db_);
    db_ = nullptr;
    databasePath_.clear();
    return;
  }

  InitPairs pairs = ParseInitString(connectionString_);
  std::string linkFile = InitValue(pairs, "File Name");
  DataLink link = !linkFile.empty()
                      ? ReadDataLinkFile(PathFromNative8(linkFile))
                      : LinkFromInitPairs(pairs, std::filesystem::current_path(), &PathFromNative8);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(link.database, ec))
    throw DataError(u8"找不到数据库文件 \"" + PathToUtf8(link.database) + "\"");

  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(PathToUtf8(link.database).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    throw DataError(u8"无法打开数据库 \"" + PathToUtf8(link.database) + u8"\"：" + msg);
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  if (*kMapSql && OnFixedDisk(link.database)) sqlite3_exec(db, kMapSql, nullptr, nullptr, nullptr);
  // Checked before the upgrade, which writes: a file that is no store is left as it was.
  std::string msg = MissingLogTable(db);
  if (msg.empty()) {
    // A store laid before its texts were Unicode is converted now, or the connection fails.
    try {
      UpgradeStore(db);
    } catch (const DataError& e) {
      msg = e.what();
    }
  }
  if (!msg.empty()) {
    sqlite3_close(db);
    throw DataError(u8"无法打开数据库 \"" + PathToUtf8(link.database) + u8"\"：" + msg);
  }
  db_ = db;
  databasePath_ = link.database;
}

void Connection::Attach(Query* q) {
  if (std::find(queries_.begin(), queries_.end(), q) == queries_.end()) queries_.push_back(q);
}

void Connection::Detach(Query* q) {
  queries_.erase(std::remove(queries_.begin(), queries_.end(), q), queries_.end());
}

}  // namespace qx::data
