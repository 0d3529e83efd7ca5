// The composer's send road against the test SMTP server: what arrives, what
// the sent list keeps (byte for byte), the send modes, the fortune slips
// and the failures.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <deque>
#include <optional>
#include <QTextEdit>

#include "client/composer/ccform.h"
#include "client/composer/tests/writeform_fixture.h"
#include "client/mainwindow/setform.h"

using namespace writetest;

namespace {

const QString kNow = QStringLiteral("2026/12/10  9:05:07");

}  // namespace

TEST_F(WriteFormTest, OneMailArrivesAndTheSentListKeepsItByteForByte) {
  start();
  ::MainForm().Text2->setText(kNow);
  forms::WriteForm& w = openComposer();
  const QString rcpt = uniqueRecipient(QStringLiteral("single"));
  w.ToText->setText(rcpt);
  w.SubjectText->setText(QStringLiteral("  打ち合わせの件  "));
  SetEditorText(w.rtfEd, QStringLiteral("  お世話になります。\r\n明日の件です。  "));
  QPointer<forms::WriteForm> self(&w);
  w.Command1_Click();

  const auto got = receivedFor(rcpt);
  ASSERT_TRUE(got) << "no mail for " << rcpt.toStdString();
  EXPECT_EQ(got->envelopeFrom, QStringLiteral("<%1>").arg(ownAddress));
  EXPECT_EQ(got->subject, QStringLiteral("打ち合わせの件"));
  EXPECT_NE(got->raw.find("Subject: =?ISO-2022-JP?B?ICAb"), std::string::npos);  // the blanks went along
  EXPECT_EQ(got->body, QStringLiteral("  お世話になります。\r\n明日の件です。  "));
  EXPECT_TRUE(boxes.empty());

  // The sent list: one record, the texts trimmed, the date of the main window.
  EXPECT_EQ(fileBytes(real(records::kSentFile)),
            mailRecordBytes(QStringLiteral("打ち合わせの件"), kNow, rcpt,
                            QStringLiteral("お世話になります。\r\n明日の件です。")));
  EXPECT_EQ(CurrentRecordNo, 1);
  EXPECT_EQ(::MainForm().Text4->text(), QStringLiteral("1"));
  EXPECT_EQ(FromAddress, ownAddress);

  // The composer reported completion, emptied itself and closed.
  ASSERT_TRUE(self);
  EXPECT_EQ(w.Label7->text(), QStringLiteral("送信完了です。"));
  EXPECT_TRUE(w.ToText->text().isEmpty());
  EXPECT_TRUE(w.SubjectText->text().isEmpty());
  EXPECT_TRUE(w.rtfEd->toPlainText().isEmpty());
  EXPECT_FALSE(WriteFormLoaded());
  EXPECT_EQ(MailListKind, 1000);
  // The next touch brings a fresh composer.
  EXPECT_TRUE(::WriteForm().ToText->text().isEmpty());
  EXPECT_FALSE(::WriteForm().Check1->isChecked());
}

TEST_F(WriteFormTest, SenderIsTheOwnAddressOrTheDisplayTextWithIt) {
  struct Case {
    QString display;
    QString expectedFrom;  // as the library decodes the From header
  } cases[] = {
      {QString(), QString()},
      {QStringLiteral("山田 太郎"), QStringLiteral("山田 太郎")},
  };
  start();
  for (const Case& c : cases) {
    ::SetForm().Text2->setText(c.display);  // the main window's copy follows it
    ::MainForm().Text7->setText(c.display);
    forms::WriteForm& w = openComposer();
    const QString rcpt = uniqueRecipient(QStringLiteral("sender"));
    w.ToText->setText(rcpt);
    w.SubjectText->setText(QStringLiteral("sender"));
    w.Command1_Click();
    const QString expected = c.display.isEmpty() ? ownAddress : c.display + u'<' + ownAddress + u'>';
    EXPECT_EQ(FromAddress, expected);
    const auto got = receivedFor(rcpt);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->envelopeFrom, QStringLiteral("<%1>").arg(ownAddress));
    EXPECT_TRUE(got->from.contains(ownAddress)) << got->from.toStdString();
    if (!c.expectedFrom.isEmpty()) {
      EXPECT_TRUE(got->from.startsWith(c.expectedFrom)) << got->from.toStdString();
    }
  }
}

