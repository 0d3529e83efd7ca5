#include "unlha/unlha.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "archive.h"
#include "lzh.h"
#include "names.h"
#include "reader.h"

namespace unlha {

namespace {

// Limits for what one command may read or write.
constexpr std::uint64_t kMaxEntrySize = 0xFFFFFFFFull;          // the format's own limit
constexpr std::uint64_t kMaxExtractTotal = 16ull << 30;         // all files of one extraction
constexpr std::size_t kMaxComponent = 255;
constexpr int kMaxDepth = 64;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = o.fd_;
      o.fd_ = -1;
    }
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int release() {
    const int f = fd_;
    fd_ = -1;
    return f;
  }

 private:
  int fd_;
};

// ---------------------------------------------------------------- command line

struct Token {
  std::string text;
  bool quoted = false;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Inside double quotes, two quotes are one quote of the name, and a quote
// ends the name only where the name can end: before a blank, the end of the
// line, or a "/" that the caller put behind the closing quote ("/a/b"/).
// Any other quote is part of the name, so a file named with a double quote
// is taken as it stands.
bool closesQuote(std::string_view line, std::size_t i) {
  const std::size_t n = i + 1;
  if (n >= line.size() || isBlank(line[n])) return true;
  return line[n] == '/' && (n + 1 >= line.size() || isBlank(line[n + 1]));
}

// One step of the quoting rules at line[i] (a quote): how many characters
// it takes, and whether it is a quote of the name (literal) or opens or
// closes the quoted part.
std::size_t quoteStep(std::string_view line, std::size_t i, bool& inQuote, bool& literal) {
  literal = false;
  if (inQuote && i + 1 < line.size() && line[i + 1] == '"') {
    literal = true;
    return 2;
  }
  if (!inQuote || closesQuote(line, i)) {
    inQuote = !inQuote;
    return 1;
  }
  literal = true;
  return 1;
}

std::vector<Token> tokenize(std::string_view line) {
  std::vector<Token> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i >= line.size()) break;
    Token t;
    bool inQuote = false;
    while (i < line.size()) {
      const char c = line[i];
      if (c == '"') {
        bool literal = false;
        i += quoteStep(line, i, inQuote, literal);
        if (literal)
          t.text.push_back('"');
        else
          t.quoted = true;
        continue;
      }
      if (!inQuote && isBlank(c)) break;
      t.text.push_back(c);
      ++i;
    }
    out.push_back(std::move(t));
  }
  return out;
}

// The lines of a response file: a line break inside quotes belongs to a name.
std::vector<std::string_view> splitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  std::size_t start = 0, i = 0;
  bool inQuote = false;
  while (i < content.size()) {
    const char c = content[i];
    if (c == '"') {
      bool literal = false;
      i += quoteStep(content, i, inQuote, literal);
      continue;
    }
    if (c == '\n' && !inQuote) {
      lines.push_back(content.substr(start, i - start));
      start = i + 1;
    }
    ++i;
  }
  lines.push_back(content.substr(start));
  return lines;
}

enum class Method { Stored, Lh1, Lh5, Lh6, Lh7, Auto };

struct Options {
  bool recurse = false;
  bool yes = false;
  int level = 2;
  Method method = Method::Lh5;
};

// A name of the command line. A quoted name is taken literally; in an
// unquoted one "*" and "?" are wildcards.
struct Name {
  std::string text;
  bool literal = false;
};

// One group of names to pack: a base folder and names below it.
struct Group {
  std::string base;  // ends with "/" or is empty (the current folder)
  std::vector<Name> names;
  bool recurse = false;
};

struct Command {
  char word = 0;
  std::string archive;
  std::string outDir;  // x and e
  std::vector<Group> groups;
  std::vector<Name> patterns;  // x and e
  Options opt;
};

// A switch; false when it is none this layer knows. Only -d is allowed
// inside a response file line (lineOnly).
bool takeSwitch(const std::string& s, Options& o, bool* recurse, bool lineOnly) {
  std::string w = s.substr(1);
  for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (w == "d" || w == "d1" || w == "d0") {
    *recurse = w != "d0";
    return true;
  }
  if (lineOnly) return false;
  if (w == "y" || w == "y1" || w == "y0") {
    o.yes = w != "y0";
    return true;
  }
  if (w.size() == 2 && w[0] == 'h' && w[1] >= '0' && w[1] <= '3') {
    o.level = w[1] - '0';
    return true;
  }
  if (w == "jm0") o.method = Method::Stored;
  else if (w == "jm1") o.method = Method::Lh1;
  else if (w == "jm2") o.method = Method::Lh5;
  else if (w == "jm3") o.method = Method::Lh6;
  else if (w == "jm4") o.method = Method::Lh7;
  else if (w == "jma") o.method = Method::Auto;
  else return false;
  return true;
}

