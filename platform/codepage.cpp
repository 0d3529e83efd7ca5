#include "codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace cp932 {
namespace {

// One conversion descriptor per direction and thread, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv_open failed: ") + from + " -> " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  iconv_t get() {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    return cd_;
  }

 private:
  iconv_t cd_;
};

Converter& toCp932() {
  thread_local Converter c("CP932", "UTF-16LE");
  return c;
}
Converter& fromCp932() {
  thread_local Converter c("UTF-16LE", "CP932");
  return c;
}

bool isAscii(const char16_t* p, qsizetype n) {
  for (qsizetype i = 0; i < n; ++i)
    if (p[i] >= 0x80) return false;
  return true;
}

// Encodes; returns the number of characters replaced by "?".
std::size_t encodeInto(const QString& text, std::string& out) {
  out.clear();
  const qsizetype n = text.size();
  if (n == 0) return 0;
  const char16_t* src = reinterpret_cast<const char16_t*>(text.utf16());
  if (isAscii(src, n)) {  // fast path: ASCII is the same in CP932
    out.resize(static_cast<std::size_t>(n));
    for (qsizetype i = 0; i < n; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(src[i]);
    return 0;
  }
  std::size_t bad = 0;
  iconv_t cd = toCp932().get();
  out.resize(static_cast<std::size_t>(n) * 2 + 8);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(src));
  std::size_t inLeft = static_cast<std::size_t>(n) * 2;
  char* o = out.data();
  std::size_t outLeft = out.size();
  while (inLeft > 0) {
    std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      std::size_t used = static_cast<std::size_t>(o - out.data());
      out.resize(out.size() * 2);
      o = out.data() + used;
      outLeft = out.size() - used;
      continue;
    }
    // EILSEQ (no CP932 form) or EINVAL (a lone surrogate at the end):
    // one "?" for the whole character.
    if (outLeft < 1) {
      std::size_t used = static_cast<std::size_t>(o - out.data());
      out.resize(out.size() * 2);
      o = out.data() + used;
      outLeft = out.size() - used;
    }
    *o++ = '?';
    --outLeft;
    ++bad;
    char16_t c = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                       (static_cast<unsigned char>(in[1]) << 8));
    std::size_t skip = 2;
    if (c >= 0xD800 && c <= 0xDBFF && inLeft >= 4) {
      char16_t c2 = static_cast<char16_t>(static_cast<unsigned char>(in[2]) |
                                          (static_cast<unsigned char>(in[3]) << 8));
      if (c2 >= 0xDC00 && c2 <= 0xDFFF) skip = 4;
    }
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return bad;
}

}  // namespace

std::string encode(const QString& text) {
  std::string out;
  encodeInto(text, out);
  return out;
}

bool canEncode(const QString& text) {
  std::string out;
  return encodeInto(text, out) == 0;
}

std::size_t byteLength(const QString& text) { return encode(text).size(); }

QString decode(std::string_view bytes) {
  if (bytes.empty()) return QString();
  bool ascii = true;
  for (char ch : bytes)
    if (static_cast<unsigned char>(ch) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));

  iconv_t cd = fromCp932().get();
  std::vector<char16_t> out(bytes.size() + 4);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* o = reinterpret_cast<char*>(out.data());
  std::size_t outLeft = out.size() * 2;
  while (inLeft > 0) {
    std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {  // cannot happen: one byte gives at most one unit
      break;
    }
    // EILSEQ or EINVAL: one replacement character for the offending
    // character: a lead byte with a trail byte after it is one (unassigned)
    // double-byte character, any other byte stands alone.
    if (outLeft < 2) break;
    const char16_t rep = 0xFFFD;
    std::memcpy(o, &rep, 2);
    o += 2;
    outLeft -= 2;
    const std::size_t skip =
        inLeft >= 2 && isLeadByte(static_cast<unsigned char>(in[0])) && isTrailByte(static_cast<unsigned char>(in[1]))
            ? 2
            : 1;
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  const qsizetype units = static_cast<qsizetype>((o - reinterpret_cast<char*>(out.data())) / 2);
  return QString(reinterpret_cast<const QChar*>(out.data()), units);
}

std::string_view cut(std::string_view bytes, std::size_t width) {
  if (bytes.size() <= width) return bytes;
  std::size_t i = 0;
  while (i < width) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    std::size_t len = (isLeadByte(b) && i + 1 < bytes.size()) ? 2 : 1;
    if (i + len > width) break;
    i += len;
  }
  return bytes.substr(0, i);
}

std::string fieldBytes(std::string_view bytes, std::size_t width) {
  std::string f(cut(bytes, width));
  f.resize(width, ' ');
  return f;
}

std::string field(const QString& text, std::size_t width) { return fieldBytes(encode(text), width); }

}  // namespace cp932
