// The new-mail composer window: its load, size, hover help, templates,
// clear, stop, the hidden paste box, the editor commands and attachments.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>

#include "client/composer/ccform.h"
#include "client/composer/kaoform.h"
#include "client/composer/tests/writeform_fixture.h"
#include "client/composer/writeformparts.h"
#include "client/tools/helpform.h"

using namespace writetest;

TEST_F(WriteFormTest, LoadStartsAFreshComposerWithTheAddressNames) {
  writeAddressBook({{QStringLiteral("山田"), QStringLiteral("yamada@example.jp")}, {QString(), QString()}});
  forms::WriteForm& w = start();
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.Caption(), QStringLiteral("新規作成・送信 （フォームのストレッチ、最大化が可能です）"));
  const QStringList greetings{
      QStringLiteral("御社益々ご清祥の事とお慶び申し上げます。"), QStringLiteral("平素のご愛顧誠にありがとうございます。"),
      QStringLiteral("平素は格別のご愛顧を賜り深謝申し上げます。"), QStringLiteral("いつもお世話になっております。"),
      QStringLiteral("メールありがとうございました。確かに受け取りました。"), QStringLiteral("はじめまして、突然のメールで恐縮です。"),
      QStringLiteral("こんにちわ。はじめてメールいたします。"), QStringLiteral("こんにちわ。お変わりなく、お元気ですか？")};
  ASSERT_EQ(w.Combo1->count(), greetings.size());
  for (int i = 0; i < w.Combo1->count(); ++i) EXPECT_EQ(w.Combo1->itemText(i), greetings[i]);
  EXPECT_FALSE(w.Check1->isChecked());
  EXPECT_FALSE(w.Check2->isChecked());
  EXPECT_FALSE(w.Option2->isChecked());
  EXPECT_TRUE(w.Option2->isEnabled());
  EXPECT_TRUE(w.ToText->isEnabled());
  EXPECT_FALSE(w.List2->isVisibleTo(&w));
  EXPECT_FALSE(w.Command2->isVisibleTo(&w));
  EXPECT_FALSE(w.Command2->isEnabled());
  EXPECT_FALSE(w.Command9->isEnabled());
  EXPECT_TRUE(w.AttachCommand->isEnabled());
  EXPECT_FALSE(w.Text3->isVisibleTo(&w));
  EXPECT_EQ(MultiSendMode, 0);
  EXPECT_EQ(MailListKind, 1000);
  EXPECT_NEAR(w.Width(), 9700, 15);
  // The pane: every address-book record, blank ones too, as full-width fields.
  ASSERT_EQ(w.List1->count(), 2);
  EXPECT_EQ(w.List1->item(0)->text(), records::FixedText<90>(QStringLiteral("山田")).padded());
  EXPECT_EQ(w.List1->item(1)->text(), QString(90, u' '));
  EXPECT_EQ(w.Text1->text(), QStringLiteral("2"));
  EXPECT_EQ(w.RecordNumbers, (std::vector<std::int16_t>{1, 2, 0}));
  EXPECT_EQ(w.Command17->text(), QStringLiteral("保留分呼出"));
  EXPECT_EQ(writeform::backColor(w.Command17), QColor(192, 192, 192));
  // Missing settings: the smallest font size.
  EXPECT_EQ(w.Text10->text(), QStringLiteral("8"));
}

TEST_F(WriteFormTest, TheSizeAndFontSizeAreKeptAcrossClosing) {
  forms::WriteForm& w = start({QStringLiteral("NUMBER5=12"), QStringLiteral("NUMBER23=8000"),
                               QStringLiteral("NUMBER24=6600")});
  EXPECT_EQ(w.HScroll1->value(), 12);
  EXPECT_EQ(w.Text10->text(), QStringLiteral("12"));
  EXPECT_EQ(w.rtfEd->font().pointSize(), 12);
  EXPECT_EQ(w.SubjectText->font().pointSize(), 12);
  EXPECT_NEAR(w.Width(), 9700, 15);  // the stored width gives way to the pane's
  EXPECT_NEAR(w.Height(), 6600, 15);
  w.HScroll1->setValue(14);
  EXPECT_EQ(w.Text10->text(), QStringLiteral("14"));
  EXPECT_EQ(w.ToText->font().pointSize(), 14);
  w.setWidth(7140);
  w.setHeight(7000);
  w.close();  // the window's close box
  EXPECT_FALSE(WriteFormLoaded());
  EXPECT_EQ(iniValue("NUMBER5"), QStringLiteral("14"));
  EXPECT_NEAR(iniValue("NUMBER23").toInt(), 7140, 15);
  EXPECT_NEAR(iniValue("NUMBER24").toInt(), 7000, 15);
  EXPECT_EQ(MailListKind, 1000);
  EXPECT_NEAR(::WriteForm().Width(), 9700, 15);
  EXPECT_NEAR(::WriteForm().Height(), 7000, 15);
}

