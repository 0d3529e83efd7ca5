// Private-profile files: reading and writing single keys of CP932 INI files
// while leaving every other byte of the file as it was.
#include "profile.h"

#include "codepage.h"
#include "oserror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace profile {
namespace {

std::string nativePath(const QString& file) { return QFile::encodeName(file).toStdString(); }

// The whole file, or nullopt when it cannot be read (missing included).
std::optional<std::string> readFile(const QString& file) {
  const std::string p = nativePath(file);
  int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (r == 0) break;
    out.append(buf, static_cast<std::size_t>(r));
  }
  ::close(fd);
  return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// One line of the file: its text and the whole line with its terminator.
struct Line {
  std::size_t begin;    // offset of the line
  std::size_t textEnd;  // offset where the terminator starts
  std::size_t end;      // offset after the terminator
};

std::vector<Line> splitLines(const std::string& s) {
  std::vector<Line> lines;
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    std::size_t j = i;
    while (j < n && s[j] != '\r' && s[j] != '\n') ++j;
    std::size_t e = j;
    if (e < n) {
      if (s[e] == '\r' && e + 1 < n && s[e + 1] == '\n')
        e += 2;
      else
        ++e;
    }
    lines.push_back({i, j, e});
    i = e;
  }
  return lines;
}

enum class Kind { Other, Section, Key };

struct Parsed {
  Kind kind = Kind::Other;
  std::string_view name;   // section or key name
  std::string_view value;  // key value (trimmed)
};

Parsed parseLine(std::string_view text) {
  Parsed p;
  std::string_view t = trimBlanks(text);
  if (t.empty()) return p;
  if (t.front() == '[') {
    std::size_t close = t.find(']');
    std::string_view name = close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1);
    p.kind = Kind::Section;
    p.name = trimBlanks(name);
    return p;
  }
  if (t.front() == ';') return p;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return p;
  p.kind = Kind::Key;
  p.name = trimBlanks(t.substr(0, eq));
  p.value = trimBlanks(t.substr(eq + 1));
  return p;
}

// Where section and key stand in the file.
struct Location {
  bool sectionFound = false;
  std::size_t sectionLine = 0;  // index of the first matching "[section]" line
  bool keyFound = false;
  std::size_t keyLine = 0;       // index of the key's line
  std::size_t lastEntryLine = 0; // last non-empty line of the first matching section
  std::string_view value;
};

Location locate(const std::string& s, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
  Location loc;
  bool inSection = false;
  bool inFirst = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view text(s.data() + lines[i].begin, lines[i].textEnd - lines[i].begin);
    Parsed p = parseLine(text);
    if (p.kind == Kind::Section) {
      inSection = equalNoCase(p.name, section);
      inFirst = inSection && !loc.sectionFound;
      if (inFirst) {
        loc.sectionFound = true;
        loc.sectionLine = i;
        loc.lastEntryLine = i;
      }
      continue;
    }
    if (!inSection) continue;
    if (inFirst && !trimBlanks(text).empty()) loc.lastEntryLine = i;
    if (p.kind == Kind::Key && !loc.keyFound && equalNoCase(p.name, key)) {
      loc.keyFound = true;
      loc.keyLine = i;
      loc.value = p.value;
    }
  }
  return loc;
}

std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

QString cutToBuffer(std::string_view bytes, int size) {
  if (size <= 1) return QString();
  return cp932::decode(cp932::cut(bytes, static_cast<std::size_t>(size - 1)));
}

std::string errnoSafeDir(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool writeAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// The real file behind a symbolic link, so that the rename replaces the
// file and not the link.
std::string targetOf(const std::string& p) {
  struct stat st;
  if (::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* r = ::realpath(p.c_str(), nullptr);
    if (r) {
      std::string out(r);
      std::free(r);
      return out;
    }
  }
  return p;
}

// One write of a profile file at a time, whatever the thread (a write
// may be done on a thread of its own, so that the window does not wait for
// the disk): every write reads the file and replaces it whole, and two at
// once would lose one of them.
std::recursive_mutex& writeLock() {
  static std::recursive_mutex m;
  return m;
}

}  // namespace

