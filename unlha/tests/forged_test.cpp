// Archives of the methods and header levels we do not write, made here by a
// writer of the test's own (independent of the layer's): the stored methods
// of other archivers (-lz4-, -pm0-), LArc's -lzs- and -lz5- (literals
// only), -lh4- and -lhx- (through our static-Huffman packer), and headers
// with the extended fields Unix, Windows and old DOS archivers add; and the
// entries of other systems (classic Mac OS, Amiga, OS/2, OS-9), each
// compared with what lhasa (or jlha, where lhasa reads nothing) extracts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <set>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "archive.h"
#include "lzh.h"
#include "testdata.h"
#include "unlha/unlha.h"

namespace {

using namespace unlhatest;

std::string le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

struct Forged {
  int level = 2;
  std::string method;
  std::string dir;   // CP932, folders ended by 0xFF (levels 1 to 3) or "\\" (level 0)
  std::string name;  // CP932
  std::string packed;
  std::string original;
  char os = 'M';
  std::vector<std::string> extended;  // type byte and data each
  std::string level0Extra;            // bytes after the CRC of a level 0 header
  char attr = 0x20;                   // the MS-DOS attribute byte
};

constexpr std::uint32_t kDosTime = (44u << 25) | (6u << 21) | (15u << 16) | (12u << 11);  // 2024-06-15 12:00

std::string forge(const Forged& f) {
  const std::string crc = le(unlha::archive::crc16(f.original.data(), f.original.size()), 2);
  const std::string sizes = f.method + le(f.packed.size(), 4) + le(f.original.size(), 4);
  std::string h;
  if (f.level == 0 || f.level == 1) {
    const std::string name = f.level == 0 ? f.dir + f.name : f.name;
    std::vector<std::string> exts = f.extended;
    if (f.level == 1 && !f.dir.empty()) exts.push_back("\x02" + f.dir);
    std::string ext;
    for (std::size_t i = 0; i < exts.size(); ++i)
      ext += exts[i] + le(i + 1 < exts.size() ? exts[i + 1].size() + 2 : 0, 2);
    std::string body = f.method + le(f.packed.size() + ext.size(), 4) + le(f.original.size(), 4) + le(kDosTime, 4) +
                       std::string(1, f.attr) + std::string(1, static_cast<char>(f.level)) +
                       std::string(1, static_cast<char>(name.size())) + name + crc;
    if (f.level == 0)
      body += f.level0Extra;
    else
      body += std::string(1, f.os) + le(exts.empty() ? 0 : exts[0].size() + 2, 2);
    unsigned sum = 0;
    for (unsigned char c : body) sum += c;
    h = std::string(1, static_cast<char>(body.size())) + std::string(1, static_cast<char>(sum & 0xFF)) + body + ext;
  } else {
    const int w = f.level == 2 ? 2 : 4;
    std::vector<std::string> exts = f.extended;
    exts.insert(exts.begin(), "\x01" + f.name);
    if (!f.dir.empty()) exts.push_back("\x02" + f.dir);
    std::string ext;
    for (std::size_t i = 0; i < exts.size(); ++i)
      ext += exts[i] + le(i + 1 < exts.size() ? exts[i + 1].size() + w : 0, w);
    const std::size_t base = f.level == 2 ? 26 : 32;
    const std::size_t total = base + ext.size();
    h = (f.level == 2 ? le(total, 2) : le(4, 2)) + sizes + le(1718452800, 4) + "\x20" +
        std::string(1, static_cast<char>(f.level)) + crc + std::string(1, f.os) + (f.level == 3 ? le(total, 4) : "") +
        le(exts[0].size() + w, w) + ext;
  }
  return h + f.packed;
}

// LArc's methods, literals only: -lzs- sends a 1 bit and the byte, -lz5-
// a flag byte of ones before each eight bytes.
std::string lzsLiterals(const std::string& s) {
  std::string out;
  std::uint32_t acc = 0;
  int bits = 0;
  for (unsigned char c : s) {
    acc = (acc << 9) | 0x100u | c;
    bits += 9;
    while (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>(acc >> bits));
    }
  }
  if (bits) out.push_back(static_cast<char>(acc << (8 - bits)));
  return out;
}
std::string lz5Literals(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); i += 8) out += "\xFF" + s.substr(i, 8);
  return out;
}

class Forge : public ScratchTest {
 protected:
  // Writes the entries as one archive and extracts it with our layer.
  std::map<std::string, std::string> extract(const std::vector<Forged>& entries, int expect = 0) {
    std::string bytes;
    for (const auto& e : entries) bytes += forge(e);
    bytes.push_back('\0');
    const fs::path arc = dir / "forged.lzh";
    writeFile(arc, bytes);
    EXPECT_NE(unlha::UnlhaCheckArchive(arc.string(), 1), 0);
    fs::remove_all(dir / "out");
    EXPECT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), expect);
    return tree(dir / "out");
  }
};

TEST_F(Forge, EveryMethodAtEveryLevel) {
  const std::string text = textLike(5000, 11);
  const std::string sep[] = {"\\", "\xFF", "\xFF", "\xFF"};
  struct M {
    const char* method;
    std::string packed;
  };
  const M methods[] = {
      {"-lh0-", text},
      {"-lz4-", text},
      {"-pm0-", text},
      {"-lzs-", lzsLiterals(text)},
      {"-lz5-", lz5Literals(text)},
      {"-lh1-", unlha::lzh::encodeLh1(text)},
      {"-lh4-", unlha::lzh::encode(text, unlha::lzh::paramsFor(12))},
      {"-lhx-", unlha::lzh::encode(text, unlha::lzh::paramsFor(19))},
  };
  for (int level = 0; level <= 3; ++level) {
    std::vector<Forged> entries;
    std::map<std::string, std::string> want;
    for (const M& m : methods) {
      Forged f;
      f.level = level;
      f.method = m.method;
      f.dir = std::string("\x8E\x9A") + sep[level];  // 字
      f.name = std::string(m.method).substr(1, 3) + ".txt";
      f.packed = m.packed;
      f.original = text;
      entries.push_back(f);
      want["字/" + f.name] = text;
    }
    want["字"] = "/";
    SCOPED_TRACE(level);
    EXPECT_EQ(brief(extract(entries)), brief(want));
  }
}

