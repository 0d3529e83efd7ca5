// Header texts: RFC 2047 encoded words decoded, folded lines unfolded, texts
// cut to a width in CP932 bytes without splitting a double-byte character,
// and copied into the caller's buffers. The header fields themselves are
// found by the MIME reading.

#include "text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <vector>
#include <string>

#include "charset.h"

namespace nmail::text {
namespace {

using charset::isAscii;
using charset::isLead;

// Length of the UTF-8 sequence opened by b (1 for a stray byte).
std::size_t utf8Length(unsigned char b) {
  if (b < 0xC0) return 1;
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  return 4;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
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
  std::string joined;
  if (body.find_first_of(" \t") != std::string_view::npos && (enc == 'B' || enc == 'b')) {
    // A word folded in its middle, as some phones write it: the blanks of
    // the fold are no part of it. Anything else than base64 is no word.
    for (char c : body) {
      if (c == ' ' || c == '\t') continue;
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=') return false;
      joined += c;
    }
    body = joined;
  }
  charset = lower(cs);
  bytes = (enc == 'B' || enc == 'b') ? base64Decode(body) : qDecode(body);
  end = close + 2;
  return true;
}

}  // namespace

std::string_view cutCp932(std::string_view bytes, std::size_t width) {
  // Only the end of the cut needs a look: a byte that cannot lead ends a
  // character (as a single byte or as a trail), and the lead-range bytes
  // after it pair up from there. An odd one out at the cut is a lead byte
  // whose trail lies beyond it.
  const std::size_t end = std::min(width, bytes.size());
  std::size_t run = 0;
  while (run < end && isLead(static_cast<unsigned char>(bytes[end - 1 - run]))) ++run;
  return bytes.substr(0, run % 2 == 1 ? end - 1 : end);
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

namespace {

// RFC 2047 words decoded, adjacent words of one charset joined as bytes
// first (a character may be split between two words, and ISO-2022-JP
// mailers split long names into many words); the text outside words in
// plainCharset (by trial when it names none), valid UTF-8 as UTF-8.
// utf8: the text comes out in UTF-8 (for names that keep every
// character), else in CP932.
std::string decodeWords(std::string_view raw, std::string_view plainCharset, bool utf8 = false) {
  std::string s = unfold(raw);
  std::string out;
  std::string pendingCharset, pendingBytes;
  bool havePending = false;
  auto flush = [&] {
    if (havePending)
      out += utf8 ? charset::toUtf8(pendingBytes, pendingCharset) : charset::toCp932(pendingBytes, pendingCharset);
    havePending = false;
    pendingBytes.clear();
  };
  auto plain = [&](std::string_view t) {
    out += utf8 ? charset::rawHeaderToUtf8(t, plainCharset) : charset::rawHeaderToCp932(t, plainCharset);
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
      plain(between);
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
  if (!(lastWasWord && allBlank(rest))) plain(rest);
  return out;
}

std::string blanksForControls(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return s;
}

std::string trimBlanks(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  std::size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string percentDecode(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// One parameter as written: its name (lower case, without the RFC 2231
// section and star), section number (-1 for none), whether the value is
// extended (charset'language'%XX), and the value with quotes undone.
struct RawParameter {
  std::string name;
  int section = -1;
  bool extended = false;
  std::string value;
};

// The quoted string that opens at v[j] ('"'), its quotes and escapes
// undone; j ends past the closing quote. Inside it, a backslash is a
// backslash escape only where it is a character of its own: the second byte
// of a raw Shift_JIS character (表, ソ, 予, ... end in 0x5C) belongs to that
// character, and so does every byte written in ISO-2022-JP's two-byte or kana mode.
std::string quotedString(const std::string& v, std::size_t& j, bool shiftJis) {
  std::string value;
  bool jisTwoByte = false;
  for (++j; j < v.size(); ++j) {
    unsigned char c = static_cast<unsigned char>(v[j]);
    if (c == 0x1B && j + 2 < v.size()) {
      jisTwoByte = !(v[j + 1] == '(' && (v[j + 2] == 'B' || v[j + 2] == 'J' || v[j + 2] == 'H'));
      value += v[j];
      continue;
    }
    if (jisTwoByte && c >= 0x21 && c <= 0x7E) {
      value += v[j];
      continue;
    }
    if (shiftJis && isLead(c) && j + 1 < v.size()) {
      unsigned char t = static_cast<unsigned char>(v[j + 1]);
      if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) {
        value += v[j];
        value += v[++j];
        continue;
      }
    }
    if (c == '"') break;
    if (c == '\\' && j + 1 < v.size()) ++j;
    value += v[j];
  }
  if (j < v.size()) ++j;  // past the closing quote
  return value;
}

std::vector<RawParameter> splitParameters(std::string_view fieldValue) {
  std::string v = unfold(fieldValue);
  std::vector<RawParameter> out;
  // Raw bytes that are not UTF-8 may be Shift_JIS with 0x5C in its
  // characters (UTF-8 never has a byte of 0x80 or more before a backslash
  // or quote of its own).
  const bool shiftJis = !charset::isAscii(v) && !charset::isValidUtf8(v);
  // The media type or disposition comes first; a value that begins with a
  // parameter (name="a.pdf" with no type before it) has none.
  std::size_t i = v.find(';');
  {
    std::string_view first = std::string_view(v).substr(0, i == std::string::npos ? v.size() : i);
    if (first.find('=') != std::string_view::npos && first.find('/') == std::string_view::npos) {
      v.insert(0, ";");
      i = 0;
    }
  }
  while (i != std::string::npos && i < v.size()) {
    ++i;  // past ';'
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) ++i;
    std::size_t eq = i;
    while (eq < v.size() && v[eq] != '=' && v[eq] != ';') ++eq;
    if (eq >= v.size() || v[eq] == ';') {
      i = eq < v.size() ? eq : std::string::npos;
      continue;
    }
    std::string name = lower(v.substr(i, eq - i));
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    std::size_t j = eq + 1;
    while (j < v.size() && (v[j] == ' ' || v[j] == '\t')) ++j;
    std::string value;
    if (j < v.size() && v[j] == '"') {
      value = quotedString(v, j, shiftJis);
      // Text after the closing quote (a stray quote around an encoded
      // word: ""=?...?="") is still the value's.
      std::string rest;
      for (; j < v.size() && v[j] != ';'; ++j)
        if (v[j] != '"') rest += v[j];
      std::size_t b = rest.find_first_not_of(" \t");
      if (b != std::string::npos) {
        std::size_t e = rest.find_last_not_of(" \t");
        value += rest.substr(b, e - b + 1);
      }
    } else {
      std::size_t k = j;
      while (k < v.size() && v[k] != ';') ++k;
      value = v.substr(j, k - j);
      // A quote is no part of a bare value (a stray one: name==?...?=").
      value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
      j = k;
    }
    RawParameter p;
    p.value = std::move(value);
    if (!name.empty() && name.back() == '*') {
      p.extended = true;
      name.pop_back();
    }
    auto star = name.find('*');
    if (star != std::string::npos) {
      std::string number = name.substr(star + 1);
      name.resize(star);
      if (!number.empty() && number.size() <= 4 &&
          std::all_of(number.begin(), number.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        p.section = std::stoi(number);
      else
        p.section = -2;  // a broken name: never joined
    }
    p.name = std::move(name);
    if (!p.name.empty()) out.push_back(std::move(p));
    i = j < v.size() ? j : std::string::npos;
  }
  return out;
}

}  // namespace

std::string decodeHeader(std::string_view raw) { return trimBlanks(blanksForControls(decodeWords(raw, ""))); }

std::string decodeHeaderUtf8(std::string_view raw) {
  return trimBlanks(blanksForControls(decodeWords(raw, "", true)));
}

namespace {

std::string parameterIn(std::string_view fieldValue, std::string_view name, std::string_view partCharset,
                        bool* found, bool utf8) {
  const std::string want = lower(name);
  std::vector<RawParameter> all = splitParameters(fieldValue);
  if (found) *found = false;
  // RFC 2231 first: name*= or the sections name*0, name*1, ... in order.
  std::map<int, const RawParameter*> sections;
  const RawParameter* single = nullptr;
  for (const auto& p : all) {
    if (p.name != want) continue;
    if (p.section >= 0) sections.emplace(p.section, &p);
    else if (p.section == -1 && p.extended && !single) single = &p;
  }
  std::string bytes, cs;
  bool haveExtended = false;
  auto take = [&](const RawParameter& p, bool first) {
    std::string_view v = p.value;
    if (p.extended && first) {
      auto q1 = v.find('\'');
      auto q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
      if (q2 != std::string_view::npos) {
        cs = std::string(v.substr(0, q1));
        v = v.substr(q2 + 1);
      }
    }
    bytes += p.extended ? percentDecode(v) : std::string(v);
    haveExtended |= p.extended;
  };
  if (single) {
    take(*single, true);
  } else if (!sections.empty() && sections.begin()->first == 0) {
    int expect = 0;
    for (auto& [k, p] : sections) {
      if (k != expect++) break;  // a gap ends the value
      take(*p, k == 0);
    }
  }
  if (haveExtended || !sections.empty()) {
    if (found) *found = true;
    // A charset the value declares holds; an unextended continuation may
    // still carry RFC 2047 words.
    std::string text = !cs.empty()     ? (utf8 ? charset::toUtf8(bytes, cs) : charset::toCp932(bytes, cs))
                       : haveExtended ? (utf8 ? charset::rawHeaderToUtf8(bytes, partCharset)
                                              : charset::rawHeaderToCp932(bytes, partCharset))
                                      : decodeWords(bytes, partCharset, utf8);
    return trimBlanks(blanksForControls(text));
  }
  for (const auto& p : all) {
    if (p.name != want || p.section != -1) continue;
    if (found) *found = true;
    return trimBlanks(blanksForControls(decodeWords(p.value, partCharset, utf8)));
  }
  return std::string();
}

}  // namespace

std::string parameter(std::string_view fieldValue, std::string_view name, std::string_view partCharset,
                      bool* found) {
  return parameterIn(fieldValue, name, partCharset, found, false);
}

std::string parameterUtf8(std::string_view fieldValue, std::string_view name, std::string_view partCharset,
                          bool* found) {
  return parameterIn(fieldValue, name, partCharset, found, true);
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

namespace {

// The value of every byte in base64 text: 0 to 63, kSkip for a byte
// outside the alphabet, kEnd for "=". The URL-safe alphabet takes "-" and
// "_" as well.
constexpr signed char kSkip = -1, kEnd = -2;
struct Base64Values {
  signed char v[2][256];
  constexpr Base64Values() : v() {
    for (int safe = 0; safe < 2; ++safe) {
      for (int c = 0; c < 256; ++c) v[safe][c] = kSkip;
      for (int c = 'A'; c <= 'Z'; ++c) v[safe][c] = static_cast<signed char>(c - 'A');
      for (int c = 'a'; c <= 'z'; ++c) v[safe][c] = static_cast<signed char>(c - 'a' + 26);
      for (int c = '0'; c <= '9'; ++c) v[safe][c] = static_cast<signed char>(c - '0' + 52);
      v[safe]['+'] = 62;
      v[safe]['/'] = 63;
      v[safe]['='] = kEnd;
    }
    v[1]['-'] = 62;
    v[1]['_'] = 63;
  }
};
constexpr Base64Values kBase64Values;

}  // namespace

void Base64Decoder::feed(std::string_view text, std::string& out) {
  if (ended_) return;
  const signed char* values = kBase64Values.v[urlSafe_ ? 1 : 0];
  const std::size_t was = out.size();
  out.resize(was + text.size() / 4 * 3 + 3);
  char* to = out.data() + was;
  unsigned v = v_;
  int bits = bits_;
  for (char c : text) {
    const int d = values[static_cast<unsigned char>(c)];
    if (d < 0) {
      if (d == kEnd) {
        ended_ = true;
        break;
      }
      continue;
    }
    v = (v << 6) | static_cast<unsigned>(d);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      *to++ = static_cast<char>((v >> bits) & 0xFF);
    }
  }
  v_ = v;
  bits_ = bits;
  out.resize(static_cast<std::size_t>(to - out.data()));
}

namespace {

// Every whole byte of base64 text, up to its first "=" and over anything
// outside the alphabet. urlSafe takes "-" and "_" for "+" and "/" as well.
std::string base64Bytes(std::string_view text, bool urlSafe) {
  std::string out;
  out.reserve(text.size() * 3 / 4);
  Base64Decoder d(urlSafe);
  d.feed(text, out);
  return out;
}

}  // namespace

std::string base64Decode(std::string_view text) { return base64Bytes(text, true); }

std::string base64DecodeBody(std::string_view text) { return base64Bytes(text, false); }

namespace {

// The next line of text from at (its line end left off), at moved past it.
bool nextLine(std::string_view text, std::size_t& at, std::string_view& line) {
  if (at >= text.size()) return false;
  std::size_t nl = text.find('\n', at);
  line = text.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  at = nl == std::string_view::npos ? text.size() : nl + 1;
  return true;
}

}  // namespace

std::size_t uuDataStart(std::string_view text, bool* found) {
  if (found) *found = false;
  // "begin <octal mode> <name>".
  std::size_t at = 0;
  std::string_view l;
  bool begun = false;
  while (!begun && nextLine(text, at, l)) {
    if (l.substr(0, 6) != "begin ") continue;
    std::size_t m = 6;
    while (m < l.size() && l[m] == ' ') ++m;
    std::size_t digits = m;
    while (m < l.size() && l[m] >= '0' && l[m] <= '7') ++m;
    begun = m > digits && (m == l.size() || l[m] == ' ');
  }
  if (!begun) return text.size();
  if (found) *found = true;
  // A begin line folded by a mailer goes on in lines that begin with a
  // blank and are no line of data (a line of data says its length first).
  auto isData = [](std::string_view d) {
    if (d.empty()) return false;
    int n = (d[0] - 0x20) & 0x3F;
    return n > 0 && d.size() >= static_cast<std::size_t>(1 + (n + 2) / 3 * 4) - 1;
  };
  for (std::size_t before = at; nextLine(text, at, l); before = at) {
    if (l.empty() || (l[0] != ' ' && l[0] != '\t') || isData(l)) return before;
  }
  return text.size();
}

bool uuDecodeLines(std::string_view lines, std::string& out) {
  std::size_t at = 0;
  std::string_view l;
  while (nextLine(lines, at, l)) {
    std::size_t e = l.find_last_not_of(" \t");
    if (e != std::string_view::npos && l.substr(0, e + 1) == "end") return false;
    if (l.empty()) continue;
    int n = (l[0] - 0x20) & 0x3F;  // bytes on this line; a blank or "`" for none
    std::size_t got = 0;
    for (std::size_t i = 1; got < static_cast<std::size_t>(n) && i < l.size(); i += 4) {
      unsigned char c[4];
      for (int q = 0; q < 4; ++q)
        c[q] = i + q < l.size() ? static_cast<unsigned char>((l[i + q] - 0x20) & 0x3F) : 0;
      unsigned char b[3] = {static_cast<unsigned char>(c[0] << 2 | c[1] >> 4),
                            static_cast<unsigned char>(c[1] << 4 | c[2] >> 2),
                            static_cast<unsigned char>(c[2] << 6 | c[3])};
      for (int q = 0; q < 3 && got < static_cast<std::size_t>(n); ++q, ++got) out += static_cast<char>(b[q]);
    }
  }
  return true;
}

std::string uuDecode(std::string_view text, bool* found) {
  bool begun = false;
  const std::size_t at = uuDataStart(text, &begun);
  if (found) *found = begun;
  std::string out;
  if (!begun) return out;
  out.reserve((text.size() - at) / 4 * 3 + 64);
  uuDecodeLines(text.substr(at), out);
  return out;
}

std::string encodeHeader(std::string_view utf8, std::size_t firstLineUsed) {
  bool plain = isAscii(utf8) && utf8.find("=?") == std::string_view::npos &&
               std::none_of(utf8.begin(), utf8.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
  if (plain && utf8.size() + firstLineUsed <= 900) return std::string(utf8);
  std::string whole;
  bool jis = charset::utf8ToIso2022jp(utf8, whole);
  const std::string prefix = jis ? "=?ISO-2022-JP?B?" : "=?UTF-8?B?";
  auto encodedLength = [&](std::string_view chunk) {
    std::size_t n = chunk.size();
    if (jis) {
      std::string e;
      charset::utf8ToIso2022jp(chunk, e);
      n = e.size();
    }
    return prefix.size() + (n + 2) / 3 * 4 + 2;
  };
  auto encodeWord = [&](std::string_view chunk) {
    std::string bytes(chunk);
    if (jis) charset::utf8ToIso2022jp(chunk, bytes);
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
