// The archiver layer: packing and unpacking through command lines, the
// header levels, and extraction of hostile archives.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>

#include "archive.h"
#include "names.h"
#include "testdata.h"
#include "unlha/unlha.h"

namespace {

using namespace unlhatest;

class Unlha : public ScratchTest {
 protected:
  fs::path sampleFolder(const std::string& name = "photos") { return unlhatest::sampleFolder(dir, name); }

  // An archive made of hand-built entries (stored data).
  fs::path craft(const std::vector<std::pair<std::string, std::string>>& entries, int level = 2,
                 const std::string& method = "-lh0-") {
    const fs::path p = dir / "crafted.lzh";
    std::string bytes;
    for (const auto& [path, data] : entries) {
      unlha::archive::Entry e;
      e.method = method;
      e.path = path;
      e.isDir = method == "-lhd-";
      e.originalSize = e.packedSize = data.size();
      e.crc = unlha::archive::crc16(data.data(), data.size());
      e.mtime = 1700000000;
      std::string h;
      EXPECT_TRUE(unlha::archive::buildHeader(e, level, h, nullptr));
      bytes += h + data;
    }
    bytes.push_back('\0');
    writeFile(p, bytes);
    return p;
  }
};

TEST(Crc16, KnownValue) {
  // CRC-16 (0xA001 reflected, start 0) of "123456789" is 0xBB3D.
  EXPECT_EQ(unlha::archive::crc16("123456789", 9), 0xBB3D);
}

// ---------------------------------------------------------------- commands

TEST_F(Unlha, FolderPacksAndExtractsAtEveryHeaderLevelAndMethod) {
  const fs::path src = sampleFolder();
  const auto want = tree(src);
  for (const char* h : {"-h0 ", "-h1 ", "-h2 ", "-h3 "}) {
    for (const char* m : {"-jm0 ", "-jm1 ", "-jm2 ", "-jm3 ", "-jm4 ", "-jma "}) {
      SCOPED_TRACE(std::string(h) + m);
      const fs::path arc = dir / "photos.lzh";
      fs::remove(arc);
      ASSERT_EQ(unlha::Unlha(0, "a -d1 -y1 " + std::string(h) + m + q(arc) + " " + qs(src) + " *.*"), 0);
      EXPECT_NE(unlha::UnlhaCheckArchive(arc.string(), 1), 0);
      const fs::path out = dir / "out";
      fs::remove_all(out);
      ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + q(out) + "/ *.*"), 0);
      EXPECT_EQ(tree(out), want);
    }
  }
}

TEST_F(Unlha, ExtractionKeepsTimeStamps) {
  const fs::path src = sampleFolder();
  const auto t = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(src / "readme.txt", t);
  const fs::path arc = dir / "photos.lzh";
  for (const char* h : {"-h0 ", "-h1 ", "-h2 ", "-h3 "}) {
    fs::remove(arc);
    ASSERT_EQ(unlha::Unlha(0, "a -d1 -y1 " + std::string(h) + q(arc) + " " + qs(src) + " *.*"), 0);
    fs::remove_all(dir / "out");
    ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), 0);
    const auto got = fs::last_write_time(dir / "out" / "readme.txt");
    // Level 0 and 1 keep DOS time: two-second steps.
    EXPECT_LE(std::chrono::abs(got - t), std::chrono::seconds(2)) << h;
  }
}

TEST_F(Unlha, JapaneseNamesAreCp932InTheArchive) {
  const std::string name = "添付ファイル表.txt";  // 表 has the trail byte 0x5C
  writeFile(dir / "日本語" / name, "中身");
  const fs::path arc = dir / "jp.lzh";
  for (const char* h : {"-h0 ", "-h1 ", "-h2 ", "-h3 "}) {
    fs::remove(arc);
    ASSERT_EQ(unlha::Unlha(0, "a -d1 " + std::string(h) + q(arc) + " " + qs(dir) + " 日本語"), 0);
    const std::string bytes = readFile(arc);
    EXPECT_NE(bytes.find(unlha::names::toArchive(name)), std::string::npos) << h;
    EXPECT_EQ(bytes.find(name), std::string::npos) << h;
    fs::remove_all(dir / "out");
    ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), 0);
    EXPECT_EQ(readFile(dir / "out" / "日本語" / name), "中身") << h;
  }
}

