// The mail check keeps the windows answering: real input events are
// handled while the server holds its answer, a second check asked for
// meanwhile does not start, closing the main window ends the program with
// every mail not stored still on the server, and a server that trickles
// its answer ends the check as a broken connection does.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "client/history/tyakuform.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/tests/mainform_fixture.h"
#include "nmail/nmail.h"
#include "nmail/tests/servers/servers.h"

using namespace mainformtest;
using Clock = std::chrono::steady_clock;

namespace {

// A POP3 server on loopback that serves text mails and, at the RETR of one
// mail, holds its answer until released (or trickles it a byte at a time).
// Every connection is counted.
class HoldingPop3 {
 public:
  struct Options {
    bool pipelining = false;
    int hold = 0;          // the mail whose RETR is held
    bool trickle = false;  // held as one byte every 100 ms
  };
  // large: mails served in place of the short text (CR LF, no line that
  // begins with a dot).
  HoldingPop3(int mails, Options o, std::map<int, std::string> large = {})
      : mails_(mails), o_(o), large_(std::move(large)) {
    listen_ = testservers::listenOnLoopback(8, port_);
    acceptor_ = std::thread([this] {
      for (;;) {
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) return;
        std::lock_guard<std::mutex> l(mutex_);
        ++connections_;
        served_.emplace_back([this, fd] { serve(fd); });
      }
    });
  }
  ~HoldingPop3() {
    released_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    acceptor_.join();
    for (std::thread& t : served_) t.join();
  }
  QString server() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
  bool holding() const { return holding_; }
  void release() { released_ = true; }
  int connections() {
    std::lock_guard<std::mutex> l(mutex_);
    return connections_;
  }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> l(mutex_);
    return commands_;
  }
  bool got(const std::string& c) {
    for (const std::string& s : commands())
      if (s == c) return true;
    return false;
  }
  // Waits (at most 5 s) until the client has hung up.
  bool waitClosed() {
    for (int k = 0; k < 500 && !closed_; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return closed_;
  }
  std::string text(int i) const {
    const auto it = large_.find(i);
    return it != large_.end() ? it->second : mail(i);
  }
  static std::string mail(int i) {
    return "From: a" + std::to_string(i) + "@example.jp\r\nSubject: mail " + std::to_string(i) +
           "\r\nDate: Wed, 2 Dec 2026 11:00:00 +0900\r\n\r\nbody of mail " + std::to_string(i) + "\r\n";
  }

 private:
  void serve(int fd) {
    auto send = [&](const std::string& s) { (void)!::send(fd, s.data(), s.size(), MSG_NOSIGNAL); };
    // Gone: the client closed its end.
    // (Commands sent ahead may still wait unread before the end.)
    auto gone = [&] {
      pollfd p{fd, POLLRDHUP, 0};
      return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    };
    send("+OK holding\r\n");
    std::string pending;
    char buf[4096];
    for (;;) {
      std::size_t eol;
      while ((eol = pending.find("\r\n")) == std::string::npos) {
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0) {
          ::close(fd);
          closed_ = true;
          return;
        }
        pending.append(buf, static_cast<std::size_t>(r));
      }
      const std::string line = pending.substr(0, eol);
      pending.erase(0, eol + 2);
      {
        std::lock_guard<std::mutex> l(mutex_);
        commands_.push_back(line);
      }
      const std::string verb = line.substr(0, line.find(' '));
      const int no = line.size() > verb.size() ? std::atoi(line.c_str() + verb.size() + 1) : 0;
      if (verb == "CAPA") {
        send(o_.pipelining ? "+OK\r\nTOP\r\nUSER\r\nPIPELINING\r\n.\r\n" : "-ERR\r\n");
      } else if (verb == "STAT") {
        send("+OK " + std::to_string(mails_) + " 0\r\n");
      } else if (line == "LIST") {
        std::string all = "+OK\r\n";
        for (int i = 1; i <= mails_; ++i) all += std::to_string(i) + " " + std::to_string(text(i).size()) + "\r\n";
        send(all + ".\r\n");
      } else if (verb == "LIST") {
        send("+OK " + std::to_string(no) + " " + std::to_string(text(no).size()) + "\r\n");
      } else if (line == "UIDL") {
        std::string all = "+OK\r\n";
        for (int i = 1; i <= mails_; ++i) all += std::to_string(i) + " uid-" + std::to_string(i) + "\r\n";
        send(all + ".\r\n");
      } else if (verb == "TOP") {
        const std::string m = text(no);
        send("+OK\r\n" + m.substr(0, m.find("\r\n\r\n") + 4) + ".\r\n");
      } else if (verb == "RETR") {
        if (no == o_.hold) {
          holding_ = true;
          if (o_.trickle) {
            send("+OK\r\nSubject: slow\r\n");
            for (int k = 0; k < 200 && !gone() && !released_; ++k) {
              send("x");
              std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
          } else {
            while (!released_ && !gone()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
          holding_ = false;
        }
        send("+OK\r\n" + text(no) + ".\r\n");
      } else if (verb == "QUIT") {
        send("+OK bye\r\n");
      } else {
        send("+OK\r\n");
      }
    }
  }

  int mails_;
  Options o_;
  std::map<int, std::string> large_;
  int listen_ = -1, port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> served_;
  std::mutex mutex_;
  int connections_ = 0;
  std::vector<std::string> commands_;
  std::atomic<bool> holding_{false}, released_{false}, closed_{false};
};

class CheckWaitTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 10000);
    // The race's sound: a short silent wave.
    QByteArray wav("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0data", 40);
    const QByteArray samples(800, '\x80');
    const quint32 dataSize = samples.size(), riffSize = 36 + dataSize;
    wav.append(reinterpret_cast<const char*>(&dataSize), 4);
    wav.replace(4, 4, QByteArray(reinterpret_cast<const char*>(&riffSize), 4));
    QDir(dir.path()).mkpath(QStringLiteral("Sound"));
    writeFile(dir.path() + QStringLiteral("/Sound/Kouka.wav"), wav + samples);
  }
  void TearDown() override {
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);
    MainFormTest::TearDown();
  }

  // A round of its own: no window, no race, no instance lock, no list.
  void freshRound() {
    destroyWindows();
    race::reset();
    startup::releaseInstanceLock();
    QFile::remove(path(records::kReceivedFile));
  }

  forms::MainForm& startWith(const QString& pop3, const std::string& user = "user",
                             const std::string& password = "pw") {
    QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
    writeFile(dir.path() + QStringLiteral("/xqmail.ini"),
              sjis(QStringLiteral("SMTP=127.0.0.1:21025\r\nPOP3=%1\r\nMAIL=me@example.jp\r\nAPOP= 0\r\n").arg(pop3)));
    writeFile(dir.path() + QStringLiteral("/★MailData/iniIdPass.ini"),
              sjis(QStringLiteral("[EXEINI]\r\nNAME=%1\r\nNAME2=%2\r\nNAME3=1\r\n")
                       .arg(QString::fromStdString(user), QString::fromStdString(password))));
    forms::MainForm& m = start({QStringLiteral("NUMBER28=0")});
    m.Show();
    return m;
  }

  // Runs action once from the event queue as soon as ready() holds.
  void whenReady(std::function<bool()> ready, std::function<void()> action) {
    auto* t = new QTimer(&MainForm());
    t->setInterval(2);
    QObject::connect(t, &QTimer::timeout, t, [t, ready, action] {
      if (!ready()) return;
      t->stop();
      t->deleteLater();
      action();
    });
    t->start();
  }

  QStringList stored() const {
    std::vector<records::MailRecord> all;
    records::MailFile(records::kReceivedFile).readAll(all);
    QStringList out;
    for (const auto& r : all) out << vb::Trim(r.Subject);
    return out;
  }

  std::vector<seams::MsgBoxCall> errorBoxes() const {
    std::vector<seams::MsgBoxCall> out;
    for (const auto& b : boxes)
      if (b.title == QStringLiteral("エラー")) out.push_back(b);
    return out;
  }
};