TEST_F(WriteFormTest, SendToAllGoesToEveryBookEntryInFileOrder) {
  start();
  const QStringList to{uniqueRecipient(QStringLiteral("all1")), uniqueRecipient(QStringLiteral("all2")),
                       uniqueRecipient(QStringLiteral("all3"))};
  writeAddressBook({{QStringLiteral("一郎"), to[0]}, {QStringLiteral("二郎"), to[1]}, {QStringLiteral("三郎"), to[2]}});
  forms::WriteForm& w = openComposer();
  w.Command4_Click();  // the pane lists the three names
  ASSERT_EQ(w.List1->count(), 3);
  w.setOption2(true);
  w.Option2_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_TRUE(w.Option2->isChecked());
  EXPECT_FALSE(w.ToText->isEnabled());
  w.SubjectText->setText(QStringLiteral("皆様へ"));
  SetEditorText(w.rtfEd, QStringLiteral("同じ本文"));
  w.Command1_Click();

  const auto sent = sentList();
  ASSERT_EQ(sent.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sent[static_cast<std::size_t>(i)].FromTo.text(), to[i]);
    const auto got = receivedFor(to[i]);
    ASSERT_TRUE(got) << i;
    EXPECT_EQ(got->subject, QStringLiteral("皆様へ"));
    EXPECT_EQ(got->body, QStringLiteral("同じ本文"));
  }
  EXPECT_EQ(CurrentRecordNo, 3);
  EXPECT_EQ(::MainForm().Text4->text(), QStringLiteral("3"));
}

TEST_F(WriteFormTest, SendToAllReachesTheWholeBookWhilePaneListsHeldMails) {
  start();
  const QStringList to{uniqueRecipient(QStringLiteral("book1")), uniqueRecipient(QStringLiteral("book2"))};
  writeAddressBook({{QStringLiteral("A"), to[0]}, {QStringLiteral("B"), to[1]}});
  writeHeld({{QStringLiteral("h1"), QString(), QString()},
             {QStringLiteral("h2"), QString(), QString()},
             {QStringLiteral("h3"), QString(), QString()}});
  forms::WriteForm& w = openComposer();
  w.Command14_Click();  // three held mails on show
  ASSERT_EQ(w.List1->count(), 3);
  w.setOption2(true);
  w.Option2_Click();
  w.SubjectText->setText(QStringLiteral("to the book"));
  w.Command1_Click();
  const auto sent = sentList();
  ASSERT_EQ(sent.size(), 2u);  // one mail per book entry, none twice
  EXPECT_EQ(sent[0].FromTo.text(), to[0]);
  EXPECT_EQ(sent[1].FromTo.text(), to[1]);
  EXPECT_TRUE(receivedFor(to[0]));
  EXPECT_TRUE(receivedFor(to[1]));
}

TEST_F(WriteFormTest, SendToAllWithAnEmptyBookSendsNothingAndStillCloses) {
  start();
  forms::WriteForm& w = openComposer();
  QPointer<forms::WriteForm> self(&w);
  w.setOption2(true);
  w.Option2_Click();
  w.SubjectText->setText(QStringLiteral("nobody"));
  w.Command1_Click();
  EXPECT_TRUE(sentList().empty());
  ASSERT_TRUE(self);
  EXPECT_EQ(w.Label7->text(), QStringLiteral("送信完了です。"));
  EXPECT_FALSE(WriteFormLoaded());
  EXPECT_EQ(::MainForm().Text4->text(), QStringLiteral("0"));
}

