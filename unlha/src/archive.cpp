#include "archive.h"

#include <sys/stat.h>

#include <array>
#include <cstring>
#include <ctime>

namespace unlha::archive {

namespace {

constexpr std::size_t kMaxEntries = 1000000;

// Eight tables: table k gives the CRC of a byte followed by k zero bytes,
// so eight bytes are taken at once.
using CrcTables = std::array<std::array<std::uint16_t, 256>, 8>;
CrcTables makeTables() {
  CrcTables t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
    t[0][i] = static_cast<std::uint16_t>(c);
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (unsigned i = 0; i < 256; ++i)
      t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}

std::uint16_t u16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void put16(std::string& s, std::size_t at, std::uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool isLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// A stored name with "\" or 0xFF between folders, to "/" (CP932 aware: a
// trail byte 0x5C stays part of its character).
std::string toSlashes(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const auto b = static_cast<unsigned char>(raw[i]);
    if (isLead(b) && i + 1 < raw.size()) {
      out.push_back(raw[i]);
      out.push_back(raw[++i]);
    } else if (b == '\\' || b == 0xFF) {
      out.push_back('/');
    } else {
      out.push_back(raw[i]);
    }
  }
  return out;
}

void setError(std::string* error, const char* text) {
  if (error) *error = text;
}

bool readExact(std::FILE* f, unsigned char* p, std::size_t n) { return std::fread(p, 1, n, f) == n; }

// The extended headers that carry names and times.
struct Extended {
  std::string name, dir;
  bool hasName = false, hasDir = false;
  std::optional<std::int64_t> unixTime;
  bool unixLink = false;
  bool os2Attributes = false;
};

void takeExtended(unsigned char type, const unsigned char* data, std::size_t size, Extended& x) {
  switch (type) {
    case 0x01:
      x.name.assign(reinterpret_cast<const char*>(data), size);
      x.hasName = true;
      break;
    case 0x02:
      x.dir.assign(reinterpret_cast<const char*>(data), size);
      x.hasDir = true;
      break;
    case 0x50:
      if (size >= 2 && (u16(data) & 0170000) == 0120000) x.unixLink = true;
      break;
    case 0x7E:  // OS/2 extended attributes
    case 0x7F:  // OS/2 attributes and times
      x.os2Attributes = true;
      break;
    case 0x54:
      if (size >= 4) x.unixTime = static_cast<std::int64_t>(u32(data));
      break;
    default:
      break;
  }
}

void finishPath(Entry& e, const std::string& rawDir, const std::string& rawName) {
  std::string dir = toSlashes(nameField(rawDir));
  std::string name = toSlashes(nameField(rawName));
  std::string p = dir;
  if (!p.empty() && p.back() != '/' && !name.empty()) p.push_back('/');
  p += name;
  // A folder stored as a file of no data with a folder name and no file
  // name ("dir/" at level 0, a folder field alone above), as some Amiga
  // archivers write it, is a folder too.
  const bool folderName = !p.empty() && (name.empty() || name.back() == '/');
  while (!p.empty() && p.back() == '/') p.pop_back();
  e.path = p;
  e.isDir = e.method == "-lhd-" || (folderName && e.originalSize == 0 && !p.empty());
  if (e.isDir && e.path.find('|') != std::string::npos) e.isLink = true;
}

}  // namespace

std::string nameField(std::string_view raw) { return std::string(raw.substr(0, raw.find('\0'))); }

std::uint16_t crc16(const void* data, std::size_t size, std::uint16_t crc) {
  static const CrcTables t = makeTables();
  const auto* p = static_cast<const unsigned char*>(data);
  for (; size >= 8; size -= 8, p += 8) {
    const unsigned x = crc ^ (p[0] | (p[1] << 8));
    crc = static_cast<std::uint16_t>(t[7][x & 0xFF] ^ t[6][x >> 8] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^
                                     t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]]);
  }
  for (; size; --size, ++p) crc = static_cast<std::uint16_t>(t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8));
  return crc;
}

std::uint32_t toDosTime(std::int64_t t) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  if (!localtime_r(&tt, &tm) || tm.tm_year < 80) return (1u << 21) | (1u << 16);  // 1980-01-01
  if (tm.tm_year > 207) tm.tm_year = 207;
  const std::uint32_t date = static_cast<std::uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const std::uint32_t time = static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return (date << 16) | time;
}

