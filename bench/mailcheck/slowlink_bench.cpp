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

// A TCP relay on a free loopback port to the test POP3 server that holds
// each piece of data delayMs before passing it on, one connection at a time.
class DelayRelay {
 public:
  explicit DelayRelay(int delayMs) : delay_(delayMs) {
    listen_ = testservers::listenOnLoopback(8, port_);
    thread_ = std::thread([this] { run(); });
  }
  ~DelayRelay() {
    stop_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    thread_.join();
    ::close(listen_);
  }
  int port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  void resetCounts() {
    roundTrips_ = 0;
    sends_ = 0;
  }
  long roundTrips() const { return roundTrips_; }
  long sends() const { return sends_; }

 private:
  struct Piece {
    Clock::time_point due;
    std::string data;
  };

  static int connectServer() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(testservers::kPop3Port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  void run() {
    while (!stop_) {
      const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;
      const int server = connectServer();
      if (server >= 0) relay(client, server);
      ::close(client);
      if (server >= 0) ::close(server);
    }
  }

  // Passes data both ways, each piece delay_ milliseconds late, until both
  // sides are done.
  void relay(int client, int server) {
    int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::deque<Piece> toServer, toClient;
    bool clientOpen = true, serverOpen = true, serverShut = false;
    char buf[65536];
    for (;;) {
      const auto now = Clock::now();
      // Deliver what is due.
      auto deliver = [&](std::deque<Piece>& q, int fd) {
        while (!q.empty() && q.front().due <= now) {
          if (::send(fd, q.front().data.data(), q.front().data.size(), MSG_NOSIGNAL) < 0) return false;
          q.pop_front();
        }
        return true;
      };
      if (!deliver(toServer, server) || !deliver(toClient, client)) return;
      // The client's end reaches the server after its last data.
      if (!clientOpen && toServer.empty() && !serverShut) {
        ::shutdown(server, SHUT_WR);
        serverShut = true;
      }
      if (!serverOpen && toClient.empty()) return;
      auto wait = std::chrono::nanoseconds(std::chrono::seconds(1));
      for (const auto* q : {&toServer, &toClient})
        if (!q->empty()) wait = std::min(wait, std::chrono::nanoseconds(q->front().due - now));
      wait = std::max(wait, std::chrono::nanoseconds(0));
      const timespec ts{static_cast<time_t>(wait.count() / 1000000000), static_cast<long>(wait.count() % 1000000000)};
      pollfd p[2] = {{client, static_cast<short>(clientOpen ? POLLIN : 0), 0},
                     {server, static_cast<short>(serverOpen ? POLLIN : 0), 0}};
      if (::ppoll(p, 2, &ts, nullptr) < 0) return;
      const auto at = Clock::now() + std::chrono::milliseconds(delay_);
      if (clientOpen && (p[0].revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = ::recv(client, buf, sizeof buf, 0);
        if (n <= 0) {
          clientOpen = false;
        } else {
          ++sends_;
          // Nothing on its way either way: the link waited for the client.
          if (toServer.empty() && toClient.empty()) ++roundTrips_;
          toServer.push_back({at, std::string(buf, static_cast<std::size_t>(n))});
        }
      }
      if (serverOpen && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = ::recv(server, buf, sizeof buf, 0);
        if (n <= 0) serverOpen = false;
        else toClient.push_back({at, std::string(buf, static_cast<std::size_t>(n))});
      }
    }
  }

  int delay_;
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<long> roundTrips_{0}, sends_{0};
};

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