TEST_F(WriteFormTest, AFailedMailIsReportedAndTheOthersStillGo) {
  start();
  const QString first = uniqueRecipient(QStringLiteral("fail1"));
  const QString third = uniqueRecipient(QStringLiteral("fail3"));
  writeAddressBook({{QStringLiteral("1"), first}, {QStringLiteral("2"), QString()}, {QStringLiteral("3"), third}});
  forms::WriteForm& w = openComposer();
  w.setOption2(true);
  w.Option2_Click();
  boxes.clear();
  w.SubjectText->setText(QStringLiteral("partly"));
  w.Command1_Click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("送信エラー"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("宛先のメールアドレスがありません"));
  // Then which recipients got the mail and which did not.
  EXPECT_TRUE(boxes[1].prompt.startsWith(QStringLiteral("送信できた宛先（2件）:\r\n　") + first + QStringLiteral("\r\n　") +
                                         third + QStringLiteral("\r\n\r\n送信できなかった宛先（1件）:\r\n　（宛先なし）")))
      << boxes[1].prompt.toStdString();
  EXPECT_TRUE(receivedFor(first));
  EXPECT_TRUE(receivedFor(third));
  // The sent list holds the two mails the server took; the composer stays
  // with the mail and its mode.
  const auto sent = sentList();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].FromTo.text(), first);
  EXPECT_EQ(sent[1].FromTo.text(), third);
  ASSERT_TRUE(WriteFormLoaded());
  EXPECT_EQ(w.Label7->text(), QStringLiteral("送信できなかったメールがあります。"));
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("partly"));
  EXPECT_TRUE(w.Option2->isChecked());
  EXPECT_TRUE(w.ToText->text().isEmpty());
  EXPECT_EQ(::MainForm().Text4->text(), QStringLiteral("2"));
}

TEST_F(WriteFormTest, AMailThatWasNotSentStaysInTheComposerAndOutOfTheSentList) {
  start();
  forms::WriteForm& w = openComposer();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const QString rcpt = uniqueRecipient(QStringLiteral("unsent"));
  w.ToText->setText(rcpt);
  w.SubjectText->setText(QStringLiteral("報告"));
  QTest::keyClicks(w.rtfEd, QStringLiteral("report"));
  w.AttachText->setText(dir.path() + QStringLiteral("/なくなった.txt"));  // an attachment that cannot be read
  QTest::mouseClick(w.Command1, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("送信エラー"));
  EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("なくなった.txt")));
  EXPECT_FALSE(receivedFor(rcpt, 500));
  EXPECT_TRUE(sentList().empty());
  EXPECT_EQ(::MainForm().Text4->text(), QStringLiteral("0"));
  ASSERT_TRUE(WriteFormLoaded());
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.Label7->text(), QStringLiteral("送信できなかったメールがあります。"));
  EXPECT_EQ(w.ToText->text(), rcpt);
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("報告"));
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("report"));
  // Without the attachment it goes: one record, and the composer closes.
  QTest::mouseClick(w.Command10, Qt::LeftButton);
  QTest::mouseClick(w.Command1, Qt::LeftButton);
  EXPECT_TRUE(receivedFor(rcpt));
  ASSERT_EQ(sentList().size(), 1u);
  EXPECT_FALSE(WriteFormLoaded());
}

TEST_F(WriteFormTest, FortuneSlipOnEveryMailButNeverInTheSentList) {
  start();
  QStringList to;
  std::vector<Address> book;
  for (int i = 0; i < 5; ++i) {
    to << uniqueRecipient(QStringLiteral("fortune%1").arg(i));
    book.push_back({QStringLiteral("n%1").arg(i), to.back()});
  }
  writeAddressBook(book);
  // Draws of 0, 0.25, 0.5, 0.75 and 0.99: fortunes 1, 4, 7, 10 and 12.
  const float draws[] = {0.0f, 0.25f, 0.5f, 0.75f, 0.99f};
  const int expectedK[] = {1, 4, 7, 10, 12};
  int next = 0;
  seams::setRandom([&] { return draws[next++ % 5]; });
  forms::WriteForm& w = openComposer();
  w.setOption2(true);
  w.Option2_Click();
  w.Check1->setChecked(true);
  w.SubjectText->setText(QStringLiteral("占い付き"));
  SetEditorText(w.rtfEd, QStringLiteral("本文です"));
  w.Command1_Click();
  EXPECT_EQ(next, 5);
  for (int i = 0; i < 5; ++i) {
    const auto got = receivedFor(to[i]);
    ASSERT_TRUE(got) << i;
    EXPECT_EQ(got->body, QStringLiteral("本文です") + composer::fortuneBlock(expectedK[i])) << i;
  }
  for (const auto& r : sentList()) EXPECT_EQ(r.Body.text(), QStringLiteral("本文です"));
}

