// The mail check over a slow link (see README): a relay on loopback that
// holds every piece of data a fixed time each way in front of the test POP3
// server, and the check, a bare sequential client and fetchmail through it.
//
// Needs the test mail servers (account "bench"):
//   nmail/tests/servers/start.sh
//   build/bench/mailcheck/slowlink_bench
//   nmail/tests/servers/stop.sh
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/mailcheck/check_setup.h"
#include "bench/mailcheck/delay_relay.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/recordfile.h"
#include "nmail/nmail.h"
#include "nmail/tests/servers/servers.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMails = 100;
constexpr int kDelayMs = 10;
using checkbench::kUser;

using checkbench::DelayRelay;
DelayRelay* g_relay = nullptr;  // the delayed link

// 100 mails, every tenth with a 100 KB attachment; the others are text of
// some kilobytes, in ISO-2022-JP or UTF-8 as Japanese mail comes.
std::vector<QByteArray> makeMails() {
  std::vector<QByteArray> mails;
  QByteArray attachment;
  for (int i = 0; i < 100 * 1024; ++i) attachment += static_cast<char>((i * 131 + i / 7) & 0xFF);
  // Base64 in lines of 76 characters, as mailers write it.
  const QByteArray flat = attachment.toBase64();
  QByteArray base64;
  for (qsizetype at = 0; at < flat.size(); at += 76) base64 += flat.mid(at, 76) + '\n';
  QString body;
  for (int line = 0; line < 60; ++line)
    body += QStringLiteral("お世話になっております。%1 行目の本文です。よろしくお願いします。\n").arg(line + 1);
  for (int i = 1; i <= kMails; ++i) {
    QByteArray m;
    m += "From: =?UTF-8?B?" + QStringLiteral("送信者%1").arg(i % 13).toUtf8().toBase64() + "?= <sender" +
         QByteArray::number(i % 13) + "@example.jp>\n";
    m += "To: me@example.jp\n";
    m += "Subject: =?UTF-8?B?" + QStringLiteral("打ち合わせの件 その%1").arg(i).toUtf8().toBase64() + "?=\n";
    m += "Date: Wed, 2 Dec 2026 11:00:00 +0900\n";
    m += "Message-ID: <slowlink" + QByteArray::number(i) + "@example.jp>\nMIME-Version: 1.0\n";
    if (i % 10 == 0) {
      m += "Content-Type: multipart/mixed; boundary=\"b1\"\n\n";
      m += "--b1\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + body.toUtf8();
      m += "--b1\nContent-Type: application/octet-stream\n";
      m += "Content-Disposition: attachment; filename=\"data" + QByteArray::number(i) + ".bin\"\n";
      m += "Content-Transfer-Encoding: base64\n\n" + base64 + "--b1--\n";
    } else {
      m += "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + body.toUtf8();
    }
    mails.push_back(m);
  }
  return mails;
}

void refillMaildrop() {
  static const std::vector<QByteArray> all = makeMails();
  checkbench::refillMaildrop(all);
}

struct Timing {
  double seconds = 0;
  long rounds = 0;
  double mean() const { return rounds ? seconds / static_cast<double>(rounds) : 0; }
};
Timing g_check, g_bare, g_checkLoopback, g_bareLoopback;

