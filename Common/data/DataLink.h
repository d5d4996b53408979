// OLE DB data link files ("*.udl") and initialisation strings: which provider and which
// database file a connection opens.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx::data {

// Our own provider name for a SQLite store.
inline constexpr char kSqliteProvider[] = "Quorix.SQLite.1";
// The desk's design-time provider; a link file laid with it is taken to name a SQLite file too.
inline constexpr char kJetProvider[] = "Microsoft.Jet.OLEDB.4.0";

// Key=value pairs separated by ";"; blanks around keys and values are dropped; a value may be
// quoted with " or ' (the quote doubled inside stands for itself, ";" inside is kept).
// Empty segments are skipped. Throws DataError on an unterminated quote or a pair without "=".
using InitPairs = std::vector<std::pair<std::string, std::string>>;
InitPairs ParseInitString(std::string_view text);
// Value of the last pair whose key equals key ignoring ASCII case; empty when none.
std::string InitValue(const InitPairs& pairs, std::string_view key);

bool IsKnownProvider(std::string_view provider);

struct DataLink {
  std::string provider;
  std::filesystem::path database;  // absolute
};

// Provider and database of an initialisation string; a relative database is taken against
// baseFolder. Throws DataError for a missing or unknown provider or no "Data Source".
// decodePath turns a value's bytes into a path (their encoding is the caller's).
DataLink LinkFromInitPairs(const InitPairs& pairs, const std::filesystem::path& baseFolder,
                           std::filesystem::path (*decodePath)(std::string_view));

// The link of a data link file's bytes: UTF-16LE with its byte-order mark, the line
// "[oledb]", comment lines beginning with ";", then the initialisation string. A relative
// database is resolved against folder (the link file's own folder).
DataLink ParseDataLink(const std::vector<std::uint8_t>& bytes, const std::filesystem::path& folder);
// Reads and parses a data link file; a missing or unreadable file is a DataError.
DataLink ReadDataLinkFile(const std::filesystem::path& udl);

// The bytes of a data link file holding initString (UTF-8), as the platform writes them.
std::vector<std::uint8_t> DataLinkFileBytes(std::string_view initString);

// A path from UTF-8 text, and from the program's 8-bit text (the ANSI code page on Windows,
// UTF-8 elsewhere).
std::filesystem::path PathFromUtf8(std::string_view s);
std::filesystem::path PathFromNative8(std::string_view s);
// A path as UTF-8, the form SQLite opens.
std::string PathToUtf8(const std::filesystem::path& p);
// Whether the file lies on a fixed disk of this machine (not a share, removable or mapped drive).
bool OnFixedDisk(const std::filesystem::path& p);

}  // namespace qx::data
