// The mail check at every size, beside a plain client, and how long the
// main window stays silent meanwhile:
//
//   Check/mails:N, Poplib/mails:N       N = 10, 100, 1000, 5000 on loopback
//   Check/mails:100/delay:D, Poplib/..  over a link that holds data D = 10
//                                       and 50 ms each way
//   SameName/mails:N, PoplibSameName/.. N = 1000, 3000 mails that each carry
//                                       an attachment "image001.jpg"
//
// Poplib is /usr/bin/python3 with poplib, RETR and DELE one at a time, on
// the same maildrop, timed inside its own interpreter from its connect to
// QUIT's answer (the interpreter's start-up left out). Every run of the check reports how long the main
// window stayed silent (bench/common/windowmeter.h): longest_posted_ms, the
// longest time an event posted to its queue (every 2 ms, from another
// thread) waited before it was handled, and longest_ping_ms, the longest
// time a window manager's ping (_NET_WM_PING, every 5 ms) waited for its
// answer (-1 without an X display), with the machine's load_avg; from the
// start of the check until the window is at rest after it. Goals:
// loopback at most 1.2x poplib at every size, the slow link at most 0.2x,
// silences under 50 ms.
//
// Needs the test mail servers (account "bench"); offscreen (no ping):
//   nmail/tests/servers/start.sh
//   build/bench/mailcheck/checksizes_bench
//   nmail/tests/servers/stop.sh
// On a desktop of its own, with the ping (see README):
//   bench/common/run-on-desktop build/bench/mailcheck/checksizes_bench
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/common/windowmeter.h"
#include "bench/mailcheck/check_setup.h"
#include "bench/mailcheck/delay_relay.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/recordfile.h"
#include "nmail/tests/servers/servers.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace {

using Clock = std::chrono::steady_clock;
using checkbench::kUser;

// Short Japanese text mails, every tenth with a small attachment; or, for
// the same-name runs, every mail with a small inline "image001.jpg".
std::vector<QByteArray> makeMails(int n, bool sameName) {
  std::vector<QByteArray> mails;
  QByteArray picture;
  for (int i = 0; i < 3000; ++i) picture += static_cast<char>((i * 31 + i / 3) & 0xFF);
  // Base64 in lines of 76 characters, as mailers write it.
  auto lines = [](const QByteArray& flat) {
    QByteArray out;
    for (qsizetype at = 0; at < flat.size(); at += 76) out += flat.mid(at, 76) + '\n';
    return out;
  };
  const QByteArray picture64 = lines(picture.toBase64());
  QByteArray attachment;
  for (int i = 0; i < 12000; ++i) attachment += static_cast<char>((i * 13 + i / 5) & 0xFF);
  const QByteArray attachment64 = lines(attachment.toBase64());
  QString body;
  for (int line = 0; line < 20; ++line)
    body += QStringLiteral("お世話になっております。%1 行目の本文です。よろしくお願いします。\n").arg(line + 1);
  const QByteArray bodyBytes = body.toUtf8();
  for (int i = 1; i <= n; ++i) {
    QByteArray m;
    m += "From: =?UTF-8?B?" + QStringLiteral("送信者%1").arg(i % 37).toUtf8().toBase64() + "?= <sender" +
         QByteArray::number(i % 37) + "@example.jp>\n";
    m += "To: me@example.jp\n";
    m += "Subject: =?UTF-8?B?" + QStringLiteral("打ち合わせの件 その%1").arg(i).toUtf8().toBase64() + "?=\n";
    m += "Date: Wed, 2 Dec 2026 11:00:00 +0900\nMessage-ID: <sizes" + QByteArray::number(i) +
         "@example.jp>\nMIME-Version: 1.0\n";
    if (sameName) {
      m += "Content-Type: multipart/related; boundary=\"b1\"\n\n";
      m += "--b1\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + bodyBytes;
      m += "--b1\nContent-Type: image/jpeg; name=\"image001.jpg\"\nContent-ID: <image001.jpg@01D>\n";
      m += "Content-Disposition: inline; filename=\"image001.jpg\"\n";
      m += "Content-Transfer-Encoding: base64\n\n" + picture64 + "--b1--\n";
    } else if (i % 10 == 0) {
      m += "Content-Type: multipart/mixed; boundary=\"b1\"\n\n";
      m += "--b1\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + bodyBytes;
      m += "--b1\nContent-Type: application/octet-stream\n";
      m += "Content-Disposition: attachment; filename=\"data" + QByteArray::number(i) + ".bin\"\n";
      m += "Content-Transfer-Encoding: base64\n\n" + attachment64 + "--b1--\n";
    } else {
      m += "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + bodyBytes;
    }
    mails.push_back(m);
  }
  return mails;
}