TEST_F(Unlha, SingleFileIsStoredByItsNameAlone) {
  writeFile(dir / "a" / "notes.txt", "hello");
  const fs::path arc = dir / "a" / "notes.lzh";
  ASSERT_EQ(unlha::Unlha(0, "a -y1 -h2 -jm2 " + q(arc) + " " + q(dir / "a" / "notes.txt") + " "), 0);
  ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "b") + " *.*"), 0);
  EXPECT_EQ(tree(dir / "b"), (std::map<std::string, std::string>{{"notes.txt", "hello"}}));
}

TEST_F(Unlha, ResponseFileLinesPackFoldersAndFiles) {
  sampleFolder("photos");
  writeFile(dir / "my file.txt", "text");
  writeFile(dir / "rp.lst", "\"" + dir.string() + "/\" \"photos\" -d1 \r\n\"" + dir.string() +
                                "/\" \"my file.txt\" -d0 \r\n");
  const fs::path arc = dir / "photos.lzh";
  ASSERT_EQ(unlha::Unlha(0, "a -y1 -h2 -jm2 " + q(arc) + " @" + q(dir / "rp.lst")), 0);
  ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), 0);
  auto want = tree(dir / "photos");
  std::map<std::string, std::string> prefixed;
  for (auto& [k, v] : want) prefixed["photos/" + k] = v;
  prefixed["photos"] = "/";
  prefixed["my file.txt"] = "text";
  EXPECT_EQ(tree(dir / "out"), prefixed);
}

TEST_F(Unlha, QuotedNamesAreTakenLiterally) {
  // Names with wildcard characters and double quotes, as a drop gives them.
  writeFile(dir / "src" / "a*b.txt", "star");
  writeFile(dir / "src" / "aXb.txt", "not me");
  writeFile(dir / "src" / "what?.txt", "question");
  writeFile(dir / "src" / "say \"hi\".txt", "quoted");
  writeFile(dir / "src" / "fold\"er" / "in.txt", "inside");
  const fs::path arc = dir / "names.lzh";
  for (const char* name : {"a*b.txt", "what?.txt", "say \"hi\".txt"})
    ASSERT_EQ(unlha::Unlha(0, "u -y1 " + q(arc) + " " + q(dir / "src" / name) + " "), 0) << name;
  ASSERT_EQ(unlha::Unlha(0, "u -d1 -y1 " + q(arc) + " " + qs(dir / "src" / "fold\"er") + " *.*"), 0);
  // An unquoted wildcard still matches.
  ASSERT_EQ(unlha::Unlha(0, "x -y1 " + q(arc) + " " + q(dir / "out") + "/ *.*"), 0);
  EXPECT_EQ(tree(dir / "out"), (std::map<std::string, std::string>{{"a*b.txt", "star"},
                                                                   {"what?.txt", "question"},
                                                                   {"say \"hi\".txt", "quoted"},
                                                                   {"in.txt", "inside"}}));
  // A quoted name to extract is no pattern either.
  fs::remove_all(dir / "out");
  ASSERT_EQ(unlha::Unlha(0, "x -y1 " + q(arc) + " " + qs(dir / "out") + " \"a*b.txt\""), 0);
  EXPECT_EQ(tree(dir / "out"), (std::map<std::string, std::string>{{"a*b.txt", "star"}}));
}

