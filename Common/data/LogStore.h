// The verification log store's schema, from one place: the empty store the build lays, the
// test fixture and the check made when a store is opened all use it.
#pragma once

#include <filesystem>

struct sqlite3;

namespace qx::data {

inline constexpr char kLogTableSql[] =
    "CREATE TABLE TLog (FId INTEGER PRIMARY KEY AUTOINCREMENT, FNo TEXT, FName TEXT, FSex TEXT,"
    " FMZ TEXT, FBirth TEXT, FAddress TEXT, FBegin TEXT, FEnd TEXT, FSendDep TEXT, FDate TEXT,"
    " FPhoto BLOB)";

// The database's user_version once its texts are UTF-8. Stores laid before kept code page 936
// bytes and carry 0.
inline constexpr int kUnicodeStoreVersion = 1;

// A new database file holding the empty TLog, marked as a Unicode store; an existing file is
// replaced. Throws DataError.
void CreateLogStore(const std::filesystem::path& file);

// Run by the connection on open. A store not yet marked Unicode is marked; when any of its
// texts is not UTF-8 (the GBK of earlier stores), every text of every table is converted from
// code page 936 first, all in one transaction. Throws DataError (the store then stays as it was).
void MakeStoreUnicode(sqlite3* db);

}  // namespace qx::data
