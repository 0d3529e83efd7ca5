// The send to many (see README): the composer's send to all of 50 address-
// book entries beside Python's smtplib in one session, on loopback and
// through a relay that holds every piece of data a fixed time each way.
//
// Every run of the composer reports how long the composer stayed silent
// while its mail went (bench/common/windowmeter.h): longest_posted_ms (an
// event posted to its queue every 2 ms) and longest_ping_ms (a window
// manager's _NET_WM_PING every 5 ms; -1 without an X display), with the
// machine's load_avg. Goal: under 100 ms.
//
// Needs the test mail servers; offscreen (no ping):
//   nmail/tests/servers/start.sh
//   build/bench/send/send_bench
//   nmail/tests/servers/stop.sh
// On a desktop of its own, with the ping (see README):
//   bench/common/run-on-desktop build/bench/send/send_bench
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextEdit>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/windowmeter.h"
#include "bench/mailcheck/delay_relay.h"
#include "client/composer/writeform.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/recordfile.h"
#include "nmail/nmail.h"
#include "nmail/tests/servers/servers.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/ui.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRecipients = 50;
constexpr int kDelayMs = 10;

using checkbench::DelayRelay;

// The test server as it is (no PIPELINING, index 0) and a second one on the
// same maildir that offers PIPELINING (index 1), each behind its relay.
DelayRelay* g_relay[2] = {nullptr, nullptr};
int g_pipeliningPort = 0;

QString recipient(int i) { return QStringLiteral("send-bench-%1-%2@example.jp").arg(::getpid()).arg(i); }

QString bodyText() {
  QString body;
  for (int line = 0; line < 40; ++line)
    body += QStringLiteral("お世話になっております。%1 行目の本文です。よろしくお願いします。\r\n").arg(line + 1);
  return body;
}

// The mails the server wrote for this run, removed (not timed).
int takeDelivered() {
  QDir d(QString::fromStdString(testservers::smtpInbox()));
  const QByteArray mark = "send-bench-" + QByteArray::number(::getpid()) + "-";
  int n = 0;
  for (const QString& f : d.entryList(QDir::Files)) {
    QFile file(d.filePath(f));
    if (!file.open(QIODevice::ReadOnly)) continue;
    const bool ours = file.read(512).contains(mark);
    file.close();
    if (ours && d.remove(f)) ++n;
  }
  return n;
}

struct Timing {
  double seconds = 0;
  long rounds = 0;
  double mean() const { return rounds ? seconds / static_cast<double>(rounds) : 0; }
};
Timing g_composer[2][2], g_smtplib[2][2];  // [delayed][pipelining server]

std::string serverOf(bool delayed, int kind) {
  if (delayed) return g_relay[kind]->address();
  return kind ? "127.0.0.1:" + std::to_string(g_pipeliningPort) : std::string(testservers::kSmtpServer);
}

// The composer's silence: started by the composer's run once its window is
// up, taken after each round (not timed).
benchwindow::WindowMeter* g_meter = nullptr;
bool g_metering = false;
std::vector<std::pair<std::string, benchwindow::WindowMeter::Result>> g_windows;  // by run, in order