TEST_F(WriteFormTest, TheHelpBoxFollowsTheMainWindowsSwitch) {
  struct Case {
    const char* value;
    int top;
  } cases[] = {{"1", 3600}, {"0", -4000}};
  for (const Case& c : cases) {
    destroyWindows();
    startup::releaseInstanceLock();
    forms::WriteForm& w = start({QStringLiteral("NUMBER7=") + QLatin1String(c.value)});
    EXPECT_NEAR(writeform::twT(w.Text14), c.top, 15) << c.value;
    w.hover(w.Command1);
    EXPECT_TRUE(w.Text14->isVisibleTo(&w));
    EXPECT_EQ(w.Text14->toPlainText(),
              QStringLiteral("送信します。電話回線が接続されていない場合は、自動的に接続してメールを送信します。"));
  }
}

TEST_F(WriteFormTest, HoverHelp) {
  forms::WriteForm& w = start();
  struct Case {
    QWidget* control;
    QString startsWith;
  } cases[] = {
      {w.Command3, QStringLiteral("送信を中止します。")},
      {w.Command8, QStringLiteral("顔・絵文字の本文への挿入を行います。\r\n\r\n使用方法：")},
      {w.AttachCommand, QStringLiteral("各種ファイルを添付して送信できます。１個の添付ファイルの際に使用します。\r\n２個目から")},
      {w.Check1, QStringLiteral("コンピュータがアトランダムにチョイスする占いを本文後に添付します。")},
      {w.Label2[4], QStringLiteral("コンピュータがアトランダムにチョイスする占いを本文後に添付します。")},
      {w.Option2, QStringLiteral("アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。\r\n\r\n件名、")},
      {w.Command17, QStringLiteral("「後で送信（保留）」、「保留分の呼出」で非表示になったアドレスを再度呼び出します。")},
  };
  for (const Case& c : cases) {
    w.hover(c.control);
    QString expected = c.startsWith;
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));  // the box shows lines
    EXPECT_TRUE(w.Text14->toPlainText().startsWith(expected)) << c.control->objectName().toStdString();
  }
  // The Cc labels light up in turn.
  w.hover(w.Label5);
  EXPECT_EQ(w.Label5->font().pointSizeF(), 10);
  EXPECT_EQ(writeform::foreColor(w.Label5), writeform::qb(12));
  EXPECT_TRUE(w.Text14->toPlainText().endsWith(QStringLiteral("「手動で入力」をクリックして下さい。")));
  w.hover(w.Label6);
  EXPECT_EQ(w.Label5->font().pointSizeF(), 9);
  EXPECT_EQ(writeform::foreColor(w.Label5), QColor(0, 0, 0));
  EXPECT_EQ(writeform::foreColor(w.Label6), writeform::qb(12));
  // The subject box puts them back and leaves the help box alone.
  const QString shown = w.Text14->toPlainText();
  w.hover(w.SubjectText);
  EXPECT_EQ(w.Label6->font().pointSizeF(), 9);
  EXPECT_EQ(w.Text14->toPlainText(), shown);
  EXPECT_TRUE(w.Text14->isVisibleTo(&w));
  // The To box leaves everything as it is; the body and the background hide the box.
  w.hover(w.ToText);
  EXPECT_TRUE(w.Text14->isVisibleTo(&w));
  w.hover(w.rtfEd);
  EXPECT_FALSE(w.Text14->isVisibleTo(&w));
  w.hover(w.Label6);
  w.hover(w.client());
  EXPECT_FALSE(w.Text14->isVisibleTo(&w));
  EXPECT_EQ(writeform::foreColor(w.Label6), QColor(0, 0, 0));
}

