// Held mails and the address pane of the new-mail composer.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include "client/composer/ccform.h"
#include "client/composer/tests/writeform_fixture.h"
#include "client/composer/writeformparts.h"

using namespace writetest;

namespace {

QString bodyOf(const forms::WriteForm& w) { return EditorText(w.rtfEd); }

}  // namespace

TEST_F(WriteFormTest, HoldNeedsASubjectAndAYes) {
  struct Case {
    const char* name;
    QString subject;
    int answer;
    bool stored;
  } cases[] = {
      {"empty subject", QString(), seams::vbYes, false},
      {"answered No", QStringLiteral("件名"), seams::vbNo, false},
      {"blanks count as a subject", QStringLiteral("   "), seams::vbYes, true},
  };
  start();
  for (const Case& c : cases) {
    QFile::remove(real(records::kHeldMailFile));
    forms::WriteForm& w = openComposer();
    w.SubjectText->setText(c.subject);
    w.ToText->setText(QStringLiteral("a@example.jp"));
    boxes.clear();
    answers = {c.answer};
    w.Command13_Click();
    EXPECT_EQ(heldList().size(), c.stored ? 1u : 0u) << c.name;
    ASSERT_EQ(boxes.size(), 1u) << c.name;
    if (c.subject.isEmpty()) {
      EXPECT_EQ(boxes[0].prompt, QStringLiteral("件名が空白です。保存出来ません。"));
      EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbInformation);
    } else {
      EXPECT_EQ(boxes[0].prompt,
                QStringLiteral("作成したメールを保留し（保存）後で送信しますか？ 保存後、内容をクリアします。"));
      EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
      EXPECT_EQ(boxes[0].buttons, seams::vbYesNo | seams::vbQuestion);
    }
    // A mail not held stays in the composer.
    EXPECT_EQ(w.ToText->text().isEmpty(), c.stored) << c.name;
    w.Unload();
  }
}

TEST_F(WriteFormTest, HoldKeepsTheMailTrimmedListsTheHeldMailsAndClears) {
  start();
  writeHeld({{QStringLiteral("前の保留"), QStringLiteral("x@example.jp"), QStringLiteral("前")}});
  forms::WriteForm& w = openComposer(7140);
  w.SubjectText->setText(QStringLiteral("  途中の件  "));
  const QString longBody = QStringLiteral("  ") + QString(33000, u'あ');
  SetEditorText(w.rtfEd, longBody);  // To left empty
  w.Check1->setChecked(true);
  w.Command13_Click();

  const auto held = heldList();
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(held[1].Subject.text(), QStringLiteral("途中の件"));
  EXPECT_TRUE(held[1].FromTo.isEmpty());
  EXPECT_EQ(held[1].Body.text(), QString(16000, u'あ'));  // 32,000 bytes of double-byte text
  EXPECT_EQ(held[1].Live, 1);
  EXPECT_EQ(CurrentRecordNo, 2);
  // The pane lists the held mails, the window is wide again.
  EXPECT_EQ(MailListKind, 10);
  ASSERT_EQ(w.List1->count(), 2);
  EXPECT_EQ(w.List1->item(1)->text(), records::FixedText<100>(QStringLiteral("途中の件")).padded());
  EXPECT_EQ(w.Text1->text(), QStringLiteral("2"));
  EXPECT_NEAR(w.Width(), 9700, 15);
  EXPECT_EQ(writeform::backColor(w.List1), QColor(206, 240, 244));
  EXPECT_EQ(PaneToggleCount, 1);
  EXPECT_EQ(w.Command17->text(), QStringLiteral("アドレス呼出"));
  // The composer was cleared.
  EXPECT_TRUE(w.SubjectText->text().isEmpty());
  EXPECT_TRUE(bodyOf(w).isEmpty());
  EXPECT_FALSE(w.Check1->isChecked());
  EXPECT_TRUE(w.Text2->text().isEmpty());
}

