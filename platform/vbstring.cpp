#include "vbstring.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace vb {

QString LTrim(const QString& s) {
  qsizetype i = 0;
  while (i < s.size() && s[i] == u' ') ++i;
  return s.mid(i);
}

QString RTrim(const QString& s) {
  qsizetype n = s.size();
  while (n > 0 && s[n - 1] == u' ') --n;
  return s.left(n);
}

QString Trim(const QString& s) { return LTrim(RTrim(s)); }

QString TrimAtNull(const QString& s) {
  const qsizetype i = s.indexOf(QChar(u'\0'));
  return i < 0 ? s : s.left(i);
}

int InStr(int start, const QString& haystack, const QString& needle) {
  if (start < 1) start = 1;
  if (needle.isEmpty()) return start <= haystack.size() || haystack.isEmpty() ? start : 0;
  if (start > haystack.size()) return 0;
  const qsizetype i = haystack.indexOf(needle, start - 1, Qt::CaseSensitive);
  return i < 0 ? 0 : static_cast<int>(i + 1);
}

double Val(const QString& s) {
  qsizetype i = 0;
  auto skipWs = [&] {
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n' || s[i] == u'\r')) ++i;
  };
  skipWs();
  if (i + 1 < s.size() && s[i] == u'&') {
    const QChar k = s[i + 1].toUpper();
    int base = k == u'H' ? 16 : (k == u'O' ? 8 : 0);
    if (base) {
      i += 2;
      long long v = 0;
      bool any = false;
      for (; i < s.size(); ++i) {
        if (s[i] == u' ') continue;
        int d = -1;
        const char16_t c = s[i].unicode();
        if (c >= u'0' && c <= u'9') d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f') d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F') d = c - u'A' + 10;
        if (d < 0 || d >= base) break;
        v = v * base + d;
        any = true;
      }
      if (!any) return 0;
      // The classic reading gives a 16-bit value for short hex numbers.
      if (v <= 0xFFFF && v >= 0x8000) v -= 0x10000;
      return static_cast<double>(v);
    }
  }
  std::string num;
  bool sign = false, digits = false, dot = false, exp = false;
  for (; i < s.size(); ++i) {
    const char16_t c = s[i].unicode();
    if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') continue;
    if ((c == u'+' || c == u'-') && !sign && !digits && !dot) {
      sign = true;
      num += static_cast<char>(c);
    } else if (c >= u'0' && c <= u'9') {
      digits = true;
      num += static_cast<char>(c);
    } else if (c == u'.' && !dot && !exp) {
      dot = true;
      num += '.';
    } else if ((c == u'e' || c == u'E' || c == u'd' || c == u'D') && digits && !exp) {
      // An exponent only counts when digits follow.
      qsizetype j = i + 1;
      std::string e = "e";
      if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) e += static_cast<char>(s[j++].unicode());
      if (j < s.size() && s[j].unicode() >= u'0' && s[j].unicode() <= u'9') {
        exp = true;
        num += e;
        i = j - 1;
      } else {
        break;
      }
    } else {
      break;
    }
  }
  if (!digits) return 0;
  return std::strtod(num.c_str(), nullptr);
}

static double roundHalfEven(double v) { return std::nearbyint(v); }  // default mode: to nearest even

std::int16_t CInt(double v) {
  const double r = roundHalfEven(v);
  if (!(r >= -32768.0 && r <= 32767.0)) throw Overflow();
  return static_cast<std::int16_t>(r);
}

std::int32_t CLng(double v) {
  const double r = roundHalfEven(v);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw Overflow();
  return static_cast<std::int32_t>(r);
}

QString Mid(const QString& s, int start, int length) {
  if (start < 1) start = 1;
  if (start > s.size()) return QString();
  return length < 0 ? s.mid(start - 1) : s.mid(start - 1, length);
}

QString Left(const QString& s, int n) { return n <= 0 ? QString() : s.left(n); }
QString Right(const QString& s, int n) { return n <= 0 ? QString() : s.right(n); }
QString Space(int n) { return n <= 0 ? QString() : QString(n, u' '); }

}  // namespace vb
