// The mail check end to end: the real windows (offscreen) against the test
// POP3 server (Dovecot on loopback), and against a small scripted server
// where a server has to misbehave or a conversation has to be watched.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <iconv.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "client/history/tyakuform.h"
#include "client/mainwindow/msgform.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/tests/mainform_fixture.h"
#include "nmail/nmail.h"
#include "nmail/src/pop3_limits.h"
#include "nmail/tests/servers/servers.h"
#include "platform/dialup.h"
#include "platform/testing/peak_memory.h"

using namespace mainformtest;

// Every flush to disk of this program is noted (the file or folder it
// flushed), so that a test can see what was on disk when the server heard
// QUIT.
namespace flushed {
std::mutex mutex;
std::vector<std::string> paths;
void note(int fd) {
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  if (n <= 0) return;
  std::lock_guard<std::mutex> l(mutex);
  paths.emplace_back(target, static_cast<std::size_t>(n));
}
std::vector<std::string> taken() {
  std::lock_guard<std::mutex> l(mutex);
  return paths;
}
void clear() {
  std::lock_guard<std::mutex> l(mutex);
  paths.clear();
}
}  // namespace flushed

extern "C" int fsync(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
  const int r = real(fd);
  if (r == 0) flushed::note(fd);
  return r;
}

// A flush that a test holds until the window has had its turn (or two
// seconds passed): the flush of a file whose name ends in "slow.bin" while
// held is set.
namespace slowflush {
std::atomic<bool> held{false}, inFlush{false}, released{false}, waitedOut{false};
bool isSlow(int fd) {
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  return n > 8 && std::string_view(target, static_cast<std::size_t>(n)).ends_with("slow.bin");
}
void wait(int fd) {
  if (!held || !isSlow(fd)) return;
  inFlush = true;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!released && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  waitedOut = !released;
  inFlush = false;
}
}  // namespace slowflush

extern "C" int fdatasync(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fdatasync"));
  slowflush::wait(fd);
  const int r = real(fd);
  if (r == 0) flushed::note(fd);
  return r;
}

// A flush of a whole file system (many files at once) is counted.
// A test may make it fail as a disk that reports a write error does.
namespace flushed {
std::atomic<int> wholeSystems{0};
std::atomic<bool> wholeSystemsFail{false};
}  // namespace flushed

extern "C" int syncfs(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "syncfs"));
  if (flushed::wholeSystemsFail) {
    errno = EIO;
    return -1;
  }
  const int r = real(fd);
  if (r == 0) ++flushed::wholeSystems;
  return r;
}

namespace {

// ---- Maildrops of the test POP3 server ----

QString maildrop(const std::string& user) { return QString::fromStdString(testservers::maildrop(user)); }

void clearMaildrop(const std::string& user) {
  for (const char* sub : {"new", "cur", "tmp"}) {
    QDir d(maildrop(user) + u'/' + QLatin1String(sub));
    for (const QString& f : d.entryList(QDir::Files)) d.remove(f);
  }
}

int countMaildrop(const std::string& user) {
  int n = 0;
  for (const char* sub : {"new", "cur"}) n += QDir(maildrop(user) + u'/' + QLatin1String(sub)).entryList(QDir::Files).size();
  return n;
}

// Puts one mail into the maildrop; mails are served in the order of their numbers.
void dropMail(const std::string& user, int number, const QByteArray& mail) {
  static int serial = 0;
  const QString name = QStringLiteral("%1.M%2P%3.mailcheck").arg(1000000000 + number).arg(++serial).arg(::getpid());
  const QString tmp = maildrop(user) + QStringLiteral("/tmp/") + name;
  writeFile(tmp, mail);
  ASSERT_EQ(::chown(QFile::encodeName(tmp).constData(), 65534, 65534), 0);
  ASSERT_TRUE(QFile::rename(tmp, maildrop(user) + QStringLiteral("/new/") + name));
}

// ---- Mails ----

const QByteArray kDate = "Wed, 2 Dec 2026 11:00:00 +0900";

QByteArray encodedWord(const QString& text) {
  return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}

// A single-part text mail in UTF-8 (LF line ends, as mail files are kept).
QByteArray mail(const QString& from, const QString& subject, const QString& body) {
  QByteArray m;
  m += "From: " + (from.toUtf8() == from.toLatin1() ? from.toLatin1() : encodedWord(from)) + "\n";
  m += "To: me@example.jp\n";
  m += "Subject: " + encodedWord(subject) + "\n";
  m += "Date: " + kDate + "\n";
  m += "MIME-Version: 1.0\n";
  m += "Content-Type: text/plain; charset=UTF-8\n";
  m += "Content-Transfer-Encoding: 8bit\n\n";
  QByteArray b = body.toUtf8();
  b.replace("\r\n", "\n");
  m += b;
  if (!m.endsWith('\n')) m += '\n';
  return m;
}

// Text in ISO-2022-JP, as most Japanese mail is sent.
QByteArray iso2022jp(const QString& text) {
  const QByteArray in = text.toUtf8();
  iconv_t cd = iconv_open("ISO-2022-JP", "UTF-8");
  QByteArray out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.constData());
  std::size_t srcLeft = in.size();
  char* dst = out.data();
  std::size_t dstLeft = out.size();
  iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  iconv_close(cd);
  out.truncate(out.size() - static_cast<qsizetype>(dstLeft));
  return out;
}

// The server's own account of the last session of a user: "top=3/..,
// retr=2/.., del=3/3" from its log. The server writes it after the client
// has gone, so the log is read again until every login has its logout line
// (for at most five seconds).
QString lastSessionOf(const std::string& user) {
  const QByteArray tag = "pop3(" + QByteArray::fromStdString(user) + ")";
  const QByteArray login = "Login: user=<" + QByteArray::fromStdString(user) + ">";
  QString last;
  for (int tries = 0; tries < 100; ++tries) {
    const QByteArray log = fileBytes(QString::fromStdString(testservers::rootDir()) + QStringLiteral("/pop3/log/dovecot.log"));
    int logins = 0, logouts = 0;
    last.clear();
    for (const QByteArray& line : log.split('\n')) {
      if (line.contains(login)) ++logins;
      if (line.contains(tag) && line.contains("Logged out")) {
        ++logouts;
        last = QString::fromUtf8(line.mid(line.indexOf("Logged out")));
      }
    }
    if (logins > 0 && logouts >= logins) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return last;
}

// ---- Records ----

struct Stored {
  QByteArray subject, date, from, body, lineEnd, live;
};

std::vector<Stored> storedRecords(const QString& path) {
  const QByteArray all = fileBytes(path);
  std::vector<Stored> out;
  for (qsizetype at = 0; at + 32284 <= all.size(); at += 32284) {
    Stored s;
    s.subject = all.mid(at, 100);
    s.date = all.mid(at + 100, 90);
    s.from = all.mid(at + 190, 90);
    s.body = all.mid(at + 280, 32000);
    s.lineEnd = all.mid(at + 32280, 2);
    s.live = all.mid(at + 32282, 2);
    out.push_back(s);
  }
  return out;
}

QByteArray field(const QString& text, std::size_t width) {
  const std::string f = cp932::field(text, width);
  return QByteArray(f.data(), static_cast<qsizetype>(f.size()));
}

QString trimmedField(const QByteArray& f) { return vb::Trim(cp932::decode(std::string_view(f.data(), f.size()))); }

QStringList subjectsOf(const QString& path) {
  QStringList out;
  for (const Stored& s : storedRecords(path)) out << trimmedField(s.subject);
  return out;
}

// ---- A scripted POP3 server for the conversations Dovecot cannot show ----

// How the scripted server behaves.
struct Pop3Script {
  bool pipelining = false;               // CAPA lists PIPELINING
  std::set<int> failTop, failRetr, failDele;  // refused with -ERR
  long long dropAfter = -1;              // answer bytes after the login, then the line goes dead
  std::function<void()> atQuit;          // runs when QUIT comes, before its answer
  long long listSize = -1;               // the size LIST claims for every mail, when not -1
  std::set<int> endlessTop, endlessRetr; // answers that never end (until the client goes)
  bool quitLost = false;                 // the line goes dead when the first session's QUIT comes, unanswered
  bool uidl = false;                     // UIDL gives each mail's unique id ("uid-" and its first number)
  bool uidlPerSession = false;           // ... a new one in every session ("uid-", the session, "-", its first number)
  bool endlessUidl = false;              // the answer to UIDL never ends
  std::set<int> refuseLogin;             // the sessions (1, 2, …) whose PASS is refused
};

class ScriptedPop3 {
 public:
  // mails: the whole mails as the server sends them (and counts them in LIST).
  ScriptedPop3(std::vector<std::string> mails, std::set<int> failRetr = {})
      : ScriptedPop3(std::move(mails), Pop3Script{false, {}, std::move(failRetr), {}, -1, nullptr}) {}
  // The server takes one connection after another; the mails deleted in
  // a session that ends with QUIT are gone from the next one, and the
  // numbers of those left close up (the faults of the script go with the
  // mails, dropAfter with the first session only).
  ScriptedPop3(std::vector<std::string> mails, Pop3Script script) : script_(std::move(script)) {
    for (std::size_t i = 0; i < mails.size(); ++i) mails_.push_back({static_cast<int>(i + 1), std::move(mails[i])});
    listen_ = testservers::listenOnLoopback(4, port_);
    thread_ = std::thread([this] {
      for (;;) {
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) return;
        {
          std::lock_guard<std::mutex> l(mutex_);
          ++sessions_;
          inSession_ = true;
        }
        serve(fd);
        std::lock_guard<std::mutex> l(mutex_);
        inSession_ = false;
      }
    });
  }
  ~ScriptedPop3() {
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    if (thread_.joinable()) thread_.join();
  }
  // Sessions so far.
  int sessions() {
    std::lock_guard<std::mutex> l(mutex_);
    return sessions_;
  }
  // The mails on the server now, by their first numbers.
  std::vector<int> left() {
    std::lock_guard<std::mutex> l(mutex_);
    std::vector<int> out;
    for (const Mail& m : mails_) out.push_back(m.first);
    return out;
  }
  QString server() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> l(mutex_);
    return commands_;
  }
  // Commands that came before the answer of the one ahead of them had gone
  // out: the client did not wait for it.
  int early() {
    std::lock_guard<std::mutex> l(mutex_);
    return early_;
  }
  // Where each answer after the login began, in bytes, and their end.
  std::vector<long long> answerStarts() {
    std::lock_guard<std::mutex> l(mutex_);
    return starts_;
  }
  // Waits until the session under way is over (the client has gone).
  void join() {
    for (;;) {
      {
        std::lock_guard<std::mutex> l(mutex_);
        if (!inSession_) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

 private:
  void serve(const int fd) {
    const int session = sessions();
    const long long dropAfter = session == 1 ? script_.dropAfter : -1;
    std::set<int> deleted;  // numbers of this session
    bool loggedIn = false, dead = false;
    long long sent = 0;
    // One answer, written in parts as they are (a large mail is not copied).
    auto sendParts = [&](std::initializer_list<std::string_view> parts) {
      if (dead) return;
      if (loggedIn) {
        std::lock_guard<std::mutex> l(mutex_);
        starts_.push_back(sent);
      }
      for (std::string_view out : parts) {
        if (dead) break;
        if (loggedIn) {
          if (dropAfter >= 0 && sent + static_cast<long long>(out.size()) > dropAfter) {
            out = out.substr(0, static_cast<std::size_t>(dropAfter - sent));
            dead = true;
          }
          sent += static_cast<long long>(out.size());
        }
        while (!out.empty()) {
          const ssize_t w = ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
          if (w <= 0) break;
          out.remove_prefix(static_cast<std::size_t>(w));
        }
      }
      if (dead) ::shutdown(fd, SHUT_RDWR);
    };
    auto send = [&](const std::string& s) { sendParts({s}); };
    // An answer that never ends: lines until the client goes away.
    auto endless = [&](const std::string& status) {
      send(status);
      const std::string junk = "X-Filler: " + std::string(1000, 'x') + "\r\n";
      while (::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL) > 0) {
      }
      ::close(fd);
    };
    auto listed = [&](std::size_t i) {
      return std::to_string(script_.listSize >= 0 ? script_.listSize : static_cast<long long>(mails_[i].second.size()));
    };
    send("+OK scripted\r\n");
    std::string pending;
    char buf[4096];
    for (;;) {
      std::size_t eol;
      while ((eol = pending.find("\r\n")) == std::string::npos) {
        const ssize_t r = dead ? 0 : ::read(fd, buf, sizeof buf);
        if (r <= 0) {
          ::close(fd);
          return;
        }
        pending.append(buf, static_cast<std::size_t>(r));
      }
      const std::string line = pending.substr(0, eol);
      pending.erase(0, eol + 2);
      {
        std::lock_guard<std::mutex> l(mutex_);
        commands_.push_back(line);
        // Another command already waiting behind this one was sent early.
        if (pending.find("\r\n") != std::string::npos) ++early_;
      }
      const std::string verb = line.substr(0, line.find(' '));
      const int no = line.size() > verb.size() ? std::atoi(line.c_str() + verb.size() + 1) : 0;
      const bool valid = no >= 1 && no <= static_cast<int>(mails_.size());
      // The faults of the script name the mails by their first numbers.
      const int first = valid ? mails_[static_cast<std::size_t>(no - 1)].first : 0;
      if (verb == "PASS" && script_.refuseLogin.count(session)) {
        send("-ERR [AUTH] not now\r\n");
      } else if (verb == "USER" || verb == "PASS") {
        send("+OK\r\n");
      } else if (line == "UIDL" && script_.endlessUidl) {
        endless("+OK\r\n");
        return;
      } else if (verb == "UIDL" && line == "UIDL" && script_.uidl) {
        std::string all = "+OK\r\n";
        for (std::size_t i = 0; i < mails_.size(); ++i)
          all += std::to_string(i + 1) + " uid-" + (script_.uidlPerSession ? std::to_string(session) + "-" : "") +
                 std::to_string(mails_[i].first) + "\r\n";
        send(all + ".\r\n");
      } else if (verb == "CAPA" && script_.pipelining) {
        send("+OK\r\nTOP\r\nUSER\r\nPIPELINING\r\n.\r\n");
      } else if (verb == "STAT") {
        send("+OK " + std::to_string(mails_.size()) + " 0\r\n");
        loggedIn = true;
      } else if (verb == "LIST" && line == "LIST") {
        std::string all = "+OK\r\n";
        for (std::size_t i = 0; i < mails_.size(); ++i) all += std::to_string(i + 1) + " " + listed(i) + "\r\n";
        send(all + ".\r\n");
      } else if (verb == "LIST" && valid) {
        send("+OK " + std::to_string(no) + " " + listed(no - 1) + "\r\n");
      } else if (valid && ((verb == "TOP" && script_.endlessTop.count(first)) ||
                           (verb == "RETR" && script_.endlessRetr.count(first)))) {
        endless("+OK\r\n");
        return;
      } else if (verb == "TOP" && valid && !script_.failTop.count(first)) {
        const std::string& m = mails_[no - 1].second;
        std::size_t end = m.find("\r\n\r\n");
        end = end == std::string::npos ? m.find("\n\n") + 2 : end + 4;
        send("+OK\r\n" + m.substr(0, end) + ".\r\n");
      } else if (verb == "RETR" && valid && !script_.failRetr.count(first)) {
        sendParts({"+OK\r\n", mails_[no - 1].second, ".\r\n"});
      } else if (verb == "RETR" || verb == "TOP") {
        send("-ERR mail " + std::to_string(no) + " is locked\r\n");
      } else if (verb == "DELE" && valid && !script_.failDele.count(first) && !deleted.count(no)) {
        deleted.insert(no);
        send("+OK\r\n");
      } else if (verb == "DELE") {
        send("-ERR mail " + std::to_string(no) + " cannot be deleted\r\n");
      } else if (verb == "QUIT") {
        if (script_.atQuit) script_.atQuit();
        if (script_.quitLost && session == 1) {
          ::close(fd);
          return;
        }
        send("+OK bye\r\n");
        ::close(fd);
        // The session ends: the mails marked deleted go.
        std::lock_guard<std::mutex> l(mutex_);
        for (auto it = deleted.rbegin(); it != deleted.rend(); ++it) mails_.erase(mails_.begin() + (*it - 1));
        return;
      } else {
        send("-ERR what\r\n");
      }
    }
  }

  using Mail = std::pair<int, std::string>;  // the first number and the mail
  std::vector<Mail> mails_;
  Pop3Script script_;
  int sessions_ = 0;
  bool inSession_ = false;
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  int early_ = 0;
  std::vector<long long> starts_;
};

std::string crlf(const QByteArray& lf) {
  QByteArray m = lf;
  m.replace("\n", "\r\n");
  return m.toStdString();
}

// ---- The fixture ----

class ReceiveMailTest : public MainFormTest {
 protected:
  std::string user;
  std::int64_t fakeTick = 0;
  // Seen while the check held its note on screen.
  int noteWaits = 0;
  QString noteCaption, noteText;
  bool noteOnTop = false;
  std::function<void()> duringNote;

  void SetUp() override {
    MainFormTest::SetUp();
    // Each test its own account, so that tests can run side by side.
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    static const std::map<std::string, int> accounts = {
        {"SpamInTheSecondOfThreeMails", 1}, {"KeywordRules", 2},          {"VipRouting", 3},
        {"AttachmentsAreUnpackedAndNoted", 4}, {"RunningTotalAfterTwoChecks", 5}, {"NoMailShowsTheNote", 6},
        {"WrongPasswordStoresAndDeletesNothing", 7}, {"StoreFailureKeepsTheMailOnTheServer", 8},
        {"StartPasswordHoldsTheCheck", 9}, {"ApopLogin", 10}, {"TheAutomaticCheckFetchesMail", 11},
        {"HangUpAfterACheckWithoutMail", 12}, {"AttachmentsThatCannotBeWrittenKeepTheMailOnTheServer", 13},
        {"MailAsListsAndMailersSendItIsStoredWhole", 20},
    };
    const auto it = accounts.find(name);
    user = QStringLiteral("client%1").arg(it == accounts.end() ? 30 : it->second, 2, 10, QLatin1Char('0')).toStdString();
    clearMaildrop(user);
    // A fast clock: the note's three seconds pass at once; what the note
    // shows meanwhile is noted.
    seams::setTickCount([this] {
      if (MsgFormLoaded() && ::MsgForm().isVisible()) {
        if (noteWaits++ == 0) {
          noteCaption = ::MsgForm().Caption();
          noteText = ::MsgForm().Text1->text();
          noteOnTop = ::MsgForm().windowFlags().testFlag(Qt::WindowStaysOnTopHint);
          if (duringNote) duringNote();
        }
      }
      return fakeTick += 5000;
    });
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 10000);
    // The race's sound: a short silent wave, so that the race starts without a box.
    QByteArray wav("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0data", 40);
    const QByteArray samples(800, '\x80');
    const quint32 dataSize = samples.size(), riffSize = 36 + dataSize;
    wav.append(reinterpret_cast<const char*>(&dataSize), 4);
    wav.replace(4, 4, QByteArray(reinterpret_cast<const char*>(&riffSize), 4));
    writeFile(dir.path() + QStringLiteral("/Sound/Kouka.wav"), wav + samples);
  }

  void TearDown() override {
    setStartPasswordPending(nullptr);
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);
    MainFormTest::TearDown();
  }

  void writeAccount(const QString& id, const QString& password) {
    writeFile(dir.path() + QStringLiteral("/★MailData/iniIdPass.ini"),
              sjis(QStringLiteral("[EXEINI]\r\nNAME=%1\r\nNAME2=%2\r\nNAME3=1\r\n").arg(id, password)));
  }

  // Starts the program against the given POP3 server with this test's account.
  forms::MainForm& startWith(const QString& pop3, const QStringList& extraIni = {}, bool apop = false) {
    writeFile(dir.path() + QStringLiteral("/xqmail.ini"),
              sjis(QStringLiteral("SMTP=127.0.0.1:21025\r\nPOP3=%1\r\nMAIL=me@example.jp\r\nAPOP= %2\r\n")
                       .arg(pop3, apop ? QStringLiteral("1") : QStringLiteral("0"))));
    if (!QFile::exists(dir.path() + QStringLiteral("/★MailData/iniIdPass.ini")))
      writeAccount(QString::fromStdString(user), QString::fromStdString(testservers::password(user)));
    return start(extraIni);
  }
  forms::MainForm& startDovecot(const QStringList& extraIni = {}) {
    return startWith(QString::fromLatin1(testservers::kPop3Server), extraIni);
  }

  void writeKeywords(const QStringList& keywords) {
    records::SpamKeywordFile f(records::kSpamKeywordFile);
    for (const QString& k : keywords) {
      records::SpamKeywordRecord r;
      r.Keyword = k;
      ASSERT_GT(f.append(r), 0);
    }
  }

  void receive() { MainForm().Label8_Click(); }

  std::vector<seams::MsgBoxCall> errorBoxes() const {
    std::vector<seams::MsgBoxCall> out;
    for (const auto& b : boxes)
      if (b.title == QStringLiteral("エラー")) out.push_back(b);
    return out;
  }

  // The prompts of the check's "エラー" boxes, one a line.
  std::string errorTexts() const {
    QStringList out;
    for (const auto& b : errorBoxes()) out << b.prompt;
    return out.join(u'\n').toStdString();
  }

  QString received() const { return path(records::kReceivedFile); }
  QString vip() const { return path(records::kVipFile); }
  QString attachmentFolder() const { return path(QStringLiteral("\\添付フォルダ")); }
};