bool endsWithSlash(const std::string& s) { return !s.empty() && s.back() == '/'; }

int readResponseFile(const std::string& path, const std::string& defaultBase, std::vector<Group>& groups,
                     bool defaultRecurse) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return kErrorRead;
  std::string content;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
    content.append(buf, n);
    if (content.size() > (16u << 20)) return kErrorTooLarge;
  }
  for (const std::string_view line : splitLines(content)) {
    Group g;
    g.base = defaultBase;
    g.recurse = defaultRecurse;
    Options dummy;
    for (const Token& t : tokenize(line)) {
      if (!t.quoted && !t.text.empty() && t.text[0] == '-') {
        if (!takeSwitch(t.text, dummy, &g.recurse, true)) return kErrorCommand;
      } else if (endsWithSlash(t.text) && g.names.empty()) {
        g.base = t.text;
      } else {
        g.names.push_back({t.text, t.quoted});
      }
    }
    if (!g.names.empty()) groups.push_back(std::move(g));
  }
  return kOk;
}

int parse(std::string_view line, Command& cmd) {
  const auto tokens = tokenize(line);
  if (tokens.empty() || tokens[0].text.size() != 1) return kErrorCommand;
  cmd.word = static_cast<char>(std::tolower(static_cast<unsigned char>(tokens[0].text[0])));
  if (cmd.word != 'a' && cmd.word != 'u' && cmd.word != 'x' && cmd.word != 'e') return kErrorCommand;
  const bool packing = cmd.word == 'a' || cmd.word == 'u';
  bool recurse = false;
  // Switches first: they hold for the whole line wherever they stand.
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (!t.quoted && t.text.size() > 1 && t.text[0] == '-')
      if (!takeSwitch(t.text, cmd.opt, &recurse, false)) return kErrorCommand;
  }
  cmd.opt.recurse = recurse;
  Group current;
  current.recurse = recurse;
  std::vector<std::pair<std::string, std::string>> responses;  // (base, path)
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (!t.quoted && t.text.size() > 1 && t.text[0] == '-') continue;
    if (t.text.empty()) continue;
    if (cmd.archive.empty()) {
      cmd.archive = t.text;
      continue;
    }
    if (t.text[0] == '@' && t.text.size() > 1) {
      if (!packing) return kErrorCommand;
      if (!current.names.empty()) {
        cmd.groups.push_back(current);
        current.names.clear();
      }
      const int r = readResponseFile(t.text.substr(1), current.base, cmd.groups, recurse);
      if (r != kOk) return r;
      continue;
    }
    if (endsWithSlash(t.text)) {
      if (packing) {
        if (!current.names.empty()) {
          cmd.groups.push_back(current);
          current.names.clear();
        }
        current.base = t.text;
      } else {
        cmd.outDir = t.text;
      }
      continue;
    }
    if (packing)
      current.names.push_back({t.text, t.quoted});
    else
      cmd.patterns.push_back({t.text, t.quoted});
  }
  if (!current.names.empty()) cmd.groups.push_back(current);
  if (cmd.archive.empty()) return kErrorCommand;
  return kOk;
}

// ---------------------------------------------------------------- names

bool wildMatch(const char* p, const char* s) {
  while (*p) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      for (; *s; ++s)
        if (wildMatch(p, s)) return true;
      return wildMatch(p, s);
    }
    if (!*s) return false;
    if (*p != '?' && *p != *s) return false;
    ++p;
    ++s;
  }
  return *s == 0;
}

bool matches(const Name& pattern, const std::string& name) {
  if (pattern.literal) return pattern.text == name;
  if (pattern.text == "*.*" || pattern.text == "*") return true;
  return wildMatch(pattern.text.c_str(), name.c_str());
}

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

std::string joinPath(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return endsWithSlash(a) ? a + b : a + "/" + b;
}

