// The attachment step: a mail text unpacked into a folder, from the mail
// as it came when the fetch handed it on lately (mime_fetch.cpp); a split
// mail's pieces kept until they are all there and then joined; the texts
// into the body (or the long-text file), every other part into a file.
// The walk is mime_tree.cpp's, the writing of files mime_files.cpp's.
#include "mime.h"
#include "mime_internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "charset.h"
#include "net.h"
#include "text.h"

namespace nmail::mime {
namespace {

const char* kPartialFolder = ".partial";

std::string partialKey(const char* id) {
  // The id names the pieces' files: keep it short and harmless.
  std::string s = id ? id : "";
  gchar* sum = g_compute_checksum_for_string(G_CHECKSUM_SHA1, s.c_str(), -1);
  std::string out(sum, 16);
  g_free(sum);
  return out;
}

// Split mails inside split mails are followed this deep.
constexpr int kMaxJoins = 4;

// kept: the fetch's reading of asCame, or null.
Unpacked unpackMail(std::string_view asCame, const std::string& folderIn, std::size_t headerCap,
                    std::size_t bodyCap, std::size_t textFileAbove, int joins, const KeptParse* kept = nullptr) {
  Unpacked out;
  std::string mendedMail;
  std::map<std::size_t, EnclosedRange> enclosedHere;
  std::string_view mailText = kept ? kept->mail(asCame) : readable(asCame, mendedMail, enclosedHere);
  std::string folder = folderIn;
  struct stat st{};
  if (folder.find('\\') != std::string::npos && ::stat(folder.c_str(), &st) != 0)
    std::replace(folder.begin(), folder.end(), '\\', '/');
  std::string_view header, body;
  split(mailText, header, body);
  out.fields = kept && kept->fields && kept->fieldsCap == headerCap ? *kept->fields : decodeFields(header, headerCap);
  std::size_t room = bodyCap > 0 ? bodyCap - 1 : 0;

  std::unique_ptr<ParsedView> view;
  if (!kept) view = std::make_unique<ParsedView>(mailText);
  GMimeObject* top = kept ? kept->view->get() : view->get();
  if (!top) {
    out.body = std::string(text::cutCp932(charset::guessToCp932(body), room));
    return out;
  }

  if (GMIME_IS_MESSAGE_PARTIAL(top) && joins < kMaxJoins) {
    GMimeMessagePartial* piece = GMIME_MESSAGE_PARTIAL(top);
    std::string key = partialKey(g_mime_message_partial_get_id(piece));
    int number = g_mime_message_partial_get_number(piece);
    std::string dir = folder + "/" + kPartialFolder;
    makeDirs(dir);
    if (number >= 1 && number <= 1000) {
      std::string path = dir + "/" + key + "." + std::to_string(number);
      // A piece kept from an earlier check is written again, not counted as new.
      bool made = true;
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno == EEXIST) {
        made = false;
        fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
      }
      if (fd >= 0 && made) out.written.push_back(path);
      bool ok = fd >= 0 && ::write(fd, mailText.data(), mailText.size()) ==
                               static_cast<ssize_t>(mailText.size());
      if (fd >= 0) ok = (::close(fd) == 0) && ok;
      if (!ok) {
        out.result = -5;
        out.error = "分割メールを保存できません: " + path;
        return out;
      }
    }
    // Gather the pieces kept so far.
    std::map<int, std::string> pieces;
    int total = -1;
    if (DIR* d = ::opendir(dir.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.rfind(key + ".", 0) != 0) continue;
        int k = std::atoi(n.c_str() + key.size() + 1);
        if (k < 1) continue;
        std::string data;
        if (FILE* f = std::fopen((dir + "/" + n).c_str(), "rb")) {
          char buf[65536];
          std::size_t r;
          while ((r = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, r);
          std::fclose(f);
        }
        pieces[k] = std::move(data);
      }
      ::closedir(d);
    }
    std::vector<Ref<GMimeMessage>*> parsed;
    std::vector<GMimeMessagePartial*> partials;
    for (auto& [k, data] : pieces) {
      auto* m = new Ref<GMimeMessage>(parseMessage(data));
      parsed.push_back(m);
      GMimeObject* p = *m ? g_mime_message_get_mime_part(m->p) : nullptr;
      if (p && GMIME_IS_MESSAGE_PARTIAL(p)) {
        partials.push_back(GMIME_MESSAGE_PARTIAL(p));
        int t = g_mime_message_partial_get_total(GMIME_MESSAGE_PARTIAL(p));
        if (t > 0) total = t;
      }
    }
    bool complete = total > 0 && static_cast<int>(pieces.size()) >= total &&
                    static_cast<int>(partials.size()) >= total;
    for (int k = 1; complete && k <= total; ++k) complete = pieces.count(k) > 0;
    std::string whole;
    if (complete) {
      Ref<GMimeMessage> joined(g_mime_message_partial_reconstruct_message(partials.data(), partials.size()));
      if (joined) whole = objectBytes(GMIME_OBJECT(joined.p), false);
      else complete = false;
    }
    for (auto* m : parsed) delete m;
    if (!complete) {
      out.result = -6;
      out.error = "分割されたメールが全て揃っていません";
      return out;
    }
    for (auto& [k, data] : pieces) ::unlink((dir + "/" + key + "." + std::to_string(k)).c_str());
    ::rmdir(dir.c_str());
    // The joined mail is the mail: unpack it as such, its whole text.
    return unpackMail(whole, folder, headerCap, bodyCap, textFileAbove, joins + 1);
  }