bool replaceFile(const QString& file, const std::string& bytes) {
  const std::lock_guard<std::recursive_mutex> one(writeLock());
  const std::string path = targetOf(nativePath(file));
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  // A file that may not be written keeps what it holds, as a write into it
  // would: the rename would otherwise replace it all the same. The
  // superuser may write any file, but one that nobody may write is left
  // alone by the superuser too.
  if (exists && (::access(path.c_str(), W_OK) != 0 || (::geteuid() == 0 && (st.st_mode & 0222) == 0)))
    return false;
  static std::atomic<unsigned> counter{0};
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = path + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = true;
  if (exists) ok = ::fchmod(fd, st.st_mode & 07777) == 0;
  ok = ok && writeAll(fd, bytes.data(), bytes.size());
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  int dfd = ::open(errnoSafeDir(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::optional<QString> unreadableReason(const QString& file) {
  const std::string p = nativePath(file);
  int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;  // not there
    return oserror::reasonText(errno);
  }
  char c;
  ssize_t r;
  do r = ::read(fd, &c, 1);
  while (r < 0 && errno == EINTR);
  const int err = errno;
  ::close(fd);
  if (r < 0) return oserror::reasonText(err);
  return std::nullopt;
}

std::optional<QString> readValue(const QString& section, const QString& key, const QString& file,
                                 int size) {
  std::optional<std::string> s = readFile(file);
  if (!s) return std::nullopt;
  const std::string sec = cp932::encode(section), k = cp932::encode(key);
  std::vector<Line> lines = splitLines(*s);
  Location loc = locate(*s, lines, sec, k);
  if (!loc.keyFound) return std::nullopt;
  return cutToBuffer(unquote(loc.value), size);
}

QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def,
                                const QString& file, int size) {
  if (std::optional<QString> v = readValue(section, key, file, size)) return *v;
  std::string d = cp932::encode(def);
  while (!d.empty() && d.back() == ' ') d.pop_back();
  return cutToBuffer(d, size);
}

int GetPrivateProfileInt(const QString& section, const QString& key, int def, const QString& file) {
  std::optional<QString> v = readValue(section, key, file);
  if (!v || v->isEmpty()) return def;
  const std::string s = cp932::encode(*v);
  std::size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    negative = s[i] == '-';
    ++i;
  }
  std::uint32_t r = 0;  // wraps like the platform's 32-bit result
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    r = r * 10u + static_cast<std::uint32_t>(s[i] - '0');
    ++i;
  }
  if (negative) r = 0u - r;
  return static_cast<int>(static_cast<std::int32_t>(r));
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& file) {
  // A line break would end the line early and put the rest on a stray line
  // of its own: such a value cannot be kept, and the file stays as it was.
  for (const QString* t : {&section, &key, &value})
    if (t->contains(u'\r') || t->contains(u'\n')) return false;
  const std::lock_guard<std::recursive_mutex> one(writeLock());
  std::string s;
  if (QFileInfo::exists(file)) {
    std::optional<std::string> r = readFile(file);
    if (!r) return false;  // present but unreadable: leave it alone
    s = std::move(*r);
  }
  const std::string sec = cp932::encode(section), k = cp932::encode(key);
  const std::string entry = k + "=" + cp932::encode(value);
  std::vector<Line> lines = splitLines(s);
  Location loc = locate(s, lines, sec, k);

  std::string out;
  out.reserve(s.size() + entry.size() + sec.size() + 8);
  if (loc.keyFound) {
    const Line& l = lines[loc.keyLine];
    out.append(s, 0, l.begin);
    out += entry;
    out.append(s, l.textEnd, std::string::npos);  // its terminator and the rest
  } else if (loc.sectionFound) {
    const Line& l = lines[loc.lastEntryLine];
    out.append(s, 0, l.end);
    if (l.end == l.textEnd) out += "\r\n";  // the last line had no line end
    out += entry + "\r\n";
    out.append(s, l.end, std::string::npos);
  } else {
    out = s;
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
    out += "[" + sec + "]\r\n" + entry + "\r\n";
  }
  return replaceFile(file, out);
}

void removeLeftovers(const QString& file) {
  const QFileInfo target(QFile::decodeName(QByteArray::fromStdString(targetOf(nativePath(file)))));
  const QString prefix = target.fileName() + QStringLiteral(".~");
  static const QRegularExpression tail(QStringLiteral("^[0-9]+-[0-9]+$"));
  const QDir folder = target.absoluteDir();
  for (const QString& name : folder.entryList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System)) {
    if (name.startsWith(prefix) && tail.match(name.mid(prefix.size())).hasMatch()) QFile::remove(folder.filePath(name));
  }
}

bool makePrivate(const QString& file) {
  const std::string p = nativePath(file);
  int fd = ::open(p.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0;
  ::close(fd);
  return ok;
}

}  // namespace profile
