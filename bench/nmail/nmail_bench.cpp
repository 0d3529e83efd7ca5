// 500 mails from the test Dovecot server: the mail library (fetch, decode,
// unpack, delete) beside a bare poplib client and fetchmail.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "nmail/nmail.h"
#include "servers/servers.h"
#include "charset.h"
#include "text.h"

namespace {

const std::string kUser = "bench";
constexpr int kMails = 500;

std::string jis(const std::string& utf8) {
  std::string out;
  nmail::charset::utf8ToIso2022jp(utf8, out);
  return out;
}

// The same 500 mails for every run.
const std::vector<std::string>& mails() {
  static std::vector<std::string> all = [] {
    std::vector<std::string> v;
    std::mt19937 rng(500);
    const std::string line = "お世話になっております。来週の打ち合わせの件でご連絡いたします。\n";
    std::string attachment(100 * 1024, '\0');
    for (char& c : attachment) c = static_cast<char>(rng());
    std::string attachment64 = nmail::text::base64Encode(attachment);
    for (int i = 0; i < kMails; ++i) {
      int lines = 5 + static_cast<int>(rng() % (i % 3 == 0 ? 400 : 40));  // mixed sizes
      std::string text;
      for (int k = 0; k < lines; ++k) text += line;
      std::string subject = "=?ISO-2022-JP?B?" + nmail::text::base64Encode(jis("打ち合わせ " + std::to_string(i)), 0) + "?=";
      std::string head = "From: =?ISO-2022-JP?B?" + nmail::text::base64Encode(jis("山田 太郎"), 0) +
                         "?= <taro@example.jp>\nTo: bench@example.jp\nSubject: " + subject +
                         "\nDate: Tue, 1 Dec 2026 10:00:00 +0900\nMessage-ID: <" + std::to_string(i) +
                         "@example.jp>\nMIME-Version: 1.0\n";
      std::string mail;
      if (i % 10 == 9) {
        mail = head + "Content-Type: multipart/mixed; boundary=\"bb\"\n\n--bb\n"
               "Content-Type: text/plain; charset=ISO-2022-JP\n\n" + jis(text) +
               "--bb\nContent-Type: application/octet-stream\n"
               "Content-Disposition: attachment; filename=\"data" + std::to_string(i) + ".bin\"\n"
               "Content-Transfer-Encoding: base64\n\n" + attachment64 + "\n--bb--\n";
      } else if (i % 2 == 0) {
        mail = head + "Content-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: 7bit\n\n" + jis(text);
      } else {
        mail = head + "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n" +
               nmail::text::base64Encode(text) + "\n";
      }
      // The maildrop keeps LF line ends; the server sends CR LF.
      std::string lf;
      for (char c : mail)
        if (c != '\r') lf += c;
      v.push_back(std::move(lf));
    }
    return v;
  }();
  return all;
}

void clearDir(const std::string& dir) {
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ::unlink((dir + "/" + e->d_name).c_str());
    closedir(d);
  }
}

void fillMaildrop() {
  std::string base = testservers::maildrop(kUser);
  for (const char* sub : {"new", "cur", "tmp"}) clearDir(base + "/" + sub);
  const auto& all = mails();
  // Fresh names every round: the server takes a name it saw deleted as
  // that message come back, and the round fails.
  static int round = 0;
  ++round;
  for (int i = 0; i < kMails; ++i) {
    char name[96];
    std::snprintf(name, sizeof name, "%d.R%dM%dP%d.bench", 1000000000 + i, round, i, static_cast<int>(::getpid()));
    std::string tmp = base + "/tmp/" + name;
    std::ofstream(tmp, std::ios::binary) << all[i];
    ::chown(tmp.c_str(), 65534, 65534);
    ::rename(tmp.c_str(), (base + "/new/" + name).c_str());
  }
}

int remaining() {
  int n = 0;
  for (const char* sub : {"new", "cur"}) {
    if (DIR* d = opendir((testservers::maildrop(kUser) + "/" + sub).c_str())) {
      while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++n;
      closedir(d);
    }
  }
  return n;
}

bool serversUp(benchmark::State& state) {
  int h = NMailPop3Connect(testservers::kPop3Server);
  if (h < 0) {
    state.SkipWithError("no POP3 server: run nmail/tests/servers/start.sh first");
    return false;
  }
  NMailPop3Close(h);
  return true;
}

