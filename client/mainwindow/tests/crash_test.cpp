// A delete killed at any step of its compaction leaves the old list or the
// compacted one, never less.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "client/mainwindow/recordfile.h"
#include "platform/paths.h"

using namespace records;

namespace {

std::vector<QString> subjectsOf(MailFile& f) {
  std::vector<MailRecord> all;
  EXPECT_TRUE(f.readAll(all)) << f.errorText().toStdString();
  std::vector<QString> s;
  for (const MailRecord& r : all) s.push_back(r.Subject);
  return s;
}

class CompactionCrash : public ::testing::Test {
 protected:
  QTemporaryDir tmp;
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    paths::setProgramFolder(tmp.path());
    QDir(tmp.path()).mkpath(QStringLiteral("★MailData"));
  }
  void TearDown() override {
    RawRecordFile::compactionStepHook() = nullptr;
    paths::setProgramFolder(QString());
  }

  // Five records, the fourth already dead.
  void makeList() {
    QFile::remove(tmp.path() + "/★MailData/xqmdata2.data");
    QFile::remove(tmp.path() + "/★MailData/XQMDATA2.TMP");
    MailFile f(kReceivedFile);
    for (int i = 1; i <= 5; ++i) {
      MailRecord r;
      r.Subject = QStringLiteral("mail %1").arg(i);
      r.Body = QString(3000, QChar(u'a' + i));
      r.Live = i == 4 ? 0 : 1;
      ASSERT_TRUE(f.write(i, r));
    }
  }

  // Runs the delete of record 2 in a child process killed at the k-th step
  // (k = 0: not killed). Returns the number of steps the child passed.
  int deleteInChild(int k) {
    int pipefd[2];
    EXPECT_EQ(::pipe(pipefd), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
      ::close(pipefd[0]);
      int steps = 0;
      RawRecordFile::compactionStepHook() = [&](const char*) {
        ++steps;
        if (::write(pipefd[1], "s", 1) != 1) {}
        if (steps == k) ::kill(::getpid(), SIGKILL);
      };
      MailFile f(kReceivedFile);
      _exit(f.remove(2) ? 0 : 1);
    }
    ::close(pipefd[1]);
    int steps = 0;
    char c;
    while (::read(pipefd[0], &c, 1) == 1) ++steps;
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (k == 0) {
      EXPECT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 0);
    } else {
      EXPECT_TRUE(WIFSIGNALED(status)) << "step " << k;
    }
    return steps;
  }
};

TEST_F(CompactionCrash, KilledAtEveryStepLeavesTheOldOrTheCompactedList) {
  const std::vector<QString> old{"mail 1", "mail 2", "mail 3", "mail 4", "mail 5"};
  const std::vector<QString> compacted{"mail 1", "mail 3", "mail 5"};

  makeList();
  const int steps = deleteInChild(0);
  ASSERT_GE(steps, 6);
  {
    MailFile f(kReceivedFile);
    EXPECT_EQ(subjectsOf(f), compacted);
  }

  for (int k = 1; k <= steps; ++k) {
    SCOPED_TRACE(k);
    makeList();
    deleteInChild(k);
    MailFile f(kReceivedFile);
    const std::vector<QString> now = subjectsOf(f);
    EXPECT_TRUE(now == old || now == compacted) << "killed at step " << k << ": " << now.size() << " records";
    // A later delete still works and ends without a twin.
    ASSERT_TRUE(f.remove(1)) << f.errorText().toStdString();
    EXPECT_FALSE(QFile::exists(tmp.path() + "/★MailData/XQMDATA2.TMP"));
  }
}

TEST_F(CompactionCrash, ListDeletedBesideAFullTwinIsRestored) {
  // What an interrupted compaction of the older kind left: the twin holds
  // the whole list and the list file is gone.
  makeList();
  ASSERT_TRUE(QFile::rename(tmp.path() + "/★MailData/xqmdata2.data", tmp.path() + "/★MailData/XQMDATA2.TMP"));
  MailFile f(kReceivedFile);
  EXPECT_EQ(f.count(), 5);
  EXPECT_FALSE(QFile::exists(tmp.path() + "/★MailData/XQMDATA2.TMP"));
}

}  // namespace
