#include "charset.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>

namespace nmail::charset {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The charset name as a key: lower case, without quotes, blanks and an
// RFC 2231 language suffix ("iso-2022-jp*ja").
std::string keyOf(std::string_view name) {
  std::string s;
  for (char c : name) {
    if (c == '*') break;
    if (c == '"' || c == '\'' || c == ' ' || c == '\t') continue;
    s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

bool oneOf(const std::string& key, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return key == n; });
}

enum class Family { Unlabelled, Jis, ShiftJis, Utf8, Other };

Family familyOf(const std::string& key) {
  if (oneOf(key, {"", "us-ascii", "ascii", "us", "ansi_x3.4-1968", "iso646-us", "unknown-8bit", "unknown",
                  "x-unknown", "default", "x-user-defined", "7bit", "8bit", "none"}))
    return Family::Unlabelled;
  if (key.rfind("iso-2022-jp", 0) == 0 || key.rfind("iso2022jp", 0) == 0 || key.rfind("iso-2022jp", 0) == 0 ||
      oneOf(key, {"csiso2022jp", "csiso2022jp2", "cp50220", "cp50221", "cp50222", "jis", "x-jis", "jis7",
                  "iso2022-jp"}))
    return Family::Jis;
  if (oneOf(key, {"shift_jis", "shift-jis", "shiftjis", "sjis", "s-jis", "x-sjis", "x-shift-jis", "x-shift_jis",
                  "cp932", "windows-31j", "ms932", "ms_kanji", "csshiftjis", "cswindows31j", "x-ms-cp932",
                  "ibm-943", "ibm943", "ibm-932", "ibm932", "shift_jisx0213", "shift_jis-2004", "sjis-win",
                  "sjis-open", "windows-932"}))
    return Family::ShiftJis;
  if (oneOf(key, {"utf-8", "utf8", "unicode-1-1-utf-8", "x-unicode20utf8"})) return Family::Utf8;
  return Family::Other;
}

// The name iconv knows for a charset of the Other family.
std::string iconvName(const std::string& key) {
  if (oneOf(key, {"euc-jp", "x-euc-jp", "eucjp", "euc_jp", "cseucpkdfmtjapanese", "euc-jp-ms", "eucjp-ms",
                  "cp51932", "x-euc", "euc-jis-2004"}))
    return "EUC-JP-MS";  // EUC-JP with the NEC and IBM rows
  if (oneOf(key, {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "l1", "cp819", "csisolatin1"}))
    return "WINDOWS-1252";  // what mailers mean by Latin-1
  return key;
}

// Length of the UTF-8 sequence opened by b (1 for a stray byte).
std::size_t utf8Length(unsigned char b) {
  if (b < 0xC0) return 1;
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  return 4;
}

// Runs bytes through cd into out, a chunk at a time. Where iconv stops at
// input it cannot take (or, when exact, takes only approximately), bad(in,
// inLeft) either steps past it and returns true, or returns false to end the
// conversion there. The shift state is closed at the end of a whole run.
template <class Bad>
bool convertThrough(iconv_t cd, std::string_view bytes, std::string& out, bool exact, Bad bad) {
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char chunk[8192];
  while (inLeft > 0) {
    char* o = chunk;
    std::size_t oLeft = sizeof chunk;
    std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(chunk, o - chunk);
    if (r == static_cast<std::size_t>(-1) && errno == E2BIG) continue;
    if (r == static_cast<std::size_t>(-1) || (exact && r > 0)) {
      if (!bad(in, inLeft)) return false;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* o = chunk;
  std::size_t oLeft = sizeof chunk;
  iconv(cd, nullptr, nullptr, &o, &oLeft);
  out.append(chunk, o - chunk);
  return true;
}

// Any charset to UTF-8 through iconv. Broken input becomes U+FFFD and the
// conversion goes on with the next byte. False when iconv knows no charset
// of that name.
bool iconvToUtf8(std::string_view bytes, const char* charset, std::string& out) {
  iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  out.reserve(bytes.size() * 3 / 2 + 16);
  convertThrough(cd, bytes, out, false, [&](char*& in, std::size_t& inLeft) {
    out += kReplacement;  // EILSEQ or EINVAL (cut at the end)
    ++in;
    --inLeft;
    return true;
  });
  iconv_close(cd);
  return true;
}

// CP932 bytes checked: every broken sequence becomes "?", NUL is dropped.
std::string checkedCp932(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    unsigned char b = bytes[i];
    if (b == 0) {
      ++i;
    } else if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
      out += static_cast<char>(b);
      ++i;
    } else if (isLead(b) && i + 1 < bytes.size()) {
      unsigned char t = bytes[i + 1];
      if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) {
        out += static_cast<char>(b);
        out += static_cast<char>(t);
        i += 2;
      } else {
        out += '?';
        ++i;
      }
    } else {
      out += '?';
      ++i;
    }
  }
  return out;
}