// ---------------------------------------------------------------------------

TEST_F(ReceiveMailTest, SpamInTheSecondOfThreeMails) {
  dropMail(user, 1, mail(QStringLiteral("yamada@example.jp"), QStringLiteral("会議の件"),
                         QStringLiteral("  明日は１０時からです。\n よろしく。  \n")));
  dropMail(user, 2, mail(QStringLiteral("shop@example.com"), QStringLiteral("本日限り激安セール"),
                         QStringLiteral("buy now\n")));
  dropMail(user, 3,
           "From: Suzuki <suzuki@example.jp>\nSubject: =?ISO-2022-JP?B?" + iso2022jp(QStringLiteral("Re: 写真")).toBase64() +
               "?=\nDate: " + kDate +
               "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: 7bit\n\n" +
               iso2022jp(QStringLiteral("ありがとう\n")));
  forms::MainForm& m = startDovecot({QStringLiteral("NUMBER28=0")});
  writeKeywords({QStringLiteral("激安")});
  receive();

  EXPECT_EQ(errorTexts(), "");
  EXPECT_EQ(m.Text17->text(), QStringLiteral("1"));
  EXPECT_EQ(countMaildrop(user), 0);  // the spam deleted, the others stored and deleted
  // The spam was deleted unread: three headers, two mails fetched, three deleted.
  const QString session = lastSessionOf(user);
  EXPECT_TRUE(session.contains(QStringLiteral("top=3/")) && session.contains(QStringLiteral("retr=2/")) &&
              session.contains(QStringLiteral("del=3/3")))
      << session.toStdString();
  EXPECT_EQ(race::current(), race::Show::Rain);
  EXPECT_EQ(iniValue(settings::key::MailTotal), QStringLiteral("3"));
  EXPECT_EQ(m.Text14->text(), QStringLiteral("3"));  // the total the next check adds to
  EXPECT_FALSE(MsgFormLoaded());

  const std::vector<Stored> recs = storedRecords(received());
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(QFileInfo(received()).size(), 2 * 32284);
  EXPECT_EQ(recs[0].subject, field(QStringLiteral("会議の件"), 100));
  EXPECT_EQ(recs[0].date, field(QString::fromLatin1(kDate), 90));
  EXPECT_EQ(recs[0].from, field(QStringLiteral("yamada@example.jp"), 90));
  // The body as fetched, without its leading and trailing blanks.
  EXPECT_EQ(recs[0].body, field(QStringLiteral("明日は１０時からです。\r\n よろしく。  \r\n"), 32000));
  EXPECT_EQ(recs[1].subject, field(QStringLiteral("Re: 写真"), 100));
  EXPECT_EQ(trimmedField(recs[1].from), QStringLiteral("Suzuki <suzuki@example.jp>"));
  EXPECT_EQ(recs[1].body, field(QStringLiteral("ありがとう\r\n"), 32000));
  for (const Stored& r : recs) {
    EXPECT_EQ(r.lineEnd, QByteArray("\r\n"));
    EXPECT_EQ(r.live, QByteArray("\x01\x00", 2));
  }
  EXPECT_EQ(QFileInfo(vip()).size(), 0);
  EXPECT_EQ(CurrentRecordNo, 2);
  // The viewer's boxes hold the last mail fetched; the work boxes the last tested.
  EXPECT_EQ(TyakuForm().Text7->text(), QStringLiteral("Re: 写真"));
  EXPECT_EQ(TyakuForm().Text9->text(), QString::fromLatin1(kDate));
  EXPECT_EQ(m.Text9->text(), QStringLiteral("激安"));
  EXPECT_EQ(m.Text10->text(), QStringLiteral("Re: 写真"));
  // The received counter follows the file.
  EXPECT_EQ(m.Text3->text(), QStringLiteral("2"));
}


TEST_F(ReceiveMailTest, KeywordRules) {
  // Mail subject / sender, and whether the keywords below make it spam.
  struct Case {
    const char16_t* from;
    const char16_t* subject;
    bool spam;
  } cases[] = {
      {u"a@example.jp", u"abc in lower case", false},        // case counts
      {u"a@example.jp", u"ＡＢＣ in full width", false},      // width counts
      {u"a@example.jp", u"xxABCxx", true},                   // anywhere in the subject
      {u"a@example.jp", u"本日限り激安セール", true},          // the keyword without its blanks
      {u"sales@bad.example", u"hello", true},                // in the sender
      {u"a@example.jp", u"   ", false},                      // a blank keyword matches nothing
      {u"a@example.jp", u"plain", false},
  };
  int no = 0;
  for (const Case& c : cases)
    dropMail(user, ++no, mail(QString::fromUtf16(c.from), QString::fromUtf16(c.subject), QStringLiteral("ABC in the body\n")));
  forms::MainForm& m = startDovecot();
  writeKeywords({QStringLiteral("    "), QStringLiteral("ABC"), QStringLiteral("  激安 "), QStringLiteral("bad.example"),
                 QStringLiteral("zzz")});
  receive();

  QStringList kept;
  int spam = 0;
  for (const Case& c : cases) {
    if (c.spam) ++spam;
    else kept << vb::Trim(QString::fromUtf16(c.subject));
  }
  EXPECT_EQ(subjectsOf(received()), kept);
  EXPECT_EQ(m.Text17->text(), QString::number(spam));
  EXPECT_EQ(countMaildrop(user), 0);
  EXPECT_EQ(race::current(), race::Show::Rain);
  // The last mail was tested against every keyword: Text9 shows the last one.
  EXPECT_EQ(m.Text9->text(), QStringLiteral("zzz"));
}

TEST_F(ReceiveMailTest, VipRouting) {
  struct Case {
    QString vipAddress;
    bool toVip;
  } cases[] = {
      {QStringLiteral("boss@example"), true},      // a part of the sender text
      {QStringLiteral("  boss@example.jp "), true}, // taken without its blanks
      {QStringLiteral("BOSS@example.jp"), false},   // exact comparison
      {QStringLiteral("   "), false},               // only blanks: no VIP address
      {QString(), false},
  };
  forms::MainForm& m = startDovecot();
  int vipStored = 0, receivedStored = 0, no = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vipAddress.toStdString());
    race::reset();
    m.Check3->setChecked(false);
    m.Text16->setText(QStringLiteral("-"));
    SetForm().Text3->setText(c.vipAddress);
    dropMail(user, ++no, mail(QStringLiteral("Boss <boss@example.jp>"), QStringLiteral("from the boss"),
                              QStringLiteral("come\n")));
    dropMail(user, ++no, mail(QStringLiteral("friend@example.jp"), QStringLiteral("from a friend"),
                              QStringLiteral("hi\n")));
    receive();
    EXPECT_EQ(errorTexts(), "");
    EXPECT_EQ(countMaildrop(user), 0);
    vipStored += c.toVip ? 1 : 0;
    receivedStored += c.toVip ? 1 : 2;
    EXPECT_EQ(storedRecords(vip()).size(), static_cast<std::size_t>(vipStored));
    EXPECT_EQ(storedRecords(received()).size(), static_cast<std::size_t>(receivedStored));
    EXPECT_EQ(m.Check3->isChecked(), c.toVip);
    EXPECT_EQ(m.Text16->text(), c.toVip ? QStringLiteral("1") : QStringLiteral("-"));
    if (c.toVip) {
      EXPECT_EQ(storedRecords(vip()).back().subject, field(QStringLiteral("from the boss"), 100));
      EXPECT_EQ(trimmedField(storedRecords(vip()).back().from), QStringLiteral("Boss <boss@example.jp>"));
    }
    EXPECT_EQ(subjectsOf(received()).back(), QStringLiteral("from a friend"));
    EXPECT_EQ(race::current(), race::Show::Race);
  }
}

TEST_F(ReceiveMailTest, AttachmentsAreUnpackedAndNoted) {
  QByteArray photo;
  for (int i = 0; i < 5000; ++i) photo += static_cast<char>((i * 31 + i / 7) & 0xFF);
  const QByteArray zeroTxt = "an attachment that shares the work file's name\r\n";
  const QByteArray multipart =
      "From: a@example.jp\nSubject: photos\nDate: " + kDate +
      "\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"b1\"\n\n"
      "--b1\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" +
      QStringLiteral("写真を送ります。\n").toUtf8() +
      "--b1\nContent-Type: application/octet-stream\n"
      "Content-Disposition: attachment; filename=\"photo.bin\"\n"
      "Content-Transfer-Encoding: base64\n\n" + photo.toBase64() + "\n"
      "--b1\nContent-Type: text/plain; name=\"0.txt\"\n"
      "Content-Disposition: attachment; filename=\"0.txt\"\n"
      "Content-Transfer-Encoding: base64\n\n" + zeroTxt.toBase64() + "\n"
      "--b1--\n";
  dropMail(user, 1, multipart);
  dropMail(user, 2, mail(QStringLiteral("b@example.jp"), QStringLiteral("no files"), QStringLiteral("  just text  \n")));
  // A mail that is one file, and a mail in two forms without any file.
  dropMail(user, 3,
           "From: c@example.jp\nSubject: one file\nDate: " + kDate +
               "\nMIME-Version: 1.0\nContent-Type: application/octet-stream; name=\"whole.bin\"\n"
               "Content-Disposition: attachment; filename=\"whole.bin\"\nContent-Transfer-Encoding: base64\n\n" +
               photo.left(300).toBase64() + "\n");
  dropMail(user, 4,
           "From: d@example.jp\nSubject: two forms\nDate: " + kDate +
               "\nMIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"a1\"\n\n"
               "--a1\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" +
               QStringLiteral("テキスト版です。\n").toUtf8() +
               "--a1\nContent-Type: text/html; charset=UTF-8\n\n<p>html</p>\n--a1--\n");
  startDovecot();
  // A missing attachment folder is made.
  ASSERT_TRUE(QDir(attachmentFolder()).removeRecursively());
  receive();

  EXPECT_EQ(errorTexts(), "");
  EXPECT_EQ(fileBytes(attachmentFolder() + QStringLiteral("/photo.bin")), photo);
  EXPECT_EQ(fileBytes(attachmentFolder() + QStringLiteral("/0.txt")), zeroTxt);
  EXPECT_EQ(fileBytes(attachmentFolder() + QStringLiteral("/whole.bin")), photo.left(300));
  EXPECT_EQ(QDir(attachmentFolder()).entryList(QDir::Files).size(), 3);
  const std::vector<Stored> recs = storedRecords(received());
  ASSERT_EQ(recs.size(), 4u);
  // The text part of the two forms, not the parts themselves.
  EXPECT_TRUE(trimmedField(recs[3].body).startsWith(QStringLiteral("テキスト版です。"))) << trimmedField(recs[3].body).toStdString();
  EXPECT_FALSE(trimmedField(recs[3].body).contains(QStringLiteral("--a1")));
  // The text part, then CR LF and the notice.
  const QString body1 = trimmedField(recs[0].body);
  EXPECT_TRUE(body1.startsWith(QStringLiteral("写真を送ります。"))) << body1.toStdString();
  EXPECT_TRUE(body1.endsWith(QStringLiteral("\r\n") + QString::fromUtf16(kAttachmentNotice))) << body1.toStdString();
  EXPECT_FALSE(body1.contains(QStringLiteral("base64"))) << body1.toStdString();
  EXPECT_EQ(recs[1].body, field(QStringLiteral("just text  \r\n"), 32000));
  EXPECT_EQ(countMaildrop(user), 0);
}

