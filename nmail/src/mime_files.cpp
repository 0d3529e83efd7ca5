// The files written of a received mail and their names: a stranger's
// file name made safe, a new file made beside the ones of the same name
// ("(2)", "(3)"... before the extension, counted from one listing of the
// folder), a part's content written straight into it, and the text of a
// mail too long for its body written whole into "本文.txt" (TextOut).
// Which parts become files is the walk's (mime_tree.cpp).
#include "mime.h"
#include "mime_internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "charset.h"
#include "net.h"
#include "text.h"

namespace nmail::mime {
namespace {

// A name as its stem and extension: the numbers of copies go between.
void stemAndExt(const std::string& name, std::string& stem, std::string& ext) {
  stem = name;
  ext.clear();
  auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= 16) {
    stem = name.substr(0, dot);
    ext = name.substr(dot);
  }
}

// The copies of each name in the attachment folders written to: for
// "stem.ext", the number to try next for "stem(n).ext". Built from one
// listing of a folder at its first taken name, then kept up as files are
// written, so that a free name costs one look-up however many copies a
// name has. A number found taken all the same (a file made meanwhile) is
// stepped over.
struct CopyNumbers {
  bool listed = false;
  std::map<std::string, long long> next;  // by stem + ext
};
std::mutex gCopyLock;
std::map<std::string, CopyNumbers> gCopies;  // by folder

void listCopies(const std::string& dir, CopyNumbers& c) {
  c.listed = true;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::string stem, ext;
  while (dirent* e = ::readdir(d)) {
    const std::string entry = e->d_name;
    stemAndExt(entry, stem, ext);
    long long n = 1;
    if (stem.size() >= 3 && stem.back() == ')') {
      const auto open = stem.rfind('(');
      if (open != std::string::npos && open > 0 && open + 2 < stem.size() && stem.size() - open <= 20 &&
          std::all_of(stem.begin() + static_cast<long>(open) + 1, stem.end() - 1,
                      [](char ch) { return ch >= '0' && ch <= '9'; })) {
        n = std::stoll(stem.substr(open + 1, stem.size() - open - 2));
        stem.erase(open);
      }
    }
    long long& next = c.next[stem + ext];
    next = std::max(next, n + 1);
  }
  ::closedir(d);
}

bool writeBytes(int fd, std::string_view data) {
  std::size_t off = 0;
  while (off < data.size()) {
    ssize_t w = ::write(fd, data.data() + off, data.size() - off);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    off += static_cast<std::size_t>(w);
  }
  return true;
}

bool writeContent(int fd, const FoundFile& f) {
  if (f.part) {
    GMimeDataWrapper* dw = g_mime_part_get_content(f.part);
    if (!dw) return true;
    const GMimeContentEncoding enc = g_mime_data_wrapper_get_encoding(dw);
    // Decoded from where it lies in the mail, not from a copy.
    std::string_view where;
    if ((enc == GMIME_CONTENT_ENCODING_BASE64 || enc == GMIME_CONTENT_ENCODING_UUENCODE) && contentInPlace(dw, where)) {
      if (enc == GMIME_CONTENT_ENCODING_BASE64) {
        // A piece at a time, each written as it comes: a large file is
        // never held whole, and the window has its turns between pieces.
        constexpr std::size_t kPiece = 1 << 20;
        text::Base64Decoder decoder;
        std::string piece;
        for (std::size_t at = 0; at < where.size() && !decoder.ended(); at += kPiece) {
          net::yieldIfDue();
          piece.clear();
          decoder.feed(where.substr(at, kPiece), piece);
          if (!writeBytes(fd, piece)) return false;
        }
        return true;
      }
      bool found = false;
      std::string data = text::uuDecode(where, &found);
      if (found) return writeBytes(fd, data);
    }
    if (enc == GMIME_CONTENT_ENCODING_BASE64 || enc == GMIME_CONTENT_ENCODING_UUENCODE)
      return writeBytes(fd, partContent(f.part));
    Ref<GMimeStream> out(turns::fileStream(fd));  // (the window has its turns as it is written)
    errno = 0;
    // (Written as it goes; the flush to disk comes with the mail's other
    // files, once, not here on the window's time.)
    return g_mime_data_wrapper_write_to_stream(dw, out.p) >= 0;
  }
  return writeBytes(fd, f.asCame ? f.bytes : std::string_view(f.data));
}

// Makes a new file in folder, adding "(2)", "(3)"... before the extension
// when the name is taken; no number is too high. The file descriptor, or
// -1 with error.
int openNewFile(const std::string& folder, const std::string& name, std::string& made, std::string& error) {
  std::string stem, ext;
  stemAndExt(name, stem, ext);
  std::string dir = folder;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::lock_guard<std::mutex> lock(gCopyLock);
  CopyNumbers& copies = gCopies[dir];
  bool madeFolder = false;
  for (long long n = 1;;) {
    std::string candidate = n == 1 ? name : stem + "(" + std::to_string(n) + ")" + ext;
    std::string path = dir + "/" + candidate;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == ENOENT && !madeFolder) {
      // The folder (or one above it) is missing: made, and the name tried again.
      madeFolder = true;
      makeDirs(dir);
      continue;
    }
    if (fd < 0) {
      if (errno == EEXIST) {
        if (n == 1) {
          if (!copies.listed) listCopies(dir, copies);
          n = std::max(2LL, copies.next[stem + ext]);
        } else {
          ++n;
        }
        continue;
      }
      error = "添付ファイルを書き込めません: " + path + ": " + std::strerror(errno);
      return -1;
    }
    // The plain name was free (the folder was emptied, or the name is
    // new): its copies count from 2 again, stepping over any left.
    copies.next[stem + ext] = n == 1 ? 2 : n + 1;
    made = path;
    return fd;
  }
}

}  // namespace

