// A verification log store laid into a folder for tests and the demo: a SQLite file holding an
// empty TLog and a "DBLink.udl" naming it. The real store is laid by whoever installs the desk.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "data/DataLink.h"
#include "data/LogStore.h"

namespace qx::data::fixture {

using qx::data::kLogTableSql;
inline constexpr char kLogDatabaseName[] = "TLog.db";

// The store the build lays (CreateLogStore): the empty table, Unicode texts.
void CreateLogDatabase(const std::filesystem::path& file);
// Runs statements on the database through a connection of its own, as another program would
// (texts in the statement are UTF-8, as any other program writes them into a Unicode store).
void ExecSql(const std::filesystem::path& file, const std::string& sql);
// Writes a data link file holding initString (UTF-8), UTF-16LE with its byte-order mark.
void WriteDataLink(const std::filesystem::path& udl, std::string_view initString);
// folder/TLog.db and folder/DBLink.udl naming it by its relative name with the given provider;
// returns the database path.
std::filesystem::path LayLogStore(const std::filesystem::path& folder,
                                  std::string_view provider = kSqliteProvider);

}  // namespace qx::data::fixture