TEST_F(WriteFormTest, ANarrowWindowKeepsItsLayoutAWideOneFollowsItsSize) {
  start();
  forms::WriteForm& w = openComposer(7140);
  const QRect body = w.rtfEd->geometry();
  const QRect frame = w.Frame4->geometry();
  w.setHeight(8000);
  QCoreApplication::processEvents();
  EXPECT_EQ(w.rtfEd->geometry(), body);
  EXPECT_EQ(w.Frame4->geometry(), frame);

  w.setWidth(10500);
  QCoreApplication::processEvents();
  const int W = w.Width(), H = w.Height();
  EXPECT_NEAR(writeform::twL(w.Picture5), W - 2600, 15);
  EXPECT_NEAR(writeform::twH(w.Picture5), H - 800, 15);
  EXPECT_NEAR(writeform::twT(w.Frame4), H - 1600, 15);
  EXPECT_NEAR(writeform::twT(w.Picture6), H - 1200, 15);
  EXPECT_NEAR(writeform::twW(w.rtfEd), W - writeform::twW(w.Picture5) - 600, 15);
  EXPECT_EQ(w.Picture6->width(), w.rtfEd->width());
  EXPECT_LT(w.rtfEd->geometry().bottom(), w.Frame4->y());
  EXPECT_NEAR(writeform::twH(w.List1), H - 2400 - writeform::twH(w.Command17), 15);
}

TEST_F(WriteFormTest, LeavingTheGreetingListReplacesTheBodyOnlyWithAChosenGreeting) {
  start();
  forms::WriteForm& w = openComposer();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  SetEditorText(w.rtfEd, QStringLiteral("書きかけの本文"));
  QTest::keyClicks(w.rtfEd, QStringLiteral("Dear "));
  const QString written = QStringLiteral("Dear 書きかけの本文");
  auto enterTheList = [&w] {
    QTest::mouseClick(w.Combo1->lineEdit(), Qt::LeftButton);
    ASSERT_TRUE(w.Combo1->hasFocus());
  };
  auto leaveTheList = [&w] {
    QTest::keyClick(w.Combo1, Qt::Key_Tab);
    ASSERT_FALSE(w.Combo1->hasFocus());
  };
  // Passing through the empty list changes nothing.
  enterTheList();
  leaveTheList();
  EXPECT_EQ(EditorText(w.rtfEd), written);
  // A greeting chosen with the keys replaces the body when the list is left ...
  enterTheList();
  QTest::keyClick(w.Combo1, Qt::Key_Down);
  QTest::keyClick(w.Combo1, Qt::Key_Down);
  ASSERT_EQ(w.Combo1->currentIndex(), 1);
  leaveTheList();
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("平素のご愛顧誠にありがとうございます。"));
  // Undo brings the text written before back ...
  QTest::keyClick(w.rtfEd, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(EditorText(w.rtfEd), written);
  // ... and passing through the list again leaves it so.
  enterTheList();
  leaveTheList();
  EXPECT_EQ(EditorText(w.rtfEd), written);
  // A greeting typed into the list goes in as well; an emptied list does not.
  enterTheList();
  w.Combo1->lineEdit()->selectAll();
  QTest::keyClicks(w.Combo1->lineEdit(), QStringLiteral("Hello"));
  leaveTheList();
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("Hello"));
  enterTheList();
  w.Combo1->lineEdit()->selectAll();
  QTest::keyClick(w.Combo1->lineEdit(), Qt::Key_Delete);
  leaveTheList();
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("Hello"));
}

TEST_F(WriteFormTest, NewAsksBeforeTheTypedBodyIsLost) {
  start();
  forms::WriteForm& w = openComposer();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QWidget* newButton = nullptr;
  for (QAction* a : w.tbToolBar->actions())
    if (a->objectName() == QLatin1String("New")) newButton = w.tbToolBar->widgetForAction(a);
  ASSERT_TRUE(newButton);
  QTest::keyClicks(w.rtfEd, QStringLiteral("draft"));
  answers = {seams::vbNo};
  QTest::mouseClick(newButton, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("draft"));
  answers = {seams::vbYes};
  QTest::mouseClick(newButton, Qt::LeftButton);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(EditorText(w.rtfEd).isEmpty());
}

