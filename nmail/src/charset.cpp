// The character sets of received mail: a charset name sorted into its family,
// the text of any charset turned into UTF-8 and UTF-8 into CP932 (with "?" for
// what CP932 lacks), through iconv descriptors kept open for reuse. The MIME
// reading decides which charset a text has; this file only converts.

#include "charset.h"

#include <glib.h>
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
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

enum class Family { Unlabelled, Jis, ShiftJis, Utf8, Utf7, Other };

Family familyOf(const std::string& key) {
  if (oneOf(key, {"", "us-ascii", "ascii", "us", "ansi_x3.4-1968", "iso646-us", "unknown-8bit", "unknown",
                  "x-unknown", "default", "x-user-defined", "7bit", "8bit", "none"}))
    return Family::Unlabelled;
  if (key.rfind("iso-2022-jp", 0) == 0 || key.rfind("iso2022jp", 0) == 0 || key.rfind("iso-2022jp", 0) == 0 ||
      oneOf(key, {"csiso2022jp", "csiso2022jp2", "cp50220", "cp50221", "cp50222", "jis", "x-jis", "jis7",
                  "iso2022-jp", "_iso-2022-jp$esc", "x-iso-2022-jp", "x-jis7"}))
    return Family::Jis;
  if (oneOf(key, {"shift_jis", "shift-jis", "shiftjis", "sjis", "s-jis", "x-sjis", "x-shift-jis", "x-shift_jis",
                  "cp932", "windows-31j", "ms932", "ms_kanji", "csshiftjis", "cswindows31j", "x-ms-cp932",
                  "ibm-943", "ibm943", "ibm-932", "ibm932", "shift_jisx0213", "shift_jis-2004", "sjis-win",
                  "sjis-open", "windows-932", "x-mac-japanese", "macjapanese", "x-ms-sjis", "shift-jis-win"}))
    return Family::ShiftJis;
  if (oneOf(key, {"utf-8", "utf8", "unicode-1-1-utf-8", "x-unicode20utf8", "utf_8", "x-utf-8", "x-utf8",
                  "utf-8n", "utf8mb4", "cp65001"}))
    return Family::Utf8;
  if (oneOf(key, {"utf-7", "utf7", "unicode-1-1-utf-7", "x-unicode-2-0-utf-7", "x-unicode20utf7", "csunicode11utf7",
                  "cp65000"}))
    return Family::Utf7;
  return Family::Other;
}

