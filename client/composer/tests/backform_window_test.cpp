// The reply composer's window: load, size, closing, attachments, the pane
// buttons, the editor pane's save-as header and the exit entry.
#include "client/composer/tests/backform_fixture.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QPointer>
#include <QStatusBar>
#include <QTextCursor>
#include <QToolBar>

#include "client/composer/kaoform.h"

using namespace backtest;

namespace {

int twipsHeight(const QWidget* w) { return ui::tw(w->height()); }

}  // namespace

TEST_F(BackFormTest, LoadTakesTheKeptSizeAndFontAndPassesTheEmptyBodyThroughTheClipboard) {
  settings::writeNumber(settings::key::BackFontSize, 14);
  settings::writeNumber(settings::key::BackWidth, 9000);
  settings::writeNumber(settings::key::BackHeight, 7500);
  QApplication::clipboard()->setText(QStringLiteral("前からの内容"));
  auto& b = ::BackForm();
  EXPECT_EQ(b.Caption(), QStringLiteral("返事を書く"));
  EXPECT_EQ(b.Width(), 9000);
  EXPECT_EQ(b.Height(), 7500);
  EXPECT_EQ(b.Text10->text(), QStringLiteral("14"));
  EXPECT_EQ(b.HScroll1->value(), 14);
  for (QWidget* w : std::initializer_list<QWidget*>{b.ToText, b.SubjectText, b.rtfEd}) EXPECT_EQ(w->font().pointSize(), 14);
  EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
  EXPECT_TRUE(EditorText(b.rtfEd).isEmpty());
  EXPECT_FALSE(b.Text3->isVisibleTo(&b));
  EXPECT_FALSE(b.Picture5->isVisibleTo(&b));
  EXPECT_TRUE(b.Picture3->isVisibleTo(&b));
  EXPECT_FALSE(b.List2->isVisibleTo(&b));
  EXPECT_EQ(b.Label3->text(), QStringLiteral("ここに「保留」のメールリストが表示されます"));
  for (QPushButton* p : {b.AttachCommand, b.Command9, b.Command10, b.Command6}) EXPECT_TRUE(p->isEnabled());
  EXPECT_EQ(b.StatusPanel->text(), QStringLiteral("返事を書くでは、送信履歴を残しません。"));
  EXPECT_EQ(b.StatusPanel->toolTip(), b.StatusPanel->text());
  EXPECT_FALSE(b.isVisible());  // loaded hidden until shown
}

TEST_F(BackFormTest, KeptFontSizeAtTheBarsStartValueChangesNoFont) {
  // 8 is the bar's start value: no change, the fonts keep their design sizes.
  settings::writeNumber(settings::key::BackFontSize, 8);
  auto& b = ::BackForm();
  EXPECT_EQ(b.Text10->text(), QStringLiteral("8"));
  EXPECT_DOUBLE_EQ(b.rtfEd->font().pointSizeF(), 11.25);
  b.Unload();
  // Nothing kept (0) and a size beyond the bar are brought into its range.
  for (auto [kept, shown] : {std::pair{0, "8"}, std::pair{40, "24"}}) {
    settings::writeNumber(settings::key::BackFontSize, kept);
    auto& again = ::BackForm();
    EXPECT_EQ(again.Text10->text(), QString::fromLatin1(shown)) << kept;
    EXPECT_EQ(again.HScroll1->value(), QString::fromLatin1(shown).toInt());
    again.Unload();
  }
  // The bar's change sets the three fonts and the box.
  auto& c = ::BackForm();
  c.HScroll1->setValue(20);
  EXPECT_EQ(c.Text10->text(), QStringLiteral("20"));
  EXPECT_EQ(c.SubjectText->font().pointSize(), 20);
  EXPECT_EQ(c.rtfEd->font().pointSize(), 20);
}