TEST_F(Unlha, UpdateAddsToAnExistingArchiveAndAddReplaces) {
  writeFile(dir / "one.txt", "1");
  writeFile(dir / "two.txt", "2");
  const fs::path arc = dir / "set.lzh";
  ASSERT_EQ(unlha::Unlha(0, "a -y1 " + q(arc) + " " + q(dir / "one.txt")), 0);
  ASSERT_EQ(unlha::Unlha(0, "u -y1 " + q(arc) + " " + q(dir / "two.txt")), 0);
  writeFile(dir / "one.txt", "one, changed");
  ASSERT_EQ(unlha::Unlha(0, "a -y1 " + q(arc) + " " + q(dir / "one.txt")), 0);
  ASSERT_EQ(unlha::Unlha(0, "x -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), 0);
  EXPECT_EQ(tree(dir / "out"), (std::map<std::string, std::string>{{"one.txt", "one, changed"}, {"two.txt", "2"}}));
}

TEST_F(Unlha, ExistingFilesStayWithoutYes) {
  writeFile(dir / "one.txt", "new");
  const fs::path arc = dir / "set.lzh";
  ASSERT_EQ(unlha::Unlha(0, "a " + q(arc) + " " + q(dir / "one.txt")), 0);
  writeFile(dir / "out" / "one.txt", "old");
  ASSERT_EQ(unlha::Unlha(0, "x " + q(arc) + " " + qs(dir / "out") + " *.*"), 0);
  EXPECT_EQ(readFile(dir / "out" / "one.txt"), "old");
  ASSERT_EQ(unlha::Unlha(0, "x -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), 0);
  EXPECT_EQ(readFile(dir / "out" / "one.txt"), "new");
}

TEST_F(Unlha, FailuresGiveTheirCodes) {
  writeFile(dir / "f.txt", "x");
  fs::create_directories(dir / "empty");
  writeFile(dir / "text.lzh", "this is no archive at all, just text");
  const fs::path arc = dir / "f.lzh";
  const std::vector<std::pair<std::string, int>> cases = {
      {"", unlha::kErrorCommand},
      {"z " + q(arc), unlha::kErrorCommand},
      {"a -q9 " + q(arc) + " " + q(dir / "f.txt"), unlha::kErrorCommand},
      {"a -h4 " + q(arc) + " " + q(dir / "f.txt"), unlha::kErrorCommand},
      {"a " + q(arc) + " " + q(dir / "missing.txt"), unlha::kErrorRead},
      {"a -d1 " + q(arc) + " " + qs(dir / "empty") + " *.*", unlha::kErrorNoFiles},
      {"a " + q(arc) + " @" + q(dir / "missing.lst"), unlha::kErrorRead},
      {"x -y1 " + q(dir / "missing.lzh") + " " + qs(dir / "o") + " *.*", unlha::kErrorNoArchive},
      {"x -y1 " + q(dir / "text.lzh") + " " + qs(dir / "o") + " *.*", unlha::kErrorBrokenArchive},
      {"a " + q(dir / "text.lzh") + " " + q(dir / "f.txt"), unlha::kErrorBrokenArchive},
  };
  for (const auto& [cmd, code] : cases) EXPECT_EQ(unlha::Unlha(0, cmd), code) << cmd;
  EXPECT_FALSE(fs::exists(arc));
  EXPECT_EQ(readFile(dir / "text.lzh"), "this is no archive at all, just text");
}

TEST_F(Unlha, CheckArchiveTellsArchivesFromOtherFiles) {
  writeFile(dir / "f.txt", textLike(5000));
  const fs::path arc = dir / "f.lzh";
  ASSERT_EQ(unlha::Unlha(0, "a " + q(arc) + " " + q(dir / "f.txt")), 0);
  const std::string good = readFile(arc);
  std::string badSum = good;
  badSum[30] = static_cast<char>(badSum[30] ^ 0x40);  // inside the level 2 header: its CRC no longer matches
  writeFile(dir / "badsum.lzh", badSum);
  writeFile(dir / "cut.lzh", good.substr(0, good.size() / 2));
  writeFile(dir / "zero.bin", std::string(100, '\0'));
  writeFile(dir / "empty.lzh", "");
  EXPECT_NE(unlha::UnlhaCheckArchive(arc.string(), 1), 0);
  for (const char* n : {"f.txt", "badsum.lzh", "cut.lzh", "zero.bin", "empty.lzh", "missing.lzh"})
    EXPECT_EQ(unlha::UnlhaCheckArchive((dir / n).string(), 1), 0) << n;
  EXPECT_EQ(unlha::UnlhaCheckArchive(dir.string(), 1), 0);
  // Neither an empty file nor a folder extracts as an archive.
  for (const fs::path& p : {dir / "empty.lzh", dir})
    EXPECT_EQ(unlha::Unlha(0, "x -y1 " + q(p) + " " + qs(dir / "o") + " *.*"), unlha::kErrorBrokenArchive) << p;
}

// ---------------------------------------------------------------- hostile archives

TEST_F(Unlha, RootAnchoredNamesStayInsideAndClimbingOnesAreSkipped) {
  for (int level : {0, 1, 2, 3}) {
    SCOPED_TRACE(level);
    const fs::path arc = craft({{"../escaped.txt", "bad"},
                                {"a/../../escaped2.txt", "bad"},
                                {"/tmp/unlha-absolute-escape.txt", "rooted"},
                                {"C:/escaped3.txt", "bad"},
                                {"good/ok.txt", "fine"}},
                               level);
    const fs::path out = dir / "deep" / "out";
    fs::remove_all(dir / "deep");
    std::string report;
    EXPECT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(out) + " *.*", &report, 4096),
              unlha::kErrorUnsafePath);
    EXPECT_EQ(tree(dir / "deep"), (std::map<std::string, std::string>{{"out", "/"},
                                                                      {"out/good", "/"},
                                                                      {"out/good/ok.txt", "fine"},
                                                                      {"out/tmp", "/"},
                                                                      {"out/tmp/unlha-absolute-escape.txt", "rooted"}}));
    EXPECT_FALSE(fs::exists("/tmp/unlha-absolute-escape.txt"));
    for (const char* skipped : {"../escaped.txt", "a/../../escaped2.txt", "C:/escaped3.txt"})
      EXPECT_NE(report.find("skipped: " + std::string(skipped)), std::string::npos) << skipped;
  }
}

TEST_F(Unlha, BackslashesInOldHeadersAreFolders) {
  // Level 0 stores "\" between folders, and a Windows archiver's root
  // option a leading one; ".." behind a backslash is refused too.
  const fs::path arc = craft({{"sub\\x.txt", "x"}, {"\\rooted\\y.txt", "y"}, {"..\\escaped.txt", "bad"}}, 0);
  EXPECT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), unlha::kErrorUnsafePath);
  EXPECT_EQ(tree(dir / "out"), (std::map<std::string, std::string>{
                                   {"sub", "/"}, {"sub/x.txt", "x"}, {"rooted", "/"}, {"rooted/y.txt", "y"}}));
  EXPECT_FALSE(fs::exists(dir / "escaped.txt"));
}