TEST_F(ReceiveMailTest, RunningTotalAfterTwoChecks) {
  forms::MainForm& m = startDovecot({QStringLiteral("NUMBER28=10")});
  for (int i = 1; i <= 2; ++i) dropMail(user, i, mail(QStringLiteral("a@example.jp"), QStringLiteral("first %1").arg(i), QStringLiteral("x\n")));
  receive();
  EXPECT_EQ(iniValue(settings::key::MailTotal), QStringLiteral("12"));
  for (int i = 1; i <= 3; ++i) dropMail(user, i, mail(QStringLiteral("a@example.jp"), QStringLiteral("second %1").arg(i), QStringLiteral("x\n")));
  // The second check starts while the race of the first one runs.
  ASSERT_EQ(race::current(), race::Show::Race);
  receive();
  // Every mail found since the start counts: 10 + 2 + 3.
  EXPECT_EQ(iniValue(settings::key::MailTotal), QStringLiteral("15"));
  EXPECT_EQ(m.Text14->text(), QStringLiteral("15"));
  EXPECT_EQ(storedRecords(received()).size(), 5u);
  EXPECT_EQ(m.Text3->text(), QStringLiteral("5"));
}

TEST_F(ReceiveMailTest, NoMailShowsTheNote) {
  struct Case {
    const char* what;
    QString server;
  } cases[] = {
      {"an empty maildrop", QString::fromLatin1(testservers::kPop3Server)},
      {"no server set", QString()},
      {"no server listening", QStringLiteral("127.0.0.1:1")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.clear();
    noteWaits = 0;
    forms::MainForm& m = startWith(c.server, {QStringLiteral("NUMBER28=4")});
    m.Text16->setText(QStringLiteral("5"));
    m.Text17->setText(QStringLiteral("7"));
    // One VIP mail more than the start counted.
    records::MailRecord r;
    r.Subject = QStringLiteral("vip");
    ASSERT_GT(records::MailFile(records::kVipFile).append(r), 0);
    // A click and a tick while the note is up start no second check.
    int nested = -1;
    QString text16, text17;
    duringNote = [&] {
      text16 = m.Text16->text();
      text17 = m.Text17->text();
      m.Text16->setText(QStringLiteral("nested?"));
      m.Label8_Click();
      SetForm().Text6->setText(QStringLiteral("1"));
      for (int i = 0; i < 61; ++i) AutoCheckTick();
      nested = m.Text16->text() == QStringLiteral("nested?") ? 0 : 1;
    };
    receive();
    duringNote = nullptr;
    EXPECT_EQ(nested, 0);
    EXPECT_GT(noteWaits, 0);
    EXPECT_EQ(noteCaption, QStringLiteral("　■ ３秒で自動消去"));
    EXPECT_EQ(noteText, QStringLiteral("新着メールはありませんでした。"));
    EXPECT_TRUE(noteOnTop);
    EXPECT_FALSE(MsgFormLoaded());  // closed after its three seconds
    EXPECT_EQ(text16, QStringLiteral("0"));
    EXPECT_EQ(text17, QStringLiteral("0"));
    EXPECT_EQ(m.Text15->text(), QStringLiteral("1"));
    EXPECT_EQ(iniValue(settings::key::MailTotal), QStringLiteral("4"));
    EXPECT_EQ(race::current(), race::Show::None);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(SetForm().isVisible());
    destroyWindows();
    race::reset();
    startup::releaseInstanceLock();
    QFile::remove(vip());
  }
}

TEST_F(ReceiveMailTest, WrongPasswordStoresAndDeletesNothing) {
  for (int i = 1; i <= 2; ++i) dropMail(user, i, mail(QStringLiteral("a@example.jp"), QStringLiteral("m%1").arg(i), QStringLiteral("x\n")));
  writeAccount(QString::fromStdString(user), QStringLiteral("wrong-password"));
  forms::MainForm& m = startDovecot();
  // A click during the error box starts no second check.
  seams::setMsgBoxHandler([&](const seams::MsgBoxCall& c) {
    boxes.push_back(c);
    if (boxes.size() == 1) m.Label8_Click();
    return int(seams::vbOK);
  });
  receive();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("エラー"));
  EXPECT_EQ(boxes[0].buttons, int(seams::vbOKOnly));
  EXPECT_FALSE(boxes[0].prompt.isEmpty());
  EXPECT_EQ(countMaildrop(user), 2);
  EXPECT_EQ(QFileInfo(received()).size(), 0);
  EXPECT_GT(noteWaits, 0);
  EXPECT_EQ(m.Text17->text(), QStringLiteral("0"));
  EXPECT_EQ(race::current(), race::Show::None);
  // The account read for the check is in the settings window.
  EXPECT_EQ(SetForm().PassText->text(), QStringLiteral("wrong-password"));
  EXPECT_EQ(UserId, QString::fromStdString(user));
}

TEST_F(ReceiveMailTest, EmptyAccountShowsTheSettingsWindowWithoutALogin) {
  struct Case {
    QString id, password;
  } cases[] = {{QString(), QStringLiteral("pw")}, {QStringLiteral("someone"), QString()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id.toStdString());
    noteWaits = 0;
    ScriptedPop3 server({crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("waiting"), QStringLiteral("x\n")))});
    writeAccount(c.id, c.password);
    startWith(server.server());
    receive();
    EXPECT_EQ(server.commands(), std::vector<std::string>{"QUIT"});
    EXPECT_TRUE(SetForm().isVisible());
    EXPECT_EQ(SetForm().IdText->text(), c.id);
    EXPECT_EQ(SetForm().PassText->text(), c.password);
    EXPECT_GT(noteWaits, 0);
    EXPECT_TRUE(boxes.empty());
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

TEST_F(ReceiveMailTest, FetchFailureKeepsItAndWhatFollowsOnTheServer) {
  ScriptedPop3 server(
      {crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("one"), QStringLiteral("1\n"))),
       crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("two"), QStringLiteral("2\n"))),
       crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("three"), QStringLiteral("3\n")))},
      std::set<int>{2});
  writeAccount(QStringLiteral("user"), QStringLiteral("pw"));
  startWith(server.server(), {QStringLiteral("NUMBER28=0")});
  receive();
  const std::vector<std::string> cmds = server.commands();
  auto sent = [&](const std::string& c) { return std::find(cmds.begin(), cmds.end(), c) != cmds.end(); };
  EXPECT_TRUE(sent("DELE 1"));
  EXPECT_FALSE(sent("DELE 2"));
  EXPECT_FALSE(sent("DELE 3"));
  EXPECT_FALSE(sent("TOP 3 0"));
  EXPECT_EQ(cmds.back(), "QUIT");  // the deletion of mail 1 takes effect
  ASSERT_EQ(errorBoxes().size(), 1u);
  EXPECT_TRUE(errorBoxes()[0].prompt.contains(QStringLiteral("2 / 3"))) << errorBoxes()[0].prompt.toStdString();
  EXPECT_TRUE(errorBoxes()[0].prompt.contains(QStringLiteral("locked"))) << errorBoxes()[0].prompt.toStdString();
  EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("one")});
  // The one mail that came is announced and counted.
  EXPECT_EQ(race::current(), race::Show::Race);
  EXPECT_EQ(iniValue(settings::key::MailTotal), QStringLiteral("1"));
}

TEST_F(ReceiveMailTest, StoreFailureKeepsTheMailOnTheServer) {
  dropMail(user, 1, mail(QStringLiteral("Boss <boss@example.jp>"), QStringLiteral("to the VIP room"), QStringLiteral("v\n")));
  dropMail(user, 2, mail(QStringLiteral("a@example.jp"), QStringLiteral("to the received list"), QStringLiteral("r\n")));
  forms::MainForm& m = startDovecot({QStringLiteral("NAME12=boss@example.jp")});
  // The received list cannot be written: a folder stands in its place.
  ASSERT_TRUE(QFile::remove(received()));
  ASSERT_TRUE(QDir().mkdir(received()));
  receive();
  ASSERT_EQ(errorBoxes().size(), 1u);
  EXPECT_TRUE(errorBoxes()[0].prompt.contains(QStringLiteral("2 / 2"))) << errorBoxes()[0].prompt.toStdString();
  EXPECT_EQ(subjectsOf(vip()), QStringList{QStringLiteral("to the VIP room")});
  EXPECT_EQ(countMaildrop(user), 1);
  EXPECT_TRUE(m.Check3->isChecked());

  // Once the list can be written again the mail comes in.
  ASSERT_TRUE(QDir().rmdir(received()));
  boxes.clear();
  receive();
  EXPECT_EQ(errorTexts(), "");
  EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("to the received list")});
  EXPECT_EQ(countMaildrop(user), 0);
}

TEST_F(ReceiveMailTest, ApopLogin) {
  dropMail(user, 1, mail(QStringLiteral("a@example.jp"), QStringLiteral("by APOP"), QStringLiteral("x\n")));
  startWith(QString::fromLatin1(testservers::kPop3Server), {}, true);
  EXPECT_EQ(UseApop, 1);
  receive();
  EXPECT_EQ(errorTexts(), "");
  EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("by APOP")});
}

TEST_F(ReceiveMailTest, StartPasswordHoldsTheCheck) {
  dropMail(user, 1, mail(QStringLiteral("a@example.jp"), QStringLiteral("later"), QStringLiteral("x\n")));
  writeFile(dir.path() + QStringLiteral("/xqmail.ini"),
            sjis(QStringLiteral("POP3=%1\r\n").arg(QString::fromLatin1(testservers::kPop3Server))));
  writeAccount(QString::fromStdString(user), QString::fromStdString(testservers::password(user)));
  writeIni({QStringLiteral("NAME10=secret"), QStringLiteral("NUMBER16=1")});
  forms::MainForm& m = MainForm();
  ASSERT_TRUE(m.startHidden());
  m.Label8_Click();
  ReceiveMail();
  SetForm().Text6->setText(QStringLiteral("1"));
  for (int i = 0; i < 200; ++i) AutoCheckTick();
  EXPECT_EQ(countMaildrop(user), 1);
  EXPECT_EQ(m.timeLabel1->text(), QStringLiteral("0"));
  EXPECT_EQ(noteWaits, 0);
  EXPECT_FALSE(SetForm().isVisible());

  // The prompt's own test decides once it is installed.
  setStartPasswordPending([] { return false; });
  ReceiveMail();
  EXPECT_EQ(countMaildrop(user), 0);
  EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("later")});
}

TEST_F(ReceiveMailTest, HangUpAfterACheckWithoutMail) {
  // A dial-up link: a process that calls itself pppd, named in a pid file.
  QTemporaryDir run;
  dialup::setRunFolder(run.path());
  const QString exe = run.path() + QStringLiteral("/pppd");
  QFile::copy(QStringLiteral("/bin/sleep"), exe);
  QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QProcess ppp;
  ppp.start(exe, {QStringLiteral("30")});
  ASSERT_TRUE(ppp.waitForStarted());
  writeFile(run.path() + QStringLiteral("/ppp0.pid"), QByteArray::number(ppp.processId()) + "\n");

  dropMail(user, 1, mail(QStringLiteral("a@example.jp"), QStringLiteral("mail"), QStringLiteral("x\n")));
  startDovecot({QStringLiteral("NUMBER15=1")});
  ASSERT_TRUE(SetForm().Check2->isChecked());
  receive();  // mail came: the race, and the line stays
  EXPECT_FALSE(ppp.waitForFinished(300));
  receive();  // no mail: the line is hung up
  // The note's wait runs the event loop, which may already have seen the
  // process end; waitForFinished() is false for a process that is gone.
  EXPECT_TRUE(ppp.state() == QProcess::NotRunning || ppp.waitForFinished(5000));
  EXPECT_GT(noteWaits, 0);
  dialup::setRunFolder(QString());
  if (ppp.state() != QProcess::NotRunning) {
    ppp.kill();
    ppp.waitForFinished();
  }
}

// ---- Pipelining, refusals and broken conversations (scripted server) ----

// Everything a check leaves behind that the user can see or that is kept.
struct CheckResult {
  QByteArray received, vip;
  QStringList attachments;  // name and bytes
  std::vector<std::string> errorBoxes;
  QString text16, text17, total;
  bool check3 = false;
  race::Show show = race::Show::None;
  bool note = false;
  std::set<int> deleted;  // DELE sent
  std::set<int> retrieved;
  bool quit = false;
  bool operator==(const CheckResult&) const = default;
};

// The memory a stretch of the program takes at its peak, beyond what it
// held at the start. Large blocks come from the system and go back to it
// at once, so that the peak is that of the blocks themselves.
class PeakMemory : public testing_memory::PeakMemory {
 public:
  PeakMemory() : testing_memory::PeakMemory(true) {}
};