TEST_F(WriteFormTest, ThePasteBoxOpensOnlyForTheExactWord) {
  forms::WriteForm& w = start();
  const int height = w.Height();
  for (const char* word : {"Zorf", "zorf ", "zor"}) {
    w.ToText->setText(QString::fromLatin1(word));
    w.Label7_DblClick();
    EXPECT_FALSE(w.Command2->isVisibleTo(&w)) << word;
    EXPECT_EQ(w.Height(), height) << word;
  }
  w.ToText->setText(QStringLiteral("zorf"));
  w.Label7_DblClick();
  EXPECT_NEAR(w.Height(), 8955, 15);
  EXPECT_TRUE(w.Command2->isVisibleTo(&w));
  EXPECT_TRUE(w.Command2->isEnabled());
  QApplication::clipboard()->setText(QStringLiteral("クリップボード"));
  w.Command2_Click();
  EXPECT_EQ(w.Text4->text(), QStringLiteral("クリップボード"));
}

TEST_F(WriteFormTest, ClearEmptiesTheMailButKeepsTheModes) {
  forms::WriteForm& w = start();
  w.setOption2(true);
  w.Option2_Click();
  w.SubjectText->setText(QStringLiteral("件名"));
  SetEditorText(w.rtfEd, QStringLiteral("本文"));
  w.AttachText->setText(QStringLiteral("/tmp/a"));
  w.List2->addItem(QStringLiteral("a"));
  w.List2->show();
  w.Check1->setChecked(true);
  w.Command11_Click();
  EXPECT_TRUE(w.SubjectText->text().isEmpty());
  EXPECT_TRUE(EditorText(w.rtfEd).isEmpty());
  EXPECT_TRUE(w.AttachText->text().isEmpty());
  EXPECT_EQ(w.List2->count(), 0);
  EXPECT_FALSE(w.List2->isVisibleTo(&w));
  EXPECT_FALSE(w.Option2->isChecked());
  EXPECT_FALSE(w.Check1->isChecked());
  EXPECT_FALSE(w.Command9->isEnabled());
  EXPECT_FALSE(w.Command10->isEnabled());
  EXPECT_TRUE(w.AttachCommand->isEnabled());
  EXPECT_EQ(writeform::backColor(w.ToText), QColor(255, 255, 255));
  EXPECT_FALSE(w.ToText->isEnabled());  // until single mode is chosen
  w.setOption1(true);
  w.Option1_Click();
  EXPECT_TRUE(w.ToText->isEnabled());
}

TEST_F(WriteFormTest, SendToAllAnsweredNoLeavesNoModeChosen) {
  forms::WriteForm& w = start();
  w.ToText->setText(QStringLiteral("typed@example.jp"));
  answers = {seams::vbNo};
  w.setOption2(true);
  w.Option2_Click();
  EXPECT_FALSE(w.Option2->isChecked());
  EXPECT_FALSE(w.Option1->isChecked());
  EXPECT_FALSE(w.ToText->isEnabled());
  EXPECT_TRUE(w.ToText->text().isEmpty());
  EXPECT_EQ(writeform::backColor(w.ToText), QColor(255, 255, 255));
  EXPECT_EQ(writeform::backColor(w.List1), QColor(255, 255, 255));
  answers = {seams::vbYes};
  w.setOption2(true);
  w.Option2_Click();
  EXPECT_EQ(writeform::backColor(w.ToText), QColor(213, 239, 255));
  EXPECT_EQ(writeform::backColor(w.List1), writeform::qb(2));
}

TEST_F(WriteFormTest, StopClosesTheCcWindowAndTheComposerWithoutSending) {
  start();
  forms::WriteForm& w = openComposer();
  w.Label5_Click();
  ASSERT_TRUE(CcFormLoaded());
  ::CcForm().Text5->setText(QStringLiteral("x@example.jp"));
  ::CcForm().Command2_Click();
  w.SubjectText->setText(QStringLiteral("stop"));
  w.Command3_Click();
  EXPECT_FALSE(CcFormLoaded());
  EXPECT_FALSE(WriteFormLoaded());
  EXPECT_EQ(MultiSendMode, 0);
  EXPECT_TRUE(sentList().empty());
  EXPECT_TRUE(heldList().empty());
}

