// Fuzz target: an archive from a stranger in; our header parser (the one
// that reads an archive to add to), the check, and a whole extraction
// through liblhasa out. Nothing may crash, hang, read out of bounds or write
// outside the output folder.
#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive.h"
#include "unlha/unlha.h"

namespace {

std::string scratchFolder() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/unlha-fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return std::string(d ? d : "/tmp/unlha-fuzz");
  }();
  static bool cleanup = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    });
    return true;
  }();
  (void)cleanup;
  return dir;
}

// The scratch folder may hold the archive and the output folder, nothing else.
void checkNothingElse(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != ".." && n != "in.lzh" && n != "out") std::abort();
  }
  closedir(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string dir = scratchFolder();
  const std::string arc = dir + "/in.lzh";
  if (std::FILE* f = std::fopen(arc.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  if (std::FILE* f = std::fopen(arc.c_str(), "rb")) {
    unlha::archive::readAll(f, nullptr);
    std::fclose(f);
  }
  unlha::UnlhaCheckArchive(arc, 1);
  unlha::Unlha(0, "x -d1 -y1 \"" + arc + "\" \"" + dir + "/out/\" *.*");
  checkNothingElse(dir);
  std::error_code ec;
  std::filesystem::remove_all(dir + "/out", ec);
  return 0;
}