TEST_F(WriteFormTest, FortuneBlockHasTheHeaderAndTwelveFortunes) {
  const QString header = QStringLiteral(
      "★★★　この占いは アトランダムにチョイスしたものです（だからこそ占い♪）　送信者にも内容は判りませんので、あしから"
      "ず・・・当たるも八卦、当たらぬも八卦。★★★");
  int daikichi = 0, chukichi = 0, kichi = 0, kyo = 0;
  for (int k = 1; k <= 12; ++k) {
    const QString f = composer::fortuneText(k);
    EXPECT_EQ(composer::fortuneBlock(k), QStringLiteral("\r\n\r\n") + header + QStringLiteral("\r\n\r\n") + f);
    daikichi += f.startsWith(QStringLiteral("大吉："));
    chukichi += f.startsWith(QStringLiteral("中吉："));
    kichi += f.startsWith(QStringLiteral("吉："));
    kyo += f.startsWith(QStringLiteral("凶："));
    EXPECT_EQ(f.contains(QChar(0x3000)), k == 1 || k == 2 || k == 7 || k == 11) << k;
  }
  EXPECT_EQ(daikichi, 3);
  EXPECT_EQ(chukichi, 5);
  EXPECT_EQ(kichi, 2);
  EXPECT_EQ(kyo, 2);
  EXPECT_TRUE(composer::fortuneText(7).endsWith(QChar(0x3000)));
  EXPECT_TRUE(composer::fortuneText(0).isEmpty());
  EXPECT_TRUE(composer::fortuneText(13).isEmpty());
}

TEST_F(WriteFormTest, TheNoHistorySwitch) {
  struct Case {
    const char* value;
    bool recordWritten;
    std::optional<bool> setFormTicked;  // nullopt: left as it was
  } cases[] = {{"0", true, false}, {"1", false, true}, {"2", false, std::nullopt}};
  for (const Case& c : cases) {
    destroyWindows();
    startup::releaseInstanceLock();
    QFile::remove(real(records::kSentFile));
    start({QStringLiteral("NUMBER14=") + QLatin1String(c.value)});
    ::SetForm().Check1->setChecked(c.value[0] == '0');  // the opposite of what the send sets
    const bool before = ::SetForm().Check1->isChecked();
    forms::WriteForm& w = openComposer();
    const QString rcpt = uniqueRecipient(QStringLiteral("hist"));
    w.ToText->setText(rcpt);
    w.SubjectText->setText(QStringLiteral("history"));
    w.Command1_Click();
    EXPECT_TRUE(receivedFor(rcpt)) << c.value;
    EXPECT_EQ(sentList().size(), c.recordWritten ? 1u : 0u) << c.value;
    EXPECT_EQ(::SetForm().Check1->isChecked(), c.setFormTicked.value_or(before)) << c.value;
    EXPECT_EQ(::MainForm().Text4->text(), c.recordWritten ? QStringLiteral("1") : QStringLiteral("0")) << c.value;
  }
}

TEST_F(WriteFormTest, CcListSendsOneMailPerEntryAndEmptiesTheList) {
  start();
  const QStringList to{uniqueRecipient(QStringLiteral("cc1")), uniqueRecipient(QStringLiteral("cc2"))};
  forms::WriteForm& w = openComposer();
  w.Label5_Click();  // typed addresses
  ASSERT_TRUE(CcFormLoaded());
  EXPECT_EQ(MultiSendMode, 1);
  EXPECT_EQ(::CcForm().Label3->text(), QStringLiteral("手動で入力が選択されました"));
  EXPECT_EQ(::CcForm().Text5->text(), QStringLiteral("ここにアドレスを手動で入力。"));
  EXPECT_TRUE(::CcForm().Command2->isEnabled());
  EXPECT_FALSE(w.List1->isEnabled());
  EXPECT_FALSE(w.ToText->isEnabled());
  for (const QString& a : to) {
    ::CcForm().Text5->setText(a);
    ::CcForm().Command2_Click();
  }
  w.SubjectText->setText(QStringLiteral("Cc送信"));
  w.Command1_Click();
  const auto sent = sentList();
  ASSERT_EQ(sent.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(sent[static_cast<std::size_t>(i)].FromTo.text(), to[i]);
    EXPECT_TRUE(receivedFor(to[i])) << i;
  }
  EXPECT_FALSE(CcFormLoaded());
  EXPECT_EQ(MultiSendMode, 0);
  EXPECT_EQ(QFileInfo(real(records::kCcListFile)).size(), 0);
}

