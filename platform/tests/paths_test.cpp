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

TEST(Paths, NamesOfFewLettersAreFoundInAnyCaseWithoutAListing) {
  // Short names are looked for spelling by spelling; they must find what a
  // listing finds, in a folder of many files as in an empty one.
  QTemporaryDir tmp;
  paths::setProgramFolder(tmp.path());
  QDir(tmp.path()).mkpath(QStringLiteral("添付フォルダ"));
  QDir(tmp.path()).mkpath(QStringLiteral("Ab"));
  for (int i = 0; i < 300; ++i) {
    QFile f(tmp.path() + QStringLiteral("/添付フォルダ/image001(%1).jpg").arg(i));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  for (const char* name : {"0.TXT", "x1.Bin", "添付.TxT"}) {
    QFile f(tmp.path() + QStringLiteral("/添付フォルダ/") + QString::fromUtf8(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  const QString base = tmp.path() + QStringLiteral("/添付フォルダ/");
  struct Case {
    const char* asked;
    QString found;
  } cases[] = {
      {"\\添付フォルダ\\0.txt", base + QStringLiteral("0.TXT")},
      {"\\添付フォルダ\\0.TXT", base + QStringLiteral("0.TXT")},
      {"\\添付フォルダ\\X1.bIN", base + QStringLiteral("x1.Bin")},
      {"\\添付フォルダ\\添付.txt", base + QStringLiteral("添付.TxT")},
      {"\\添付フォルダ\\IMAGE001(7).JPG", base + QStringLiteral("image001(7).jpg")},  // 8 letters: listed
      {"\\添付フォルダ\\1.txt", base + QStringLiteral("1.txt")},  // none: as asked
      {"\\添付フォルダ\\添付", base + QStringLiteral("添付")},
      {"\\aB\\c.D", tmp.path() + QStringLiteral("/Ab/c.D")},
  };
  for (const Case& c : cases) EXPECT_EQ(paths::resolve(QString::fromUtf8(c.asked)), c.found) << c.asked;
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