void finish(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kMails);
  if (remaining() != 0) state.SkipWithError("mails were left on the server");
}

void Nmail_FetchDecodeUnpackDelete(benchmark::State& state) {
  NMailInitializeWinSock();
  NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, 8192);
  if (!serversUp(state)) return;
  char folderTemplate[] = "/tmp/nmail-bench-XXXXXX";
  std::string folder = mkdtemp(folderTemplate);
  std::vector<char> subject(8192), date(8192), from(8192), header(8192);
  long long bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fillMaildrop();
    clearDir(folder);
    state.ResumeTiming();
    int h = NMailPop3Connect(testservers::kPop3Server);
    int n = NMailPop3Authenticate(h, kUser.c_str(), testservers::password(kUser).c_str(), 0);
    if (n != kMails) {
      state.SkipWithError("login or count failed");
      break;
    }
    for (int i = 1; i <= n; ++i) {
      int size = NMailPop3GetMailSize(h, i);
      std::vector<char> body(static_cast<std::size_t>(size) + 1);
      if (NMailPop3GetMail(h, i, subject.data(), date.data(), from.data(), header.data(), body.data(), 0, 0) !=
          NMAIL_SUCCESS) {
        state.SkipWithError("fetch failed");
        break;
      }
      std::string text = std::string(header.data()) + "\r\n" + body.data() + "\r\n";
      std::vector<char> unpacked(text.size() + 1);
      NMailAttachmentFileFirst(0, subject.data(), date.data(), from.data(), header.data(), unpacked.data(),
                               folder.c_str(), "", text.c_str(), 0);
      NMailAttachmentFileClose(0);
      NMailPop3DeleteMail(h, i);
      bytes += size;
    }
    NMailPop3Close(h);
  }
  state.SetBytesProcessed(bytes);
  finish(state);
  clearDir(folder);
  ::rmdir(folder.c_str());
}

int run(const std::string& cmd) { return std::system(cmd.c_str()); }

void Poplib_RetrieveDelete(benchmark::State& state) {
  if (!serversUp(state)) return;
  std::string script =
      "import poplib\n"
      "p = poplib.POP3('127.0.0.1', " + std::to_string(testservers::kPop3Port) + ", timeout=30)\n"
      "p.user('" + kUser + "'); p.pass_('" + testservers::password(kUser) + "')\n"
      "n = p.stat()[0]\n"
      "for i in range(1, n + 1):\n"
      "    p.retr(i)\n"
      "    p.dele(i)\n"
      "p.quit()\n";
  std::string path = "/tmp/nmail-bench-poplib.py";
  std::ofstream(path) << script;
  for (auto _ : state) {
    state.PauseTiming();
    fillMaildrop();
    state.ResumeTiming();
    if (run("/usr/bin/python3 " + path) != 0) {
      state.SkipWithError("poplib client failed");
      break;
    }
  }
  finish(state);
}

void Fetchmail_DeliverToDevNull(benchmark::State& state) {
  if (!serversUp(state)) return;
  if (::access("/usr/bin/fetchmail", X_OK) != 0) {
    state.SkipWithError("fetchmail is not installed");
    return;
  }
  char homeTemplate[] = "/tmp/nmail-bench-fetchmail-XXXXXX";
  std::string home = mkdtemp(homeTemplate);
  std::string rc = home + "/fetchmailrc";
  std::ofstream(rc) << "set no syslog\n"
                    << "poll 127.0.0.1 port " << testservers::kPop3Port << " protocol pop3 auth password\n"
                    << "  user \"" << kUser << "\" password \"" << testservers::password(kUser) << "\"\n"
                    << "  nokeep fetchall sslproto '' mda \"/bin/cat > /dev/null\"\n";
  ::chmod(rc.c_str(), 0600);
  for (auto _ : state) {
    state.PauseTiming();
    fillMaildrop();
    state.ResumeTiming();
    int r = run("FETCHMAILHOME=" + home + " HOME=" + home + " /usr/bin/fetchmail -s -f " + rc +
                " --pidfile " + home + "/pid > " + home + "/log 2>&1");
    if (r != 0) {
      state.SkipWithError("fetchmail failed (see its log in the benchmark's temporary folder)");
      break;
    }
  }
  finish(state);
  run("rm -rf " + home);
}

}  // namespace

BENCHMARK(Nmail_FetchDecodeUnpackDelete)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(Poplib_RetrieveDelete)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(Fetchmail_DeliverToDevNull)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();
