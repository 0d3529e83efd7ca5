#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/profile.h"

namespace {

class Profile : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString file = dir.path() + QStringLiteral("/ini.ini");

  void put(const std::string& bytes) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }
  std::string bytes() {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
  }
  mode_t mode() {
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0) return 0;
    return st.st_mode & 07777;
  }
  QString get(const char* key, const QString& def = QString(), const char* section = "EXEINI") {
    return profile::GetPrivateProfileString(QString::fromLatin1(section), QString::fromLatin1(key), def, file);
  }
};

TEST_F(Profile, ReadsSectionsAndKeysWithoutRegardToCase) {
  put("[Other]\r\nNAME8=wrong\r\n[exeini]\r\nname8=Taro\r\n  NAME9 = \t spaced value \r\nNAME12=\r\n");
  EXPECT_EQ(get("NAME8"), u"Taro");
  EXPECT_EQ(get("NAME8", {}, "ExeIni"), u"Taro");
  EXPECT_EQ(get("NAME9"), u"spaced value");
  EXPECT_EQ(get("NAME8", {}, "other"), u"wrong");
}

TEST_F(Profile, MissingKeyGivesDefaultEmptyValueGivesEmpty) {
  put("[EXEINI]\r\nNAME10=\r\n");
  EXPECT_EQ(get("NAME10", QStringLiteral("QzvKmuTel")), QString());
  EXPECT_EQ(get("NAME8", QStringLiteral("QzvKmuTel")), u"QzvKmuTel");
  EXPECT_EQ(profile::readValue("EXEINI", "NAME10", file), std::optional<QString>(QString()));
  EXPECT_EQ(profile::readValue("EXEINI", "NAME8", file), std::nullopt);
  EXPECT_EQ(profile::readValue("NOPE", "NAME10", file), std::nullopt);
  // A missing file reads like a file without keys.
  EXPECT_EQ(profile::GetPrivateProfileString("EXEINI", "NAME8", "dflt", dir.path() + "/none.ini"), u"dflt");
  EXPECT_EQ(profile::GetPrivateProfileInt("EXEINI", "NUMBER7", 0, dir.path() + "/none.ini"), 0);
}

TEST_F(Profile, ValuesAreCp932AndCutTo255BytesWithoutSplittingACharacter) {
  const QString japanese = QStringLiteral("山田　太郎");
  put("[EXEINI]\r\nNAME8=" + cp932::encode(japanese) + "\r\nNAME9=" + std::string(300, 'a') + "\r\nNAME12=" +
      std::string(254, 'b') + cp932::encode(QStringLiteral("漢")) + "\r\n");
  EXPECT_EQ(get("NAME8"), japanese);
  EXPECT_EQ(get("NAME9"), QString(255, u'a'));
  // The double-byte character at bytes 255..256 is dropped whole.
  EXPECT_EQ(get("NAME12"), QString(254, u'b'));
}

TEST_F(Profile, QuotedValuesLoseTheirQuotes) {
  put("[EXEINI]\r\nA=\"quoted\"\r\nB='single'\r\nC=\"open\r\n");
  EXPECT_EQ(get("A"), u"quoted");
  EXPECT_EQ(get("B"), u"single");
  EXPECT_EQ(get("C"), u"\"open");
}

TEST_F(Profile, IntegersTakeTheLeadingDigits) {
  put("[EXEINI]\r\nNUMBER16=abc\r\nNUMBER15=12x\r\nNUMBER14=2\r\nNUMBER13=-7\r\nNUMBER12=\r\nNUMBER11= 42 \r\n");
  struct Case {
    const char* key;
    int def;
    int expected;
  } cases[] = {{"NUMBER16", 0, 0}, {"NUMBER15", 0, 12}, {"NUMBER14", 0, 2},  {"NUMBER13", 0, -7},
               {"NUMBER12", 5, 5}, {"NUMBER11", 0, 42}, {"NUMBER99", 9, 9}};
  for (const Case& c : cases)
    EXPECT_EQ(profile::GetPrivateProfileInt("EXEINI", c.key, c.def, file), c.expected) << c.key;
}

TEST_F(Profile, WriteCreatesFileAndSection) {
  ASSERT_TRUE(profile::WritePrivateProfileString("EXEINI", "NAME8", QStringLiteral("太郎"), file));
  EXPECT_EQ(bytes(), "[EXEINI]\r\nNAME8=" + cp932::encode(QStringLiteral("太郎")) + "\r\n");
  ASSERT_TRUE(profile::WritePrivateProfileString("Second", "K", "v", file));
  EXPECT_EQ(bytes(), "[EXEINI]\r\nNAME8=" + cp932::encode(QStringLiteral("太郎")) + "\r\n[Second]\r\nK=v\r\n");
}

