#include "text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace nmail::text {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string trimCharset(std::string_view cs) {
  std::string s = lower(cs);
  auto star = s.find('*');  // RFC 2231 language suffix
  if (star != std::string::npos) s.resize(star);
  s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '"' || c == ' ' || c == '\t'; }),
          s.end());
  return s;
}

// Length of the UTF-8 sequence opened by b (1 for a stray byte).
std::size_t utf8Length(unsigned char b) {
  if (b < 0xC0) return 1;
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  return 4;
}

// Any charset to UTF-8 through iconv. Broken input becomes U+FFFD and the
// conversion goes on with the next byte. False when iconv knows no charset
// of that name.
bool iconvToUtf8(std::string_view bytes, const char* charset, std::string& out) {
  iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  out.reserve(bytes.size() * 3 / 2 + 16);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char chunk[8192];
  while (inLeft > 0) {
    char* o = chunk;
    std::size_t oLeft = sizeof chunk;
    std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(chunk, o - chunk);
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      out += kReplacement;  // EILSEQ or EINVAL (cut at the end)
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* o = chunk;
  std::size_t oLeft = sizeof chunk;
  iconv(cd, nullptr, nullptr, &o, &oLeft);
  out.append(chunk, o - chunk);
  iconv_close(cd);
  return true;
}

// CP932 bytes checked: every broken sequence becomes "?", NUL is dropped.
std::string sanitizeCp932(std::string_view bytes) {
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

// ISO-2022-JP (with the usual extensions: JIS X 0201 kana by escape or
// SO/SI, the NEC rows of CP932) straight to CP932, two-byte codes by
// arithmetic. Sets it cannot map give "?".
std::string iso2022jpToCp932(std::string_view bytes) {
  enum Mode { Ascii, Kana, Jis, Other2, Other1 } mode = Ascii;
  bool shifted = false;  // SO: kana until SI
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    unsigned char b = bytes[i];
    if (b == 0x1B) {
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
    if (b == 0x0E) {
      shifted = true;
      ++i;
      continue;
    }
    if (b == 0x0F) {
      shifted = false;
      ++i;
      continue;
    }
    if (b == '\r' || b == '\n') {
      mode = Ascii;
      shifted = false;
      out += static_cast<char>(b);
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
    } else if (mode == Ascii) {
      out += static_cast<char>(b);
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
      if (s1 > 0xFC) {
        out += '?';
        continue;
      }
      out += static_cast<char>(s1);
      out += static_cast<char>(s2);
    }
  }
  return out;
}

bool looksIso2022jp(std::string_view bytes) {
  return bytes.find("\x1B$B") != std::string_view::npos ||
         bytes.find("\x1B$@") != std::string_view::npos ||
         bytes.find("\x1B(I") != std::string_view::npos;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string qDecode(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '_') {
      out += ' ';
    } else if (c == '=' && i + 2 < s.size() + 0 && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

bool allBlank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// One RFC 2047 word at s[pos] ("=?charset?B?text?="); false when there is
// none. end: index after "?=".
bool parseWord(std::string_view s, std::size_t pos, std::string& charset, std::string& bytes,
               std::size_t& end) {
  if (s.substr(pos, 2) != "=?") return false;
  std::size_t q1 = s.find('?', pos + 2);
  if (q1 == std::string_view::npos || q1 == pos + 2 || q1 - pos > 80) return false;
  std::string_view cs = s.substr(pos + 2, q1 - pos - 2);
  if (cs.find_first_of(" \t()<>@,;:\"/[]=") != std::string_view::npos) return false;
  if (q1 + 2 >= s.size() || s[q1 + 2] != '?') return false;
  char enc = s[q1 + 1];
  if (enc != 'B' && enc != 'b' && enc != 'Q' && enc != 'q') return false;
  std::size_t textStart = q1 + 3;
  // Words are short (75 characters by the rules); look no further than a
  // generous bound so that a header full of "=?" stays linear.
  std::size_t close = s.substr(0, std::min(s.size(), textStart + 1024)).find("?=", textStart);
  if (close == std::string_view::npos) return false;
  std::string_view body = s.substr(textStart, close - textStart);
  if (body.find_first_of(" \t") != std::string_view::npos && (enc == 'B' || enc == 'b')) return false;
  charset = trimCharset(cs);
  bytes = (enc == 'B' || enc == 'b') ? base64Decode(body) : qDecode(body);
  end = close + 2;
  return true;
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
  if (cd == reinterpret_cast<iconv_t>(-1)) return sanitizeCp932(bytes);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char chunk[8192];
  while (inLeft > 0) {
    char* o = chunk;
    std::size_t oLeft = sizeof chunk;
    std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(chunk, o - chunk);
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // A character CP932 has not, or broken UTF-8: one "?" for it.
      std::size_t len = std::min(utf8Length(static_cast<unsigned char>(*in)), inLeft);
      if (len > 1) {
        for (std::size_t k = 1; k < len; ++k)
          if ((static_cast<unsigned char>(in[k]) & 0xC0) != 0x80) {
            len = k;
            break;
          }
      }
      out += '?';
      in += len;
      inLeft -= len;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
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
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char chunk[8192];
  bool ok = true;
  while (inLeft > 0) {
    char* o = chunk;
    std::size_t oLeft = sizeof chunk;
    std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(chunk, o - chunk);
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      ok = false;
      break;
    }
    if (r > 0) {  // irreversible conversions count as not fitting
      ok = false;
      break;
    }
  }
  if (ok) {
    char* o = chunk;
    std::size_t oLeft = sizeof chunk;
    iconv(cd, nullptr, nullptr, &o, &oLeft);
    out.append(chunk, o - chunk);
  }
  iconv_close(cd);
  return ok;
}

std::string unknownToCp932(std::string_view bytes) {
  if (looksIso2022jp(bytes)) return iso2022jpToCp932(bytes);
  if (isValidUtf8(bytes)) return utf8ToCp932(bytes);
  return sanitizeCp932(bytes);
}

std::string toCp932(std::string_view bytes, std::string_view charsetName) {
  std::string cs = trimCharset(charsetName);
  if (cs.rfind("iso-2022-jp", 0) == 0 || cs == "csiso2022jp" || cs == "cp50220" || cs == "cp50221" ||
      cs == "cp50222" || cs == "jis")
    return iso2022jpToCp932(bytes);
  if (cs == "shift_jis" || cs == "shift-jis" || cs == "sjis" || cs == "x-sjis" || cs == "cp932" ||
      cs == "windows-31j" || cs == "ms932" || cs == "ms_kanji" || cs == "csshiftjis" ||
      cs == "x-ms-cp932" || cs == "ibm-943" || cs == "shift_jisx0213" || cs == "cswindows31j")
    return looksIso2022jp(bytes) ? iso2022jpToCp932(bytes) : sanitizeCp932(bytes);
  if (cs.empty() || cs == "us-ascii" || cs == "ascii" || cs == "unknown-8bit" || cs == "x-unknown" ||
      cs == "default" || cs == "x-user-defined")
    return unknownToCp932(bytes);
  if (cs == "utf-8" || cs == "utf8") return unknownToCp932(bytes);  // mislabelled text too
  std::string iconvName = cs;
  if (cs == "euc-jp" || cs == "x-euc-jp" || cs == "eucjp" || cs == "euc_jp" || cs == "cseucpkdfmtjapanese")
    iconvName = "EUC-JP-MS";
  else if (cs == "iso-8859-1" || cs == "latin1" || cs == "iso8859-1")
    iconvName = "WINDOWS-1252";
  std::string utf8;
  if (!iconvToUtf8(bytes, iconvName.c_str(), utf8)) return unknownToCp932(bytes);
  return utf8ToCp932(utf8);
}

std::string_view cutCp932(std::string_view bytes, std::size_t width) {
  if (bytes.size() <= width) {
    // Still never end on a lone lead byte cut off by the end of the text.
    std::size_t i = 0;
    while (i < bytes.size()) {
      std::size_t len = isLead(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
      if (i + len > bytes.size()) break;
      i += len;
    }
    return bytes.substr(0, i);
  }
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t len = isLead(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
    if (i + len > width || i + len > bytes.size()) break;
    i += len;
  }
  return bytes.substr(0, i);
}

void copyOut(char* buf, std::size_t cap, std::string_view text) {
  if (!buf || cap == 0) return;
  std::string_view cut = cutCp932(text, cap - 1);
  std::memcpy(buf, cut.data(), cut.size());
  buf[cut.size()] = '\0';
}

std::string unfold(std::string_view v) {
  std::string out;
  out.reserve(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) {
    char c = v[i];
    if (c == '\r' || c == '\n') {
      // A line end: drop it; the blank that follows (if any) stays.
      continue;
    }
    out += c;
  }
  return out;
}

std::string decodeHeader(std::string_view raw) {
  std::string s = unfold(raw);
  std::string out;
  std::string pendingCharset, pendingBytes;
  bool havePending = false;
  auto flush = [&] {
    if (havePending) out += toCp932(pendingBytes, pendingCharset);
    havePending = false;
    pendingBytes.clear();
  };
  bool lastWasWord = false;
  std::size_t i = 0, plainStart = 0;
  while (true) {
    std::size_t p = s.find("=?", i);
    if (p == std::string::npos) break;
    std::string cs, bytes;
    std::size_t end;
    if (!parseWord(s, p, cs, bytes, end)) {
      i = p + 2;
      continue;
    }
    std::string_view between(s.data() + plainStart, p - plainStart);
    if (!(lastWasWord && allBlank(between))) {
      flush();
      out += unknownToCp932(between);
    }
    if (havePending && cs == pendingCharset) {
      pendingBytes += bytes;
    } else {
      flush();
      pendingCharset = cs;
      pendingBytes = bytes;
      havePending = true;
    }
    lastWasWord = true;
    i = plainStart = end;
  }
  std::string_view rest(s.data() + plainStart, s.size() - plainStart);
  flush();
  if (!(lastWasWord && allBlank(rest))) out += unknownToCp932(rest);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  std::size_t b = out.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  std::size_t e = out.find_last_not_of(' ');
  return out.substr(b, e - b + 1);
}

std::string base64Encode(std::string_view bytes, std::size_t lineLength) {
  static const char tbl[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(bytes.size() * 4 / 3 + bytes.size() / 57 * 2 + 8);
  std::size_t col = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    if (n > 1) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (n > 2) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += tbl[(v >> 18) & 63];
    out += tbl[(v >> 12) & 63];
    out += n > 1 ? tbl[(v >> 6) & 63] : '=';
    out += n > 2 ? tbl[v & 63] : '=';
    col += 4;
    if (lineLength && col >= lineLength && i + 3 < bytes.size()) {
      out += "\r\n";
      col = 0;
    }
  }
  return out;
}

std::string base64Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3 / 4);
  unsigned v = 0;
  int bits = 0;
  for (char c : text) {
    int d;
    if (c >= 'A' && c <= 'Z') d = c - 'A';
    else if (c >= 'a' && c <= 'z') d = c - 'a' + 26;
    else if (c >= '0' && c <= '9') d = c - '0' + 52;
    else if (c == '+' || c == '-') d = 62;
    else if (c == '/' || c == '_') d = 63;
    else if (c == '=') break;
    else continue;
    v = (v << 6) | d;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((v >> bits) & 0xFF);
    }
  }
  return out;
}

std::string encodeHeader(std::string_view utf8, std::size_t firstLineUsed) {
  bool plain = isAscii(utf8) && utf8.find("=?") == std::string_view::npos &&
               std::none_of(utf8.begin(), utf8.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
  if (plain && utf8.size() + firstLineUsed <= 900) return std::string(utf8);
  std::string whole;
  bool jis = utf8ToIso2022jp(utf8, whole);
  const std::string prefix = jis ? "=?ISO-2022-JP?B?" : "=?UTF-8?B?";
  auto encodedLength = [&](std::string_view chunk) {
    std::size_t n = chunk.size();
    if (jis) {
      std::string e;
      utf8ToIso2022jp(chunk, e);
      n = e.size();
    }
    return prefix.size() + (n + 2) / 3 * 4 + 2;
  };
  auto encodeWord = [&](std::string_view chunk) {
    std::string bytes(chunk);
    if (jis) utf8ToIso2022jp(chunk, bytes);
    return prefix + base64Encode(bytes, 0) + "?=";
  };
  std::string out;
  std::size_t limit = firstLineUsed < 46 ? 76 - firstLineUsed : 30;
  std::size_t start = 0, i = 0;
  while (i < utf8.size()) {
    std::size_t len = std::min(utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    if (i > start && encodedLength(utf8.substr(start, i + len - start)) > limit) {
      if (!out.empty()) out += "\r\n ";
      out += encodeWord(utf8.substr(start, i - start));
      start = i;
      limit = 75;
    }
    i += len;
  }
  if (i > start || out.empty()) {
    if (!out.empty()) out += "\r\n ";
    out += encodeWord(utf8.substr(start, i - start));
  }
  return out;
}

std::string toCrlf(std::string_view t) {
  std::string out;
  out.reserve(t.size() + t.size() / 32 + 2);
  for (std::size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < t.size() && t[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace nmail::text
