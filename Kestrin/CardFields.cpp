// Cutting a card text into Kestrin's card fields; converters and copy layout arithmetic.
#include "CardFields.h"

#include <array>

namespace qx::kestrin {

namespace {

// Kestrin writes 36 and 46 by their older names and knows two codes past the 56 nations.
constexpr std::array<std::u16string_view, 58> kNations = {
    u"汉",     u"蒙古",   u"回",     u"藏",     u"维吾尔", u"苗",     u"彝",       u"壮",
    u"布依",   u"朝鲜",   u"满",     u"侗",     u"瑶",     u"白",     u"土家",     u"哈尼",
    u"哈萨克", u"傣",     u"黎",     u"傈僳",   u"佤",     u"畲",     u"高山",     u"拉祜",
    u"水",     u"东乡",   u"纳西",   u"景颇",   u"柯尔克孜", u"土",   u"达斡尔",   u"仫佬",
    u"羌",     u"布朗",   u"撒拉",   u"毛难",   u"仡佬",   u"锡伯",   u"阿昌",     u"普米",
    u"塔吉克", u"怒",     u"乌孜别克", u"俄罗斯", u"鄂温克", u"崩龙", u"保安",     u"裕固",
    u"京",     u"塔塔尔", u"独龙",   u"鄂伦春", u"赫哲",   u"门巴",   u"珞巴",     u"基诺",
    u"其他",   u"外国血统",
};

// Bytes [from, from + count) of text, as much as exists.
std::string Bytes(std::string_view text, std::size_t from, std::size_t count) {
  if (from >= text.size()) return {};
  return std::string(text.substr(from, count));
}

std::string DottedDate(std::string_view text, std::size_t at) {
  return Bytes(text, at, 4) + "." + Bytes(text, at + 4, 2) + "." + Bytes(text, at + 6, 2);
}

// A hidden edit cannot hold a NUL: its text ends there.
std::string EditText(std::string s) {
  const std::size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}

int Div(long long a, long long b) { return static_cast<int>(a / b); }

}  // namespace

bool CardFields::operator==(const CardFields& o) const {
  return edtName == o.edtName && edtSex == o.edtSex && hidSexID == o.hidSexID && edtNation == o.edtNation &&
         hidNationID == o.hidNationID && edtBirh == o.edtBirh && edtAddr == o.edtAddr && edtId == o.edtId &&
         edtSendDep == o.edtSendDep && hidExpireS == o.hidExpireS && hidExpireE == o.hidExpireE &&
         edtExpire == o.edtExpire;
}

std::string FormatBirthDate(std::string_view text) {
  return Bytes(text, 0, 4) + "-" + Bytes(text, 4, 2) + "-" + Bytes(text, 6, 2);
}

std::u16string_view NationName(int code) {
  if (code < 1 || code > static_cast<int>(kNations.size())) return {};
  return kNations[static_cast<std::size_t>(code - 1)];
}

std::u16string_view SexName(int code) {
  switch (code) {
    case 1: return u"男";
    case 2: return u"女";
    default: return {};
  }
}

void SplitValidity(std::string_view text, std::string& start, std::string& end) {
  start = DottedDate(text, 0);
  end = DottedDate(text, 8);
}

std::u16string TrimCardRun(std::u16string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && text[b] <= u' ') ++b;
  while (e > b && text[e - 1] <= u' ') --e;
  return std::u16string(text.substr(b, e - b));
}

std::u16string CardRun(std::u16string_view text, std::size_t first, std::size_t last) {
  if (first == 0 || last < first || first > text.size()) return {};
  return std::u16string(text.substr(first - 1, last - first + 1));
}

int CardCode(std::u16string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == text.size()) throw CardCodeError(u8"卡片代码不是数字", text);
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') throw CardCodeError(u8"卡片代码不是数字", text);
    value = value * 10 + (text[i] - u'0');
    if (value > 0x7FFFFFFF) throw CardCodeError(u8"卡片代码超出范围", text);
  }
  return static_cast<int>(negative ? -value : value);
}