TEST_F(Profile, WriteKeepsEveryOtherLineByteForByte) {
  const std::string before =
      "; comment\r\n[EXEINI]\r\nNAME8 = Taro  \r\nnumber7=1\n\r\n[Other]\r\nNUMBER7=5\r\nodd line\r\n";
  put(before);
  ASSERT_TRUE(profile::WritePrivateProfileString("exeini", "NUMBER7", "0", file));
  EXPECT_EQ(bytes(), "; comment\r\n[EXEINI]\r\nNAME8 = Taro  \r\nNUMBER7=0\n\r\n[Other]\r\nNUMBER7=5\r\nodd line\r\n");
  // A new key goes after the last entry of its section, before the blank line.
  ASSERT_TRUE(profile::WritePrivateProfileString("EXEINI", "NUMBER28", "3", file));
  EXPECT_EQ(bytes(),
            "; comment\r\n[EXEINI]\r\nNAME8 = Taro  \r\nNUMBER7=0\nNUMBER28=3\r\n\r\n[Other]\r\nNUMBER7=5\r\nodd line\r\n");
  EXPECT_EQ(profile::GetPrivateProfileInt("Other", "NUMBER7", 0, file), 5);
}

TEST_F(Profile, WriteToALastLineWithoutLineEnd) {
  put("[EXEINI]\r\nNAME8=a");
  ASSERT_TRUE(profile::WritePrivateProfileString("EXEINI", "NAME9", "b", file));
  EXPECT_EQ(bytes(), "[EXEINI]\r\nNAME8=a\r\nNAME9=b\r\n");
  ASSERT_TRUE(profile::WritePrivateProfileString("EXEINI", "NAME9", "c", file));
  EXPECT_EQ(bytes(), "[EXEINI]\r\nNAME8=a\r\nNAME9=c\r\n");
}

TEST_F(Profile, EmptyAndNullValuesAreWrittenAsEmpty) {
  ASSERT_TRUE(profile::WritePrivateProfileString("EXEINI", "NAME10", QString(), file));
  EXPECT_EQ(profile::readValue("EXEINI", "NAME10", file), std::optional<QString>(QString()));
  EXPECT_EQ(bytes(), "[EXEINI]\r\nNAME10=\r\n");
}

TEST_F(Profile, LineBreaksCannotBeWritten) {
  put("[EXEINI]\r\nNAME2=old\r\n");
  struct Case {
    const char* section;
    const char* key;
    QString value;
  } cases[] = {
      {"EXEINI", "NAME2", QStringLiteral("pass\r\nNAME3=1")},
      {"EXEINI", "NAME2", QStringLiteral("pass\n")},
      {"EXEINI", "NAME2", QStringLiteral("\rpass")},
      {"EXEINI", "NAME\n2", QStringLiteral("x")},
      {"EXE\r\nINI", "NAME2", QStringLiteral("x")},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(profile::WritePrivateProfileString(QString::fromLatin1(c.section), QString::fromLatin1(c.key),
                                                    c.value, file))
        << c.key;
    EXPECT_EQ(bytes(), "[EXEINI]\r\nNAME2=old\r\n") << c.key;
  }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("ini.ini")});
}

TEST_F(Profile, LeftoversOfInterruptedWritesAreRemoved) {
  put("[EXEINI]\r\nNAME2=old\r\n");
  const QString names[] = {QStringLiteral("ini.ini.~123-0"), QStringLiteral("ini.ini.~9-41"),
                           QStringLiteral("ini.ini.~x"), QStringLiteral("ini.ini.~1-"), QStringLiteral("other.ini.~1-1")};
  for (const QString& n : names) {
    QFile f(dir.path() + u'/' + n);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  profile::removeLeftovers(file);
  QStringList left = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
  EXPECT_EQ(left, (QStringList{QStringLiteral("ini.ini"), QStringLiteral("ini.ini.~1-"), QStringLiteral("ini.ini.~x"),
                               QStringLiteral("other.ini.~1-1")}));
  EXPECT_EQ(bytes(), "[EXEINI]\r\nNAME2=old\r\n");
}

TEST_F(Profile, WriteKeepsTheModeAndLeavesNoTemporaryFile) {
  put("[EXEINI]\r\n");
  ASSERT_TRUE(profile::makePrivate(file));
  EXPECT_EQ(mode(), 0600u);
  ASSERT_TRUE(profile::WritePrivateProfileString("EXEINI", "NAME", "id", file));
  EXPECT_EQ(mode(), 0600u);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"ini.ini"});
}