// Counts the paints of a widget.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace

// While the server holds its answer to a retrieval: a repaint is painted,
// a click on "着信履歴" opens the received list, and a click on "受信" or
// the receive menu entry starts no second check; then the check goes on to
// its end, every mail stored, in one session.
TEST_F(CheckWaitTest, EventsAreHandledWhileTheServerHoldsItsAnswer) {
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    freshRound();
    HoldingPop3 server(3, {pipelining, 2, false});
    forms::MainForm& m = startWith(server.server());
    PaintCounter paints;
    m.picMain->installEventFilter(&paints);
    bool acted = false, listShown = false, stillOneSession = false;
    int paintsWhileHeld = 0;
    whenReady([&] { return server.holding(); },
              [&] {
                acted = true;
                ASSERT_TRUE(MailCheckRunning());
                const int before = paints.paints;
                m.picMain->update();
                QTest::mouseClick(m.Label8, Qt::LeftButton);
                m.mjyushin->trigger();
                QTest::mouseClick(m.Label7, Qt::LeftButton);
                listShown = TyakuFormLoaded() && ::TyakuForm().isVisible();
                // The repaint comes with the next turn of the queue.
                for (int k = 0; k < 20 && paints.paints == before; ++k) QTest::qWait(5);
                paintsWhileHeld = paints.paints - before;
                stillOneSession = server.connections() == 1;
                server.release();
              });
    m.Label8_Click();
    EXPECT_TRUE(acted);
    EXPECT_TRUE(listShown);
    EXPECT_GT(paintsWhileHeld, 0);
    EXPECT_TRUE(stillOneSession);
    EXPECT_FALSE(MailCheckRunning());
    EXPECT_EQ(stored(), (QStringList{QStringLiteral("mail 1"), QStringLiteral("mail 2"), QStringLiteral("mail 3")}));
    EXPECT_TRUE(errorBoxes().empty());
    EXPECT_EQ(server.connections(), 1);
    int users = 0;
    for (const std::string& c : server.commands()) users += c.rfind("USER ", 0) == 0;
    EXPECT_EQ(users, 1);
    EXPECT_TRUE(server.got("QUIT"));
    m.picMain->removeEventFilter(&paints);
  }
}