TEST_F(BackFormTest, ClosingEmptiesTheBodyAndKeepsSizeAndFontSize) {
  struct Case {
    const char* how;
    void (*close)(forms::BackForm&);
  };
  const Case cases[] = {
      {"stop button", [](forms::BackForm& b) { b.Command3_Click(); }},
      {"stop menu", [](forms::BackForm& b) { b.mstop->trigger(); }},
      {"close box", [](forms::BackForm& b) { b.close(); }},
  };
  for (const Case& c : cases) {
    auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("a@example.jp"), QStringLiteral("本文"));
    b.HScroll1->setValue(16);
    b.setWidth(9300);
    b.setHeight(6990);
    QPointer<QTextEdit> body = b.rtfEd;
    c.close(b);
    EXPECT_FALSE(BackFormLoaded()) << c.how;
    ASSERT_TRUE(body) << c.how;
    EXPECT_TRUE(body->toPlainText().isEmpty()) << c.how;
    EXPECT_EQ(settings::readNumber(settings::key::BackFontSize), 16) << c.how;
    EXPECT_EQ(settings::readNumber(settings::key::BackWidth), 9300) << c.how;
    EXPECT_EQ(settings::readNumber(settings::key::BackHeight), 6990) << c.how;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The next touch builds the window afresh with the kept size.
    EXPECT_EQ(::BackForm().Width(), 9300) << c.how;
    EXPECT_TRUE(::BackForm().SubjectText->text().isEmpty()) << c.how;
    ::BackForm().Unload();
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(BackFormTest, ExitEndsTheProgramAtOnceWithoutWritingSettings) {
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("a@example.jp"), QStringLiteral("本文"));
  b.HScroll1->setValue(18);
  EXPECT_THROW(b.mend->trigger(), ui::EndCalled);
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(QFile::exists(ini()));
  EXPECT_TRUE(BackFormLoaded());
}

TEST_F(BackFormTest, ResizeFollowsTheWindowAndLeavesBodyAndPaneAtLowHeights) {
  auto& b = reply(QString(), QString(), QString());
  b.setWidth(10000);
  b.setHeight(8000);
  EXPECT_EQ(ui::tw(b.rtfEd->width()), 10000 - 130);
  EXPECT_EQ(ui::tw(b.ToText->width()), 6000);
  // (W x 0.35 would run the row's last button under the held-reply pane:
  // the box ends where the buttons still end before it)
  EXPECT_EQ(ui::tw(b.AttachText->width()), 3210);
  EXPECT_LE(b.Command6->x() + b.Command6->width(), b.Picture5->x());
  EXPECT_EQ(b.AttachText->x(), b.Picture2[2]->x() + b.Picture2[2]->width());
  EXPECT_EQ(b.AttachCommand->x(), b.AttachText->x() + b.AttachText->width());
  EXPECT_EQ(b.Command9->x(), b.AttachCommand->x() + b.AttachCommand->width());
  EXPECT_EQ(b.Command10->x(), b.Command9->x() + b.Command9->width());
  EXPECT_EQ(b.Command6->x(), b.Command10->x() + b.Command10->width());
  const int bars = twipsHeight(b.tbToolBar) + twipsHeight(b.ToText) + twipsHeight(b.SubjectText) +
                   twipsHeight(b.AttachText);
  EXPECT_NEAR(twipsHeight(b.rtfEd), 8000 - bars - 2000, 15);
  EXPECT_NEAR(twipsHeight(b.Picture5), 8000 - 1200, 15);
  EXPECT_NEAR(twipsHeight(b.List1), twipsHeight(b.Picture5) - 1100, 15);
  EXPECT_NEAR(ui::tw(b.Picture5->x()), 10000 - ui::tw(b.List1->width()) - 420, 15);
  EXPECT_EQ(b.Picture3->x(), b.Picture5->x());

  const int bodyHeight = b.rtfEd->height();
  const int paneHeight = b.Picture5->height();
  const int paneLeft = b.Picture5->x();
  b.setHeight(3500);
  b.setWidth(9000);
  EXPECT_EQ(b.rtfEd->height(), bodyHeight);
  EXPECT_EQ(b.Picture5->height(), paneHeight);
  EXPECT_EQ(b.Picture5->x(), paneLeft);
  EXPECT_NEAR(ui::tw(b.rtfEd->width()), 9000 - 130, 15);  // widths follow at every height
}

