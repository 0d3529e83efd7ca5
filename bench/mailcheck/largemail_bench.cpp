// The mail check of one large mail: how long the main window stays silent
// from the click on "受信" until it is at rest again, how much memory the
// check takes at its peak above the resting program, and how long it takes:
//
//   Large/plain12      a 12 MB plain text (Japanese, many lines)
//   Large/html45       a 45 MB HTML-only mail
//   Large/attach200    a 200 MB mail with a large attachment
//   Large/lines100     a 100 MB plain text in many lines
//   Large/oneline100   the same in one line
//   Large/nolineends100 a 100 MB attachment in base64 without line ends
//   Endless            an answer to RETR that never ends (a server of the
//                      benchmark's own that claims 1 MB), until given up
//
// Goals: the window silent under 50 ms, the peak under twice the mail (the
// endless answer: under twice what the server claims, plus a little), a
// single-line mail about as fast per byte as a many-line one.
//
// Needs the test mail servers (account "bench"):
//   nmail/tests/servers/start.sh
//   build/bench/mailcheck/largemail_bench
//   nmail/tests/servers/stop.sh
// On a desktop of its own, with the window manager's ping:
//   bench/common/run-on-desktop build/bench/mailcheck/largemail_bench
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/windowmeter.h"
#include "bench/mailcheck/check_setup.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/recordfile.h"
#include "nmail/nmail.h"
#include "nmail/tests/servers/servers.h"
#include "platform/paths.h"
#include "platform/testing/peak_memory.h"
#include "platform/ui.h"