// The name iconv knows for a charset of the Other family.
std::string iconvName(const std::string& key) {
  if (oneOf(key, {"euc-jp", "x-euc-jp", "eucjp", "euc_jp", "cseucpkdfmtjapanese", "euc-jp-ms", "eucjp-ms",
                  "cp51932", "x-euc", "euc-jis-2004"}))
    return "EUC-JP-MS";  // EUC-JP with the NEC and IBM rows
  if (oneOf(key, {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "l1", "cp819", "csisolatin1", "latin-1",
                  "iso8859_1", "iso_8859-1:1987", "ibm819", "iso-ir-100"}))
    return "WINDOWS-1252";  // what mailers mean by Latin-1
  // Names mailers write that iconv knows by another name (the aliases of
  // the IANA list and the labels of the common mailers).
  static const std::pair<const char*, const char*> aliases[] = {
      {"ks_c_5601-1987", "CP949"}, {"ks_c_5601", "CP949"}, {"ks_c_5601-1989", "CP949"}, {"ksc5601", "CP949"},
      {"ksc_5601", "CP949"}, {"ks_x_1001", "CP949"}, {"ks-c-5601", "CP949"}, {"csksc56011987", "CP949"},
      {"iso-ir-149", "CP949"}, {"korean", "CP949"}, {"euc-kr", "CP949"}, {"x-euc-kr", "CP949"},
      {"windows-949", "CP949"}, {"ms949", "CP949"}, {"uhc", "CP949"}, {"x-windows-949", "CP949"},
      {"gb2312", "GB18030"}, {"csgb2312", "GB18030"}, {"x-gbk", "GB18030"}, {"gbk", "GB18030"},
      {"cp936", "GB18030"}, {"windows-936", "GB18030"}, {"ms936", "GB18030"}, {"chinese", "GB18030"},
      {"x-euc-cn", "GB18030"}, {"euc-cn", "GB18030"}, {"gb_2312-80", "GB18030"}, {"x-gb2312", "GB18030"},
      {"big5", "BIG5-HKSCS"}, {"x-big5", "BIG5-HKSCS"}, {"cn-big5", "BIG5-HKSCS"}, {"csbig5", "BIG5-HKSCS"},
      {"cp950", "BIG5-HKSCS"}, {"windows-950", "BIG5-HKSCS"}, {"ms950", "BIG5-HKSCS"}, {"big5hkscs", "BIG5-HKSCS"},
      {"x-euc-tw", "EUC-TW"}, {"windows-874", "CP874"}, {"x-windows-874", "CP874"}, {"tis620", "TIS-620"},
      {"iso-8859-11", "CP874"}, {"iso-8859-8-i", "ISO-8859-8"}, {"iso-8859-8-e", "ISO-8859-8"},
      {"iso-8859-6-i", "ISO-8859-6"}, {"iso-8859-6-e", "ISO-8859-6"}, {"logical", "ISO-8859-8"},
      {"visual", "ISO-8859-8"}, {"x-mac-roman", "MACINTOSH"}, {"mac", "MACINTOSH"}, {"macintosh", "MACINTOSH"},
      {"x-mac-cyrillic", "MAC-CYRILLIC"}, {"x-cp1250", "CP1250"}, {"x-cp1251", "CP1251"}, {"x-cp1252", "CP1252"},
      {"koi8", "KOI8-R"}, {"x-koi8-r", "KOI8-R"}, {"cskoi8r", "KOI8-R"}, {"unicode", "UTF-16"},
      {"ucs-2", "UTF-16"}, {"iso-10646-ucs-2", "UTF-16"}, {"csunicode", "UTF-16"}, {"unicodefffe", "UTF-16BE"},
      {"unicodefeff", "UTF-16LE"}, {"iso-8859-15", "ISO-8859-15"}, {"latin-9", "ISO-8859-15"},
      {"latin9", "ISO-8859-15"}, {"x-iso-8859-15", "ISO-8859-15"}, {"ansi", "WINDOWS-1252"},
      {"windows-1252", "WINDOWS-1252"}, {"cp1252", "WINDOWS-1252"}, {"x-ansi", "WINDOWS-1252"},
  };
  for (const auto& [from, to] : aliases)
    if (key == from) return to;
  // "windows1251", "win-1251", "cp-1251": windows-NNNN.
  for (const char* prefix : {"windows", "win-", "win", "cp-", "x-cp"}) {
    std::size_t n = std::char_traits<char>::length(prefix);
    if (key.size() == n + 4 && key.compare(0, n, prefix) == 0 &&
        std::all_of(key.begin() + static_cast<long>(n), key.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return "WINDOWS-" + key.substr(n);
  }
  return key;
}

// Length of the UTF-8 sequence opened by b (1 for a stray byte).
std::size_t utf8Length(unsigned char b) {
  if (b < 0xC0) return 1;
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  return 4;
}

// An iconv descriptor for a pair of charsets, taken from the few this
// thread keeps open and given back when done: opening one costs more than
// converting a mail's text. A conversion of the same pair nested inside
// another opens its own.
class Converter {
 public:
  Converter(const char* to, const char* from) : key_(std::string(to) + '\n' + from) {
    auto& idle = pool().idle;
    auto it = idle.find(key_);
    if (it == idle.end()) {
      cd_ = iconv_open(to, from);
      return;
    }
    cd_ = it->second;
    idle.erase(it);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  }
  ~Converter() {
    if (!ok()) return;
    auto& idle = pool().idle;
    if (idle.size() >= kKept || !idle.emplace(key_, cd_).second) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  operator iconv_t() const { return cd_; }

 private:
  static constexpr std::size_t kKept = 16;
  struct Pool {
    std::map<std::string, iconv_t> idle;
    ~Pool() {
      for (auto& kept : idle) iconv_close(kept.second);
    }
  };
  static Pool& pool() {
    thread_local Pool p;
    return p;
  }
  std::string key_;
  iconv_t cd_;
};

// Runs bytes through cd into out, a chunk at a time. Where iconv stops at
// input it cannot take (or, when exact, takes only approximately), bad(in,
// inLeft) either steps past it and returns true, or returns false to end the
// conversion there. The shift state is closed at the end of a whole run.
// iconv is given the input a piece at a time: glibc converts in steps
// through its own code, and a character the last step refuses makes it
// convert again all it had read ahead of it, so that a long text with many
// such characters cost its length for each of them. After such a character
// the pieces start small and grow back while the text goes well.
template <class Bad>
bool convertThrough(iconv_t cd, std::string_view bytes, std::string& out, bool exact, Bad bad) {
  constexpr std::size_t kSmallest = 64, kLargest = 64 * 1024;
  std::size_t want = kLargest;
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char chunk[8192];
  while (inLeft > 0) {
    char* o = chunk;
    std::size_t oLeft = sizeof chunk;
    const std::size_t piece = std::min(inLeft, want);
    want = std::min(want * 2, kLargest);
    const bool last = piece == inLeft;
    std::size_t pieceLeft = piece;
    std::size_t r = iconv(cd, &in, &pieceLeft, &o, &oLeft);
    const int error = errno;
    inLeft -= piece - pieceLeft;
    out.append(chunk, o - chunk);
    if (r == static_cast<std::size_t>(-1) && error == E2BIG) continue;
    // A character cut by the end of the piece, not of the input: the next
    // piece starts with it.
    if (r == static_cast<std::size_t>(-1) && error == EINVAL && !last) continue;
    if (r == static_cast<std::size_t>(-1) || (exact && r > 0)) {
      if (!bad(in, inLeft)) return false;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      want = kSmallest;
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
  Converter cd("UTF-8", charset);
  if (!cd.ok()) return false;
  out.clear();
  out.reserve(bytes.size() * 3 / 2 + 16);
  convertThrough(cd, bytes, out, false, [&](char*& in, std::size_t& inLeft) {
    out += kReplacement;  // EILSEQ or EINVAL (cut at the end)
    ++in;
    --inLeft;
    return true;
  });
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

// True when every 8-bit byte of bytes is part of a well-formed CP932
// character (a byte that can stand alone, or a lead byte with its trail).
bool wellFormedCp932(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = bytes[i];
    if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) continue;
    if (!isLead(b) || i + 1 >= bytes.size()) return false;
    unsigned char t = bytes[++i];
    if (!((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC))) return false;
  }
  return true;
}

// The same for EUC-JP (JIS X 0208 pairs, SS2 kana, SS3 JIS X 0212).
bool wellFormedEucJp(std::string_view bytes) {
  auto high = [](unsigned char c) { return c >= 0xA1 && c <= 0xFE; };
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = bytes[i];
    if (b < 0x80) continue;
    if (b == 0x8E) {
      unsigned char k = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
      if (k < 0xA1 || k > 0xDF) return false;
      ++i;
    } else if (b == 0x8F) {
      if (i + 2 >= bytes.size() || !high(bytes[i + 1]) || !high(bytes[i + 2])) return false;
      i += 2;
    } else if (high(b)) {
      if (i + 1 >= bytes.size() || !high(bytes[i + 1])) return false;
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

// How much the bytes read as Japanese text in either code: kana, kanji of
// the first level and the punctuation of running text count most, kanji of
// the second level less, half-width kana a little (more with a voicing
// mark), the rows of symbols,
// Cyrillic, box drawing and the private rows nothing. Text in the other code
// read this way falls into the rows that count little.
int japaneseScoreCp932(std::string_view bytes) {
  int score = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = bytes[i];
    if (b < 0x80) continue;
    if (b >= 0xA1 && b <= 0xDF) {
      score += 1;
      // A kana with its voicing mark (ﾀﾞ, ﾊﾟ) is half-width text for sure.
      if (i + 1 < bytes.size() && (static_cast<unsigned char>(bytes[i + 1]) == 0xDE ||
                                   static_cast<unsigned char>(bytes[i + 1]) == 0xDF) &&
          (b == 0xB3 || (b >= 0xB6 && b <= 0xC4) || (b >= 0xCA && b <= 0xCE)))
        score += 2;
      continue;
    }
    ++i;
    if (b == 0x82 || b == 0x83) score += 3;
    else if (b == 0x81 || (b >= 0x88 && b <= 0x98)) score += 2;
    else if ((b >= 0x99 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEA) || b == 0x87 || b == 0xED || b == 0xEE ||
             (b >= 0xFA && b <= 0xFC))
      score += 1;
  }
  return score;
}

int japaneseScoreEucJp(std::string_view bytes) {
  int score = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = bytes[i];
    if (b < 0x80) continue;
    if (b == 0x8E) {
      score += 3;  // half-width kana, which CP932 would read as kanji
      ++i;
    } else if (b == 0x8F) {
      i += 2;
    } else {
      ++i;
      if (b == 0xA4 || b == 0xA5 || (b >= 0xB0 && b <= 0xCF)) score += 3;
      else if (b == 0xA1) score += 2;
      else if ((b >= 0xD0 && b <= 0xF4) || (b >= 0xA2 && b <= 0xA8)) score += 1;
    }
  }
  return score;
}

// 8-bit text of no known charset that is not UTF-8: EUC-JP when it is
// well-formed EUC-JP and reads more plausibly as Japanese that way than as
// CP932 (which it also may be: every EUC-JP pair is two CP932 half-width
// kana or a CP932 character), else CP932.
bool looksLikeEucJp(std::string_view bytes) {
  if (!wellFormedEucJp(bytes)) return false;
  if (!wellFormedCp932(bytes)) return true;
  return japaneseScoreEucJp(bytes) > japaneseScoreCp932(bytes);
}

// Text without escapes: UTF-8 when it is valid UTF-8, else EUC-JP or CP932
// by looksLikeEucJp.
std::string plainToCp932(std::string_view bytes) {
  if (isAscii(bytes)) {
    std::string out(bytes);
    out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
    return out;
  }
  if (isValidUtf8(bytes)) return utf8ToCp932(bytes);
  std::string utf8;
  if (looksLikeEucJp(bytes) && iconvToUtf8(bytes, "EUC-JP-MS", utf8)) return utf8ToCp932(utf8);
  return checkedCp932(bytes);
}

// The same into UTF-8.
std::string plainToUtf8(std::string_view bytes) {
  if (isAscii(bytes)) {
    std::string out(bytes);
    out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
    return out;
  }
  if (isValidUtf8(bytes)) return std::string(bytes);
  std::string utf8;
  if (looksLikeEucJp(bytes) && iconvToUtf8(bytes, "EUC-JP-MS", utf8)) return utf8;
  return cp932ToUtf8(bytes);
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

namespace {

// The character of well-formed UTF-8 that starts at s[i] (not ASCII) and
// its length in bytes; 0 for a broken, overlong or surrogate sequence.
std::size_t utf8At(std::string_view s, std::size_t i, char32_t& c) {
  const unsigned char b = s[i];
  std::size_t len;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    c = b & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const unsigned char t = s[i + k];
    if ((t & 0xC0) != 0x80) return 0;
    c = (c << 6) | (t & 0x3F);
  }
  if ((len == 3 && c < 0x800) || (len == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  return len;
}

}  // namespace

bool isValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    char32_t c;
    const std::size_t len = utf8At(s, i, c);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

namespace {

// Characters that NFC leaves as they are whatever stands before or after
// them: no combining class, their own composed form, and neither they nor
// the first character of their decomposition ever the second half of a
// composition. Kana and kanji, the full-width forms, the symbols and
// punctuation of Japanese mail, Latin and its accented letters; the
// combining marks, the kana voicing marks U+3099/U+309A, the ideographic
// tone marks, the singletons (Ohm, Angstrom, Kelvin, angle brackets) and the
// compatibility ideographs are not among them. (A test holds this table
// against GLib's own tables.)
constexpr char32_t kComposedAsTheyStand[][2] = {
    {0x2010, 0x205E}, {0x2100, 0x2125}, {0x2127, 0x2129}, {0x212C, 0x2328}, {0x232B, 0x27BF},
    {0x3000, 0x3029}, {0x3030, 0x3098}, {0x309B, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
    {0xFF01, 0xFFEF}};

// Valid UTF-8 whose every character NFC leaves as it stands (ASCII among
// them): most mail, and it needs no normalising, which costs more than the
// rest of its decoding. False also for broken UTF-8. One pass over the text.
bool validAndComposedAsItStands(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    char32_t c;
    const std::size_t len = utf8At(s, i, c);
    if (len == 0) return false;
    // Kanji, kana and the CJK punctuation (but for the tone and voicing
    // marks) first: most of Japanese text.
    const bool common = (c >= 0x4E00 && c <= 0x9FFF) ||
                        (c >= 0x3000 && c <= 0x30FF && !(c >= 0x302A && c <= 0x302F) && c != 0x3099 && c != 0x309A);
    if (!common && !composedAsItStands(c)) return false;
    i += len;
  }
  return true;
}

}  // namespace

bool composedAsItStands(char32_t c) {
  if (c < 0x300) return true;
  for (const auto& r : kComposedAsTheyStand)
    if (c <= r[1]) return c >= r[0];
  return false;
}

namespace {

// Where a long text may be cut for composing it piece by piece: before a
// character that never composes with what stands before it and is no mark
// (ASCII, what composing leaves as it stands, a Hangul leading consonant
// or syllable), so that no composition or reordering crosses the cut.
// Looked for backwards from limit down to from; npos when there is none.
std::size_t composeCut(std::string_view text, std::size_t from, std::size_t limit) {
  for (std::size_t i = limit; i > from; --i) {
    const unsigned char b = text[i];
    if (b < 0x80) return i;
    if ((b & 0xC0) == 0x80) continue;
    char32_t c = 0;
    if (utf8At(text, i, c) == 0) continue;
    if (composedAsItStands(c) || (c >= 0x1100 && c <= 0x1112) || (c >= 0xAC00 && c <= 0xD7A3)) return i;
  }
  return std::string_view::npos;
}

// Composes a text without NULs into out. GLib's composition moves the rest
// of its buffer for each character it composes, so that a long text of many
// such characters (Hangul written as its letters, say) cost its length for
// each: it is given pieces of a bounded size, cut where composing cannot
// cross.
void composeInto(std::string_view text, std::string& out) {
  constexpr std::size_t kPiece = 4096;
  while (!text.empty()) {
    std::size_t take = text.size();
    if (take > kPiece) {
      const std::size_t cut = composeCut(text, kPiece / 2, kPiece);
      if (cut != std::string_view::npos) take = cut;
    }
    const std::string_view piece = text.substr(0, take);
    gchar* n = g_utf8_normalize(piece.data(), static_cast<gssize>(piece.size()), G_NORMALIZE_NFC);
    if (n) {
      out += n;
      g_free(n);
    } else {
      out += piece;
    }
    text.remove_prefix(take);
  }
}

}  // namespace

std::string nfc(std::string_view utf8) {
  if (validAndComposedAsItStands(utf8) || !isValidUtf8(utf8)) return std::string(utf8);
  // GLib stops at a NUL: the text around NULs is composed piece by piece,
  // the NULs kept where they are.
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at <= utf8.size();) {
    std::size_t nul = utf8.find('\0', at);
    if (nul == std::string_view::npos) nul = utf8.size();
    composeInto(utf8.substr(at, nul - at), out);
    if (nul < utf8.size()) out += '\0';
    at = nul + 1;
  }
  return out;
}

namespace {

// Characters a reader shows as nothing (Unicode's default ignorable code
// points): zero-width spaces and joiners, the soft hyphen, the bidi marks,
// embeddings, overrides and isolates, the word joiner and invisible
// operators, variation selectors, the byte order mark, the Hangul fillers,
// tags. Phishing scatters them through words so that filters miss the
// words; CP932 has none of them, and a "?" for each would put marks into
// words where the sender's reader shows none, so they are left out.
bool showsAsNothing(char32_t c) {
  static constexpr char32_t kRanges[][2] = {
      {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
      {0x180B, 0x180F}, {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
      {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3},
      {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF}};
  if (c < 0xAD) return false;
  for (const auto& r : kRanges)
    if (c <= r[1]) return c >= r[0];
  return false;
}

}  // namespace

std::string utf8ToCp932(std::string_view bytesIn) {
  std::string out;
  out.reserve(bytesIn.size());
  if (isAscii(bytesIn)) {
    for (char c : bytesIn)
      if (c) out += c;
    return out;
  }
  // Composed first: a decomposed "ガ" is "ガ" in CP932, not "カ?".
  std::string composed;
  std::string_view bytes = bytesIn;
  if (!validAndComposedAsItStands(bytesIn)) {
    composed = nfc(bytesIn);
    bytes = composed;
  }
  Converter cd("CP932", "UTF-8");
  if (!cd.ok()) return checkedCp932(bytes);
  convertThrough(cd, bytes, out, false, [&](char*& in, std::size_t& inLeft) {
    // A character CP932 has not, or broken UTF-8: one "?" for it; nothing
    // for a character a reader shows as nothing.
    char32_t c = 0;
    if (const std::size_t whole = utf8At(std::string_view(in, inLeft), 0, c); whole > 0 && showsAsNothing(c)) {
      in += whole;
      inLeft -= whole;
      return true;
    }
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
  Converter cd("ISO-2022-JP", "UTF-8");
  if (!cd.ok()) return false;
  out.clear();
  // A character it cannot hold, or holds only approximately, does not fit.
  return convertThrough(cd, bytes, out, true, [](char*&, std::size_t&) { return false; });
}

std::string guessToCp932(std::string_view bytes) {
  if (hasJisEscapes(bytes)) return jisToCp932(bytes);
  return plainToCp932(bytes);
}

namespace {

// Raw 8-bit bytes of a name in the charset a label gives, into UTF-8: false
// when they cannot be text in it (broken sequences, or C1 controls, which
// iconv makes of stray bytes in EUC-JP), or when the label is no help.
bool cleanlyIn(std::string_view bytes, std::string_view charsetName, std::string& utf8) {
  std::string key = keyOf(charsetName);
  switch (familyOf(key)) {
    case Family::ShiftJis:
      if (!wellFormedCp932(bytes)) return false;
      utf8 = cp932ToUtf8(bytes);
      return true;
    case Family::Other:
      break;
    default:
      return false;
  }
  Converter cd("UTF-8", iconvName(key).c_str());
  if (!cd.ok()) return false;
  utf8.clear();
  bool clean = convertThrough(cd, bytes, utf8, false, [](char*&, std::size_t&) { return false; });
  for (std::size_t i = 0; clean && i + 1 < utf8.size(); ++i)
    if (utf8[i] == '\xC2' && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(utf8[i + 1]) <= 0x9F)
      clean = false;
  return clean;
}

}  // namespace

std::string rawHeaderToCp932(std::string_view bytes, std::string_view charset) {
  if (isAscii(bytes)) return toCp932(bytes, charset);
  if (isValidUtf8(bytes)) return utf8ToCp932(bytes);
  std::string utf8;
  if (cleanlyIn(bytes, charset, utf8)) return utf8ToCp932(utf8);
  std::string key = keyOf(charset);
  if (familyOf(key) == Family::ShiftJis || familyOf(key) == Family::Other) return guessToCp932(bytes);
  return toCp932(bytes, charset);
}

std::string guessToUtf8(std::string_view bytes) {
  if (hasJisEscapes(bytes)) return nfc(cp932ToUtf8(jisToCp932(bytes)));
  return nfc(plainToUtf8(bytes));
}

std::string toUtf8(std::string_view bytes, std::string_view charsetName) {
  if (hasJisEscapes(bytes) && isAscii(bytes)) return nfc(cp932ToUtf8(jisToCp932(bytes)));
  std::string key = keyOf(charsetName);
  std::string utf8;
  switch (familyOf(key)) {
    case Family::Unlabelled:
    case Family::Utf8:
      return guessToUtf8(bytes);
    case Family::Jis:
      return nfc(cp932ToUtf8(jisToCp932(bytes)));
    case Family::ShiftJis:
      return nfc(cp932ToUtf8(bytes));
    case Family::Utf7:
      if (!iconvToUtf8(bytes, "UTF-7", utf8)) return guessToUtf8(bytes);
      return nfc(utf8);
    case Family::Other:
      break;
  }
  if (isAscii(bytes)) return plainToUtf8(bytes);
  if (!iconvToUtf8(bytes, iconvName(key).c_str(), utf8)) return guessToUtf8(bytes);
  return nfc(utf8);
}

std::string rawHeaderToUtf8(std::string_view bytes, std::string_view charset) {
  if (isAscii(bytes)) return toUtf8(bytes, charset);
  if (isValidUtf8(bytes)) return nfc(bytes);
  std::string utf8;
  if (cleanlyIn(bytes, charset, utf8)) return nfc(utf8);
  std::string key = keyOf(charset);
  if (familyOf(key) == Family::ShiftJis || familyOf(key) == Family::Other) return guessToUtf8(bytes);
  return toUtf8(bytes, charset);
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
    case Family::Utf7: {
      // 7-bit, so never left as it is for being ASCII.
      std::string utf8;
      if (!iconvToUtf8(bytes, "UTF-7", utf8)) return guessToCp932(bytes);
      return utf8ToCp932(utf8);
    }
    case Family::Other:
      break;
  }
  if (isAscii(bytes)) return plainToCp932(bytes);
  std::string utf8;
  if (!iconvToUtf8(bytes, iconvName(key).c_str(), utf8)) return guessToCp932(bytes);
  return utf8ToCp932(utf8);
}

}  // namespace nmail::charset
