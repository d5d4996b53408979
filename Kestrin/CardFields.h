// Kestrin's card fields: one card text cut into the texts the main window keeps, and the
// converters and layout arithmetic behind the card face and the card copies. No windows.h.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx::kestrin {

// UCS-2 text to ANSI (code page 936) text; the platform edge supplies it.
using AnsiConverter = std::function<std::string(std::u16string_view)>;

// The card read last, as the main window's hidden edits hold it; every text is code page 936.
struct CardFields {
  std::string edtName;
  std::string edtSex;       // "男", "女" or empty
  std::string hidSexID;     // the digit as on the card
  std::string edtNation;    // a name, or empty
  std::string hidNationID;  // the two digits as on the card
  std::string edtBirh;      // YYYY-MM-DD
  std::string edtAddr;
  std::string edtId;
  std::string edtSendDep;
  std::string hidExpireS;   // YYYY.MM.DD
  std::string hidExpireE;   // YYYY.MM.DD, or "长期.." for a card valid without end
  std::string edtExpire;    // start "-" end

  bool operator==(const CardFields& o) const;
  bool operator!=(const CardFields& o) const { return !(*this == o); }
};

// A sex or nation code that is no decimal number; it carries the code as the card gave it.
class CardCodeError : public std::runtime_error {
 public:
  CardCodeError(const char* what, std::u16string_view code) : std::runtime_error(what), code_(code) {}
  const std::u16string& Code() const { return code_; }

 private:
  std::u16string code_;
};

// Eight-digit date to YYYY-MM-DD by bytes; a short text gives short parts, the hyphens stay.
std::string FormatBirthDate(std::string_view text);
// Codes 1 to 58 (Kestrin's own table); anything else is empty.
std::u16string_view NationName(int code);
// 1 "男", 2 "女", anything else empty.
std::u16string_view SexName(int code);
// Bytes 1-8 and 9-16 of the trimmed ANSI validity as YYYY.MM.DD each; the points always stand,
// so a long-term card ends in "长期" and two points.
void SplitValidity(std::string_view text, std::string& start, std::string& end);

// U+0000 to U+0020 removed at both ends; other blanks (the ideographic space) stay.
std::u16string TrimCardRun(std::u16string_view text);
// Characters first..last (1-based) of the text, as much of them as exists.
std::u16string CardRun(std::u16string_view text, std::size_t first, std::size_t last);
// An optional sign and decimal digits, nothing else; CardCodeError otherwise (empty included).
int CardCode(std::u16string_view text);
// Bytes up to 0x20 removed at both ends (GBK trail bytes are never that low).
std::string TrimAnsiBlank(std::string_view text);

// Cuts a card text (the first 120 characters of the block) into fields, in the order the
// window fills its edits. A sex or nation code that is no number raises CardCodeError; the
// fields filled before it then already hold the new card, the rest the previous one.
void ReadCardText(std::u16string_view text, CardFields& fields, const AnsiConverter& toAnsi);

// The card face's two address labels: characters 1-11, then the rest.
std::pair<std::u16string, std::u16string> SplitFaceAddress(std::u16string_view address);
// Consecutive lines of perLine characters, the last holding the rest; none for empty text.
std::vector<std::u16string> AddressLines(std::u16string_view address, std::size_t perLine = 11);

struct BirthDate {
  int year;
  int month;
  int day;
};
// Year, month and day of one to four digits each, joined by '-' or '/'; a real calendar date.
std::optional<BirthDate> ParseBirthDate(std::string_view text);

struct PixelPoint {
  int x;
  int y;
  bool operator==(const PixelPoint& o) const { return x == o.x && y == o.y; }
};

// Where the photo (w x h) lands in the card-face picture.
PixelPoint FacePhotoAt(int photoWidth, int photoHeight);

// Positions on the card copy, in template pixels, for a photo of w x h.
struct CopyLayout {
  int photoWidth;
  int photoHeight;
  int width;  // displayed size of the copy pictures
  int height;
  PixelPoint photo, name, sex, nation, birthYear, birthMonth, birthDay;
  PixelPoint authority, validity;  // on the back
  int idY;
  int AddressLineY(int row) const;
  int IdCharX(int index) const;
};
CopyLayout CopyLayoutFor(int photoWidth, int photoHeight);

struct PixelSize {
  int width;
  int height;
  bool operator==(const PixelSize& o) const { return width == o.width && height == o.height; }
};
// Size of the saved copy for pictures displayed at copyWidth x copyHeight: a margin of 10.
PixelSize CopyFileSize(int copyWidth, int copyHeight);

}  // namespace qx::kestrin