std::string folderOf(const std::string& path) {
  const auto i = path.rfind('/');
  return i == std::string::npos ? std::string() : path.substr(0, i + 1);
}

// ---------------------------------------------------------------- packing

struct Item {
  std::string diskPath;
  std::string entryPath;  // UTF-8, "/" between folders
  bool isDir = false;
  std::int64_t mtime = 0;
};

struct Collector {
  std::vector<Item> items;
  dev_t skipDev = 0;
  ino_t skipIno = 0;
  bool haveSkip = false;
  int error = kOk;

  bool isArchive(const struct stat& st) const { return haveSkip && st.st_dev == skipDev && st.st_ino == skipIno; }

  void addFile(const std::string& disk, const std::string& entry, const struct stat& st) {
    if (isArchive(st)) return;
    items.push_back({disk, entry, false, static_cast<std::int64_t>(st.st_mtime)});
  }

  std::vector<LeftOut> leftOut;

  static std::string realPath(const std::string& p) {
    char* r = ::realpath(p.c_str(), nullptr);
    if (!r) return std::string();
    std::string s = r;
    std::free(r);
    return s;
  }
  static bool within(const std::string& path, const std::string& folder) {
    return folder == "/" ? path.size() > 1 && path[0] == '/'
                         : path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                               path[folder.size()] == '/';
  }

  // One item found in a folder being packed (root, real path; chain: the
  // real paths of the folders walked down to it). A symbolic link is taken
  // as what it points to when that lies inside root and does not lead back
  // into the chain; everything else that is no file or folder is left out.
  void found(const std::string& p, const std::string& e, const std::string& root, std::vector<std::string>& chain,
             int depth, bool recurse) {
    struct stat st {};
    if (lstat(p.c_str(), &st) != 0) return;
    if (S_ISLNK(st.st_mode)) {
      const std::string real = realPath(p);
      if (real.empty() || stat(p.c_str(), &st) != 0) {
        leftOut.push_back({LeftOut::LinkBroken, p});
        return;
      }
      if (!root.empty() && real == root) {
        leftOut.push_back({LeftOut::LinkLoop, p});
        return;
      }
      if (root.empty() || !within(real, root)) {
        leftOut.push_back({LeftOut::LinkOutside, p});
        return;
      }
      if (S_ISDIR(st.st_mode))
        for (const auto& c : chain)
          if (c == real || within(c, real)) {
            leftOut.push_back({LeftOut::LinkLoop, p});
            return;
          }
    }
    if (S_ISREG(st.st_mode)) {
      addFile(p, e, st);
    } else if (S_ISDIR(st.st_mode)) {
      if (!recurse) return;
      items.push_back({p, e, true, static_cast<std::int64_t>(st.st_mtime)});
      chain.push_back(realPath(p));
      walk(p, e, depth + 1, root, chain);
      chain.pop_back();
    } else {
      leftOut.push_back({LeftOut::NotAFile, p});
    }
  }

  // A folder's content below it.
  void walk(const std::string& disk, const std::string& entry, int depth, const std::string& root,
            std::vector<std::string>& chain) {
    if (depth > kMaxDepth) return;
    DIR* d = opendir(disk.c_str());
    if (!d) {
      error = kErrorRead;
      return;
    }
    std::vector<std::string> names;
    while (dirent* de = readdir(d)) {
      const std::string n = de->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) found(joinPath(disk, n), joinPath(entry, n), root, chain, depth, true);
  }