TEST_F(Profile, WriteThatRunsOutOfRoomLeavesTheFileAsItWas) {
  // A file size limit stands in for a full disk (it binds root too).
  put("[EXEINI]\r\nNAME8=yamada\r\nNUMBER7=1\r\n");
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = profile::WritePrivateProfileString("EXEINI", "NAME9", "a longer value than the room left", file);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_EQ(bytes(), "[EXEINI]\r\nNAME8=yamada\r\nNUMBER7=1\r\n");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"ini.ini"});
}

// A read-only file keeps its value, its bytes and its mode, as a write into
// it would; the rename beside it would otherwise replace it.
TEST_F(Profile, ReadOnlyFileIsNotReplaced) {
  for (mode_t m : {0444u, 0400u, 0000u}) {
    SCOPED_TRACE(m);
    put("[EXEINI]\r\nNAME12=vip@example.jp\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), m), 0);
    EXPECT_FALSE(profile::WritePrivateProfileString("EXEINI", "NAME12", "other@example.jp", file));
    EXPECT_FALSE(profile::replaceFile(file, "SMTP=x\r\n"));
    EXPECT_EQ(mode(), m);
    ::chmod(QFile::encodeName(file).constData(), 0600);
    EXPECT_EQ(bytes(), "[EXEINI]\r\nNAME12=vip@example.jp\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"ini.ini"});
  }
  // Writable again, it takes the value.
  EXPECT_TRUE(profile::WritePrivateProfileString("EXEINI", "NAME12", "other@example.jp", file));
  EXPECT_EQ(get("NAME12"), QStringLiteral("other@example.jp"));
}

TEST_F(Profile, UnreadableFileIsTold) {
  EXPECT_EQ(profile::unreadableReason(file), std::nullopt);  // missing
  EXPECT_EQ(profile::unreadableReason(dir.path() + "/no/ini.ini"), std::nullopt);
  put("[EXEINI]\r\n");
  EXPECT_EQ(profile::unreadableReason(file), std::nullopt);
  QFile::remove(file);
  ASSERT_TRUE(QDir().mkdir(file));
  EXPECT_NE(profile::unreadableReason(file), std::nullopt);
  // It reads like a missing file and is never written.
  EXPECT_EQ(get("NAME10", QStringLiteral("def")), QStringLiteral("def"));
  EXPECT_FALSE(profile::WritePrivateProfileString("EXEINI", "NAME10", "x", file));
  EXPECT_TRUE(QDir(file).isEmpty());
}

TEST_F(Profile, MakePrivateCreatesAMissingFile) {
  ASSERT_TRUE(profile::makePrivate(file));
  EXPECT_EQ(bytes(), "");
  EXPECT_EQ(mode(), 0600u);
}

TEST_F(Profile, FailedWriteLeavesTheFileAsItWas) {
  // A missing folder: the write fails and creates nothing.
  EXPECT_FALSE(profile::WritePrivateProfileString("EXEINI", "A", "1", dir.path() + "/missing/ini.ini"));
  EXPECT_FALSE(QFile::exists(dir.path() + "/missing"));
  // A folder that cannot be written: the file keeps its bytes.
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  put("[EXEINI]\r\nA=0\r\n");
  ::chmod(QFile::encodeName(dir.path()).constData(), 0500);
  EXPECT_FALSE(profile::WritePrivateProfileString("EXEINI", "A", "1", file));
  ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
  EXPECT_EQ(bytes(), "[EXEINI]\r\nA=0\r\n");
}

// Writes from several threads at once (the mail check writes its total on
// a thread of its own while the window may write a setting) each read the
// file and replace it whole: none of them may be lost.
TEST_F(Profile, WritesFromManyThreadsAtOnceAreAllKept) {
  put("[EXEINI]\r\nKEEP=1\r\n");
  constexpr int kThreads = 6, kEach = 15;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([this, t] {
      for (int i = 0; i < kEach; ++i)
        EXPECT_TRUE(profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("T%1K%2").arg(t).arg(i),
                                                       QString::number(t * 100 + i), file));
    });
  for (std::thread& w : writers) w.join();
  EXPECT_EQ(get("KEEP"), QStringLiteral("1"));
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kEach; ++i)
      EXPECT_EQ(get(QStringLiteral("T%1K%2").arg(t).arg(i).toLatin1().constData()), QString::number(t * 100 + i))
          << t << " " << i;
}

}  // namespace