TEST_F(Unlha, LinksAreNeitherFollowedNorMade) {
  fs::create_directories(dir / "elsewhere");
  fs::create_directories(dir / "out");
  fs::create_directory_symlink(dir / "elsewhere", dir / "out" / "link");
  fs::create_symlink(dir / "elsewhere" / "target.txt", dir / "out" / "file.txt");
  const fs::path arc = craft({{"link/planted.txt", "bad"}, {"file.txt", "replaced"}});
  EXPECT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), unlha::kErrorWrite);
  EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
  // The extraction failed: what was there stays, the link included.
  EXPECT_TRUE(fs::is_symlink(dir / "out" / "file.txt"));
  // The link itself is replaced by the file, never written through.
  const fs::path arc1 = craft({{"file.txt", "replaced"}});
  EXPECT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc1) + " " + qs(dir / "out") + " *.*"), 0);
  EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
  EXPECT_FALSE(fs::is_symlink(dir / "out" / "file.txt"));
  EXPECT_EQ(readFile(dir / "out" / "file.txt"), "replaced");

  // A link stored by a Unix archiver ("name|target" as a folder entry) is left out.
  const fs::path arc2 = craft({{"evil|/etc/passwd", ""}}, 2, "-lhd-");
  EXPECT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc2) + " " + qs(dir / "out2") + " *.*"), 0);
  EXPECT_TRUE(fs::is_empty(dir / "out2"));
}