// A round: prepare (the composer opened and filled) and work (the send),
// both timed; between them, untimed, the composer's window is let onto the
// screen and its meter started (see Composer).
template <typename Prepare, typename Work>
void rounds(benchmark::State& state, Timing (&timings)[2][2], Prepare prepare, Work work) {
  const bool delayed = state.range(0) != 0;
  const int kind = static_cast<int>(state.range(1));
  Timing& timing = timings[delayed][kind];
  DelayRelay* relay = g_relay[kind];
  long trips = 0, sends = 0;
  benchwindow::WindowMeter::Result silence;
  bool metered = false;
  for (auto _ : state) {
    state.PauseTiming();
    takeDelivered();
    relay->resetCounts();
    state.ResumeTiming();
    auto t0 = Clock::now();
    QWidget* window = prepare(serverOf(delayed, kind));
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (window) {
      state.PauseTiming();
      benchwindow::WindowMeter::settle(window);
      g_meter->start(window);
      g_metering = true;
      state.ResumeTiming();
    }
    t0 = Clock::now();
    const bool ok = work();
    seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    state.PauseTiming();
    if (g_metering) {
      benchwindow::keepLongest(silence, g_meter->finish());
      g_metering = false;
      metered = true;
    }
    if (!ok) {
      state.SkipWithError("the client failed");
      return;
    }
    timing.seconds += seconds;
    ++timing.rounds;
    // aiosmtpd writes each mail once it has answered it; give it a moment.
    int delivered = 0;
    for (int i = 0; i < 50 && delivered < kRecipients; ++i) {
      delivered += takeDelivered();
      if (delivered < kRecipients) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (delivered != kRecipients) {
      state.SkipWithError("not every mail arrived");
      return;
    }
    if (delayed) {
      trips = relay->roundTrips();
      sends = relay->sends();
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRecipients);
  if (delayed) {
    state.counters["round_trips"] = static_cast<double>(trips);
    state.counters["sends"] = static_cast<double>(sends);
  }
  if (metered) {
    benchwindow::WindowMeter::report(state.counters, silence);
    g_windows.emplace_back(std::string("composer/delayed:") + (delayed ? "1" : "0") +
                               "/pipelining:" + std::to_string(kind),
                           silence);
  }
}

void Composer(benchmark::State& state) {
  rounds(
      state, g_composer,
      [](const std::string& server) -> QWidget* {
        SmtpServer = QString::fromStdString(server);
        QFile::resize(paths::resolve(records::kSentFile), 0);
        forms::WriteForm& w = ::WriteForm();
        w.Show();
        w.setWidth(9700);
        w.setOption2(true);
        w.Option2_Click();
        w.SubjectText->setText(QStringLiteral("一括送信のお知らせ"));
        SetEditorText(w.rtfEd, bodyText());
        return &w;
      },
      [] {
        ::WriteForm().Command1_Click();
        return !WriteFormLoaded() && records::MailFile(records::kSentFile).count() == kRecipients;
      });
}

std::string g_smtplibScript;

void Smtplib(benchmark::State& state) {
  std::string port;
  rounds(
      state, g_smtplib,
      [&port](const std::string& server) -> QWidget* {
        port = server.substr(server.rfind(':') + 1);
        return nullptr;
      },
      [&port] { return std::system(("/usr/bin/python3 " + g_smtplibScript + " " + port).c_str()) == 0; });
}

#define SEND_RUNS(name, iterations, delayed)                                                              \
  BENCHMARK(name)                                                                                        \
      ->Args({delayed, 0})                                                                               \
      ->Args({delayed, 1})                                                                               \
      ->ArgNames({"delayed", "pipelining"})                                                              \
      ->Unit(benchmark::kMillisecond)                                                                    \
      ->UseRealTime()                                                                                    \
      ->Iterations(iterations)
SEND_RUNS(Composer, 3, 1);
SEND_RUNS(Smtplib, 3, 1);
SEND_RUNS(Composer, 5, 0);
SEND_RUNS(Smtplib, 5, 0);

bool serverListens(int port = testservers::kSmtpPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

void write(const QString& path, const QString& text) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) std::abort();
  const std::string b = cp932::encode(text);
  f.write(b.data(), static_cast<qint64>(b.size()));
}

}  // namespace

