#include <cerrno>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/oserror.h"
#include "platform/paths.h"

TEST(Paths, ResolvesWithoutRegardToCase) {
  QTemporaryDir tmp;
  paths::setProgramFolder(tmp.path());
  QDir(tmp.path()).mkpath(QStringLiteral("★MailData/DATA/Edata"));
  QFile f(tmp.path() + QStringLiteral("/★MailData/Text3.txt"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  EXPECT_EQ(paths::resolve(QStringLiteral("\\★MAilData\\text3.TXT")), tmp.path() + QStringLiteral("/★MailData/Text3.txt"));
  EXPECT_EQ(paths::resolve(QStringLiteral("\\★maildata\\data\\edata\\test.txt")),
            tmp.path() + QStringLiteral("/★MailData/DATA/Edata/test.txt"));
  EXPECT_EQ(paths::resolve(QStringLiteral("\\New\\Sub")), tmp.path() + QStringLiteral("/New/Sub"));
  // "Data" and "DATA" are one folder.
  EXPECT_EQ(paths::ensureFolder(QStringLiteral("\\★MAILDATA\\Data")), tmp.path() + QStringLiteral("/★MailData/DATA"));
  EXPECT_EQ(paths::ensureFolder(QStringLiteral("\\★MAILDATA\\Sub")), tmp.path() + QStringLiteral("/★MailData/Sub"));
  EXPECT_TRUE(QDir(tmp.path() + QStringLiteral("/★MailData/Sub")).exists());
  EXPECT_FALSE(QDir(tmp.path() + QStringLiteral("/★MAILDATA")).exists());
  paths::setProgramFolder(QString());
}

TEST(Paths, AFolderRenamedInAnotherCaseIsFoundAgain) {
  QTemporaryDir tmp;
  paths::setProgramFolder(tmp.path());
  QDir(tmp.path()).mkpath(QStringLiteral("★MailData"));
  EXPECT_EQ(paths::resolve(QStringLiteral("\\★MAilData")), tmp.path() + QStringLiteral("/★MailData"));
  ASSERT_TRUE(QDir(tmp.path()).rename(QStringLiteral("★MailData"), QStringLiteral("★MAILDATA")));
  EXPECT_EQ(paths::resolve(QStringLiteral("\\★MAilData")), tmp.path() + QStringLiteral("/★MAILDATA"));
  paths::setProgramFolder(QString());
}

TEST(OsError, ReasonsInJapanese) {
  struct Case {
    int err;
    const char* text;
  };
  const Case cases[] = {
      {EACCES, "アクセスが拒否されました"},
      {EPERM, "アクセスが拒否されました"},
      {ENOENT, "ファイルまたはフォルダが見つかりません"},
      {ENOSPC, "ディスクの空き容量が足りません"},
      {EROFS, "書き込みのできないディスクです"},
      {9999, "エラー番号 9999"},
  };
  for (const Case& c : cases) EXPECT_EQ(oserror::reasonText(c.err), QString::fromUtf8(c.text)) << c.err;
}
