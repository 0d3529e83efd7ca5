// Held replies: hold, the list, inserting a held text and deleting one.
#include "client/composer/tests/backform_fixture.h"

#include <QApplication>
#include <QFrame>
#include <QMouseEvent>
#include <QTest>

using namespace backtest;

namespace {
const QString kNotSelected = QStringLiteral("データが選択されていません");
}

TEST_F(BackFormTest, HoldRefusesAnEmptySubjectAndNoHidesThePaneAgain) {
  auto& b = reply(QString(), QStringLiteral("a@example.jp"), QStringLiteral("本文"));
  b.Command13_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("件名が空白です。保存出来ません。"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbInformation);
  EXPECT_TRUE(b.Picture5->isVisible());  // stays shown
  EXPECT_TRUE(heldRecords().empty());

  b.SubjectText->setText(QStringLiteral("Re:  件名"));
  answers = {seams::vbNo};
  b.mnuato->trigger();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("作成したメールを保留し（保存）後で送信しますか？ 保存後、内容をクリアします。"));
  EXPECT_EQ(boxes[1].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(boxes[1].title, QStringLiteral("確認"));
  EXPECT_FALSE(b.Picture5->isVisible());
  EXPECT_TRUE(b.Picture3->isVisible());
  EXPECT_TRUE(heldRecords().empty());
  EXPECT_EQ(b.SubjectText->text(), QStringLiteral("Re:  件名"));
}

TEST_F(BackFormTest, HoldWritesARecordListsItAndEmptiesTheReply) {
  const QString attached = dir.filePath(QStringLiteral("f.txt"));
  auto& b = reply(QStringLiteral("  Re:  お知らせ  "), QStringLiteral(" x@example.jp "),
                  QStringLiteral("  お返事です。\r\n二行目  "));
  chosen = {attached};
  b.AttachCommand_Click();
  ASSERT_EQ(b.List2->count(), 1);
  b.Text2->setText(QStringLiteral("1"));
  b.Command13_Click();
  EXPECT_EQ(CurrentRecordNo, 1);
  // The record as it stands on file.
  const QByteArray bytes = fileBytes(heldFile());
  ASSERT_EQ(bytes.size(), 32284);
  EXPECT_EQ(bytes.left(100), sjis(QStringLiteral("Re:  お知らせ")).leftJustified(100, ' '));
  EXPECT_EQ(bytes.mid(190, 90), QByteArray("x@example.jp").leftJustified(90, ' '));
  EXPECT_EQ(bytes.mid(280, 32000), sjis(QStringLiteral("お返事です。\r\n二行目")).leftJustified(32000, ' '));
  EXPECT_EQ(bytes.mid(32280, 2), QByteArray("\r\n"));
  EXPECT_EQ(bytes.mid(32282, 2), QByteArray("\x01\x00", 2));
  // The date field is not the hold's to fill: it stays empty.
  EXPECT_TRUE(heldRecords()[0].MailDate.isEmpty());
  // The list shows the subject with its padding to 100 characters.
  ASSERT_EQ(b.List1->count(), 1);
  EXPECT_EQ(b.List1->item(0)->text(), QStringLiteral("Re:  お知らせ").leftJustified(100, u' '));
  EXPECT_EQ(b.Text1->text(), QStringLiteral("1"));
  EXPECT_EQ(b.RecordNumbers, (std::vector<std::int16_t>{1, 0}));
  // The reply is emptied, all but the attachment-name list.
  EXPECT_TRUE(b.ToText->text().isEmpty());
  EXPECT_TRUE(b.SubjectText->text().isEmpty());
  EXPECT_TRUE(EditorText(b.rtfEd).isEmpty());
  EXPECT_TRUE(b.AttachText->text().isEmpty());
  EXPECT_TRUE(b.AttachCommand->isEnabled());
  EXPECT_EQ(b.List2->count(), 1);
  EXPECT_TRUE(b.Text2->text().isEmpty());
  EXPECT_TRUE(b.Picture5->isVisible());
  // The clipboard keeps the held text.
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("  お返事です。\r\n二行目  "));

  // A second hold is appended as record 2.
  b.SubjectText->setText(QStringLiteral("二件目"));
  b.Command13_Click();
  EXPECT_EQ(CurrentRecordNo, 2);
  EXPECT_EQ(heldRecords().size(), 2u);
  EXPECT_EQ(b.Text1->text(), QStringLiteral("2"));
  EXPECT_EQ(b.RecordNumbers, (std::vector<std::int16_t>{1, 2, 0}));
}

