#pragma once
// The string rules the program relies on, with their exact semantics.
// Positions are 1-based and lengths are in UTF-16 characters, as the
// program's own text handling counts them.
#include <QString>
#include <cstdint>
#include <stdexcept>

namespace vb {

// Removes leading and trailing U+0020 only (tabs, line ends and the
// ideographic space stay).
QString Trim(const QString& s);
QString LTrim(const QString& s);
QString RTrim(const QString& s);

// The part before the first NUL character, or the whole string.
QString TrimAtNull(const QString& s);

// 1-based position of needle in haystack at or after start; 0 when absent.
// An empty needle is found at start when start <= Len(haystack) (an empty
// haystack with an empty needle gives start); past the end it gives 0.
int InStr(int start, const QString& haystack, const QString& needle);
inline int InStr(const QString& haystack, const QString& needle) { return InStr(1, haystack, needle); }

// The number at the start of s: leading blanks, tabs and line feeds are
// skipped, blanks inside the number are ignored, "&H" and "&O" prefixes read
// hexadecimal and octal, reading stops at the first character that cannot
// continue the number. No number gives 0.
double Val(const QString& s);

// Raised where the classic conversion would raise "Overflow".
struct Overflow : std::range_error {
  Overflow() : std::range_error("Overflow") {}
};

// Rounds half to even into a 16-bit integer; throws Overflow outside
// -32768..32767.
std::int16_t CInt(double v);
// Rounds half to even into a 32-bit integer; throws Overflow outside range.
std::int32_t CLng(double v);

// Characters from 1-based start, at most length of them (length < 0: to the end).
QString Mid(const QString& s, int start, int length = -1);
QString Left(const QString& s, int n);
QString Right(const QString& s, int n);
inline int Len(const QString& s) { return static_cast<int>(s.size()); }
QString Space(int n);

}  // namespace vb