  Walk w;
  w.asCame = asCame;
  w.read = mailText;
  w.enclosed = kept ? &kept->enclosed : &enclosedHere;
  walk(top, w);
  {
    TextOut texts(room, textFileAbove, folder);
    textsInto(w.texts, texts, kept ? &kept->texts : nullptr);
    out.body = texts.finish(out);
  }
  if (!w.files.empty()) {
    for (auto& a : w.files) {
      std::string written, error;
      if (!writeNewFile(folder, safeFileName(a.name), a, written, error)) {
        out.result = -5;
        if (out.error.empty()) out.error = error;
        continue;
      }
      out.written.push_back(written);
    }
  }
  return out;
}

}  // namespace

// Mails this large are given back to the system in steps.
constexpr std::size_t kGiveBackInSteps = 16u << 20;

// Gives the pages of bytes that are about to be freed back to the system
// a piece at a time (the first page, where the allocator keeps its own
// notes, stays), with the window's turns in between. Nothing reads the
// bytes afterwards but the allocator.
void giveBackInSteps(const std::string& bytes) {
  constexpr std::uintptr_t kStep = 8u << 20;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
  const std::uintptr_t begin = (at + page) & ~(page - 1), end = (at + bytes.size()) & ~(page - 1);
  for (std::uintptr_t p = begin; p < end; p += kStep) {
    ::madvise(reinterpret_cast<void*>(p), std::min(kStep, end - p), MADV_DONTNEED);
    net::yieldIfDue();
  }
}

Unpacked unpack(std::string_view mailText, const std::string& folder, std::size_t headerCap, std::size_t bodyCap,
                std::size_t textFileAbove) {
  initialize();
  Remembered found = recall(mailText);
  if (!found.raw) return unpackMail(mailText, folder, headerCap, bodyCap, textFileAbove, 0);
  Unpacked out = unpackMail(*found.raw, folder, headerCap, bodyCap, textFileAbove, 0, found.parse.get());
  // The bytes of a large mail are given back to the system a few
  // megabytes at a time with turns for the window in between: handing back
  // hundreds of megabytes at once keeps the system (and the window) busy
  // for tens of milliseconds.
  found.parse.reset();
  if (found.raw.use_count() == 1 && found.raw->size() >= kGiveBackInSteps) giveBackInSteps(*found.raw);
  return out;
}

}  // namespace nmail::mime
