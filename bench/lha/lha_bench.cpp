// The archiver on a 50 MB folder of mixed content (text, a mail store's
// blank-padded records, runs of zeros, noise, Japanese names): packing with
// -lh5- beside gzip -6 over the same files, and our extraction beside
// lhasa's (when installed) of the same archive.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "unlha/unlha.h"

namespace {

namespace fs = std::filesystem;

struct Sample {
  fs::path root, folder, archive;
  std::string files;  // every file, quoted, for gzip

  Sample() {
    char tmpl[] = "/tmp/lha-bench-XXXXXX";
    root = mkdtemp(tmpl);
    folder = root / "mixed";
    std::mt19937 rng(5);
    static const char* words[] = {"mail ", "アーカイブ ", "the ", "フォルダ ", "RuvoMail ", "\r\n", "送信 ", "packing "};
    auto write = [&](const fs::path& p, const std::string& data) {
      fs::create_directories(p.parent_path());
      std::ofstream(p, std::ios::binary) << data;
      files += " \"" + p.string() + "\"";
    };
    for (int i = 0; i < 40; ++i) {  // 20 MB of text
      std::string s;
      while (s.size() < 500000) s += words[rng() % 8];
      write(folder / "文書" / ("メモ" + std::to_string(i) + ".txt"), s);
    }
    for (int i = 0; i < 10; ++i) {  // 15 MB of records: text padded with blanks
      std::string s;
      while (s.size() < 1500000) {
        std::string rec;
        while (rec.size() < 300) rec += words[rng() % 8];
        rec.resize(32284, ' ');
        s += rec;
      }
      write(folder / "records" / ("xqmdata" + std::to_string(i) + ".data"), s);
    }
    write(folder / "zeros.bin", std::string(5000000, '\0'));  // 5 MB of zeros
    std::string noise(10000000, '\0');  // 10 MB that does not shrink
    for (auto& c : noise) c = static_cast<char>(rng());
    write(folder / "写真" / "noise.jpg", noise);
    archive = root / "mixed.lzh";
    pack(archive);
  }
  ~Sample() { fs::remove_all(root); }

  void pack(const fs::path& to) const {
    fs::remove(to);
    const std::string cmd =
        "a -d1 -y1 -h2 -jm2 \"" + to.string() + "\" \"" + folder.string() + "/\" *.*";
    if (unlha::Unlha(0, cmd) != 0) std::abort();
  }
};

const Sample& sample() {
  static Sample s;
  return s;
}

void BM_PackLh5(benchmark::State& state) {
  const Sample& s = sample();
  for (auto _ : state) s.pack(s.root / "again.lzh");
  state.SetBytesProcessed(state.iterations() * 50000000);
}
BENCHMARK(BM_PackLh5)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Gzip6SameFiles(benchmark::State& state) {
  const Sample& s = sample();
  const std::string cmd = "gzip -6 -c" + s.files + " > /dev/null";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("gzip failed");
  state.SetBytesProcessed(state.iterations() * 50000000);
}
BENCHMARK(BM_Gzip6SameFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Extract(benchmark::State& state) {
  const Sample& s = sample();
  const fs::path out = s.root / "ours";
  for (auto _ : state) {
    fs::remove_all(out);
    if (unlha::Unlha(0, "x -d1 -y1 \"" + s.archive.string() + "\" \"" + out.string() + "/\" *.*") != 0)
      state.SkipWithError("extraction failed");
  }
  state.SetBytesProcessed(state.iterations() * 50000000);
}
BENCHMARK(BM_Extract)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LhasaExtract(benchmark::State& state) {
  const Sample& s = sample();
  const fs::path out = s.root / "lhasa";
  const std::string cmd = "cd \"" + out.string() + "\" && lhasa xqf \"" + s.archive.string() + "\" > /dev/null 2>&1";
  for (auto _ : state) {
    fs::remove_all(out);
    fs::create_directories(out);
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("lhasa is not installed or failed");
  }
  state.SetBytesProcessed(state.iterations() * 50000000);
}
BENCHMARK(BM_LhasaExtract)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
