// Data link files and initialisation strings.
#include "data/DataLink.h"

#include <fstream>
#include <iterator>

#include "card/Gbk.h"
#include "card/Utf.h"
#include "data/DataError.h"

namespace qx::data {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}


}  // namespace

InitPairs ParseInitString(std::string_view text) {
  InitPairs pairs;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find_first_of("=;", i);
    if (eq == std::string_view::npos || text[eq] == ';') {
      std::string_view rest = Trim(text.substr(i, eq == std::string_view::npos ? eq : eq - i));
      if (!rest.empty()) throw DataError(u8"初始化字符串中的 \"" + std::string(rest) + u8"\" 没有值");
      i = eq == std::string_view::npos ? text.size() : eq + 1;
      continue;
    }
    std::string key(Trim(text.substr(i, eq - i)));
    if (key.empty()) throw DataError(u8"初始化字符串中有一个值没有键名");
    i = eq + 1;
    while (i < text.size() && IsBlank(text[i])) ++i;
    std::string value;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
      const char q = text[i++];
      for (;;) {
        if (i >= text.size()) throw DataError(u8"初始化字符串中 " + key + u8" 的引号没有结束");
        if (text[i] == q) {
          if (i + 1 < text.size() && text[i + 1] == q) {
            value += q;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += text[i++];
      }
      size_t semi = text.find(';', i);
      if (!Trim(text.substr(i, semi == std::string_view::npos ? semi : semi - i)).empty())
        throw DataError(u8"初始化字符串中 " + key + u8" 的引号值后面还有文字");
      i = semi == std::string_view::npos ? text.size() : semi + 1;
    } else {
      size_t semi = text.find(';', i);
      value = std::string(Trim(text.substr(i, semi == std::string_view::npos ? semi : semi - i)));
      i = semi == std::string_view::npos ? text.size() : semi + 1;
    }
    pairs.emplace_back(std::move(key), std::move(value));
  }
  return pairs;
}

std::string InitValue(const InitPairs& pairs, std::string_view key) {
  for (auto it = pairs.rbegin(); it != pairs.rend(); ++it)
    if (card::AsciiEqualNoCase(it->first, key)) return it->second;
  return {};
}

bool IsKnownProvider(std::string_view provider) {
  return card::AsciiEqualNoCase(provider, kSqliteProvider) || card::AsciiEqualNoCase(provider, kJetProvider);
}

DataLink LinkFromInitPairs(const InitPairs& pairs, const std::filesystem::path& baseFolder,
                           std::filesystem::path (*decodePath)(std::string_view)) {
  DataLink link;
  link.provider = InitValue(pairs, "Provider");
  if (link.provider.empty()) throw DataError(u8"数据链接没有指定提供程序");
  if (!IsKnownProvider(link.provider)) throw DataError(u8"找不到提供程序 " + link.provider);
  std::string source = InitValue(pairs, "Data Source");
  if (source.empty()) throw DataError(u8"数据链接没有指定数据源");
  std::filesystem::path p = decodePath(source);
  if (p.is_relative()) p = baseFolder / p;
  link.database = std::filesystem::absolute(p).lexically_normal();
  return link;
}

DataLink ParseDataLink(const std::vector<std::uint8_t>& bytes, const std::filesystem::path& folder) {
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE)
    throw DataError(u8"数据链接文件不是带字节顺序标记的 UTF-16 文本");
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  std::string utf8 = card::Utf8FromUtf16(text);

  bool header = false;
  size_t pos = 0;
  while (pos <= utf8.size()) {
    size_t end = utf8.find('\n', pos);
    if (end == std::string::npos) end = utf8.size();
    std::string_view line = Trim(std::string_view(utf8).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (!header) {
      if (!card::AsciiEqualNoCase(line, "[oledb]")) throw DataError(u8"数据链接文件没有 [oledb] 节");
      header = true;
      continue;
    }
    if (line.front() == ';') continue;
    return LinkFromInitPairs(ParseInitString(line), folder, &PathFromUtf8);
  }
  throw DataError(header ? u8"数据链接文件没有初始化字符串" : u8"数据链接文件没有 [oledb] 节");
}

DataLink ReadDataLinkFile(const std::filesystem::path& udl) {
  std::ifstream in(udl, std::ios::binary);
  if (!in) throw DataError(u8"无法打开数据链接文件 \"" + PathToUtf8(udl) + "\"");
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw DataError(u8"无法读取数据链接文件 \"" + PathToUtf8(udl) + "\"");
  std::filesystem::path folder = std::filesystem::absolute(udl).parent_path();
  return ParseDataLink(bytes, folder);
}

std::vector<std::uint8_t> DataLinkFileBytes(std::string_view initString) {
  // Leading empty segments mean nothing, and written first they would make a comment line.
  const size_t start = initString.find_first_not_of(" \t;");
  initString.remove_prefix(start == std::string_view::npos ? initString.size() : start);
  std::u16string text = u"[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n" +
                        card::Utf16FromUtf8(initString) + u"\r\n";
  std::vector<std::uint8_t> out{0xFF, 0xFE};
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}


}  // namespace qx::data
