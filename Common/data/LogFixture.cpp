// Laying a verification log store for tests and the demo.
#include "data/LogFixture.h"

#include <fstream>
#include <system_error>

#include <sqlite3.h>

#include "data/DataError.h"

namespace qx::data::fixture {

void ExecSql(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(PathToUtf8(file).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  char* err = nullptr;
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, 3000);
    rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  }
  std::string msg = err ? err : db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  sqlite3_free(err);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw DataError("fixture: " + msg);
}

void CreateLogDatabase(const std::filesystem::path& file) { CreateLogStore(file); }

void WriteDataLink(const std::filesystem::path& udl, std::string_view initString) {
  std::vector<std::uint8_t> bytes = DataLinkFileBytes(initString);
  std::ofstream out(udl, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw DataError("fixture: cannot write " + PathToUtf8(udl));
}

std::filesystem::path LayLogStore(const std::filesystem::path& folder, std::string_view provider) {
  std::filesystem::path db = folder / kLogDatabaseName;
  CreateLogDatabase(db);
  WriteDataLink(folder / "DBLink.udl",
                "Provider=" + std::string(provider) + ";Data Source=" + kLogDatabaseName +
                    ";Persist Security Info=False");
  return db;
}

}  // namespace qx::data::fixture
