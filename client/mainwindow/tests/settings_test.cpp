// The settings files: ini.ini keys, the account file and xqmail.ini.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "client/mainwindow/globals.h"
#include "client/mainwindow/settings.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace {

class SettingsFolder : public ::testing::Test {
 protected:
  QTemporaryDir tmp;
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    paths::setProgramFolder(tmp.path());
    QDir(tmp.path()).mkpath(QStringLiteral("★MailData"));
    SmtpServer = PopServer = FromAddress = QString();
    UseApop = 0;
  }
  void TearDown() override { paths::setProgramFolder(QString()); }
  QString at(const QString& rel) { return tmp.path() + u'/' + rel; }
  void put(const QString& rel, const std::string& b) {
    QFile f(at(rel));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(b.data(), static_cast<qint64>(b.size()));
  }
  std::string bytes(const QString& rel) {
    QFile f(at(rel));
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
  }
  unsigned mode(const QString& rel) {
    struct stat st;
    if (::stat(QFile::encodeName(at(rel)).constData(), &st) != 0) return 0;
    return st.st_mode & 07777;
  }
  void ini(const std::string& body) { put("★MailData/ini.ini", "[EXEINI]\r\n" + body); }
};

TEST_F(SettingsFolder, TextKeysAndTheSecretDefault) {
  struct Case {
    const char* file;  // ini.ini body, nullptr: no file
    const char* key;
    QString expected;
  } cases[] = {
      {nullptr, settings::key::UserName, "QzvKmuTel"},
      {"", settings::key::UserName, "QzvKmuTel"},
      {"NAME8=\r\n", settings::key::UserName, "QzvKmuTel"},
      {"NAME8=Hanako\r\n", settings::key::UserName, "Hanako"},
      {"", settings::key::StartPassword, "QzvKmuTel"},
      {"NAME10=\r\n", settings::key::StartPassword, ""},
      {"NAME10=secret\r\n", settings::key::StartPassword, "secret"},
      {"", settings::key::VipAddress, ""},
      {"NAME12=vip@example.jp\r\n", settings::key::VipAddress, "vip@example.jp"},
      {"", settings::key::SenderDisplayText, ""},
  };
  for (const Case& c : cases) {
    QFile::remove(at("★MailData/ini.ini"));
    if (c.file) ini(c.file);
    EXPECT_EQ(settings::readText(c.key), c.expected) << c.key << " in " << (c.file ? c.file : "(no file)");
  }
}

TEST_F(SettingsFolder, NumberKeysAndSwitches) {
  ini("NUMBER16=abc\r\nNUMBER15=12x\r\nNUMBER14=2\r\nNUMBER7=1\r\nNUMBER29=0\r\n");
  EXPECT_EQ(settings::readNumber(settings::key::CheckInterval), 0);
  EXPECT_EQ(settings::readNumber(settings::key::HangUpAfterCheck), 12);
  EXPECT_EQ(settings::readNumber(settings::key::MailTotal), 0);  // missing
  EXPECT_EQ(settings::readSwitch(settings::key::NoSentHistory, 1), 1);  // 2 keeps the state
  EXPECT_EQ(settings::readSwitch(settings::key::NoSentHistory, 0), 0);
  EXPECT_EQ(settings::readSwitch(settings::key::HoverHelp, 0), 1);
  EXPECT_EQ(settings::readSwitch(settings::key::AutoCloseAfterReply, 1), 0);
  // One key for two windows: the attachment window's height read as the Cc switch.
  EXPECT_STREQ(settings::key::TenpFoldHeight, settings::key::CcHelpSwitch);
  ASSERT_TRUE(settings::writeNumber(settings::key::TenpFoldHeight, 4500));
  EXPECT_EQ(settings::readSwitch(settings::key::CcHelpSwitch, 1), 1);
}