// Text without escapes: UTF-8 when it is valid UTF-8, else CP932.
std::string plainToCp932(std::string_view bytes) {
  if (isAscii(bytes)) {
    std::string out(bytes);
    out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
    return out;
  }
  if (isValidUtf8(bytes)) return utf8ToCp932(bytes);
  return checkedCp932(bytes);
}

bool hasJisEscapes(std::string_view bytes) {
  return bytes.find("\x1B$B") != std::string_view::npos || bytes.find("\x1B$@") != std::string_view::npos ||
         bytes.find("\x1B(I") != std::string_view::npos || bytes.find("\x1B$(Q") != std::string_view::npos ||
         bytes.find("\x1B$(O") != std::string_view::npos;
}

// ISO-2022-JP straight to CP932, the way Windows reads it: JIS X 0208 with
// the NEC row 13 and the IBM rows 89 to 92 by arithmetic, JIS X 0201 kana
// by ESC ( I or SO/SI, Roman as ASCII. Other designated sets give "?". The
// stretches in ASCII mode go through plainToCp932, so that 8-bit bytes in a
// mislabelled text (a raw Shift_JIS or UTF-8 name) keep their meaning.
std::string jisToCp932(std::string_view bytes) {
  enum Mode { Ascii, Kana, Jis, Other2, Other1 } mode = Ascii;
  bool shifted = false;  // SO: kana until SI
  std::string out, plain;
  out.reserve(bytes.size());
  auto flush = [&] {
    if (!plain.empty()) out += plainToCp932(plain);
    plain.clear();
  };
  for (std::size_t i = 0; i < bytes.size();) {
    unsigned char b = bytes[i];
    if (b == 0x1B) {
      flush();
      std::string_view rest = bytes.substr(i + 1);
      auto starts = [&](std::string_view p) { return rest.substr(0, p.size()) == p; };
      if (starts("(B") || starts("(J") || starts("(H")) {
        mode = Ascii;
        i += 3;
      } else if (starts("(I")) {
        mode = Kana;
        i += 3;
      } else if (starts("$@") || starts("$B")) {
        mode = Jis;
        i += 3;
      } else if (starts("$(Q") || starts("$(O") || starts("$(B") || starts("$(@")) {
        mode = Jis;
        i += 4;
      } else if (starts("$(") && rest.size() >= 3) {
        mode = Other2;
        i += 4;
      } else if (starts("$A") || starts("$C")) {
        mode = Other2;
        i += 3;
      } else if ((starts(".") || starts("N") || starts("(")) && rest.size() >= 2) {
        // G2 designations and single shifts of ISO-2022-JP-2: skip them.
        mode = rest[0] == '(' ? Other1 : mode;
        i += 3;
      } else {
        out += '?';
        ++i;
      }
      continue;
    }
    if (b == 0x0E || b == 0x0F) {
      flush();
      shifted = b == 0x0E;
      ++i;
      continue;
    }
    if (b == '\r' || b == '\n') {
      flush();
      mode = Ascii;
      shifted = false;
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    if (mode == Ascii && !shifted) {
      plain += static_cast<char>(b);
      ++i;
      continue;
    }
    if (b == 0) {
      ++i;
      continue;
    }
    if (b < 0x21 || b >= 0x7F) {
      out += b < 0x21 ? static_cast<char>(b) : '?';
      ++i;
      continue;
    }
    if (shifted || mode == Kana) {
      out += (b <= 0x5F) ? static_cast<char>(b + 0x80) : '?';
      ++i;
    } else if (mode == Other1) {
      out += '?';
      ++i;
    } else {
      if (i + 1 >= bytes.size()) {
        out += '?';
        ++i;
        continue;
      }
      unsigned char j1 = b, j2 = bytes[i + 1];
      i += 2;
      if (mode == Other2 || j2 < 0x21 || j2 > 0x7E) {
        out += '?';
        continue;
      }
      unsigned s1 = ((j1 - 0x21) >> 1) + 0x81;
      if (s1 > 0x9F) s1 += 0x40;
      unsigned s2;
      if (j1 & 1) {
        s2 = j2 + 0x1F;
        if (s2 >= 0x7F) ++s2;
      } else {
        s2 = j2 + 0x7E;
      }
      out += static_cast<char>(s1);
      out += static_cast<char>(s2);
    }
  }
  flush();
  return out;
}

}  // namespace

