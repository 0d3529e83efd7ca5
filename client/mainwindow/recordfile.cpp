// Files of fixed-length records: open per operation, count whole records,
// read, write, append, and compaction through the temporary twin.
#include "client/mainwindow/recordfile.h"

#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/seams.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace records {
namespace {

std::string native(const QString& p) { return QFile::encodeName(p).toStdString(); }

QString resolveProgramPath(const QString& p) {
  if (p.startsWith(u'/')) return paths::resolveAbsolute(p);
  return paths::resolve(p);
}

std::string folderOf(const std::string& p) {
  std::size_t slash = p.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

void syncFolder(const std::string& file) {
  int d = ::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d >= 0) {
    ::fsync(d);
    ::close(d);
  }
}

// A file descriptor closed at the end of its scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void set(int fd) {
    reset();
    fd_ = fd;
  }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes and reports the result of the close.
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool preadAll(int fd, char* p, std::size_t n, off_t off, std::size_t& got) {
  got = 0;
  while (got < n) {
    ssize_t r = ::pread(fd, p + got, n - got, off + static_cast<off_t>(got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

bool pwriteAll(int fd, const char* p, std::size_t n, off_t off) {
  while (n > 0) {
    ssize_t w = ::pwrite(fd, p, n, off);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
    off += w;
  }
  return true;
}

// Copies len bytes from in at inOff to out at outOff: in the kernel where it
// can, through a buffer where it cannot.
bool copyRange(int in, off_t inOff, int out, off_t outOff, std::size_t len, std::unique_ptr<char[]>& buf) {
  static bool kernelCopy = true;
  while (len > 0 && kernelCopy) {
    ssize_t r = ::copy_file_range(in, &inOff, out, &outOff, len, 0);
    if (r < 0) {
      if (errno == EINTR) continue;
      if (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP) {
        kernelCopy = false;
        break;
      }
      return false;
    }
    if (r == 0) {  // the source ended early
      errno = EIO;
      return false;
    }
    len -= static_cast<std::size_t>(r);
  }
  constexpr std::size_t kBuf = 4u << 20;
  if (len > 0 && !buf) buf.reset(new char[kBuf]);
  while (len > 0) {
    std::size_t chunk = std::min(len, kBuf), got = 0;
    if (!preadAll(in, buf.get(), chunk, inOff, got)) return false;
    if (got != chunk) {
      errno = EIO;
      return false;
    }
    if (!pwriteAll(out, buf.get(), chunk, outOff)) return false;
    inOff += static_cast<off_t>(chunk);
    outOff += static_cast<off_t>(chunk);
    len -= chunk;
  }
  return true;
}

void step(const char* name) {
  if (auto& h = RawRecordFile::compactionStepHook()) h(name);
}

}  // namespace

std::function<void(const char*)>& RawRecordFile::compactionStepHook() {
  static std::function<void(const char*)> hook;
  return hook;
}

std::function<void(const QString&)>& RawRecordFile::grownNotice() {
  static std::function<void(const QString&)> notice;
  return notice;
}

std::function<void(const QString&)>& RawRecordFile::tornTailNotice() {
  static std::function<void(const QString&)> notice = [](const QString& text) {
    seams::MsgBox(text, seams::vbOKOnly | seams::vbExclamation);
  };
  return notice;
}

bool RawRecordFile::setTornTailAside(const std::string& list, const QString& realPath, off_t fileSize) {
  const off_t whole = fileSize - fileSize % static_cast<off_t>(size_);
  const std::size_t tail = static_cast<std::size_t>(fileSize - whole);
  std::string bytes(tail, '\0');
  {
    Fd in(::open(list.c_str(), O_RDONLY | O_CLOEXEC));
    std::size_t got = 0;
    if (!in.ok() || !preadAll(in.get(), bytes.data(), tail, whole, got) || got != tail)
      return fail(QStringLiteral("ファイル %1 の途中で切れた最後のレコードを読めません。").arg(realPath),
                  got != tail && errno == 0 ? EIO : errno);
  }
  // A name of its own: nothing that is there already is written over.
  QString asideQ;
  std::string aside;
  Fd out;
  for (int k = 1; k < 1000 && !out.ok(); ++k) {
    asideQ = realPath + (k == 1 ? QStringLiteral(".torn") : QStringLiteral(".torn%1").arg(k));
    aside = native(asideQ);
    out.set(::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.ok() && errno != EEXIST) break;
  }
  auto failAside = [&](int err) {
    const bool made = out.ok();
    out.reset();
    if (made) ::unlink(aside.c_str());
    return fail(QStringLiteral("ファイル %1 の最後のレコードが途中で切れています。その %2 バイトを %3 に残せないため、"
                               "このファイルには書き込みません。")
                    .arg(realPath)
                    .arg(tail)
                    .arg(asideQ),
                err);
  };
  if (!out.ok()) return failAside(errno);
  if (!pwriteAll(out.get(), bytes.data(), tail, 0) || ::fsync(out.get()) != 0) return failAside(errno);
  if (!out.close()) {
    const int err = errno;
    ::unlink(aside.c_str());
    return failAside(err);
  }
  syncFolder(aside);
  if (::truncate(list.c_str(), whole) != 0) {
    const int err = errno;
    ::unlink(aside.c_str());
    return fail(QStringLiteral("ファイル %1 の途中で切れた最後のレコードを切り離せません。").arg(realPath), err);
  }
  if (auto& notice = tornTailNotice())
    notice(QStringLiteral("ファイル %1 の最後のレコードは途中で切れていました（%2 バイト）。"
                          "失われないよう、そのバイトを %3 に移しました。一覧には入りません。")
               .arg(realPath)
               .arg(tail)
               .arg(asideQ));
  return true;
}

RawRecordFile::RawRecordFile(QString programPath, std::size_t recordSize, std::size_t liveOffset)
    : programPath_(std::move(programPath)), size_(recordSize), liveOffset_(liveOffset) {}

QString RawRecordFile::path() const { return resolveProgramPath(programPath_); }
QString RawRecordFile::twinPath() const { return resolveProgramPath(twinOf(programPath_)); }

bool RawRecordFile::fail(const QString& what, int err) {
  error_ = what;
  if (err) error_ += QStringLiteral("\n(") + oserror::reasonText(err) + u')';
  return false;
}

std::string RawRecordFile::nativePath(QString& realPath) const {
  if (const PathMemo::Entry* e = PathMemo::find(programPath_)) {
    realPath = e->real;
    return e->native;
  }
  realPath = path();
  std::string n = native(realPath);
  PathMemo::remember(programPath_, realPath, n);
  return n;
}

// Resolves the list file and makes sure it exists: restored from its twin
// when only the twin is there, created empty when neither is.
bool RawRecordFile::prepare(QString& realPath, std::string* nativeOut, struct stat* st) {
  error_.clear();
  struct stat own;
  struct stat& s = st ? *st : own;
  std::string p = nativePath(realPath);
  bool there = ::stat(p.c_str(), &s) == 0;
  if (!there && PathMemo::find(programPath_)) {  // remembered, but gone: resolved afresh
    PathMemo::forget(programPath_);
    p = nativePath(realPath);
    there = ::stat(p.c_str(), &s) == 0;
  }
  if (nativeOut) *nativeOut = p;
  if (there) return true;
  const QString twin = twinPath();
  const std::string t = native(twin);
  struct stat ts;
  if (::stat(t.c_str(), &ts) == 0 && S_ISREG(ts.st_mode)) {
    if (::rename(t.c_str(), p.c_str()) != 0)
      return fail(QStringLiteral("ファイル %1 を %2 から戻せません。").arg(realPath, twin), errno);
    syncFolder(p);
  } else {
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return fail(QStringLiteral("ファイル %1 を作成できません。").arg(realPath), errno);
    ::close(fd);
  }
  if (st && ::stat(p.c_str(), st) != 0) return fail(QStringLiteral("ファイル %1 を読めません。").arg(realPath), errno);
  return true;
}

bool RawRecordFile::open() {
  QString p;
  return prepare(p);
}

int RawRecordFile::count() {
  QString p;
  struct stat st;
  if (!prepare(p, nullptr, &st)) return -1;
  return static_cast<int>(static_cast<std::uint64_t>(st.st_size) / size_);
}

bool RawRecordFile::readBytes(int n, char* out) {
  QString p;
  std::string np;
  if (!prepare(p, &np)) return false;
  if (n < 1) return fail(QStringLiteral("レコード番号 %1 は範囲外です。").arg(n), 0);
  Fd fd(::open(np.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) return fail(QStringLiteral("ファイル %1 を開けません。").arg(p), errno);
  std::size_t got = 0;
  if (!preadAll(fd.get(), out, size_, static_cast<off_t>(n - 1) * static_cast<off_t>(size_), got))
    return fail(QStringLiteral("ファイル %1 を読めません。").arg(p), errno);
  if (got != size_) return fail(QStringLiteral("レコード %1 はありません。").arg(n), 0);
  return true;
}

bool RawRecordFile::writeBytes(int n, const char* in) {
  QString p;
  std::string np;
  Fd fd;
  if (PathMemo::find(programPath_)) {  // a remembered list that is there is opened at once
    error_.clear();
    np = nativePath(p);
    fd.set(::open(np.c_str(), O_WRONLY | O_CLOEXEC));
  }
  if (!fd.ok()) {
    if (!prepare(p, &np)) return false;
    if (n < 1 || n > kMaxRecords)
      return fail(QStringLiteral("レコード番号 %1 は範囲外です（最大 %2 件）。").arg(n).arg(kMaxRecords), 0);
    fd.set(::open(np.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd.ok()) return fail(QStringLiteral("ファイル %1 を開けません。").arg(p), errno);
  }
  if (n < 1 || n > kMaxRecords)
    return fail(QStringLiteral("レコード番号 %1 は範囲外です（最大 %2 件）。").arg(n).arg(kMaxRecords), 0);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return fail(QStringLiteral("ファイル %1 を読めません。").arg(p), errno);
  const off_t off = static_cast<off_t>(n - 1) * static_cast<off_t>(size_);
  if (st.st_size % static_cast<off_t>(size_) != 0 && off + static_cast<off_t>(size_) > st.st_size - st.st_size % static_cast<off_t>(size_)) {
    // The write would cover the torn last record: its bytes go aside first.
    if (!setTornTailAside(np, p, st.st_size)) return false;
    st.st_size -= st.st_size % static_cast<off_t>(size_);
  }
  bool ok = pwriteAll(fd.get(), in, size_, off);
  const bool live = in[liveOffset_] != 0 || in[liveOffset_ + 1] != 0;
  if (ok && live && !FlushBatch::defer(np)) ok = ::fdatasync(fd.get()) == 0;
  int err = ok ? 0 : errno;
  if (!ok && off + static_cast<off_t>(size_) > st.st_size) {
    // A write past the old end is taken back, so that no torn record stays.
    if (::ftruncate(fd.get(), st.st_size) != 0) {}
  }
  if (ok && !fd.close()) {
    ok = false;
    err = errno;
  }
  if (!ok) return fail(QStringLiteral("ファイル %1 に書き込めません。").arg(p), err);
  if (off >= st.st_size)
    if (auto& notice = grownNotice()) notice(p);
  return true;
}

int RawRecordFile::appendBytes(const char* in) {
  const int c = count();
  if (c < 0) return 0;
  if (c >= kMaxRecords) {
    fail(QStringLiteral("ファイル %1 は満杯です（最大 %2 件）。").arg(path()).arg(kMaxRecords), 0);
    return 0;
  }
  return writeBytes(c + 1, in) ? c + 1 : 0;
}

int RawRecordFile::openForReading(QString& p, std::size_t& total) {
  std::string np;
  if (!prepare(p, &np)) return -1;
  const int d = ::open(np.c_str(), O_RDONLY | O_CLOEXEC);
  if (d < 0) {
    fail(QStringLiteral("ファイル %1 を開けません。").arg(p), errno);
    return -1;
  }
  struct stat st;
  if (::fstat(d, &st) != 0) {
    const int err = errno;
    ::close(d);
    fail(QStringLiteral("ファイル %1 を読めません。").arg(p), err);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {  // a folder (or a device) of the list's name holds no records
    ::close(d);
    fail(QStringLiteral("ファイル %1 を読めません。").arg(p), S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return -1;
  }
  total = static_cast<std::uint64_t>(st.st_size) / size_;
  return d;
}

bool RawRecordFile::scan(const std::function<void(int, const char*)>& each,
                         const std::function<void(int)>& reserve) {
  QString p;
  std::size_t total = 0;
  Fd fd(openForReading(p, total));
  if (!fd.ok()) return false;
  if (reserve) reserve(static_cast<int>(total));
  // Read in blocks small enough to stay in the processor's cache while
  // the records are converted.
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  const std::size_t perBlock = std::max<std::size_t>(1, (512u << 10) / size_);
  static thread_local std::vector<char> buffer;  // kept: a fresh one would be faulted in on every read
  if (buffer.size() < perBlock * size_) buffer.resize(perBlock * size_);
  char* const buf = buffer.data();
  std::size_t done = 0;
  while (done < total) {
    const std::size_t want = std::min(perBlock, total - done);
    std::size_t got = 0;
    if (!preadAll(fd.get(), buf, want * size_, static_cast<off_t>(done * size_), got))
      return fail(QStringLiteral("ファイル %1 を読めません。").arg(p), errno);
    const std::size_t whole = got / size_;
    for (std::size_t i = 0; i < whole; ++i) each(static_cast<int>(done + i + 1), buf + i * size_);
    done += whole;
    if (whole < want) break;  // the file became shorter meanwhile
  }
  return true;
}

bool RawRecordFile::scanShared(const std::function<void(int, const char*)>& each,
                               const std::function<void(int)>& reserve, std::size_t& whole) {
  whole = 0;
  QString p;
  std::size_t total = 0;
  Fd fd(openForReading(p, total));
  if (!fd.ok()) return false;
  if (reserve) reserve(static_cast<int>(total));
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  // One part per thread, each at least 16 MB; the first part is this
  // thread's own.
  constexpr std::size_t kPartBytes = 16u << 20;
  std::size_t parts = 1;
  if (total * size_ >= 2 * kPartBytes) {
    static const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    parts = std::max<std::size_t>(1, std::min({total * size_ / kPartBytes, cores / 2, std::size_t{4}}));
  }
  struct Part {
    std::size_t first = 0, count = 0;  // records first .. first + count - 1 (from 0)
    std::size_t done = 0;              // records handed to each
    int err = 0;                       // errno of a failed read
  };
  std::vector<Part> part(parts);
  for (std::size_t k = 0; k < parts; ++k) {
    part[k].first = total * k / parts;
    part[k].count = total * (k + 1) / parts - part[k].first;
  }
  auto run = [&](Part& pt) {
    // Blocks small enough to stay in the processor's cache while the
    // records are converted.
    const std::size_t perBlock = std::max<std::size_t>(1, (512u << 10) / size_);
    static thread_local std::vector<char> buffer;  // kept: a fresh one would be faulted in on every read
    if (buffer.size() < perBlock * size_) buffer.resize(perBlock * size_);
    char* const buf = buffer.data();
    while (pt.done < pt.count) {
      const std::size_t at = pt.first + pt.done;
      const std::size_t want = std::min(perBlock, pt.count - pt.done);
      std::size_t got = 0;
      if (!preadAll(fd.get(), buf, want * size_, static_cast<off_t>(at * size_), got)) {
        pt.err = errno ? errno : EIO;
        return;
      }
      const std::size_t wholeHere = got / size_;
      for (std::size_t i = 0; i < wholeHere; ++i) each(static_cast<int>(at + i + 1), buf + i * size_);
      pt.done += wholeHere;
      if (wholeHere < want) return;  // the file became shorter meanwhile
    }
  };
  {
    std::vector<std::thread> helpers;
    for (std::size_t k = 1; k < parts; ++k) {
      try {
        helpers.emplace_back(run, std::ref(part[k]));
      } catch (const std::system_error&) {
        for (std::size_t j = k; j < parts; ++j) run(part[j]);  // no thread to be had: done here, after part 0
        break;
      }
    }
    run(part[0]);
    for (std::thread& t : helpers) t.join();
  }
  for (const Part& pt : part) {
    whole += pt.done;
    if (pt.err) return fail(QStringLiteral("ファイル %1 を読めません。").arg(p), pt.err);
    if (pt.done < pt.count) break;
  }
  return true;
}

bool RawRecordFile::setLive(int n, std::int16_t live) {
  QString p;
  std::string np;
  if (!prepare(p, &np)) return false;
  Fd fd(::open(np.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd.ok()) return fail(QStringLiteral("ファイル %1 を開けません。").arg(p), errno);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return fail(QStringLiteral("ファイル %1 を読めません。").arg(p), errno);
  const int c = static_cast<int>(static_cast<std::uint64_t>(st.st_size) / size_);
  if (n < 1 || n > c) return fail(QStringLiteral("レコード %1 はありません。").arg(n), 0);
  char b[2];
  const std::uint16_t v = static_cast<std::uint16_t>(live);
  b[0] = static_cast<char>(v & 0xFF);
  b[1] = static_cast<char>(v >> 8);
  if (!pwriteAll(fd.get(), b, 2, static_cast<off_t>(n - 1) * static_cast<off_t>(size_) + static_cast<off_t>(liveOffset_)))
    return fail(QStringLiteral("ファイル %1 に書き込めません。").arg(p), errno);
  if (!fd.close()) return fail(QStringLiteral("ファイル %1 に書き込めません。").arg(p), errno);
  return true;
}

bool RawRecordFile::compact() {
  QString p;
  std::string list;
  if (!prepare(p, &list)) return false;
  const QString twinQ = twinPath();
  const std::string twin = native(twinQ);

  Fd in(::open(list.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.ok()) return fail(QStringLiteral("ファイル %1 を開けません。").arg(p), errno);
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return fail(QStringLiteral("ファイル %1 を読めません。").arg(p), errno);
  const std::size_t total = static_cast<std::uint64_t>(st.st_size) / size_;
  if (static_cast<std::uint64_t>(st.st_size) != total * size_) {
    // A torn last record is set aside, not dropped.
    if (!setTornTailAside(list, p, st.st_size)) return false;
    st.st_size = static_cast<off_t>(total * size_);
  }

  // The live flags first: a list without a dead record or a torn tail is
  // already compact and is left alone.
  std::vector<bool> live(total);
  std::size_t liveCount = 0;
  for (std::size_t i = 0; i < total; ++i) {
    char flag[2];
    std::size_t got = 0;
    if (!preadAll(in.get(), flag, 2, static_cast<off_t>(i * size_ + liveOffset_), got) || got != 2)
      return fail(QStringLiteral("ファイル %1 を読めません。").arg(p), got != 2 ? EIO : errno);
    live[i] = flag[0] != 0 || flag[1] != 0;
    if (live[i]) ++liveCount;
  }
  if (liveCount == total && static_cast<std::uint64_t>(st.st_size) == total * size_) return true;

  Fd out(::open(twin.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!out.ok()) return fail(QStringLiteral("一時ファイル %1 を作成できません。").arg(twinQ), errno);
  auto abandon = [&](const QString& what, int err) {
    out.reset();
    ::unlink(twin.c_str());
    return fail(what, err);
  };
  if (::fchmod(out.get(), st.st_mode & 07777) != 0)
    return abandon(QStringLiteral("一時ファイル %1 を作成できません。").arg(twinQ), errno);
  step("twin-created");

  // Runs of live records are copied whole, in their order.
  std::unique_ptr<char[]> copyBuf;
  off_t outOff = 0;
  std::size_t runStart = 0, runLen = 0;
  auto flush = [&]() -> bool {
    if (runLen == 0) return true;
    const std::size_t bytes = runLen * size_;
    if (!copyRange(in.get(), static_cast<off_t>(runStart * size_), out.get(), outOff, bytes, copyBuf)) return false;
    outOff += static_cast<off_t>(bytes);
    runLen = 0;
    step("twin-record");
    return true;
  };
  for (std::size_t i = 0; i < total; ++i) {
    if (live[i]) {
      if (runLen == 0) runStart = i;
      ++runLen;
    } else if (!flush()) {
      return abandon(QStringLiteral("一時ファイル %1 に書き込めません。").arg(twinQ), errno);
    }
  }
  if (!flush()) return abandon(QStringLiteral("一時ファイル %1 に書き込めません。").arg(twinQ), errno);
  step("twin-written");
  if (::fsync(out.get()) != 0 || !out.close()) {
    int err = errno;
    ::unlink(twin.c_str());
    return fail(QStringLiteral("一時ファイル %1 に書き込めません。").arg(twinQ), err);
  }
  step("twin-synced");
  in.reset();
  if (::rename(twin.c_str(), list.c_str()) != 0) {
    int err = errno;
    ::unlink(twin.c_str());
    return fail(QStringLiteral("ファイル %1 を置き換えられません。").arg(p), err);
  }
  step("renamed");
  syncFolder(list);
  step("done");
  return true;
}

bool RawRecordFile::remove(int n) {
  char old[2];
  {
    std::string rec(size_, '\0');
    if (!readBytes(n, rec.data())) return false;
    old[0] = rec[liveOffset_];
    old[1] = rec[liveOffset_ + 1];
  }
  if (!setLive(n, 0)) return false;
  step("marked");
  if (compact()) return true;
  // The list stays as it was: the record keeps its old flag.
  const QString why = error_;
  const std::int16_t was = static_cast<std::int16_t>(static_cast<std::uint16_t>(
      static_cast<unsigned char>(old[0]) | (static_cast<unsigned char>(old[1]) << 8)));
  setLive(n, was);
  error_ = why;
  return false;
}

bool RawRecordFile::removeAll() { return removeFirst(-1); }

bool RawRecordFile::removeFirst(int n) {
  QString p;
  std::string np;
  if (!prepare(p, &np)) return false;
  std::vector<std::array<char, 2>> old;
  {
    Fd fd(::open(np.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.ok()) return fail(QStringLiteral("ファイル %1 を開けません。").arg(p), errno);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return fail(QStringLiteral("ファイル %1 を読めません。").arg(p), errno);
    std::size_t total = static_cast<std::uint64_t>(st.st_size) / size_;
    if (n >= 0) total = std::min(total, static_cast<std::size_t>(n));
    old.resize(total);
    for (std::size_t i = 0; i < total; ++i) {
      std::size_t got = 0;
      if (!preadAll(fd.get(), old[i].data(), 2, static_cast<off_t>(i * size_ + liveOffset_), got) || got != 2)
        return fail(QStringLiteral("ファイル %1 を読めません。").arg(p), got != 2 ? EIO : errno);
    }
  }
  // Every flag that was changed is given back when a later step fails.
  auto giveBack = [&](std::size_t marked) {
    const QString why = error_;
    Fd fd(::open(np.c_str(), O_WRONLY | O_CLOEXEC));
    bool back = fd.ok() || marked == 0;
    for (std::size_t i = 0; fd.ok() && i < marked; ++i)
      back = pwriteAll(fd.get(), old[i].data(), 2, static_cast<off_t>(i * size_ + liveOffset_)) && back;
    if (fd.ok() && !fd.close()) back = false;
    error_ = why + (back ? QStringLiteral("\n一覧は元のままです。")
                         : QStringLiteral("\n削除の印を元に戻せなかったレコードがあります。"));
    return false;
  };
  for (std::size_t i = 0; i < old.size(); ++i) {
    if (!setLive(static_cast<int>(i + 1), 0)) return giveBack(i);
  }
  step("marked");
  if (compact()) return true;
  return giveBack(old.size());
}

// ---------------------------------------------------------------------------
// PathMemo

namespace {
PathMemo* g_pathMemo = nullptr;

QString memoKey(const QString& programPath) { return paths::programFolder() + u'|' + programPath; }
}  // namespace

PathMemo::PathMemo() {
  if (!g_pathMemo) {
    g_pathMemo = this;
    active_ = true;
  }
}

PathMemo::~PathMemo() {
  if (active_) g_pathMemo = nullptr;
}

const PathMemo::Entry* PathMemo::find(const QString& programPath) {
  if (!g_pathMemo) return nullptr;
  const QString key = memoKey(programPath);
  for (const auto& [k, e] : g_pathMemo->entries_)
    if (k == key) return &e;
  return nullptr;
}

void PathMemo::remember(const QString& programPath, const QString& real, std::string native) {
  if (!g_pathMemo) return;
  forget(programPath);
  g_pathMemo->entries_.push_back({memoKey(programPath), Entry{real, std::move(native)}});
}

void PathMemo::forget(const QString& programPath) {
  if (!g_pathMemo) return;
  const QString key = memoKey(programPath);
  auto& v = g_pathMemo->entries_;
  v.erase(std::remove_if(v.begin(), v.end(), [&](const auto& kv) { return kv.first == key; }), v.end());
}

// ---------------------------------------------------------------------------
// FlushBatch

namespace {
FlushBatch* g_flushBatch = nullptr;
}  // namespace

// Every few milliseconds, on a thread of its own, the write-out of the
// files pending in the batch is begun (without waiting for it): the disk
// works while the caller goes on, and the flush at the end mostly waits
// for what is done already. Only the paths pass between the threads.
struct FlushBatch::EarlyWriteOut {
  std::mutex lock;
  std::condition_variable wake;
  bool stop = false;
  std::set<std::string> recent;  // deferred since the last round
  std::thread thread;

  EarlyWriteOut() {
    thread = std::thread([this] {
      std::unique_lock<std::mutex> l(lock);
      while (!stop) {
        wake.wait_for(l, std::chrono::milliseconds(5));
        if (stop) break;
        std::set<std::string> paths;
        paths.swap(recent);
        l.unlock();
        for (const std::string& p : paths) {
          Fd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC));
          if (fd.ok()) ::sync_file_range(fd.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
        }
        l.lock();
      }
    });
  }
  ~EarlyWriteOut() {
    {
      std::lock_guard<std::mutex> l(lock);
      stop = true;
    }
    wake.notify_all();
    thread.join();
  }
};

FlushBatch::FlushBatch() {
  if (!g_flushBatch) {
    g_flushBatch = this;
    active_ = true;
    early_ = std::make_unique<EarlyWriteOut>();
  }
}

FlushBatch::~FlushBatch() {
  if (!active_) return;
  early_.reset();
  commit();
  g_flushBatch = nullptr;
}

bool FlushBatch::defer(const std::string& path) {
  if (!g_flushBatch) return false;
  std::unique_lock<std::mutex> l;
  if (g_flushBatch->early_) {
    l = std::unique_lock<std::mutex>(g_flushBatch->early_->lock);
    g_flushBatch->early_->recent.insert(path);
  }
  g_flushBatch->pending_.insert(path);
  return true;
}

bool FlushBatch::active() { return g_flushBatch != nullptr; }

namespace {

// Flushes the files, some at a time (each one open): their write-out
// begins together, then each is waited for. The index of the first file
// that could not be flushed, or -1.
// Past this many files, their file systems are flushed whole (syncfs: one
// wait for the disk each) instead of each file on its own: a check that
// stored a thousand attachments waits for one journal commit, not for a
// thousand. When that fails, the files are flushed one by one, so that the
// message names the file that could not be written.
constexpr std::size_t kWholeFileSystemsFrom = 32;

bool flushFileSystems(const std::vector<std::string>& paths) {
  std::map<dev_t, Fd> systems;
  for (const std::string& p : paths) {
    Fd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.ok()) return false;
    ::sync_file_range(fd.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return false;
    Fd& kept = systems[st.st_dev];
    if (!kept.ok()) kept.set(fd.release());
  }
  for (auto& [dev, fd] : systems)
    if (::syncfs(fd.get()) != 0) return false;
  return true;
}

long flushFiles(const std::vector<std::string>& paths) {
  if (paths.size() >= kWholeFileSystemsFrom && flushFileSystems(paths)) return -1;
  long failed = -1;
  constexpr std::size_t kAtOnce = 64;
  for (std::size_t first = 0; first < paths.size(); first += kAtOnce) {
    const std::size_t last = std::min(paths.size(), first + kAtOnce);
    std::vector<Fd> open(last - first);
    for (std::size_t i = first; i < last; ++i) {
      open[i - first].set(::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC));
      if (open[i - first].ok()) ::sync_file_range(open[i - first].get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    // Waited for by a few threads at once (the disk takes their waits in
    // one go), each going through its share: a few threads however many
    // files there are.
    constexpr std::size_t kWaiters = 4;
    std::vector<char> bad(last - first, 0);
    const std::size_t waiters = std::min(kWaiters, last - first);
    auto wait = [&open, &bad, first, last, waiters](std::size_t k) {
      for (std::size_t i = first + k; i < last; i += waiters)
        bad[i - first] = !open[i - first].ok() || ::fdatasync(open[i - first].get()) != 0;
    };
    std::vector<std::thread> others;
    for (std::size_t k = 1; k < waiters; ++k) others.emplace_back(wait, k);
    wait(0);
    for (std::thread& t : others) t.join();
    for (std::size_t i = first; i < last && failed < 0; ++i)
      if (bad[i - first]) failed = static_cast<long>(i);
  }
  return failed;
}

}  // namespace

bool FlushBatch::commit(const std::function<void()>& between) {
  const std::vector<std::string> paths(pending_.begin(), pending_.end());
  pending_.clear();
  if (paths.empty()) return true;
  long failed = -1;
  if (!between) {
    failed = flushFiles(paths);
  } else {
    // The disk's work is waited for on a thread of its own (a large list
    // takes a tenth of a second and more to reach the disk, in one call
    // that cannot be cut up), while this thread gives between() its turns.
    // Only the paths and the result pass between the two.
    struct Shared {
      std::mutex lock;
      std::condition_variable done;
      bool finished = false;
      long failed = -1;
    };
    auto shared = std::make_shared<Shared>();
    std::thread flusher([paths, shared] {
      const long f = flushFiles(paths);
      std::lock_guard<std::mutex> l(shared->lock);
      shared->failed = f;
      shared->finished = true;
      shared->done.notify_all();
    });
    // between() has its first turn at once, while the disk works.
    std::unique_lock<std::mutex> l(shared->lock);
    do {
      l.unlock();
      between();
      l.lock();
    } while (!shared->done.wait_for(l, std::chrono::milliseconds(2), [&] { return shared->finished; }));
    failed = shared->failed;
    l.unlock();
    flusher.join();
  }
  if (failed >= 0)
    error_ = QStringLiteral("ファイル %1 をディスクに書き込めません。").arg(QFile::decodeName(paths[static_cast<std::size_t>(failed)].c_str()));
  return failed < 0;
}

}  // namespace records
