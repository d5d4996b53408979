// Jet dialect translation.
#include "data/JetSql.h"

#include <cstdio>
#include <vector>

#include "data/CodePage.h"
#include "data/DataError.h"

namespace qx::data {
namespace {

bool IsLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Length of the character at s[i]: 2 for a GBK pair, else 1. A lead byte without its trail
// byte stands alone, so that a quote behind it ends the text here as it does for SQLite.
size_t CharLen(std::string_view s, size_t i) {
  return IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
                 IsTrail(static_cast<unsigned char>(s[i + 1]))
             ? 2
             : 1;
}

struct Reader {
  std::string_view s;
  size_t i = 0;
  bool End() const { return i >= s.size(); }
  void Blanks() { while (!End() && (s[i] == ' ' || s[i] == '\t')) ++i; }
  bool Number(int maxDigits, int& value, int& digits) {
    value = 0;
    digits = 0;
    while (!End() && s[i] >= '0' && s[i] <= '9' && digits < maxDigits) {
      value = value * 10 + (s[i] - '0');
      ++i;
      ++digits;
    }
    return digits > 0;
  }
  bool Take(char c) {
    if (!End() && s[i] == c) { ++i; return true; }
    return false;
  }
  bool TakeWordNoCase(std::string_view w) {
    if (s.size() - i < w.size()) return false;
    for (size_t k = 0; k < w.size(); ++k) {
      char c = s[i + k];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c != w[k]) return false;
    }
    i += w.size();
    return true;
  }
};

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysIn(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

struct DateTime {
  int y, mo, d, h, mi, s;
};

bool ParseDate(std::string_view text, DateTime& out) {
  Reader r{text};
  r.Blanks();
  int a, b, c, da, db, dc;
  if (!r.Number(4, a, da)) return false;
  char sep = r.End() ? 0 : text[r.i];
  if (sep != '-' && sep != '/') return false;
  ++r.i;
  if (!r.Number(2, b, db) || !r.Take(sep) || !r.Number(4, c, dc)) return false;
  out = {};
  if (da == 4) {
    if (dc > 2) return false;
    out.y = a, out.mo = b, out.d = c;
  } else if (sep == '/' && dc == 4 && da <= 2) {
    out.y = c, out.mo = a, out.d = b;
  } else {
    return false;
  }
  if (out.y < 100 || out.mo < 1 || out.mo > 12 || out.d < 1 || out.d > DaysIn(out.y, out.mo))
    return false;
  size_t beforeTime = r.i;
  r.Blanks();
  if (r.i > beforeTime && !r.End()) {
    int dh, dm, ds;
    if (!r.Number(2, out.h, dh) || !r.Take(':') || !r.Number(2, out.mi, dm)) return false;
    if (r.Take(':') && !r.Number(2, out.s, ds)) return false;
    r.Blanks();
    if (r.TakeWordNoCase("AM") || r.TakeWordNoCase("PM")) {
      bool pm = text[r.i - 2] == 'P' || text[r.i - 2] == 'p';
      if (out.h < 1 || out.h > 12) return false;
      out.h = out.h % 12 + (pm ? 12 : 0);
    }
    r.Blanks();
  }
  if (!r.End()) return false;
  return out.h <= 23 && out.mi <= 59 && out.s <= 59;
}

// The comparison operator that ends out, ignoring blanks: "<=", ">" or something else.
bool WantsFullMidnight(const std::string& out) {
  size_t e = out.find_last_not_of(" \t\r\n");
  if (e == std::string::npos) return false;
  if (out[e] == '>') return e == 0 || out[e - 1] != '<';
  return out[e] == '=' && e > 0 && out[e - 1] == '<';
}

// Copies a quoted run s[i..] (opening char at i) to out; returns the index after it.
size_t CopyQuoted(std::string_view s, size_t i, char close, std::string& out) {
  size_t start = i++;
  while (i < s.size()) {
    if (s[i] == close) {
      if (close != ']' && i + 1 < s.size() && s[i + 1] == close) {
        i += 2;
        continue;
      }
      ++i;
      out.append(s.substr(start, i - start));
      return i;
    }
    i += CharLen(s, i);
  }
  throw DataError(u8"语句中的引号没有结束");
}

}  // namespace

std::string TranslateJetSql(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'' || c == '"') {
      i = CopyQuoted(sql, i, c, out);
    } else if (c == '[') {
      i = CopyQuoted(sql, i, ']', out);
    } else if (c == '#') {
      size_t close = sql.find('#', i + 1);
      if (close == std::string_view::npos) throw DataError(u8"语句中的日期常量没有结束");
      std::string_view body = sql.substr(i + 1, close - i - 1);
      DateTime t;
      if (!ParseDate(body, t)) throw DataError(u8"无效的日期常量 #" + Utf8FromCp936(body) + "#");
      char buf[32];
      if (t.h == 0 && t.mi == 0 && t.s == 0 && !WantsFullMidnight(out))
        std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d'", t.y, t.mo, t.d);
      else
        std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d %02d:%02d:%02d'", t.y, t.mo, t.d, t.h, t.mi, t.s);
      out += buf;
      i = close + 1;
    } else {
      size_t n = CharLen(sql, i);
      out.append(sql.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string KeySelectSql(std::string_view sql) {
  struct Word {
    std::string upper;
    size_t at;
  };
  std::vector<Word> words;  // outside parentheses, quotes and comments
  int depth = 0;
  auto wordChar = [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c >= 0x80;
  };
  for (size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      const char close = c == '[' ? ']' : c;
      const size_t end = sql.find(close, i + 1);
      if (end == std::string_view::npos) return {};
      i = end + 1;  // a doubled quote reads as two quoted runs, which is the same here
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const size_t end = sql.find('\n', i);
      i = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const size_t end = sql.find("*/", i + 2);
      if (end == std::string_view::npos) return {};
      i = end + 2;
    } else if (c == '(') {
      ++depth, ++i;
    } else if (c == ')') {
      --depth, ++i;
    } else if (wordChar(static_cast<unsigned char>(c))) {
      const size_t start = i;
      while (i < sql.size() && wordChar(static_cast<unsigned char>(sql[i]))) ++i;
      if (depth == 0) {
        std::string w(sql.substr(start, i - start));
        for (char& ch : w)
          if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        words.push_back({std::move(w), start});
      }
    } else {
      ++i;
    }
  }
  if (words.size() < 2 || words[0].upper != "SELECT" || words[1].upper == "DISTINCT" || words[1].upper == "ALL")
    return {};
  size_t from = std::string_view::npos;
  for (const Word& w : words) {
    for (const char* bad : {"UNION", "INTERSECT", "EXCEPT", "GROUP", "HAVING", "WINDOW", "WITH", "VALUES"})
      if (w.upper == bad) return {};
    if (w.upper == "FROM" && from == std::string_view::npos) from = w.at;
  }
  if (from == std::string_view::npos) return {};
  return "SELECT rowid " + std::string(sql.substr(from));
}

}  // namespace qx::data
