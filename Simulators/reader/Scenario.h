// Scenario of the reader simulators: the reader, its cards and the scripted results (see SCENARIO.md).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "card/CardTextBlock.h"

namespace qx::readersim {

// Every entry point of the three libraries.
enum class Op {
  SDT_OpenPort,
  SDT_ClosePort,
  SDT_StartFindMorvid,
  SDT_SelectMorvid,
  SDT_ReadBaseMsg,
  SDT_GetSAMIDToStr,
  SDT_GetCOMBaud,
  SDT_SetCOMBaud,
  GetBmp,
  InitComm,
  InitCommExt,
  CloseComm,
  Authenticate,
  AuthenticateExt,
  Read_Content,
  Read_Content_Path,
  GetSAMID,
  GetPhoto,
};
inline constexpr std::size_t kOpCount = static_cast<std::size_t>(Op::GetPhoto) + 1;

const char* OpName(Op op);
// Exact names, letter case ignored.
std::optional<Op> OpFromName(std::string_view name);

// A scripted answer.
struct Forced {
  enum class Kind { None, Value, Fault };
  Kind kind = Kind::None;
  int value = 0;

  bool IsNone() const { return kind == Kind::None; }
  bool IsFault() const { return kind == Kind::Fault; }
  bool operator==(const Forced& o) const { return kind == o.kind && value == o.value; }
};

struct ResultRules {
  Forced every;                      // "Op = v"
  std::map<unsigned, Forced> byCall;  // "Op#N = v", N from 1
};

// A card on the simulated reader: its readable fields and what else the libraries hand out.
struct SimCard : card::CardTextInput {
  bool photoOk = true;
  std::optional<std::vector<std::uint8_t>> block;  // block_hex: raw text block
  std::u16string newadd;
  std::optional<std::vector<std::uint8_t>> chip;   // chip_hex

  // The text block as the libraries hand it out: block_hex as it is, else the fields.
  std::vector<std::uint8_t> TextBlock() const;
  std::vector<std::uint8_t> PackedPhoto() const;
  // IINSNDN.bin: chip_hex, else 28 bytes made from the identity number.
  std::vector<std::uint8_t> ChipBytes() const;
  // What the select operation leaves in its 8-byte buffer.
  std::array<std::uint8_t, 8> SerialNumber() const;
};

struct Presence {
  enum class Kind { Always, Never, Count };
  Kind kind = Kind::Always;
  unsigned count = 0;
};

inline constexpr char kDefaultSamId[] = "05.01-20101217-0000001234-2305843009";

struct Scenario {
  std::vector<std::pair<int, int>> ports{{1001, 1001}};  // inclusive ranges
  unsigned baud = 115200;
  std::string samid = kDefaultSamId;  // UTF-8
  Presence present;
  std::vector<SimCard> cards;
  std::array<ResultRules, kOpCount> results;
  std::vector<std::string> warnings;  // lines that were not understood

  bool PortAnswers(int port) const;
  Forced ForcedFor(Op op, unsigned call) const;
};

// UTF-8 text (a leading byte-order mark is skipped). Never fails: what it does not
// understand goes to warnings and keeps its default.
Scenario ParseScenario(std::string_view text);

// Bytes from hex digits; blanks between them are allowed.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);
// Decimal (with sign) or 0x-hex.
std::optional<long long> ParseInteger(std::string_view text);

}  // namespace qx::readersim