TEST_F(WriteFormTest, ARecalledHeldMailComesBackWholeAndTrimmed) {
  start();
  const QString longBody = QString(5000, u'x') + QStringLiteral("終わり");
  writeHeld({{QStringLiteral("一件目"), QStringLiteral("one@example.jp"), QStringLiteral("本文一")},
             {QStringLiteral("二件目"), QStringLiteral("two@example.jp"), longBody}});
  forms::WriteForm& w = openComposer();
  w.Command14_Click();
  w.List1->setCurrentRow(1);
  w.List1_MouseDown();
  EXPECT_EQ(w.Text2->text(), QStringLiteral("1"));
  EXPECT_EQ(w.ToText->text(), QStringLiteral("two@example.jp"));
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("二件目"));
  EXPECT_EQ(bodyOf(w), longBody);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WriteFormTest, TheHeldMailReachedWithTheKeysIsRecalledAndDeleted) {
  start();
  writeHeld({{QStringLiteral("一"), QStringLiteral("1@example.jp"), QStringLiteral("b1")},
             {QStringLiteral("二"), QStringLiteral("2@example.jp"), QStringLiteral("b2")},
             {QStringLiteral("三"), QStringLiteral("3@example.jp"), QStringLiteral("b3")}});
  forms::WriteForm& w = openComposer();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QTest::mouseClick(w.Command14, Qt::LeftButton);
  QTest::mouseClick(w.List1->viewport(), Qt::LeftButton, {}, w.List1->visualItemRect(w.List1->item(0)).center());
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("一"));
  QTest::keyClick(w.List1, Qt::Key_Down);
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("二"));
  EXPECT_EQ(w.ToText->text(), QStringLiteral("2@example.jp"));
  EXPECT_EQ(bodyOf(w), QStringLiteral("b2"));
  answers = {seams::vbYes};
  QTest::mouseClick(w.Command15, Qt::LeftButton);
  const auto held = heldList();
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(held[0].Subject, QStringLiteral("一"));
  EXPECT_EQ(held[1].Subject, QStringLiteral("三"));
}

TEST_F(WriteFormTest, ARowClickWithoutASelectedRowChangesNothing) {
  start();
  forms::WriteForm& w = openComposer();
  w.ToText->setText(QStringLiteral("kept@example.jp"));
  w.List1->clearSelection();
  w.List1_MouseDown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("データが選択されていません"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbExclamation);
  EXPECT_EQ(w.ToText->text(), QStringLiteral("kept@example.jp"));
}

TEST_F(WriteFormTest, TheToggleAlternatesAndFillsTheBoxesWithTheLastRecord) {
  start();
  writeAddressBook({{QStringLiteral("甲"), QStringLiteral("ko@example.jp")}, {QStringLiteral("乙"), QStringLiteral("otsu@example.jp")}});
  forms::WriteForm& w = openComposer();
  EXPECT_EQ(w.Command17->text(), QStringLiteral("保留分呼出"));

  // No held mail yet: an empty list, the boxes as they were.
  w.SubjectText->setText(QStringLiteral("書きかけ"));
  w.Command17_Click();
  EXPECT_EQ(MailListKind, 10);
  EXPECT_EQ(w.List1->count(), 0);
  EXPECT_EQ(w.Text1->text(), QStringLiteral("0"));
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("書きかけ"));
  EXPECT_EQ(w.Command17->text(), QStringLiteral("アドレス呼出"));
  EXPECT_EQ(writeform::backColor(w.Command17), QColor(255, 255, 0));
  EXPECT_EQ(PaneToggleCount, 1);

  // Odd: the address names; the To box holds the last address, trimmed.
  w.Command17_Click();
  EXPECT_EQ(MailListKind, 0);
  ASSERT_EQ(w.List1->count(), 2);
  EXPECT_EQ(w.ToText->text(), QStringLiteral("otsu@example.jp"));
  EXPECT_EQ(w.Command17->text(), QStringLiteral("保留分呼出"));
  EXPECT_EQ(writeform::backColor(w.Command17), QColor(192, 192, 192));
  EXPECT_EQ(writeform::backColor(w.List1), QColor(255, 255, 255));
  EXPECT_EQ(PaneToggleCount, 2);

  // Even again, now with held mails: the last one lands in the boxes,
  // trimmed of its field padding.
  writeHeld({{QStringLiteral("保留一"), QStringLiteral("h1@example.jp"), QStringLiteral("本文一")},
             {QStringLiteral("保留二"), QStringLiteral("h2@example.jp"), QStringLiteral("本文二")}});
  w.Command17_Click();
  ASSERT_EQ(w.List1->count(), 2);
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("保留二"));
  EXPECT_EQ(w.ToText->text(), QStringLiteral("h2@example.jp"));
  EXPECT_EQ(bodyOf(w), QStringLiteral("本文二"));
  EXPECT_EQ(w.RecordNumbers, (std::vector<std::int16_t>{1, 2, 0}));
}