void makeDirs(const std::string& path) {
  std::string cur;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!cur.empty()) ::mkdir(cur.c_str(), 0755);
    }
    if (i < path.size()) cur += path[i];
  }
}

// Writes data to a new file in folder (named as openNewFile names it).
// False with error on failure.
bool writeNewFile(const std::string& folder, const std::string& name, const FoundFile& data,
                  std::string& written, std::string& error) {
  std::string path;
  const int fd = openNewFile(folder, name, path, error);
  if (fd < 0) return false;
  if (!writeContent(fd, data)) {
    error = "添付ファイルを書き込めません: " + path + ": " + std::strerror(errno ? errno : EIO);
    ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  if (::close(fd) != 0) {
    error = "添付ファイルを書き込めません: " + path + ": " + std::strerror(errno);
    ::unlink(path.c_str());
    return false;
  }
  written = path;
  return true;
}

TextOut::TextOut(std::size_t room, std::size_t fileAbove, std::string folder)
    : room_(room), fileAbove_(fileAbove), folder_(std::move(folder)) {
  keep_ = (fileAbove_ > 0 ? fileAbove_ : room_) + 4;  // + a character cut off
}

TextOut::~TextOut() {
  if (fd_ >= 0) ::close(fd_);
}

void TextOut::beginPart() {
  if (total_ > 0 && !(last_[0] == '\r' && last_[1] == '\n')) add("\r\n");
}

void TextOut::add(std::string_view s) {
  if (s.empty()) return;
  if (!wantsUtf8()) return add(s, std::string_view());
  add(s, charset::cp932ToUtf8(s));
}

void TextOut::add(std::string_view s, std::string_view utf8) {
  if (s.empty()) return;
  if (fileAbove_ > 0 && fd_ < 0 && error_.empty() && total_ + s.size() > fileAbove_) open();
  total_ += s.size();
  last_[0] = s.size() >= 2 ? s[s.size() - 2] : last_[1];
  last_[1] = s.back();
  if (head_.size() < keep_) head_.append(s.substr(0, keep_ - head_.size()));
  if (fd_ >= 0) write(utf8);
  else if (wantsUtf8()) utf8Head_.append(utf8);
}

std::string TextOut::finish(Unpacked& out) {
  if (fd_ < 0 && error_.empty()) return std::string(text::cutCp932(head_, room_));
  if (fd_ >= 0 && ::close(fd_) != 0 && error_.empty()) error_ = std::strerror(errno);
  fd_ = -1;
  if (!error_.empty()) {
    if (!path_.empty()) ::unlink(path_.c_str());
    out.result = -5;
    if (out.error.empty()) out.error = "本文のファイルを書き込めません: " + path_ + ": " + error_;
    return std::string(text::cutCp932(head_, std::min(room_, fileAbove_)));
  }
  const std::string name = path_.substr(path_.rfind('/') + 1);
  const std::string note =
      charset::utf8ToCp932("\r\n（本文が長いため、全文を添付フォルダの「" + name + "」に UTF-8 で保存しました。）");
  const std::size_t limit = std::min(room_, fileAbove_);
  std::string_view h = text::cutCp932(head_, limit > note.size() ? limit - note.size() : 0);
  // Ended at a line end when there is one in its second half.
  const std::size_t nl = h.rfind("\r\n");
  if (nl != std::string_view::npos && nl >= h.size() / 2) h = h.substr(0, nl);
  out.written.push_back(path_);
  return std::string(h) + std::string(text::cutCp932(note, limit - h.size()));
}

void TextOut::open() {
  fd_ = openNewFile(folder_, kName, path_, error_);
  if (fd_ < 0) {
    if (error_.empty()) error_ = "?";
    return;
  }
  write(utf8Head_);
  std::string().swap(utf8Head_);
}

void TextOut::write(std::string_view s) {
  if (fd_ >= 0 && error_.empty() && !writeBytes(fd_, s)) error_ = std::strerror(errno ? errno : EIO);
}

std::string safeFileName(std::string_view raw) {
  std::string name(raw);
  if (!charset::isValidUtf8(name)) name = charset::cp932ToUtf8(charset::guessToCp932(name));
  auto slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  std::string clean;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) continue;
    if (u == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F) {
      ++i;  // a C1 control (U+0080 to U+009F)
      continue;
    }
    if (std::strchr("/\\:*?\"<>|", c)) continue;
    clean += c;
  }
  // No leading or trailing blanks and dots: no hidden files, no "." or "..".
  std::size_t b = clean.find_first_not_of(" .");
  std::size_t e = clean.find_last_not_of(" .");
  clean = b == std::string::npos ? std::string() : clean.substr(b, e - b + 1);
  if (clean.empty()) clean = "attachment";
  if (clean.size() > 200) {
    std::string ext;
    auto dot = clean.rfind('.');
    if (dot != std::string::npos && clean.size() - dot <= 16) ext = clean.substr(dot);
    std::size_t keep = 200 - ext.size();
    while (keep > 0 && (static_cast<unsigned char>(clean[keep]) & 0xC0) == 0x80) --keep;
    clean = clean.substr(0, keep) + ext;
  }
  return clean;
}

}  // namespace nmail::mime
