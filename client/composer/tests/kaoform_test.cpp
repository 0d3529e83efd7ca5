// The face-mark chooser: its twelve files, the inserts into the composers,
// the favourites and the paste; and the face-mark files the program ships.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <deque>

#include "client/composer/backform.h"
#include "client/composer/kaoform.h"
#include "client/composer/writeform.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"

namespace {

using seamtest::sjis;

QByteArray readBytes(const QString& path) { return seamtest::fileBytesOrMissing(path); }

QString fileName(int tab) { return tab == 0 ? QStringLiteral("Kao1.txt") : QStringLiteral("Text%1.txt").arg(tab); }

template <class Editor>
void select(Editor* e, int from, int to) {
  QTextCursor c(e->document());
  c.setPosition(from);
  c.setPosition(to, QTextCursor::KeepAnchor);
  e->setTextCursor(c);
}

class KaoFormTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString folder;
  std::vector<seams::MsgBoxCall> boxes;
  std::deque<int> answers;  // answers given in turn; then Yes / OK

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
    QDir(dir.path()).mkpath(QStringLiteral("顔文字データ"));
    paths::setProgramFolder(dir.path());
    folder = dir.path() + QStringLiteral("/顔文字データ/");
    for (int i = 0; i < forms::KaoForm::kTabs; ++i) write(i, sjis(QStringLiteral("箱%1\r\n(^_^)\r\n").arg(i)));
    seamtest::recordMsgBoxes(boxes, answers);
    QApplication::clipboard()->clear();
  }
  void TearDown() override {
    for (auto unload : {+[] { if (KaoFormLoaded()) ::KaoForm().Unload(); },
                        +[] { if (WriteFormLoaded()) ::WriteForm().Unload(); },
                        +[] { if (BackFormLoaded()) ::BackForm().Unload(); }})
      unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    seamtest::answerMsgBoxes();
    paths::setProgramFolder(QString());
  }
  void write(int tab, const QByteArray& b) {
    QFile f(folder + fileName(tab));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(b);
  }
  QByteArray read(int tab) { return readBytes(folder + fileName(tab)); }
  void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

TEST_F(KaoFormTest, LoadFillsTheTwelveBoxesAndShowsTabEight) {
  forms::KaoForm& f = ::KaoForm();
  EXPECT_EQ(f.Caption(), QStringLiteral("絵・顔文字"));
  EXPECT_EQ(f.SSTab1->Tabs(), 12);
  EXPECT_EQ(f.SSTab1->Tab(), 8);
  EXPECT_EQ(f.SSTab1->TabCaption(8), QStringLiteral("SF、場所、音楽"));
  EXPECT_EQ(f.SSTab1->TabCaption(11), QStringLiteral("○お気に入り"));
  EXPECT_TRUE(f.SSTab1->page(8)->isVisibleTo(f.SSTab1));
  EXPECT_FALSE(f.SSTab1->page(0)->isVisibleTo(f.SSTab1));
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(f.box(i)->toPlainText(), QStringLiteral("箱%1\n(^_^)\n").arg(i)) << i;
    EXPECT_EQ(f.box(i)->textCursor().position(), 0) << i;
  }
  EXPECT_EQ(f.Kao1, f.box(0));
  EXPECT_EQ(f.Text11, f.box(11));
  // 47 buttons: four on every tab but the favourites, which has three.
  EXPECT_EQ(f.findChildren<QPushButton*>(QRegularExpression(QStringLiteral("^Command\\d+$"))).size(), 47);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(f.SSTab1->page(i)->findChildren<QPushButton*>().size(), i == 11 ? 3 : 4) << i;
    EXPECT_EQ(f.favouriteButton(i) == nullptr, i == 11) << i;
  }
  EXPECT_EQ(f.Command1, f.newMailButton(0));
  EXPECT_EQ(f.Command37, f.replyButton(0));
  EXPECT_EQ(f.Command27, f.favouriteButton(0));
  EXPECT_EQ(f.Command2, f.pasteButton(0));
  EXPECT_EQ(f.Command45, f.replyButton(8));
  EXPECT_EQ(f.Command44, f.replyButton(11));
  EXPECT_EQ(f.Command24, f.pasteButton(11));
  EXPECT_EQ(f.Command23->text(), QStringLiteral("新規作成本文に挿入"));
  // Clicking a tab head brings its page forward.
  f.SSTab1->head(2)->click();
  EXPECT_EQ(f.SSTab1->Tab(), 2);
  EXPECT_TRUE(f.SSTab1->page(2)->isVisibleTo(f.SSTab1));
}

