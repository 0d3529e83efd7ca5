// The settings file the build delivers beside the program.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/profile.h"

namespace {

bool deliver(const QString& out) {
  QProcess p;
  p.start(QStringLiteral(COLWRITE_CMAKE),
          {QStringLiteral("-DOUT=") + out, QStringLiteral("-P"), QStringLiteral(COLWRITE_INI_SCRIPT)});
  return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

TEST(ColwriteSettings, DeliveredFileHoldsBlackOnTheDesignLightBlue) {
  QTemporaryDir dir;
  const QString ini = dir.filePath(QStringLiteral("ini.ini"));
  ASSERT_TRUE(deliver(ini));
  EXPECT_EQ(profile::GetPrivateProfileInt(QStringLiteral("EXEINI"), QStringLiteral("NUMBER"), -1, ini), 0);
  EXPECT_EQ(profile::GetPrivateProfileInt(QStringLiteral("EXEINI"), QStringLiteral("NUMBER2"), -1, ini), 16761024);
  QFile f(ini);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("[EXEINI]\r\nNUMBER=0\r\nNUMBER2=16761024\r\n"));
}

TEST(ColwriteSettings, ChosenColoursSurviveARebuild) {
  QTemporaryDir dir;
  const QString ini = dir.filePath(QStringLiteral("ini.ini"));
  ASSERT_TRUE(deliver(ini));
  ASSERT_TRUE(profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER"),
                                                 QStringLiteral("255"), ini));
  ASSERT_TRUE(deliver(ini));
  EXPECT_EQ(profile::GetPrivateProfileInt(QStringLiteral("EXEINI"), QStringLiteral("NUMBER"), -1, ini), 255);
}
