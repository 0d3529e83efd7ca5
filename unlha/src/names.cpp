#include "names.h"

#include <iconv.h>

#include <cerrno>

namespace unlha::names {

namespace {

// Converts with iconv; a sequence the conversion refuses is skipped (the
// input by skipLength bytes) and replaced by the given byte.
std::string convert(const char* to, const char* from, std::string_view in, char replacement,
                    std::size_t (*skipLength)(std::string_view rest)) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::string out(in);
    return out;
  }
  std::string out;
  out.reserve(in.size() * 2);
  char buf[256];
  std::size_t pos = 0;
  while (pos < in.size()) {
    char* ip = const_cast<char*>(in.data() + pos);
    std::size_t il = in.size() - pos;
    char* op = buf;
    std::size_t ol = sizeof buf;
    const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buf, static_cast<std::size_t>(op - buf));
    pos = static_cast<std::size_t>(ip - in.data());
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: one unconvertible (or cut) character.
      out.push_back(replacement);
      pos += skipLength(in.substr(pos));
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::size_t utf8Length(std::string_view s) {
  const auto b = static_cast<unsigned char>(s[0]);
  std::size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  if (n > s.size()) n = s.size();
  for (std::size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return i;
  return n;
}

std::size_t cp932Length(std::string_view s) {
  const auto b = static_cast<unsigned char>(s[0]);
  const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  return lead && s.size() >= 2 ? 2 : 1;
}

}  // namespace

std::string toArchive(std::string_view utf8) { return convert("CP932", "UTF-8", utf8, '?', utf8Length); }

std::string fromArchive(std::string_view cp932) {
  return convert("UTF-8", "CP932", cp932, '_', [](std::string_view rest) -> std::size_t {
    // A lead byte whose partner is no trail byte: skip the lead byte alone.
    if (rest.size() >= 2) {
      const auto t = static_cast<unsigned char>(rest[1]);
      if (!((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC))) return 1;
    }
    return cp932Length(rest);
  });
}

}  // namespace unlha::names