TEST_F(WriteFormTest, CcListSendsToTheAddressesOnShowNotToLeftoverRecords) {
  start();
  const QString stale = uniqueRecipient(QStringLiteral("stale"));
  writeCcList({stale});  // left in the file by an earlier run
  const QStringList to{uniqueRecipient(QStringLiteral("pick1")), uniqueRecipient(QStringLiteral("pick2"))};
  writeAddressBook({{QStringLiteral("一"), to[0]}, {QStringLiteral("二"), to[1]}});
  forms::WriteForm& w = openComposer();
  w.Label6_Click();  // addresses from the pane
  EXPECT_EQ(::CcForm().Label3->text(), QStringLiteral("アドレス帳から入力が選択されました"));
  EXPECT_FALSE(::CcForm().Text5->isEnabled());
  EXPECT_FALSE(::CcForm().Command2->isEnabled());
  EXPECT_TRUE(w.List1->isEnabled());
  ASSERT_EQ(w.List1->count(), 2);
  for (int row = 0; row < 2; ++row) {
    w.List1->setCurrentRow(row);
    w.List1_MouseDown();
  }
  EXPECT_EQ(::CcForm().List3->count(), 2);
  EXPECT_EQ(::CcForm().Text3->text(), QStringLiteral("2"));
  w.SubjectText->setText(QStringLiteral("picked"));
  w.Command1_Click();
  const auto sent = sentList();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].FromTo.text(), to[0]);
  EXPECT_EQ(sent[1].FromTo.text(), to[1]);
  EXPECT_FALSE(receivedFor(stale, 300));
}

TEST_F(WriteFormTest, AttachmentsGoWithTheMail) {
  start();
  const QString a = dir.path() + QStringLiteral("/報告書.txt");
  const QString b = dir.path() + QStringLiteral("/data.bin");
  writeFile(a, sjis(QStringLiteral("一つ目")));
  QByteArray binary;
  for (int i = 0; i < 5000; ++i) binary.append(char(i * 7));
  writeFile(b, binary);
  std::deque<QString> picks{a, b};
  seams::setFileDialogHandler([&](const seams::FileDialogCall& c) -> std::optional<QString> {
    EXPECT_EQ(c.kind, seams::FileDialogCall::Open);
    EXPECT_EQ(c.flags, 4);
    if (picks.empty()) return std::nullopt;
    const QString p = picks.front();
    picks.pop_front();
    return p;
  });
  forms::WriteForm& w = openComposer();
  w.AttachCommand_Click();
  w.Command9_Click();
  EXPECT_EQ(w.AttachText->text(), a + u',' + b);
  w.Command16_Click();  // hiding the list keeps the files
  const QString rcpt = uniqueRecipient(QStringLiteral("attach"));
  w.ToText->setText(rcpt);
  w.SubjectText->setText(QStringLiteral("添付"));
  w.Command1_Click();
  const auto got = receivedFor(rcpt);
  ASSERT_TRUE(got);
  ASSERT_EQ(got->files.size(), 2u);
  EXPECT_EQ(got->files[0].first, QStringLiteral("data.bin"));
  EXPECT_EQ(got->files[0].second, binary);
  EXPECT_EQ(got->files[1].first, QStringLiteral("報告書.txt"));
  EXPECT_EQ(got->files[1].second, sjis(QStringLiteral("一つ目")));
}

namespace {

// How many mails the SMTP server took for rcpt.
int mailsFor(const QString& rcpt) {
  const QDir d(QString::fromStdString(testservers::smtpInbox()));
  const std::string key = "<" + rcpt.toStdString() + ">";
  int n = 0;
  for (const QString& name : d.entryList(QDir::Files)) {
    QFile f(d.filePath(name));
    if (!f.open(QIODevice::ReadOnly)) continue;
    const std::string data = f.readAll().toStdString();
    const auto at = data.find("X-Envelope-To:");
    if (at != std::string::npos && data.substr(at, data.find("\r\n", at) - at).find(key) != std::string::npos) ++n;
  }
  return n;
}

}  // namespace