TEST_F(WriteFormTest, SaveAsPutsTheHeaderIntoTheBody) {
  start();
  ::MainForm().Text2->setText(QStringLiteral("2026/12/10  9:05:07"));
  forms::WriteForm& w = openComposer();
  const QString target = dir.path() + QStringLiteral("/下書き.txt");
  seams::setFileDialogHandler([&](const seams::FileDialogCall& c) -> std::optional<QString> {
    EXPECT_EQ(c.kind, seams::FileDialogCall::Save);
    return target;
  });
  w.SubjectText->setText(QStringLiteral("件名"));
  SetEditorText(w.rtfEd, QStringLiteral("本文\r\n二行目"));
  w.msave->trigger();  // the menu: "From:"
  const QString once = QStringLiteral("Subject:  件名\r\nFrom:  \r\nDate:  2026/12/10  9:05:07\r\nBody:  本文\r\n二行目");
  EXPECT_EQ(EditorText(w.rtfEd), once);
  EXPECT_EQ(fileBytes(target), sjis(once + QStringLiteral("\r\n")));
  EXPECT_EQ(w.Caption(), target);
  w.tbToolBar_ButtonClick(QStringLiteral("Save"));  // the toolbar: "To:", in front of the first header
  EXPECT_EQ(EditorText(w.rtfEd),
            QStringLiteral("Subject:  件名\r\nTo:  \r\nDate:  2026/12/10  9:05:07\r\nBody:  ") + once);
}

TEST_F(WriteFormTest, TheFontTogglesShareTheirCountersAndUnknownKeysDoNothing) {
  forms::WriteForm& w = start();
  w.tbToolBar_ButtonClick(QStringLiteral("Bold"));
  EXPECT_TRUE(w.rtfEd->font().bold());
  EXPECT_EQ(BoldCount, 1);
  w.tbToolBar_ButtonClick(QStringLiteral("Bold"));
  EXPECT_FALSE(w.rtfEd->font().bold());
  const QString body = QStringLiteral("unchanged");
  SetEditorText(w.rtfEd, body);
  w.tbToolBar_ButtonClick(QStringLiteral("Find"));
  EXPECT_EQ(EditorText(w.rtfEd), body);
}

TEST_F(WriteFormTest, AttachmentButtons) {
  forms::WriteForm& w = start();
  const QString a = dir.path() + QStringLiteral("/a,1.txt");
  std::deque<std::optional<QString>> picks{std::nullopt};
  int dialogs = 0;
  seams::setFileDialogHandler([&](const seams::FileDialogCall&) -> std::optional<QString> {
    ++dialogs;
    if (picks.empty()) return std::nullopt;
    const bool cancelled = !picks.front().has_value();
    const QString p = picks.front().value_or(QString());
    picks.pop_front();
    return cancelled ? std::optional<QString>() : std::optional<QString>(p);
  });
  // A cancelled first dialog: nothing attached, the first-file button gone.
  w.AttachCommand_Click();
  EXPECT_TRUE(w.AttachText->text().isEmpty());
  EXPECT_FALSE(w.AttachCommand->isEnabled());
  EXPECT_TRUE(w.Command9->isEnabled());
  // "追加" with nothing attached shows the empty list and asks nothing.
  w.Command9_Click();
  EXPECT_TRUE(w.List2->isVisibleTo(&w));
  EXPECT_EQ(dialogs, 1);
  // Dropping everything brings the first-file button back.
  w.Command10_Click();
  EXPECT_TRUE(w.AttachCommand->isEnabled());
  EXPECT_FALSE(w.Command10->isEnabled());
  EXPECT_FALSE(w.List2->isVisibleTo(&w));
  // The same file twice, a path with a comma kept as it is; a cancel adds nothing.
  picks = {a, a, std::nullopt};
  w.AttachCommand_Click();
  w.Command9_Click();
  w.Command9_Click();
  EXPECT_EQ(w.AttachText->text(), a + u',' + a);
  ASSERT_EQ(w.List2->count(), 2);
  EXPECT_EQ(w.List2->item(0)->text(), QStringLiteral("a,1.txt"));
  EXPECT_EQ(w.List2->item(1)->text(), QStringLiteral("a,1.txt"));
  // The list button: hide first, then show; the files stay.
  w.Command16_Click();
  EXPECT_EQ(w.Command16->text(), QStringLiteral("非表示"));
  EXPECT_FALSE(w.List2->isVisibleTo(&w));
  w.Command16_Click();
  EXPECT_EQ(w.Command16->text(), QStringLiteral("表示"));
  EXPECT_TRUE(w.List2->isVisibleTo(&w));
  EXPECT_EQ(w.AttachText->text(), a + u',' + a);
  EXPECT_EQ(AttachListToggleCount, 2);
  // The counter outlives the window.
  w.Unload();
  ::WriteForm().Command16_Click();
  EXPECT_EQ(::WriteForm().Command16->text(), QStringLiteral("非表示"));
}