TEST_F(BackFormTest, PaneButtonsAndMenuEntries) {
  auto& b = reply(QString(), QString(), QString());
  b.Command16_Click();
  EXPECT_FALSE(b.Picture5->isVisible());
  EXPECT_TRUE(b.Picture3->isVisible());
  b.mnusyou->trigger();
  EXPECT_TRUE(b.Picture5->isVisible());
  EXPECT_FALSE(b.Picture3->isVisible());
  EXPECT_NEAR(twipsHeight(b.Picture5), 1750, 15);
  b.Command18_Click();
  EXPECT_NEAR(twipsHeight(b.Picture5), 6200, 15);
  b.mnukesu->trigger();
  EXPECT_FALSE(b.Picture5->isVisible());
  b.mnudai->trigger();
  EXPECT_TRUE(b.Picture5->isVisible());
  EXPECT_NEAR(twipsHeight(b.Picture5), 6200, 15);
  b.Command17_Click();
  EXPECT_NEAR(twipsHeight(b.Picture5), 1750, 15);
  b.setHeight(7000);  // a resize replaces the pane height
  EXPECT_NEAR(twipsHeight(b.Picture5), 7000 - 1200, 15);
}

TEST_F(BackFormTest, AttachmentButtons) {
  const QString first = dir.filePath(QStringLiteral("見積書.pdf"));
  const QString second = dir.filePath(QStringLiteral("a,b.txt"));
  auto& b = reply(QString(), QString(), QString());

  // Cancelling the first dialog attaches nothing but still takes the button away.
  b.AttachCommand_Click();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, seams::FileDialogCall::Open);
  EXPECT_EQ(dialogs[0].flags, 4);
  EXPECT_TRUE(dialogs[0].filter.isEmpty());
  EXPECT_TRUE(b.AttachText->text().isEmpty());
  EXPECT_FALSE(b.AttachCommand->isEnabled());
  EXPECT_TRUE(b.Command9->isEnabled());
  // "追加" with nothing attached only shows the (empty) list.
  b.Command9_Click();
  EXPECT_EQ(dialogs.size(), 1u);
  EXPECT_TRUE(b.List2->isVisible());
  EXPECT_EQ(b.List2->count(), 0);

  // "取り消し" brings the first-file button back, alone.
  b.Command10_Click();
  EXPECT_TRUE(b.AttachCommand->isEnabled());
  EXPECT_FALSE(b.Command9->isEnabled());
  EXPECT_FALSE(b.Command10->isEnabled());
  EXPECT_FALSE(b.List2->isVisible());

  chosen = {first, second, std::nullopt, first};
  b.AttachCommand_Click();
  EXPECT_EQ(b.AttachText->text(), first);
  EXPECT_FALSE(b.List2->isVisible());  // the first file does not show the list
  b.Command9_Click();
  b.Command9_Click();  // cancelled: nothing added
  b.Command9_Click();  // the same file twice stands twice
  EXPECT_EQ(b.AttachText->text(), first + u',' + second + u',' + first);
  ASSERT_EQ(b.List2->count(), 3);
  EXPECT_EQ(b.List2->item(0)->text(), QStringLiteral("見積書.pdf"));
  EXPECT_EQ(b.List2->item(1)->text(), QStringLiteral("a,b.txt"));
  EXPECT_EQ(b.List2->item(2)->text(), QStringLiteral("見積書.pdf"));
  EXPECT_TRUE(b.List2->isVisible());
}