TEST_F(WriteFormTest, AfterAPartlyFailedSendOnlyTheRecipientsNotReachedAreSentAgain) {
  for (const bool ccList : {false, true}) {
    SCOPED_TRACE(ccList ? "Cc list" : "send to all");
    TearDown();
    SetUp();
    start();
    QFile::remove(real(records::kSentFile));  // the program folder is the test's, for both rounds
    const QString first = uniqueRecipient(QStringLiteral("again1"));
    const QString third = uniqueRecipient(QStringLiteral("again3"));
    const QString bad = QStringLiteral("not an address");
    forms::WriteForm& w = openComposer();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    if (ccList) {
      QTest::mouseClick(w.Label5, Qt::LeftButton);
      ASSERT_TRUE(CcFormLoaded());
      for (const QString& a : {first, bad, third}) {
        ::CcForm().Text5->clear();
        QTest::keyClicks(::CcForm().Text5, a);
        QTest::mouseClick(::CcForm().Command2, Qt::LeftButton);
      }
      ASSERT_EQ(::CcForm().List3->count(), 3);
    } else {
      writeAddressBook({{QStringLiteral("1"), first}, {QStringLiteral("2"), bad}, {QStringLiteral("3"), third}});
      QTest::mouseClick(w.Option2, Qt::LeftButton);
      ASSERT_TRUE(w.Option2->isChecked());
    }
    QTest::keyClicks(w.SubjectText, QStringLiteral("twice"));
    boxes.clear();
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("送信エラー"));
    EXPECT_TRUE(boxes[1].prompt.contains(QStringLiteral("送信できなかった宛先（1件）:\r\n　") + bad));
    EXPECT_TRUE(receivedFor(first));
    EXPECT_TRUE(receivedFor(third));
    ASSERT_TRUE(WriteFormLoaded());
    if (ccList) {
      // The Cc list holds what is still to be sent, in the window and in its file.
      ASSERT_EQ(::CcForm().List3->count(), 1);
      EXPECT_EQ(::CcForm().List3->item(0)->text(), bad);
      EXPECT_EQ(readAll<records::CcAddressRecord>(records::kCcListFile).size(), 1u);
    }

    // Sent again: only the recipient not reached is tried; nobody gets the mail twice.
    boxes.clear();
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[1].prompt.startsWith(QStringLiteral("送信できた宛先（0件）:")));
    QThread::msleep(300);
    EXPECT_EQ(mailsFor(first), 1);
    EXPECT_EQ(mailsFor(third), 1);
    EXPECT_EQ(sentList().size(), 2u);

    if (ccList) {
      // Put right in the Cc window, the last one goes and the composer closes.
      const QString fixed = uniqueRecipient(QStringLiteral("again2"));
      QTest::mouseClick(::CcForm().Command1, Qt::LeftButton);
      ::CcForm().Text5->clear();
      QTest::keyClicks(::CcForm().Text5, fixed);
      QTest::mouseClick(::CcForm().Command2, Qt::LeftButton);
      boxes.clear();
      QTest::mouseClick(w.Command1, Qt::LeftButton);
      EXPECT_TRUE(boxes.empty());
      EXPECT_TRUE(receivedFor(fixed));
      EXPECT_EQ(mailsFor(first), 1);
      EXPECT_FALSE(WriteFormLoaded());
    } else {
      // Choosing the mode anew sends to the whole book again.
      QTest::mouseClick(w.Option2, Qt::LeftButton);
      boxes.clear();
      QTest::mouseClick(w.Command1, Qt::LeftButton);
      EXPECT_TRUE(boxes.size() == 2u && boxes[1].prompt.startsWith(QStringLiteral("送信できた宛先（2件）:")));
      QThread::msleep(300);
      EXPECT_EQ(mailsFor(first), 2);
    }
  }
}

TEST_F(WriteFormTest, AfterAFailedSendTheAttachmentButtonsMatchTheKeptFiles) {
  start();
  forms::WriteForm& w = openComposer();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const QString a = dir.path() + QStringLiteral("/a.txt");
  QFile fa(a);
  ASSERT_TRUE(fa.open(QIODevice::WriteOnly));
  fa.write("first");
  fa.close();
  const QString gone = dir.path() + QStringLiteral("/消えた.txt");
  std::vector<seams::FileDialogCall> dialogs;
  std::deque<std::optional<QString>> chosen{a, gone};
  seamtest::recordFileDialogs(dialogs, chosen);
  QTest::mouseClick(w.AttachCommand, Qt::LeftButton);
  QTest::mouseClick(w.Command9, Qt::LeftButton);
  ASSERT_EQ(w.AttachText->text(), a + QLatin1Char(',') + gone);
  QTest::keyClicks(w.ToText, uniqueRecipient(QStringLiteral("attachfail")));
  QTest::mouseClick(w.Command1, Qt::LeftButton);  // the second file cannot be read
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("送信エラー"));
  // The files are kept and the buttons say so: one more can be added, the
  // first-file button (which would replace them all) stays off.
  EXPECT_EQ(w.AttachText->text(), a + QLatin1Char(',') + gone);
  EXPECT_FALSE(w.AttachCommand->isEnabled());
  EXPECT_TRUE(w.Command9->isEnabled());
  EXPECT_TRUE(w.Command10->isEnabled());
  EXPECT_TRUE(w.List2->isVisible());
  EXPECT_EQ(w.List2->count(), 2);
}

