// Fuzz target: raw mail in, the CP932 buffers of the fetch and of the
// attachment unpacking out. Nothing may crash, hang or read out of bounds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mime.h"
#include "text.h"

namespace {
std::string scratchFolder() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/nmail-fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return std::string(d ? d : "/tmp/nmail-fuzz");
  }();
  static bool cleanup = [] {
    std::atexit([] { std::system(("rm -rf '" + dir + "'").c_str()); });
    return true;
  }();
  (void)cleanup;
  return dir;
}

void removeFiles(const std::vector<std::string>& paths) {
  for (const auto& p : paths) ::unlink(p.c_str());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view raw(reinterpret_cast<const char*>(data), size);
  auto fetched = nmail::mime::decodeFetched(raw, 8192, size + 1);
  if (fetched.body.size() > size) std::abort();
  // As the mail check does: header, CR LF, body, then unpack.
  std::string text = fetched.fields.header + "\r\n" + fetched.body + "\r\n";
  auto un = nmail::mime::unpack(text, scratchFolder(), 8192, text.size() + 1);
  removeFiles(un.written);
  auto un2 = nmail::mime::unpack(raw, scratchFolder(), 512, size + 1);
  removeFiles(un2.written);
  std::string name = nmail::mime::safeFileName(raw.substr(0, 300));
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") std::abort();
  (void)nmail::text::decodeHeader(raw);
  return 0;
}