class ReceiveMailScriptedTest : public ReceiveMailTest {
 protected:
  // Five mails: a plain one, spam, one for the VIP room, one with a file, a plain one.
  std::vector<std::string> fiveMails() {
    const QByteArray withFile =
        "From: d@example.jp\nSubject: report\nDate: " + kDate +
        "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b1\"\n\n"
        "--b1\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" +
        QStringLiteral("報告書です。\n").toUtf8() +
        "--b1\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"r.bin\"\n"
        "Content-Transfer-Encoding: base64\n\n" + QByteArray("report bytes\x01\x02").toBase64() + "\n--b1--\n";
    return {crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("one"), QStringLiteral("1\n"))),
            crlf(mail(QStringLiteral("shop@example.com"), QStringLiteral("本日限り激安セール"), QStringLiteral("buy\n"))),
            crlf(mail(QStringLiteral("Boss <boss@example.jp>"), QStringLiteral("from the boss"), QStringLiteral("3\n"))),
            crlf(withFile),
            crlf(mail(QStringLiteral("e@example.jp"), QStringLiteral("five"), QStringLiteral("5\n")))};
  }

  // The subjects of fiveMails(), in order.
  static QStringList fiveSubjects() {
    return {QStringLiteral("one"), QStringLiteral("本日限り激安セール"), QStringLiteral("from the boss"),
            QStringLiteral("report"), QStringLiteral("five")};
  }
  // Those of them the lists hold once every mail came (the spam deleted), sorted.
  static QStringList everyMailButTheSpam() {
    const QStringList s = fiveSubjects();
    QStringList kept{s[0], s[2], s[3], s[4]};
    kept.sort();
    return kept;
  }
  // The subjects in the received list and the VIP room, sorted.
  QStringList storedSorted() const {
    QStringList all = subjectsOf(received()) + subjectsOf(vip());
    all.sort();
    return all;
  }

  // One check against a scripted server from a fresh start of the program.
  CheckResult checkWith(const std::vector<std::string>& mails, Pop3Script script) {
    ScriptedPop3 server(mails, std::move(script));
    return checkOn(server);
  }

  // One check against the given server from a fresh start of the program;
  // with again, the lists and files of the check before are kept.
  CheckResult checkOn(ScriptedPop3& server, bool again = false) {
    destroyWindows();
    race::reset();
    startup::releaseInstanceLock();
    boxes.clear();
    noteWaits = 0;
    if (!again) {
      QFile::remove(received());
      QFile::remove(vip());
      QDir(attachmentFolder()).removeRecursively();
    }
    QFile::remove(path(records::kSpamKeywordFile));
    const std::size_t commandsBefore = server.commands().size();
    writeAccount(QStringLiteral("user"), QStringLiteral("pw"));
    forms::MainForm& m = startWith(server.server(), {QStringLiteral("NUMBER28=0"), QStringLiteral("NAME12=boss@example.jp")});
    writeKeywords({QStringLiteral("激安")});
    {
      PeakMemory peak;
      receive();
      lastPeak = peak.grown();
    }
    CheckResult r;
    r.received = fileBytes(received());
    r.vip = fileBytes(vip());
    QDir files(attachmentFolder());
    for (const QString& f : files.entryList(QDir::Files, QDir::Name)) r.attachments << f + u'=' + QString::fromLatin1(fileBytes(files.filePath(f)).toHex());
    // (The server's port differs from run to run.)
    for (const auto& b : errorBoxes())
      r.errorBoxes.push_back(QString(b.prompt).replace(server.server(), QStringLiteral("SERVER")).toStdString());
    r.text16 = m.Text16->text();
    r.text17 = m.Text17->text();
    r.total = iniValue(settings::key::MailTotal);
    r.check3 = m.Check3->isChecked();
    r.show = race::current();
    r.note = noteWaits > 0;
    server.join();
    lastCommands = server.commands();
    lastCommands.erase(lastCommands.begin(), lastCommands.begin() + static_cast<std::ptrdiff_t>(commandsBefore));
    for (const std::string& c : lastCommands) {
      if (c.rfind("DELE ", 0) == 0) r.deleted.insert(std::atoi(c.c_str() + 5));
      if (c.rfind("RETR ", 0) == 0) r.retrieved.insert(std::atoi(c.c_str() + 5));
      if (c == "QUIT") r.quit = true;
    }
    lastEarly = server.early();
    lastAnswerStarts = server.answerStarts();
    return r;
  }

  std::vector<std::string> lastCommands;
  long long lastPeak = 0;  // the memory the check took at its peak
  int lastEarly = 0;
  std::vector<long long> lastAnswerStarts;

  int indexOf(const std::string& command) const {
    auto it = std::find(lastCommands.begin(), lastCommands.end(), command);
    return it == lastCommands.end() ? -1 : static_cast<int>(it - lastCommands.begin());
  }
};

// The viewer's boxes, written for every mail while the viewer is not on
// screen, show the last mail's texts when the viewer is opened after the
// check; a second check in a row (the boxes still as the first left them)
// does the same.
TEST_F(ReceiveMailScriptedTest, BoxesWrittenOffScreenShowTheirTextsWhenOpenedAfterTheCheck) {
  destroyWindows();
  race::reset();
  startup::releaseInstanceLock();
  for (const char* subject : {"first check", "second check"}) {
    SCOPED_TRACE(subject);
    ScriptedPop3 server({crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("older"), QStringLiteral("1\n"))),
                         crlf(mail(QStringLiteral("b@example.jp"), QString::fromUtf8(subject), QStringLiteral("2\n")))},
                        Pop3Script{true, {}, {}, {}, -1, nullptr});
    const bool first = !MainFormLoaded();
    writeAccount(QStringLiteral("user"), QStringLiteral("pw"));
    forms::MainForm& m = first ? startWith(server.server(), {QStringLiteral("NUMBER28=0")}) : ::MainForm();
    PopServer = server.server();
    if (TyakuFormLoaded()) ::TyakuForm().hide();
    QTest::mouseClick(m.Label8, Qt::LeftButton);  // the check
    server.join();
    ASSERT_EQ(errorTexts(), "");
    QTest::mouseClick(m.Label7, Qt::LeftButton);  // "着信履歴"
    forms::TyakuForm& t = ::TyakuForm();
    ASSERT_TRUE(t.isVisible());
    for (QLineEdit* box : {t.Text7, t.Text8}) {
      EXPECT_EQ(box->echoMode(), QLineEdit::Normal) << box->objectName().toStdString();
      EXPECT_EQ(box->displayText(), box->text()) << box->objectName().toStdString();
    }
    EXPECT_EQ(t.Text8->text(), QStringLiteral("b@example.jp"));
  }
}

TEST_F(ReceiveMailScriptedTest, PipelinedAndSequentialConversationsComeToTheSame) {
  struct Case {
    const char* what;
    std::set<int> failTop, failRetr, failDele;
  } cases[] = {
      {"all well", {}, {}, {}},
      {"the header of mail 4 refused", {4}, {}, {}},
      {"mail 4 refused", {}, {4}, {}},
      {"mail 1 and the spam not deleted", {}, {}, {1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CheckResult one = checkWith(fiveMails(), Pop3Script{false, c.failTop, c.failRetr, c.failDele, -1, nullptr});
    EXPECT_EQ(lastEarly, 0);  // one command at a time
    CheckResult many = checkWith(fiveMails(), Pop3Script{true, c.failTop, c.failRetr, c.failDele, -1, nullptr});
    EXPECT_GT(lastEarly, 0);
    // Headers and retrievals went out ahead of the answers they follow;
    // the first retrieval ahead of the later headers, so that no later
    // header can keep mail 1 from coming.
    EXPECT_LT(indexOf("RETR 1"), indexOf("TOP 2 0"));
    EXPECT_LT(indexOf("TOP 5 0"), indexOf("RETR 3"));
    if (c.failTop.empty() && c.failRetr.empty()) {
      EXPECT_LT(indexOf("RETR 3"), indexOf("DELE 1"));
    }
    for (CheckResult* r : {&one, &many}) {
      EXPECT_FALSE(r->retrieved.count(2));  // spam is never retrieved
      EXPECT_TRUE(r->quit);
      EXPECT_EQ(r->text17, QStringLiteral("1"));
      // (Mails after a refused one may have been asked for ahead.)
      r->retrieved.clear();
    }
    EXPECT_TRUE(one == many);
    EXPECT_EQ(one.received, many.received);
    EXPECT_EQ(one.errorBoxes, many.errorBoxes);
    EXPECT_EQ(one.deleted, many.deleted);
  }
}

TEST_F(ReceiveMailScriptedTest, RefusedDeletionsAreCountedAndNamed) {
  const CheckResult r = checkWith(fiveMails(), Pop3Script{true, {}, {}, {1, 2, 5}, -1, nullptr});
  // Every mail is stored, the check is not cut short, the race shows it.
  EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("report"), QStringLiteral("five")}));
  EXPECT_EQ(subjectsOf(vip()), QStringList{QStringLiteral("from the boss")});
  EXPECT_EQ(r.total, QStringLiteral("5"));
  EXPECT_EQ(r.show, race::Show::Rain);
  EXPECT_FALSE(r.note);
  ASSERT_EQ(r.errorBoxes.size(), 1u);
  const QString box = QString::fromStdString(r.errorBoxes[0]);
  EXPECT_TRUE(box.contains(QStringLiteral("メール 1 / 5、5 / 5 は保存しましたが、サーバーが削除を断ったため、サーバーに残っています。")))
      << r.errorBoxes[0];
  EXPECT_TRUE(box.contains(QStringLiteral("次の受信で同じメールがもう一度届きます。"))) << r.errorBoxes[0];
  EXPECT_TRUE(box.contains(QStringLiteral("迷惑メール 2 / 5 をサーバーから削除できませんでした。"))) << r.errorBoxes[0];
  EXPECT_TRUE(box.contains(QStringLiteral("cannot be deleted"))) << r.errorBoxes[0];

  // One mail, refused: it is announced and counted, not "no new mail".
  const CheckResult single =
      checkWith({crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("only"), QStringLiteral("x\n")))},
                Pop3Script{false, {}, {}, {1}, -1, nullptr});
  EXPECT_FALSE(single.note);
  EXPECT_EQ(single.total, QStringLiteral("1"));
  EXPECT_EQ(single.show, race::Show::Race);
  EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("only")});
}

TEST_F(ReceiveMailScriptedTest, NoQuitBeforeTheRecordsAreOnDisk) {
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    qint64 atQuit = -1;
    QStringList filesAtQuit;
    std::vector<std::string> flushedAtQuit;
    flushed::clear();
    checkWith(fiveMails(), Pop3Script{pipelining, {}, {}, {}, -1, [&] {
                atQuit = QFileInfo(received()).size();
                filesAtQuit = QDir(attachmentFolder()).entryList(QDir::Files);
                flushedAtQuit = flushed::taken();
              }});
    EXPECT_EQ(atQuit, 3 * 32284);
    EXPECT_EQ(filesAtQuit, QStringList{QStringLiteral("r.bin")});
    EXPECT_EQ(lastCommands.back(), "QUIT");
    // Flushed to disk, not only written: both lists, the file and the
    // folder that names it.
    auto real = [](const QString& p) { return QFileInfo(p).canonicalFilePath().toStdString(); };
    for (const std::string& p : {real(received()), real(vip()), real(attachmentFolder() + QStringLiteral("/r.bin")),
                                 real(attachmentFolder())})
      EXPECT_NE(std::find(flushedAtQuit.begin(), flushedAtQuit.end(), p), flushedAtQuit.end()) << p;
  }
}

// A batch of many files (the attachments of a long check) flushes every
// one of them, gives the window its turns while the disk works (also while
// one file is slow to get there), names a file it could not flush, and
// keeps what was written meanwhile for the next commit.
TEST(FlushBatch, ManyFilesFlushedWithTurnsBetween) {
  QTemporaryDir dir;
  std::vector<std::string> files;
  for (int i = 0; i < 150; ++i) {
    const std::string f = QFileInfo(dir.filePath(QStringLiteral("f%1.bin").arg(i))).absoluteFilePath().toStdString();
    std::ofstream(f) << "bytes " << i;
    files.push_back(f);
  }
  const std::string gone = dir.filePath(QStringLiteral("gone.bin")).toStdString();
  const std::string late = dir.filePath(QStringLiteral("late.bin")).toStdString();
  records::FlushBatch batch;
  ASSERT_TRUE(records::FlushBatch::active());
  for (const std::string& f : files) EXPECT_TRUE(records::FlushBatch::defer(f));
  EXPECT_TRUE(records::FlushBatch::defer(dir.path().toStdString()));
  EXPECT_TRUE(records::FlushBatch::defer(gone));
  flushed::clear();
  // One of them is slow to reach the disk: the window has its turns while
  // it is under way (the flush waits on a thread of its own).
  const std::string slow = dir.filePath(QStringLiteral("slow.bin")).toStdString();
  std::ofstream(slow) << "slow bytes";
  EXPECT_TRUE(records::FlushBatch::defer(slow));
  files.push_back(slow);
  int turns = 0, turnsWhileSlow = 0;
  slowflush::released = false;
  slowflush::held = true;
  EXPECT_FALSE(batch.commit([&] {
    if (turns++ == 0) {
      std::ofstream(late) << "written meanwhile";
      records::FlushBatch::defer(late);
    }
    if (slowflush::inFlush) {
      ++turnsWhileSlow;
      slowflush::released = true;
    }
  }));
  slowflush::held = false;
  EXPECT_TRUE(batch.errorText().contains(QStringLiteral("gone.bin"))) << batch.errorText().toStdString();
  EXPECT_GE(turns, 1);
  EXPECT_GE(turnsWhileSlow, 1);
  EXPECT_FALSE(slowflush::waitedOut);
  const std::vector<std::string> done = flushed::taken();
  for (const std::string& f : files) EXPECT_NE(std::find(done.begin(), done.end(), f), done.end()) << f;
  EXPECT_EQ(std::find(done.begin(), done.end(), late), done.end());
  flushed::clear();
  EXPECT_TRUE(batch.commit());
  EXPECT_EQ(flushed::taken(), std::vector<std::string>{late});
}

// Many files (the attachments of a long check) reach the disk by their
// file system flushed whole, one wait for the disk; a few go one by one;
// and when the flush of the whole file system fails, every file is
// flushed on its own (so that a failure names its file).
TEST(FlushBatch, ManyFilesAreFlushedByTheirFileSystemAtOnce) {
  QTemporaryDir dir;
  auto make = [&](int n, const QString& prefix) {
    std::vector<std::string> files;
    for (int i = 0; i < n; ++i) {
      const std::string f = dir.filePath(QStringLiteral("%1%2.bin").arg(prefix).arg(i)).toStdString();
      std::ofstream(f) << "bytes " << i;
      files.push_back(f);
    }
    return files;
  };
  records::FlushBatch batch;
  for (const std::string& f : make(40, QStringLiteral("many"))) EXPECT_TRUE(records::FlushBatch::defer(f));
  flushed::clear();
  flushed::wholeSystems = 0;
  int turns = 0;
  EXPECT_TRUE(batch.commit([&] { ++turns; })) << batch.errorText().toStdString();
  EXPECT_EQ(flushed::wholeSystems, 1);
  EXPECT_TRUE(flushed::taken().empty());
  EXPECT_GE(turns, 1);
  const std::vector<std::string> few = make(3, QStringLiteral("few"));
  for (const std::string& f : few) EXPECT_TRUE(records::FlushBatch::defer(f));
  EXPECT_TRUE(batch.commit());
  EXPECT_EQ(flushed::wholeSystems, 1);
  std::vector<std::string> done = flushed::taken();
  std::sort(done.begin(), done.end());
  std::vector<std::string> want;
  for (const std::string& f : few) want.push_back(QFileInfo(QString::fromStdString(f)).canonicalFilePath().toStdString());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(done, want);

  const std::vector<std::string> failing = make(40, QStringLiteral("again"));
  for (const std::string& f : failing) EXPECT_TRUE(records::FlushBatch::defer(f));
  flushed::clear();
  flushed::wholeSystemsFail = true;
  EXPECT_TRUE(batch.commit([] {})) << batch.errorText().toStdString();
  flushed::wholeSystemsFail = false;
  done = flushed::taken();
  EXPECT_EQ(done.size(), failing.size());
  for (const std::string& f : failing)
    EXPECT_NE(std::find(done.begin(), done.end(), QFileInfo(QString::fromStdString(f)).canonicalFilePath().toStdString()),
              done.end())
        << f;
}

// The line goes dead at every point of the conversation after the login:
// every mail is stored or stays on the server, nothing unstored is deleted,
// and the box says that stored mails come again.
TEST_F(ReceiveMailScriptedTest, ABrokenConversationLosesNothing) {
  for (bool pipelining : {true, false}) {
    SCOPED_TRACE(pipelining);
    checkWith(fiveMails(), Pop3Script{pipelining, {}, {}, {}, -1, nullptr});
    const std::vector<long long> starts = lastAnswerStarts;
    ASSERT_GT(starts.size(), 5u);
    std::vector<long long> cuts;
    for (std::size_t k = 1; k < starts.size(); ++k) {
      cuts.push_back(starts[k]);
      if (k + 1 < starts.size()) cuts.push_back((starts[k] + starts[k + 1]) / 2);
    }
    for (long long cut : cuts) {
      SCOPED_TRACE(cut);
      const CheckResult r = checkWith(fiveMails(), Pop3Script{pipelining, {}, {}, {}, cut, nullptr});
      const QStringList stored = subjectsOf(received()) + subjectsOf(vip());
      const QStringList subjects = fiveSubjects();
      for (int no : r.deleted) {
        // Deleted (if ever) only once stored, spam aside.
        if (no != 2) {
          EXPECT_TRUE(stored.contains(subjects[no - 1])) << no;
        }
      }
      if (!stored.isEmpty() && !r.quit) {
        ASSERT_FALSE(r.errorBoxes.empty());
        EXPECT_TRUE(QString::fromStdString(r.errorBoxes[0]).contains(
            QStringLiteral("受信したメール %1 通もサーバーから削除されていません。次の受信で同じメールがもう一度届きます。")
                .arg(stored.size())))
            << r.errorBoxes[0];
      }
      // Stored mails are announced.
      EXPECT_EQ(r.show != race::Show::None, !stored.isEmpty() || r.text17 == QStringLiteral("1"));
    }
  }
}