namespace {

// Pastes text into a box the way the user does (Ctrl+V).
void paste(QWidget* box, const QString& text) {
  QApplication::clipboard()->setText(text);
  box->setFocus();
  QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

}  // namespace

TEST_F(WriteFormTest, CharactersShiftJisLacksAreRefusedInAddressesAndAskedAboutInTheText) {
  start();
  forms::WriteForm& w = openComposer();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const QString rcpt = uniqueRecipient(QStringLiteral("emoji"));

  // A typed To address: refused, nothing sent, nothing changed.
  paste(w.ToText, QStringLiteral("😀@example.jp"));
  QTest::keyClicks(w.SubjectText, QStringLiteral("s"));
  QTest::mouseClick(w.Command1, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("😀")));
  EXPECT_EQ(w.ToText->text(), QStringLiteral("😀@example.jp"));
  EXPECT_TRUE(sentList().empty());

  // Subject and body: the user is told which characters would become "?".
  w.ToText->clear();
  QTest::keyClicks(w.ToText, rcpt);
  paste(w.rtfEd, QStringLiteral("丸①と😀と🍣"));
  answers = {seams::vbNo};
  boxes.clear();
  QTest::mouseClick(w.Command1, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("\r\n\r\n😀🍣\r\n\r\n"))) << boxes[0].prompt.toStdString();
  EXPECT_FALSE(receivedFor(rcpt, 300));
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("丸①と😀と🍣"));
  ASSERT_TRUE(WriteFormLoaded());
  answers = {seams::vbYes};
  QTest::mouseClick(w.Command1, Qt::LeftButton);
  const auto got = receivedFor(rcpt);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->body, QStringLiteral("丸①と?と?"));

  // A Cc address typed into the Cc window: refused like the address book's.
  forms::WriteForm& again = openComposer();
  QTest::mouseClick(again.Label5, Qt::LeftButton);
  ASSERT_TRUE(CcFormLoaded());
  ::CcForm().Text5->clear();
  paste(::CcForm().Text5, QStringLiteral("😀@example.jp"));
  boxes.clear();
  QTest::mouseClick(::CcForm().Command2, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("Shift-JIS")));
  EXPECT_EQ(::CcForm().List3->count(), 0);
  EXPECT_TRUE(readAll<records::CcAddressRecord>(records::kCcListFile).empty());
  EXPECT_EQ(::CcForm().Text5->text(), QStringLiteral("😀@example.jp"));
}

TEST_F(WriteFormTest, AnAttachmentWhoseNameShiftJisLacksIsSent) {
  start();
  forms::WriteForm& w = openComposer();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const QString path = dir.path() + QStringLiteral("/café résumé〜.txt");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("contents");
  f.close();
  std::vector<seams::FileDialogCall> dialogs;
  std::deque<std::optional<QString>> chosen{path};
  seamtest::recordFileDialogs(dialogs, chosen);
  QTest::mouseClick(w.AttachCommand, Qt::LeftButton);
  const QString rcpt = uniqueRecipient(QStringLiteral("cafe"));
  QTest::keyClicks(w.ToText, rcpt);
  QTest::keyClicks(w.SubjectText, QStringLiteral("cv"));
  QTest::mouseClick(w.Command1, Qt::LeftButton);
  EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? std::string() : boxes[0].prompt.toStdString());
  const auto got = receivedFor(rcpt);
  ASSERT_TRUE(got);
  EXPECT_NE(got->raw.find("filename*=UTF-8''caf%C3%A9%20r%C3%A9sum%C3%A9%E3%80%9C.txt"), std::string::npos);
  ASSERT_EQ(got->files.size(), 1u);
  EXPECT_EQ(got->files[0].second, QByteArray("contents"));
}