// A keyword registered while the server holds mail 2 (the keyword window
// works during the check) holds for the mails after it: mail 3 is spam.
TEST_F(CheckWaitTest, AKeywordRegisteredMidCheckHoldsForTheMailsAfter) {
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    freshRound();
    QFile::remove(path(records::kSpamKeywordFile));
    HoldingPop3 server(3, {pipelining, 2, false});
    forms::MainForm& m = startWith(server.server());
    whenReady([&] { return server.holding(); },
              [&] {
                records::SpamKeywordFile f(records::kSpamKeywordFile);
                records::SpamKeywordRecord r;
                r.Keyword = QStringLiteral("mail 3");
                EXPECT_GT(f.append(r), 0);
                server.release();
              });
    m.Label8_Click();
    EXPECT_EQ(stored(), (QStringList{QStringLiteral("mail 1"), QStringLiteral("mail 2")}));
    EXPECT_EQ(m.Text17->text(), QStringLiteral("1"));
    EXPECT_TRUE(server.got("DELE 3"));
    EXPECT_TRUE(errorBoxes().empty());
  }
}

// The main window closed while the server holds mail 3: the program ends
// at once, without QUIT, so the server deletes nothing; mails 1 and 2 are
// stored (and come again), none is lost.
TEST_F(CheckWaitTest, ClosingTheWindowMidCheckLeavesEveryMailOnTheServer) {
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    freshRound();
    HoldingPop3 server(5, {pipelining, 3, false});
    forms::MainForm& m = startWith(server.server());
    whenReady([&] { return server.holding(); }, [&] { m.close(); });
    EXPECT_THROW(m.Label8_Click(), ui::EndCalled);
    EXPECT_GE(ends, 1);
    EXPECT_TRUE(server.waitClosed());
    EXPECT_FALSE(server.got("QUIT"));
    // With pipelining mail 3 is asked for (and held) while mails 1 and 2 may
    // still be on their way: what is stored is the first of them in order.
    if (pipelining) {
      const QStringList first{QStringLiteral("mail 1"), QStringLiteral("mail 2")};
      EXPECT_EQ(stored(), first.mid(0, stored().size())) << stored().join(u',').toStdString();
    } else {
      EXPECT_EQ(stored(), (QStringList{QStringLiteral("mail 1"), QStringLiteral("mail 2")}));
    }
    EXPECT_FALSE(MailCheckRunning());
    server.release();
  }
}

