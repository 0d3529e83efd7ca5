#pragma once
// A program folder of its own for each composer test, the program started
// as the user starts it (main window, settings window, the composer loaded
// hidden), message boxes recorded and answered as the test says, and
// helpers to write the address book, the Cc list and the held mails and to
// read back what the test SMTP server received.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <array>
#include <chrono>
#include <cstring>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "client/composer/composer.h"
#include "client/composer/writeform.h"
#include "client/history/editorcommands.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/race.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/settings.h"
#include "client/mainwindow/startup.h"
#include "nmail/nmail.h"
#include "nmail/tests/servers/servers.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"
#include "platform/ui.h"

namespace writetest {

using seamtest::fileBytes;

using seamtest::writeFile;

using seamtest::sjis;

// A text field as it stands on file: CP932 padded with blanks to width bytes.
inline QByteArray field(const QString& text, int width) {
  QByteArray b = sjis(text).left(width);
  return b + QByteArray(width - b.size(), ' ');
}

// One mail record as it stands on file.
inline QByteArray mailRecordBytes(const QString& subject, const QString& date, const QString& fromTo,
                                  const QString& body, std::int16_t live = 1) {
  QByteArray r = field(subject, 100) + field(date, 90) + field(fromTo, 90) + field(body, 32000) + "\r\n";
  r.append(char(live & 0xff)).append(char((live >> 8) & 0xff));
  return r;
}

using seamtest::destroyWindows;

struct Address {
  QString name, address;
};

// What the test SMTP server received for one recipient.
struct Received {
  std::string raw;  // the whole file (envelope lines first)
  QString envelopeFrom, envelopeTo;
  QString subject, from, body;  // decoded by the mail library (the subject without its outer blanks)
  std::vector<std::pair<QString, QByteArray>> files;  // attachments: name, bytes
};

class WriteFormTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::vector<seams::MsgBoxCall> boxes;
  std::deque<int> answers;  // answers given in turn; then Yes / OK
  QString ownAddress;       // "MAIL=" of this test

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    destroyWindows();
    race::reset();
    startup::releaseInstanceLock();
    QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
    paths::setProgramFolder(dir.path());
    seamtest::recordMsgBoxes(boxes, answers);
    seams::setClock([] { return QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7)); });
    seamtest::throwOnEnd();
    SmtpServer = PopServer = FromAddress = UserId = UserPassword = QString();
    UseApop = 0;
    MailListKind = 0;
    MultiSendMode = 0;
    PaneToggleCount = 0;
    AttachListToggleCount = 0;
    CurrentRecordNo = 0;
    DocumentPath.clear();
    DocumentModified = false;
    BoldCount = ItalicCount = UnderlineCount = 0;
    SentMailRec = HeldMailRec = records::MailRecord();
    AddressRec = records::AddressRecord();
    CcAddressRec = records::CcAddressRecord();
    ownAddress = QStringLiteral("writer-%1-%2@example.jp").arg(::getpid()).arg(serial()++);
  }

  void TearDown() override {
    destroyWindows();
    race::reset();
    startup::releaseInstanceLock();
    ui::setEndHook(nullptr);
    seams::setClock(nullptr);
    seams::setRandom(nullptr);
    seamtest::cancelFileDialogs();
    seamtest::answerMsgBoxes();
    paths::setProgramFolder(QString());
    MultiSendMode = 0;
  }

  static int& serial() {
    static int n = 0;
    return n;
  }

  QString real(const QString& programPath) const { return paths::resolve(programPath); }
  QString ini() const { return real(settings::kIniFile); }

  void writeIni(const QStringList& lines) {
    QString text = QStringLiteral("[EXEINI]\r\n");
    for (const QString& l : lines) text += l + QStringLiteral("\r\n");
    writeFile(dir.path() + QStringLiteral("/★MailData/ini.ini"), sjis(text));
  }

  QString iniValue(const char* key) const {
    return profile::readValue(settings::kSection, QString::fromLatin1(key), ini()).value_or(QStringLiteral("<none>"));
  }

  // Starts the program (no start-up password, the test SMTP server, this
  // test's own address); the composer is then loaded hidden.
  forms::WriteForm& start(const QStringList& extraIni = {}) {
    QStringList lines{QStringLiteral("NAME10=")};
    lines += extraIni;
    writeIni(lines);
    writeFile(dir.path() + QStringLiteral("/xqmail.ini"),
              sjis(QStringLiteral("SMTP=%1\r\nPOP3=127.0.0.1:21110\r\nMAIL=%2\r\nAPOP=0\r\n")
                       .arg(QString::fromLatin1(testservers::kSmtpServer), ownAddress)));
    ::MainForm();
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 10000);
    EXPECT_TRUE(WriteFormLoaded());
    return ::WriteForm();
  }

  // The composer as the main window's new-mail command shows it.
  forms::WriteForm& openComposer(int width = 9700) {
    ::WriteForm().Show();
    ::WriteForm().setWidth(width);
    return ::WriteForm();
  }

  void writeAddressBook(const std::vector<Address>& entries) {
    records::AddressFile f(records::kAddressBookFile);
    ASSERT_TRUE(f.open());
    for (const Address& a : entries) {
      records::AddressRecord r;
      r.Name = a.name;
      r.Address = a.address;
      ASSERT_GT(f.append(r), 0) << f.errorText().toStdString();
    }
  }

  void writeCcList(const QStringList& addresses) {
    records::CcAddressFile f(records::kCcListFile);
    ASSERT_TRUE(f.open());
    for (const QString& a : addresses) {
      records::CcAddressRecord r;
      r.Address = a;
      ASSERT_GT(f.append(r), 0);
    }
  }

  void writeHeld(const std::vector<std::array<QString, 3>>& mails) {  // subject, to, body
    records::MailFile f(records::kHeldMailFile);
    ASSERT_TRUE(f.open());
    for (const auto& m : mails) {
      records::MailRecord r;
      r.Subject = m[0];
      r.FromTo = m[1];
      r.Body = m[2];
      ASSERT_GT(f.append(r), 0);
    }
  }

  template <class R>
  std::vector<R> readAll(const QString& programPath) {
    records::RecordFile<R> f(programPath);
    std::vector<R> all;
    f.readAll(all);
    return all;
  }
  std::vector<records::MailRecord> sentList() { return readAll<records::MailRecord>(records::kSentFile); }
  std::vector<records::MailRecord> heldList() { return readAll<records::MailRecord>(records::kHeldMailFile); }

  // A recipient address nobody else in the test run uses.
  QString uniqueRecipient(const QString& tag) const {
    return QStringLiteral("wf-%1-%2-%3@example.jp").arg(tag).arg(::getpid()).arg(serial()++);
  }

  // The mail the SMTP server took for rcpt, waiting up to a few seconds;
  // nullopt when none arrived.
  static std::optional<Received> receivedFor(const QString& rcpt, int waitMs = 3000) {
    const std::string inbox = testservers::smtpInbox();
    const std::string key = "<" + rcpt.toStdString() + ">";
    for (int waited = 0; waited <= waitMs; waited += 100) {
      const QDir d(QString::fromStdString(inbox));
      for (const QString& n : d.entryList(QDir::Files)) {
        QFile f(d.filePath(n));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const std::string data = f.readAll().toStdString();
        const auto toAt = data.find("X-Envelope-To:");
        if (toAt == std::string::npos) continue;
        const auto eol = data.find("\r\n", toAt);
        if (data.substr(toAt, eol - toAt).find(key) == std::string::npos) continue;
        return decode(data);
      }
      QThread::msleep(100);
    }
    return std::nullopt;
  }

  static Received decode(const std::string& data) {
    Received r;
    r.raw = data;
    auto line = [&](const char* tag) {
      const auto at = data.find(tag);
      if (at == std::string::npos) return QString();
      const auto eol = data.find("\r\n", at);
      return QString::fromStdString(data.substr(at + std::strlen(tag), eol - at - std::strlen(tag))).trimmed();
    };
    r.envelopeFrom = line("X-Envelope-From:");
    r.envelopeTo = line("X-Envelope-To:");
    const auto toAt = data.find("X-Envelope-To:");
    const std::string mail = data.substr(data.find("\r\n", toAt) + 2);
    std::vector<char> s(8192), d(8192), f(8192), h(8192), body(mail.size() + 1);
    QTemporaryDir out;
    const std::string outPath = out.path().toStdString();
    NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), body.data(), outPath.c_str(), "",
                             mail.c_str(), 0);
    NMailAttachmentFileClose(0);
    r.subject = cp932::decode(s.data());
    r.from = cp932::decode(f.data());
    r.body = cp932::decode(body.data());
    // The wire ends the text with a line end of its own.
    if (r.body.endsWith(QStringLiteral("\r\n"))) r.body.chop(2);
    const QDir od(out.path());
    for (const QString& n : od.entryList(QDir::Files, QDir::Name)) r.files.emplace_back(n, fileBytes(od.filePath(n)));
    return r;
  }
};

}  // namespace writetest
