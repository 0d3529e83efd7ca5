// What we pack, three other archivers (lhasa's lha, libarchive's bsdtar,
// jlha) read back byte for byte, at every header level and method the
// compression window offers, each where it reads that method; and what
// jlha packs, we read back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "names.h"
#include "testdata.h"
#include "unlha/unlha.h"

namespace {

using namespace unlhatest;

struct Tool {
  const char* env;  // where CMake put the tool's path
  // The shell command that extracts archive into the current folder.
  std::function<std::string(const std::string& tool, const fs::path& archive)> extract;
  bool readsLh1;
  // How a UTF-8 name of ours shows on the disk after the tool extracted it
  // (nullopt: under a name of the tool's own making).
  std::function<std::optional<std::string>(const std::string& utf8)> nameOnDisk;
};

std::optional<std::string> same(const std::string& s) { return s; }

const Tool kLhasa{"UNLHA_TEST_LHA",
                  [](const std::string& t, const fs::path& a) { return t + " xqf " + q(a); },
                  true,
                  // lhasa writes the archive's CP932 bytes as they are, and
                  // cuts a name at a trail byte 0x5C: such files are found
                  // by their content.
                  [](const std::string& s) -> std::optional<std::string> {
                    std::string b = unlha::names::toArchive(s);
                    if (b.find('\\') != std::string::npos) return std::nullopt;
                    return b;
                  }};
const Tool kBsdtar{"UNLHA_TEST_BSDTAR",
                   [](const std::string& t, const fs::path& a) {
                     return "LC_ALL=C.UTF-8 " + t + " -x --options hdrcharset=CP932 -f " + q(a);
                   },
                   false, same};
const Tool kJlha{"UNLHA_TEST_JLHA", [](const std::string& t, const fs::path& a) { return t + " xqy " + q(a); }, true,
                 same};

class Interop : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    src = sampleFolder(dir);
    // Runs of zeros that end the packed stream at every bit of a byte.
    for (int n : {299999, 300001, 300002, 300005, 65536, 4097})
      writeFile(src / "runs" / ("zeros-" + std::to_string(n) + ".bin"), std::string(static_cast<std::size_t>(n), '\0'));
  }
  void oldMethodFromJlha(const char* method, const std::vector<std::pair<std::string, std::string>>& files,
                         std::size_t packedAs);
  static std::string toolPath(const Tool& t) {
    const char* p = std::getenv(t.env);
    return p ? p : "";
  }

  // What the tool extracted, compared with the sample by name, and by
  // content alone where the tool makes up the name.
  void expectSample(const Tool& t, const fs::path& out) const {
    auto got = brief(tree(out));
    std::map<std::string, std::string> want;
    std::multiset<std::string> unnamed;
    for (const auto& [k, v] : brief(tree(src))) {
      if (const auto name = t.nameOnDisk(k))
        want[*name] = v;
      else if (v != "/")
        unnamed.insert(v);
    }
    for (auto it = got.begin(); it != got.end();) {
      if (want.count(it->first)) {
        ++it;
        continue;
      }
      const auto u = unnamed.find(it->second);
      if (it->second != "/" && u == unnamed.end()) {
        ++it;  // a file nobody packed
        continue;
      }
      if (u != unnamed.end()) unnamed.erase(u);
      it = got.erase(it);
    }
    EXPECT_THAT(got, ::testing::ContainerEq(want));
    EXPECT_TRUE(unnamed.empty()) << unnamed.size() << " files missing";
  }

  // Packs the sample with every level and method and has the tool extract it.
  void theyReadOurs(const Tool& tool) {
    const std::string exe = toolPath(tool);
    if (exe.empty()) GTEST_SKIP() << tool.env << " not set: the archiver is not installed";
    for (const char* h : {"-h0 ", "-h1 ", "-h2 ", "-h3 "}) {
      for (const char* m : {"-jm0 ", "-jm1 ", "-jm2 ", "-jm3 ", "-jm4 ", "-jma "}) {
        if (!tool.readsLh1 && std::string(m) == "-jm1 ") continue;
        SCOPED_TRACE(std::string(h) + m);
        const fs::path arc = dir / "photos.lzh";
        fs::remove(arc);
        ASSERT_EQ(unlha::Unlha(0, "a -d1 -y1 " + std::string(h) + m + q(arc) + " " + qs(src) + " *.*"), 0);
        const fs::path out = dir / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        const std::string cmd = "cd " + q(out) + " && " + tool.extract(exe, arc) + " > /dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        expectSample(tool, out);
      }
    }
  }

  fs::path src;
};