const std::vector<QByteArray>& mailsOf(int n, bool sameName) {
  static std::map<std::pair<int, bool>, std::vector<QByteArray>> all;
  auto& v = all[{n, sameName}];
  if (v.empty()) v = makeMails(n, sameName);
  return v;
}

benchwindow::WindowMeter* g_meter = nullptr;
std::vector<std::pair<std::string, benchwindow::WindowMeter::Result>> g_windows;  // by run, in order
std::map<int, std::unique_ptr<checkbench::DelayRelay>> g_relays;  // by delay
std::string g_poplibScript;

// poplib in one interpreter that lives through the whole benchmark, so
// that its start-up (some 35 ms) is not in the anchor: each run is asked
// for with a port on its standard input, and it answers with the seconds
// from its connect to QUIT's answer.
class PoplibProcess {
 public:
  explicit PoplibProcess(const std::string& script) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::close(in[1]);
      ::close(out[0]);
      ::execl("/usr/bin/python3", "python3", script.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    to_ = ::fdopen(in[1], "w");
    from_ = ::fdopen(out[0], "r");
  }
  ~PoplibProcess() {
    if (to_) std::fclose(to_);
    if (from_) std::fclose(from_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  double run(const std::string& port) {
    if (!to_ || !from_) return -1;
    std::fprintf(to_, "%s\n", port.c_str());
    std::fflush(to_);
    double seconds = -1;
    if (std::fscanf(from_, "%lf", &seconds) != 1) return -1;
    return seconds;
  }

 private:
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};
std::unique_ptr<PoplibProcess> g_poplib;
// Seconds of every round, by run, over all repetitions: the summary gives
// their medians (with --benchmark_repetitions and
// --benchmark_enable_random_interleaving the check and poplib take turns,
// and a machine that slows down meanwhile slows both).
std::map<std::string, std::vector<double>> g_rounds;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string serverFor(int delayMs) {
  if (delayMs == 0) return testservers::kPop3Server;
  auto& r = g_relays[delayMs];
  if (!r) r = std::make_unique<checkbench::DelayRelay>(delayMs);
  return r->address();
}

template <typename Work>
void rounds(benchmark::State& state, const std::string& name, int n, bool sameName, bool meter, Work work) {
  benchwindow::WindowMeter::Result silence;
  long done = 0;
  for (auto _ : state) {
    state.PauseTiming();
    checkbench::refillMaildrop(mailsOf(n, sameName));
    QFile::resize(paths::resolve(records::kReceivedFile), 0);
    // The same-name runs keep their attachment folder: the copies pile up
    // from round to round as they do for a user who never empties it.
    if (!sameName) QDir(paths::resolve(QStringLiteral("\\添付フォルダ"))).removeRecursively();
    if (meter) g_meter->start(&::MainForm());
    state.ResumeTiming();
    const auto t0 = Clock::now();
    double own = -1;  // the time the work measured itself, when it did
    const bool ok = work(own);
    const double seconds = own >= 0 ? own : std::chrono::duration<double>(Clock::now() - t0).count();
    state.PauseTiming();
    // The window is measured until it is at rest (the list, the counters
    // and the race after the check), not only while the check runs.
    if (meter) benchwindow::keepLongest(silence, g_meter->finishAtRest());
    if (!ok) {
      state.SkipWithError("the client failed");
      return;
    }
    if (checkbench::remaining() != 0) {
      state.SkipWithError("mails were left on the server");
      return;
    }
    ++done;
    g_rounds[name].push_back(seconds);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
  if (meter) {
    benchwindow::WindowMeter::report(state.counters, silence);
    if (done) g_windows.emplace_back(name, silence);
  }
}

void Check(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), delay = static_cast<int>(state.range(1));
  const std::string name = "check/" + std::to_string(n) + "/" + std::to_string(delay);
  rounds(state, name, n, false, true, [&](double&) {
    PopServer = QString::fromStdString(serverFor(delay));
    ReceiveMail();
    return records::MailFile(records::kReceivedFile).count() == n;
  });
}

void SameName(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  rounds(state, "samename/" + std::to_string(n), n, true, true, [&](double&) {
    PopServer = QString::fromStdString(serverFor(0));
    ReceiveMail();
    return records::MailFile(records::kReceivedFile).count() == n;
  });
}

// One run of the poplib client in the long-lived interpreter: its own
// time from the connect to QUIT's answer, in seconds (< 0 on failure).
double poplib(int delay) {
  const std::string server = serverFor(delay);
  const std::string port = server.substr(server.rfind(':') + 1);
  return g_poplib ? g_poplib->run(port) : -1;
}

void Poplib(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), delay = static_cast<int>(state.range(1));
  rounds(state, "poplib/" + std::to_string(n) + "/" + std::to_string(delay), n, false, false,
         [&](double& own) { return (own = poplib(delay)) >= 0; });
}

void PoplibSameName(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  rounds(state, "poplibsamename/" + std::to_string(n), n, true, false,
         [&](double& own) { return (own = poplib(0)) >= 0; });
}

void sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"mails", "delay"});
  for (int n : {10, 100, 1000, 5000}) b->Args({n, 0});
  b->Args({100, 10});
  b->Args({100, 50});
  b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
}