TEST_F(Unlha, BadCrcLeavesNoFileBehind) {
  writeFile(dir / "src" / "data.txt", textLike(50000));
  writeFile(dir / "src" / "stored.bin", randomBytes(3000, 9));
  const fs::path arc = dir / "d.lzh";
  ASSERT_EQ(unlha::Unlha(0, "a -d1 " + q(arc) + " " + qs(dir / "src") + " *.*"), 0);
  std::string bytes = readFile(arc);
  // Flip one bit in the middle of each entry's packed data.
  std::FILE* f = std::fopen(arc.c_str(), "rb");
  auto entries = unlha::archive::readAll(f, nullptr);
  std::fclose(f);
  ASSERT_TRUE(entries && entries->size() == 2);
  for (const auto& e : *entries) bytes[e.dataOffset + e.packedSize / 2] ^= 0x10;
  writeFile(arc, bytes);
  EXPECT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out" / "new") + " *.*"), unlha::kErrorCrc);
  EXPECT_FALSE(fs::exists(dir / "out"));  // the folders it made are taken back
  // An existing file of that name keeps its content.
  writeFile(dir / "out" / "data.txt", "kept");
  EXPECT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), unlha::kErrorCrc);
  EXPECT_EQ(tree(dir / "out"), (std::map<std::string, std::string>{{"data.txt", "kept"}}));
}

TEST_F(Unlha, DeclaredSizesThatDisagreeWithTheDataAreRefused) {
  // A stored entry that claims more than it holds, and one whose packed
  // size runs past the end of the file.
  auto build = [&](const fs::path& p, std::uint64_t packed, std::uint64_t original) {
    unlha::archive::Entry e;
    e.method = "-lh0-";
    e.path = "x.txt";
    e.packedSize = packed;
    e.originalSize = original;
    e.crc = unlha::archive::crc16("abc", 3);
    std::string h;
    ASSERT_TRUE(unlha::archive::buildHeader(e, 2, h, nullptr));
    writeFile(p, h + "abc" + std::string(1, '\0'));
  };
  build(dir / "size.lzh", 3, 16);
  EXPECT_EQ(unlha::Unlha(0, "x -y1 " + q(dir / "size.lzh") + " " + qs(dir / "o1") + " *.*"), unlha::kErrorCrc);
  EXPECT_FALSE(fs::exists(dir / "o1"));
  // Packed data that claims to unpack to 4 GiB.
  {
    unlha::archive::Entry e;
    e.method = "-lh5-";
    e.path = "bomb.bin";
    const std::string packed = "\x00\x10\x7F\xFF\x00\x00\x12\x34";
    e.packedSize = packed.size();
    e.originalSize = 0xFFFFFFF0u;
    std::string h;
    ASSERT_TRUE(unlha::archive::buildHeader(e, 2, h, nullptr));
    writeFile(dir / "bomb.lzh", h + packed + std::string(1, '\0'));
    EXPECT_EQ(unlha::Unlha(0, "x -y1 " + q(dir / "bomb.lzh") + " " + qs(dir / "o3") + " *.*"), unlha::kErrorCrc);
    EXPECT_FALSE(fs::exists(dir / "o3"));
  }
  build(dir / "long.lzh", 1u << 30, 1u << 30);
  EXPECT_EQ(unlha::Unlha(0, "x -y1 " + q(dir / "long.lzh") + " " + qs(dir / "o2") + " *.*"), unlha::kErrorBrokenArchive);
  EXPECT_FALSE(fs::exists(dir / "o2"));
  EXPECT_EQ(unlha::UnlhaCheckArchive((dir / "long.lzh").string(), 1), 0);
}

}  // namespace