TEST_F(Forge, ExtendedFieldsOfOtherSystems) {
  const std::string data = "from elsewhere\r\n";
  // Unix: permissions, owner, names and the time (2021-01-01 00:00:00 UTC).
  Forged unix1;
  unix1.level = 1;
  unix1.method = "-lh0-";
  unix1.os = 'U';
  unix1.name = "unix.txt";
  unix1.packed = unix1.original = data;
  unix1.extended = {"\x50" + le(0100644, 2), "\x51" + le(100, 2) + le(1000, 2), "\x52staff", "\x53user",
                    "\x54" + le(1609459200, 4)};
  unix1.dir = "dir\xFF";
  // Windows: creation, write and access times (2020-01-01 00:00:00 UTC as FILETIME).
  Forged win2 = unix1;
  win2.level = 2;
  win2.os = 'W';
  win2.name = "win.txt";
  win2.dir.clear();
  const std::uint64_t ft = (1577836800ull + 11644473600ull) * 10000000ull;
  win2.extended = {"\x41" + le(ft, 8) + le(ft, 8) + le(ft, 8), "\x3F" "a comment"};
  // An old Unix archiver's level 0 with its own area after the CRC.
  Forged unix0 = unix1;
  unix0.level = 0;
  unix0.name = "old.txt";
  unix0.dir = "dir\\";
  unix0.extended.clear();
  unix0.level0Extra = "U" + std::string(1, '\0') + le(1609459200, 4) + le(0100644, 2) + le(100, 2) + le(1000, 2);
  // Level 3 with a Unix time.
  Forged unix3 = unix1;
  unix3.level = 3;
  unix3.name = "three.txt";
  unix3.extended = {"\x54" + le(1609459200, 4), "\x50" + le(0100600, 2)};
  unix3.dir = "dir\xFF";

  const auto got = extract({unix1, win2, unix0, unix3});
  EXPECT_EQ(got, (std::map<std::string, std::string>{{"dir", "/"},
                                                     {"dir/unix.txt", data},
                                                     {"dir/old.txt", data},
                                                     {"dir/three.txt", data},
                                                     {"win.txt", data}}));
  auto mtime = [&](const char* rel) {
    struct stat st {};
    stat((dir / "out" / rel).c_str(), &st);
    return static_cast<long long>(st.st_mtime);
  };
  EXPECT_EQ(mtime("dir/unix.txt"), 1609459200);
  EXPECT_EQ(mtime("dir/three.txt"), 1609459200);
  EXPECT_EQ(mtime("win.txt"), 1577836800);
}

TEST_F(Forge, UnknownMethodIsReportedAndTheRestExtracts) {
  Forged odd;
  odd.method = "-lh9-";
  odd.name = "odd.bin";
  odd.packed = odd.original = "????";
  Forged fine = odd;
  fine.method = "-lh0-";
  fine.name = "fine.txt";
  fine.packed = fine.original = "fine";
  EXPECT_EQ(extract({odd, fine}, unlha::kErrorMethod), (std::map<std::string, std::string>{{"fine.txt", "fine"}}));
}

}  // namespace

namespace {

// A MacBinary header as MacLHA puts it before a file's data: the name, the
// forks' lengths and the time, big-endian; the data fork follows, padded to
// 128 bytes.
std::string macBinary(const std::string& name, const std::string& data, std::uint32_t unixTime) {
  std::string h(128, '\0');
  h[1] = static_cast<char>(name.size());
  h.replace(2, name.size(), name);
  auto be = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
  };
  h.replace(0x41, 8, "TEXTttxt");
  be(0x53, static_cast<std::uint32_t>(data.size()));
  be(0x5B, unixTime + 2082844800u);
  be(0x5F, unixTime + 2082844800u);
  std::string out = h + data;
  out.resize((out.size() + 127) & ~std::size_t{127}, '\0');
  return out;
}

// What an archiver of Debian extracts from the archive (an empty map with a
// skip note when it is not installed).
std::optional<std::map<std::string, std::string>> theirExtraction(const char* env, const std::string& args,
                                                                  const fs::path& arc, const fs::path& out) {
  const char* exe = std::getenv(env);
  if (!exe) return std::nullopt;
  fs::remove_all(out);
  fs::create_directories(out);
  const std::string cmd = "cd " + q(out) + " && " + exe + " " + args + " " + q(arc) + " > /dev/null 2>&1";
  (void)std::system(cmd.c_str());  // lhasa reports the OS/2 entry it cannot write
  return tree(out);
}