bool isValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    unsigned char b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    unsigned cp;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      unsigned char t = s[i + k];
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string utf8ToCp932(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  if (isAscii(bytes)) {
    for (char c : bytes)
      if (c) out += c;
    return out;
  }
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return checkedCp932(bytes);
  convertThrough(cd, bytes, out, false, [&](char*& in, std::size_t& inLeft) {
    // A character CP932 has not, or broken UTF-8: one "?" for it.
    std::size_t len = std::min(utf8Length(static_cast<unsigned char>(*in)), inLeft);
    for (std::size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(in[k]) & 0xC0) != 0x80) {
        len = k;
        break;
      }
    out += '?';
    in += len;
    inLeft -= len;
    return true;
  });
  iconv_close(cd);
  out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
  return out;
}

std::string cp932ToUtf8(std::string_view bytes) {
  if (isAscii(bytes)) return std::string(bytes);
  std::string out;
  if (!iconvToUtf8(bytes, "CP932", out)) return std::string(bytes);
  return out;
}

bool utf8ToIso2022jp(std::string_view bytes, std::string& out) {
  iconv_t cd = iconv_open("ISO-2022-JP", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  // A character it cannot hold, or holds only approximately, does not fit.
  const bool ok = convertThrough(cd, bytes, out, true, [](char*&, std::size_t&) { return false; });
  iconv_close(cd);
  return ok;
}

std::string guessToCp932(std::string_view bytes) {
  if (hasJisEscapes(bytes)) return jisToCp932(bytes);
  return plainToCp932(bytes);
}

std::string rawHeaderToCp932(std::string_view bytes, std::string_view charset) {
  if (!isAscii(bytes) && isValidUtf8(bytes)) return utf8ToCp932(bytes);
  return toCp932(bytes, charset);
}

std::string toCp932(std::string_view bytes, std::string_view charsetName) {
  // Escapes in 7-bit text: ISO-2022-JP, under whatever label.
  if (hasJisEscapes(bytes) && isAscii(bytes)) return jisToCp932(bytes);
  std::string key = keyOf(charsetName);
  switch (familyOf(key)) {
    case Family::Unlabelled:
      return guessToCp932(bytes);
    case Family::Jis:
      return jisToCp932(bytes);
    case Family::ShiftJis:
      return checkedCp932(bytes);
    case Family::Utf8:
      return guessToCp932(bytes);  // mislabelled text too
    case Family::Other:
      break;
  }
  if (isAscii(bytes)) return plainToCp932(bytes);
  std::string utf8;
  if (!iconvToUtf8(bytes, iconvName(key).c_str(), utf8)) return guessToCp932(bytes);
  return utf8ToCp932(utf8);
}

}  // namespace nmail::charset
