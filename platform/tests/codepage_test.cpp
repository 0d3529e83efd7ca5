#include <gtest/gtest.h>

#include "platform/codepage.h"

TEST(Codepage, RoundTripsJapaneseAndAscii) {
  const QString s = QStringLiteral("件名：テスト ①ｱｲ～ abc");
  const std::string b = cp932::encode(s);
  EXPECT_EQ(cp932::decode(b), s);
  EXPECT_EQ(cp932::encode(QStringLiteral("あ")), std::string("\x82\xA0"));
  // CP932's own forms (not plain Shift_JIS): wave dash from U+FF5E, NEC circled digit.
  EXPECT_EQ(cp932::encode(QStringLiteral("～")), std::string("\x81\x60"));
  EXPECT_EQ(cp932::encode(QStringLiteral("①")), std::string("\x87\x40"));
}

TEST(Codepage, UnmappableBecomesQuestionMark) {
  // U+1F600 (a surrogate pair) and U+00E9 have no CP932 form.
  EXPECT_EQ(cp932::encode(QStringLiteral("a\U0001F600b\u00E9c")), std::string("a?b?c"));
  EXPECT_FALSE(cp932::canEncode(QStringLiteral("x\u00E9")));
  EXPECT_TRUE(cp932::canEncode(QStringLiteral("漢字")));
}

TEST(Codepage, BadBytesDecodeToReplacementAndGoOn) {
  // 0x82 needs a trail byte of 0x40..0xFC; a blank is not one.
  EXPECT_EQ(cp932::decode(std::string("a\x82 b")), QStringLiteral("a\uFFFD b"));
  EXPECT_EQ(cp932::decode(std::string("ok\x82")), QStringLiteral("ok\uFFFD"));
  EXPECT_EQ(cp932::decode(std::string("\xA0" "x")).size(), 2);
  // A lead byte and a trail byte with no character assigned are one
  // character: its trail byte does not come out on its own.
  EXPECT_EQ(cp932::decode(std::string("\x85\x40" "a\xEB\x9F\x82\xA0")), QStringLiteral("\uFFFDa\uFFFDあ"));
}

TEST(Codepage, CutNeverSplitsADoubleByteCharacter) {
  struct Case {
    QString text;
    std::size_t width;
    std::string field;
  } cases[] = {
      {QStringLiteral("abc"), 5, "abc  "},
      {QStringLiteral("abcdef"), 3, "abc"},
      {QStringLiteral("あい"), 4, "\x82\xA0\x82\xA2"},
      {QStringLiteral("あい"), 3, "\x82\xA0 "},
      {QStringLiteral("aあ"), 2, "a "},
      {QStringLiteral("ｱあ"), 2, "\xB1 "},  // half-width kana is one byte
      {QString(), 2, "  "},
  };
  for (const Case& c : cases) EXPECT_EQ(cp932::field(c.text, c.width), c.field) << c.text.toStdString();
}