  // One named item of a group: base folder, name (wildcards in its last part).
  void take(const std::string& baseIn, const Name& named, bool recurse) {
    std::string base = baseIn, name = named.text;
    if (!name.empty() && name[0] == '/') {
      if (!base.empty() && name.compare(0, base.size(), base) == 0) {
        name = name.substr(base.size());
      } else {
        base = folderOf(name);
        name = name.substr(base.size());
      }
    }
    while (!name.empty() && name.back() == '/') name.pop_back();
    const std::string sub = folderOf(name);   // folders inside the base, kept in the entry
    const std::string last = name.substr(sub.size());
    const std::string dir = joinPath(base.empty() ? std::string("./") : base, sub);
    const std::string entryPrefix = sub.empty() ? std::string() : sub.substr(0, sub.size() - 1);
    if (!named.literal && hasWildcard(last)) {
      DIR* d = opendir(dir.c_str());
      if (!d) {
        error = kErrorRead;
        return;
      }
      std::vector<std::string> names;
      while (dirent* de = readdir(d)) {
        const std::string n = de->d_name;
        if (n != "." && n != ".." && matches({last, false}, n)) names.push_back(n);
      }
      closedir(d);
      std::sort(names.begin(), names.end());
      // The folder the names were found in is the folder being packed.
      const std::string root = realPath(dir);
      std::vector<std::string> chain{root};
      for (const auto& n : names) found(joinPath(dir, n), joinPath(entryPrefix, n), root, chain, 0, recurse);
      return;
    }
    // A name without wildcards: the user named it, so a link is followed.
    const std::string p = joinPath(dir, last);
    struct stat st {};
    if (last.empty() || stat(p.c_str(), &st) != 0) {
      error = kErrorRead;
      return;
    }
    const std::string e = joinPath(entryPrefix, last);
    if (S_ISREG(st.st_mode)) {
      addFile(p, e, st);
    } else if (S_ISDIR(st.st_mode) && recurse) {
      items.push_back({p, e, true, static_cast<std::int64_t>(st.st_mtime)});
      const std::string root = realPath(p);
      std::vector<std::string> chain{root};
      walk(p, e, 1, root, chain);
    }
  }
};

bool readWholeFile(const std::string& path, std::string& out) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) return false;
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out.clear();
  out.reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
    if (out.size() > kMaxEntrySize) return false;
  }
  return true;
}

bool writeAll(std::FILE* f, const std::string& s) { return std::fwrite(s.data(), 1, s.size(), f) == s.size(); }

bool copyRange(std::FILE* from, std::uint64_t offset, std::uint64_t size, std::FILE* to) {
  if (fseeko(from, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  char buf[1 << 16];
  while (size) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof buf));
    if (std::fread(buf, 1, want, from) != want) return false;
    if (std::fwrite(buf, 1, want, to) != want) return false;
    size -= want;
  }
  return true;
}

std::string randomSuffix() {
  static std::mt19937_64 rng{std::random_device{}()};
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string s;
  for (int i = 0; i < 8; ++i) s.push_back(kChars[rng() % (sizeof kChars - 1)]);
  return s;
}