namespace {

// Damaged archives of every kind: random bytes changed in a good archive.
// Extraction may fail, but never crashes, hangs or writes outside its folder.
TEST_F(Unlha, DamagedArchivesFailCleanly) {
  const fs::path src = sampleFolder();
  for (const char* h : {"-h0 ", "-h1 ", "-h2 ", "-h3 "}) {
    const fs::path arc = dir / "good.lzh";
    fs::remove(arc);
    ASSERT_EQ(unlha::Unlha(0, "a -d1 " + std::string(h) + q(arc) + " " + qs(src) + " *.*"), 0);
    const std::string good = readFile(arc);
    std::mt19937 rng(11);
    for (int round = 0; round < 150; ++round) {
      std::string bad = good;
      const int flips = 1 + static_cast<int>(rng() % 4);
      for (int k = 0; k < flips; ++k) bad[rng() % bad.size()] = static_cast<char>(rng());
      if (round % 10 == 0) bad.resize(rng() % bad.size());
      const fs::path damaged = dir / "cage" / "bad.lzh";
      fs::remove_all(dir / "cage");
      writeFile(damaged, bad);
      unlha::UnlhaCheckArchive(damaged.string(), 1);
      unlha::Unlha(0, "x -d1 -y1 " + q(damaged) + " " + qs(dir / "cage" / "out") + " *.*");
      for (auto& e : fs::recursive_directory_iterator(dir / "cage")) {
        const std::string rel = fs::relative(e.path(), dir / "cage").string();
        EXPECT_TRUE(rel == "bad.lzh" || rel == "out" || rel.rfind("out/", 0) == 0) << rel;
        EXPECT_FALSE(rel.find(".part") != std::string::npos) << rel;  // no half-written file left
      }
    }
  }
}

}  // namespace

namespace {

TEST_F(Unlha, NamesTheCodePageCannotHoldKeepEveryFile) {
  writeFile(dir / "src" / "😀.txt", "smile");
  writeFile(dir / "src" / "😁.txt", "grin");
  writeFile(dir / "src" / "plain.txt", "plain");
  const fs::path arc = dir / "emoji.lzh";
  ASSERT_EQ(unlha::Unlha(0, "a -d1 " + q(arc) + " " + qs(dir / "src") + " *.*"), 0);
  ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), 0);
  const auto got = tree(dir / "out");
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got.at("plain.txt"), "plain");
  std::multiset<std::string> contents;
  for (auto& [k, v] : got) contents.insert(v);
  EXPECT_EQ(contents, (std::multiset<std::string>{"smile", "grin", "plain"}));
}

}  // namespace

