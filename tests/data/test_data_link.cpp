// Initialisation strings and data link files.
#include <gtest/gtest.h>

#include <fstream>

#include "TempFolder.h"
#include "card/Utf.h"
#include "data/DataError.h"
#include "data/DataLink.h"
#include "data/LogFixture.h"

using namespace qx::data;

namespace {

std::vector<std::uint8_t> Utf16File(const std::u16string& text, bool bom = true) {
  std::vector<std::uint8_t> out;
  if (bom) out = {0xFF, 0xFE};
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

const std::filesystem::path& Folder() {
  static const std::filesystem::path f = std::filesystem::temp_directory_path() / "links";
  return f;
}

}  // namespace

TEST(InitString, Pairs) {
  struct Case {
    const char* text;
    InitPairs want;
  } cases[] = {
      {"Provider=A;Data Source=b.db", {{"Provider", "A"}, {"Data Source", "b.db"}}},
      {"  Provider = A ; ;Data Source= b.db ;", {{"Provider", "A"}, {"Data Source", "b.db"}}},
      {"Data Source=\"C:\\a;b\\log.db\";Mode=Share Deny None",
       {{"Data Source", "C:\\a;b\\log.db"}, {"Mode", "Share Deny None"}}},
      {"Password='it''s';X=\"say \"\"hi\"\"\"", {{"Password", "it's"}, {"X", "say \"hi\""}}},
      {"Empty=;Next=1", {{"Empty", ""}, {"Next", "1"}}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInitString(c.text), c.want) << c.text;
}

TEST(InitString, Errors) {
  for (const char* bad : {"Provider=\"open", "NoValue", "=x", "A='q' tail;B=1"})
    EXPECT_THROW(ParseInitString(bad), DataError) << bad;
}

TEST(InitString, ValueKeysIgnoreCaseLastWins) {
  InitPairs p = ParseInitString("provider=A;PROVIDER=B;Data source=c");
  EXPECT_EQ(InitValue(p, "Provider"), "B");
  EXPECT_EQ(InitValue(p, "DATA SOURCE"), "c");
  EXPECT_EQ(InitValue(p, "User ID"), "");
}

TEST(DataLinkFile, PlatformFormatWithRelativeSource) {
  auto bytes = Utf16File(
      u"[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
      u"Provider=Quorix.SQLite.1;Data Source=sub/日志.db;Persist Security Info=False\r\n");
  DataLink link = ParseDataLink(bytes, Folder());
  EXPECT_EQ(link.provider, "Quorix.SQLite.1");
  EXPECT_EQ(link.database, (Folder() / PathFromUtf8("sub/日志.db")).lexically_normal());
}

TEST(DataLinkFile, AbsoluteSourceAndJetProviderName) {
  std::filesystem::path abs = std::filesystem::absolute(Folder() / "elsewhere" / "log.db");
  std::u16string line = qx::card::Utf16FromUtf8("provider=microsoft.jet.oledb.4.0;Data Source=\"" + PathToUtf8(abs) + "\"");
  DataLink link = ParseDataLink(Utf16File(u"\r\n[OLEDB]\n;c1\n;c2\n\n" + line), Folder() / "x");
  EXPECT_EQ(link.database, abs.lexically_normal());
}

TEST(DataLinkFile, Rejected) {
  const std::u16string good = u"[oledb]\r\n; c\r\nProvider=Quorix.SQLite.1;Data Source=a.db\r\n";
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"no byte-order mark", Utf16File(good, false)},
      {"UTF-8 text", std::vector<std::uint8_t>(good.begin(), good.end())},
      {"empty", {}},
      {"no [oledb]", Utf16File(u"; c\r\nProvider=Quorix.SQLite.1;Data Source=a.db\r\n")},
      {"comments only", Utf16File(u"[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n")},
      {"unknown provider", Utf16File(u"[oledb]\r\nProvider=SQLOLEDB.1;Data Source=a.db\r\n")},
      {"no provider", Utf16File(u"[oledb]\r\nData Source=a.db\r\n")},
      {"no data source", Utf16File(u"[oledb]\r\nProvider=Quorix.SQLite.1\r\n")},
  };
  for (const Case& c : cases) EXPECT_THROW(ParseDataLink(c.bytes, Folder()), DataError) << c.what;
}

TEST(DataLinkFile, WrittenFileReadsBackAndMissingFileFails) {
  qx::data::test::TempFolder dir;
  fixture::WriteDataLink(dir / "DBLink.udl", "Provider=Quorix.SQLite.1;Data Source=记录.db");
  std::ifstream in(dir / "DBLink.udl", std::ios::binary);
  char head[4] = {};
  in.read(head, 4);
  EXPECT_EQ(std::string(head, 4), std::string("\xFF\xFE[\0", 4));
  EXPECT_EQ(ReadDataLinkFile(dir / "DBLink.udl").database,
            (dir.path() / PathFromUtf8("记录.db")).lexically_normal());
  EXPECT_THROW(ReadDataLinkFile(dir / "missing.udl"), DataError);
}

// Empty segments mean nothing in a string, but a line that begins with ";" is a comment.
TEST(DataLinkFile, LeadingEmptySegmentsAreNotWrittenAsAComment) {
  const DataLink link = ParseDataLink(DataLinkFileBytes(" ;;Provider=Quorix.SQLite.1;Data Source=a.db"), Folder());
  EXPECT_EQ(link.database, (Folder() / "a.db").lexically_normal());
}


// A store is read through a view of its file only on a fixed disk: on a share a page the
// network fails to bring in would fault instead of failing a read.
TEST(DataLinkFile, FixedDiskTellsLocalFoldersFromShares) {
  qx::data::test::TempFolder dir;
  EXPECT_TRUE(qx::data::OnFixedDisk(dir / "TLog.db"));
#ifdef _WIN32
  EXPECT_FALSE(qx::data::OnFixedDisk(L"\\\\desk-server\\share\\TLog.db"));
#endif
}