std::int64_t fromDosTime(std::uint32_t dos) {
  std::tm tm{};
  const std::uint32_t date = dos >> 16, time = dos & 0xFFFF;
  tm.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>(date & 0x1F);
  tm.tm_hour = static_cast<int>((time >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  return t == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(t);
}

ReadStatus readHeader(std::FILE* f, Entry& e, std::string* error, bool checkCrc) {
  std::array<unsigned char, 21> base{};
  const auto start = ftello(f);
  const int first = std::fgetc(f);
  if (first == EOF || first == 0) return ReadStatus::End;
  base[0] = static_cast<unsigned char>(first);
  if (!readExact(f, base.data() + 1, 20)) {
    setError(error, "truncated header");
    return ReadStatus::Bad;
  }
  if (base[2] != '-' || base[6] != '-') {
    setError(error, "not an LHA header");
    return ReadStatus::Bad;
  }
  e = Entry{};
  e.headerOffset = static_cast<std::uint64_t>(start < 0 ? 0 : start);
  e.method.assign(reinterpret_cast<const char*>(base.data() + 2), 5);
  e.level = base[20];
  std::uint64_t packed = u32(base.data() + 7);
  e.originalSize = u32(base.data() + 11);
  const std::uint32_t stamp = u32(base.data() + 15);
  Extended x;

  if (e.level == 0 || e.level == 1) {
    const std::size_t total = static_cast<std::size_t>(base[0]) + 2;
    if (total < 24) {
      setError(error, "header too short");
      return ReadStatus::Bad;
    }
    std::string h(total, '\0');
    std::memcpy(h.data(), base.data(), 21);
    if (!readExact(f, reinterpret_cast<unsigned char*>(h.data()) + 21, total - 21)) {
      setError(error, "truncated header");
      return ReadStatus::Bad;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(h.data());
    unsigned sum = 0;
    for (std::size_t i = 2; i < total; ++i) sum += b[i];
    if ((sum & 0xFF) != b[1]) {
      setError(error, "header checksum mismatch");
      return ReadStatus::Bad;
    }
    const std::size_t nl = b[21];
    if (22 + nl + 2 > total) {
      setError(error, "name runs past the header");
      return ReadStatus::Bad;
    }
    const std::string name(h.data() + 22, nl);
    e.crc = u16(b + 22 + nl);
    e.mtime = fromDosTime(stamp);
    std::string dir;
    if (e.level == 1) {
      if (total < 27 + nl) {
        setError(error, "header too short");
        return ReadStatus::Bad;
      }
      e.os = static_cast<char>(b[24 + nl]);
      std::size_t next = u16(b + 25 + nl);
      std::uint64_t extTotal = 0;
      std::string ext;
      while (next) {
        if (next < 3 || extTotal + next > kMaxHeader) {
          setError(error, "bad extended header");
          return ReadStatus::Bad;
        }
        ext.assign(next, '\0');
        if (!readExact(f, reinterpret_cast<unsigned char*>(ext.data()), next)) {
          setError(error, "truncated header");
          return ReadStatus::Bad;
        }
        extTotal += next;
        const auto* eb = reinterpret_cast<const unsigned char*>(ext.data());
        takeExtended(eb[0], eb + 1, next - 3, x);
        next = u16(eb + next - 2);
      }
      if (extTotal > packed) {
        setError(error, "extended headers larger than the entry");
        return ReadStatus::Bad;
      }
      packed -= extTotal;
      if (x.unixTime) e.mtime = *x.unixTime;
    }
    finishPath(e, x.hasDir ? x.dir : dir, x.hasName ? x.name : name);
    if (x.unixLink) e.isLink = true;
    e.os2Attributes = x.os2Attributes;
  } else if (e.level == 2 || e.level == 3) {
    // Level 2 counts in 16-bit sizes, level 3 in 32-bit ones; the base
    // header ends with the size of the first extended header.
    const bool wide = e.level == 3;
    const std::size_t baseSize = wide ? 32 : 26;
    std::string h(baseSize, '\0');
    std::memcpy(h.data(), base.data(), 21);
    if (!readExact(f, reinterpret_cast<unsigned char*>(h.data()) + 21, baseSize - 21)) {
      setError(error, "truncated header");
      return ReadStatus::Bad;
    }
    auto size = [&](const unsigned char* p) -> std::size_t { return wide ? u32(p) : u16(p); };
    const std::size_t total = wide ? u32(reinterpret_cast<const unsigned char*>(h.data()) + 24) : u16(base.data());
    if (total < baseSize || total > kMaxHeader) {
      setError(error, total < baseSize ? "header too short" : "header too long");
      return ReadStatus::Bad;
    }
    h.resize(total);
    if (!readExact(f, reinterpret_cast<unsigned char*>(h.data()) + baseSize, total - baseSize)) {
      setError(error, "truncated header");
      return ReadStatus::Bad;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(h.data());
    e.crc = u16(b + 21);
    e.os = static_cast<char>(b[23]);
    e.mtime = static_cast<std::int64_t>(stamp);
    const std::size_t sizeBytes = wide ? 4 : 2;
    std::size_t pos = baseSize;
    std::size_t next = size(b + baseSize - sizeBytes);
    std::optional<std::size_t> crcAt;
    while (next) {
      if (next < 1 + sizeBytes || next > total - pos) {
        setError(error, "bad extended header");
        return ReadStatus::Bad;
      }
      if (b[pos] == 0x00 && next >= 3 + sizeBytes) crcAt = pos + 1;
      takeExtended(b[pos], b + pos + 1, next - 1 - sizeBytes, x);
      const std::size_t following = size(b + pos + next - sizeBytes);
      pos += next;
      next = following;
    }
    if (crcAt && checkCrc) {
      const std::uint16_t stored = u16(b + *crcAt);
      h[*crcAt] = 0;
      h[*crcAt + 1] = 0;
      if (crc16(h.data(), h.size()) != stored) {
        setError(error, "header CRC mismatch");
        return ReadStatus::Bad;
      }
    }
    if (x.unixTime) e.mtime = *x.unixTime;
    finishPath(e, x.dir, x.name);
    if (x.unixLink) e.isLink = true;
    e.os2Attributes = x.os2Attributes;
  } else {
    setError(error, "unsupported header level");
    return ReadStatus::Bad;
  }
  e.packedSize = packed;
  const auto off = ftello(f);
  if (off < 0) {
    setError(error, "cannot read the archive");
    return ReadStatus::Bad;
  }
  e.dataOffset = static_cast<std::uint64_t>(off);
  return ReadStatus::Ok;
}

std::optional<std::vector<Entry>> readAll(std::FILE* f, std::string* error) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0) {
    setError(error, "cannot read the archive");
    return std::nullopt;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  std::vector<Entry> entries;
  if (fseeko(f, 0, SEEK_SET) != 0) return std::nullopt;
  bool any = false;
  for (;;) {
    Entry e;
    const ReadStatus s = readHeader(f, e, error);
    if (s == ReadStatus::Bad) return std::nullopt;
    if (s == ReadStatus::End) break;
    if (e.packedSize > size - e.dataOffset) {
      setError(error, "archive is truncated");
      return std::nullopt;
    }
    if (entries.size() >= kMaxEntries) {
      setError(error, "too many entries");
      return std::nullopt;
    }
    if (fseeko(f, static_cast<off_t>(e.dataOffset + e.packedSize), SEEK_SET) != 0) return std::nullopt;
    entries.push_back(std::move(e));
    any = true;
  }
  if (!any && size != 1) {
    // No entry: only the lone end mark makes an (empty) archive; an empty
    // file, or a zero byte with more behind it, is none.
    setError(error, "not an LHA archive");
    return std::nullopt;
  }
  return entries;
}

bool buildHeader(const Entry& e, int level, std::string& out, std::string* error) {
  if (e.packedSize > 0xFFFFFFFFull || e.originalSize > 0xFFFFFFFFull) {
    setError(error, "entry too large for the archive format");
    return false;
  }
  std::string dir, name;
  if (e.isDir) {
    dir = e.path;
  } else {
    const auto slash = e.path.rfind('/');
    if (slash == std::string::npos) {
      name = e.path;
    } else {
      dir = e.path.substr(0, slash);
      name = e.path.substr(slash + 1);
    }
  }
  // Level 0 marks a folder with the folder attribute; level 1 writes the
  // plain archive attribute for every entry (the method tells a folder), as
  // other archivers do and expect.
  if (level == 0) {
    std::string full = e.path;
    for (char& c : full)
      if (c == '/') c = '\\';
    if (e.isDir) full.push_back('\\');
    if (full.size() > 233) {
      setError(error, "name too long for header level 0");
      return false;
    }
    const std::size_t total = 24 + full.size();
    out.assign(total, '\0');
    out[0] = static_cast<char>(total - 2);
    std::memcpy(out.data() + 2, e.method.data(), 5);
    put32(out, 7, static_cast<std::uint32_t>(e.packedSize));
    put32(out, 11, static_cast<std::uint32_t>(e.originalSize));
    put32(out, 15, toDosTime(e.mtime));
    out[19] = static_cast<char>(e.isDir ? 0x10 : 0x20);
    out[20] = 0;
    out[21] = static_cast<char>(full.size());
    std::memcpy(out.data() + 22, full.data(), full.size());
    put16(out, 22 + full.size(), e.crc);
    unsigned sum = 0;
    for (std::size_t i = 2; i < total; ++i) sum += static_cast<unsigned char>(out[i]);
    out[1] = static_cast<char>(sum & 0xFF);
  } else if (level == 1) {
    if (name.size() > 230 || dir.size() + 4 > 0xFFFF) {
      setError(error, "name too long for header level 1");
      return false;
    }
    const std::size_t baseTotal = 27 + name.size();
    std::string ext;
    if (!dir.empty()) {
      std::string d = dir;
      for (char& c : d)
        if (c == '/') c = static_cast<char>(0xFF);
      d.push_back(static_cast<char>(0xFF));
      ext.assign(3 + d.size(), '\0');
      ext[0] = 0x02;
      std::memcpy(ext.data() + 1, d.data(), d.size());
    }
    if (e.packedSize + ext.size() > 0xFFFFFFFFull) {
      setError(error, "entry too large for the archive format");
      return false;
    }
    out.assign(baseTotal, '\0');
    out[0] = static_cast<char>(baseTotal - 2);
    std::memcpy(out.data() + 2, e.method.data(), 5);
    put32(out, 7, static_cast<std::uint32_t>(e.packedSize + ext.size()));
    put32(out, 11, static_cast<std::uint32_t>(e.originalSize));
    put32(out, 15, toDosTime(e.mtime));
    out[19] = 0x20;
    out[20] = 1;
    out[21] = static_cast<char>(name.size());
    std::memcpy(out.data() + 22, name.data(), name.size());
    put16(out, 22 + name.size(), e.crc);
    out[24 + name.size()] = 'M';
    put16(out, 25 + name.size(), static_cast<std::uint32_t>(ext.size()));
    unsigned sum = 0;
    for (std::size_t i = 2; i < baseTotal; ++i) sum += static_cast<unsigned char>(out[i]);
    out[1] = static_cast<char>(sum & 0xFF);
    out += ext;  // its own "next" field is 0
  } else if (level == 2 || level == 3) {
    // Level 2 counts in 16-bit sizes, level 3 in 32-bit ones.
    const bool wide = level == 3;
    const std::size_t sizeBytes = wide ? 4 : 2;
    const std::size_t baseSize = wide ? 32 : 26;
    std::vector<std::string> exts;
    exts.push_back(std::string("\x00\x00\x00", 3));  // header CRC, filled in below
    {
      std::string x(1, '\x01');
      x += name;
      exts.push_back(x);
    }
    if (!dir.empty()) {
      std::string x(1, '\x02');
      for (char c : dir) x.push_back(c == '/' ? static_cast<char>(0xFF) : c);
      x.push_back(static_cast<char>(0xFF));
      exts.push_back(x);
    }
    std::size_t total = baseSize;
    for (const auto& x : exts) total += x.size() + sizeBytes;
    // A level 2 header whose size has a zero low byte would read as the
    // end mark: one byte of padding follows it then.
    const bool pad = !wide && (total & 0xFF) == 0;
    if (pad) ++total;
    if (total > 0xFFFF) {
      setError(error, "name too long for the header");
      return false;
    }
    auto putSize = [&](std::size_t at, std::size_t v) {
      if (wide)
        put32(out, at, static_cast<std::uint32_t>(v));
      else
        put16(out, at, static_cast<std::uint32_t>(v));
    };
    out.assign(baseSize, '\0');
    if (wide)
      put16(out, 0, 4);  // the width of the size fields
    else
      put16(out, 0, static_cast<std::uint32_t>(total));
    std::memcpy(out.data() + 2, e.method.data(), 5);
    put32(out, 7, static_cast<std::uint32_t>(e.packedSize));
    put32(out, 11, static_cast<std::uint32_t>(e.originalSize));
    put32(out, 15, static_cast<std::uint32_t>(e.mtime < 0 ? 0 : e.mtime));
    out[19] = 0x20;
    out[20] = static_cast<char>(level);
    put16(out, 21, e.crc);
    out[23] = 'M';
    if (wide) put32(out, 24, static_cast<std::uint32_t>(total));
    putSize(baseSize - sizeBytes, exts[0].size() + sizeBytes);
    std::size_t crcAt = 0;
    for (std::size_t i = 0; i < exts.size(); ++i) {
      if (i == 0) crcAt = out.size() + 1;
      out += exts[i];
      const std::size_t next = i + 1 < exts.size() ? exts[i + 1].size() + sizeBytes : 0;
      out.append(sizeBytes, '\0');
      putSize(out.size() - sizeBytes, next);
    }
    if (pad) out.push_back('\0');
    // exts[0] is type + 2 data bytes: its CRC field sits right after the type.
    put16(out, crcAt, crc16(out.data(), out.size()));
  } else {
    setError(error, "unsupported header level");
    return false;
  }
  return true;
}

}  // namespace unlha::archive