namespace {

// ---------------------------------------------------------------- replacing the user's files

TEST_F(Unlha, ReplacingAFileOfOtherContentsIsAskedAndEachAnswerHolds) {
  writeFile(dir / "src" / "a.txt", "new a");
  writeFile(dir / "src" / "b.txt", "new b");
  writeFile(dir / "src" / "c.txt", "new c");
  writeFile(dir / "src" / "same.txt", "same");
  writeFile(dir / "src" / "fresh.txt", "fresh");
  const fs::path arc = dir / "set.lzh";
  ASSERT_EQ(unlha::Unlha(0, "a -d1 " + q(arc) + " " + qs(dir / "src") + " *.*"), 0);
  struct Case {
    const char* what;
    std::vector<unlha::Replace> answers;  // in turn, for a.txt, b.txt, c.txt
    std::map<std::string, std::string> after;
    std::size_t asked;
  };
  const std::map<std::string, std::string> old = {
      {"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "old c"}, {"same.txt", "same"}};
  const Case cases[] = {
      {"yes, no, yes",
       {unlha::Replace::Yes, unlha::Replace::No, unlha::Replace::Yes},
       {{"a.txt", "new a"}, {"b.txt", "old b"}, {"c.txt", "new c"}, {"same.txt", "same"}, {"fresh.txt", "fresh"}},
       3},
      {"no to all of them",
       {unlha::Replace::No, unlha::Replace::No, unlha::Replace::No},
       {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "old c"}, {"same.txt", "same"}, {"fresh.txt", "fresh"}},
       3},
      {"no, then all: nothing more is asked",
       {unlha::Replace::No, unlha::Replace::All},
       {{"a.txt", "old a"}, {"b.txt", "new b"}, {"c.txt", "new c"}, {"same.txt", "same"}, {"fresh.txt", "fresh"}},
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir / "out");
    for (const auto& [k, v] : old) writeFile(dir / "out" / k, v);
    std::vector<std::string> asked;
    unlha::Callbacks cb;
    cb.replaceFile = [&](const std::string& path) {
      asked.push_back(path);
      return asked.size() <= c.answers.size() ? c.answers[asked.size() - 1] : unlha::Replace::No;
    };
    // -y1 as the windows pass it: the question decides.
    ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*", nullptr, 0, cb), 0);
    EXPECT_EQ(tree(dir / "out"), c.after);
    ASSERT_EQ(asked.size(), c.asked);
    // Only files whose contents differ are asked about, by their path on the disk.
    const char* names[] = {"a.txt", "b.txt", "c.txt"};
    for (std::size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], (dir / "out" / names[i]).string());
  }
}

TEST_F(Unlha, AFailedExtractionReplacesNoneOfTheUsersFiles) {
  writeFile(dir / "src" / "1-first.txt", textLike(20000, 1));
  writeFile(dir / "src" / "2-second.txt", textLike(20000, 2));
  const fs::path arc = dir / "d.lzh";
  ASSERT_EQ(unlha::Unlha(0, "a -d1 " + q(arc) + " " + qs(dir / "src") + " *.*"), 0);
  // The second entry's data is broken.
  std::FILE* f = std::fopen(arc.c_str(), "rb");
  auto entries = unlha::archive::readAll(f, nullptr);
  std::fclose(f);
  ASSERT_TRUE(entries && entries->size() == 2);
  std::string bytes = readFile(arc);
  bytes[(*entries)[1].dataOffset + (*entries)[1].packedSize / 2] ^= 0x10;
  writeFile(arc, bytes);
  for (bool withQuestion : {true, false}) {
    SCOPED_TRACE(withQuestion);
    fs::remove_all(dir / "out");
    writeFile(dir / "out" / "1-first.txt", "the user's own");
    int asked = 0;
    unlha::Callbacks cb;
    if (withQuestion) cb.replaceFile = [&](const std::string&) { return ++asked, unlha::Replace::Yes; };
    std::string report;
    EXPECT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*", &report, 4096, cb),
              unlha::kErrorCrc);
    EXPECT_EQ(asked, withQuestion ? 1 : 0);
    EXPECT_EQ(tree(dir / "out"), (std::map<std::string, std::string>{{"1-first.txt", "the user's own"}}));
    EXPECT_NE(report.find("not replaced: 1-first.txt"), std::string::npos) << report;
  }
}

// ---------------------------------------------------------------- links in a folder being packed