BENCHMARK(Check)->Apply(sizes);
BENCHMARK(Poplib)->Apply(sizes);
BENCHMARK(SameName)->ArgName("mails")->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(PoplibSameName)->ArgName("mails")->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  // Offscreen unless a platform is named (scripts/desktop names xcb).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("SDL_AUDIODRIVER", "dummy");
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("RuvoMail"));
  benchmark::Initialize(&argc, argv);
  const std::unique_ptr<QTemporaryDir> dir = checkbench::startOnDisk("checksizes_bench");
  if (!dir) return 1;
  ::MainForm().Show();
  benchwindow::WindowMeter::settle(&::MainForm());
  benchwindow::WindowMeter meter;
  g_meter = &meter;
  if (!benchwindow::WindowMeter::pingPossible())
    std::fprintf(stderr, "checksizes_bench: no _NET_WM_PING measure offscreen (longest_ping_ms -1); run it under "
                         "scripts/desktop for it\n");
  g_poplibScript = (dir->path() + QStringLiteral("/poplib_client.py")).toStdString();
  std::ofstream(g_poplibScript) << "import poplib, sys, time\n"
                                   "for line in sys.stdin:\n"
                                   "    port = int(line)\n"
                                   "    t0 = time.perf_counter()\n"
                                   "    try:\n"
                                   "        p = poplib.POP3('127.0.0.1', port, timeout=60)\n"
                                   "        p.user('" << kUser << "'); p.pass_('" << testservers::password(kUser) << "')\n"
                                   "        n = p.stat()[0]\n"
                                   "        for i in range(1, n + 1):\n"
                                   "            p.retr(i)\n"
                                   "            p.dele(i)\n"
                                   "        p.quit()\n"
                                   "        print(time.perf_counter() - t0, flush=True)\n"
                                   "    except Exception as e:\n"
                                   "        print(-1, flush=True)\n";
  g_poplib = std::make_unique<PoplibProcess>(g_poplibScript);

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto ratio = [](const std::string& check, const std::string& plain, const char* what, const char* goal) {
    if (!g_rounds.count(check) || !g_rounds.count(plain)) return;
    const double c = median(g_rounds[check]), p = median(g_rounds[plain]);
    std::printf("%-34s check %8.1f ms, poplib %8.1f ms: %.2fx (goal: %s; medians of %zu and %zu rounds)\n", what,
                c * 1000, p * 1000, c / p, goal, g_rounds[check].size(), g_rounds[plain].size());
  };
  for (int n : {10, 100, 1000, 5000}) {
    const std::string what = std::to_string(n) + " mails on loopback";
    ratio("check/" + std::to_string(n) + "/0", "poplib/" + std::to_string(n) + "/0", what.c_str(), "at most 1.2x");
  }
  ratio("check/100/10", "poplib/100/10", "100 mails, 10 ms each way", "at most 0.2x");
  ratio("check/100/50", "poplib/100/50", "100 mails, 50 ms each way", "at most 0.2x");
  ratio("samename/1000", "poplibsamename/1000", "1000 mails, one attachment name", "flat per mail");
  ratio("samename/3000", "poplibsamename/3000", "3000 mails, one attachment name", "flat per mail");
  benchwindow::printWindowTable(g_windows, "the main window", 50);
  checkbench::clearMaildrop();
  g_poplib.reset();
  g_meter = nullptr;
  g_relays.clear();
  paths::setProgramFolder(QString());
  dir->remove();  // (the exit below runs no destructor)
  std::fflush(stdout);
  std::_Exit(0);  // the main window's unload would end the program its own way
}