// The same cuts against a server that names its mails: the check takes
// the conversation up again on a new connection. Every mail is then stored
// once and gone from the server, or (the one whose answer was cut) left
// there with a box; the next check brings what was left, and nothing twice.
TEST_F(ReceiveMailScriptedTest, ACutConversationIsTakenUpAgainAndNothingComesTwice) {
  const QStringList subjects = fiveSubjects();
  for (bool pipelining : {true, false}) {
    SCOPED_TRACE(pipelining);
    Pop3Script whole{pipelining, {}, {}, {}, -1, nullptr};
    whole.uidl = true;
    checkWith(fiveMails(), whole);
    const std::vector<long long> starts = lastAnswerStarts;
    ASSERT_GT(starts.size(), 5u);
    std::vector<long long> cuts;
    for (std::size_t k = 1; k < starts.size(); ++k) {
      cuts.push_back(starts[k]);
      if (k + 1 < starts.size()) cuts.push_back((starts[k] + starts[k + 1]) / 2);
    }
    for (long long cut : cuts) {
      SCOPED_TRACE(cut);
      Pop3Script script = whole;
      script.dropAfter = cut;
      ScriptedPop3 server(fiveMails(), script);
      const CheckResult r = checkOn(server);
      const QStringList stored = subjectsOf(received()) + subjectsOf(vip());
      const std::vector<int> left = server.left();
      EXPECT_LE(left.size(), 1u);
      for (int no : {1, 3, 4, 5}) {
        const bool kept = std::find(left.begin(), left.end(), no) != left.end();
        EXPECT_EQ(stored.count(subjects[no - 1]), kept ? 0 : 1) << no;
        if (kept) {
          ASSERT_FALSE(r.errorBoxes.empty());
          EXPECT_TRUE(QString::fromStdString(r.errorBoxes[0]).contains(QStringLiteral("メール %1 / 5 を最後まで受信できませんでした。").arg(no)))
              << r.errorBoxes[0];
        }
      }
      const CheckResult next = checkOn(server, true);
      EXPECT_TRUE(server.left().empty());
      EXPECT_EQ(storedSorted(), everyMailButTheSpam());
    }
  }
}

// A server that names its mails anew in every session: after a break the
// mails stored before it are not found again by their unique ids. They are
// known by their size and header instead: deleted, and never stored twice,
// in this check or the next.
TEST_F(ReceiveMailScriptedTest, UniqueIdsThatChangeAfterABreakBringNoMailTwice) {
  const QStringList subjects = fiveSubjects();
  for (bool pipelining : {true, false}) {
    SCOPED_TRACE(pipelining);
    Pop3Script whole{pipelining, {}, {}, {}, -1, nullptr};
    whole.uidl = true;
    whole.uidlPerSession = true;
    checkWith(fiveMails(), whole);
    const std::vector<long long> starts = lastAnswerStarts;
    ASSERT_GT(starts.size(), 5u);
    for (std::size_t k = 1; k < starts.size(); ++k) {
      const long long cut = starts[k] + 1;
      SCOPED_TRACE(cut);
      Pop3Script script = whole;
      script.dropAfter = cut;
      ScriptedPop3 server(fiveMails(), script);
      const CheckResult r = checkOn(server);
      const QStringList stored = subjectsOf(received()) + subjectsOf(vip());
      for (int no : {1, 3, 4, 5}) EXPECT_LE(stored.count(subjects[no - 1]), 1) << no << " " << errorTexts();
      checkOn(server, true);
      EXPECT_EQ(storedSorted(), everyMailButTheSpam()) << errorTexts();
      EXPECT_TRUE(server.left().empty());
    }
  }
}

// The received list on show while a check stores into it: the new mails
// are listed at once, so that "全件削除" deletes what the list shows; with
// names that change after a break, a mail that cannot be told apart stays
// on the server with a box.
TEST_F(ReceiveMailScriptedTest, TheListOnShowGetsTheMailsACheckStores) {
  destroyWindows();
  race::reset();
  startup::releaseInstanceLock();
  boxes.clear();
  QFile::remove(received());
  ScriptedPop3 server({crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("one"), QStringLiteral("1\n"))),
                       crlf(mail(QStringLiteral("b@example.jp"), QStringLiteral("two"), QStringLiteral("2\n")))},
                      Pop3Script{true, {}, {}, {}, -1, nullptr});
  writeAccount(QStringLiteral("user"), QStringLiteral("pw"));
  forms::MainForm& m = startWith(server.server(), {QStringLiteral("NUMBER28=0")});
  {
    records::MailRecord old;
    old.Subject = QStringLiteral("old");
    old.FromTo = QStringLiteral("o@example.jp");
    ASSERT_GT(records::MailFile(records::kReceivedFile).append(old), 0) << records::MailFile(records::kReceivedFile).errorText().toStdString();
  }
  QTest::mouseClick(m.Label7, Qt::LeftButton);  // "着信履歴"
  auto& viewer = ::TyakuForm();
  ASSERT_TRUE(viewer.isVisible());
  ASSERT_EQ(viewer.MailListView->topLevelItemCount(), 1);
  QTest::mouseClick(m.Label8, Qt::LeftButton);  // the check
  server.join();
  EXPECT_EQ(errorTexts(), "");
  ASSERT_EQ(viewer.MailListView->topLevelItemCount(), 3);
  EXPECT_EQ(viewer.MailListView->topLevelItem(2)->text(0).trimmed(), QStringLiteral("two"));
  EXPECT_EQ(viewer.Text2->text(), QStringLiteral("3"));
  EXPECT_EQ(m.Text3->text(), QStringLiteral("3"));
  boxes.clear();
  seamtest::recordMsgBoxes(boxes, seamtest::yesOrOk);
  QTest::mouseClick(viewer.Command6, Qt::LeftButton);  // "全件削除", answered yes
  seamtest::recordMsgBoxes(boxes, seamtest::alwaysOk);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("すべてのデータを削除して良いですか？"));
  EXPECT_EQ(fileBytes(received()).size(), 0);
  EXPECT_EQ(viewer.MailListView->topLevelItemCount(), 0);

  // A server that names its mails anew, and gives no header alone: the
  // mail stored before the break cannot be told apart from the others.
  Pop3Script script{false, {1, 2, 3, 4, 5}, {}, {}, -1, nullptr};
  script.uidl = true;
  script.uidlPerSession = true;
  checkWith(fiveMails(), script);
  const std::vector<long long> starts = lastAnswerStarts;
  ASSERT_GT(starts.size(), 8u);
  int said = 0;
  for (std::size_t k = 1; k < starts.size(); ++k) {
    SCOPED_TRACE(starts[k]);
    script.dropAfter = starts[k] + 1;
    ScriptedPop3 renaming(fiveMails(), script);
    const CheckResult r = checkOn(renaming);
    const QStringList stored = subjectsOf(received()) + subjectsOf(vip());
    for (const QString& subject : stored) EXPECT_EQ(stored.count(subject), 1) << subject.toStdString();
    for (const std::string& b : r.errorBoxes)
      if (QString::fromStdString(b).contains(QStringLiteral("別の UIDL で示したため"))) ++said;
  }
  EXPECT_GT(said, 0);
}

TEST_F(ReceiveMailScriptedTest, BareLineFeedsBringTheWholeMail) {
  // A server that keeps LF line ends and counts them: the mail is longer
  // with CR LF than LIST says.
  QString body;
  for (int i = 1; i <= 300; ++i) body += QStringLiteral("%1 行目の本文です。\n").arg(i);
  const QByteArray lf = mail(QStringLiteral("a@example.jp"), QStringLiteral("long"), body);
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    const CheckResult r = checkWith({lf.toStdString()}, Pop3Script{pipelining, {}, {}, {}, -1, nullptr});
    EXPECT_TRUE(r.errorBoxes.empty());
    const std::vector<Stored> recs = storedRecords(received());
    ASSERT_EQ(recs.size(), 1u);
    QString whole = body;
    whole.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    EXPECT_EQ(recs[0].body, field(whole, 32000));
    EXPECT_EQ(r.deleted, std::set<int>{1});
  }
}

QByteArray mailWithFile(const QString& subject, const QByteArray& name, const QByteArray& data);

// A server without TOP, or a header too large to take alone: the whole
// mail serves for the spam test, and every mail comes.
TEST_F(ReceiveMailScriptedTest, WithoutAHeaderAloneTheWholeMailServesTheSpamTest) {
  struct Case {
    const char* what;
    std::set<int> failTop;
    std::size_t headerLimit;
  } cases[] = {
      {"no TOP", {1, 2, 3, 4, 5}, 0},
      {"the header of mail 4 too large", {}, 300},
  };
  for (const Case& c : cases) {
    for (bool pipelining : {false, true}) {
      SCOPED_TRACE(c.what);
      SCOPED_TRACE(pipelining);
      nmail::limits::setForTests(0, c.headerLimit ? c.headerLimit : 1u << 20);
      const CheckResult r = checkWith(fiveMails(), Pop3Script{pipelining, c.failTop, {}, {}, -1, nullptr});
      nmail::limits::setForTests(0, 1u << 20);
      EXPECT_EQ(r.errorBoxes, std::vector<std::string>{});
      EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("report"), QStringLiteral("five")}));
      EXPECT_EQ(subjectsOf(vip()), QStringList{QStringLiteral("from the boss")});
      EXPECT_EQ(r.text17, QStringLiteral("1"));
      EXPECT_EQ(r.show, race::Show::Rain);
      EXPECT_EQ(r.deleted, (std::set<int>{1, 2, 3, 4, 5}));
      EXPECT_EQ(r.attachments.size(), 1);
      EXPECT_TRUE(r.quit);
    }
  }
}

// A mail too large for the library stays on the server, named in a box;
// the mails after it come all the same.
TEST_F(ReceiveMailScriptedTest, AMailTooLargeIsLeftAndTheOthersCome) {
  QString big;
  for (int i = 0; i < 400; ++i) big += QStringLiteral("%1 行目、大きなメールの本文です。\n").arg(i);
  const std::vector<std::string> mails{
      crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("one"), QStringLiteral("1\n"))),
      crlf(mail(QStringLiteral("huge@example.jp"), QStringLiteral("too large"), big)),
      crlf(mail(QStringLiteral("c@example.jp"), QStringLiteral("three"), QStringLiteral("3\n")))};
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    nmail::limits::setForTests(8 << 10, 0);
    const CheckResult r = checkWith(mails, Pop3Script{pipelining, {}, {}, {}, -1, nullptr});
    nmail::limits::setForTests(512u << 20, 0);
    EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("three")}));
    EXPECT_EQ(r.deleted, (std::set<int>{1, 3}));
    EXPECT_TRUE(r.quit);
    ASSERT_EQ(r.errorBoxes.size(), 1u);
    const QString box = QString::fromStdString(r.errorBoxes[0]);
    EXPECT_TRUE(box.contains(QStringLiteral("メール 2 / 3 は大きすぎるため受信できません。件名「too large」、差出人「huge@example.jp」。")))
        << r.errorBoxes[0];
    EXPECT_EQ(r.total, QStringLiteral("2"));
    EXPECT_EQ(r.show, race::Show::Race);
  }
}

// A mail far longer than the server said (past twice its LIST size and a
// megabyte) is read past, not held: it stays on the server, named in a
// box, and the mails after it come.
TEST_F(ReceiveMailScriptedTest, AMailFarLongerThanListedIsLeftAndTheOthersCome) {
  QString big;
  for (int i = 0; big.size() < (1 << 20); ++i) big += QStringLiteral("%1 行目、申告よりずっと長いメールの本文です。\n").arg(i);
  const std::vector<std::string> mails{
      crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("one"), QStringLiteral("1\n"))),
      crlf(mail(QStringLiteral("huge@example.jp"), QStringLiteral("longer"), big)),
      crlf(mail(QStringLiteral("c@example.jp"), QStringLiteral("three"), QStringLiteral("3\n")))};
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
    script.listSize = 1000;  // every mail, the long one too
    const CheckResult r = checkWith(mails, script);
    EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("three")}));
    EXPECT_EQ(r.deleted, (std::set<int>{1, 3}));
    EXPECT_TRUE(r.quit);
    ASSERT_EQ(r.errorBoxes.size(), 1u);
    const QString box = QString::fromStdString(r.errorBoxes[0]);
    EXPECT_TRUE(box.contains(QStringLiteral("メール 2 / 3 は大きすぎるため受信できません。件名「longer」")) &&
                box.contains(QStringLiteral("サーバーが示した大きさ（1000 バイト）をはるかに超えている")))
        << r.errorBoxes[0];
  }
}

// A header that never ends breaks the conversation; the mail before it has
// come whole all the same and is stored, and the mail after it comes over
// a new connection. Without unique ids the mail before stays on the server,
// and the box says so.
TEST_F(ReceiveMailScriptedTest, AnEndlessHeaderDoesNotCostTheMailBefore) {
  const std::vector<std::string> mails{
      crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("one"), QStringLiteral("1\n"))),
      crlf(mail(QStringLiteral("b@example.jp"), QStringLiteral("two"), QStringLiteral("2\n"))),
      crlf(mail(QStringLiteral("c@example.jp"), QStringLiteral("three"), QStringLiteral("3\n")))};
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
    script.endlessTop = {2};
    ScriptedPop3 server(mails, script);
    const CheckResult r = checkOn(server);
    EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("three")}));
    EXPECT_TRUE(r.quit);
    EXPECT_EQ(server.left(), (std::vector<int>{1, 2}));
    ASSERT_EQ(r.errorBoxes.size(), 2u) << errorTexts();
    // The header never came: the mail is named by its number alone.
    EXPECT_TRUE(QString::fromStdString(r.errorBoxes[0]).contains(QStringLiteral(
        "メール 2 / 3 を最後まで受信できませんでした。このメールはサーバーに残し、接続し直して後のメールの受信を続けました。")))
        << r.errorBoxes[0];
    EXPECT_TRUE(QString::fromStdString(r.errorBoxes[1]).contains(QStringLiteral(
        "接続が切れる前に受信したメール 1 通はサーバーから削除できませんでした。次の受信で同じメールがもう一度届きます。")))
        << r.errorBoxes[1];
    EXPECT_EQ(r.show, race::Show::Race);
    EXPECT_EQ(r.total, QStringLiteral("2"));
  }
}