TEST_F(Unlha, LinksInsideTheFolderArePackedAsWhatTheyPointToAndTheRestIsNamed) {
  const fs::path src = dir / "photos";
  writeFile(src / "real.txt", "real");
  writeFile(src / "sub" / "inner.txt", "inner");
  writeFile(dir / "outside.txt", "outside");
  fs::create_symlink("real.txt", src / "same-folder.txt");
  fs::create_symlink(src / "sub" / "inner.txt", src / "to-inner.txt");
  fs::create_directory_symlink("sub", src / "sub-link");
  fs::create_symlink(dir / "outside.txt", src / "escape.txt");
  fs::create_symlink("missing.txt", src / "dangling.txt");
  fs::create_directory_symlink("..", src / "sub" / "up");
  ASSERT_EQ(mkfifo((src / "pipe").c_str(), 0600), 0);
  const fs::path arc = dir / "photos.lzh";
  for (const char* pattern : {" *.*", ""}) {
    SCOPED_TRACE(*pattern ? "the folder's names" : "the folder named");
    fs::remove(arc);
    std::vector<unlha::LeftOut> left;
    unlha::Callbacks cb;
    cb.leftOut = &left;
    const std::string names = *pattern ? qs(src) + pattern : qs(dir) + " " + q(src);
    ASSERT_EQ(unlha::Unlha(0, "a -d1 -y1 " + q(arc) + " " + names, nullptr, 0, cb), 0);
    std::map<std::string, unlha::LeftOut::Why> why;
    for (const auto& l : left) why[fs::path(l.path).lexically_relative(src).string()] = l.why;
    EXPECT_EQ(why, (std::map<std::string, unlha::LeftOut::Why>{{"escape.txt", unlha::LeftOut::LinkOutside},
                                                               {"dangling.txt", unlha::LeftOut::LinkBroken},
                                                               {"sub/up", unlha::LeftOut::LinkLoop},
                                                               {"sub-link/up", unlha::LeftOut::LinkLoop},
                                                               {"pipe", unlha::LeftOut::NotAFile}}));
    fs::remove_all(dir / "out");
    ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "out") + " *.*"), 0);
    std::map<std::string, std::string> want = {{"real.txt", "real"},      {"same-folder.txt", "real"},
                                               {"to-inner.txt", "inner"}, {"sub", "/"},
                                               {"sub/inner.txt", "inner"}, {"sub-link", "/"},
                                               {"sub-link/inner.txt", "inner"}};
    if (!*pattern) {
      std::map<std::string, std::string> prefixed{{"photos", "/"}};
      for (const auto& [k, v] : want) prefixed["photos/" + k] = v;
      want = prefixed;
    }
    EXPECT_EQ(tree(dir / "out"), want);
  }
}

// ---------------------------------------------------------------- names with quotes and blanks

TEST_F(Unlha, DoubledQuotesKeepEveryNameWhole) {
  // Names with a quote before a blank, at the end, doubled, and a line break.
  const std::vector<std::string> names = {"say \"hi\" there.txt", "end quote\"", "two \"\" quotes.txt",
                                          "line\nbreak.txt", "\" lead.txt"};
  auto dq = [](const std::string& s) {
    std::string out;
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return "\"" + out + "\"";
  };
  std::map<std::string, std::string> want;
  for (const auto& n : names) {
    writeFile(dir / "src" / n, "content of " + n);
    want[n] = "content of " + n;
  }
  writeFile(dir / "src" / "a \" b" / "in.txt", "in");
  const fs::path arc = dir / "q \" q.lzh";
  // One by one on the command line, then through a response file.
  for (const auto& n : names)
    ASSERT_EQ(unlha::Unlha(0, "u -y1 " + dq(arc.string()) + " " + dq((dir / "src" / n).string()) + " "), 0) << n;
  ASSERT_EQ(unlha::Unlha(0, "x -y1 " + dq(arc.string()) + " " + dq((dir / "out1").string() + "/") + " *.*"), 0);
  EXPECT_EQ(tree(dir / "out1"), want);
  std::string list;
  for (const auto& n : names) list += dq((dir / "src").string() + "/") + " " + dq(n) + " -d0 \r\n";
  list += dq((dir / "src").string() + "/") + " " + dq("a \" b") + " -d1 \r\n";
  writeFile(dir / "rp \" .lst", list);
  fs::remove(arc);
  ASSERT_EQ(unlha::Unlha(0, "a -y1 " + dq(arc.string()) + " @" + dq((dir / "rp \" .lst").string())), 0);
  ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + dq(arc.string()) + " " + dq((dir / "out2").string()) + "/ *.*"), 0);
  want["a \" b"] = "/";
  want["a \" b/in.txt"] = "in";
  EXPECT_EQ(tree(dir / "out2"), want);
}

}  // namespace
