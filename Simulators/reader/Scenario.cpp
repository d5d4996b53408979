// Scenario of the reader simulators: parsing the INI text and what a card hands out.
#include "Scenario.h"

#include "card/Utf.h"
#include "WltPhoto.h"
#include "card/CardTextBlock.h"

#include <algorithm>
#include <cctype>

namespace qx::readersim {

namespace {

constexpr const char* kOpNames[kOpCount] = {
    "SDT_OpenPort",    "SDT_ClosePort",   "SDT_StartFindMorvid", "SDT_SelectMorvid",
    "SDT_ReadBaseMsg", "SDT_GetSAMIDToStr", "SDT_GetCOMBaud",    "SDT_SetCOMBaud",
    "GetBmp",          "InitComm",        "InitCommExt",         "CloseComm",
    "Authenticate",    "AuthenticateExt", "Read_Content",        "Read_Content_Path",
    "GetSAMID",        "GetPhoto",
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

// A ";" or "#" at the start of the value or after a blank starts a comment; one inside
// a word ("3#楼") is text.
std::string_view StripTrailingComment(std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    if ((value[i] == ';' || value[i] == '#') && (i == 0 || IsBlank(value[i - 1]))) return value.substr(0, i);
  }
  return value;
}

std::uint32_t Fnv(std::u16string_view s, std::uint32_t h = 2166136261u) {
  for (char16_t c : s) {
    h ^= static_cast<std::uint8_t>(c & 0xFF);
    h *= 16777619u;
    h ^= static_cast<std::uint8_t>(c >> 8);
    h *= 16777619u;
  }
  return h;
}

struct Parser {
  Scenario s;
  enum class Section { None, Reader, Card, Results, Unknown } section = Section::None;
  int lineNo = 0;

  void Warn(const std::string& what) { s.warnings.push_back("line " + std::to_string(lineNo) + ": " + what); }

  void Line(std::string_view raw) {
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') return;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) {
        Warn("section without ']'");
        section = Section::Unknown;
        return;
      }
      const std::string name = Lower(Trim(line.substr(1, close - 1)));
      if (name == "reader") {
        section = Section::Reader;
      } else if (name == "card") {
        section = Section::Card;
        s.cards.emplace_back();
      } else if (name == "results") {
        section = Section::Results;
      } else {
        Warn("unknown section [" + std::string(name) + "]");
        section = Section::Unknown;
      }
      return;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      Warn("no '=' in \"" + std::string(line) + "\"");
      return;
    }
    const std::string_view key = Trim(line.substr(0, eq));
    const std::string_view value = Trim(StripTrailingComment(Trim(line.substr(eq + 1))));
    switch (section) {
      case Section::Reader: ReaderKey(Lower(key), value); break;
      case Section::Card: CardKey(Lower(key), value); break;
      case Section::Results: ResultKey(key, value); break;
      case Section::None: Warn("key outside a section"); break;
      case Section::Unknown: break;
    }
  }