TEST_F(WriteFormTest, TheToggleCountOutlivesTheWindow) {
  start();
  forms::WriteForm& w = openComposer();
  w.Command14_Click();  // sets the count to 1
  w.Unload();
  forms::WriteForm& again = openComposer();
  EXPECT_EQ(again.Command17->text(), QStringLiteral("保留分呼出"));
  again.Command17_Click();  // lists the address names, against its caption
  EXPECT_EQ(MailListKind, 0);
}

TEST_F(WriteFormTest, DeletingAHeldMail) {
  start();
  writeHeld({{QStringLiteral("一"), QStringLiteral("1@example.jp"), QStringLiteral("b1")},
             {QStringLiteral("二"), QStringLiteral("2@example.jp"), QStringLiteral("b2")},
             {QStringLiteral("三"), QStringLiteral("3@example.jp"), QStringLiteral("b3")}});
  forms::WriteForm& w = openComposer();
  w.Command14_Click();

  // No row clicked yet.
  w.Command15_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("データが選択されていません"));
  EXPECT_EQ(heldList().size(), 3u);

  // Clicked, then No: the body and the marker go, To and subject stay.
  w.List1->setCurrentRow(1);
  w.List1_MouseDown();
  boxes.clear();
  answers = {seams::vbNo};
  w.Command15_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_EQ(heldList().size(), 3u);
  EXPECT_TRUE(bodyOf(w).isEmpty());
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("二"));
  EXPECT_TRUE(w.Text2->text().isEmpty());

  // Clicked, then Yes: the record goes, the rest close up.
  w.List1->setCurrentRow(1);
  w.List1_MouseDown();
  w.Command15_Click();
  const auto held = heldList();
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(held[0].Subject.text(), QStringLiteral("一"));
  EXPECT_EQ(held[1].Subject.text(), QStringLiteral("三"));
  EXPECT_EQ(CurrentRecordNo, 2);
  EXPECT_EQ(w.List1->count(), 2);
  EXPECT_EQ(w.Text1->text(), QStringLiteral("2"));
  EXPECT_TRUE(w.SubjectText->text().isEmpty());
  EXPECT_FALSE(QFile::exists(real(QStringLiteral("\\★MAilData\\XQMDATA10.TMP"))));

  // Deleting the rest leaves an empty file and an empty list.
  for (int i = 0; i < 2; ++i) {
    w.List1->setCurrentRow(0);
    w.List1_MouseDown();
    w.Command15_Click();
  }
  EXPECT_EQ(QFileInfo(real(records::kHeldMailFile)).size(), 0);
  EXPECT_EQ(w.List1->count(), 0);
}

TEST_F(WriteFormTest, DeleteWhileThePaneListsNamesDoesNothing) {
  writeHeld({{QStringLiteral("一"), QString(), QString()}});
  writeAddressBook({{QStringLiteral("甲"), QStringLiteral("ko@example.jp")}});
  start();  // the composer loads with the address names in its pane
  forms::WriteForm& w = openComposer();
  w.List1->setCurrentRow(0);
  w.List1_MouseDown();
  w.Command15_Click();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(heldList().size(), 1u);
  EXPECT_EQ(PaneToggleCount, 1);
  EXPECT_EQ(w.Command17->text(), QStringLiteral("アドレス呼出"));
}