// Runs one round of work (timed), with the maildrop filled before (not timed).
template <typename Work>
void rounds(benchmark::State& state, bool delayed, Timing& timing, Work work) {
  long trips = 0, sends = 0;
  for (auto _ : state) {
    state.PauseTiming();
    refillMaildrop();
    if (g_relay) g_relay->resetCounts();
    state.ResumeTiming();
    const auto t0 = Clock::now();
    if (!work()) {
      state.SkipWithError("the client failed");
      return;
    }
    timing.seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    ++timing.rounds;
    state.PauseTiming();
    if (checkbench::remaining() != 0) {
      state.SkipWithError("mails were left on the server");
      return;
    }
    if (delayed) {
      trips = g_relay->roundTrips();
      sends = g_relay->sends();
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kMails);
  if (delayed) {
    state.counters["round_trips"] = static_cast<double>(trips);
    state.counters["sends"] = static_cast<double>(sends);
  }
}

std::string serverOf(bool delayed) { return delayed ? g_relay->address() : std::string(testservers::kPop3Server); }

void Check(benchmark::State& state) {
  const bool delayed = state.range(0) != 0;
  rounds(state, delayed, delayed ? g_check : g_checkLoopback, [&] {
    QFile::resize(paths::resolve(records::kReceivedFile), 0);
    QDir(paths::resolve(QStringLiteral("\\添付フォルダ"))).removeRecursively();
    PopServer = QString::fromStdString(serverOf(delayed));
    ReceiveMail();
    return records::MailFile(records::kReceivedFile).count() == kMails;
  });
}

std::string g_poplibScript;

void Poplib(benchmark::State& state) {
  const bool delayed = state.range(0) != 0;
  rounds(state, delayed, delayed ? g_bare : g_bareLoopback, [&] {
    const std::string server = serverOf(delayed);
    const std::string port = server.substr(server.rfind(':') + 1);
    return std::system(("/usr/bin/python3 " + g_poplibScript + " " + port).c_str()) == 0;
  });
}

std::string g_fetchmailHome;

void Fetchmail(benchmark::State& state) {
  if (::access("/usr/bin/fetchmail", X_OK) != 0) {
    state.SkipWithError("fetchmail is not installed");
    return;
  }
  Timing unused;
  rounds(state, true, unused, [&] {
    const std::string home = g_fetchmailHome;
    return std::system(("FETCHMAILHOME=" + home + " HOME=" + home + " /usr/bin/fetchmail -s -f " + home +
                        "/fetchmailrc --pidfile " + home + "/pid > " + home + "/log 2>&1")
                           .c_str()) == 0;
  });
}

BENCHMARK(Check)->Arg(1)->ArgName("delayed")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Poplib)->Arg(1)->ArgName("delayed")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(Fetchmail)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(Check)->Arg(0)->ArgName("delayed")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(Poplib)->Arg(0)->ArgName("delayed")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("SDL_AUDIODRIVER", "dummy");
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("RuvoMail"));
  benchmark::Initialize(&argc, argv);
  if (!checkbench::serverListens()) {
    std::fprintf(stderr, "slowlink_bench: no POP3 server on %s; start nmail/tests/servers/start.sh first\n",
                 testservers::kPop3Server);
    return 1;
  }
  DelayRelay relay(kDelayMs);
  g_relay = &relay;

  // A program folder of its own, with a keyword none of the mails holds.
  QTemporaryDir dir;
  checkbench::startProgram(dir.path(), {QStringLiteral("未承諾広告※")});

  // The bare client: retrieve and delete, one command at a time.
  g_poplibScript = (dir.path() + QStringLiteral("/poplib_client.py")).toStdString();
  std::ofstream(g_poplibScript) << "import poplib, sys\n"
                                   "p = poplib.POP3('127.0.0.1', int(sys.argv[1]), timeout=60)\n"
                                   "p.user('" << kUser << "'); p.pass_('" << testservers::password(kUser) << "')\n"
                                   "n = p.stat()[0]\n"
                                   "for i in range(1, n + 1):\n"
                                   "    p.retr(i)\n"
                                   "    p.dele(i)\n"
                                   "p.quit()\n";
  g_fetchmailHome = (dir.path() + QStringLiteral("/fetchmail")).toStdString();
  QDir().mkpath(QString::fromStdString(g_fetchmailHome));
  const std::string rc = g_fetchmailHome + "/fetchmailrc";
  std::ofstream(rc) << "set no syslog\n"
                    << "poll 127.0.0.1 port " << relay.port() << " protocol pop3 auth password\n"
                    << "  user \"" << kUser << "\" password \"" << testservers::password(kUser) << "\"\n"
                    << "  nokeep fetchall sslproto '' mda \"/bin/cat > /dev/null\"\n";
  ::chmod(rc.c_str(), 0600);

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_check.rounds && g_bare.rounds)
    std::printf("over the delayed link (%d ms each way) the check takes %.2fx the bare client's time (goal: at most "
                "0.2x)\n",
                kDelayMs, g_check.mean() / g_bare.mean());
  if (g_checkLoopback.rounds && g_bareLoopback.rounds)
    std::printf("on plain loopback the check takes %.2fx the bare client's time\n",
                g_checkLoopback.mean() / g_bareLoopback.mean());
  checkbench::clearMaildrop();
  g_relay = nullptr;
  paths::setProgramFolder(QString());
  std::fflush(stdout);
  std::_Exit(0);  // the main window's unload would end the program its own way
}
