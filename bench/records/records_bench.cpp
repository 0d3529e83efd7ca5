// Read-all and delete-one on a list of 5,000 mails (161 MB), beside a raw
// read and a raw copy of the same file in the same run.
//
//   records_bench [--benchmark_...] (RUVO_BENCH_DIR picks the folder, default /tmp)
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "client/mainwindow/recordfile.h"
#include "platform/paths.h"

using namespace records;

namespace {

constexpr int kRecords = 5000;

struct Fixture {
  std::unique_ptr<QTemporaryDir> dir;
  QString list;      // the list file
  QString copy;      // the raw copy's target
  std::string image; // the list's bytes, to restore it after each delete

  Fixture() {
    const char* base = std::getenv("RUVO_BENCH_DIR");
    dir = std::make_unique<QTemporaryDir>(QString::fromLocal8Bit(base ? base : "/tmp") + "/records_bench-XXXXXX");
    paths::setProgramFolder(dir->path());
    QDir(dir->path()).mkpath(QStringLiteral("★MailData"));
    list = dir->path() + QStringLiteral("/★MailData/xqmdata2.data");
    copy = dir->path() + QStringLiteral("/copy.data");
    // Mails of a few kilobytes of mixed text, the rest of the body padding.
    image.resize(static_cast<std::size_t>(kRecords) * MailRecord::kSize);
    MailRecord r;
    const QString para = QStringLiteral("お世話になっております。Meeting at 10:00, room 3. よろしくお願いします。\r\n");
    for (int i = 0; i < kRecords; ++i) {
      r.Subject = QStringLiteral("件名 %1 Re: schedule").arg(i);
      r.MailDate = QStringLiteral("Mon, 1 Jan 2024 10:%1:00 +0900").arg(i % 60);
      r.FromTo = QStringLiteral("sender%1@example.jp").arg(i);
      r.Body = para.repeated(20 + i % 40);
      r.LineEnd = kCrLf;
      r.Live = 1;
      r.toBytes(image.data() + static_cast<std::size_t>(i) * MailRecord::kSize);
    }
    writeList();
  }
  // Puts the list back and flushes it, so that its write-back does not
  // run into the timed part.
  void writeList() const {
    int fd = ::open(QFile::encodeName(list).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    for (std::size_t done = 0; done < image.size();) {
      ssize_t w = ::write(fd, image.data() + done, image.size() - done);
      if (w <= 0) break;
      done += static_cast<std::size_t>(w);
    }
    ::fsync(fd);
    ::close(fd);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

std::string native(const QString& p) { return QFile::encodeName(p).toStdString(); }

// Reads the whole file through a 4 MB buffer.
void BM_RawRead(benchmark::State& state) {
  Fixture& fx = fixture();
  std::vector<char> buf(4u << 20);
  for (auto _ : state) {
    int fd = ::open(native(fx.list).c_str(), O_RDONLY);
    std::size_t total = 0;
    for (ssize_t r; (r = ::read(fd, buf.data(), buf.size())) > 0;) total += static_cast<std::size_t>(r);
    ::close(fd);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fx.image.size()));
}

// Every record of the list into MailRecords.
void BM_ReadAll(benchmark::State& state) {
  Fixture& fx = fixture();
  MailFile f(kReceivedFile);
  std::vector<MailRecord> all;
  for (auto _ : state) {
    if (!f.readAll(all) || all.size() != kRecords) state.SkipWithError("readAll failed");
    benchmark::DoNotOptimize(all.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fx.image.size()));
}

// Copies the file through a 4 MB buffer into a new file; with flush, the
// copy is flushed to disk like the compaction's twin.
void rawCopy(benchmark::State& state, bool flush) {
  Fixture& fx = fixture();
  std::vector<char> buf(4u << 20);
  for (auto _ : state) {
    int in = ::open(native(fx.list).c_str(), O_RDONLY);
    int out = ::open(native(fx.copy).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (ssize_t r; (r = ::read(in, buf.data(), buf.size())) > 0;)
      if (::write(out, buf.data(), static_cast<std::size_t>(r)) != r) state.SkipWithError("write failed");
    if (flush) ::fsync(out);
    ::close(out);
    ::close(in);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fx.image.size()));
}
void BM_RawCopy(benchmark::State& state) { rawCopy(state, false); }
void BM_RawCopyFlushed(benchmark::State& state) { rawCopy(state, true); }

// Deletes the middle record (live flag 0 and compaction); the list is put
// back outside the timing.
void BM_DeleteOne(benchmark::State& state) {
  Fixture& fx = fixture();
  MailFile f(kReceivedFile);
  for (auto _ : state) {
    state.PauseTiming();
    fx.writeList();
    state.ResumeTiming();
    if (!f.remove(kRecords / 2)) state.SkipWithError(f.errorText().toStdString().c_str());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fx.image.size()));
  fx.writeList();
}

}  // namespace

BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawCopyFlushed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteOne)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