TEST_F(Forge, EntriesOfOtherSystemsExtractAsLhasaOrJlhaExtractsThem) {
  if (!std::getenv("UNLHA_TEST_LHA") || !std::getenv("UNLHA_TEST_JLHA")) GTEST_SKIP() << "lhasa or jlha is not installed";
  const std::string text = textLike(3000, 5);
  const std::string note = "a note\n";
  auto entry = [](int level, const char* method, const std::string& dirPart, const std::string& name,
                  const std::string& original, char os, std::string packed = std::string()) {
    Forged f;
    f.level = level;
    f.method = method;
    f.dir = dirPart;
    f.name = name;
    f.original = original;
    f.packed = packed.empty() ? original : packed;
    f.os = os;
    return f;
  };
  auto folder = [](int level, const std::string& name, char os) {
    Forged f;
    f.level = level;
    f.method = "-lhd-";
    f.name = name;
    f.os = os;
    f.attr = 0x10;
    return f;
  };
  const std::string wrapped = macBinary("letter.txt", text, 1718452800);
  const std::string wrappedNote = macBinary("note.txt", note, 1718452800);
  const std::string lh5 = unlha::lzh::encode(wrapped, unlha::lzh::paramsFor(13));
  const std::string strange = macBinary("other name.txt", note, 1718452800);
  struct Case {
    const char* what;
    std::vector<Forged> entries;
    const char* tool;  // whose extraction ours must equal
    const char* args;
  };
  const Case cases[] = {
      {"classic Mac OS, MacBinary before the data (levels 1 and 2, -lh0-, -lh1- and -lh5-, folders)",
       {entry(1, "-lh0-", "", "letter.txt", wrapped, 'm'), entry(2, "-lh5-", "", "letter.txt", wrapped, 'm', lh5),
        entry(1, "-lh1-", "l1\xFF", "letter.txt", wrapped, 'm', unlha::lzh::encodeLh1(wrapped)),
        entry(2, "-lh1-", "l2\xFF", "letter.txt", wrapped, 'm', unlha::lzh::encodeLh1(wrapped)),
        entry(1, "-lh5-", "l3\xFF", "letter.txt", wrapped, 'm', lh5),
        entry(1, "-lh0-", "mac\xFF", "note.txt", wrappedNote, 'm'),
        entry(2, "-lh0-", "mac2\xFF", "note.txt", wrappedNote, 'm'),
        // A MacBinary file of another name is kept whole.
        entry(2, "-lh0-", "", "kept.bin", strange, 'm')},
       "UNLHA_TEST_LHA", "xqf"},
      {"Amiga names with a comment after a NUL (levels 0 and 1)",
       {entry(0, "-lh0-", "", std::string("readme.txt\0a comment", 20), note, 'A'),
        entry(1, "-lh0-", "docs\xFF", std::string("guide\0an Amiga comment", 22), text, 'A')},
       "UNLHA_TEST_LHA", "xqf"},
      {"Amiga folder entry after its files, and folders without an entry",
       {entry(1, "-lh0-", "a\xFF" "b\xFF", "deep.txt", text, 'A'), entry(1, "-lh0-", "sub\xFF", "f.txt", note, 'A'),
        folder(1, "sub", 'A')},
       "UNLHA_TEST_LHA", "xqf"},
      {"OS/2 extended attributes of a folder, stored under the folder's name",
       {entry(2, "-lhd-", "os2\xFF", "", "", '2'), entry(2, "-lh0-", "", "os2", "EA DATA", '2'),
        entry(2, "-lh0-", "os2\xFF", "in.txt", text, '2')},
       "UNLHA_TEST_LHA", "xqf"},
      {"level 0 folder entries before their files (OS-9)",
       {folder(0, "sub", '9'), entry(0, "-lh0-", "sub\\", "f.txt", note, '9'), folder(0, "sub\\inner", '9'),
        entry(0, "-lh0-", "sub\\inner\\", "g.txt", text, '9')},
       "UNLHA_TEST_JLHA", "xqy"},
      {"-lh2- and -lh3- entries of no data, which jLHA itself writes as -lh0-",
       {entry(0, "-lh2-", "", "empty2.txt", "", 'M'), entry(0, "-lh3-", "", "empty3.txt", "", 'M'),
        entry(1, "-lh2-", "", "empty2b.txt", "", 'J'), entry(1, "-lh3-", "", "empty3b.txt", "", 'J')},
       "UNLHA_TEST_JLHA", "xqy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto ours = extract(c.entries);
    const auto theirs = theirExtraction(c.tool, c.args, dir / "forged.lzh", dir / "theirs");
    ASSERT_TRUE(theirs);
    EXPECT_EQ(brief(ours), brief(*theirs));
    EXPECT_EQ(ours, *theirs);
    EXPECT_FALSE(ours.empty());
  }
}

// -lh7- streams as other archivers write them and jLHA does not: blocks of
// a single code (no bits per symbol), blocks of the largest size, bytes
// after the end of the stream, data over 16 MiB, and a declared length
// that ends inside a match.
class BitWriter {
 public:
  void put(int n, std::uint32_t v) {
    for (int i = n - 1; i >= 0; --i) {
      acc_ = (acc_ << 1) | ((v >> i) & 1);
      if (++bits_ == 8) {
        out_.push_back(static_cast<char>(acc_));
        acc_ = 0;
        bits_ = 0;
      }
    }
  }
  // One block of count symbols, all the code c (a byte, or 256 + length -
  // 3), with the one position code p.
  void oneCodeBlock(std::uint32_t count, std::uint32_t c, std::uint32_t p = 0) {
    put(16, count);
    put(5, 0);  // the code-length code: one code
    put(5, 0);
    put(9, 0);  // the symbol code: c alone
    put(9, c);
    put(5, 0);  // the position code: p alone (-lh7-: five bits)
    put(5, p);
  }
  std::string bytes() const { return bits_ ? out_ + static_cast<char>(acc_ << (8 - bits_)) : out_; }

 private:
  std::string out_;
  std::uint32_t acc_ = 0;
  int bits_ = 0;
};

// A level 2 header's CRC field (extended header 0x00), over the whole
// header with the field at zero.
std::string withHeaderCrc(std::string entry) {
  const std::size_t total = static_cast<unsigned char>(entry[0]) | (static_cast<unsigned char>(entry[1]) << 8);
  std::size_t at = 24;
  for (;;) {
    const std::size_t size = static_cast<unsigned char>(entry[at]) | (static_cast<unsigned char>(entry[at + 1]) << 8);
    if (size == 0) break;
    at += 2;
    if (entry[at] == '\0') {
      const std::string crc = le(unlha::archive::crc16(entry.data(), total), 2);
      entry.replace(at + 1, 2, crc);
      break;
    }
    at += size - 2;
  }
  return entry;
}

TEST_F(Forge, Lh7StreamsOfOtherArchiversExtractAsLhasaExtractsThem) {
  if (!std::getenv("UNLHA_TEST_LHA")) GTEST_SKIP() << "lhasa is not installed";
  struct Stream {
    const char* what;
    std::string packed, original;
  };
  std::vector<Stream> streams;
  {
    BitWriter w;
    for (int i = 0; i < 3; ++i) w.oneCodeBlock(65535, 'A');
    w.oneCodeBlock(1000, 'A');
    streams.push_back({"single-code blocks of 65535 bytes", w.bytes(), std::string(65535 * 3 + 1000, 'A')});
    streams.push_back(
        {"the same with bytes after the stream", w.bytes() + std::string(5, '\0'), streams.back().original});
  }
  {
    // 'B', then matches of 256 bytes at distance 1: 17 MB.
    BitWriter w;
    w.oneCodeBlock(1, 'B');
    w.oneCodeBlock(65535, 256 + 256 - 3);
    w.oneCodeBlock(1000, 256 + 256 - 3);
    const std::string all(1 + 256 * 66535, 'B');
    streams.push_back({"single-code match blocks, over 16 MiB", w.bytes(), all});
    streams.push_back({"a length that ends inside a match", w.bytes(), all.substr(0, all.size() - 100)});
  }
  {
    std::string mixed = textLike(200000, 21) + randomBytes(70000, 22) + textLike(100000, 23);
    streams.push_back({"blocks of many codes", unlha::lzh::encode(mixed, unlha::lzh::paramsFor(16)), mixed});
  }
  const std::uint64_t ft = (1577836800ull + 11644473600ull) * 10000000ull;
  for (const Stream& st : streams) {
    SCOPED_TRACE(st.what);
    std::vector<Forged> entries;
    Forged f;
    f.method = "-lh7-";
    f.packed = st.packed;
    f.original = st.original;
    f.level = 0;
    f.name = "dos.bin";
    entries.push_back(f);
    f.level = 1;
    f.dir = "lh1\xFF";
    f.name = "one.bin";
    entries.push_back(f);
    f.level = 2;
    f.os = 'W';
    f.dir.clear();
    f.name = "win.bin";
    f.extended = {std::string("\x00\x00\x00", 3), "\x41" + le(ft, 8) + le(ft, 8) + le(ft, 8),
                  "\x42" + le(f.packed.size(), 8) + le(f.original.size(), 8)};
    entries.push_back(f);
    std::string bytes;
    for (const auto& e : entries) bytes += e.level == 2 ? withHeaderCrc(forge(e)) : forge(e);
    bytes.push_back('\0');
    const fs::path arc = dir / "lh7.lzh";
    writeFile(arc, bytes);
    fs::remove_all(dir / "out");
    ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), 0);
    const auto ours = tree(dir / "out");
    const auto theirs = theirExtraction("UNLHA_TEST_LHA", "xqf", arc, dir / "theirs");
    ASSERT_TRUE(theirs);
    EXPECT_EQ(brief(ours), brief(*theirs));
    EXPECT_EQ(ours.size(), 4u);
    EXPECT_EQ(ours.at("win.bin"), st.original);
  }
}

}  // namespace

