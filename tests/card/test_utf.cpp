// UTF-8 and UTF-16 conversions: round trips and the replacement of what does not convert.
#include "card/Utf.h"

#include <gtest/gtest.h>

using qx::card::Utf16FromUtf8;
using qx::card::Utf8FromUtf16;

TEST(Utf, RoundTripAndInvalidInput) {
  const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // a é 中 😀
  EXPECT_EQ(Utf16FromUtf8(text), u"a\u00E9\u4E2D\U0001F600");
  EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8(text)), text);
  // A sequence cut short is one replacement; a stray continuation byte is one too.
  EXPECT_EQ(Utf16FromUtf8("\xE4\xB8"), u"\uFFFD");
  EXPECT_EQ(Utf16FromUtf8("\x80" "a"), u"\uFFFDa");
  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// What a store opened by the desk tells apart: its own UTF-8 text, and GBK bytes of older
// stores, which are seldom well-formed UTF-8.
TEST(Utf, WellFormedUtf8) {
  struct Case {
    const char* text;
    bool utf8;
  } cases[] = {
      {"", true},
      {"110101198001010011", true},
      {"\xE5\xBC\xA0\xE4\xB8\x89", true},  // 张三
      {"\xF0\x9F\x98\x80", true},          // U+1F600
      {"\xD5\xC5\xC8\xFD", false},         // 张三 in GBK
      {"\xE5\xBC", false},                 // cut short
      {"\xC0\xAF", false},                 // overlong '/'
      {"\xED\xA0\x80", false},             // a surrogate
      {"\xF4\x90\x80\x80", false},         // past U+10FFFF
      {"a\x80", false},                    // a stray continuation byte
  };
  for (const Case& c : cases) EXPECT_EQ(qx::card::IsUtf8(c.text), c.utf8) << c.text;
}