TEST_F(KaoFormTest, OpenAndCloseLeavesEveryFileByteForByte) {
  // An empty file, bytes that are no CP932 text, bare line feeds, no line end at the end.
  write(1, QByteArray());
  write(2, QByteArray("\x81\x7f\xff abc\n\x82\xa0\r\n", 12));
  write(3, sjis(QStringLiteral("一行\n二行")));
  const QByteArray before1 = read(1), before2 = read(2), before3 = read(3), before9 = read(9);
  ::KaoForm();
  EXPECT_TRUE(::KaoForm().Text1->toPlainText().isEmpty());
  ::KaoForm().Unload();
  settle();
  EXPECT_EQ(read(1), before1);
  EXPECT_EQ(read(2), before2);
  EXPECT_EQ(read(3), before3);
  EXPECT_EQ(read(9), before9);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(KaoFormTest, EditsAreWrittenAtCloseUnderTheFilesOwnNames) {
  forms::KaoForm& f = ::KaoForm();
  f.Text3->setPlainText(QStringLiteral("春\n夏"));
  f.Kao1->setPlainText(QString());
  f.close();  // the close box
  settle();
  EXPECT_FALSE(KaoFormLoaded());
  EXPECT_EQ(read(3), sjis(QStringLiteral("春\r\n夏")));
  EXPECT_EQ(read(0), QByteArray());
  // The files keep their spelling: no second file in lower case beside them.
  EXPECT_FALSE(QDir(folder).entryList(QDir::Files).contains(QStringLiteral("text3.txt")));
  EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 12);
}

TEST_F(KaoFormTest, MissingFolderAndFilesGiveEmptyBoxesAndAreCreatedAtClose) {
  ASSERT_TRUE(QDir(folder).removeRecursively());
  forms::KaoForm& f = ::KaoForm();
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(f.box(i)->toPlainText().isEmpty()) << i;
  f.Text5->setPlainText(QStringLiteral("花"));
  f.Unload();
  settle();
  // A file made afresh takes the spelling of the save: "text5.txt".
  EXPECT_EQ(readBytes(folder + QStringLiteral("text5.txt")), sjis(QStringLiteral("花")));
  EXPECT_EQ(read(0), QByteArray());
  EXPECT_EQ(readBytes(folder + QStringLiteral("text11.txt")), QByteArray());
  // The next opening finds them whatever their case.
  ::KaoForm();
  EXPECT_EQ(::KaoForm().Text5->toPlainText(), QStringLiteral("花"));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(KaoFormTest, AFileThatCannotBeReadIsNotReplacedByAnEmptyBox) {
  // Something unreadable in the place of Text6.txt.
  QFile::remove(folder + fileName(6));
  ASSERT_TRUE(QDir(folder).mkdir(fileName(6)));
  forms::KaoForm& f = ::KaoForm();
  EXPECT_TRUE(f.Text6->toPlainText().isEmpty());
  f.Unload();
  settle();
  EXPECT_TRUE(QFileInfo(folder + fileName(6)).isDir());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(KaoFormTest, AFileThatCannotBeWrittenKeepsTheChooserOpenWithItsEdits) {
  answers = {seams::vbNo};
  forms::KaoForm& f = ::KaoForm();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QFile::remove(folder + fileName(7));
  ASSERT_TRUE(QDir(folder).mkdir(fileName(7)));
  QTest::mouseClick(f.SSTab1->findChild<QPushButton*>(QStringLiteral("SSTab1_tab7")), Qt::LeftButton);
  QTest::keyClicks(f.Text7, QStringLiteral("new "));
  // Closed by its close box: the failure is reported and the user keeps the edits.
  f.close();
  settle();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("顔文字データを保存できませんでした。\r\nText7.txt")));
  EXPECT_EQ(boxes[0].buttons, seams::vbYesNo | seams::vbExclamation | seams::vbDefaultButton2);
  ASSERT_TRUE(KaoFormLoaded());
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.Text7->toPlainText(), QStringLiteral("new 箱7\n(^_^)\n"));
  EXPECT_EQ(read(8), sjis(QStringLiteral("箱8\r\n(^_^)\r\n")));
  // Once the file can be written, closing saves the edits.
  ASSERT_TRUE(QDir(folder).rmdir(fileName(7)));
  f.close();
  settle();
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(KaoFormLoaded());
  // (saved under the chooser's own spelling, as the old file is gone)
  EXPECT_EQ(readBytes(folder + QStringLiteral("text7.txt")), sjis(QStringLiteral("new 箱7\r\n(^_^)\r\n")));
}