namespace {

// -lz5- (LArc) with matches, built to an exact packed length: each group is
// a flag byte (bit k set: item k is a literal byte) and eight items, a
// match being two bytes that name a place in the 4 KiB ring (the first
// byte at 0xFEE) and a length of 3 to 18. The matches here copy bytes
// this stream already wrote, so the ring's first contents play no part.
// lead literals come first, to move the matches against the buffer ends.
struct Lz5 {
  std::string packed, original;
};
Lz5 lz5WithMatches(std::size_t target, std::size_t lead, unsigned seed) {
  Lz5 out;
  std::mt19937 rng(seed);
  auto literal = [&](std::string& group) {
    const char c = static_cast<char>('a' + rng() % 26);
    group.push_back(c);
    out.original.push_back(c);
  };
  auto match = [&](std::string& group) {
    const std::size_t len = 3 + rng() % 16;
    const std::size_t back = len + rng() % 2000;
    const std::size_t from = out.original.size() - std::min(back, out.original.size());
    const std::size_t ring = (0xFEE + from) & 0xFFF;
    group.push_back(static_cast<char>(ring & 0xFF));
    group.push_back(static_cast<char>(((ring >> 4) & 0xF0) | (len - 3)));
    for (std::size_t k = 0; k < len; ++k) out.original.push_back(out.original[from + k]);
  };
  // One group of n items, the first m of them matches.
  auto group = [&](int n, int m) {
    std::string g(1, static_cast<char>(0xFF << m));
    for (int i = 0; i < n; ++i) i < m ? match(g) : literal(g);
    out.packed += g;
  };
  for (std::size_t i = 0; i < 2 + lead; ++i) group(8, 0);  // something to copy from
  while (target - out.packed.size() > 34) group(8, 8);
  const std::size_t r = target - out.packed.size();  // 18 to 34: two groups
  const int m1 = static_cast<int>(std::min<std::size_t>(8, r - 2 - 9));
  group(8, m1);
  const int rest = static_cast<int>(target - out.packed.size());  // 2 to 17 = 1 + n + m
  const int n = std::min(8, rest - 1);
  group(n, rest - 1 - n);
  return out;
}

}  // namespace

namespace {

// The packed data reaches the decoders through a buffer of 64 KiB: data of
// every method, of every length around its first three boundaries, extracts
// as lhasa extracts it. Stored and -lz5- data take each length exactly
// (-lz5- with a match read across every boundary); the bit streams of the
// other methods run across the boundaries at lengths close by.
TEST_F(Forge, PackedDataAcrossTheReadBufferExtractsAsLhasaExtractsIt) {
  if (!std::getenv("UNLHA_TEST_LHA")) GTEST_SKIP() << "lhasa is not installed";
  constexpr std::size_t kBuffer = 1 << 16;
  struct Method {
    const char* method;
    // The packed and original data of a stream of about the given packed
    // length; k tells apart the streams of one length.
    std::function<std::pair<std::string, std::string>(std::size_t length, int k)> make;
    bool exact;  // the packed length is the one asked for
  };
  auto stored = [](std::size_t n, int k) {
    std::string d = randomBytes(n, static_cast<unsigned>(n + k));
    return std::make_pair(d, d);
  };
  // Runs of text and noise, then noise of the given length.
  auto mixed = [](std::size_t total, std::size_t noise) {
    std::string d;
    for (unsigned i = 0; d.size() < total; ++i) d += i % 2 ? textLike(3000, i) : randomBytes(3000, i);
    d.resize(total);
    return d + randomBytes(noise, 99);
  };
  // Data that packs to about n bytes (k more runs of text for each k): the
  // runs scaled once by the ratio, then a byte of noise for each byte off.
  auto packer = [&](std::function<std::string(const std::string&)> pack) {
    return [=](std::size_t n, int k) {
      std::size_t total = n + static_cast<std::size_t>(k) * 5000, noise = 0;
      std::string d = mixed(total, noise), p = pack(d);
      total = static_cast<std::size_t>(static_cast<double>(total) * static_cast<double>(n - 30000) /
                                       static_cast<double>(p.size()));
      noise = 30000;
      for (int round = 0; round < 6; ++round) {
        d = mixed(total, noise);
        p = pack(d);
        if (p.size() == n) break;
        noise = noise + n - p.size();
      }
      return std::make_pair(p, d);
    };
  };
  const Method methods[] = {
      {"-lh0-", stored, true},
      {"-lz4-", stored, true},
      {"-pm0-", stored, true},
      {"-lz5-",
       [](std::size_t n, int k) {
         const Lz5 s = lz5WithMatches(n, static_cast<std::size_t>(k), static_cast<unsigned>(n + k));
         return std::make_pair(s.packed, s.original);
       },
       true},
      {"-lzs-",
       [](std::size_t n, int k) {
         const std::string d = randomBytes((n * 8 + static_cast<std::size_t>(k) * 8) / 9, static_cast<unsigned>(n));
         return std::make_pair(lzsLiterals(d), d);
       },
       false},
      {"-lh1-", packer([](const std::string& d) { return unlha::lzh::encodeLh1(d); }), false},
      {"-lh4-", packer([](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(12)); }), false},
      {"-lh5-", packer([](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(13)); }), false},
      {"-lh6-", packer([](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(15)); }), false},
      {"-lh7-", packer([](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(16)); }), false},
      {"-lhx-", packer([](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(19)); }), false},
  };
  for (const Method& m : methods) {
    SCOPED_TRACE(m.method);
    std::vector<Forged> entries;
    std::set<std::size_t> lengths;
    for (std::size_t boundary = kBuffer; boundary <= 3 * kBuffer; boundary += kBuffer) {
      for (int d = -3; d <= 3; ++d) {
        if (!m.exact && d % 3 != 0) continue;  // the bit streams: a few lengths around
        const std::size_t want = boundary + static_cast<std::size_t>(d + 3) - 3;
        for (int k = 0; k < (m.exact && std::string(m.method) == "-lz5-" ? 3 : 1); ++k) {
          auto [packed, original] = m.make(want, k);
          if (m.exact) {
            EXPECT_EQ(packed.size(), want);
          }
          lengths.insert(packed.size());
          Forged f;
          f.level = 1 + static_cast<int>(entries.size() % 2);
          f.method = m.method;
          f.name = std::to_string(entries.size()) + "-packed-" + std::to_string(packed.size()) + ".bin";
          f.packed = std::move(packed);
          f.original = std::move(original);
          entries.push_back(std::move(f));
        }
      }
    }
    for (std::size_t boundary = kBuffer; boundary <= 3 * kBuffer; boundary += kBuffer) {
      EXPECT_LT(*lengths.begin(), boundary);
      EXPECT_GT(*lengths.rbegin(), boundary);
      const auto above = lengths.upper_bound(boundary);
      EXPECT_TRUE(above != lengths.begin() && above != lengths.end() && *above - *std::prev(above) <= 8)
          << "lengths on both sides of " << boundary;
    }
    const auto ours = extract(entries);
    const auto theirs = theirExtraction("UNLHA_TEST_LHA", "xqf", dir / "forged.lzh", dir / "theirs");
    ASSERT_TRUE(theirs);
    EXPECT_EQ(brief(ours), brief(*theirs));
    EXPECT_EQ(ours.size(), entries.size());
    for (const Forged& f : entries) EXPECT_TRUE(ours.count(f.name) && ours.at(f.name) == f.original) << f.name;
  }
}

}  // namespace