  void ReaderKey(const std::string& key, std::string_view value) {
    if (key == "ports") {
      std::vector<std::pair<int, int>> ports;
      std::string text(value);
      std::replace(text.begin(), text.end(), ',', ' ');
      std::size_t i = 0;
      while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        std::size_t j = i;
        while (j < text.size() && !IsBlank(text[j])) ++j;
        if (j == i) break;
        const std::string_view token(text.data() + i, j - i);
        const std::size_t dash = token.find('-', 1);
        const auto lo = ParseInteger(token.substr(0, dash));
        const auto hi = dash == std::string_view::npos ? lo : ParseInteger(token.substr(dash + 1));
        if (!lo || !hi || *lo > *hi) {
          Warn("bad port \"" + std::string(token) + "\"");
          return;
        }
        ports.emplace_back(static_cast<int>(*lo), static_cast<int>(*hi));
        i = j;
      }
      s.ports = ports;
    } else if (key == "baud") {
      const auto v = ParseInteger(value);
      if (!v || *v < 0) return Warn("bad baud");
      s.baud = static_cast<unsigned>(*v);
    } else if (key == "samid") {
      s.samid = std::string(value);
    } else if (key == "present") {
      const std::string v = Lower(value);
      if (v == "always") {
        s.present = Presence{Presence::Kind::Always, 0};
      } else if (v == "never") {
        s.present = Presence{Presence::Kind::Never, 0};
      } else if (const auto n = ParseInteger(value); n && *n >= 0) {
        s.present = Presence{Presence::Kind::Count, static_cast<unsigned>(*n)};
      } else {
        Warn("bad present");
      }
    } else {
      Warn("unknown key " + key);
    }
  }

  void CardKey(const std::string& key, std::string_view value) {
    SimCard& c = s.cards.back();
    const std::u16string text = card::Utf16FromUtf8(value);
    if (key == "name") c.name = text;
    else if (key == "sex") c.sex = text;
    else if (key == "nation") c.nation = text;
    else if (key == "birth") c.birth = text;
    else if (key == "address") c.address = text;
    else if (key == "id") c.id = text;
    else if (key == "authority") c.authority = text;
    else if (key == "valid_start") c.validStart = text;
    else if (key == "valid_end") c.validEnd = text;
    else if (key == "newadd") c.newadd = text;
    else if (key == "photo") {
      const std::string v = Lower(value);
      if (v == "ok") c.photoOk = true;
      else if (v == "bad") c.photoOk = false;
      else Warn("bad photo");
    } else if (key == "block_hex" || key == "chip_hex") {
      if (value.empty()) return;
      auto bytes = ParseHexBytes(value);
      if (!bytes) return Warn("bad " + key);
      (key == "block_hex" ? c.block : c.chip) = std::move(bytes);
    } else {
      Warn("unknown key " + key);
    }
  }

  void ResultKey(std::string_view key, std::string_view value) {
    const std::size_t hash = key.find('#');
    const auto op = OpFromName(Trim(key.substr(0, hash)));
    if (!op) return Warn("unknown operation " + std::string(key));
    Forced f;
    if (EqualNoCase(value, "fault")) {
      f.kind = Forced::Kind::Fault;
    } else if (const auto v = ParseInteger(value); v && *v >= -2147483648LL && *v <= 0xFFFFFFFFLL) {
      f.kind = Forced::Kind::Value;
      f.value = static_cast<int>(static_cast<std::uint32_t>(*v));
    } else {
      return Warn("bad result \"" + std::string(value) + "\"");
    }
    ResultRules& rules = s.results[static_cast<std::size_t>(*op)];
    if (hash == std::string_view::npos) {
      rules.every = f;
      return;
    }
    const auto n = ParseInteger(Trim(key.substr(hash + 1)));
    if (!n || *n < 1) return Warn("bad call number in " + std::string(key));
    rules.byCall[static_cast<unsigned>(*n)] = f;
  }
};

}  // namespace

const char* OpName(Op op) { return kOpNames[static_cast<std::size_t>(op)]; }

std::optional<Op> OpFromName(std::string_view name) {
  for (std::size_t i = 0; i < kOpCount; ++i) {
    if (EqualNoCase(name, kOpNames[i])) return static_cast<Op>(i);
  }
  return std::nullopt;
}

std::optional<long long> ParseInteger(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 12) return std::nullopt;
  long long v = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    v = v * base + d;
  }
  return negative ? -v : v;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<std::uint8_t> out;
  int high = -1;
  for (char c : text) {
    if (IsBlank(c)) {
      if (high >= 0) return std::nullopt;  // a blank splits a byte
      continue;
    }
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    if (high < 0) {
      high = d;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + d));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

bool Scenario::PortAnswers(int port) const {
  return std::any_of(ports.begin(), ports.end(),
                     [port](const auto& r) { return port >= r.first && port <= r.second; });
}

Forced Scenario::ForcedFor(Op op, unsigned call) const {
  const ResultRules& rules = results[static_cast<std::size_t>(op)];
  const auto it = rules.byCall.find(call);
  return it != rules.byCall.end() ? it->second : rules.every;
}

Scenario ParseScenario(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Parser p;
  std::size_t start = 0;
  while (start <= text.size()) {
    ++p.lineNo;
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    p.Line(text.substr(start, end - start));
    start = end + 1;
  }
  return std::move(p.s);
}

std::vector<std::uint8_t> SimCard::TextBlock() const {
  if (block) return *block;
  return card::BuildCardTextBytes(*this);
}

std::vector<std::uint8_t> SimCard::PackedPhoto() const {
  return photoOk ? EncodeWltPhoto(id, name) : EncodeBadWltPhoto(id, name);
}

std::vector<std::uint8_t> SimCard::ChipBytes() const {
  if (chip) return *chip;
  std::vector<std::uint8_t> out(28);
  std::uint32_t h = Fnv(id) | 1u;
  for (std::uint8_t& b : out) {
    h ^= h << 13;
    h ^= h >> 17;
    h ^= h << 5;
    b = static_cast<std::uint8_t>(h >> 24);
  }
  return out;
}

std::array<std::uint8_t, 8> SimCard::SerialNumber() const {
  std::array<std::uint8_t, 8> out{};
  const std::uint32_t a = Fnv(id);
  const std::uint32_t b = Fnv(name, a);
  for (int k = 0; k < 4; ++k) {
    out[k] = static_cast<std::uint8_t>(a >> (8 * k));
    out[4 + k] = static_cast<std::uint8_t>(b >> (8 * k));
  }
  return out;
}

}  // namespace qx::readersim