TEST_F(WriteFormTest, ADroppedHelpBoxStaysWhereItWasDropped) {
  forms::WriteForm& w = start();
  w.DragOffsetX = 300;
  w.DragOffsetY = 150;
  w.Form_DragDrop(w.Text14, 2000, 1000);
  EXPECT_NEAR(writeform::twL(w.Text14), 1700, 15);
  EXPECT_NEAR(writeform::twT(w.Text14), 850, 15);
  const QSize size = w.Text14->size();
  EXPECT_EQ(w.Text14->size(), size);
}

TEST_F(WriteFormTest, MenusRunTheButtonsAndOpenTheOtherWindows) {
  writeAddressBook({{QStringLiteral("甲"), QStringLiteral("ko@example.jp")}});
  start();
  forms::WriteForm& w = openComposer();
  w.SubjectText->setText(QStringLiteral("件名"));
  w.mclire->trigger();
  EXPECT_TRUE(w.SubjectText->text().isEmpty());
  w.mmotosize->trigger();
  EXPECT_NEAR(w.Width(), 7100, 15);
  w.myobidasi->trigger();
  EXPECT_EQ(MailListKind, 10);
  EXPECT_NEAR(w.Width(), 9700, 15);
  w.maddress->trigger();
  EXPECT_EQ(MailListKind, 0);
  EXPECT_EQ(w.List1->count(), 1);
  w.mato->trigger();  // no subject: refused
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("件名が空白です。保存出来ません。"));

  w.mkao->trigger();
  EXPECT_TRUE(KaoFormLoaded() && ::KaoForm().isVisible());
  w.mhelpsetu->trigger();
  EXPECT_TRUE(HelpFormLoaded() && ::HelpForm().isVisible());
  ::HelpForm().Unload();
  w.Command12_Click();
  EXPECT_TRUE(HelpFormLoaded() && ::HelpForm().isVisible());

  // "終了" closes the composer with its unload steps.
  MultiSendMode = 1;
  w.mend->trigger();
  EXPECT_FALSE(WriteFormLoaded());
  EXPECT_EQ(MultiSendMode, 0);
  EXPECT_EQ(MailListKind, 1000);
  EXPECT_NE(iniValue("NUMBER23"), QStringLiteral("<none>"));
}

TEST_F(WriteFormTest, ACancelledSaveAsKeepsTheTypedTextMarkedUnsaved) {
  start();
  forms::WriteForm& w = openComposer();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto button = [&w](const char* key) -> QWidget* {
    for (QAction* a : w.tbToolBar->actions())
      if (a->objectName() == QLatin1String(key)) return w.tbToolBar->widgetForAction(a);
    return nullptr;
  };
  ASSERT_TRUE(button("Save") && button("New"));
  QTest::keyClicks(w.rtfEd, QStringLiteral("draft"));
  seamtest::cancelFileDialogs();
  QTest::mouseClick(button("Save"), Qt::LeftButton);  // the header goes in, then the dialog is cancelled
  EXPECT_TRUE(EditorText(w.rtfEd).startsWith(QStringLiteral("Subject:  ")));
  EXPECT_TRUE(EditorText(w.rtfEd).endsWith(QStringLiteral("Body:  draft")));
  // New still asks, and No keeps the text.
  answers = {seams::vbNo};
  QTest::mouseClick(button("New"), Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_TRUE(EditorText(w.rtfEd).endsWith(QStringLiteral("Body:  draft")));
  // The header itself is one edit: Undo takes it out again.
  w.rtfEd->setFocus();
  QTest::keyClick(w.rtfEd, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(EditorText(w.rtfEd), QStringLiteral("draft"));
}