TEST_F(KaoFormTest, EditsThatCannotBeWrittenGoOnlyWhenTheUserSaysSo) {
  answers = {seams::vbYes};
  forms::KaoForm& f = ::KaoForm();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QFile::remove(folder + fileName(7));
  ASSERT_TRUE(QDir(folder).mkdir(fileName(7)));
  QTest::keyClicks(f.Text7, QStringLiteral("new "));
  // An insert closes the chooser: it asks too, and Yes closes it.
  QTest::mouseClick(f.newMailButton(7), Qt::LeftButton);
  settle();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(KaoFormLoaded());
  EXPECT_TRUE(QFileInfo(folder + fileName(7)).isDir());
}

TEST_F(KaoFormTest, InsertIntoNewMailDropsTheOuterBlanksAndCloses) {
  write(0, sjis(QStringLiteral("a  (^_^) (^o^)  b\r\nx")));
  forms::WriteForm& w = ::WriteForm();
  w.rtfEd->setPlainText(QStringLiteral("前後"));
  select(w.rtfEd, 1, 1);
  forms::KaoForm& f = ::KaoForm();
  f.Kao1->setPlainText(f.Kao1->toPlainText() + QStringLiteral("編集"));
  select(f.Kao1, 1, 16);  // "  (^_^) (^o^)  "
  QPointer<QPlainTextEdit> kao = f.Kao1;
  f.Command1->click();
  EXPECT_EQ(w.rtfEd->toPlainText(), QStringLiteral("前(^_^) (^o^)後"));
  // The clipboard keeps the selection with its blanks.
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("  (^_^) (^o^)  "));
  // The selection was dropped, the caret put at its end.
  ASSERT_TRUE(kao);
  EXPECT_FALSE(kao->textCursor().hasSelection());
  EXPECT_EQ(kao->textCursor().position(), 16);
  // The chooser closed and saved.
  EXPECT_FALSE(KaoFormLoaded());
  EXPECT_EQ(read(0), sjis(QStringLiteral("a  (^_^) (^o^)  b\r\nx編集")));
  EXPECT_FALSE(w.isVisible());
}

TEST_F(KaoFormTest, SeveralLinesGoInWithTheirLineEnds) {
  write(1, sjis(QStringLiteral(" ☆★☆ \r\n ◇◆◇ \r\n")));
  forms::KaoForm& f = ::KaoForm();
  select(f.Text1, 0, 11);
  f.Command38->click();  // into a reply
  EXPECT_EQ(::BackForm().rtfEd->toPlainText(), QStringLiteral("☆★☆ \n ◇◆◇"));
  EXPECT_FALSE(KaoFormLoaded());
}

TEST_F(KaoFormTest, NothingSelectedEmptiesTheClipboardAndDeletesTheComposersSelection) {
  forms::WriteForm& w = ::WriteForm();
  w.rtfEd->setPlainText(QStringLiteral("abcdef"));
  select(w.rtfEd, 2, 4);
  QApplication::clipboard()->setText(QStringLiteral("before"));
  forms::KaoForm& f = ::KaoForm();
  QTextCursor c = f.Text9->textCursor();
  c.setPosition(3);
  f.Text9->setTextCursor(c);
  QPointer<QPlainTextEdit> box = f.Text9;
  f.Command19->click();
  EXPECT_EQ(w.rtfEd->toPlainText(), QStringLiteral("abef"));
  EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
  ASSERT_TRUE(box);
  EXPECT_EQ(box->textCursor().position(), 0);
  EXPECT_FALSE(KaoFormLoaded());
}

