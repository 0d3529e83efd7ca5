// Reads each mail file named on the command line the way the mail check
// does (the fetch, then the attachment step on the header and body the
// fetch gave, every line ended by CR LF) and prints one line per mail:
//   <file> TAB subject TAB from TAB body TAB files
// subject, from and body as hex of their CP932 bytes; files as
// "name-hex:sha256" joined by ",", the name as hex of its UTF-8 bytes.
#include <dirent.h>
#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "mime.h"
#include "nmail/nmail.h"
#include "test_util.h"

namespace {

constexpr int kBuf = 8192;
constexpr int kUnpackedBody = 1 << 20;

std::string hex(std::string_view s) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string readAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

}  // namespace

int main(int argc, char** argv) {
  NMailInitializeWinSock();
  NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, kBuf);
  NMailSetOption(NMAIL_OPTION_UNPACKED_BODY_SIZE, kUnpackedBody);
  char tmpl[] = "/tmp/nmail-differential-XXXXXX";
  const char* scratch = mkdtemp(tmpl);
  if (!scratch) return 2;
  for (int i = 1; i < argc; ++i) {
    std::string raw = readAll(argv[i]);
    // As a retrieval hands it on: the mail and the fetch's reading of it
    // change hands for the attachment step.
    auto fetched = nmail::mime::decodeFetched(raw, kBuf, raw.size() + 1, false);
    nmail::mime::rememberFetched(fetched, std::move(raw));
    // The buffers hold what the library copied out: up to the first NUL.
    std::string header = fetched.fields.header.c_str(), body = fetched.body.c_str();
    const std::string text = testutil::mailTextOf(header, body);
    const std::string folder = std::string(scratch) + "/" + std::to_string(i);
    std::vector<char> s(kBuf), d(kBuf), f(kBuf), h(kBuf);
    std::vector<char> unpacked(std::max<std::size_t>(text.size() + 1, kUnpackedBody));
    int r = NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), unpacked.data(), folder.c_str(), "",
                                     text.c_str(), 0);
    NMailAttachmentFileClose(0);
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
      while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + "/" + name;
        std::string data = readAll(path);
        gchar* sum = g_compute_checksum_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(data.data()),
                                                 data.size());
        files.push_back(hex(name) + ":" + sum);
        g_free(sum);
        unlink(path.c_str());
      }
      closedir(dir);
      rmdir(folder.c_str());
    }
    std::sort(files.begin(), files.end());
    std::string list;
    for (const auto& x : files) list += (list.empty() ? "" : ",") + x;
    std::cout << argv[i] << '\t' << r << '\t' << hex(s.data()) << '\t' << hex(f.data()) << '\t'
              << hex(unpacked.data()) << '\t' << list << '\n';
  }
  rmdir(scratch);
  return 0;
}