// A header of 10 MB that does end (its Subject first, its sender after the
// 10 MB): too large to take alone, so the whole mail serves, and the mail
// is stored with its fields, its text and its file, once. The next check
// brings nothing, and no box says the answer did not end.
TEST_F(ReceiveMailScriptedTest, AHeaderOfTenMegabytesIsStoredOnce) {
  // In lines of a thousand bytes, and as one line of two megabytes.
  for (const int fillerLength : {990, 2 * 1000 * 1000}) {
    SCOPED_TRACE(fillerLength);
    QByteArray head = "Subject: =?UTF-8?B?" + QStringLiteral("巨大なヘッダー").toUtf8().toBase64() + "?=\r\n";
    const QByteArray filler = "X-Filler: " + QByteArray(fillerLength, 'x') + "\r\n";
    while (head.size() < 10 * 1000 * 1000) head += filler;
    head += "From: big@example.jp\r\nTo: me@example.jp\r\nDate: " + kDate + "\r\nMIME-Version: 1.0\r\n";
    const QByteArray big = head + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                                  "Content-Type: text/plain; charset=UTF-8\r\n\r\n" +
                           QStringLiteral("ヘッダーの後の本文です。").toUtf8() +
                           "\r\n--b\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\nQklH\r\n--b--\r\n";
    const std::vector<std::string> mails{big.toStdString(),
                                         crlf(mail(QStringLiteral("c@example.jp"), QStringLiteral("after"), QStringLiteral("2\n")))};
    for (bool pipelining : {false, true}) {
      SCOPED_TRACE(pipelining);
      ScriptedPop3 server(mails, Pop3Script{pipelining, {}, {}, {}, -1, nullptr});
      const CheckResult r = checkOn(server);
      EXPECT_EQ(r.errorBoxes, std::vector<std::string>{}) << errorTexts();
      const std::vector<Stored> recs = storedRecords(received());
      ASSERT_EQ(recs.size(), 2u);
      EXPECT_EQ(trimmedField(recs[0].subject), QStringLiteral("巨大なヘッダー"));
      EXPECT_EQ(trimmedField(recs[0].from), QStringLiteral("big@example.jp"));
      EXPECT_TRUE(trimmedField(recs[0].body).startsWith(QStringLiteral("ヘッダーの後の本文です。")))
          << trimmedField(recs[0].body).toStdString();
      EXPECT_EQ(trimmedField(recs[1].subject), QStringLiteral("after"));
      EXPECT_TRUE(r.attachments.contains(QStringLiteral("big.bin=") + QString::fromLatin1(QByteArray("BIG").toHex())))
          << r.attachments.join(QStringLiteral(" | ")).toStdString();
      EXPECT_EQ(r.deleted, (std::set<int>{1, 2}));
      EXPECT_TRUE(server.left().empty());
      const CheckResult next = checkOn(server, true);
      EXPECT_EQ(next.errorBoxes, std::vector<std::string>{}) << errorTexts();
      EXPECT_EQ(storedRecords(received()).size(), 2u);
      EXPECT_TRUE(next.note);
    }
  }
}

// Four mails, a to d.
std::vector<std::string> fourMails() {
  std::vector<std::string> out;
  const char* names[] = {"one", "two", "three", "four"};
  for (int i = 0; i < 4; ++i)
    out.push_back(crlf(mail(QStringLiteral("%1@example.jp").arg(QChar(u'a' + i)), QString::fromLatin1(names[i]),
                            QStringLiteral("%1\n").arg(i + 1))));
  return out;
}

// A mail whose answer never ends (its retrieval or its header) is left on
// the server, named in a box; the check connects again, deletes there the
// mail stored before it (found by its unique id) and takes those after it.
// The next check brings nothing twice.
TEST_F(ReceiveMailScriptedTest, AnEndlessMailIsLeftAndTheOthersComeOverANewConnection) {
  nmail::limits::setForTests(8 << 10, 8 << 10);
  struct Case {
    const char* what;
    bool header;
    const char* box;
  } cases[] = {
      {"endless retrieval", false,
       "メール 2 / 4 を最後まで受信できませんでした。件名「two」、差出人「b@example.jp」。"
       "このメールはサーバーに残し、接続し直して後のメールの受信を続けました。"},
      {"endless header", true,
       "メール 2 / 4 を最後まで受信できませんでした。このメールはサーバーに残し、接続し直して後のメールの受信を続けました。"},
  };
  for (const Case& c : cases) {
    for (bool pipelining : {false, true}) {
      SCOPED_TRACE(c.what);
      SCOPED_TRACE(pipelining);
      Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
      (c.header ? script.endlessTop : script.endlessRetr) = {2};
      script.uidl = true;
      // The records are on disk before the session that deletes them ends.
      std::atomic<qint64> atQuit{-1};
      script.atQuit = [&] { atQuit = QFileInfo(received()).size(); };
      ScriptedPop3 server(fourMails(), script);
      const CheckResult r = checkOn(server);
      EXPECT_EQ(atQuit, 3 * 32284);
      EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("three"), QStringLiteral("four")}));
      EXPECT_EQ(server.left(), std::vector<int>{2});
      EXPECT_EQ(server.sessions(), 2);
      ASSERT_EQ(r.errorBoxes.size(), 1u) << errorTexts();
      EXPECT_TRUE(QString::fromStdString(r.errorBoxes[0]).contains(QString::fromUtf8(c.box))) << r.errorBoxes[0];
      EXPECT_TRUE(r.quit);
      EXPECT_EQ(r.total, QStringLiteral("3"));
      EXPECT_EQ(r.show, race::Show::Race);
      // Never asked for again on the new connection.
      EXPECT_EQ(std::count(lastCommands.begin(), lastCommands.end(), c.header ? "TOP 2 0" : "RETR 2"), 1);

      const CheckResult next = checkOn(server, true);
      EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("three"), QStringLiteral("four")}));
      EXPECT_EQ(server.left(), std::vector<int>{2});
      EXPECT_TRUE(next.deleted.empty());
      ASSERT_EQ(next.errorBoxes.size(), 1u);
      EXPECT_TRUE(QString::fromStdString(next.errorBoxes[0]).contains(QStringLiteral("メール 1 / 1 を最後まで受信できませんでした。")))
          << next.errorBoxes[0];
      EXPECT_TRUE(next.note);
    }
  }
  nmail::limits::setForTests(512u << 20, 1u << 20);
}

// Without unique ids the mail stored before the endless one cannot be
// found again: it stays on the server, and a box says so; the mails after
// it come all the same.
TEST_F(ReceiveMailScriptedTest, WithoutUniqueIdsTheMailsBeforeStayAndABoxSaysSo) {
  nmail::limits::setForTests(8 << 10, 8 << 10);
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
    script.endlessRetr = {2};
    ScriptedPop3 server(fourMails(), script);
    const CheckResult r = checkOn(server);
    EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("three"), QStringLiteral("four")}));
    EXPECT_EQ(server.left(), (std::vector<int>{1, 2}));
    ASSERT_EQ(r.errorBoxes.size(), 2u) << errorTexts();
    EXPECT_TRUE(QString::fromStdString(r.errorBoxes[0]).contains(QStringLiteral("メール 2 / 4 を最後まで受信できませんでした。件名「two」")))
        << r.errorBoxes[0];
    EXPECT_EQ(r.errorBoxes[1],
              "サーバーがメールの UIDL を示さないため、接続が切れる前に受信したメール 1 通はサーバーから削除できませんでした。"
              "次の受信で同じメールがもう一度届きます。");
    // The new session deletes only what it stored itself.
    const auto second = std::find(lastCommands.rbegin(), lastCommands.rend(), "STAT").base();
    std::vector<std::string> deletions;
    std::copy_if(second, lastCommands.end(), std::back_inserter(deletions),
                 [](const std::string& c) { return c.rfind("DELE ", 0) == 0; });
    EXPECT_EQ(deletions, (std::vector<std::string>{"DELE 3", "DELE 4"}));
    EXPECT_EQ(lastCommands.back(), "QUIT");
    EXPECT_TRUE(r.quit);
  }
  // A listing of unique ids that never ends costs nothing: the next
  // session goes by number.
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
    script.endlessUidl = true;
    ScriptedPop3 server(fourMails(), script);
    const CheckResult r = checkOn(server);
    EXPECT_EQ(r.errorBoxes, std::vector<std::string>{});
    EXPECT_EQ(subjectsOf(received()),
              (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three"), QStringLiteral("four")}));
    EXPECT_TRUE(server.left().empty());
    EXPECT_EQ(server.sessions(), 2);
  }
  nmail::limits::setForTests(512u << 20, 1u << 20);
}

// The new connection is refused, or the check has connected again as often
// as it may: the box says exactly what stays on the server.
TEST_F(ReceiveMailScriptedTest, WhenNoNewConnectionCanBeHadTheBoxSaysWhatStayed) {
  nmail::limits::setForTests(8 << 10, 8 << 10);
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
    script.endlessRetr = {2};
    script.uidl = true;
    script.refuseLogin = {2};
    ScriptedPop3 server(fourMails(), script);
    const CheckResult r = checkOn(server);
    EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("one")});
    EXPECT_EQ(server.left(), (std::vector<int>{1, 2, 3, 4}));
    // Nothing is asked of the session whose login was refused but what went
    // in the same go as the login to a pipelining server (the listings and
    // the first header): no mail is fetched or deleted.
    const auto second = std::find(lastCommands.rbegin(), lastCommands.rend(), "USER user").base();
    for (auto c = second; c != lastCommands.end(); ++c)
      EXPECT_TRUE(*c == "PASS pw" || *c == "STAT" || *c == "QUIT" ||
                  (pipelining && (*c == "UIDL" || *c == "LIST" || *c == "TOP 1 0")))
          << *c;
    ASSERT_EQ(r.errorBoxes.size(), 1u) << errorTexts();
    const QString box = QString::fromStdString(r.errorBoxes[0]);
    EXPECT_TRUE(box.startsWith(QStringLiteral("メール 2 / 4 を最後まで受信できませんでした。件名「two」、差出人「b@example.jp」。\r\n"
                                              "メール 2 / 4 から後はサーバーに残してあります。\r\n"
                                              "サーバーとの接続が切れたため、受信したメール 1 通もサーバーから削除されていません。"
                                              "次の受信で同じメールがもう一度届きます。\r\n")))
        << r.errorBoxes[0];
    EXPECT_TRUE(box.contains(QStringLiteral("接続し直せませんでした: "))) << r.errorBoxes[0];
    EXPECT_TRUE(box.contains(QStringLiteral("not now"))) << r.errorBoxes[0];
    EXPECT_EQ(r.show, race::Show::Race);
  }
  {
    // Four endless mails of six: three new connections at most.
    std::vector<std::string> mails = fourMails();
    mails.insert(mails.end(), {mails[2], mails[3]});
    Pop3Script script{true, {}, {}, {}, -1, nullptr};
    script.endlessRetr = {2, 3, 4, 5};
    script.uidl = true;
    ScriptedPop3 server(mails, script);
    const CheckResult r = checkOn(server);
    EXPECT_EQ(server.sessions(), 4);
    EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("one")});
    EXPECT_EQ(server.left(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(r.errorBoxes.size(), 4u) << errorTexts();
    for (int k = 0; k < 3; ++k)
      EXPECT_TRUE(QString::fromStdString(r.errorBoxes[k]).contains(QStringLiteral("メール %1 / 6 を最後まで受信できませんでした。").arg(k + 2)))
          << r.errorBoxes[k];
    const QString last = QString::fromStdString(r.errorBoxes[3]);
    EXPECT_TRUE(last.contains(QStringLiteral("メール 5 / 6 から後はサーバーに残してあります。"))) << r.errorBoxes[3];
    EXPECT_TRUE(last.contains(QStringLiteral("受信したメール 1 通もサーバーから削除されていません。"))) << r.errorBoxes[3];
    EXPECT_TRUE(last.contains(QStringLiteral("1 回の受信で接続し直すのは 3 回までです。"))) << r.errorBoxes[3];
  }
  nmail::limits::setForTests(512u << 20, 1u << 20);
}

// A session end the server never confirms deleted nothing: the box says
// the stored mails stay on the server.
TEST_F(ReceiveMailScriptedTest, AnUnconfirmedEndSaysTheMailsStayOnTheServer) {
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
    script.quitLost = true;
    const CheckResult r = checkWith(fiveMails(), script);
    EXPECT_TRUE(r.quit);
    EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("report"), QStringLiteral("five")}));
    ASSERT_EQ(r.errorBoxes.size(), 1u);
    const QString box = QString::fromStdString(r.errorBoxes[0]);
    EXPECT_TRUE(box.contains(QStringLiteral("削除はサーバーに伝わっていません。受信したメール 4 通は保存しましたが、サーバーに残っています。"
                                            "次の受信で同じメールがもう一度届きます。迷惑メール 1 通もサーバーに残っています。")))
        << r.errorBoxes[0];
    EXPECT_EQ(r.show, race::Show::Rain);
  }
}

// With unique ids a new session finds out what an unconfirmed end left:
// the deletions are asked for again, and nothing stays or comes twice.
TEST_F(ReceiveMailScriptedTest, AnUnconfirmedEndIsMadeGoodOverANewConnection) {
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
    script.quitLost = true;
    script.uidl = true;
    ScriptedPop3 server(fiveMails(), script);
    const CheckResult r = checkOn(server);
    EXPECT_EQ(r.errorBoxes, std::vector<std::string>{});
    EXPECT_EQ(server.sessions(), 2);
    EXPECT_TRUE(server.left().empty());
    EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("one"), QStringLiteral("report"), QStringLiteral("five")}));
    EXPECT_EQ(r.show, race::Show::Rain);
    // The second session retrieves nothing.
    EXPECT_EQ(std::count_if(lastCommands.begin(), lastCommands.end(),
                            [](const std::string& c) { return c.rfind("RETR ", 0) == 0; }),
              4);
  }
}

// The files of a mail that is not stored after all are taken away again:
// the mail stays on the server and brings them again.
TEST_F(ReceiveMailScriptedTest, TheFilesOfAMailNotStoredAreRemoved) {
  const std::vector<std::string> mails{crlf(mailWithFile(QStringLiteral("files"), "f.bin", "data bytes"))};
  ScriptedPop3 first(mails, Pop3Script{false, {}, {}, {}, -1, nullptr});
  writeAccount(QStringLiteral("user"), QStringLiteral("pw"));
  startWith(first.server(), {QStringLiteral("NUMBER28=0")});
  // The received list cannot be written: a folder stands in its place.
  QFile::remove(received());
  ASSERT_TRUE(QDir().mkdir(received()));
  writeFile(attachmentFolder() + QStringLiteral("/kept.txt"), "the user's");
  receive();
  first.join();
  ASSERT_EQ(errorBoxes().size(), 1u);
  EXPECT_TRUE(errorBoxes()[0].prompt.contains(QStringLiteral("メール 1 / 1 を保存できませんでした。"))) << errorTexts();
  EXPECT_EQ(QDir(attachmentFolder()).entryList(QDir::Files), QStringList{QStringLiteral("kept.txt")});
  const std::vector<std::string> cmds = first.commands();
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "DELE 1"), 0);

  // Once the list can be written the mail comes with its file, once.
  ASSERT_TRUE(QDir().rmdir(received()));
  boxes.clear();
  ScriptedPop3 again(mails, Pop3Script{false, {}, {}, {}, -1, nullptr});
  PopServer = again.server();
  receive();
  EXPECT_EQ(errorTexts(), "");
  EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("files")});
  EXPECT_EQ(QDir(attachmentFolder()).entryList(QDir::Files), (QStringList{QStringLiteral("f.bin"), QStringLiteral("kept.txt")}));
}

// Every name up to the 9999th copy of a file taken: the file gets the next
// one, and the mail comes whole.
TEST_F(ReceiveMailScriptedTest, AFileWhoseNamesAreAllTakenStillComes) {
  const std::vector<std::string> mails{crlf(mailWithFile(QStringLiteral("files"), "a.bin", "the data")),
                                       crlf(mail(QStringLiteral("c@example.jp"), QStringLiteral("after"), QStringLiteral("x\n")))};
  ScriptedPop3 server(mails, Pop3Script{false, {}, {}, {}, -1, nullptr});
  writeAccount(QStringLiteral("user"), QStringLiteral("pw"));
  startWith(server.server(), {QStringLiteral("NUMBER28=0")});
  ASSERT_TRUE(QDir().mkpath(attachmentFolder()));
  for (int k = 1; k < 10000; ++k) {
    QFile f(attachmentFolder() + (k == 1 ? QStringLiteral("/a.bin") : QStringLiteral("/a(%1).bin").arg(k)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  receive();
  server.join();
  EXPECT_EQ(errorTexts(), "");
  EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("files"), QStringLiteral("after")}));
  EXPECT_EQ(QDir(attachmentFolder()).entryList(QDir::Files).size(), 10000);
  EXPECT_EQ(fileBytes(attachmentFolder() + QStringLiteral("/a(10000).bin")), QByteArray("the data"));
  const std::vector<std::string> cmds = server.commands();
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "DELE 1"), 1);
}