TEST_F(BackFormTest, ListButtonAlternatesByAProgramWideCount) {
  auto& b = reply(QString(), QString(), QString());
  b.List2->show();
  const bool hidesFirst = BackAttachListToggleCount % 2 == 0;
  b.Command6_Click();
  EXPECT_EQ(b.Command6->text(), hidesFirst ? QStringLiteral("非表示") : QStringLiteral("表示"));
  EXPECT_EQ(b.List2->isVisible(), !hidesFirst);
  EXPECT_EQ(b.Command6->property("backColor").value<QColor>(),
            hidesFirst ? QColor(255, 255, 0) : QColor(192, 192, 192));
  b.Unload();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  // The count carries over into the next reply window.
  auto& c = reply(QString(), QString(), QString());
  EXPECT_EQ(c.Command6->text(), QStringLiteral("リスト"));
  c.Command6_Click();
  EXPECT_EQ(c.Command6->text(), hidesFirst ? QStringLiteral("表示") : QStringLiteral("非表示"));
  EXPECT_EQ(c.List2->isVisible(), hidesFirst);
}

TEST_F(BackFormTest, SaveAsPutsTheHeaderIntoTheBodyAndWritesIt) {
  const QString path = dir.filePath(QStringLiteral("返事.txt"));
  auto& b = reply(QStringLiteral("Re:  ご案内"), QStringLiteral("x@example.jp"), QStringLiteral("一行目\r\n二行目"));
  chosen = {path, std::nullopt};
  b.tbToolBar_ButtonClick(QStringLiteral("Save"));
  const QString date = seams::dateTimeText(seams::now()).left(10);
  const QString text = EditorText(b.rtfEd);
  EXPECT_TRUE(text.startsWith(QStringLiteral("Subject:  Re:  ご案内\r\nTo:  x@example.jp\r\nDate:  ") + date)) << text.toStdString();
  EXPECT_TRUE(text.endsWith(QStringLiteral("\r\nBody:  一行目\r\n二行目")));
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, seams::FileDialogCall::Save);
  EXPECT_EQ(dialogs[0].flags, 2054);
  EXPECT_EQ(fileBytes(path), sjis(text + QStringLiteral("\r\n")));
  EXPECT_EQ(b.Caption(), path);
  // The menu's word is "to:"; a cancelled dialog keeps the second header in the body.
  b.ToText->clear();
  b.msave->trigger();
  const QString twice = EditorText(b.rtfEd);
  EXPECT_TRUE(twice.startsWith(QStringLiteral("Subject:  Re:  ご案内\r\nto:  \r\nDate:  "))) << twice.toStdString();
  EXPECT_TRUE(twice.endsWith(QStringLiteral("Body:  ") + text));
  EXPECT_EQ(fileBytes(path), sjis(text + QStringLiteral("\r\n")));
}

TEST_F(BackFormTest, ToolbarKeysRunTheEditorCommandsOnTheReply) {
  auto& b = reply(QString(), QString(), QStringLiteral("本文"));
  b.tbToolBar_ButtonClick(QStringLiteral("Bold"));
  EXPECT_TRUE(b.rtfEd->font().bold());
  EXPECT_EQ(BoldCount, 1);
  b.tbToolBar_ButtonClick(QStringLiteral("Bold"));
  EXPECT_FALSE(b.rtfEd->font().bold());
  b.tbToolBar_ButtonClick(QStringLiteral("Underline"));
  EXPECT_TRUE(b.rtfEd->font().underline());
  QApplication::clipboard()->setText(QStringLiteral("  貼る  "));
  b.mbunmatujump->trigger();
  b.mpaste->trigger();
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("本文貼る"));
  b.tbToolBar_ButtonClick(QStringLiteral("bold"));  // keys compare exactly
  EXPECT_EQ(BoldCount, 2);
  // New: the first New of the program creates "新規作成.TXT" and empties the body.
  b.tbToolBar_ButtonClick(QStringLiteral("New"));
  EXPECT_TRUE(EditorText(b.rtfEd).isEmpty());
  EXPECT_TRUE(b.Caption().startsWith(QStringLiteral("新規作成.TXT      ")));
  ASSERT_EQ(b.tbToolBar->actions().size(), 11);
  EXPECT_EQ(b.tbToolBar->actions()[5]->toolTip(), QStringLiteral("ｺﾋﾟｰ"));
}