namespace {

// Amiga archivers that store a folder as a file of no data: "dir/" at level
// 0 (names with "/" and a comment after a NUL), a folder field and no file
// name at level 1; the attribute byte holds the Amiga protection bits
// (0x10 is "archived" there, not a folder). Every folder comes out as a
// folder, the empty one too; lhasa extracts the same files (it takes such
// entries for files it cannot write, and at level 1 stops at the first).
TEST_F(Forge, AmigaFoldersStoredAsFilesOfNoDataExtractAsFolders) {
  if (!std::getenv("UNLHA_TEST_LHA")) GTEST_SKIP() << "lhasa is not installed";
  const std::string text = textLike(20000, 31);
  auto entry = [&](int level, const std::string& dirPart, const std::string& name, const std::string& data,
                   char attr) {
    Forged f;
    f.level = level;
    f.os = 'A';
    f.method = data.size() > 100 ? "-lh5-" : "-lh0-";
    f.dir = dirPart;
    f.name = name;
    f.original = data;
    f.packed = data.size() > 100 ? unlha::lzh::encode(data, unlha::lzh::paramsFor(13)) : data;
    f.attr = attr;
    return f;
  };
  const std::map<std::string, std::string> want = {
      {"MainDir", "/"},
      {"MainDir/00_File.txt", "zero\n"},
      {"MainDir/01_Dir", "/"},
      {"MainDir/01_Dir/File01.txt", text},
      {"MainDir/02_EmptyDir", "/"},
      {"MainDir/03_Dir", "/"},
      {"MainDir/03_Dir/File01.txt", "three\n"},
      {"MainDir/04_File.txt", "four\n"},
  };
  struct Case {
    const char* what;
    std::vector<Forged> entries;
  };
  const Case cases[] = {
      {"level 0, folders as \"dir/\"",
       {entry(0, "", "MainDir/00_File.txt", "zero\n", 0x00),
        entry(0, "", std::string("MainDir/01_Dir/File01.txt\0a comment", 35), text, 0x10),
        entry(0, "", "MainDir/01_Dir/", "", 0x00), entry(0, "", "MainDir/02_EmptyDir/", "", 0x10),
        entry(0, "", "MainDir/03_Dir/File01.txt", "three\n", 0x40), entry(0, "", "MainDir/03_Dir/", "", 0x00),
        entry(0, "", "MainDir/04_File.txt", "four\n", 0x20), entry(0, "", "MainDir/", "", 0x00)}},
      {"level 1, folders as a folder field alone",
       {entry(1, "MainDir", "00_File.txt", "zero\n", 0x00), entry(1, "MainDir\xFF" "01_Dir", "File01.txt", text, 0x10),
        entry(1, "MainDir\xFF" "01_Dir", "", "", 0x00), entry(1, "MainDir\xFF" "02_EmptyDir", "", "", 0x10),
        entry(1, "MainDir\xFF" "03_Dir\xFF", "File01.txt", "three\n", 0x40),
        entry(1, "MainDir\xFF" "03_Dir\xFF", "", "", 0x00), entry(1, "MainDir", "04_File.txt", "four\n", 0x20),
        entry(1, "MainDir", "", "", 0x00)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto ours = extract(c.entries);
    EXPECT_EQ(brief(ours), brief(want));
    const auto theirs = theirExtraction("UNLHA_TEST_LHA", "xqf", dir / "forged.lzh", dir / "theirs");
    ASSERT_TRUE(theirs);
    EXPECT_FALSE(theirs->empty());
    for (const auto& [path, content] : *theirs) {
      EXPECT_TRUE(ours.count(path) && ours.at(path) == content) << path;
    }
  }
}

}  // namespace

namespace {

// LHark's "-lh7-", built here from its codes: static Huffman blocks over a
// 64 KiB dictionary, 289 literal/length codes (3 to 10 as codes 256 to
// 263, then 24 codes with more bits, 288 for 514) and 32 position codes
// (0 to 3 as they are, then codes with more bits). The tables are fixed:
// literals of 9 bits, lengths of 6 and 7, positions of 5.
struct Lhark {
  std::string packed, original;
};
Lhark lharkStream(std::size_t tokens, unsigned seed, std::size_t perBlock = 30000) {
  // The canonical codes of the fixed lengths.
  std::vector<std::uint8_t> cLen(289, 9);
  for (int c = 256; c < 287; ++c) cLen[static_cast<std::size_t>(c)] = 6;
  cLen[287] = cLen[288] = 7;
  auto canonical = [](const std::vector<std::uint8_t>& len) {
    std::vector<std::uint32_t> code(len.size());
    std::uint32_t next = 0;
    for (int l = 1; l <= 16; ++l) {
      for (std::size_t s = 0; s < len.size(); ++s)
        if (len[s] == l) code[s] = next++;
      next <<= 1;
    }
    return code;
  };
  const auto cCode = canonical(cLen);
  // The length of a literal/length code and its extra bits.
  auto lengthCode = [](unsigned length, unsigned& extraBits, unsigned& extra) {
    extraBits = extra = 0;
    if (length <= 10) return length + 253;
    if (length == 514) return 288u;
    for (unsigned c = 264; c < 288; ++c) {
      const unsigned bits = (c - 260) / 4, first = ((4 + c % 4) << bits) + 3;
      if (length >= first && length < first + (1u << bits)) {
        extraBits = bits;
        extra = length - first;
        return c;
      }
    }
    return 0u;
  };
  auto positionCode = [](unsigned back, unsigned& extraBits, unsigned& extra) {
    extraBits = extra = 0;
    if (back <= 3) return back;
    for (unsigned p = 4; p < 32; ++p) {
      const unsigned bits = (p - 2) / 2, first = (2 + p % 2) << bits;
      if (back >= first && back < first + (1u << bits)) {
        extraBits = bits;
        extra = back - first;
        return p;
      }
    }
    return 0u;
  };
  Lhark out;
  BitWriter w;
  std::mt19937 rng(seed);
  std::size_t left = tokens;
  while (left > 0) {
    const std::size_t count = std::min(left, perBlock);
    left -= count;
    w.put(16, static_cast<std::uint32_t>(count));
    // Code-length code: 8 (length 6) as "0", 9 (length 7) as "10", 11
    // (length 9) as "11": twelve lengths, three zeros skipped after the third.
    w.put(5, 12);
    for (int i = 0; i < 3; ++i) w.put(3, 0);
    w.put(2, 3);
    for (unsigned l : {0u, 0u, 1u, 2u, 0u, 2u}) w.put(3, l);
    w.put(9, 289);
    for (std::uint8_t l : cLen) l == 6 ? w.put(1, 0) : l == 7 ? w.put(2, 2) : w.put(2, 3);
    w.put(6, 32);
    for (int p = 0; p < 32; ++p) w.put(3, 5);
    for (std::size_t t = 0; t < count; ++t) {
      const bool literal = out.original.size() < 2 || rng() % 3 == 0;
      if (literal) {
        const unsigned char b = static_cast<unsigned char>(rng() % 64 + 32);
        w.put(9, cCode[b]);
        out.original.push_back(static_cast<char>(b));
        continue;
      }
      // Every length and every distance code in turn, within what is there.
      unsigned length = 3 + rng() % 512;
      if (rng() % 4 == 0) length = 3 + rng() % 20;
      const std::size_t reach = std::min<std::size_t>(out.original.size(), 65536);
      unsigned back = static_cast<unsigned>(rng() % reach);  // distance less one
      if (rng() % 3 == 0) back = static_cast<unsigned>(std::min<std::size_t>(reach - 1, rng() % 8));
      unsigned eb, ev;
      const unsigned c = lengthCode(length, eb, ev);
      w.put(cLen[c], cCode[c]);
      w.put(static_cast<int>(eb), ev);
      const unsigned p = positionCode(back, eb, ev);
      w.put(5, p);
      w.put(static_cast<int>(eb), ev);
      const std::size_t from = out.original.size() - back - 1;
      for (unsigned k = 0; k < length; ++k) out.original.push_back(out.original[from + k]);
    }
  }
  out.packed = w.bytes();
  return out;
}

}  // namespace

namespace {

// LHark archives: "-lh7-" at header level 1 with the blank OS id is LHark's
// own "-lh7-"; the same method with any other OS id or at another level is
// the common one. Debian's lhasa (0.3.1) predates LHark's codes: what it
// extracts whole equals ours, and the LHark entries equal the data they were
// built from.
TEST_F(Forge, LharkArchivesExtractAsLhasaExtractsThem) {
  const char* lhasa = std::getenv("UNLHA_TEST_LHA");
  if (!lhasa) GTEST_SKIP() << "lhasa is not installed";
  const Lhark big = lharkStream(40000, 41), small = lharkStream(300, 42), oneBlock = lharkStream(20, 43, 20);
  const std::string text = textLike(90000, 44);
  auto entry = [](int level, char os, const std::string& dirPart, const std::string& name, const std::string& packed,
                  const std::string& original) {
    Forged f;
    f.level = level;
    f.os = os;
    f.method = "-lh7-";
    f.dir = dirPart;
    f.name = name;
    f.packed = packed;
    f.original = original;
    return f;
  };
  const std::string common = unlha::lzh::encode(text, unlha::lzh::paramsFor(16));
  const std::vector<Forged> entries = {
      entry(1, ' ', "", "BIG.DAT", big.packed, big.original),
      entry(1, ' ', "SUB\xFF", "SMALL.TXT", small.packed, small.original),
      entry(1, ' ', "", "ONE.TXT", oneBlock.packed, oneBlock.original),
      entry(1, 'M', "", "common1.txt", common, text),
      entry(2, ' ', "", "common2.txt", common, text),
      entry(0, 'M', "", "common0.txt", common, text),
  };
  const auto ours = extract(entries);
  const std::map<std::string, std::string> want = {
      {"BIG.DAT", big.original},   {"SUB", "/"},         {"SUB/SMALL.TXT", small.original}, {"ONE.TXT", oneBlock.original},
      {"common1.txt", text},       {"common2.txt", text}, {"common0.txt", text}};
  EXPECT_EQ(brief(ours), brief(want));
  EXPECT_GT(big.original.size(), 3u << 16);
  const auto theirs = theirExtraction("UNLHA_TEST_LHA", "xqf", dir / "forged.lzh", dir / "theirs");
  ASSERT_TRUE(theirs);
  for (const char* name : {"common1.txt", "common2.txt", "common0.txt"}) {
    EXPECT_TRUE(theirs->count(name) && theirs->at(name) == ours.at(name)) << name;
  }
  for (const auto& [path, content] : *theirs) {
    if (ours.count(path) && content == ours.at(path)) continue;
    // A file lhasa did not extract whole: only an LHark entry, and lhasa says so.
    EXPECT_TRUE(path == "BIG.DAT" || path == "SUB/SMALL.TXT" || path == "ONE.TXT") << path;
    const std::string cmd = std::string(lhasa) + " tq " + q(dir / "forged.lzh") + " > /dev/null 2>&1";
    EXPECT_NE(std::system(cmd.c_str()), 0) << "lhasa found no fault in " << path;
  }
}

}  // namespace

namespace {

// "-lh2-" as the format grows its two adaptive codes, written here on its
// own. Node 0 is the root; the children of node n stand at kid[n] (bit 0)
// and kid[n] - 1 (bit 1); a leaf holds the complement of its symbol. The
// nodes are in order of their counts, the greatest first; a symbol sent
// raises its count and each of its ancestors', every node first trading
// places with the first node of its count. The literal/length code starts
// with all 286 symbols at count 1; the position code with code 0 alone at
// the root (no bits), whose uses count for the halving but not for its leaf,
// and takes in code k once the data has grown past 64 k bytes, as the
// sibling of the last node. Once 0x8000 symbols have been counted (the
// literal/length code counts from 286) the leaves' counts are halved and
// the tree built anew.
class Lh2Code {
 public:
  static Lh2Code all(int symbols) {
    Lh2Code t(symbols);
    const int last = 2 * symbols - 2;
    for (int s = 0; s < symbols; ++s) t.setLeaf(last - s, 1, s);
    for (int j = symbols - 2, i = last; j >= 0; --j, i -= 2) {
      t.count_[j] = t.count_[i] + t.count_[i - 1];
      t.setInner(j, i);
    }
    t.size_ = last + 1;
    t.total_ = static_cast<unsigned>(symbols);
    return t;
  }
  static Lh2Code single(int symbols, int s) {
    Lh2Code t(symbols);
    t.setLeaf(0, 1, s);
    t.size_ = 1;
    return t;
  }

  // The bits of symbol s, from the root down, and the update.
  void send(BitWriter& w, int s) {
    std::vector<int> bits;
    for (int n = where_[s]; n != 0; n = up_[n]) bits.push_back(kid_[up_[n]] == n ? 0 : 1);
    for (auto it = bits.rbegin(); it != bits.rend(); ++it) w.put(1, static_cast<std::uint32_t>(*it));
    update(s);
  }
  // A new symbol s beside the last node, counted once.
  void grow(int s) {
    const int last = size_ - 1, r = last + 1, q = last + 2;
    count_[r] = count_[last];
    kid_[r] = kid_[last];
    fix(r);
    setLeaf(q, 0, s);
    setInner(last, q);
    size_ += 2;
    update(s);
  }

 private:
  explicit Lh2Code(int symbols)
      : count_(2 * symbols), kid_(2 * symbols), up_(2 * symbols), where_(static_cast<std::size_t>(symbols), -1) {}
  void setLeaf(int n, unsigned c, int s) {
    count_[n] = c;
    kid_[n] = ~s;
    where_[s] = n;
  }
  void setInner(int n, int k) {
    kid_[n] = k;
    up_[k] = up_[k - 1] = n;
  }
  void fix(int n) {
    if (kid_[n] < 0)
      where_[~kid_[n]] = n;
    else
      up_[kid_[n]] = up_[kid_[n] - 1] = n;
  }
  void update(int s) {
    if (total_ == 0x8000) halve();
    for (int n = where_[s]; n != 0;) {
      int first = n;
      while (first > 1 && count_[first - 1] == count_[n]) --first;
      if (first != n) {
        std::swap(kid_[first], kid_[n]);
        fix(first);
        fix(n);
      }
      ++count_[first];
      n = up_[first];
    }
    ++total_;
  }
  void halve() {
    std::vector<std::pair<unsigned, int>> leaves;  // count, content, in node order
    for (int n = 0; n < size_; ++n)
      if (kid_[n] < 0) leaves.push_back({(count_[n] + 1) / 2, kid_[n]});
    int j = static_cast<int>(leaves.size()) - 1, i = size_ - 1, l = size_ - 2;
    auto leaf = [&] {
      count_[i] = leaves[static_cast<std::size_t>(j)].first;
      kid_[i] = leaves[static_cast<std::size_t>(j)].second;
      --i;
      --j;
    };
    while (i >= 0) {
      while (i >= l) leaf();
      const unsigned f = count_[l] + count_[l + 1];
      while (j >= 0 && leaves[static_cast<std::size_t>(j)].first <= f) leaf();
      count_[i] = f;
      kid_[i] = l + 1;
      --i;
      l -= 2;
    }
    for (int n = 0; n < size_; ++n) fix(n);
    total_ = count_[0];
  }

  std::vector<unsigned> count_;
  std::vector<int> kid_, up_, where_;
  int size_ = 0;
  unsigned total_ = 0;
};

struct Lh2Token {
  unsigned length = 0;  // 0: a literal
  unsigned value = 0;   // the byte, or the distance (1 to 8192)
};

// The stream of the tokens: data of their bytes, packed. The end as the
// MS-DOS LHA line ends it: seven zero bits more, then the byte filled up.
struct Lh2 {
  std::string packed, original;
};
Lh2 lh2Stream(const std::vector<Lh2Token>& tokens) {
  Lh2 out;
  BitWriter w;
  Lh2Code codes = Lh2Code::all(286), positions = Lh2Code::single(128, 0);
  std::size_t next = 64;
  for (const Lh2Token& t : tokens) {
    if (t.length == 0) {
      codes.send(w, static_cast<int>(t.value));
      out.original.push_back(static_cast<char>(t.value));
      continue;
    }
    if (t.length < 32) {
      codes.send(w, static_cast<int>(t.length + 253));
    } else {
      codes.send(w, 285);
      w.put(8, t.length - 32);
    }
    while (next < 8192 && out.original.size() > next) {
      positions.grow(static_cast<int>(next / 64));
      next += 64;
    }
    positions.send(w, static_cast<int>((t.value - 1) >> 6));
    w.put(6, (t.value - 1) & 63);
    const std::size_t from = out.original.size() - t.value;
    for (unsigned k = 0; k < t.length; ++k) out.original.push_back(out.original[from + k]);
  }
  w.put(7, 0);
  out.packed = w.bytes();
  return out;
}

// Tokens of literals and matches at random: a match in three from the
// start, of every length and of distances across all the data there is.
std::vector<Lh2Token> lh2Tokens(std::size_t count, unsigned seed, int literalsInSix) {
  std::vector<Lh2Token> tokens;
  std::mt19937 rng(seed);
  std::size_t have = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (have < 70 || static_cast<int>(rng() % 6) < literalsInSix) {
      tokens.push_back({0, static_cast<unsigned>(rng() % 96 + 32)});
      ++have;
      continue;
    }
    unsigned length = 3 + rng() % 30;
    if (rng() % 5 == 0) length = 32 + rng() % 225;  // up to 256, the longest the LHA line sends
    const std::size_t reach = std::min<std::size_t>(have, 8192);
    unsigned distance = 1 + static_cast<unsigned>(rng() % reach);
    if (rng() % 4 == 0) distance = 1 + static_cast<unsigned>(rng() % std::min<std::size_t>(reach, 64));
    tokens.push_back({length, distance});
    have += length;
  }
  return tokens;
}

}  // namespace

namespace {

// "-lh2-" streams of other encoders than jLHA: matches from the first bytes
// (position code 0 alone at the root, before the position code grows,
// whose uses there do not count for its leaf), both codes halved at 0x8000
// (more than 32768 literals and lengths, and as many distances), and the
// ends of the stream. jlha extracts them as we do, but for two: it counts
// the first uses of code 0 (as jLHA packs, which we read too, see the
// interop tests), and it writes the last match whole past the declared
// length. Those two equal the data they were built from.
TEST_F(Forge, Lh2StreamsOfOtherEncodersExtractAsJlhaExtractsThem) {
  if (!std::getenv("UNLHA_TEST_JLHA")) GTEST_SKIP() << "jlha is not installed";
  struct Stream {
    const char* what;
    Lh2 lh2;
    bool asJlha;  // jlha extracts it as it was built
  };
  std::vector<Stream> streams;
  {
    // A match at once, and more within the first 64 bytes.
    std::vector<Lh2Token> t = {{0, 'a'}, {5, 1}, {0, 'b'}, {3, 2}, {0, 'c'}, {10, 7}, {4, 20}};
    auto more = lh2Tokens(400, 51, 3);
    t.insert(t.end(), more.begin(), more.end());
    streams.push_back({"matches from the first bytes", lh2Stream(t), false});
  }
  streams.push_back({"no match in the first bytes", lh2Stream(lh2Tokens(2000, 57, 3)), true});
  streams.push_back({"both codes halved, mostly matches", lh2Stream(lh2Tokens(70000, 52, 1)), true});
  streams.push_back({"both codes halved, mostly literals", lh2Stream(lh2Tokens(120000, 53, 5)), true});
  {
    Lh2 s = lh2Stream(lh2Tokens(3000, 54, 3));
    streams.push_back({"bytes after the end", {s.packed + std::string(3, '\0'), s.original}, true});
    // The declared length ends inside the last match.
    std::vector<Lh2Token> t = lh2Tokens(3000, 55, 3);
    t.push_back({200, 100});
    Lh2 cut = lh2Stream(t);
    cut.original.resize(cut.original.size() - 150);
    streams.push_back({"a length that ends inside the last match", cut, false});
  }
  std::vector<Forged> entries;
  std::map<std::string, std::string> want;
  for (std::size_t i = 0; i < streams.size(); ++i)
    for (int level = 0; level <= 1; ++level) {  // jlha reads no level 2 -lh2- header
      Forged f;
      f.level = level;
      f.method = "-lh2-";
      f.name = std::to_string(i) + "-" + std::to_string(level) + ".bin";
      f.packed = streams[i].lh2.packed;
      f.original = streams[i].lh2.original;
      want[f.name] = f.original;
      entries.push_back(f);
    }
  const auto ours = extract(entries);
  const auto theirs = theirExtraction("UNLHA_TEST_JLHA", "xqy", dir / "forged.lzh", dir / "theirs");
  ASSERT_TRUE(theirs);
  EXPECT_EQ(brief(ours), brief(want));
  for (const auto& [name, data] : want) {
    const Stream& st = streams[static_cast<std::size_t>(std::stoi(name))];
    EXPECT_TRUE(ours.count(name) && ours.at(name) == data) << st.what << ": " << name;
    if (st.asJlha) {
      EXPECT_TRUE(theirs->count(name) && theirs->at(name) == data) << st.what << ": " << name;
    }
  }
}

}  // namespace

namespace {

// OS/2 archives whose folder entries carry extended attributes in an
// extension header (0x7E, or 0x7F), with the attributes of each folder also
// stored as an entry of the folder's name, and files in nested folders; the
// OS id is OS/2's or the DOS one. The folders' attribute entries are passed
// over and every file comes out, as lhasa extracts them (it reports the
// attribute entries it cannot write).
TEST_F(Forge, Os2FoldersWithExtendedAttributesExtractAsLhasaExtractsThem) {
  if (!std::getenv("UNLHA_TEST_LHA")) GTEST_SKIP() << "lhasa is not installed";
  const std::string ea = "\x7E" + std::string(4, '\0') + ".LONGNAME" + std::string(6, '\0');
  const std::string attributes = "\x7F" + le(0x10, 2) + std::string(6, '\0') + le(1718452800, 4) + le(1718452800, 4) +
                                 le(1718452800, 4);
  const std::string text = textLike(6000, 61);
  auto folder = [&](int level, char os, const std::string& path, const std::string& header) {
    Forged f;
    f.level = level;
    f.os = os;
    f.method = "-lhd-";
    f.dir = path;
    f.extended = {header};
    f.attr = 0x10;
    return f;
  };
  auto file = [&](int level, char os, const std::string& dirPart, const std::string& name, const std::string& data,
                  std::vector<std::string> headers = {}) {
    Forged f;
    f.level = level;
    f.os = os;
    f.method = "-lh0-";
    f.dir = dirPart;
    f.name = name;
    f.packed = f.original = data;
    f.extended = std::move(headers);
    return f;
  };
  for (int level = 1; level <= 3; ++level) {
    for (char os : {'2', 'M'}) {
      SCOPED_TRACE(std::to_string(level) + os);
      const std::string& header = level == 3 ? attributes : ea;
      const std::vector<Forged> entries = {
          folder(level, os, "top\xFF", header),
          file(level, os, "", "top", "EA of top", {header}),
          folder(level, os, "top\xFFsub\xFF", header),
          file(level, os, "top\xFF", "sub", "EA of sub", {header}),
          folder(level, os, "top\xFFsub\xFF" "deep\xFF", header),
          file(level, os, "top\xFFsub\xFF", "deep", "EA of deep", {header}),
          file(level, os, "top\xFFsub\xFF" "deep\xFF", "in.txt", text),
          file(level, os, "top\xFF", "a.txt", "top file\n"),
      };
      const auto ours = extract(entries);
      EXPECT_EQ(ours, (std::map<std::string, std::string>{{"top", "/"},
                                                         {"top/a.txt", "top file\n"},
                                                         {"top/sub", "/"},
                                                         {"top/sub/deep", "/"},
                                                         {"top/sub/deep/in.txt", text}}));
      const auto theirs = theirExtraction("UNLHA_TEST_LHA", "xqf", dir / "forged.lzh", dir / "theirs");
      ASSERT_TRUE(theirs);
      EXPECT_EQ(ours, *theirs);
    }
  }
}

}  // namespace

namespace {

// Our own decoders read through the same 64 KiB buffer: "-lh2-" and LHark's
// "-lh7-" streams of lengths close around its first three ends extract to
// the data they were built from (and the "-lh2-" ones as jlha extracts them).
TEST_F(Forge, OwnDecodersReadPackedDataAcrossTheReadBuffer) {
  constexpr std::size_t kBuffer = 1 << 16;
  struct Made {
    std::string packed, original;
  };
  struct Method {
    const char* method;
    int level;
    char os;
    std::function<Made(std::size_t tokens, unsigned seed)> make;
  };
  const Method methods[] = {
      {"-lh2-", 1, 'M',
       [](std::size_t tokens, unsigned seed) {
         const Lh2 s = lh2Stream(lh2Tokens(tokens, seed, 4));
         return Made{s.packed, s.original};
       }},
      {"-lh7-", 1, ' ',
       [](std::size_t tokens, unsigned seed) {
         const Lhark s = lharkStream(tokens, seed);
         return Made{s.packed, s.original};
       }},
  };
  for (const Method& m : methods) {
    SCOPED_TRACE(m.method);
    std::vector<Forged> entries;
    std::set<std::size_t> lengths;
    for (std::size_t boundary = kBuffer; boundary <= 3 * kBuffer; boundary += kBuffer) {
      for (int d = -6; d <= 6; d += 3) {
        const std::size_t want = boundary + static_cast<std::size_t>(d + 6) - 6;
        // The token count that packs to about want bytes.
        std::size_t tokens = want / 2;
        const unsigned seed = static_cast<unsigned>(want);
        Made s = m.make(tokens, seed);
        for (int round = 0; round < 12 && s.packed.size() != want; ++round) {
          const double perToken = static_cast<double>(s.packed.size()) / static_cast<double>(tokens);
          const double off = (static_cast<double>(want) - static_cast<double>(s.packed.size())) / perToken;
          tokens = static_cast<std::size_t>(static_cast<double>(tokens) + (off > 0 ? std::max(off, 1.0) : std::min(off, -1.0)));
          s = m.make(tokens, seed);
        }
        lengths.insert(s.packed.size());
        Forged f;
        f.level = m.level;
        f.os = m.os;
        f.method = m.method;
        f.name = std::to_string(entries.size()) + "-packed-" + std::to_string(s.packed.size()) + ".bin";
        f.packed = std::move(s.packed);
        f.original = std::move(s.original);
        entries.push_back(std::move(f));
      }
      const auto above = lengths.upper_bound(boundary);
      EXPECT_TRUE(above != lengths.begin() && above != lengths.end() && *above - *std::prev(above) <= 16)
          << "lengths on both sides of " << boundary;
    }
    const auto ours = extract(entries);
    EXPECT_EQ(ours.size(), entries.size());
    for (const Forged& f : entries) EXPECT_TRUE(ours.count(f.name) && ours.at(f.name) == f.original) << f.name;
    if (std::string(m.method) == "-lh2-" && std::getenv("UNLHA_TEST_JLHA")) {
      const auto theirs = theirExtraction("UNLHA_TEST_JLHA", "xqy", dir / "forged.lzh", dir / "theirs");
      ASSERT_TRUE(theirs);
      EXPECT_EQ(brief(ours), brief(*theirs));
    }
  }
}

}  // namespace
