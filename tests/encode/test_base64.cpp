// Tests of the Encode library's base64 codec: demanded lengths, line layout, lenient decoding.
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

#include "Base64.h"
#include "ReferenceBase64.h"

namespace {

std::vector<uint8_t> Bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Line lengths of a text split at CR LF; a trailing CR LF gives a last length of 0.
std::vector<size_t> LineLengths(const std::string& text) {
  std::vector<size_t> lengths;
  if (text.empty()) return lengths;
  size_t start = 0;
  for (;;) {
    const size_t crlf = text.find("\r\n", start);
    if (crlf == std::string::npos) {
      lengths.push_back(text.size() - start);
      return lengths;
    }
    lengths.push_back(crlf - start);
    start = crlf + 2;
  }
}

std::string EncodeOk(const std::vector<uint8_t>& data, int32_t capacity) {
  std::string out(static_cast<size_t>(capacity), '\x7f');
  int32_t cap = capacity;
  const uint8_t none = 0;  // an empty vector's data() may be null
  EXPECT_TRUE(
      base64Encode(data.empty() ? &none : data.data(), static_cast<int32_t>(data.size()), out.data(), &cap));
  EXPECT_GE(cap, 0);
  EXPECT_LE(cap, capacity);
  out.resize(static_cast<size_t>(cap));
  return out;
}

struct DecodeResult {
  bool ok;
  int32_t capacity;
  std::vector<uint8_t> bytes;  // the whole output buffer
};

DecodeResult DecodeInto(const std::string& text, int32_t capacity) {
  DecodeResult r{false, capacity,
                 std::vector<uint8_t>(capacity > 0 ? static_cast<size_t>(capacity) : 0, 0xEE)};
  uint8_t dummy = 0xEE;
  r.ok = base64Decode(text.data(), static_cast<int32_t>(text.size()),
                      r.bytes.empty() ? &dummy : r.bytes.data(), &r.capacity);
  return r;
}

TEST(Base64RequiredLength, MatchesTheDemandTable) {
  const std::pair<int32_t, int32_t> cases[] = {
      {0, 2},   {1, 6},   {2, 6},   {3, 6},   {8, 14},  {16, 26},   {24, 34},
      {56, 80}, {57, 80}, {58, 84}, {59, 84}, {60, 84}, {114, 158},
  };
  for (const auto& [n, expected] : cases) EXPECT_EQ(base64RequiredLength(n), expected) << "n=" << n;
}

TEST(Base64RequiredLength, NegativeOrUnrepresentableCountsDemandTheImpossible) {
  EXPECT_EQ(base64RequiredLength(-1), -1);
  EXPECT_EQ(base64RequiredLength(std::numeric_limits<int32_t>::min()), -1);
  EXPECT_EQ(base64RequiredLength(std::numeric_limits<int32_t>::max()), -1);
  // Large but representable: no wrap of 4n in 32 bits.
  EXPECT_GT(base64RequiredLength(600000000), 800000000);
}

TEST(Base64Encode, LineLayoutAtTheBoundaries) {
  struct Case {
    size_t n;
    size_t length;
    std::vector<size_t> lines;
    const char* tail;
  };
  const Case cases[] = {
      {0, 0, {}, ""},
      {8, 12, {12}, "="},
      {16, 24, {24}, "=="},
      {56, 76, {76}, "="},
      {57, 78, {76, 0}, "\r\n"},
      {58, 82, {76, 4}, "=="},
      {114, 156, {76, 76, 0}, "\r\n"},
      {115, 160, {76, 76, 4}, "=="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("n=" + std::to_string(c.n));
    const auto data = Bytes(c.n, static_cast<uint32_t>(c.n) + 1);
    const std::string text = EncodeOk(data, base64RequiredLength(static_cast<int32_t>(c.n)));
    EXPECT_EQ(text.size(), c.length);
    EXPECT_EQ(LineLengths(text), c.lines);
    EXPECT_EQ(text.substr(text.size() - std::string(c.tail).size()), c.tail);
    EXPECT_EQ(text, LinedBase64(data));
  }
}

TEST(Base64Encode, CapacityBelowTheDemandFailsAndWritesNothing) {
  for (int32_t n : {0, 8, 16, 56, 57, 58, 114}) {
    SCOPED_TRACE("n=" + std::to_string(n));
    const auto data = Bytes(static_cast<size_t>(n), 7);
    const int32_t required = base64RequiredLength(n);
    const uint8_t none = 0;
    const uint8_t* p = data.empty() ? &none : data.data();
    std::string out(static_cast<size_t>(required), '\x7f');
    int32_t cap = required - 1;
    EXPECT_FALSE(base64Encode(p, n, out.data(), &cap));
    EXPECT_EQ(cap, required - 1);
    EXPECT_EQ(out, std::string(static_cast<size_t>(required), '\x7f'));
    cap = required;
    EXPECT_TRUE(base64Encode(p, n, out.data(), &cap));
    EXPECT_LE(cap, required - 2);
  }
}

TEST(Base64Encode, DigestNeedsTwoMoreThanItsText) {
  const auto digest = Bytes(16, 3);
  for (int32_t capacity : {24, 25}) {
    std::string out(26, '\x7f');
    int32_t cap = capacity;
    EXPECT_FALSE(base64Encode(digest.data(), 16, out.data(), &cap));
    EXPECT_EQ(cap, capacity);
  }
  EXPECT_EQ(EncodeOk(digest, 26).size(), 24u);
}

TEST(Base64Encode, EmptyInputWritesNothingAndSucceeds) {
  const uint8_t data[1] = {0x55};
  char out[4] = {'x', 'x', 'x', 'x'};
  int32_t cap = 2;
  EXPECT_TRUE(base64Encode(data, 0, out, &cap));
  EXPECT_EQ(cap, 0);
  EXPECT_EQ(out[0], 'x');
  cap = 1;
  EXPECT_FALSE(base64Encode(data, 0, out, &cap));
  EXPECT_EQ(cap, 1);
}

TEST(Base64Encode, MissingPointersAndNegativeCountsFail) {
  const uint8_t data[3] = {1, 2, 3};
  char out[16] = {};
  int32_t cap = 16;
  EXPECT_FALSE(base64Encode(nullptr, 3, out, &cap));
  EXPECT_FALSE(base64Encode(data, 3, nullptr, &cap));
  EXPECT_FALSE(base64Encode(data, 3, out, nullptr));
  EXPECT_FALSE(base64Encode(data, -1, out, &cap));
  EXPECT_EQ(cap, 16);
  cap = -5;
  EXPECT_FALSE(base64Encode(data, 3, out, &cap));
  EXPECT_EQ(cap, -5);
}

TEST(Base64Decode, SkipsEveryByteOutsideTheAlphabet) {
  const std::string nulInside("TW\0Fu", 5);
  const struct {
    std::string text;
    std::string bytes;
  } cases[] = {
      {"TWFu", "Man"},
      {"TWFuTWE=", "ManMa"},
      {"TWFu\r\nTWE=", "ManMa"},
      {"TWFuTWE", "ManMa"},
      {" T W\tF u ", "Man"},
      {"TQ==", "M"},
      {"TQ", "M"},
      {"TWFuT", "Man"},  // a lone last character gives nothing
      {"T", ""},
      {nulInside, "Man"},
      {"\x80T\xffW-F_u\x01", "Man"},  // high bytes, URL-safe characters and controls are skipped
      {"====\r\n", ""},
      {"TQ==TQ==", "\x4d\x04\xd0"},  // pads end nothing: one group of four characters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto r = DecodeInto(c.text, 16);
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.capacity, static_cast<int32_t>(c.bytes.size()));
    EXPECT_EQ(std::string(r.bytes.begin(), r.bytes.begin() + r.capacity), c.bytes);
  }
}

TEST(Base64Decode, ReadsExactlyTheGivenNumberOfCharacters) {
  const std::string text = "TWFuTWFu";
  uint8_t out[8] = {};
  int32_t cap = 8;
  EXPECT_TRUE(base64Decode(text.data(), 4, out, &cap));
  EXPECT_EQ(cap, 3);
  cap = 8;
  EXPECT_TRUE(base64Decode(text.data(), 0, out, &cap));
  EXPECT_EQ(cap, 0);
}

TEST(Base64Decode, OverflowStopsWritingButKeepsCounting) {
  const std::string text = "TWFuTWFu";  // 6 bytes
  auto r = DecodeInto(text, 5);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.capacity, 6);
  EXPECT_EQ(r.bytes, (std::vector<uint8_t>{'M', 'a', 'n', 0xEE, 0xEE}));