std::string TrimAnsiBlank(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 0x20) --e;
  return std::string(text.substr(b, e - b));
}

void ReadCardText(std::u16string_view text, CardFields& f, const AnsiConverter& toAnsi) {
  auto run = [&](std::size_t first, std::size_t last) { return TrimCardRun(CardRun(text, first, last)); };
  auto ansi = [&](std::u16string_view s) { return EditText(toAnsi(s)); };

  f.edtName = ansi(run(1, 15));
  const std::u16string sex = run(16, 16);
  f.edtSex = ansi(SexName(CardCode(sex)));
  f.hidSexID = ansi(sex);
  const std::u16string nation = run(17, 18);
  f.edtNation = ansi(NationName(CardCode(nation)));
  f.hidNationID = ansi(nation);
  f.edtBirh = FormatBirthDate(ansi(run(19, 26)));
  f.edtAddr = ansi(run(27, 61));
  f.edtId = ansi(run(62, 79));
  f.edtSendDep = ansi(run(80, 94));
  SplitValidity(ansi(run(95, 110)), f.hidExpireS, f.hidExpireE);
  f.edtExpire = f.hidExpireS + "-" + f.hidExpireE;
}

std::pair<std::u16string, std::u16string> SplitFaceAddress(std::u16string_view address) {
  if (address.size() <= 11) return {std::u16string(address), {}};
  return {std::u16string(address.substr(0, 11)), std::u16string(address.substr(11))};
}

std::vector<std::u16string> AddressLines(std::u16string_view address, std::size_t perLine) {
  std::vector<std::u16string> lines;
  if (perLine == 0) return lines;
  for (std::size_t at = 0; at < address.size(); at += perLine) lines.emplace_back(address.substr(at, perLine));
  return lines;
}

std::optional<BirthDate> ParseBirthDate(std::string_view text) {
  int parts[3] = {0, 0, 0};
  std::size_t i = 0;
  for (int p = 0; p < 3; ++p) {
    if (p > 0) {
      if (i >= text.size() || (text[i] != '-' && text[i] != '/')) return std::nullopt;
      ++i;
    }
    const std::size_t begin = i;
    long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - begin < 4) value = value * 10 + (text[i++] - '0');
    if (i == begin) return std::nullopt;
    parts[p] = static_cast<int>(value);
  }
  if (i != text.size()) return std::nullopt;
  const BirthDate d{parts[0], parts[1], parts[2]};
  if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1) return std::nullopt;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  const int days = kDays[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
  if (d.day > days) return std::nullopt;
  return d;
}

PixelPoint FacePhotoAt(int w, int h) { return {Div(1LL * w * 120, 26), Div(1LL * h * 23, 31)}; }

int CopyLayout::AddressLineY(int row) const { return Div(1LL * photoHeight * (4LL * row + 28), 31); }

int CopyLayout::IdCharX(int index) const { return Div(1LL * photoWidth * (25LL * index + 282), 260); }

CopyLayout CopyLayoutFor(int w, int h) {
  auto x = [w](int n) { return Div(1LL * w * n, 26); };
  auto y = [h](int n) { return Div(1LL * h * n, 31); };
  CopyLayout l{};
  l.photoWidth = w;
  l.photoHeight = h;
  l.width = x(85);
  l.height = y(54);
  l.photo = {x(54), y(7)};
  l.name = {x(18), y(6) + 3};
  l.sex = {x(18), y(14) + 1};
  l.nation = {x(35), y(14) + 1};
  l.birthYear = {x(18), y(21)};
  l.birthMonth = {x(31), y(21)};
  l.birthDay = {x(38), y(21)};
  l.idY = y(44) + 1;
  l.authority = {x(35), y(38)};
  l.validity = {x(35), y(45)};
  return l;
}

PixelSize CopyFileSize(int copyWidth, int copyHeight) { return {copyWidth + 10, 2 * copyHeight + 10}; }

}  // namespace qx::kestrin