namespace {

using Clock = std::chrono::steady_clock;

using testing_memory::PeakMemory;

QByteArray head(const char* subject, const QByteArray& type) {
  return QByteArray("From: big@example.jp\nTo: me@example.jp\nSubject: ") + subject +
         "\nDate: Wed, 2 Dec 2026 11:00:00 +0900\nMIME-Version: 1.0\n" + type;
}

QByteArray japaneseLine(int i) {
  return QStringLiteral("%1 行目：お世話になっております。来週の打ち合わせの件でご連絡いたします。よろしくお願いします。\n")
      .arg(i)
      .toUtf8();
}

QByteArray bytesOf(qsizetype n) {
  QByteArray data(n, '\0');
  for (qsizetype k = 0; k < n; ++k) data[k] = static_cast<char>((k * 2654435761u) >> 13);
  return data;
}

QByteArray lines76(const QByteArray& flat) {
  QByteArray out;
  out.reserve(flat.size() + flat.size() / 76 + 2);
  for (qsizetype at = 0; at < flat.size(); at += 76) out += flat.mid(at, 76) + '\n';
  return out;
}

QByteArray makeMail(const std::string& kind) {
  if (kind == "plain12") {
    QByteArray m = head("plain 12 MB", "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n");
    for (int i = 1; m.size() < (12 << 20); ++i) m += japaneseLine(i);
    return m;
  }
  if (kind == "html45") {
    QByteArray m = head("html 45 MB", "Content-Type: text/html; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n");
    m += "<html><head><style>p{margin:0}</style></head><body>\n";
    for (int i = 1; m.size() < (45 << 20); ++i)
      m += "<p><b>" + QByteArray::number(i) + "</b> <a href=\"https://example.jp/" + QByteArray::number(i) + "\">" +
           japaneseLine(i).trimmed() + "</a>&nbsp;&amp;</p>\n";
    return m + "</body></html>\n";
  }
  if (kind == "attach200") {
    QByteArray m = head("attachment 200 MB", "Content-Type: multipart/mixed; boundary=\"b1\"\n\n");
    m += "--b1\nContent-Type: text/plain; charset=UTF-8\n\n" + japaneseLine(1);
    m += "--b1\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"big.bin\"\n"
         "Content-Transfer-Encoding: base64\n\n";
    m += lines76(bytesOf(148 << 20).toBase64());
    return m + "--b1--\n";
  }
  if (kind == "lines100") {
    QByteArray m = head("lines 100 MB", "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n");
    m.reserve((100 << 20) + 4096);
    for (int i = 1; m.size() < (100 << 20); ++i) m += japaneseLine(i);
    return m;
  }
  if (kind == "oneline100") {
    QByteArray m = head("one line 100 MB", "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n");
    QByteArray piece = japaneseLine(0).trimmed() + " ";
    m.reserve((100 << 20) + piece.size() + 16);
    while (m.size() < (100 << 20)) m += piece;
    return m + "\n";
  }
  if (kind == "nolineends100") {
    QByteArray m = head("no line ends 100 MB", "Content-Type: multipart/mixed; boundary=\"b1\"\n\n");
    m += "--b1\nContent-Type: text/plain; charset=UTF-8\n\n" + japaneseLine(1);
    m += "--b1\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"flat.bin\"\n"
         "Content-Transfer-Encoding: base64\n\n";
    m += bytesOf(75 << 20).toBase64();
    return m + "\n--b1--\n";
  }
  return QByteArray();
}

benchwindow::WindowMeter* g_meter = nullptr;
std::vector<std::pair<std::string, benchwindow::WindowMeter::Result>> g_windows;
struct Figures {
  double seconds = 0, mailBytes = 0, peakBytes = 0;
};
std::vector<std::pair<std::string, Figures>> g_figures;

// One check with the meter and the peak: from the click until the window
// is at rest.
Figures measuredCheck(benchwindow::WindowMeter::Result& silence) {
  QFile::resize(paths::resolve(records::kReceivedFile), 0);
  QDir(paths::resolve(QStringLiteral("\\添付フォルダ"))).removeRecursively();
  Figures f;
  PeakMemory peak;
  g_meter->start(&::MainForm());
  const auto t0 = Clock::now();
  ::MainForm().Label8_Click();
  f.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  silence = g_meter->finishAtRest();
  f.peakBytes = static_cast<double>(peak.grown());
  return f;
}

void Large(benchmark::State& state, const std::string& kind) {
  const QByteArray mail = makeMail(kind);
  benchwindow::WindowMeter::Result longest;
  Figures worst;
  for (auto _ : state) {
    state.PauseTiming();
    checkbench::refillMaildrop({mail});
    PopServer = QString::fromLatin1(testservers::kPop3Server);
    state.ResumeTiming();
    benchwindow::WindowMeter::Result silence;
    Figures f = measuredCheck(silence);
    state.PauseTiming();
    if (records::MailFile(records::kReceivedFile).count() != 1 || checkbench::remaining() != 0) {
      state.SkipWithError("the mail was not stored, or is still on the server");
      return;
    }
    benchwindow::keepLongest(longest, silence);
    worst.seconds = std::max(worst.seconds, f.seconds);
    worst.peakBytes = std::max(worst.peakBytes, f.peakBytes);
    state.ResumeTiming();
  }
  worst.mailBytes = static_cast<double>(mail.size());
  benchwindow::WindowMeter::report(state.counters, longest);
  state.counters["mail_MB"] = worst.mailBytes / 1e6;
  state.counters["peak_MB"] = worst.peakBytes / 1e6;
  state.counters["peak_x_mail"] = worst.peakBytes / worst.mailBytes;
  state.counters["MB_per_s"] = worst.mailBytes / 1e6 / worst.seconds;
  g_windows.emplace_back("large/" + kind, longest);
  g_figures.emplace_back("large/" + kind, worst);
}

// A server of its own whose answer to RETR 1 never ends (lines until the
// client goes), while LIST claims 1 MB; mail 2 is a small one.
class EndlessPop3 {
 public:
  static constexpr long long kClaimed = 1 << 20;
  EndlessPop3() {
    listen_ = testservers::listenOnLoopback(4, port_);
    acceptor_ = std::thread([this] {
      for (;;) {
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) return;
        served_.emplace_back([this, fd] { serve(fd); });
      }
    });
  }
  ~EndlessPop3() {
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    acceptor_.join();
    for (std::thread& t : served_) t.join();
  }
  QString server() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
  long long sent() const { return sent_; }