TEST_F(KaoFormTest, TheButtonDecidesTheComposerAndLoadsItHidden) {
  ASSERT_FALSE(WriteFormLoaded());
  ASSERT_FALSE(BackFormLoaded());
  forms::KaoForm& f = ::KaoForm();
  select(f.Text2, 0, 2);  // "箱2"
  f.Command5->click();
  ASSERT_TRUE(WriteFormLoaded());
  EXPECT_FALSE(::WriteForm().isVisible());
  EXPECT_EQ(::WriteForm().rtfEd->toPlainText(), QStringLiteral("箱2"));
  EXPECT_FALSE(BackFormLoaded());
  settle();
  // Opened again: the other button goes to the reply composer.
  forms::KaoForm& g = ::KaoForm();
  select(g.Text10, 0, 3);
  g.Command42->click();
  ASSERT_TRUE(BackFormLoaded());
  EXPECT_FALSE(::BackForm().isVisible());
  EXPECT_EQ(::BackForm().rtfEd->toPlainText(), QStringLiteral("箱10"));
  EXPECT_EQ(::WriteForm().rtfEd->toPlainText(), QStringLiteral("箱2"));
}

TEST_F(KaoFormTest, FavouritesGoInAtTheCaretOneBehindTheOther) {
  forms::KaoForm& f = ::KaoForm();
  select(f.Kao1, 0, 3);
  f.Command27->click();  // Kao1 to the favourites
  select(f.Text4, 3, 0);  // "箱4\n" selected backwards: the caret ends at its far end
  f.Command31->click();   // Text4 to the favourites
  EXPECT_EQ(f.Text11->toPlainText(), QStringLiteral("箱0\n箱4\n箱11\n(^_^)\n"));
  EXPECT_EQ(f.Text4->textCursor().position(), 3);
  // The chooser stays open on its page; nothing is written yet.
  EXPECT_TRUE(KaoFormLoaded());
  EXPECT_EQ(f.SSTab1->Tab(), 8);
  EXPECT_EQ(read(11), sjis(QStringLiteral("箱11\r\n(^_^)\r\n")));
  f.Unload();
  settle();
  EXPECT_EQ(read(11), sjis(QStringLiteral("箱0\r\n箱4\r\n箱11\r\n(^_^)\r\n")));
}

TEST_F(KaoFormTest, PasteReplacesTheBoxesSelectionWithTheTrimmedClipboard) {
  forms::KaoForm& f = ::KaoForm();
  QApplication::clipboard()->setText(QStringLiteral("  ★彡  "));
  select(f.Text8, 0, 1);
  f.Command17->click();
  EXPECT_EQ(f.Text8->toPlainText(), QStringLiteral("★彡8\n(^_^)\n"));
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("  ★彡  "));
  // An empty clipboard deletes the selection and inserts nothing.
  QApplication::clipboard()->clear();
  select(f.Text8, 0, 2);
  f.Command17->click();
  EXPECT_EQ(f.Text8->toPlainText(), QStringLiteral("8\n(^_^)\n"));
  EXPECT_TRUE(KaoFormLoaded());
}

TEST_F(KaoFormTest, ShowingItAgainKeepsItsEditsAndItsTab) {
  forms::KaoForm& f = ::KaoForm();
  f.Show();
  f.SSTab1->setTab(4);
  f.Text4->setPlainText(QStringLiteral("未保存"));
  write(4, sjis(QStringLiteral("外で書き換え")));
  ::KaoForm().Show();
  EXPECT_EQ(&::KaoForm(), &f);
  EXPECT_EQ(f.SSTab1->Tab(), 4);
  EXPECT_EQ(f.Text4->toPlainText(), QStringLiteral("未保存"));
}

// The face-mark files as the program ships them (written by hand under
// assets/facemarks, laid into the program folder as CP932).
TEST(FaceMarkAssets, EveryShippedTextSurvivesCp932Unchanged) {
  const QString source =
      QFileInfo(QStringLiteral(__FILE__)).absoluteDir().absoluteFilePath(QStringLiteral("../../../assets/facemarks"));
  for (int i = 0; i < forms::KaoForm::kTabs; ++i) {
    QFile f(QDir(source).filePath(fileName(i)));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_FALSE(text.trimmed().isEmpty()) << i;
    EXPECT_TRUE(cp932::canEncode(text)) << i;
    EXPECT_EQ(cp932::decode(cp932::encode(text)), text) << i;
  }
}

}  // namespace
