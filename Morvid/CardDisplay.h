// What the sample program shows of a card and of the reader: label texts cut from the card
// text file, the chip number, the caption's authorisation number and the status texts.
// Pure logic, no windows.h, so the native build tests it under the sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx::morvid {

// Text from a file's bytes taken two at a time, the earlier byte low; no byte-order mark
// is recognised, and a last odd byte is ignored.
std::u16string TextFromBytePairs(const std::vector<std::uint8_t>& bytes);

// Characters from the 1-based position pos, at most len of them; empty past the end.
std::u16string_view Mid(std::u16string_view s, std::size_t pos, std::size_t len);

// "0" 未知, "1" 男, "2" 女, anything else (an empty field too) 未说明.
std::u16string_view SexText(std::u16string_view code);

// The nation name for a code. A blank code leaves strNation as it was; codes 1 to 56 give
// their name; every other code, numbers out of range and non-numbers alike, gives "其他".
void GetNation(std::u16string_view strNationcode, std::u16string& strNation);

// y年m月d日 from YYYYMMDD; short or odd fields are joined as they are.
std::u16string BornText(std::u16string_view birth);
// yyyy.mm.dd-yyyy.mm.dd, or yyyy.mm.dd-长期 when characters 9-10 are "长期".
std::u16string ValidDateText(std::u16string_view validity);

// The texts of the eight value labels that a card text fills.
struct CardLabels {
  std::u16string namet;
  std::u16string sex;
  std::u16string nation;
  std::u16string born;
  std::u16string address;
  std::u16string IDN;
  std::u16string reg;
  std::u16string ValidDate;
};
CardLabels CardLabelsFrom(std::u16string_view cardText);

// Bytes of the chip number at the start of "IINSNDN.bin".
inline constexpr std::size_t kChipBytes = 28;
// The chip number as the form keeps it: " XX" for each of the first 28 bytes, upper-case
// hex; bytes that the file lacks count as 0.
std::u16string ChipNumberText(const std::vector<std::uint8_t>& fileBytes);
// Leading blanks removed (what the chip-number label shows of the text above).
std::u16string_view TrimLeadingBlanks(std::u16string_view s);

// The caption with two parts of the security-module number: caption + "(授权号: " + part 3 +
// "-" + part 4 + ") " when the number has at least five "-"-separated parts, else caption.
std::u16string CaptionWithSamId(std::u16string_view caption, std::u16string_view samId);
// The text split at every "-"; an empty text has no parts.
std::vector<std::u16string> SplitAtDash(std::u16string_view s);

// Texts of the status panel "pg_status".
inline constexpr std::u16string_view kTextReadOk = u"读卡成功!请放下一张卡...";
inline constexpr std::u16string_view kTextPhotoError = u"相片解码错误!";
inline constexpr std::u16string_view kTextWltSuffix = u"wlt文件后缀错误!";
inline constexpr std::u16string_view kTextWltOpen = u"wlt文件打开错误!";
inline constexpr std::u16string_view kTextWltFormat = u"wlt文件格式错误!";
inline constexpr std::u16string_view kTextReadFailed = u"读卡失败!请重新放卡...";
inline constexpr std::u16string_view kTextPlaceCard = u"请放卡...";
inline constexpr std::u16string_view kTextReading = u"正在读卡...";
inline constexpr std::u16string_view kTextPlaceAgain = u"请重新放卡！";
inline constexpr std::u16string_view kTextChipFailed = u"读芯片号失败!";
inline constexpr std::u16string_view kTextNewAddFailed = u"读最新住址失败!";

// Status texts of a read result (1, -1, -2, -3, -4, anything else).
std::u16string_view ReadResultText(int result);
// What a continuous-reading tick reports for the last result (0: nothing read yet).
std::u16string_view LastResultText(int lastResult);

}  // namespace qx::morvid