// A mail with a file of the given size.
QByteArray mailWithFile(const QString& subject, const QByteArray& name, const QByteArray& data) {
  QByteArray b64 = data.toBase64();
  QByteArray lines;
  lines.reserve(b64.size() + b64.size() / 76 * 2 + 2);
  for (qsizetype at = 0; at < b64.size(); at += 76) lines += b64.mid(at, 76) + "\n";
  return "From: a@example.jp\nSubject: " + subject.toUtf8() + "\nDate: " + kDate +
         "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b1\"\n\n"
         "--b1\nContent-Type: text/plain; charset=UTF-8\n\nsee the file\n"
         "--b1\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"" +
         name + "\"\nContent-Transfer-Encoding: base64\n\n" + lines + "--b1--\n";
}

// A server that claims a mail is 2 GiB large: the check takes the mail as
// it comes, without making room for what never comes.
TEST_F(ReceiveMailScriptedTest, ASizeClaimedTooHighTakesNoRoom) {
  const std::vector<std::string> mails{
      crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("small"), QStringLiteral("a short one\n"))),
      crlf(mail(QStringLiteral("b@example.jp"), QStringLiteral("second"), QStringLiteral("another\n")))};
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
    script.listSize = 2147483647;
    const auto began = std::chrono::steady_clock::now();
    const CheckResult r = checkWith(mails, script);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(lastPeak, 32ll << 20);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
#else
    // (The sanitized build takes several times as long here.)
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(30));
#endif
    EXPECT_EQ(r.errorBoxes, std::vector<std::string>{});
    EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("small"), QStringLiteral("second")}));
    EXPECT_EQ(trimmedField(storedRecords(received())[0].body), QStringLiteral("a short one\r\n"));
    EXPECT_EQ(r.deleted, (std::set<int>{1, 2}));
  }
}

// The whole check (fetch, attachment, record) holds less than twice the
// largest mail at its peak, whatever size the server gives.
TEST_F(ReceiveMailScriptedTest, PeakMemoryStaysUnderTwiceTheLargestMail) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer keeps freed memory for a while";
#endif
  QByteArray data(12 << 20, '\0');
  for (qsizetype k = 0; k < data.size(); ++k) data[k] = static_cast<char>((k * 2654435761u) >> 13);
  const std::vector<std::string> mails{
      crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("before"), QStringLiteral("x\n"))),
      crlf(mailWithFile(QStringLiteral("big"), "big.bin", data))};
  const long long largest = static_cast<long long>(mails[1].size());
  // What a check takes whatever its mails (the windows, the race) is taken once before.
  checkWith({mails[0]}, Pop3Script{false, {}, {}, {}, -1, nullptr});
  struct Case {
    bool pipelining;
    long long listSize;
  } cases[] = {{false, -1}, {true, -1}, {true, 2147483647}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pipelining);
    SCOPED_TRACE(c.listSize);
    Pop3Script script{c.pipelining, {}, {}, {}, -1, nullptr};
    script.listSize = c.listSize;
    const CheckResult r = checkWith(mails, script);
    const long long grown = lastPeak;
    EXPECT_LT(grown, 2 * largest) << grown << " bytes for a mail of " << largest;
    EXPECT_EQ(r.errorBoxes, std::vector<std::string>{});
    EXPECT_EQ(subjectsOf(received()), (QStringList{QStringLiteral("before"), QStringLiteral("big")}));
    EXPECT_TRUE(fileBytes(attachmentFolder() + QStringLiteral("/big.bin")) == data);
    EXPECT_EQ(r.deleted, (std::set<int>{1, 2}));
  }
}

// A large mail holds the check under twice its size at every shape: a
// text in one line, a file in base64 without line ends, and an answer
// that never ends (a few megabytes, whatever the library's limit): that
// mail is left on the server with a box, the others come.
TEST_F(ReceiveMailScriptedTest, PeakMemoryStaysUnderTwiceTheMailAtEveryShape) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer keeps freed memory for a while";
#endif
  QString line;
  for (int i = 0; line.size() < (6 << 20); ++i) line += QStringLiteral("第%1節 長い一行の本文です、改行はありません。 ").arg(i);
  line += QStringLiteral("おしまい");
  const QByteArray oneLine = "From: a@example.jp\nSubject: one line\nDate: " + kDate +
                             "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
                             "Content-Transfer-Encoding: 8bit\n\n" + line.toUtf8() + "\n";
  QByteArray data(12 << 20, '\0');
  for (qsizetype k = 0; k < data.size(); ++k) data[k] = static_cast<char>((k * 2654435761u) >> 13);
  const QByteArray flat = "From: b@example.jp\nSubject: flat\nDate: " + kDate +
                          "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b1\"\n\n"
                          "--b1\nContent-Type: text/plain\n\nsee the file\n--b1\nContent-Type: application/octet-stream\n"
                          "Content-Disposition: attachment; filename=\"flat.bin\"\nContent-Transfer-Encoding: base64\n\n" +
                          data.toBase64() + "\n--b1--\n";
  const std::string small = crlf(mail(QStringLiteral("c@example.jp"), QStringLiteral("small"), QStringLiteral("x\n")));
  // What a check takes whatever its mails (the windows, the race) is taken once before.
  checkWith({small}, Pop3Script{false, {}, {}, {}, -1, nullptr});
  struct Case {
    const char* what;
    std::string mail;
    bool endless;
  } cases[] = {
      {"one line", crlf(oneLine), false},
      {"no line ends", crlf(flat), false},
      {"endless", small, true},
  };
  for (const Case& c : cases) {
    for (bool pipelining : {false, true}) {
      SCOPED_TRACE(c.what);
      SCOPED_TRACE(pipelining);
      Pop3Script script{pipelining, {}, {}, {}, -1, nullptr};
      script.uidl = true;
      if (c.endless) script.endlessRetr = {1};
      const CheckResult r = checkWith({c.mail, small}, script);
      const long long size = static_cast<long long>(c.mail.size());
      if (c.endless) {
        EXPECT_LT(lastPeak, 16ll << 20) << lastPeak << " bytes for an answer that never ends";
        EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("small")});
        ASSERT_EQ(r.errorBoxes.size(), 1u);
        EXPECT_TRUE(QString::fromStdString(r.errorBoxes[0]).contains(QStringLiteral("メール 1 / 2 を最後まで受信できませんでした。")))
            << r.errorBoxes[0];
        EXPECT_EQ(r.deleted, std::set<int>{2});
        continue;
      }
      EXPECT_LT(lastPeak, 2 * size) << lastPeak << " bytes for a mail of " << size;
      EXPECT_EQ(r.errorBoxes, std::vector<std::string>{});
      EXPECT_EQ(r.deleted, (std::set<int>{1, 2}));
      if (c.what == std::string("one line")) {
        const QByteArray whole = fileBytes(attachmentFolder() + QStringLiteral("/本文.txt"));
        // The whole text, in UTF-8.
        EXPECT_EQ(QString::fromUtf8(whole).trimmed(), line.trimmed());
      } else {
        EXPECT_TRUE(fileBytes(attachmentFolder() + QStringLiteral("/flat.bin")) == data);
      }
    }
  }
}

// ---- Large texts ----

// Bytes of text in another charset (iconv; every character given fits).
QByteArray encodedAs(const QString& text, const char* charset) {
  if (QByteArray(charset) == "ISO-2022-JP") return iso2022jp(text);
  const QByteArray in = text.toUtf8();
  if (QByteArray(charset) == "UTF-8") return in;
  iconv_t cd = iconv_open(charset, "UTF-8");
  QByteArray out(in.size() * 2 + 16, '\0');
  char* src = const_cast<char*>(in.constData());
  std::size_t srcLeft = static_cast<std::size_t>(in.size());
  char* dst = out.data();
  std::size_t dstLeft = static_cast<std::size_t>(out.size());
  iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  out.truncate(out.size() - static_cast<qsizetype>(dstLeft));
  return out;
}

QByteArray base64Lines(const QByteArray& data) {
  const QByteArray b64 = data.toBase64();
  QByteArray lines;
  lines.reserve(b64.size() + b64.size() / 76 * 2 + 2);
  for (qsizetype at = 0; at < b64.size(); at += 76) lines += b64.mid(at, 76) + "\n";
  return lines;
}

// Quoted-printable, lines of at most 76 characters (soft breaks).
QByteArray quotedPrintable(const QByteArray& data) {
  QByteArray out;
  out.reserve(data.size() * 3);
  int column = 0;
  for (char ch : data) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      out += '\n';
      column = 0;
      continue;
    }
    const bool plain = c >= 0x21 && c <= 0x7E && c != '=';
    const int width = plain ? 1 : 3;
    if (column + width > 75) {
      out += "=\n";
      column = 0;
    }
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '=';
      out += QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
    }
    column += width;
  }
  return out;
}

// uuencode from its begin line to its end line (data a multiple of 45
// bytes long, so that no line starts with a dot).
QByteArray uuencoded(const QByteArray& data, const QByteArray& name) {
  QByteArray out = "begin 644 " + name + "\n";
  auto ch = [](int v) { return static_cast<char>(v == 0 ? '`' : v + 0x20); };
  for (qsizetype at = 0; at < data.size(); at += 45) {
    const QByteArray line = data.mid(at, 45);
    out += ch(static_cast<int>(line.size()));
    for (qsizetype k = 0; k < line.size(); k += 3) {
      const auto b0 = static_cast<unsigned char>(line[k]);
      const auto b1 = k + 1 < line.size() ? static_cast<unsigned char>(line[k + 1]) : 0;
      const auto b2 = k + 2 < line.size() ? static_cast<unsigned char>(line[k + 2]) : 0;
      out += ch(b0 >> 2);
      out += ch(((b0 << 4) | (b1 >> 4)) & 0x3F);
      out += ch(((b1 << 2) | (b2 >> 6)) & 0x3F);
      out += ch(b2 & 0x3F);
    }
    out += '\n';
  }
  return out + "`\nend\n";
}

// A long text (Japanese, or ASCII only) of lines numbered from 1 to 1000
// over and over, its last line "おしまい" (or "THE END").
QString longText(int lines, bool ascii) {
  QString block;
  for (int i = 1; i <= 1000; ++i)
    block += ascii ? QStringLiteral("Line %1 of a long report, with nothing but ASCII in it\n").arg(i)
                   : QStringLiteral("%1 行目：長い報告書の本文です。ABC と１２３、漢字とかな。\n").arg(i);
  return block.repeated(lines / 1000) + (ascii ? QStringLiteral("THE END\n") : QStringLiteral("おしまい\n"));
}

QByteArray headerOf(const QString& subject, const QByteArray& contentType) {
  return "From: a@example.jp\nTo: me@example.jp\nSubject: " + subject.toUtf8() + "\nDate: " + kDate +
         "\nMIME-Version: 1.0\n" + (contentType.isEmpty() ? QByteArray() : contentType + "\n");
}

QByteArray textPart(const QString& text, const char* charset, const char* encoding, const QByteArray& type = "text/plain") {
  const QByteArray bytes = encodedAs(text, charset);
  QByteArray body = QByteArray(encoding) == "base64"             ? base64Lines(bytes)
                    : QByteArray(encoding) == "quoted-printable" ? quotedPrintable(bytes)
                                                                 : bytes;
  return "Content-Type: " + type + "; charset=" + charset + "\nContent-Transfer-Encoding: " + encoding + "\n\n" + body;
}

// The check holds less than twice a mail at its peak when what is large is
// its text, however it is encoded; the record keeps the beginning of the
// text and says where the whole text is, and the file holds it all.
TEST_F(ReceiveMailScriptedTest, PeakMemoryStaysUnderTwiceALargeText) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer keeps freed memory for a while";
#endif
  constexpr int kLines = 150000;  // mails of 9 to 45 MB
  const QString jp = longText(kLines, false), ascii = longText(kLines, true);
  QString rows;
  for (int i = 1; i <= 1000; ++i)
    rows += QStringLiteral("<p>%1 行目：<b>長い</b>報告書の本文です。<a href=\"https://example.jp/%1\">リンク</a></p>\n").arg(i);
  const QString html = QStringLiteral("<html><head><style>p {color: red}</style></head><body>\n") +
                       rows.repeated(kLines / 1000) + QStringLiteral("<p>おしまい</p></body></html>\n");
  QByteArray uuData = encodedAs(jp, "CP932");
  uuData.append(QByteArray(45 - uuData.size() % 45, '\n'));
  struct Case {
    const char* what;
    QByteArray mail;
    QString first;     // the first line of the text stored
    QString lastLine;  // the last line of the whole text
    bool mixed = false;
  } cases[] = {
      {"7bit ASCII", headerOf(QStringLiteral("ascii"), "") + textPart(ascii, "US-ASCII", "7bit"),
       QStringLiteral("Line 1 of a long report"), QStringLiteral("THE END")},
      {"7bit ISO-2022-JP", headerOf(QStringLiteral("jis"), "") + textPart(jp, "ISO-2022-JP", "7bit"),
       QStringLiteral("1 行目："), QStringLiteral("おしまい")},
      {"8bit UTF-8", headerOf(QStringLiteral("utf8"), "") + textPart(jp, "UTF-8", "8bit"), QStringLiteral("1 行目："),
       QStringLiteral("おしまい")},
      {"8bit Shift_JIS", headerOf(QStringLiteral("sjis"), "") + textPart(jp, "CP932", "8bit"),
       QStringLiteral("1 行目："), QStringLiteral("おしまい")},
      {"quoted-printable UTF-8", headerOf(QStringLiteral("qp"), "") + textPart(jp, "UTF-8", "quoted-printable"),
       QStringLiteral("1 行目："), QStringLiteral("おしまい")},
      {"quoted-printable ASCII", headerOf(QStringLiteral("qp ascii"), "") + textPart(ascii, "UTF-8", "quoted-printable"),
       QStringLiteral("Line 1 of a long report"), QStringLiteral("THE END")},
      {"base64 ISO-2022-JP", headerOf(QStringLiteral("b64 jis"), "") + textPart(jp, "ISO-2022-JP", "base64"),
       QStringLiteral("1 行目："), QStringLiteral("おしまい")},
      {"base64 UTF-8", headerOf(QStringLiteral("b64 utf8"), "") + textPart(ascii, "UTF-8", "base64"),
       QStringLiteral("Line 1 of a long report"), QStringLiteral("THE END")},
      {"base64 Shift_JIS", headerOf(QStringLiteral("b64 sjis"), "") + textPart(jp, "CP932", "base64"),
       QStringLiteral("1 行目："), QStringLiteral("おしまい")},
      {"HTML only", headerOf(QStringLiteral("html"), "") + textPart(html, "UTF-8", "8bit", "text/html"),
       QStringLiteral("1 行目：長い報告書の本文です。リンク <https://example.jp/1>"), QStringLiteral("おしまい")},
      {"uuencoded text", headerOf(QStringLiteral("uu"), "") + "Content-Type: text/plain; charset=Shift_JIS\n"
                          "Content-Transfer-Encoding: x-uuencode\n\n" + uuencoded(uuData, "text.txt"),
       QStringLiteral("1 行目："), QStringLiteral("おしまい")},
      {"alternative", headerOf(QStringLiteral("alternative"), "Content-Type: multipart/alternative; boundary=\"b1\"") +
                          "\n--b1\n" + textPart(jp, "ISO-2022-JP", "7bit") + "--b1\n" +
                          textPart(html, "UTF-8", "quoted-printable", "text/html") + "--b1--\n",
       QStringLiteral("1 行目："), QStringLiteral("おしまい")},
      {"mixed", headerOf(QStringLiteral("mixed"), "Content-Type: multipart/mixed; boundary=\"b1\"") + "\n--b1\n" +
                    textPart(jp.left(jp.size() / 3), "UTF-8", "8bit") + "--b1\n" +
                    textPart(jp.left(jp.size() / 3), "ISO-2022-JP", "7bit") + "--b1\n" +
                    textPart(jp.left(jp.size() / 3), "CP932", "base64") + "--b1--\n",
       QStringLiteral("1 行目："), QString(), true},
  };
  // What a check takes whatever its mails (the windows, the race) is taken once before.
  checkWith({crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("before"), QStringLiteral("x\n")))},
            Pop3Script{false, {}, {}, {}, -1, nullptr});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string> mails{crlf(c.mail)};
    const long long size = static_cast<long long>(mails[0].size());
    const CheckResult r = checkWith(mails, Pop3Script{true, {}, {}, {}, -1, nullptr});
    EXPECT_LT(lastPeak, 2 * size) << lastPeak << " bytes for a mail of " << size;
    EXPECT_EQ(r.errorBoxes, std::vector<std::string>{});
    EXPECT_EQ(r.deleted, (std::set<int>{1}));
    const std::vector<Stored> recs = storedRecords(received());
    ASSERT_EQ(recs.size(), 1u);
    const QString body = trimmedField(recs[0].body);
    EXPECT_TRUE(body.startsWith(c.first)) << body.left(200).toStdString();
    // The record says where the whole text is; the file holds it all.
    const QString note = QStringLiteral("（本文が長いため、全文を添付フォルダの「本文.txt」に UTF-8 で保存しました。）");
    EXPECT_TRUE(body.endsWith(note)) << body.right(200).toStdString();
    const QByteArray whole = fileBytes(attachmentFolder() + QStringLiteral("/本文.txt"));
    const QString text = QString::fromUtf8(whole);
    EXPECT_TRUE(text.startsWith(body.left(body.size() - note.size()).trimmed())) << text.left(200).toStdString();
    EXPECT_TRUE(text.trimmed().endsWith(c.lastLine)) << text.right(200).toStdString();
    EXPECT_GE(text.count(u'\n'), c.mixed ? kLines * 2 / 3 : kLines);
  }
}

