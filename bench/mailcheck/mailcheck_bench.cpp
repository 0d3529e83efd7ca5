// The mail check of 500 waiting mails with 100 spam keywords (none of which
// occurs, so that every mail is tested against all of them and stored),
// beside the mail library's bare retrieval of the same maildrop: the
// library calls every check makes (the status, size and whole mail of every
// mail and its deletion on the server), with nothing tested, unpacked or
// stored. Both fill the maildrop afresh before each round, outside the
// timing. Mails stored (or fetched) per second, and at the end how much the
// check costs against the bare retrieval.
//
// Needs the test mail servers (account "bench"):
//   nmail/tests/servers/start.sh
//   build/bench/mailcheck/mailcheck_bench
//   nmail/tests/servers/stop.sh
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/mailcheck/check_setup.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/settings.h"
#include "nmail/nmail.h"
#include "nmail/tests/servers/servers.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace {

constexpr int kMails = 500;
constexpr int kKeywords = 100;
using checkbench::kUser;

// The mails: mostly short Japanese text mails in ISO-2022-JP or UTF-8, every
// tenth one with a small attachment.
std::vector<QByteArray> makeMails() {
  std::vector<QByteArray> mails;
  QByteArray attachment;
  for (int i = 0; i < 12000; ++i) attachment += static_cast<char>((i * 13 + i / 5) & 0xFF);
  for (int i = 1; i <= kMails; ++i) {
    const QString subject = QStringLiteral("打ち合わせの件 その%1").arg(i);
    QString body;
    for (int line = 0; line < 20; ++line)
      body += QStringLiteral("お世話になっております。%1 行目の本文です。よろしくお願いします。\n").arg(line + 1);
    QByteArray m;
    m += "From: =?UTF-8?B?" + QStringLiteral("送信者%1").arg(i % 37).toUtf8().toBase64() + "?= <sender" +
         QByteArray::number(i % 37) + "@example.jp>\n";
    m += "To: me@example.jp\n";
    m += "Subject: =?UTF-8?B?" + subject.toUtf8().toBase64() + "?=\n";
    m += "Date: Wed, 2 Dec 2026 11:00:00 +0900\n";
    m += "Message-ID: <bench" + QByteArray::number(i) + "@example.jp>\n";
    m += "MIME-Version: 1.0\n";
    if (i % 10 == 0) {
      m += "Content-Type: multipart/mixed; boundary=\"b1\"\n\n";
      m += "--b1\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + body.toUtf8();
      m += "--b1\nContent-Type: application/octet-stream\n";
      m += "Content-Disposition: attachment; filename=\"data" + QByteArray::number(i) + ".bin\"\n";
      m += "Content-Transfer-Encoding: base64\n\n" + attachment.toBase64() + "\n--b1--\n";
    } else {
      m += "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + body.toUtf8();
    }
    mails.push_back(m);
  }
  return mails;
}

const std::vector<QByteArray>& mails() {
  static const std::vector<QByteArray> m = makeMails();
  return m;
}

void refillMaildrop() { checkbench::refillMaildrop(mails()); }

double g_bareSeconds = 0, g_checkSeconds = 0;
long g_bareRounds = 0, g_checkRounds = 0;

void BM_BareRetrieval(benchmark::State& state) {
  std::vector<char> s(8192), d(8192), f(8192), h(8192);
  for (auto _ : state) {
    state.PauseTiming();
    refillMaildrop();
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    const int handle = NMailPop3Connect(testservers::kPop3Server);
    const int n = NMailPop3Authenticate(handle, kUser.c_str(), testservers::password(kUser).c_str(), 0);
    if (n != kMails) {
      state.SkipWithError("the maildrop does not hold the mails");
      break;
    }
    for (int i = 1; i <= n; ++i) {
      NMailPop3GetMailStatus(handle, i, s.data(), d.data(), f.data(), h.data(), 0);
      const int size = NMailPop3GetMailSize(handle, i);
      std::vector<char> body(static_cast<std::size_t>(size) + 1, ' ');
      NMailPop3GetMail(handle, i, s.data(), d.data(), f.data(), h.data(), body.data(), 0, 0);
      benchmark::DoNotOptimize(body.data());
      NMailPop3DeleteMail(handle, i);
    }
    NMailPop3Close(handle);
    g_bareSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ++g_bareRounds;
  }
  state.SetItemsProcessed(state.iterations() * kMails);
}

void BM_MailCheck(benchmark::State& state) {
  forms::MainForm& m = ::MainForm();
  for (auto _ : state) {
    state.PauseTiming();
    refillMaildrop();
    QFile::resize(paths::resolve(records::kReceivedFile), 0);
    QDir(paths::resolve(QStringLiteral("\\添付フォルダ"))).removeRecursively();
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    ReceiveMail();
    g_checkSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ++g_checkRounds;
    state.PauseTiming();
    if (records::MailFile(records::kReceivedFile).count() != kMails) {
      state.SkipWithError("the check did not store every mail");
      break;
    }
    state.ResumeTiming();
  }
  benchmark::DoNotOptimize(m.Text17);
  state.SetItemsProcessed(state.iterations() * kMails);
  state.counters["keywords"] = kKeywords;
}

BENCHMARK(BM_BareRetrieval)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(BM_MailCheck)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("SDL_AUDIODRIVER", "dummy");
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("RuvoMail"));
  benchmark::Initialize(&argc, argv);
  if (!checkbench::serverListens()) {
    std::fprintf(stderr, "mailcheck_bench: no POP3 server on %s; start nmail/tests/servers/start.sh first\n",
                 testservers::kPop3Server);
    return 1;
  }

  // A program folder of its own, with keywords none of the mails holds.
  QTemporaryDir dir;
  QStringList keywords;
  for (int k = 0; k < kKeywords; ++k) keywords << QStringLiteral("未承諾広告※%1").arg(k);
  checkbench::startProgram(dir.path(), keywords);

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_bareRounds > 0 && g_checkRounds > 0) {
    const double bare = g_bareSeconds / static_cast<double>(g_bareRounds);
    const double check = g_checkSeconds / static_cast<double>(g_checkRounds);
    std::printf("bare retrieval %.1f mails/s, mail check %.1f mails stored/s, the check costs %.2fx the bare "
                "retrieval (goal: at most 1.5x)\n",
                kMails / bare, kMails / check, check / bare);
  }
  checkbench::clearMaildrop();
  paths::setProgramFolder(QString());
  std::fflush(stdout);
  std::_Exit(0);  // the main window's unload would end the program its own way
}
