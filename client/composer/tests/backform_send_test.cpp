// Sending a reply through the mail library against the test SMTP server,
// and reading back what the server received.
#include "client/composer/tests/backform_fixture.h"

#include <QCheckBox>
#include <QApplication>
#include <QClipboard>
#include <QDirIterator>
#include <QTest>

#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>

#include "nmail/nmail.h"
#include "nmail/tests/servers/servers.h"

using namespace backtest;

namespace {

QString uniqueAddress(const char* tag) {
  static int serial = 0;
  return QStringLiteral("reply-%1-%2-%3@example.jp").arg(QString::fromLatin1(tag)).arg(getpid()).arg(++serial);
}

// The file the SMTP server wrote for the mail to rcpt (empty when none came).
QByteArray receivedFor(const QString& rcpt) {
  const QByteArray needle = "<" + rcpt.toLatin1() + ">";
  for (int i = 0; i < 50; ++i) {
    QDirIterator it(QString::fromStdString(testservers::smtpInbox()), QDir::Files);
    while (it.hasNext()) {
      const QByteArray data = fileBytes(it.next());
      const qsizetype to = data.indexOf("X-Envelope-To:");
      if (to < 0) continue;
      if (data.mid(to, data.indexOf("\r\n", to) - to).contains(needle)) return data;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return {};
}

QByteArray envelopeFrom(const QByteArray& data) {
  const qsizetype p = data.indexOf("X-Envelope-From:");
  return p < 0 ? QByteArray() : data.mid(p, data.indexOf("\r\n", p) - p);
}

QByteArray withoutEnvelope(const QByteArray& data) {
  const qsizetype to = data.indexOf("X-Envelope-To:");
  return data.mid(data.indexOf("\r\n", to) + 2);
}

// A received mail unpacked with the library: subject, sender, body; the
// attachments land in folder.
struct Unpacked {
  QString subject, from, body;
  int result = 0;
};
Unpacked unpack(const QByteArray& mail, const QString& folder) {
  std::vector<char> s(8192), d(8192), f(8192), h(8192), body(static_cast<std::size_t>(mail.size()) + 1);
  Unpacked u;
  const std::string dirBytes = cp932::encode(folder);
  u.result = NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), body.data(), dirBytes.c_str(), "",
                                      mail.constData(), 0);
  NMailAttachmentFileClose(0);
  u.subject = cp932::decode(s.data());
  u.from = cp932::decode(f.data());
  u.body = cp932::decode(body.data());
  return u;
}

class BackFormSendTest : public BackFormTest {
 protected:
  QString savedSmtp, savedFrom;
  void SetUp() override {
    BackFormTest::SetUp();
    NMailInitializeWinSock();
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 10000);
    savedSmtp = SmtpServer;
    savedFrom = FromAddress;
    SmtpServer = QString::fromLatin1(testservers::kSmtpServer);
    FromAddress = QStringLiteral("返信 花子<hanako@example.jp>");
  }
  void TearDown() override {
    SmtpServer = savedSmtp;
    FromAddress = savedFrom;
    BackFormTest::TearDown();
  }
  // The history viewer open, with its auto-close switch as given.
  static void openViewer(bool autoClose) {
    ::TyakuForm().Check1->setChecked(autoClose);
    ::TyakuForm().Show();
  }
};

}  // namespace

TEST_F(BackFormSendTest, ReplyArrivesWithSenderSubjectBodyAndAttachmentsAndBothWindowsClose) {
  const QString a1 = dir.filePath(QStringLiteral("見積書.txt"));
  const QString a2 = dir.filePath(QStringLiteral("résumé.bin"));  // a name CP932 cannot hold
  writeFile(a1, sjis(QStringLiteral("見積の内容\r\n")));
  QByteArray binary;
  for (int i = 0; i < 5000; ++i) binary.append(static_cast<char>(i * 7));
  writeFile(a2, binary);
  openViewer(true);
  const QString rcpt = uniqueAddress("e2e");
  auto& b = reply(QStringLiteral("Re:  お見積りの件"), rcpt, QStringLiteral("お世話になります。\r\n承知しました。"));
  chosen = {a1, a2};
  b.AttachCommand_Click();
  b.Command9_Click();
  b.Command2_Click();
  EXPECT_TRUE(boxes.empty()) << boxes[0].prompt.toStdString();
  EXPECT_FALSE(BackFormLoaded());
  EXPECT_FALSE(TyakuFormLoaded());  // the viewer's switch is ticked
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("お世話になります。\r\n承知しました。"));

  const QByteArray data = receivedFor(rcpt);
  ASSERT_FALSE(data.isEmpty());
  EXPECT_EQ(envelopeFrom(data), QByteArray("X-Envelope-From: <hanako@example.jp>"));
  QTemporaryDir out;
  const Unpacked u = unpack(withoutEnvelope(data), out.path());
  ASSERT_EQ(u.result, NMAIL_SUCCESS);
  EXPECT_EQ(u.subject, QStringLiteral("Re:  お見積りの件"));
  EXPECT_EQ(u.from, QStringLiteral("返信 花子 <hanako@example.jp>"));
  EXPECT_EQ(u.body, QStringLiteral("お世話になります。\r\n承知しました。"));
  EXPECT_EQ(fileBytes(QDir(out.path()).filePath(QStringLiteral("見積書.txt"))), sjis(QStringLiteral("見積の内容\r\n")));
  QStringList names = QDir(out.path()).entryList(QDir::Files);
  names.removeAll(QStringLiteral("見積書.txt"));
  ASSERT_EQ(names.size(), 1);
  EXPECT_EQ(fileBytes(QDir(out.path()).filePath(names[0])), binary);
  // No record of a sent reply.
  EXPECT_FALSE(QFile::exists(real(records::kSentFile)) && QFileInfo(real(records::kSentFile)).size() > 0);
}