TEST_F(Interop, LhasaReadsWhatWePack) { theyReadOurs(kLhasa); }
TEST_F(Interop, BsdtarReadsWhatWePack) { theyReadOurs(kBsdtar); }
TEST_F(Interop, JlhaReadsWhatWePack) { theyReadOurs(kJlha); }

TEST_F(Interop, WeReadWhatJlhaPacks) {
  const std::string exe = toolPath(kJlha);
  if (exe.empty()) GTEST_SKIP() << "jlha is not installed";
  // Header levels 0 to 2; stored, -lh1- and -lh5- to -lh7-.
  for (const char* level : {"0", "1", "2"}) {
    for (const char* method : {"z", "o1", "o5", "o6", "o7"}) {
      SCOPED_TRACE(std::string(level) + method);
      const fs::path arc = dir / "theirs.lzh";
      fs::remove(arc);
      const std::string cmd = "cd " + q(dir) + " && " + exe + " aqy" + level + method + " " + q(arc) +
                              " photos > /dev/null 2>&1";
      ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
      ASSERT_NE(unlha::UnlhaCheckArchive(arc.string(), 1), 0);
      const fs::path out = dir / "out";
      fs::remove_all(out);
      ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(out) + " *.*"), 0);
      EXPECT_THAT(brief(tree(out / "photos")), ::testing::ContainerEq(brief(tree(src))));
    }
  }
}

// -lh7- with matches across the whole 64 KiB window, as other archivers
// write it: what jlha packs, we extract as lhasa does, at every level.
TEST_F(Interop, LongDistanceLh7ExtractsAsLhasaExtractsIt) {
  const std::string exe = toolPath(kJlha), lhasa = toolPath(kLhasa);
  if (exe.empty() || lhasa.empty()) GTEST_SKIP() << "jlha or lhasa is not installed";
  const std::string base = randomBytes(60000, 21);
  std::string data;
  std::mt19937 rng(4);
  while (data.size() < 900000) {
    const std::size_t at = rng() % 50000;
    data += base.substr(at, 500 + rng() % 9000);
    data += randomBytes(rng() % 700, static_cast<unsigned>(data.size()));
  }
  writeFile(dir / "far" / "far.bin", data);
  for (const char* level : {"0", "1", "2"}) {
    SCOPED_TRACE(level);
    const fs::path arc = dir / "far.lzh";
    fs::remove(arc);
    const std::string cmd = "cd " + q(dir / "far") + " && " + exe + " aqy" + level + "o7 " + q(arc) + " far.bin > /dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    ASSERT_NE(readFile(arc).find("-lh7-"), std::string::npos);
    fs::remove_all(dir / "ours");
    ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "ours") + " *.*"), 0);
    fs::remove_all(dir / "theirs");
    fs::create_directories(dir / "theirs");
    const std::string x = "cd " + q(dir / "theirs") + " && " + kLhasa.extract(lhasa, arc) + " > /dev/null 2>&1";
    ASSERT_EQ(std::system(x.c_str()), 0) << x;
    EXPECT_EQ(brief(tree(dir / "ours")), brief(tree(dir / "theirs")));
    EXPECT_EQ(readFile(dir / "ours" / "far.bin"), data);
  }
}

