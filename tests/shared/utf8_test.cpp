// The UTF-8 decoder under both policies, the encoder, and the character counts over them.
#include "shared/utf8.h"

#include <gtest/gtest.h>

namespace nxs {
namespace {

TEST(Utf8Decoding, StrictRejectsOverlongSurrogateAndTruncatedSequences) {
  uint32_t Ch;
  bool Valid;
  EXPECT_EQ(DecodeUtf8("", Ch, Valid), 0);
  EXPECT_FALSE(Valid);
  EXPECT_EQ(DecodeUtf8("\xC3\xA9", Ch, Valid), 2);
  EXPECT_TRUE(Valid);
  EXPECT_EQ(Ch, 0xE9u);
  EXPECT_EQ(DecodeUtf8("\xF0\x9F\x98\x80", Ch, Valid), 4);
  EXPECT_TRUE(Valid);
  EXPECT_EQ(Ch, 0x1F600u);
  EXPECT_EQ(DecodeUtf8("\xC0\xAF", Ch, Valid), 1);  // overlong "/"
  EXPECT_FALSE(Valid);
  EXPECT_EQ(Ch, 0xC0u);  // a malformed byte stands for itself
  EXPECT_EQ(DecodeUtf8("\xE0\x80\xAF", Ch, Valid), 1);  // overlong in three bytes
  EXPECT_FALSE(Valid);
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80", Ch, Valid), 1);  // a surrogate
  EXPECT_FALSE(Valid);
  EXPECT_EQ(DecodeUtf8("\xE6\x97", Ch, Valid), 1);  // cut short
  EXPECT_FALSE(Valid);
  EXPECT_EQ(DecodeUtf8("\xE6\x97x", Ch, Valid), 1);  // a continuation byte missing
  EXPECT_FALSE(Valid);
  EXPECT_EQ(DecodeUtf8("\xF4\x90\x80\x80", Ch, Valid), 1);  // beyond U+10FFFF
  EXPECT_FALSE(Valid);
  EXPECT_EQ(DecodeUtf8("\x80", Ch, Valid), 1);  // a stray continuation byte
  EXPECT_FALSE(Valid);
  EXPECT_EQ(DecodeUtf8("\xF5\x80\x80\x80", Ch, Valid), 1);  // no lead byte
  EXPECT_FALSE(Valid);
}

TEST(Utf8Decoding, FramingTakesEveryWellFramedSequenceWhole) {
  // What Strict refuses for its value, Framing keeps as one character, so that the kernel's
  // character index does not split a sequence; broken framing is still one byte per character.
  uint32_t Ch;
  bool Valid;
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80", Ch, Valid, TUtf8Policy::Framing), 3);
  EXPECT_TRUE(Valid);
  EXPECT_EQ(Ch, 0xD800u);
  EXPECT_EQ(DecodeUtf8("\xE0\x80\xAF", Ch, Valid, TUtf8Policy::Framing), 3);
  EXPECT_EQ(Ch, 0x2Fu);
  EXPECT_EQ(DecodeUtf8("\xF4\x90\x80\x80", Ch, Valid, TUtf8Policy::Framing), 4);
  EXPECT_EQ(DecodeUtf8("\xC0\xAF", Ch, Valid, TUtf8Policy::Framing), 1);  // C0 and C1 lead nothing
  EXPECT_FALSE(Valid);
  EXPECT_EQ(DecodeUtf8("\xE6\x97", Ch, Valid, TUtf8Policy::Framing), 1);
  EXPECT_FALSE(Valid);

  const std::string_view S = "a\xED\xA0\x80" "b\xE6\x97" "c";
  EXPECT_EQ(Utf8CharLength(S, 1, TUtf8Policy::Framing), 3);
  EXPECT_EQ(Utf8CharLength(S, 1, TUtf8Policy::Strict), 1);
  EXPECT_EQ(Utf8CountChars(S, S.size(), TUtf8Policy::Framing), 6u);  // a, D800, b, E6, 97, c
  EXPECT_EQ(Utf8CountChars(S, S.size(), TUtf8Policy::Strict), 8u);
  EXPECT_EQ(Utf8CountChars(S, 2, TUtf8Policy::Framing), 2u);  // a count that ends mid-character
  EXPECT_EQ(Utf8ByteOfChar(S, 2, TUtf8Policy::Framing), 4u);
  EXPECT_EQ(Utf8ByteOfChar(S, 5, TUtf8Policy::Framing), 7u);
  EXPECT_EQ(Utf8ByteOfChar(S, 99, TUtf8Policy::Framing), S.size());
}

TEST(Utf8Encoding, EveryScalarValueRoundTrips) {
  for (uint32_t Ch = 0; Ch <= 0x10FFFF; Ch += (Ch < 0x1000 ? 1 : 61)) {
    if (Ch >= 0xD800 && Ch <= 0xDFFF) continue;
    std::string S;
    AppendUtf8(S, Ch);
    uint32_t Back;
    bool Valid;
    ASSERT_EQ(DecodeUtf8(S, Back, Valid), static_cast<int>(S.size())) << std::hex << Ch;
    ASSERT_TRUE(Valid);
    ASSERT_EQ(Back, Ch);
    ASSERT_EQ(S.size(), Ch < 0x80 ? 1u : Ch < 0x800 ? 2u : Ch < 0x10000 ? 3u : 4u);
    ASSERT_EQ(Utf8CharCount(S), 1u);
  }
  std::string Top;
  AppendUtf8(Top, 0x10FFFF);
  EXPECT_EQ(Top, "\xF4\x8F\xBF\xBF");
}

}  // namespace
}  // namespace nxs