TEST_F(SettingsFolder, WritesCreatePrivateFilesAndKeepOtherKeys) {
  ASSERT_TRUE(settings::writeText(settings::key::UserName, QStringLiteral("山田")));
  ASSERT_TRUE(settings::writeNumber(settings::key::HoverHelp, 1));
  EXPECT_EQ(bytes("★MailData/ini.ini"), "[EXEINI]\r\nNAME8=" + cp932::encode(QStringLiteral("山田")) + "\r\nNUMBER7=1\r\n");
  EXPECT_EQ(mode("★MailData/ini.ini"), 0600u);
  EXPECT_EQ(settings::readText(settings::key::UserName), u"山田");

  ASSERT_TRUE(settings::writeAccountText(settings::idkey::UserId, QStringLiteral("user")));
  ASSERT_TRUE(settings::writeAccountText(settings::idkey::Password, QStringLiteral("pass")));
  ASSERT_TRUE(settings::writeAccountText(settings::idkey::SaveFlag, QStringLiteral("1")));
  EXPECT_EQ(bytes("★MailData/iniIdPass.ini"), "[EXEINI]\r\nNAME=user\r\nNAME2=pass\r\nNAME3=1\r\n");
  EXPECT_EQ(mode("★MailData/iniIdPass.ini"), 0600u);
  EXPECT_EQ(settings::readAccountText(settings::idkey::Password), u"pass");
  EXPECT_EQ(settings::readAccountText("NAME4"), QString());

  // A file that exists keeps its mode.
  ::chmod(QFile::encodeName(at("★MailData/ini.ini")).constData(), 0640);
  ASSERT_TRUE(settings::writeNumber(settings::key::MailTotal, 0));
  EXPECT_EQ(mode("★MailData/ini.ini"), 0640u);
}

TEST_F(SettingsFolder, SettingsFilesResolveWithoutRegardToCase) {
  QDir(tmp.path()).rename(QStringLiteral("★MailData"), QStringLiteral("★MAILDATA"));
  put("★MAILDATA/INI.INI", "[exeini]\r\nname8=Jiro\r\n");
  EXPECT_EQ(settings::readText(settings::key::UserName), u"Jiro");
  ASSERT_TRUE(settings::writeNumber(settings::key::HoverHelp, 0));
  EXPECT_EQ(bytes("★MAILDATA/INI.INI"), "[exeini]\r\nname8=Jiro\r\nNUMBER7=0\r\n");
  EXPECT_FALSE(QFile::exists(at("★MailData")));
}

TEST_F(SettingsFolder, WriteWithoutTheDataFolderFails) {
  QDir(at("★MailData")).removeRecursively();
  EXPECT_FALSE(settings::writeText(settings::key::UserName, "x"));
  EXPECT_EQ(settings::readText(settings::key::UserName), u"QzvKmuTel");
}

TEST(ServerFile, ParsingTable) {
  struct Case {
    std::string file;
    std::optional<QString> smtp, pop3, mail;
    std::optional<std::int16_t> apop;
  } cases[] = {
      {"SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=me@example.jp\r\nAPOP= 1\r\n", "smtp.example.jp",
       "pop.example.jp", "me@example.jp", 1},
      {"APOP=1\r\n", {}, {}, {}, 1},
      {"APOP= 0\r\n", {}, {}, {}, 0},
      {"apop= 1\r\nSmtp=x\r\n", {}, {}, {}, {}},  // the tags compare case-sensitively
      {"APOP=abc\r\n", {}, {}, {}, 0},
      {"APOP=  2.5\r\n", {}, {}, {}, 2},           // half to even
      {"APOP=99999\r\n", {}, {}, {}, {}},          // beyond 16 bits: ignored
      {"SMTP=first\r\nSMTP=last\r\n", "last", {}, {}, {}},
      {"SMTP=" + std::string(120, 's') + "\r\n", QString(100, u's'), {}, {}, {}},
      {"MAIL=" + cp932::encode(QStringLiteral("山田 <y@example.jp>")) + "\r\n", {}, {}, QStringLiteral("山田 <y@example.jp>"), {}},
      {"SMTP=a\nPOP3=b\rMAIL=c", "a", "b", "c", {}},
      {"SMTP=\r\n", QString(), {}, {}, {}},
      {"", {}, {}, {}, {}},
  };
  for (const Case& c : cases) {
    const settings::ServerFileValues v = settings::parseServerFile(c.file);
    EXPECT_EQ(v.smtp, c.smtp) << c.file;
    EXPECT_EQ(v.pop3, c.pop3) << c.file;
    EXPECT_EQ(v.mail, c.mail) << c.file;
    EXPECT_EQ(v.apop, c.apop) << c.file;
  }
}