int pack(const Command& cmd, const Callbacks& callbacks, std::string& report) {
  const std::string& archivePath = cmd.archive;

  // What the archive holds already.
  std::vector<archive::Entry> existing;
  File old(std::fopen(archivePath.c_str(), "rb"));
  Collector col;
  if (old) {
    std::string why;
    auto all = archive::readAll(old.get(), &why);
    if (!all) return kErrorBrokenArchive;
    existing = std::move(*all);
    struct stat st {};
    if (fstat(fileno(old.get()), &st) == 0) {
      col.skipDev = st.st_dev;
      col.skipIno = st.st_ino;
      col.haveSkip = true;
    }
  }

  for (const Group& g : cmd.groups)
    for (const auto& n : g.names) col.take(g.base, n, g.recurse);
  if (col.error != kOk) return col.error;
  for (const auto& l : col.leftOut) report += "left out: " + l.path + "\n";
  if (callbacks.leftOut) *callbacks.leftOut = col.leftOut;
  if (col.items.empty()) return kErrorNoFiles;

  // Entries by their stored path; a later item replaces an earlier one.
  std::map<std::string, std::size_t> byPath;
  for (std::size_t i = 0; i < existing.size(); ++i) byPath[existing[i].path] = i;
  struct Out {
    std::optional<std::size_t> old;  // copied from the existing archive
    std::optional<Item> item;        // packed anew
    std::string path;
  };
  std::vector<Out> outs;
  for (std::size_t i = 0; i < existing.size(); ++i) outs.push_back({i, std::nullopt, existing[i].path});
  std::map<std::string, std::size_t> outIndex;
  for (std::size_t i = 0; i < outs.size(); ++i) outIndex[outs[i].path] = i;
  bool changed = false;
  // Two names on the disk that the archive's code page writes alike (a
  // character it cannot hold becomes "?") must not replace each other.
  auto unique = [&](const std::string& path) {
    const auto slash = path.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = path.rfind('.');
    const std::size_t extAt = dot != std::string::npos && dot > nameAt ? dot : path.size();
    for (int k = 2;; ++k) {
      std::string p = path.substr(0, extAt) + "_" + std::to_string(k) + path.substr(extAt);
      if (!outIndex.count(p)) return p;
    }
  };
  for (const Item& it : col.items) {
    std::string path = names::toArchive(it.entryPath);
    auto o = outIndex.find(path);
    if (o != outIndex.end() && outs[o->second].item && outs[o->second].item->diskPath != it.diskPath) {
      if (it.isDir && outs[o->second].item->isDir) continue;  // one folder in the archive
      path = unique(path);
      o = outIndex.end();
    }
    if (o != outIndex.end()) {
      Out& slot = outs[o->second];
      if (cmd.word == 'u' && slot.old && existing[*slot.old].mtime >= it.mtime) continue;
      if (slot.old && existing[*slot.old].isDir && it.isDir) continue;
      slot.old.reset();
      slot.item = it;
    } else {
      outIndex[path] = outs.size();
      outs.push_back({std::nullopt, it, path});
    }
    changed = true;
  }
  if (!changed) return kOk;  // everything up to date

  const std::string tmpPath = archivePath + "." + randomSuffix() + ".tmp";
  Fd tfd(::open(tmpPath.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666));
  if (!tfd.ok()) return kErrorWrite;
  File out(fdopen(tfd.get(), "wb"));
  if (!out) {
    ::unlink(tmpPath.c_str());
    return kErrorWrite;
  }
  tfd.release();  // the FILE owns the descriptor now
  auto fail = [&](int code) {
    out.reset();
    ::unlink(tmpPath.c_str());
    return code;
  };

  std::string data, packed, header, why;
  for (const Out& o : outs) {
    if (o.old) {
      const archive::Entry& e = existing[*o.old];
      if (!copyRange(old.get(), e.headerOffset, e.dataOffset + e.packedSize - e.headerOffset, out.get()))
        return fail(kErrorWrite);
      continue;
    }
    const Item& it = *o.item;
    archive::Entry e;
    e.path = o.path;
    e.mtime = it.mtime;
    e.isDir = it.isDir;
    if (it.isDir) {
      e.method = "-lhd-";
    } else {
      if (!readWholeFile(it.diskPath, data)) return fail(data.size() > kMaxEntrySize ? kErrorTooLarge : kErrorRead);
      e.originalSize = data.size();
      e.crc = archive::crc16(data.data(), data.size());
      const std::string* body = &data;
      e.method = "-lh0-";
      if (cmd.opt.method != Method::Stored && !data.empty()) {
        const char* method = "-lh5-";
        switch (cmd.opt.method) {
          case Method::Lh1:
            method = "-lh1-";
            packed = lzh::encodeLh1(data);
            break;
          case Method::Lh6:
            method = "-lh6-";
            packed = lzh::encode(data, lzh::paramsFor(15));
            break;
          case Method::Lh7:
            method = "-lh7-";
            packed = lzh::encode(data, lzh::paramsFor(16));
            break;
          default:
            packed = lzh::encode(data, lzh::paramsFor(13));
            break;
        }
        if (packed.size() < data.size()) {
          body = &packed;
          e.method = method;
        }
      }
      e.packedSize = body->size();
      if (!archive::buildHeader(e, cmd.opt.level, header, &why)) return fail(kErrorTooLarge);
      if (!writeAll(out.get(), header) || !writeAll(out.get(), *body)) return fail(kErrorWrite);
      report += "packed: " + it.entryPath + "\n";
      continue;
    }
    if (!archive::buildHeader(e, cmd.opt.level, header, &why)) return fail(kErrorTooLarge);
    if (!writeAll(out.get(), header)) return fail(kErrorWrite);
    report += "packed: " + it.entryPath + "/\n";
  }
  if (std::fputc(0, out.get()) == EOF) return fail(kErrorWrite);
  if (std::fflush(out.get()) != 0 || fsync(fileno(out.get())) != 0) return fail(kErrorWrite);
  if (std::fclose(out.release()) != 0) {
    ::unlink(tmpPath.c_str());
    return kErrorWrite;
  }
  old.reset();
  if (std::rename(tmpPath.c_str(), archivePath.c_str()) != 0) {
    ::unlink(tmpPath.c_str());
    return kErrorWrite;
  }
  return kOk;
}

