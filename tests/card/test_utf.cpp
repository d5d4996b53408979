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
