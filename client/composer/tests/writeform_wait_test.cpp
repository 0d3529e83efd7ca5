// The composer while its mail goes: the window paints and answers while the
// server holds its answer, but a second click on "送信" sends nothing more
// and the window cannot be closed under the send.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/composer/tests/writeform_fixture.h"
#include "nmail/tests/servers/servers.h"

using namespace writetest;

namespace {

// An SMTP server on loopback that takes every mail but holds its answer to
// the end of the first DATA until released. Every connection is counted.
class HoldingSmtp {
 public:
  HoldingSmtp() {
    listen_ = testservers::listenOnLoopback(8, port_);
    acceptor_ = std::thread([this] {
      for (;;) {
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) return;
        ++connections_;
        served_.emplace_back([this, fd] { serve(fd); });
      }
    });
  }
  ~HoldingSmtp() {
    released_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    acceptor_.join();
    for (std::thread& t : served_) t.join();
  }
  QString server() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
  bool holding() const { return holding_; }
  void release() { released_ = true; }
  int connections() const { return connections_; }
  int mails() const { return mails_; }

 private:
  void serve(int fd) {
    auto send = [&](const std::string& s) { (void)!::send(fd, s.data(), s.size(), MSG_NOSIGNAL); };
    send("220 holding\r\n");
    std::string pending;
    char buf[4096];
    bool inData = false;
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
      if (inData) {
        if (line != ".") continue;
        inData = false;
        if (!heldOnce_.exchange(true)) {
          holding_ = true;
          while (!released_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
          holding_ = false;
        }
        ++mails_;
        send("250 taken\r\n");
      } else if (line == "DATA") {
        inData = true;
        send("354 go on\r\n");
      } else if (line == "QUIT") {
        send("221 bye\r\n");
      } else {
        send("250 ok\r\n");
      }
    }
  }

  int listen_ = -1, port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> served_;
  std::atomic<int> connections_{0}, mails_{0};
  std::atomic<bool> holding_{false}, released_{false}, heldOnce_{false};
};

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

TEST_F(WriteFormTest, WhileTheMailGoesTheWindowPaintsButTakesNoClickAndStays) {
  start();
  HoldingSmtp server;
  SmtpServer = server.server();
  forms::WriteForm& w = openComposer();
  QPointer<forms::WriteForm> self(&w);
  w.ToText->setText(QStringLiteral("held@example.jp"));
  w.SubjectText->setText(QStringLiteral("held"));
  SetEditorText(w.rtfEd, QStringLiteral("body"));
  PaintCounter paints;
  w.installEventFilter(&paints);
  w.Label7->installEventFilter(&paints);
  bool acted = false, stayed = false, oneSession = false;
  int paintsWhileHeld = 0;
  auto* t = new QTimer(&::MainForm());
  t->setInterval(2);
  QObject::connect(t, &QTimer::timeout, t, [&, t] {
    if (!server.holding()) return;
    t->stop();
    t->deleteLater();
    acted = true;
    const int before = paints.paints;
    w.Label7->update();
    QTest::mouseClick(w.Command1, Qt::LeftButton);  // a second send
    w.close();                                      // the title bar's close
    stayed = self && WriteFormLoaded() && w.isVisible();
    for (int k = 0; k < 20 && paints.paints == before; ++k) QTest::qWait(5);
    paintsWhileHeld = paints.paints - before;
    oneSession = server.connections() == 1;
    server.release();
  });
  t->start();
  QTest::mouseClick(w.Command1, Qt::LeftButton);
  EXPECT_TRUE(acted);
  EXPECT_TRUE(stayed);
  EXPECT_GT(paintsWhileHeld, 0);
  EXPECT_TRUE(oneSession);
  EXPECT_EQ(server.mails(), 1);
  EXPECT_EQ(server.connections(), 1);
  EXPECT_TRUE(boxes.empty());
  // Done as ever: the composer reported completion and closed.
  EXPECT_FALSE(WriteFormLoaded());
}