TEST_F(WriteFormTest, OpeningAndClosingThePane) {
  start();
  writeAddressBook({{QStringLiteral("甲"), QStringLiteral("ko@example.jp")}});
  forms::WriteForm& w = openComposer();
  w.Command6_Click();
  EXPECT_NEAR(w.Width(), 7100, 15);
  w.Command14_Click();
  EXPECT_EQ(MailListKind, 10);
  w.Command6_Click();
  EXPECT_EQ(MailListKind, 10);  // closing keeps the list
  w.Command4_Click();
  EXPECT_NEAR(w.Width(), 9700, 15);
  EXPECT_EQ(MailListKind, 0);
  ASSERT_EQ(w.List1->count(), 1);
  EXPECT_EQ(w.List1->item(0)->text(), records::FixedText<90>(QStringLiteral("甲")).padded());
  EXPECT_TRUE(w.ToText->text().isEmpty());  // opening does not touch the To box
  EXPECT_EQ(w.RecordNumbers, (std::vector<std::int16_t>{1, 0}));
}

TEST_F(WriteFormTest, APickedAddressComesWholeAndFeedsTheCcListInCcMode) {
  const QString longAddress = QStringLiteral("山田 太郎 <") + QString(60, u'y') + QStringLiteral("@example.jp>");
  writeAddressBook({{QStringLiteral("長い"), longAddress}, {QStringLiteral("短い"), QStringLiteral("  s@example.jp")}});
  start();
  forms::WriteForm& w = openComposer();
  w.List1->setCurrentRow(0);
  w.List1_MouseDown();
  EXPECT_EQ(w.ToText->text(), longAddress);
  EXPECT_FALSE(QFile::exists(real(records::kCcListFile)));

  w.Label6_Click();
  for (int row : {1, 1}) {  // the same address twice
    w.List1->setCurrentRow(row);
    w.List1_MouseDown();
  }
  EXPECT_EQ(w.ToText->text(), QStringLiteral("s@example.jp"));
  EXPECT_EQ(::CcForm().List3->count(), 2);
  EXPECT_EQ(::CcForm().Text2->text(), QStringLiteral("s@example.jp"));
  const auto cc = readAll<records::CcAddressRecord>(records::kCcListFile);
  ASSERT_EQ(cc.size(), 2u);
  for (const auto& r : cc) {
    EXPECT_EQ(r.Address.text(), QStringLiteral("s@example.jp"));
    EXPECT_EQ(r.Live, 1);
  }
  EXPECT_EQ(CurrentRecordNo, 2);

  // Moving through the addresses with the keys adds none of them.
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QTest::keyClick(w.List1, Qt::Key_Home);
  QTest::keyClick(w.List1, Qt::Key_Down);
  EXPECT_EQ(::CcForm().List3->count(), 2);
  EXPECT_EQ(readAll<records::CcAddressRecord>(records::kCcListFile).size(), 2u);
}

TEST_F(WriteFormTest, AMailThatCannotBeHeldStaysInTheComposer) {
  start();
  // A folder where the held-mail file belongs: nothing can be written there.
  QDir().mkpath(dir.path() + QStringLiteral("/★MailData/xqmdata10.data"));
  forms::WriteForm& w = openComposer();
  w.SubjectText->setText(QStringLiteral("大事な下書き"));
  SetEditorText(w.rtfEd, QStringLiteral("消えては困る本文"));
  w.Command13_Click();
  ASSERT_EQ(boxes.size(), 2u);  // the question, then the failure
  EXPECT_TRUE(boxes[1].prompt.startsWith(QStringLiteral("保留メールを保存できませんでした。"))) << boxes[1].prompt.toStdString();
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("大事な下書き"));
  EXPECT_EQ(bodyOf(w), QStringLiteral("消えては困る本文"));
}