TEST_F(BackFormSendTest, MenuSendWithABareSenderLeavesAnUntickedViewerOpen) {
  FromAddress = QStringLiteral("taro@example.jp");
  openViewer(false);
  const QString rcpt = uniqueAddress("menu");
  auto& b = reply(QStringLiteral("Re:  "), rcpt, QString());
  b.msoshin->trigger();
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(BackFormLoaded());
  EXPECT_TRUE(TyakuFormLoaded());
  EXPECT_TRUE(::TyakuForm().isVisible());
  const QByteArray data = receivedFor(rcpt);
  ASSERT_FALSE(data.isEmpty());
  EXPECT_EQ(envelopeFrom(data), QByteArray("X-Envelope-From: <taro@example.jp>"));
  EXPECT_TRUE(withoutEnvelope(data).contains("\r\nSubject: Re:  \r\n") || withoutEnvelope(data).startsWith("Subject: Re:  \r\n"))
      << withoutEnvelope(data).left(400).toStdString();
}

TEST_F(BackFormSendTest, FailedSendShowsTheLibraryTextAndKeepsTheReply) {
  struct Case {
    const char* what;
    QString server;
    QString to;
  };
  const Case cases[] = {
      {"no server", QStringLiteral("127.0.0.1:1"), QStringLiteral("a@example.jp")},
      {"empty recipient", QString::fromLatin1(testservers::kSmtpServer), QString()},
  };
  for (const Case& c : cases) {
    boxes.clear();
    SmtpServer = c.server;
    openViewer(true);
    auto& b = reply(QStringLiteral("Re:  件名"), c.to, QStringLiteral("書きかけの返事"));
    b.Command2_Click();
    ASSERT_EQ(boxes.size(), 1u) << c.what;
    EXPECT_EQ(boxes[0].title, QStringLiteral("送信エラー")) << c.what;
    EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly) << c.what;
    EXPECT_FALSE(boxes[0].prompt.isEmpty()) << c.what;
    EXPECT_FALSE(boxes[0].prompt.contains(QChar(0))) << c.what;
    // The reply is still there to be sent again or held; the viewer stays.
    ASSERT_TRUE(BackFormLoaded()) << c.what;
    EXPECT_EQ(EditorText(::BackForm().rtfEd), QStringLiteral("書きかけの返事")) << c.what;
    EXPECT_EQ(::BackForm().ToText->text(), c.to) << c.what;
    EXPECT_TRUE(TyakuFormLoaded()) << c.what;
  }
  // Sent again once the server is right, it goes and the windows close.
  SmtpServer = QString::fromLatin1(testservers::kSmtpServer);
  const QString rcpt = uniqueAddress("retry");
  ::BackForm().ToText->setText(rcpt);
  ::BackForm().Command2_Click();
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(BackFormLoaded());
  EXPECT_FALSE(TyakuFormLoaded());
  EXPECT_FALSE(receivedFor(rcpt).isEmpty());
}

TEST_F(BackFormSendTest, AddressesShiftJisLacksAreRefusedAndTheTextIsAskedAbout) {
  const QString rcpt = uniqueAddress("emoji");
  auto& b = reply(QStringLiteral("Re:  件名"), QString(), QStringLiteral("本文"));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&b));
  QApplication::clipboard()->setText(QStringLiteral("😀@example.jp"));
  b.ToText->setFocus();
  QTest::keyClick(b.ToText, Qt::Key_V, Qt::ControlModifier);
  QTest::mouseClick(b.Command2, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("😀")));
  ASSERT_TRUE(BackFormLoaded());
  EXPECT_EQ(b.ToText->text(), QStringLiteral("😀@example.jp"));

  b.ToText->setText(rcpt);
  QApplication::clipboard()->setText(QStringLiteral("🍣"));
  b.rtfEd->setFocus();
  QTest::keyClick(b.rtfEd, Qt::Key_V, Qt::ControlModifier);
  answers = {seams::vbNo};
  QTest::mouseClick(b.Command2, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].title, QStringLiteral("確認"));
  EXPECT_TRUE(boxes[1].prompt.contains(QStringLiteral("🍣")));
  ASSERT_TRUE(BackFormLoaded());
  EXPECT_TRUE(EditorText(b.rtfEd).contains(QStringLiteral("🍣")));
}

TEST_F(BackFormSendTest, ACancelledSaveAsKeepsTheTypedReplyMarkedUnsaved) {
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("x@example.jp"), QString());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&b));
  QTest::keyClicks(b.rtfEd, QStringLiteral("my reply"));
  chosen = {std::nullopt};
  b.msave->trigger();
  EXPECT_TRUE(EditorText(b.rtfEd).endsWith(QStringLiteral("Body:  my reply")));
  answers = {seams::vbNo};
  b.mnew->trigger();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_TRUE(EditorText(b.rtfEd).endsWith(QStringLiteral("Body:  my reply")));
}