// ---------------------------------------------------------------- extracting

// The folders and the name of an entry below the output folder, or nullopt
// when its path is not safe to use there. A name anchored at the root
// ("/dir/file", as archivers write with a root-folder option) is taken
// below the output folder; ".." and drive letters are refused.
std::optional<std::vector<std::string>> safeParts(const std::string& utf8) {
  if (utf8.find('\0') != std::string::npos) return std::nullopt;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= utf8.size()) {
    std::size_t end = utf8.find('/', start);
    if (end == std::string::npos) end = utf8.size();
    const std::string part = utf8.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") {
      if (end == utf8.size()) break;
      continue;
    }
    if (part == "..") return std::nullopt;
    if (parts.empty() && part.size() == 2 && part[1] == ':') return std::nullopt;  // a drive letter
    if (part.size() > kMaxComponent) return std::nullopt;
    parts.push_back(part);
    if (end == utf8.size()) break;
  }
  if (parts.empty() || static_cast<int>(parts.size()) > kMaxDepth) return std::nullopt;
  return parts;
}

// The folders one extraction makes, so that a failed one can take back
// those it leaves empty.
struct MadeFolders {
  std::vector<std::string> outside;  // the output folder and those above it, full paths
  std::vector<std::string> inside;   // below the output folder, relative to it

  void takeBackEmpty(int root) {
    for (auto it = inside.rbegin(); it != inside.rend(); ++it) ::unlinkat(root, it->c_str(), AT_REMOVEDIR);
    for (auto it = outside.rbegin(); it != outside.rend(); ++it) ::rmdir(it->c_str());
  }
};