TEST_F(BackFormTest, HoldThatCannotWriteKeepsTheReply) {
  QDir(dir.path()).rmdir(QStringLiteral("★MailData"));  // no data folder: the file cannot be made
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("a@example.jp"), QStringLiteral("大事な本文"));
  b.Command13_Click();
  ASSERT_EQ(boxes.size(), 2u);  // the question, then the failure
  EXPECT_EQ(boxes[1].buttons & 0x70, seams::vbExclamation);
  EXPECT_TRUE(boxes[1].prompt.startsWith(QStringLiteral("返事を保留できませんでした。")));
  EXPECT_EQ(b.SubjectText->text(), QStringLiteral("Re:  件名"));
  EXPECT_EQ(b.ToText->text(), QStringLiteral("a@example.jp"));
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("大事な本文"));
}

TEST_F(BackFormTest, RecallListsEveryHeldReplyAndTouchesNoField) {
  writeHeld({{QStringLiteral("一"), QStringLiteral("a@x.jp"), QStringLiteral("本文一")},
             {QStringLiteral("二"), QStringLiteral("b@x.jp"), QStringLiteral("本文二")},
             {QStringLiteral("三"), QStringLiteral("c@x.jp"), QStringLiteral("本文三")}});
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("to@example.jp"), QStringLiteral("受信本文"));
  b.Command17_Click();
  b.Text2->setText(QStringLiteral("1"));
  b.Command14_Click();
  EXPECT_TRUE(b.Picture5->isVisible());
  EXPECT_FALSE(b.Picture3->isVisible());
  EXPECT_NEAR(ui::tw(b.Picture5->height()), 6200, 15);
  EXPECT_TRUE(b.Text2->text().isEmpty());
  ASSERT_EQ(b.List1->count(), 3);
  EXPECT_EQ(vb::Trim(b.List1->item(2)->text()), QStringLiteral("三"));
  EXPECT_EQ(b.Text1->text(), QStringLiteral("3"));
  EXPECT_EQ(b.SubjectText->text(), QStringLiteral("Re:  件名"));
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("受信本文"));
  EXPECT_TRUE(boxes.empty());  // a refill is no click on the list
  // An empty file lists nothing.
  QFile::resize(heldFile(), 0);
  b.mnuhoryu->trigger();
  EXPECT_EQ(b.List1->count(), 0);
  EXPECT_EQ(b.Text1->text(), QStringLiteral("0"));
}

TEST_F(BackFormTest, InsertReplacesOnlyTheBodyWithTheWholeHeldText) {
  QString longText;
  for (int i = 0; i < 500; ++i) longText += QStringLiteral("長い保留文%1\r\n").arg(i, 3, 10, QLatin1Char('0'));
  ASSERT_GT(longText.size(), 3200);
  writeHeld({{QStringLiteral("一"), QStringLiteral("a@x.jp"), QStringLiteral("  本文一  ")},
             {QStringLiteral("二"), QStringLiteral("b@x.jp"), longText}});
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("to@example.jp"), QStringLiteral("受信本文"));
  b.Command14_Click();

  answers = {seams::vbNo};
  clickHeldRow(0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("保留文を挿入すると、送信されて来た本文はクリアされます（メールアドレス、件名はそのまま"
                                            "残ります。）。処理を続けますか？"));
  EXPECT_EQ(boxes[0].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("受信本文"));
  EXPECT_TRUE(b.Text2->text().isEmpty());

  clickHeldRow(1);
  EXPECT_EQ(b.Text2->text(), QStringLiteral("1"));
  EXPECT_EQ(EditorText(b.rtfEd), longText);
  EXPECT_EQ(b.SubjectText->text(), QStringLiteral("Re:  件名"));
  EXPECT_EQ(b.ToText->text(), QStringLiteral("to@example.jp"));
  clickHeldRow(0);
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("本文一"));
  EXPECT_EQ(heldRecords().size(), 2u);  // the held reply stays held

  // No row selected: the marker is set all the same.
  b.Text2->clear();
  b.List1->clearSelection();
  boxes.clear();
  b.List1_Click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, kNotSelected);
  EXPECT_EQ(boxes[1].buttons, seams::vbOKOnly | seams::vbExclamation);
  EXPECT_EQ(b.Text2->text(), QStringLiteral("1"));
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("本文一"));
}

TEST_F(BackFormTest, AMouseClickOnAHeldRowInsertsItsText) {
  writeHeld({{QStringLiteral("一"), QStringLiteral("a@x.jp"), QStringLiteral("本文一")},
             {QStringLiteral("二"), QStringLiteral("b@x.jp"), QStringLiteral("本文二")}});
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("to@example.jp"), QStringLiteral("受信本文"));
  b.Show();
  b.Command14_Click();
  // The press makes the row current before it selects it.
  const QRect rect = b.List1->visualItemRect(b.List1->item(1));
  QWidget* vp = b.List1->viewport();
  const QPoint at = rect.center();
  QMouseEvent press(QEvent::MouseButtonPress, at, vp->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, vp->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(vp, &press);
  QApplication::sendEvent(vp, &release);
  ASSERT_EQ(boxes.size(), 1u);  // the question only
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("本文二"));
  EXPECT_EQ(b.Text2->text(), QStringLiteral("1"));
}

