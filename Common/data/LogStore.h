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

// Every row's key in a small index of its own: reading the keys of the whole table (the record
// query's "全部", the export) scans it instead of the table's pages, which hold the photos too.
// Its order is the table's, so the rows' order does not change.
inline constexpr char kLogKeyIndexSql[] = "CREATE INDEX IF NOT EXISTS TLogKey ON TLog (FId)";

// Every text of every row, in key order: a selection's rows are shown and exported from it, and a
// condition on the texts is tested on it, without reading the table's pages, which a row shares
// with the first part of its photo (a record of some 39 KB spills over pages of its own, but its
// texts and the head of the photo fill most of a page).
inline constexpr char kLogTextIndexSql[] =
    "CREATE INDEX IF NOT EXISTS TLogTexts ON TLog (FId, FNo, FName, FSex, FMZ, FBirth, FAddress, FBegin, FEnd,"
    " FSendDep, FDate)";

// The database's user_version: from 1 on its texts are UTF-8 (stores laid before kept code page
// 936 bytes and carry 0); from 2 on TLog has its key index, from 3 on its text index.
inline constexpr int kUnicodeStoreVersion = 1;
inline constexpr int kStoreVersion = 3;

// A new database file holding the empty TLog and its indexes, marked kStoreVersion; an
// existing file is replaced. Throws DataError.
void CreateLogStore(const std::filesystem::path& file);

// Run by the connection on open, once for a store laid before kStoreVersion, all in one
// transaction. In a store not yet marked Unicode the texts of every table's rows that are GBK
// (the desk's own rows of earlier stores) are read as code page 936 and written as UTF-8, and
// those of rows that are UTF-8 already (Chinese text another program wrote) stay as they are; a
// row whose bytes read as either goes with most of the rows that tell. TLog gets its indexes.
// Throws DataError (the store then stays as it was).
void UpgradeStore(sqlite3* db);

}  // namespace qx::data