// What jLHA packs with method at every header level, we extract byte for
// byte as jlha extracts it; at least packedAs of the files are stored with
// the method itself (jLHA stores what it cannot make smaller).
void Interop::oldMethodFromJlha(const char* method, const std::vector<std::pair<std::string, std::string>>& files,
                                std::size_t packedAs) {
  const char* java = std::getenv("UNLHA_TEST_JAVA");
  const char* jar = std::getenv("UNLHA_TEST_JLHA_JAR");
  const char* pack = std::getenv("UNLHA_TEST_JLHA_PACK");
  const std::string exe = toolPath(kJlha);
  if (!java || !jar || !pack || exe.empty()) GTEST_SKIP() << "jlha or Java is not installed";
  const fs::path in = dir / "in";
  fs::remove_all(in);
  std::string args;
  for (const auto& [name, data] : files) {
    writeFile(in / name, data);
    args += " " + q(in / name);
  }
  for (const char* level : {"0", "1", "2"}) {
    SCOPED_TRACE(std::string(method) + " level " + level);
    const fs::path arc = dir / "old.lzh";
    fs::remove(arc);
    const std::string cmd = std::string(java) + " -cp " + q(jar) + " " + q(pack) + " " + q(arc) + " " + method + " " +
                            level + args + " > /dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::string bytes = readFile(arc);
    std::size_t found = 0;
    for (std::size_t at = bytes.find(method); at != std::string::npos; at = bytes.find(method, at + 1)) ++found;
    ASSERT_GE(found, packedAs);
    ASSERT_NE(unlha::UnlhaCheckArchive(arc.string(), 1), 0);
    fs::remove_all(dir / "ours");
    ASSERT_EQ(unlha::Unlha(0, "x -d1 -y1 " + q(arc) + " " + qs(dir / "ours") + " *.*"), 0);
    fs::remove_all(dir / "theirs");
    fs::create_directories(dir / "theirs");
    const std::string x = "cd " + q(dir / "theirs") + " && " + kJlha.extract(exe, arc) + " > /dev/null 2>&1";
    ASSERT_EQ(std::system(x.c_str()), 0) << x;
    EXPECT_EQ(brief(tree(dir / "ours")), brief(tree(dir / "theirs")));
    EXPECT_EQ(tree(dir / "ours"), tree(in));
  }
}

// -lh3- (static Huffman of the old LHarc line), which only jLHA writes among
// the archivers Debian has.
TEST_F(Interop, Lh3FromJlhaExtractsAsJlhaExtractsIt) {
  const std::string base = randomBytes(20000, 8);
  std::string far;
  std::mt19937 rng(9);
  while (far.size() < 200000) far += base.substr(rng() % 15000, 300 + rng() % 5000) + randomBytes(rng() % 300, rng());
  oldMethodFromJlha("-lh3-",
                    {{"text.txt", textLike(60000, 3)},
                     {"far.bin", far},
                     {"zeros.bin", std::string(100000, '\0')},  // matches of the longest lengths
                     {"noise.bin", randomBytes(9000, 5)},
                     {"one.txt", "x"}},
                    3);
}

// -lh2- (dynamic Huffman of the old LHarc line), likewise: data of many
// dictionary windows, so that both trees are halved and rebuilt (more than
// 32768 codes and distances), and the position tree grows to its full
// size; data of few repeats (the literals' tree), the longest matches, and
// sizes about a window's.
TEST_F(Interop, Lh2FromJlhaExtractsAsJlhaExtractsIt) {
  const std::string base = randomBytes(20000, 18);
  std::string far;
  std::mt19937 rng(19);
  while (far.size() < 300000) far += base.substr(rng() % 15000, 3 + rng() % 3000) + randomBytes(rng() % 40, rng());
  oldMethodFromJlha("-lh2-",
                    {{"text.txt", textLike(900000, 4)},
                     {"far.bin", far},
                     {"letters.bin", randomBytes(50000, 6, 16)},
                     {"zeros.bin", std::string(100000, '\0')},
                     {"window.txt", textLike(8192, 5)},
                     {"window1.txt", textLike(8193, 6)},
                     {"short.txt", "abcabcabcabcabcabcabcabcabcabc"},
                     {"noise.bin", randomBytes(9000, 7)},
                     {"one.txt", "x"}},
                    7);
}

}  // namespace