// The same against the real server: closed as soon as the first mail is
// stored, every mail is still in the maildrop.
TEST_F(CheckWaitTest, ClosingTheWindowMidCheckAgainstTheRealServer) {
  const std::string user = "client29";
  const QString drop = QString::fromStdString(testservers::maildrop(user));
  auto count = [&] {
    int n = 0;
    for (const char* sub : {"new", "cur"}) n += QDir(drop + u'/' + QLatin1String(sub)).entryList(QDir::Files).size();
    return n;
  };
  for (const char* sub : {"new", "cur", "tmp"}) {
    QDir d(drop + u'/' + QLatin1String(sub));
    for (const QString& f : d.entryList(QDir::Files)) d.remove(f);
  }
  constexpr int kMails = 60;
  std::string big(20000, 'x');
  for (int i = 1; i <= kMails; ++i) {
    const QString name = QStringLiteral("%1.M%2P%3.wait").arg(1000000000 + i).arg(i).arg(::getpid());
    const QString tmp = drop + QStringLiteral("/tmp/") + name;
    writeFile(tmp, QByteArray::fromStdString(HoldingPop3::mail(i) + big + "\r\n"));
    ASSERT_EQ(::chown(QFile::encodeName(tmp).constData(), 65534, 65534), 0);
    ASSERT_TRUE(QFile::rename(tmp, drop + QStringLiteral("/new/") + name));
  }
  forms::MainForm& m = startWith(QString::fromLatin1(testservers::kPop3Server), user, testservers::password(user));
  whenReady([&] { return records::MailFile(records::kReceivedFile).count() >= 1; }, [&] { m.close(); });
  EXPECT_THROW(m.Label8_Click(), ui::EndCalled);
  const int storedCount = records::MailFile(records::kReceivedFile).count();
  EXPECT_GE(storedCount, 1);
  EXPECT_LT(storedCount, kMails);
  // The server sees the connection go without QUIT: it deletes nothing.
  for (int k = 0; k < 100 && count() != kMails; ++k) QTest::qWait(20);
  EXPECT_EQ(count(), kMails);
}

// A server that trickles the answer to mail 2 one byte every tenth of a
// second: that answer is given up at about the timeout, as a broken
// connection; mail 2 stays on the server, named in an "エラー" box, and a
// new connection deletes mail 1 and brings mail 3.
TEST_F(CheckWaitTest, ATricklingMailIsGivenUpAndTheCheckGoesOnOverANewConnection) {
  HoldingPop3 server(3, {true, 2, true});
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 1000);
  forms::MainForm& m = startWith(server.server());
  const auto t0 = Clock::now();
  m.Label8_Click();
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(4000));
  EXPECT_EQ(stored(), (QStringList{QStringLiteral("mail 1"), QStringLiteral("mail 3")}));
  ASSERT_EQ(errorBoxes().size(), 1u);
  const QString text = errorBoxes()[0].prompt;
  EXPECT_TRUE(text.contains(QStringLiteral("メール 2 / 3 を最後まで受信できませんでした。"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("時間切れ"))) << text.toStdString();
  EXPECT_EQ(server.connections(), 2);
  // Mails 1 and 3 are deleted (the first session's deletion of mail 1 went
  // with it, and the second asks again), never mail 2.
  const std::vector<std::string> c = server.commands();
  EXPECT_EQ(std::count(c.begin(), c.end(), "DELE 1"), 2);
  EXPECT_EQ(std::count(c.begin(), c.end(), "DELE 3"), 1);
  EXPECT_EQ(std::count(c.begin(), c.end(), "DELE 2"), 0);
  EXPECT_EQ(std::count(c.begin(), c.end(), "UIDL"), 2);
  EXPECT_TRUE(server.got("QUIT"));
  EXPECT_FALSE(MailCheckRunning());
}