TEST_F(BackFormTest, HoverShowsTheHelpTextAndTheBodyHidesIt) {
  auto& b = reply(QString(), QString(), QString());
  b.hover(b.Command2);
  EXPECT_TRUE(b.Text3->isVisible());
  EXPECT_EQ(b.Text3->toPlainText(), QStringLiteral("送信して来た相手にメールを返信します。"));
  b.hover(b.Command1);
  EXPECT_TRUE(b.Text3->toPlainText().startsWith(QStringLiteral("顔・絵文字の本文への挿入を行います。\n\n使用方法：")));
  EXPECT_EQ(b.Text3->toPlainText().count(QLatin1Char('\n')), 6);
  b.hover(b.Command10);  // no text of its own: the box stays as it is
  EXPECT_TRUE(b.Text3->isVisible());
  b.hover(b.rtfEd);
  EXPECT_FALSE(b.Text3->isVisible());
  b.hover(b.Command6);
  EXPECT_TRUE(b.Text3->toPlainText().endsWith(QStringLiteral("クリアする場合は「取り消し」か「クリア」をクリックして下さい。")));
  b.hover(b.client());
  EXPECT_FALSE(b.Text3->isVisible());
}

TEST_F(BackFormTest, HelpButtonShowsTheHelpWindow) {
  auto& b = reply(QString(), QString(), QString());
  b.Command12_Click();
  ASSERT_TRUE(HelpFormLoaded());
  EXPECT_TRUE(::HelpForm().isVisible());
}

TEST_F(BackFormTest, FaceMarkButtonShowsTheChooserWhichInsertsAtTheCaret) {
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("a@example.jp"), QStringLiteral("前後"));
  b.mnukao->trigger();
  ASSERT_TRUE(KaoFormLoaded());
  auto& k = ::KaoForm();
  EXPECT_TRUE(k.isVisible());
  QTextCursor caret = b.rtfEd->textCursor();
  caret.setPosition(1);
  b.rtfEd->setTextCursor(caret);
  k.box(0)->setPlainText(QStringLiteral("(^_^)"));
  QTextCursor all = k.box(0)->textCursor();
  all.select(QTextCursor::Document);
  k.box(0)->setTextCursor(all);
  k.InsertIntoReply(0);
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("前(^_^)後"));
  EXPECT_EQ(b.SubjectText->text(), QStringLiteral("Re:  件名"));
}

TEST_F(BackFormTest, OpenAndPrintRunOnTheReplysOwnDialogs) {
  const QString path = dir.filePath(QStringLiteral("下書き.txt"));
  writeFile(path, sjis(QStringLiteral("一行目\r\n二行目")));
  auto& b = reply(QStringLiteral("Re:  件名"), QStringLiteral("a@example.jp"), QStringLiteral("受信本文"));
  chosen = {path};
  b.mopen->trigger();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, seams::FileDialogCall::Open);
  EXPECT_EQ(dialogs[0].flags, 2050);
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("一行目\r\n二行目\r\n"));
  EXPECT_EQ(b.Caption(), path);
  b.tbToolBar_ButtonClick(QStringLiteral("Open"));  // cancelled: nothing changes
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("一行目\r\n二行目\r\n"));

  int printDialogs = 0;
  seams::setPrintDialogHandler([&](QPrinter&, QWidget* parent) {
    ++printDialogs;
    EXPECT_EQ(parent, &b);
    return false;
  });
  b.mprint->trigger();
  b.tbToolBar_ButtonClick(QStringLiteral("Print"));
  EXPECT_EQ(printDialogs, 2);
  EXPECT_EQ(b.CommonDialog1.Flags, 4);  // nothing selected: the whole reply
  EXPECT_TRUE(boxes.empty());
}
