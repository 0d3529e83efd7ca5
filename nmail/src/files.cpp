// The caller's files as the library reads and flushes them: the list of a
// mail's attachments into paths (a path may itself hold a comma), a file
// read whole for sending, and the files an unpacking made flushed to disk
// with their folder. Sending and unpacking themselves are left to the
// SMTP client (smtp.cpp) and the mail decoding (mime_*.cpp).
#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace nmail::lib {

bool readFile(const std::string& path, std::string& data) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  data.clear();
  char buf[65536];
  std::size_t r;
  while ((r = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, r);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// Flushes the files and the folder that holds them to disk.
bool syncToDisk(const std::vector<std::string>& files, const std::string& folder) {
  bool ok = true;
  for (const std::string& path : std::set<std::string>(files.begin(), files.end())) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) ok = false;
    if (fd >= 0) ::close(fd);
  }
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return ok;
}

bool isFile(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The comma-separated attachment list into paths. A path that itself holds
// a comma is found by joining pieces until they name a file.
std::vector<std::string> attachmentPaths(const std::string& list) {
  std::vector<std::string> pieces, paths;
  std::string cur;
  for (char c : list) {
    if (c == ',') {
      pieces.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  pieces.push_back(cur);
  auto trim = [](const std::string& v) {
    std::size_t b = v.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    return v.substr(b, v.find_last_not_of(" \t\r\n") - b + 1);
  };
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    std::string path = pieces[i];
    std::size_t j = i;
    while (!isFile(trim(path)) && j + 1 < pieces.size()) {
      std::string joined = path;
      for (std::size_t k = j + 1; k < pieces.size(); ++k) {
        joined += "," + pieces[k];
        if (isFile(trim(joined))) {
          path = joined;
          j = k;
          break;
        }
      }
      break;
    }
    i = j;
    std::string t = trim(path);
    if (!t.empty()) paths.push_back(t);
  }
  return paths;
}

}  // namespace nmail::lib