// While one large mail is decoded (its file written, its long text turned
// into CP932 and written), the window takes real input: a click on
// "着信履歴" opens the received list and a repaint is painted, before the
// mail is stored; then the check ends with the mail stored whole.
TEST_F(CheckWaitTest, InputIsHandledWhileOneLargeMailIsDecoded) {
  QByteArray data(40 << 20, '\0');
  for (qsizetype k = 0; k < data.size(); ++k) data[k] = static_cast<char>((k * 2654435761u) >> 13);
  QByteArray b64;
  const QByteArray flat = data.toBase64();
  for (qsizetype at = 0; at < flat.size(); at += 76) b64 += flat.mid(at, 76) + "\r\n";
  QByteArray html;
  for (int i = 1; html.size() < (24 << 20); ++i)
    html += QStringLiteral("<p><b>%1</b> 行目：長い報告書の本文です。<a href=\"https://example.jp/%1\">リンク</a></p>\r\n")
                .arg(i)
                .toUtf8();
  const std::string head = "From: big@example.jp\r\nSubject: large\r\nDate: Wed, 2 Dec 2026 11:00:00 +0900\r\n"
                           "MIME-Version: 1.0\r\n";
  struct Case {
    const char* what;
    std::string mail;
    QString file;     // the file written while the mail is decoded
    qsizetype whole;  // its length at the end (at least)
  } cases[] = {
      {"a 40 MB attachment",
       head + "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\nsee the file\r\n"
              "--b1\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"big.bin\"\r\n"
              "Content-Transfer-Encoding: base64\r\n\r\n" + b64.toStdString() + "--b1--\r\n",
       QStringLiteral("big.bin"), data.size()},
      {"a 24 MB HTML text",
       head + "Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + html.toStdString(),
       QStringLiteral("本文.txt"), 8 << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    freshRound();
    const QString folder = dir.path() + QStringLiteral("/添付フォルダ");
    QDir(folder).removeRecursively();
    HoldingPop3::Options o;
    o.pipelining = true;
    HoldingPop3 server(2, o, {{1, c.mail}});
    forms::MainForm& m = startWith(server.server());
    PaintCounter paints;
    m.picMain->installEventFilter(&paints);
    bool acted = false, listShown = false, notYetStored = false, painted = false;
    qsizetype sizeThen = -1;
    const QString file = folder + u'/' + c.file;
    whenReady([&] { return QFileInfo(file).size() > 0; },
              [&] {
                acted = true;
                ASSERT_TRUE(MailCheckRunning());
                sizeThen = QFileInfo(file).size();
                notYetStored = stored().isEmpty();
                const int before = paints.paints;
                m.picMain->update();
                QTest::mouseClick(m.Label7, Qt::LeftButton);
                listShown = TyakuFormLoaded() && ::TyakuForm().isVisible();
                // The repaint comes with the next turn, still within the mail.
                for (int k = 0; k < 40 && paints.paints == before; ++k) QTest::qWait(5);
                painted = paints.paints > before;
              });
    m.Label8_Click();
    EXPECT_TRUE(acted);
    EXPECT_TRUE(notYetStored);
    EXPECT_TRUE(listShown);
    EXPECT_TRUE(painted);
    EXPECT_GT(sizeThen, 0);
    EXPECT_GE(QFileInfo(file).size(), c.whole);
    EXPECT_EQ(stored(), (QStringList{QStringLiteral("large"), QStringLiteral("mail 2")}));
    EXPECT_TRUE(errorBoxes().empty());
    EXPECT_TRUE(server.got("DELE 1"));
    EXPECT_TRUE(server.got("QUIT"));
    m.picMain->removeEventFilter(&paints);
  }
}
