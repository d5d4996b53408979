// A verification log store laid into a folder for tests and the demo: a SQLite file holding an
// empty TLog and a "DBLink.udl" naming it. The real store is laid by whoever installs the desk.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "data/DataLink.h"

namespace qx::data::fixture {

inline constexpr char kLogTableSql[] =
    "CREATE TABLE TLog (FId INTEGER PRIMARY KEY AUTOINCREMENT, FNo TEXT, FName TEXT, FSex TEXT,"
    " FMZ TEXT, FBirth TEXT, FAddress TEXT, FBegin TEXT, FEnd TEXT, FSendDep TEXT, FDate TEXT,"
    " FPhoto BLOB)";
inline constexpr char kLogDatabaseName[] = "TLog.db";

// A new database file with the empty table (an existing file is replaced). Throws DataError.
void CreateLogDatabase(const std::filesystem::path& file);
// Runs statements on the database through a connection of its own, as another program would.
void ExecSql(const std::filesystem::path& file, const std::string& sql);
// Writes a data link file holding initString (UTF-8), UTF-16LE with its byte-order mark.
void WriteDataLink(const std::filesystem::path& udl, std::string_view initString);
// folder/TLog.db and folder/DBLink.udl naming it by its relative name with the given provider;
// returns the database path.
std::filesystem::path LayLogStore(const std::filesystem::path& folder,
                                  std::string_view provider = kSqliteProvider);

}  // namespace qx::data::fixture