TEST(ServerFile, FormatWritesFourLines) {
  EXPECT_EQ(settings::formatServerFile("smtp.x", "pop.x", "me@x", 1), "SMTP=smtp.x\r\nPOP3=pop.x\r\nMAIL=me@x\r\nAPOP= 1\r\n");
  EXPECT_EQ(settings::formatServerFile("", "", "", 0), "SMTP=\r\nPOP3=\r\nMAIL=\r\nAPOP= 0\r\n");
  EXPECT_EQ(settings::formatServerFile("", "", "", -1), "SMTP=\r\nPOP3=\r\nMAIL=\r\nAPOP=-1\r\n");
  // A long server name is written whole and read back to 100 characters.
  const std::string f = settings::formatServerFile(QString(120, u'n'), "p", "m", 0);
  EXPECT_EQ(f.size(), 5 + 120 + 2 + 8 + 8 + 9u);
  EXPECT_EQ(settings::parseServerFile(f).smtp, std::optional<QString>(QString(100, u'n')));
  EXPECT_EQ(settings::parseServerFile(f).apop, std::optional<std::int16_t>(0));
}

TEST_F(SettingsFolder, ServerFileLivesInTheProgramFolderWhateverTheCurrentDirectory) {
  QTemporaryDir elsewhere;
  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(QFile::encodeName(elsewhere.path()).constData()), 0);
  SmtpServer = QStringLiteral("smtp.example.jp");
  PopServer = QStringLiteral("pop.example.jp");
  FromAddress = QStringLiteral("me@example.jp");
  UseApop = 1;
  const bool saved = settings::saveServerSettings();
  EXPECT_EQ(::chdir(old), 0);
  ASSERT_TRUE(saved);
  EXPECT_EQ(bytes("xqmail.ini"), "SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=me@example.jp\r\nAPOP= 1\r\n");
  EXPECT_FALSE(QFile::exists(elsewhere.path() + "/xqmail.ini"));

  SmtpServer = PopServer = FromAddress = QString();
  UseApop = 0;
  const settings::ServerFileValues v = settings::loadServerSettings();
  EXPECT_EQ(SmtpServer, u"smtp.example.jp");
  EXPECT_EQ(PopServer, u"pop.example.jp");
  EXPECT_EQ(FromAddress, u"me@example.jp");
  EXPECT_EQ(UseApop, 1);
  EXPECT_EQ(v.mail, std::optional<QString>(QStringLiteral("me@example.jp")));
}

TEST_F(SettingsFolder, MissingTagsLeaveTheVariablesAsTheyWere) {
  put("xqmail.ini", "POP3=pop.only\r\n");
  SmtpServer = QStringLiteral("kept");
  UseApop = 1;
  settings::loadServerSettings();
  EXPECT_EQ(SmtpServer, u"kept");
  EXPECT_EQ(PopServer, u"pop.only");
  EXPECT_EQ(UseApop, 1);
  QFile::remove(at("xqmail.ini"));
  SmtpServer = QString();
  const settings::ServerFileValues v = settings::loadServerSettings();
  EXPECT_FALSE(v.smtp || v.pop3 || v.mail || v.apop);
  EXPECT_EQ(SmtpServer, QString());
}

}  // namespace