TEST_F(WriteFormTest, AHeldMailHasABlankDateWhateverTheBufferHeld) {
  start();
  // A held mail whose date field is all NUL bytes, as older files have it:
  // listing it puts it into the record buffer.
  writeHeld({{QStringLiteral("前の保留"), QStringLiteral("x@example.jp"), QStringLiteral("前")}});
  const QString file = paths::resolve(records::kHeldMailFile);
  QByteArray old = seamtest::fileBytes(file);
  old.replace(100, 90, QByteArray(90, '\0'));
  seamtest::putFile(file, old);
  forms::WriteForm& w = openComposer();
  QTest::mouseClick(w.Command14, Qt::LeftButton);
  ASSERT_EQ(w.List1->count(), 1);
  w.SubjectText->setText(QStringLiteral("次の件"));
  QTest::mouseClick(w.Command13, Qt::LeftButton);
  const QByteArray bytes = seamtest::fileBytes(file);
  ASSERT_EQ(bytes.size(), 2 * 32284);
  EXPECT_EQ(bytes.mid(32284 + 100, 90), QByteArray(90, ' '));
}

TEST_F(WriteFormTest, TheRecallButtonAsksBeforeItReplacesTypedTextAndUndoBringsItBack) {
  start();
  writeAddressBook({{QStringLiteral("甲"), QStringLiteral("ko@example.jp")}});
  writeHeld({{QStringLiteral("保留"), QStringLiteral("held@example.jp"), QStringLiteral("保留の本文")}});
  forms::WriteForm& w = openComposer();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QTest::keyClicks(w.ToText, QStringLiteral("typed@example.jp"));
  QTest::keyClicks(w.SubjectText, QStringLiteral("typed subject"));
  QTest::keyClicks(w.rtfEd, QStringLiteral("typed body"));

  // "保留分呼出" answered No: the pane lists the held mails, the boxes keep the typed mail.
  answers = {seams::vbNo};
  QTest::mouseClick(w.Command17, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_EQ(boxes[0].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("入力中の宛先・件名・本文を、呼び出した内容で置き換えます。よろしいですか？"));
  EXPECT_EQ(MailListKind, 10);
  EXPECT_EQ(w.List1->count(), 1);
  EXPECT_EQ(w.ToText->text(), QStringLiteral("typed@example.jp"));
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("typed subject"));
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("typed body"));

  // "アドレス呼出" answered No keeps the typed address too. It would replace
  // the To box alone, and its question names that alone.
  answers = {seams::vbNo};
  ASSERT_EQ(w.Command17->text(), QStringLiteral("アドレス呼出"));
  QTest::mouseClick(w.Command17, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].title, QStringLiteral("確認"));
  EXPECT_EQ(boxes[1].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("入力中の宛先を、呼び出したアドレスで置き換えます。よろしいですか？"));
  EXPECT_EQ(w.ToText->text(), QStringLiteral("typed@example.jp"));
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("typed subject"));
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("typed body"));

  // Yes: the held mail comes in without its padding; Undo brings the typed texts back.
  answers = {seams::vbYes};
  QTest::mouseClick(w.Command17, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(w.ToText->text(), QStringLiteral("held@example.jp"));
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("保留"));
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("保留の本文"));
  w.rtfEd->setFocus();
  QTest::keyClick(w.rtfEd, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("typed body"));
  w.SubjectText->setFocus();
  QTest::keyClick(w.SubjectText, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(w.SubjectText->text(), QStringLiteral("typed subject"));

  // A recalled mail is no typed text: the next recall replaces it without a word.
  SetEditorText(w.rtfEd, QString());
  w.ToText->clear();
  w.SubjectText->clear();
  QTest::mouseClick(w.Command17, Qt::LeftButton);  // the address names
  EXPECT_EQ(w.ToText->text(), QStringLiteral("ko@example.jp"));
  QTest::mouseClick(w.Command17, Qt::LeftButton);  // the held mails
  EXPECT_EQ(boxes.size(), 3u);
  EXPECT_EQ(w.ToText->text(), QStringLiteral("held@example.jp"));
}
