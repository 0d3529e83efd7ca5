#pragma once
// A program folder of its own for each desktop-tool test, message boxes
// recorded and answered in turn, started programs recorded, and the end of
// the program turned into an exception.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <deque>
#include <ostream>
#include <vector>

#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"
#include "platform/ui.h"

namespace toolstest {

class ToolsTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::vector<seams::MsgBoxCall> boxes;
  std::deque<int> answers;  // answers given in turn; then the first button
  std::vector<seams::StartCall> started;
  bool startSucceeds = true;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    for (const char* f : {"★MailData/DATA/Cdata", "添付フォルダ", "help"}) QDir(dir.path()).mkpath(QString::fromUtf8(f));
    paths::setProgramFolder(dir.path());
    seamtest::recordMsgBoxes(boxes, answers);
    seams::setStartHandler([this](const seams::StartCall& c) {
      started.push_back(c);
      return startSucceeds;
    });
    seamtest::throwOnEnd();
  }

  void TearDown() override {
    ui::setEndHook({});
    seamtest::answerMsgBoxes();
    seamtest::letProgramsStart();
    paths::setProgramFolder(QString());
  }

  QString path(const QString& programRelative) const { return dir.path() + u'/' + programRelative; }

  void writeFile(const QString& programRelative, const QByteArray& bytes) const {
    QFile f(path(programRelative));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }

  QString ini() const { return path(QStringLiteral("★MailData/ini.ini")); }
  void setKey(const char* key, const QString& value) const {
    profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QString::fromLatin1(key), value, ini());
  }
  int key(const char* key) const {
    return profile::GetPrivateProfileInt(QStringLiteral("EXEINI"), QString::fromLatin1(key), -1, ini());
  }
};

}  // namespace toolstest