TEST_F(BackFormTest, DeleteNeedsAConfirmedInsertAndCompactsTheFile) {
  writeHeld({{QStringLiteral("一"), QStringLiteral("a@x.jp"), QStringLiteral("本文一")},
             {QStringLiteral("二"), QStringLiteral("b@x.jp"), QStringLiteral("本文二")},
             {QStringLiteral("三"), QStringLiteral("c@x.jp"), QStringLiteral("本文三")}});
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("to@example.jp"), QStringLiteral("受信本文"));
  b.Command14_Click();

  // Without a confirmed insert since the listing: refused.
  b.Command15_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, kNotSelected);
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly);
  EXPECT_EQ(heldRecords().size(), 3u);

  // No to the question still empties the body, and the marker.
  clickHeldRow(1);
  boxes.clear();
  answers = {seams::vbNo};
  b.mnusakujyo->trigger();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_EQ(CurrentRecordNo, 2);
  EXPECT_TRUE(EditorText(b.rtfEd).isEmpty());
  EXPECT_EQ(b.SubjectText->text(), QStringLiteral("Re:  件名"));
  EXPECT_TRUE(b.Text2->text().isEmpty());
  EXPECT_EQ(heldRecords().size(), 3u);

  // Yes: the record goes, the rest is renumbered in its order.
  clickHeldRow(0);
  clickHeldRow(1);
  b.Command15_Click();
  const auto left = heldRecords();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(vb::Trim(left[0].Subject), QStringLiteral("一"));
  EXPECT_EQ(vb::Trim(left[1].Subject), QStringLiteral("三"));
  EXPECT_EQ(vb::Trim(left[1].Body), QStringLiteral("本文三"));
  EXPECT_FALSE(QFile::exists(real(QStringLiteral("\\★MAilData\\XQMDATA11.TMP"))));
  ASSERT_EQ(b.List1->count(), 2);
  EXPECT_EQ(vb::Trim(b.List1->item(1)->text()), QStringLiteral("三"));
  EXPECT_EQ(b.RecordNumbers, (std::vector<std::int16_t>{1, 2, 0}));
  EXPECT_EQ(b.Text1->text(), QStringLiteral("2"));
  EXPECT_TRUE(b.ToText->text().isEmpty());
  EXPECT_TRUE(b.SubjectText->text().isEmpty());
  EXPECT_TRUE(EditorText(b.rtfEd).isEmpty());
  EXPECT_TRUE(b.Text2->text().isEmpty());

  // A second delete needs a new insert.
  boxes.clear();
  b.Command15_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, kNotSelected);
}

TEST_F(BackFormTest, DeletingTheOnlyHeldReplyLeavesAnEmptyFileAndList) {
  writeHeld({{QStringLiteral("一"), QStringLiteral("a@x.jp"), QStringLiteral("本文一")}});
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("to@example.jp"), QStringLiteral("受信本文"));
  b.Command14_Click();
  clickHeldRow(0);
  b.Command15_Click();
  EXPECT_EQ(fileBytes(heldFile()).size(), 0);
  EXPECT_EQ(b.List1->count(), 0);
  EXPECT_EQ(b.Text1->text(), QStringLiteral("0"));
}

TEST_F(BackFormTest, DeleteWithTheMarkerSetButNoRowSelectedDeletesNothing) {
  writeHeld({{QStringLiteral("一"), QStringLiteral("a@x.jp"), QStringLiteral("本文一")}});
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("to@example.jp"), QStringLiteral("受信本文"));
  b.Command14_Click();
  b.List1_Click();  // an insert with no row selected sets the marker
  ASSERT_EQ(b.Text2->text(), QStringLiteral("1"));
  boxes.clear();
  b.Command15_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, kNotSelected);
  EXPECT_EQ(heldRecords().size(), 1u);
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("受信本文"));
}

TEST_F(BackFormTest, AHeldReplyHasABlankDateWhateverTheBufferHeld) {
  // A held reply whose date field is all NUL bytes, as older files have it:
  // listing it puts it into the record buffer.
  writeHeld({{QStringLiteral("一"), QStringLiteral("a@x.jp"), QStringLiteral("本文一")}});
  QByteArray old = fileBytes(heldFile());
  old.replace(100, 90, QByteArray(90, '\0'));
  seamtest::putFile(heldFile(), old);
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("b@x.jp"), QStringLiteral("本文二"));
  QTest::mouseClick(b.Command14, Qt::LeftButton);
  ASSERT_EQ(b.List1->count(), 1);
  QTest::mouseClick(b.Command13, Qt::LeftButton);
  const QByteArray bytes = fileBytes(heldFile());
  ASSERT_EQ(bytes.size(), 2 * 32284);
  EXPECT_EQ(bytes.mid(32284 + 100, 90), QByteArray(90, ' '));
}
