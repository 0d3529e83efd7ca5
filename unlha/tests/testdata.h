#pragma once
// Sample data and files shared by the archiver tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

namespace unlhatest {

namespace fs = std::filesystem;

inline std::string q(const fs::path& p) { return "\"" + p.string() + "\""; }
inline std::string qs(const fs::path& p) { return "\"" + p.string() + "/\""; }

inline void writeFile(const fs::path& p, const std::string& data) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << data;
}
inline std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every file and folder below root: relative path -> content ("/" for folders).
inline std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> t;
  if (!fs::exists(root)) return t;
  for (auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).string();
    t[rel] = e.is_directory() ? "/" : readFile(e.path());
  }
  return t;
}

// The same with each file's content cut to its size and a hash, for
// comparisons that print briefly when they fail.
inline std::map<std::string, std::string> brief(const std::map<std::string, std::string>& t) {
  std::map<std::string, std::string> b;
  for (const auto& [k, v] : t)
    b[k] = v == "/" ? v : std::to_string(v.size()) + " bytes #" + std::to_string(std::hash<std::string>{}(v) % 100000);
  return b;
}

inline std::string randomBytes(std::size_t n, unsigned seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng() % static_cast<unsigned>(alphabet));
  return s;
}

inline std::string textLike(std::size_t n, unsigned seed = 7) {
  static const char* words[] = {"mail ", "archive ", "the ", "folder ", "RuvoMail ", "\r\n", "of ", "packing "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += words[rng() % 8];
  s.resize(n);
  return s;
}

// A folder of every kind of content: Japanese (CP932) names, nested and
// empty folders, an empty file, run-heavy, text and incompressible files.
inline fs::path sampleFolder(const fs::path& parent, const std::string& name = "photos") {
  const fs::path f = parent / name;
  writeFile(f / "readme.txt", textLike(30000));
  writeFile(f / "empty.dat", "");
  writeFile(f / "noise.bin", randomBytes(5000, 1));
  writeFile(f / "sub" / "deeper" / "zeros.bin", std::string(300000, '\0'));
  writeFile(f / "sub" / "a.txt", "a");
  writeFile(f / "日本語フォルダ" / "添付ファイル表.txt", textLike(4000, 3));  // 表 ends in the byte 0x5C
  writeFile(f / "日本語フォルダ" / "ソース.c", "int main(void) { return 0; }\n");
  fs::create_directories(f / "nothing");
  fs::create_directories(f / "空" / "もっと空");
  return f;
}

// A test with a scratch folder of its own under /tmp.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/unlha-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
};

}  // namespace unlhatest