  // The groups after the overflow are counted too, a short last one included.
  r = DecodeInto("TWFuTWFuTQ", 5);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.capacity, 7);
  EXPECT_EQ(std::vector<uint8_t>(r.bytes.begin() + 3, r.bytes.end()), std::vector<uint8_t>(2, 0xEE));

  r = DecodeInto(text, 6);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.capacity, 6);

  r = DecodeInto(text, 0);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.capacity, 6);

  r = DecodeInto(text, -3);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.capacity, 6);
}

TEST(Base64Decode, EmptyTextSucceedsWithNothing) {
  uint8_t out[4] = {9, 9, 9, 9};
  int32_t cap = 4;
  EXPECT_TRUE(base64Decode("", 0, out, &cap));
  EXPECT_EQ(cap, 0);
  EXPECT_EQ(out[0], 9);
}

TEST(Base64Decode, MissingPointersAndNegativeLengthFail) {
  uint8_t out[4] = {};
  int32_t cap = 4;
  EXPECT_FALSE(base64Decode(nullptr, 4, out, &cap));
  EXPECT_FALSE(base64Decode("TWFu", 4, out, nullptr));
  EXPECT_FALSE(base64Decode("TWFu", -1, out, &cap));
  EXPECT_EQ(cap, 4);
  // A missing output has room for nothing: the count comes back, nothing is written.
  EXPECT_FALSE(base64Decode("TWFu", 4, nullptr, &cap));
  EXPECT_EQ(cap, 3);
}

TEST(Base64Codec, SweepAgainstTheReference) {
  for (size_t n = 0; n <= 300; ++n) {
    SCOPED_TRACE("n=" + std::to_string(n));
    const auto data = Bytes(n, static_cast<uint32_t>(1000 + n));
    const int32_t required = base64RequiredLength(static_cast<int32_t>(n));
    const std::string text = EncodeOk(data, required);
    ASSERT_EQ(text, LinedBase64(data));
    EXPECT_LE(static_cast<int32_t>(text.size()) + 2, required);

    for (const std::string& t : {text, WithoutLineBreaks(text)}) {
      const auto r = DecodeInto(t, static_cast<int32_t>(n));
      ASSERT_TRUE(r.ok);
      ASSERT_EQ(r.capacity, static_cast<int32_t>(n));
      EXPECT_EQ(r.bytes, data);
    }
  }
}

}  // namespace
