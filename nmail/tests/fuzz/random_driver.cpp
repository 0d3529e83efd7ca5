// Where libFuzzer is not at hand: feeds the fuzz target mutated seeds from
// a fixed random sequence for the given number of seconds.
#include <dirent.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  std::vector<std::string> seeds;
  for (int a = 2; a < argc; ++a) {
    if (DIR* d = opendir(argv[a])) {
      while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream f(std::string(argv[a]) + "/" + e->d_name, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        seeds.push_back(ss.str());
      }
      closedir(d);
    }
  }
  if (seeds.empty()) seeds.push_back("Subject: x\r\n\r\nbody\r\n");
  std::mt19937 rng(13);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  long runs = 0;
  while (std::chrono::steady_clock::now() < end) {
    std::string s = seeds[rng() % seeds.size()];
    int edits = 1 + rng() % 16;
    for (int k = 0; k < edits && !s.empty(); ++k) {
      std::size_t at = rng() % s.size();
      switch (rng() % 4) {
        case 0: s[at] = static_cast<char>(rng()); break;
        case 1: s.erase(at, 1 + rng() % 8); break;
        case 2: s.insert(at, seeds[rng() % seeds.size()].substr(0, rng() % 64)); break;
        default: s.insert(at, 1, "=?\r\n-\x1b$B:;\"<>\\/"[rng() % 16]); break;
      }
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    ++runs;
  }
  std::printf("%ld runs, no crash\n", runs);
  return 0;
}