int main(int argc, char** argv) {
  // Offscreen unless a platform is named (scripts/desktop names xcb).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("SDL_AUDIODRIVER", "dummy");
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("RuvoMail"));
  benchmark::Initialize(&argc, argv);
  if (!serverListens()) {
    std::fprintf(stderr, "send_bench: no SMTP server on %s; start nmail/tests/servers/start.sh first\n",
                 testservers::kSmtpServer);
    return 1;
  }
  // The second server: the test server's own handler, offering PIPELINING.
  QTemporaryDir work;
  const QString script = work.path() + QStringLiteral("/pipelining_server.py");
  {
    std::ofstream py(script.toStdString());
    py << "import asyncio, signal, sys\n"
          "sys.path.insert(0, '" RUVO_SOURCE_DIR "/nmail/tests/servers')\n"
          "from smtp_server import MaildirHandler\n"
          "from aiosmtpd.controller import Controller\n"
          "class Pipelining(MaildirHandler):\n"
          "    async def handle_EHLO(self, server, session, envelope, hostname, responses):\n"
          "        session.host_name = hostname\n"
          "        return responses[:-1] + ['250-PIPELINING'] + responses[-1:]\n"
          "c = Controller(Pipelining(sys.argv[3]), hostname=sys.argv[1], port=int(sys.argv[2]),\n"
          "               decode_data=False, enable_SMTPUTF8=True)\n"
          "c.start()\n"
          "loop = asyncio.new_event_loop()\n"
          "stop = asyncio.Event()\n"
          "for sig in (signal.SIGTERM, signal.SIGINT):\n"
          "    loop.add_signal_handler(sig, stop.set)\n"
          "loop.run_until_complete(stop.wait())\n"
          "c.stop()\n";
  }
  {
    const int fd = testservers::listenOnLoopback(1, g_pipeliningPort);
    ::close(fd);
  }
  const std::string maildir = testservers::smtpInbox().substr(0, testservers::smtpInbox().rfind('/'));
  QProcess server;
  server.start(QStringLiteral("/usr/bin/python3"), {script, QStringLiteral("127.0.0.1"), QString::number(g_pipeliningPort),
                                                   QString::fromStdString(maildir)});
  for (int i = 0; i < 100 && !serverListens(g_pipeliningPort); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (!serverListens(g_pipeliningPort)) {
    std::fprintf(stderr, "send_bench: the pipelining server did not start\n");
    return 1;
  }
  DelayRelay plain(kDelayMs, testservers::kSmtpPort, false), pipelined(kDelayMs, g_pipeliningPort, false);
  g_relay[0] = &plain;
  g_relay[1] = &pipelined;

  // A program folder of its own: the server file, 50 address-book entries;
  // message boxes go to stderr (and the send-to-all question is answered Yes).
  QTemporaryDir dir;
  paths::setProgramFolder(dir.path());
  QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
  write(dir.path() + QStringLiteral("/xqmail.ini"),
        QStringLiteral("SMTP=%1\r\nPOP3=127.0.0.1:21110\r\nMAIL=sender@example.jp\r\nAPOP=0\r\n")
            .arg(QString::fromLatin1(testservers::kSmtpServer)));
  write(dir.path() + QStringLiteral("/★MailData/ini.ini"), QStringLiteral("[EXEINI]\r\nNAME10=\r\n"));
  {
    records::AddressFile book(records::kAddressBookFile);
    for (int i = 1; i <= kRecipients; ++i) {
      records::AddressRecord r;
      r.Name = QStringLiteral("宛先 %1").arg(i);
      r.Address = recipient(i);
      book.append(r);
    }
  }
  seams::setMsgBoxHandler([](const seams::MsgBoxCall& c) {
    if (c.title != QStringLiteral("確認"))
      std::fprintf(stderr, "[msgbox] %s: %s\n", c.title.toUtf8().constData(), c.prompt.toUtf8().constData());
    return int(seams::vbYes);
  });
  ui::setEndHook([](int) {});
  ::MainForm();
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);

  // smtplib in one session: the same subject and body, one mail per recipient.
  g_smtplibScript = (dir.path() + QStringLiteral("/smtplib_client.py")).toStdString();
  {
    std::ofstream py(g_smtplibScript);
    py << "import smtplib, sys\n"
          "from email.mime.text import MIMEText\n"
          "from email.header import Header\n"
          "body = " << "'''" << bodyText().toStdString() << "'''\n"
          "s = smtplib.SMTP('127.0.0.1', int(sys.argv[1]), timeout=60)\n"
          "for i in range(1, " << kRecipients + 1 << "):\n"
          "    to = 'send-bench-" << ::getpid() << "-%d@example.jp' % i\n"
          "    m = MIMEText(body, 'plain', 'iso-2022-jp')\n"
          "    m['Subject'] = Header('一括送信のお知らせ', 'iso-2022-jp')\n"
          "    m['From'] = 'sender@example.jp'\n"
          "    m['To'] = to\n"
          "    s.sendmail('sender@example.jp', [to], m.as_string())\n"
          "s.quit()\n";
  }

  benchwindow::WindowMeter meter;
  g_meter = &meter;
  if (!benchwindow::WindowMeter::pingPossible())
    std::fprintf(stderr, "send_bench: no _NET_WM_PING measure offscreen (longest_ping_ms -1); run it under "
                         "scripts/desktop for it\n");

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  benchwindow::printWindowTable(g_windows, "the composer");
  g_meter = nullptr;
  for (int kind = 0; kind < 2; ++kind) {
    const char* what = kind ? "a server offering PIPELINING" : "the test server (no PIPELINING)";
    if (g_composer[1][kind].rounds && g_smtplib[1][kind].rounds)
      std::printf("%s, over the delayed link (%d ms each way): the send to %d takes %.2fx smtplib's one-session "
                  "time (goal: at most 1x)\n",
                  what, kDelayMs, kRecipients, g_composer[1][kind].mean() / g_smtplib[1][kind].mean());
    if (g_composer[0][kind].rounds && g_smtplib[0][kind].rounds)
      std::printf("%s, on plain loopback: the send to %d takes %.2fx smtplib's time\n", what, kRecipients,
                  g_composer[0][kind].mean() / g_smtplib[0][kind].mean());
  }
  takeDelivered();
  server.terminate();
  server.waitForFinished(3000);
  g_relay[0] = g_relay[1] = nullptr;
  paths::setProgramFolder(QString());
  std::fflush(stdout);
  std::_Exit(0);  // the main window's unload would end the program its own way
}