// Opens (and creates) the folders below root one by one, never through a link.
Fd openFolders(int root, const std::vector<std::string>& parts, std::size_t count, MadeFolders& made) {
  Fd cur(::dup(root));
  std::string rel;
  for (std::size_t i = 0; i < count && cur.ok(); ++i) {
    rel = joinPath(rel, parts[i]);
    if (::mkdirat(cur.get(), parts[i].c_str(), 0777) == 0)
      made.inside.push_back(rel);
    else if (errno != EEXIST)
      return Fd();
    Fd next(::openat(cur.get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    cur = std::move(next);
  }
  return cur;
}

bool makeFolders(const std::string& path, MadeFolders& made) {
  std::string cur;
  std::size_t start = 0;
  if (!path.empty() && path[0] == '/') {
    cur = "/";
    start = 1;
  }
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (!part.empty()) {
      cur = joinPath(cur, part);
      if (::mkdir(cur.c_str(), 0777) == 0)
        made.outside.push_back(cur);
      else if (errno != EEXIST)
        return false;
    }
    if (end == path.size()) break;
    start = end + 1;
  }
  struct stat st {};
  return ::stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether the file name in dirFd holds exactly what the file tmp holds;
// anything but a regular file (a link, a device) differs.
bool sameContent(int dirFd, const std::string& name, const std::string& tmp) {
  Fd a(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  Fd b(::openat(dirFd, tmp.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!a.ok() || !b.ok()) return false;
  struct stat sa {}, sb {};
  if (fstat(a.get(), &sa) != 0 || fstat(b.get(), &sb) != 0 || !S_ISREG(sa.st_mode) || sa.st_size != sb.st_size)
    return false;
  std::vector<char> ba(1 << 16), bb(1 << 16);
  for (;;) {
    const ssize_t na = ::read(a.get(), ba.data(), ba.size());
    if (na < 0) return false;
    if (na == 0) return true;
    std::size_t got = 0;
    while (got < static_cast<std::size_t>(na)) {
      const ssize_t nb = ::read(b.get(), bb.data() + got, static_cast<std::size_t>(na) - got);
      if (nb <= 0) return false;
      got += static_cast<std::size_t>(nb);
    }
    if (std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(na)) != 0) return false;
  }
}

// One extraction: what it asks, what it made, and the files that replace
// existing ones, held under temporary names until every entry extracted.
struct Extraction {
  const Callbacks* callbacks = nullptr;
  bool yes = false;          // -y1
  bool all = false;          // "all" answered: replace without asking
  std::set<std::string> made;  // files this extraction wrote, by their path below the output folder
  struct Pending {
    Fd dir;
    std::string tmp, name, shown;
  };
  std::vector<Pending> pending;
  std::uint64_t total = 0;
};

int extractOne(reader::Archive& arc, const reader::Item& e, int dirFd, const std::string& name,
               const std::string& rel, const std::string& entryName, const std::string& shown, Extraction& x,
               std::string& report) {
  if (!e.decodable) return kErrorMethod;
  if (e.length > kMaxEntrySize || x.total + e.length > kMaxExtractTotal) return kErrorTooLarge;

  struct stat st {};
  const bool exists = ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && S_ISDIR(st.st_mode)) return kErrorWrite;
  const bool ours = exists && x.made.count(rel);
  const bool asking = x.callbacks->replaceFile != nullptr;
  if (exists && !asking && !x.yes) {
    report += "kept: " + entryName + "\n";
    return kOk;
  }

  const std::string tmp = "." + name.substr(0, 200) + "." + randomSuffix() + ".part";
  Fd fd(::openat(dirFd, tmp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd.ok()) return kErrorWrite;
  auto fail = [&](int code) {
    fd.reset();
    ::unlinkat(dirFd, tmp.c_str(), 0);
    return code;
  };
  std::uint64_t done = 0;
  std::vector<char> buf(1 << 16);
  for (;;) {
    const std::size_t n = arc.read(buf.data(), buf.size());
    if (n == 0) break;
    done += n;
    if (done > e.length) return fail(kErrorCrc);  // more data than the header claims
    for (const char* p = buf.data(); p < buf.data() + n;) {
      const ssize_t w = ::write(fd.get(), p, static_cast<std::size_t>(buf.data() + n - p));
      if (w < 0) {
        if (errno == EINTR) continue;
        return fail(kErrorWrite);
      }
      p += w;
    }
  }
  if (!arc.whole()) return fail(kErrorCrc);
  const struct timespec times[2] = {{static_cast<time_t>(e.mtime), 0}, {static_cast<time_t>(e.mtime), 0}};
  ::futimens(fd.get(), times);
  if (::close(fd.release()) != 0) {
    ::unlinkat(dirFd, tmp.c_str(), 0);
    return kErrorWrite;
  }
  x.total += done;
  if (!exists || ours) {
    if (::renameat(dirFd, tmp.c_str(), dirFd, name.c_str()) != 0) {
      ::unlinkat(dirFd, tmp.c_str(), 0);
      return kErrorWrite;
    }
    x.made.insert(rel);
    report += "extracted: " + entryName + "\n";
    return kOk;
  }
  // A file the user has: the same content stays as it is; another one is
  // replaced only when the user agrees, and only once every entry is out.
  if (sameContent(dirFd, name, tmp)) {
    ::unlinkat(dirFd, tmp.c_str(), 0);
    report += "unchanged: " + entryName + "\n";
    return kOk;
  }
  if (asking && !x.all) {
    const Replace answer = x.callbacks->replaceFile(shown);
    if (answer == Replace::No) {
      ::unlinkat(dirFd, tmp.c_str(), 0);
      report += "kept: " + entryName + "\n";
      return kOk;
    }
    if (answer == Replace::All) x.all = true;
  }
  x.pending.push_back({Fd(::dup(dirFd)), tmp, name, entryName});
  return kOk;
}

int extract(const Command& cmd, const Callbacks& callbacks, std::string& report) {
  // The headers first: a broken archive writes nothing at all.
  reader::Archive arc;
  if (!arc.open(cmd.archive)) {
    struct stat st {};
    return ::stat(cmd.archive.c_str(), &st) == 0 && !S_ISREG(st.st_mode) ? kErrorBrokenArchive : kErrorNoArchive;
  }
  const auto listed = reader::list(cmd.archive);
  if (!listed) return kErrorBrokenArchive;
  // Every folder of the archive: its folder entries and the folders above
  // each entry. OS/2 archivers store a folder's extended attributes as an
  // entry of the folder's own name; such an entry is no file. An archive
  // is one of theirs where an entry says so: by the OS id, or by OS/2
  // attributes in its headers whatever its OS id.
  std::set<std::string> folders;
  bool os2 = false;
  for (const auto& it : *listed) {
    if (it.isDir) folders.insert(it.path);
    os2 = os2 || it.os == '2' || it.os2Attributes;
    for (std::size_t i = it.path.find('/'); i != std::string::npos; i = it.path.find('/', i + 1))
      folders.insert(it.path.substr(0, i));
  }

  std::string outDir = cmd.outDir;
  if (outDir.empty()) outDir = "./";
  MadeFolders made;
  if (!makeFolders(outDir, made)) {
    made.takeBackEmpty(-1);
    return kErrorWrite;
  }
  Fd root(::open(outDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!root.ok()) {
    made.takeBackEmpty(-1);
    return kErrorWrite;
  }

  int result = kOk;
  auto note = [&](int r) {
    if (r != kOk && result == kOk) result = r;
  };
  Extraction x;
  x.callbacks = &callbacks;
  x.yes = cmd.opt.yes;
  reader::Item e;
  for (;;) {
    const auto step = arc.next(e);
    if (step == reader::Archive::Next::End) break;
    if (step == reader::Archive::Next::Broken) {
      note(kErrorBrokenArchive);
      break;
    }
    if (e.isLink) continue;  // links are never made
    const std::string utf8 = names::fromArchive(e.path);
    auto parts = safeParts(utf8);
    if (!parts) {
      note(kErrorUnsafePath);
      report += "unsafe path skipped: " + utf8 + "\n";
      continue;
    }
    std::string rel;
    for (const auto& p : *parts) rel = joinPath(rel, p);
    if (!cmd.patterns.empty()) {
      bool any = false;
      for (const auto& p : cmd.patterns)
        if (matches(p, p.text.find('/') != std::string::npos ? rel : parts->back())) any = true;
      if (!any) continue;
    }
    if (e.isDir) {
      if (cmd.word == 'x') {
        Fd d = openFolders(root.get(), *parts, parts->size(), made);
        if (!d.ok()) note(kErrorWrite);
      }
      continue;
    }
    if (cmd.word == 'e') parts = std::vector<std::string>{parts->back()};
    Fd dir = openFolders(root.get(), *parts, parts->size() - 1, made);
    if (!dir.ok()) {
      note(kErrorWrite);
      continue;
    }
    if (os2) {
      struct stat st {};
      const bool folderThere =
          ::fstatat(dir.get(), parts->back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
      if (folders.count(e.path) || folderThere) {
        report += "folder attributes skipped: " + utf8 + "\n";
        continue;
      }
    }
    if (cmd.word == 'e') rel = parts->back();
    const int r = extractOne(arc, e, dir.get(), parts->back(), rel, utf8, joinPath(outDir, rel), x, report);
    note(r);
    if (r == kErrorMethod) report += "unknown method " + e.method + ": " + utf8 + "\n";
    if (r == kErrorTooLarge && x.total >= kMaxExtractTotal) break;
  }
  // The files that replace existing ones take their names only when every
  // entry extracted; otherwise the user's files stay as they were.
  for (auto& p : x.pending) {
    if (result == kOk && ::renameat(p.dir.get(), p.tmp.c_str(), p.dir.get(), p.name.c_str()) == 0) {
      report += "replaced: " + p.shown + "\n";
      continue;
    }
    if (result == kOk) note(kErrorWrite);
    ::unlinkat(p.dir.get(), p.tmp.c_str(), 0);
    report += "not replaced: " + p.shown + "\n";
  }
  if (result != kOk) made.takeBackEmpty(root.get());
  return result;
}

}  // namespace

int Unlha(std::uintptr_t ownerWindow, const std::string& commandLine, std::string* output, std::uint32_t outputSize,
          const Callbacks& callbacks) {
  (void)ownerWindow;
  Command cmd;
  std::string report;
  int r = parse(commandLine, cmd);
  if (r == kOk) r = (cmd.word == 'a' || cmd.word == 'u') ? pack(cmd, callbacks, report) : extract(cmd, callbacks, report);
  if (output && outputSize > 0) {
    if (report.size() > outputSize - 1) report.resize(outputSize - 1);
    *output = report;
  }
  return r;
}

int Unlha(std::uintptr_t ownerWindow, const std::string& commandLine, std::string* output, std::uint32_t outputSize) {
  return Unlha(ownerWindow, commandLine, output, outputSize, Callbacks{});
}

int UnlhaCheckArchive(const std::string& path, int mode) {
  (void)mode;
  const auto items = reader::list(path);
  return items && !items->empty() ? 1 : 0;
}

}  // namespace unlha