// A text a little longer than a record holds: the record keeps its
// beginning and says where the whole text is, the file holds all of it,
// and a short text is stored as ever, with no file.
TEST_F(ReceiveMailScriptedTest, ATextLongerThanARecordIsKeptWholeInAFile) {
  // (with characters CP932 lacks: the file keeps them, in UTF-8)
  const QString text = QStringLiteral("😀 𠮷野家 안녕하세요\n") + longText(1000, false);
  const std::vector<std::string> mails{crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("long"), text)),
                                       crlf(mail(QStringLiteral("a@example.jp"), QStringLiteral("short"), QStringLiteral("短い\n")))};
  const CheckResult r = checkWith(mails, Pop3Script{false, {}, {}, {}, -1, nullptr});
  EXPECT_EQ(r.errorBoxes, std::vector<std::string>{});
  EXPECT_EQ(r.deleted, (std::set<int>{1, 2}));
  const std::vector<Stored> recs = storedRecords(received());
  ASSERT_EQ(recs.size(), 2u);
  const QString body = trimmedField(recs[0].body);
  const QString note = QStringLiteral("\r\n（本文が長いため、全文を添付フォルダの「本文.txt」に UTF-8 で保存しました。）");
  ASSERT_TRUE(body.endsWith(note)) << body.right(200).toStdString();
  QString whole = text;
  whole.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  const QString first = QStringLiteral("😀 𠮷野家 안녕하세요\r\n"), firstStored = QStringLiteral("? ?野家 ?????\r\n");
  EXPECT_TRUE(body.startsWith(firstStored)) << body.left(40).toStdString();
  EXPECT_TRUE(whole.mid(first.size()).startsWith(body.mid(firstStored.size(), body.size() - note.size() - firstStored.size())));
  EXPECT_GT(body.size(), 10000);
  const QByteArray file = fileBytes(attachmentFolder() + QStringLiteral("/本文.txt"));
  EXPECT_EQ(QString::fromUtf8(file), whole);
  EXPECT_EQ(r.attachments.size(), 1);
  EXPECT_EQ(trimmedField(recs[1].body), QStringLiteral("短い\r\n"));
}

TEST_F(ReceiveMailTest, AttachmentsThatCannotBeWrittenKeepTheMailOnTheServer) {
  const QByteArray withFile =
      "From: a@example.jp\nSubject: files\nDate: " + kDate +
      "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b1\"\n\n"
      "--b1\nContent-Type: text/plain; charset=UTF-8\n\nsee the file\n"
      "--b1\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"f.bin\"\n"
      "Content-Transfer-Encoding: base64\n\n" + QByteArray("data").toBase64() + "\n--b1--\n";
  dropMail(user, 1, mail(QStringLiteral("a@example.jp"), QStringLiteral("first"), QStringLiteral("x\n")));
  dropMail(user, 2, withFile);
  dropMail(user, 3, mail(QStringLiteral("a@example.jp"), QStringLiteral("third"), QStringLiteral("y\n")));
  forms::MainForm& m = startDovecot({QStringLiteral("NUMBER28=0")});
  // The attachment folder cannot be made: a file stands in its place.
  ASSERT_TRUE(QDir(attachmentFolder()).removeRecursively());
  writeFile(attachmentFolder(), "not a folder");
  receive();
  ASSERT_EQ(errorBoxes().size(), 1u) << errorTexts();
  const QString box = errorBoxes()[0].prompt;
  EXPECT_TRUE(box.contains(QStringLiteral("メール 2 / 3 の添付ファイルをオープンできません。このメールから後はサーバーに残してあります。")))
      << box.toStdString();
  // No untitled box besides.
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("first")});
  // Mail 1 deleted; mails 2 and 3 wait on the server, read afterwards.
  EXPECT_EQ(countMaildrop(user), 2);
  EXPECT_EQ(iniValue(settings::key::MailTotal), QStringLiteral("1"));
  EXPECT_EQ(race::current(), race::Show::Race);
  EXPECT_EQ(m.Text3->text(), QStringLiteral("1"));

  // With the folder back, they come in.
  ASSERT_TRUE(QFile::remove(attachmentFolder()));
  boxes.clear();
  receive();
  EXPECT_EQ(errorTexts(), "");
  EXPECT_EQ(subjectsOf(received()),
            (QStringList{QStringLiteral("first"), QStringLiteral("files"), QStringLiteral("third")}));
  EXPECT_EQ(fileBytes(attachmentFolder() + QStringLiteral("/f.bin")), QByteArray("data"));
  EXPECT_EQ(countMaildrop(user), 0);
}

// Mail as it is really sent: an HTML text with a mailing list's plain
// footer, a file whose base64 lacks its last padding (two bytes short when
// read carelessly), a file named in Korean. The records and the files come
// out byte for byte; the server's mailbox is empty afterwards.
TEST_F(ReceiveMailTest, MailAsListsAndMailersSendItIsStoredWhole) {
  const QByteArray html =
      "--h1\nContent-Type: text/html; charset=ISO-2022-JP\n\n" +
      iso2022jp(QStringLiteral("<html><head><title>号外</title><style>div { color: red }</style>"
                               "<script>track();</script></head><body><!-- id 123 -->\n<div>お知らせです。</div>"
                               "<p>詳細は<a href=\"https://example.jp/n\">こちら</a>&amp;添付を。<br>以上</p></body></html>\n")) +
      "--h1\nContent-Type: text/plain; charset=us-ascii\n\n--\nML: https://lists.example.jp/info\n--h1--\n";
  dropMail(user, 1,
           "From: ml@example.jp\nSubject: " + encodedWord(QStringLiteral("号外")) + "\nDate: " + kDate +
               "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"h1\"\n\n" + html);
  QByteArray data;
  for (int i = 0; i < 3 * 700 + 2; ++i) data += static_cast<char>((i * 37 + 11) & 0xFF);
  QByteArray unpadded = data.toBase64();
  ASSERT_TRUE(unpadded.endsWith('='));
  unpadded.chop(1);
  QByteArray lines;
  for (qsizetype at = 0; at < unpadded.size(); at += 76) lines += unpadded.mid(at, 76) + "\n";
  dropMail(user, 2,
           "From: b@example.jp\nSubject: data\nDate: " + kDate +
               "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b1\"\n\n"
               "--b1\nContent-Type: text/plain; charset=UTF-8\n\n" + QStringLiteral("ファイルを送ります。").toUtf8() +
               "\n--b1\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"data.bin\"\n"
               "Content-Transfer-Encoding: base64\n\n" + lines + "--b1--\n");
  const QString korean = QStringLiteral("보고서 2026.txt");
  QByteArray pct;
  for (char c : korean.toUtf8()) pct += '%' + QByteArray::number(static_cast<unsigned char>(c), 16).toUpper();
  dropMail(user, 3,
           "From: c@example.jp\nSubject: " + encodedWord(QStringLiteral("資料 한국")) + "\nDate: " + kDate +
               "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"k1\"\n\n"
               "--k1\nContent-Type: text/plain; charset=UTF-8\n\nsee file\n"
               "--k1\nContent-Type: text/plain; charset=UTF-8\nContent-Disposition: attachment; filename*=UTF-8''" + pct +
               "\nContent-Transfer-Encoding: base64\n\n" + QStringLiteral("안녕하세요\r\n").toUtf8().toBase64() + "\n--k1--\n");
  startDovecot();
  receive();

  EXPECT_EQ(errorTexts(), "");
  const std::vector<Stored> recs = storedRecords(received());
  ASSERT_EQ(recs.size(), 3u);
  const QString notice = QStringLiteral("\r\n") + QString::fromUtf16(kAttachmentNotice);
  const struct {
    QString subject, from, body;
  } expected[] = {
      {QStringLiteral("号外"), QStringLiteral("ml@example.jp"),
       QStringLiteral("お知らせです。\r\n詳細はこちら <https://example.jp/n>&添付を。\r\n以上\r\n--\r\nML: https://lists.example.jp/info")},
      {QStringLiteral("data"), QStringLiteral("b@example.jp"), QStringLiteral("ファイルを送ります。") + notice},
      // Hangul has no CP932 form: "?" in the record, and only there.
      {QStringLiteral("資料 ??"), QStringLiteral("c@example.jp"), QStringLiteral("see file") + notice},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(recs[i].subject, field(expected[i].subject, 100)) << i;
    EXPECT_EQ(recs[i].date, field(QString::fromLatin1(kDate), 90)) << i;
    EXPECT_EQ(recs[i].from, field(expected[i].from, 90)) << i;
    EXPECT_EQ(recs[i].body, field(expected[i].body, 32000)) << trimmedField(recs[i].body).toStdString();
    EXPECT_EQ(recs[i].lineEnd, QByteArray("\r\n"));
    EXPECT_EQ(recs[i].live, QByteArray("\x01\x00", 2));
  }
  EXPECT_EQ(fileBytes(attachmentFolder() + QStringLiteral("/data.bin")), data);
  EXPECT_EQ(fileBytes(attachmentFolder() + u'/' + korean), QStringLiteral("안녕하세요\r\n").toUtf8());
  EXPECT_EQ(QDir(attachmentFolder()).entryList(QDir::Files),
            (QStringList{QStringLiteral("data.bin"), korean}));
  // Stored, then deleted on the server: the mailbox, read afresh, is empty.
  EXPECT_EQ(countMaildrop(user), 0);
  EXPECT_TRUE(lastSessionOf(user).contains(QStringLiteral("del=3/3"))) << lastSessionOf(user).toStdString();
}

// ---- The automatic check, driven tick by tick ----

class ReceiveMailTimerTest : public ReceiveMailTest {
 protected:
  // Runs ticks and returns the tick numbers (from 1) at which a check ran.
  std::vector<int> ticks(int count) {
    std::vector<int> at;
    forms::MainForm& m = MainForm();
    for (int t = 1; t <= count; ++t) {
      m.Text17->setText(QStringLiteral("-"));
      AutoCheckTick();
      if (m.Text17->text() == QStringLiteral("0")) at.push_back(t);
    }
    return at;
  }
};

TEST_F(ReceiveMailTimerTest, IntervalRule) {
  struct Case {
    const char* text6;
    std::vector<int> checks;  // within 200 ticks
    const char* label;        // timeLabel1 afterwards
  } cases[] = {
      {"1", {60, 120, 180}, "0"},
      {"2", {120}, "1"},
      {"3", {180}, "0"},
      {"01", {60, 120, 180}, "0"},  // the minutes are numbers, not texts
      {"1.0", {60, 120, 180}, "0"},
      {" 2", {120}, "1"},
      {"1.5", {120}, "1"},  // a part of a minute waits for the next whole one
      {"0", {}, "0"},     // off: the label is not changed
      {"", {}, "0"},      // (the settings window makes it "0")
      {"abc", {}, "0"},   // no number: the tick does nothing
      {"-2", {}, "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text6);
    startWith(QString());  // no server: every check ends in the note at once
    SetForm().Text6->setText(QString::fromLatin1(c.text6));
    EXPECT_EQ(ticks(200), c.checks);
    EXPECT_EQ(MainForm().timeLabel1->text(), QString::fromLatin1(c.label));
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

TEST_F(ReceiveMailTimerTest, ChangingTheIntervalRestartsTheCount) {
  startWith(QString());
  SetForm().Text6->setText(QStringLiteral("3"));
  EXPECT_TRUE(ticks(150).empty());
  EXPECT_EQ(MainForm().timeLabel1->text(), QStringLiteral("2"));
  // Lowered below the minutes already counted: the count starts again.
  SetForm().Text6->setText(QStringLiteral("1"));
  EXPECT_EQ(ticks(130), (std::vector<int>{60, 120}));
  // The hidden reset button does the same.
  SetForm().Text6->setText(QStringLiteral("2"));
  ticks(100);
  MainForm().Command3->click();
  EXPECT_EQ(MainForm().timeLabel1->text(), QStringLiteral("0"));
  EXPECT_EQ(ticks(120), std::vector<int>{120});
}

TEST_F(ReceiveMailTimerTest, AnIntervalTypedOverTheEmptiedBoxRuns) {
  startWith(QString());
  QLineEdit* box = SetForm().Text6;
  // Emptying the box puts "0" in it; the 2 typed after it makes "02".
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(box, Qt::Key_Backspace);
  QTest::keyClicks(box, QStringLiteral("2"));
  ASSERT_EQ(box->text(), QStringLiteral("02"));
  EXPECT_EQ(ticks(250), (std::vector<int>{120, 240}));
}

TEST_F(ReceiveMailTimerTest, TheAutomaticCheckFetchesMail) {
  dropMail(user, 1, mail(QStringLiteral("a@example.jp"), QStringLiteral("on time"), QStringLiteral("x\n")));
  startDovecot();
  SetForm().Text6->setText(QStringLiteral("1"));
  for (int i = 0; i < 59; ++i) AutoCheckTick();
  EXPECT_EQ(countMaildrop(user), 1);
  AutoCheckTick();
  EXPECT_EQ(countMaildrop(user), 0);
  EXPECT_EQ(subjectsOf(received()), QStringList{QStringLiteral("on time")});
  EXPECT_EQ(MainForm().Label5->text(), QStringLiteral("メールを受信します。"));
}

}  // namespace