 private:
  void serve(int fd) {
    auto send = [&](const std::string& s) { return ::send(fd, s.data(), s.size(), MSG_NOSIGNAL) > 0; };
    const std::string small = "From: a@example.jp\r\nSubject: small\r\n\r\nsmall one\r\n";
    send("+OK endless\r\n");
    std::string pending;
    char buf[4096];
    for (;;) {
      std::size_t eol;
      while ((eol = pending.find("\r\n")) == std::string::npos) {
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0) {
          ::close(fd);
          return;
        }
        pending.append(buf, static_cast<std::size_t>(r));
      }
      const std::string line = pending.substr(0, eol);
      pending.erase(0, eol + 2);
      const std::string verb = line.substr(0, line.find(' '));
      const int no = line.size() > verb.size() ? std::atoi(line.c_str() + verb.size() + 1) : 0;
      if (verb == "CAPA") {
        send("+OK\r\nTOP\r\nUSER\r\nUIDL\r\nPIPELINING\r\n.\r\n");
      } else if (verb == "STAT") {
        send("+OK 2 0\r\n");
      } else if (line == "LIST") {
        send("+OK\r\n1 " + std::to_string(kClaimed) + "\r\n2 " + std::to_string(small.size()) + "\r\n.\r\n");
      } else if (line == "UIDL") {
        send("+OK\r\n1 endless-1\r\n2 small-2\r\n.\r\n");
      } else if (verb == "TOP") {
        send("+OK\r\n" + (no == 1 ? std::string("From: e@example.jp\r\nSubject: endless\r\n\r\n") : small.substr(0, small.find("\r\n\r\n") + 4)) + ".\r\n");
      } else if (verb == "RETR" && no == 1) {
        send("+OK\r\nFrom: e@example.jp\r\nSubject: endless\r\n\r\n");
        const std::string lines = [] {
          std::string l;
          for (int k = 0; k < 64; ++k) l += std::string(1000, 'x') + "\r\n";
          return l;
        }();
        while (send(lines)) sent_ += static_cast<long long>(lines.size());
        ::close(fd);
        return;
      } else if (verb == "RETR") {
        send("+OK\r\n" + small + ".\r\n");
      } else if (verb == "QUIT") {
        send("+OK bye\r\n");
      } else {
        send("+OK\r\n");
      }
    }
  }
  int listen_ = -1, port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> served_;
  std::atomic<long long> sent_{0};
};

void Endless(benchmark::State& state) {
  benchwindow::WindowMeter::Result longest;
  Figures worst;
  for (auto _ : state) {
    state.PauseTiming();
    EndlessPop3 server;
    PopServer = server.server();
    state.ResumeTiming();
    benchwindow::WindowMeter::Result silence;
    Figures f = measuredCheck(silence);
    state.PauseTiming();
    benchwindow::keepLongest(longest, silence);
    worst.seconds = std::max(worst.seconds, f.seconds);
    worst.peakBytes = std::max(worst.peakBytes, f.peakBytes);
    state.counters["sent_MB"] = static_cast<double>(server.sent()) / 1e6;
    state.ResumeTiming();
  }
  worst.mailBytes = EndlessPop3::kClaimed;
  benchwindow::WindowMeter::report(state.counters, longest);
  state.counters["peak_MB"] = worst.peakBytes / 1e6;
  state.counters["seconds"] = worst.seconds;
  g_windows.emplace_back("endless", longest);
  g_figures.emplace_back("endless (1 MB claimed)", worst);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("SDL_AUDIODRIVER", "dummy");
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("RuvoMail"));
  benchmark::Initialize(&argc, argv);
  const std::unique_ptr<QTemporaryDir> dir = checkbench::startOnDisk("largemail_bench");
  if (!dir) return 1;
  ::MainForm().Show();
  benchwindow::WindowMeter::settle(&::MainForm());
  benchwindow::WindowMeter meter;
  g_meter = &meter;
  for (const char* kind : {"plain12", "html45", "attach200", "lines100", "oneline100", "nolineends100"})
    benchmark::RegisterBenchmark((std::string("Large/") + kind).c_str(),
                                 [kind](benchmark::State& s) { Large(s, kind); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
  benchmark::RegisterBenchmark("Endless", Endless)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\n%-26s %10s %10s %8s %10s\n", "run", "mail MB", "peak MB", "peak/x", "seconds");
  for (const auto& [run, f] : g_figures)
    std::printf("%-26s %10.1f %10.1f %8.2f %10.2f\n", run.c_str(), f.mailBytes / 1e6, f.peakBytes / 1e6,
                f.peakBytes / f.mailBytes, f.seconds);
  benchwindow::printWindowTable(g_windows, "the main window", 50);
  checkbench::clearMaildrop();
  g_meter = nullptr;
  paths::setProgramFolder(QString());
  dir->remove();  // (the exit below runs no destructor)
  std::fflush(stdout);
  std::_Exit(0);
}
