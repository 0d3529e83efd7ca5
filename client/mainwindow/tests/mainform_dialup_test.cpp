// Hanging up the dial-up links: pppd's pid files in a run folder of the test's own.
#include <QProcess>
#include <QThread>

#include "client/mainwindow/tests/mainform_fixture.h"
#include "platform/dialup.h"

using namespace mainformtest;

namespace {

// A process that calls itself pppd (a copy of sleep under that name).
struct FakeProcess {
  QProcess p;
  FakeProcess(const QString& folder, const QString& name) {
    const QString exe = folder + u'/' + name;
    QFile::copy(QStringLiteral("/bin/sleep"), exe);
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    p.start(exe, {QStringLiteral("30")});
    p.waitForStarted();
  }
  ~FakeProcess() {
    if (p.state() != QProcess::NotRunning) {
      p.kill();
      p.waitForFinished();
    }
  }
  qint64 pid() const { return p.processId(); }
};

}  // namespace

class DialupTest : public MainFormTest {
 protected:
  QTemporaryDir run;
  void SetUp() override {
    MainFormTest::SetUp();
    ASSERT_TRUE(run.isValid());
    dialup::setRunFolder(run.path());
  }
  void TearDown() override {
    dialup::setRunFolder(QString());
    MainFormTest::TearDown();
  }
  void pidFile(const QString& name, qint64 pid, const QByteArray& more = {}) {
    writeFile(run.path() + u'/' + name, QByteArray::number(pid) + "\n" + more);
  }
};

TEST_F(DialupTest, HangUpEndsEveryPppdAndNothingElse) {
  FakeProcess ppp(dir.path(), QStringLiteral("pppd"));
  FakeProcess other(dir.path(), QStringLiteral("sleep"));
  ASSERT_GT(ppp.pid(), 0);
  pidFile(QStringLiteral("ppp0.pid"), ppp.pid());
  pidFile(QStringLiteral("ppp-provider.pid"), ppp.pid(), "ppp0\n");
  pidFile(QStringLiteral("ppp1.pid"), other.pid());  // stale: the id now names another program
  pidFile(QStringLiteral("ppp2.pid"), 0);
  writeFile(run.path() + QStringLiteral("/ppp3.pid"), "garbage\n");

  QList<dialup::Link> links;
  ASSERT_TRUE(dialup::enumLinks(links));
  ASSERT_EQ(links.size(), 1);  // one link, listed once
  EXPECT_EQ(links[0].pid, ppp.pid());

  forms::MainForm& f = start();
  f.Command2_Click();
  EXPECT_TRUE(ppp.p.waitForFinished(5000));
  EXPECT_EQ(ppp.p.exitStatus(), QProcess::CrashExit);  // ended by its signal
  QThread::msleep(50);
  EXPECT_EQ(other.p.state(), QProcess::Running);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DialupTest, NoLinkOrNoRunFolderDoesNothing) {
  forms::MainForm& f = start();
  f.Command2_Click();
  dialup::setRunFolder(run.path() + QStringLiteral("/missing"));
  QList<dialup::Link> links;
  EXPECT_FALSE(dialup::enumLinks(links));
  f.Command2_Click();
  EXPECT_TRUE(boxes.empty());
}
