#include <gtest/gtest.h>

#include "platform/vbstring.h"

using namespace vb;

TEST(VbString, TrimRemovesBlanksOnly) {
  EXPECT_EQ(Trim(QStringLiteral("  a b  ")), QStringLiteral("a b"));
  EXPECT_EQ(Trim(QStringLiteral("\t a\r\n")), QStringLiteral("\t a\r\n"));
  EXPECT_EQ(Trim(QStringLiteral("\u3000x\u3000")), QStringLiteral("\u3000x\u3000"));
  EXPECT_EQ(Trim(QStringLiteral("    ")), QString());
}

TEST(VbString, TrimAtNull) {
  EXPECT_EQ(TrimAtNull(QString::fromUtf16(u"ab\0cd", 5)), QStringLiteral("ab"));
  EXPECT_EQ(TrimAtNull(QStringLiteral("abc")), QStringLiteral("abc"));
}

TEST(VbString, InStr) {
  EXPECT_EQ(InStr(QStringLiteral("abcabc"), QStringLiteral("c")), 3);
  EXPECT_EQ(InStr(4, QStringLiteral("abcabc"), QStringLiteral("c")), 6);
  EXPECT_EQ(InStr(QStringLiteral("abc"), QStringLiteral("C")), 0);
  EXPECT_EQ(InStr(QStringLiteral("abc"), QString()), 1);
  EXPECT_EQ(InStr(QString(), QString()), 1);
  EXPECT_EQ(InStr(QString(), QStringLiteral("a")), 0);
  EXPECT_EQ(InStr(5, QStringLiteral("abc"), QString()), 0);
}

TEST(VbString, ValReadsTheLeadingNumber) {
  struct {
    const char16_t* s;
    double v;
  } cases[] = {{u"12abc", 12}, {u"  -3.5x", -3.5}, {u"1 2 3", 123}, {u"abc", 0}, {u"", 0},
               {u"&H1F", 31}, {u"&HFFFF", -1}, {u"1e3", 1000}, {u"2e", 2}, {u"0.5.5", 0.5}};
  for (auto& c : cases) EXPECT_DOUBLE_EQ(Val(QString::fromUtf16(c.s)), c.v) << QString::fromUtf16(c.s).toStdString();
}

TEST(VbString, CIntRoundsHalfToEvenAndOverflows) {
  EXPECT_EQ(CInt(2.5), 2);
  EXPECT_EQ(CInt(3.5), 4);
  EXPECT_EQ(CInt(-2.5), -2);
  EXPECT_EQ(CInt(0.49), 0);
  EXPECT_EQ(CInt(32767.4), 32767);
  EXPECT_THROW(CInt(32767.5), Overflow);
  EXPECT_THROW(CInt(-32769), Overflow);
}

TEST(VbString, MidLeftRight) {
  EXPECT_EQ(Mid(QStringLiteral("あいうえ"), 2, 2), QStringLiteral("いう"));
  EXPECT_EQ(Mid(QStringLiteral("abc"), 2), QStringLiteral("bc"));
  EXPECT_EQ(Mid(QStringLiteral("abc"), 9), QString());
  EXPECT_EQ(Left(QStringLiteral("abc"), 5), QStringLiteral("abc"));
  EXPECT_EQ(Right(QStringLiteral("abc"), 2), QStringLiteral("bc"));
}
