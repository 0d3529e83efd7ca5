// The address book: listing, registering, picking, the business-card insert,
// deleting with compaction, the paste buttons and the hover help.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <vector>

#include "client/composer/friendform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailrecord.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"

namespace {

using seamtest::sjis;

QByteArray padded(const QByteArray& b, int width) { return b + QByteArray(width - b.size(), ' '); }

// One address-book record as it lies in the file.
QByteArray entry(const QString& name, const QString& address, int live = 1) {
  QByteArray r = padded(sjis(name), 90) + "\r\n";
  r.append(char(live & 0xFF));
  r.append(char((live >> 8) & 0xFF));
  return r + padded(sjis(address), 90);
}

class FriendFormTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString file, twin;
  std::vector<seams::MsgBoxCall> boxes;
  std::deque<int> answers;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
    paths::setProgramFolder(dir.path());
    file = paths::resolve(records::kAddressBookFile);
    twin = paths::resolve(QStringLiteral("\\★MAilData\\XQMDATA20.TMP"));
    seamtest::recordMsgBoxes(boxes, answers);
    CurrentRecordNo = 0;
  }
  void TearDown() override {
    if (FriendFormLoaded()) ::FriendForm().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    seamtest::answerMsgBoxes();
    paths::setProgramFolder(QString());
  }
  QByteArray bytes() { return seamtest::fileBytesOrMissing(file); }
  void put(const QByteArray& b) { seamtest::putFile(file, b); }
  // The list's rows as "address|name".
  QStringList rows() {
    QStringList r;
    auto* v = ::FriendForm().MailListView;
    for (int i = 0; i < v->topLevelItemCount(); ++i)
      r << v->topLevelItem(i)->text(0) + u'|' + v->topLevelItem(i)->text(1);
    return r;
  }
  void pressRow(int row) {
    auto* v = ::FriendForm().MailListView;
    v->setCurrentItem(v->topLevelItem(row));
    ::FriendForm().MailListView_MouseDown();
  }
  void reopen() {
    ::FriendForm().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ::FriendForm();
  }
};

TEST_F(FriendFormTest, OpenListsEveryRecordInFileOrder) {
  put(entry(QStringLiteral("山田"), QStringLiteral("yamada@example.jp")) + entry(QString(), QString()) +
      entry(QStringLiteral("dead"), QStringLiteral("dead@x"), 0));
  forms::FriendForm& f = ::FriendForm();
  EXPECT_EQ(f.Caption(), QStringLiteral("アドレス帳"));
  EXPECT_EQ(f.MailListView->headerItem()->text(0), QStringLiteral("Address"));
  EXPECT_EQ(f.MailListView->headerItem()->text(1), QStringLiteral("Name"));
  // The live flag is not tested: a dead record left by a crash is listed too.
  EXPECT_EQ(rows(), (QStringList{QStringLiteral("yamada@example.jp|山田"), QStringLiteral("|"),
                                 QStringLiteral("dead@x|dead")}));
  EXPECT_EQ(f.Text3->text(), QStringLiteral("3"));
  EXPECT_TRUE(f.Label7->text().isEmpty());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(FriendFormTest, OpenCreatesAMissingFileEmpty) {
  forms::FriendForm& f = ::FriendForm();
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 0);
  EXPECT_EQ(f.Text3->text(), QStringLiteral("0"));
  EXPECT_TRUE(QFileInfo::exists(file));
  EXPECT_EQ(bytes(), QByteArray());
}

TEST_F(FriendFormTest, RegisterAppendsTheBoxesAsTheyStand) {
  const QString ninety(90, u'a');
  const QString fortyFiveWide(45, u'あ');
  struct Case {
    const char* name;
    QString nameBox, addressBox;
    QByteArray stored;  // the record written
    QString row;        // the row listed for it
  } cases[] = {
      {"plain", QStringLiteral("鈴木"), QStringLiteral("suzuki@example.jp"),
       entry(QStringLiteral("鈴木"), QStringLiteral("suzuki@example.jp")), QStringLiteral("suzuki@example.jp|鈴木")},
      {"empty boxes: a record of blanks", QString(), QString(), entry(QString(), QString()), QStringLiteral("|")},
      {"blanks kept as typed", QStringLiteral(" 鈴木 "), QStringLiteral(" s@x "),
       entry(QStringLiteral(" 鈴木 "), QStringLiteral(" s@x ")), QStringLiteral(" s@x| 鈴木")},
      {"exactly 90 bytes fill the field", ninety, fortyFiveWide, entry(ninety, fortyFiveWide),
       fortyFiveWide + u'|' + ninety},
      {"longer text cut at 90 bytes", ninety + QStringLiteral("bc"), fortyFiveWide + QStringLiteral("い"),
       entry(ninety, fortyFiveWide), fortyFiveWide + u'|' + ninety},
      {"a double-byte character at the limit is dropped whole", QString(89, u'a') + QStringLiteral("あ"),
       QStringLiteral("x"), entry(QString(89, u'a'), QStringLiteral("x")), QStringLiteral("x|") + QString(89, u'a')},
  };
  const QByteArray first = entry(QStringLiteral("先"), QStringLiteral("first@x"));
  for (const Case& c : cases) {
    put(first);
    reopen();
    forms::FriendForm& f = ::FriendForm();
    f.Text2->setText(c.nameBox);
    f.Text4->setText(c.addressBox);
    f.Command3->click();
    EXPECT_EQ(bytes(), first + c.stored) << c.name;
    EXPECT_EQ(CurrentRecordNo, 2) << c.name;
    EXPECT_EQ(f.Label7->text(), QStringLiteral("　登録が完了しました。")) << c.name;
    ASSERT_EQ(rows().size(), 2) << c.name;
    EXPECT_EQ(rows().at(1), c.row) << c.name;
    EXPECT_EQ(f.Text3->text(), QStringLiteral("2")) << c.name;
    // The boxes keep their text.
    EXPECT_EQ(f.Text2->text(), c.nameBox) << c.name;
    EXPECT_EQ(f.Text4->text(), c.addressBox) << c.name;
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(FriendFormTest, RegisterThatCannotWriteSaysSoAndIsNotReportedDone) {
  forms::FriendForm& f = ::FriendForm();
  // The list file's place is taken by a folder: nothing can be written.
  QFile::remove(file);
  ASSERT_TRUE(QDir().mkpath(file));
  f.Text2->setText(QStringLiteral("名"));
  f.Text4->setText(QStringLiteral("a@x"));
  f.Command3->click();
  ASSERT_FALSE(boxes.empty());
  EXPECT_TRUE(boxes.front().prompt.startsWith(QStringLiteral("登録できませんでした。"))) << boxes.front().prompt.toStdString();
  EXPECT_NE(f.Label7->text(), QStringLiteral("　登録が完了しました。"));
}

TEST_F(FriendFormTest, RegisterRefusesCharactersShiftJisCannotHold) {
  const QByteArray first = entry(QStringLiteral("先"), QStringLiteral("first@x"));
  struct Case {
    const char* name;
    QString nameBox, addressBox;
  } cases[] = {
      {"name", QStringLiteral("Ren\u00E9e"), QStringLiteral("renee@example.jp")},
      {"address", QStringLiteral("鈴木"), QStringLiteral("s\u00FCzuki@example.jp")},
  };
  for (const Case& c : cases) {
    put(first);
    reopen();
    boxes.clear();
    forms::FriendForm& f = ::FriendForm();
    f.Label7->setText(QStringLiteral("　登録が完了しました。"));  // left by an earlier register
    f.Text2->clear();
    f.Text4->clear();
    // Pasted into the boxes, as such text mostly comes.
    for (auto [box, text] : {std::pair{f.Text2, c.nameBox}, std::pair{f.Text4, c.addressBox}}) {
      QApplication::clipboard()->setText(text);
      QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    }
    QTest::mouseClick(f.Command3, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u) << c.name;
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("Shift-JISで保存できない文字"))) << c.name;
    EXPECT_EQ(bytes(), first) << c.name;  // nothing written
    EXPECT_TRUE(f.Label7->text().isEmpty()) << c.name;
    // What was typed stays, to be mended.
    EXPECT_EQ(f.Text2->text(), c.nameBox) << c.name;
    EXPECT_EQ(f.Text4->text(), c.addressBox) << c.name;
  }
}

TEST_F(FriendFormTest, PressingARowPutsItsEntryTrimmedIntoTheBoxes) {
  put(entry(QStringLiteral("一"), QStringLiteral("one@x")) +
      entry(QStringLiteral("  二  "), QStringLiteral("  two@x  ")));
  forms::FriendForm& f = ::FriendForm();
  pressRow(1);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("二"));
  EXPECT_EQ(f.Text4->text(), QStringLiteral("two@x"));
  EXPECT_EQ(f.Label7->text(), QStringLiteral("　選択しました。"));
  EXPECT_EQ(vb::Trim(AddressRec.Address), QStringLiteral("two@x"));
  // A press beside every row selects nothing and changes nothing.
  f.MailListView->setCurrentItem(nullptr);
  f.Label7->clear();
  f.MailListView_MouseDown();
  EXPECT_EQ(f.Text2->text(), QStringLiteral("二"));
  EXPECT_TRUE(f.Label7->text().isEmpty());
}

TEST_F(FriendFormTest, BusinessCardInsert) {
  struct Case {
    const char* name;
    QString card, address;
    QString message;  // empty: no message
    QString after;    // the address box afterwards
  } cases[] = {
      {"name and address", QStringLiteral("山田太郎"), QStringLiteral("  taro@example.jp  "), QString(),
       QStringLiteral("山田太郎<taro@example.jp>")},
      {"no address", QStringLiteral("山田太郎"), QString(), QStringLiteral("メールアドレスが入力されていません"),
       QString()},
      {"no card name", QString(), QStringLiteral("taro@example.jp"), QStringLiteral("名詞が入力されていません"),
       QStringLiteral("taro@example.jp")},
      {"a blank is a card name", QStringLiteral(" "), QStringLiteral("t@x"), QString(), QStringLiteral(" <t@x>")},
  };
  forms::FriendForm& f = ::FriendForm();
  for (const Case& c : cases) {
    boxes.clear();
    f.Text50->setText(c.card);
    f.Text4->setText(c.address);
    f.Command38->click();
    if (c.message.isEmpty()) {
      EXPECT_TRUE(boxes.empty()) << c.name;
    } else {
      ASSERT_EQ(boxes.size(), 1u) << c.name;
      EXPECT_EQ(boxes[0].prompt, c.message) << c.name;
      EXPECT_EQ(boxes[0].buttons, int(seams::vbOKOnly)) << c.name;
      EXPECT_EQ(boxes[0].title, QStringLiteral("RuvoMail")) << c.name;
    }
    EXPECT_EQ(f.Text4->text(), c.after) << c.name;
  }
  // A second insert wraps the result again; nothing is written.
  f.Text50->setText(QStringLiteral("N"));
  f.Text4->setText(QStringLiteral("a@x"));
  f.Command38->click();
  f.Command38->click();
  EXPECT_EQ(f.Text4->text(), QStringLiteral("N<N<a@x>>"));
  EXPECT_EQ(bytes(), QByteArray());
}

TEST_F(FriendFormTest, TheEntryReachedWithTheKeysIsPickedAsByAPress) {
  put(entry(QStringLiteral("一"), QStringLiteral("one@x")) + entry(QStringLiteral("二"), QStringLiteral("two@x")) +
      entry(QStringLiteral("三"), QStringLiteral("three@x")));
  forms::FriendForm& f = ::FriendForm();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QTest::mouseClick(f.MailListView->viewport(), Qt::LeftButton, {},
                    f.MailListView->visualItemRect(f.MailListView->topLevelItem(0)).center());
  EXPECT_EQ(f.Text4->text(), QStringLiteral("one@x"));
  f.Label7->clear();
  QTest::keyClick(f.MailListView, Qt::Key_Down);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("二"));
  EXPECT_EQ(f.Text4->text(), QStringLiteral("two@x"));
  EXPECT_EQ(f.Label7->text(), QStringLiteral("　選択しました。"));
  // The entry deleted is the one shown and highlighted.
  answers = {seams::vbYes};
  QTest::mouseClick(f.Command4, Qt::LeftButton);
  EXPECT_EQ(rows(), (QStringList{QStringLiteral("one@x|一"), QStringLiteral("three@x|三")}));
}

TEST_F(FriendFormTest, DeleteAsksThenCompactsEitherWay) {
  const QByteArray e1 = entry(QStringLiteral("一"), QStringLiteral("one@x"));
  const QByteArray e2 = entry(QStringLiteral("二"), QStringLiteral("two@x"));
  const QByteArray e3 = entry(QStringLiteral("三"), QStringLiteral("three@x"));
  const QByteArray dead = entry(QStringLiteral("死"), QStringLiteral("dead@x"), 0);
  struct Case {
    const char* name;
    QByteArray before;
    int row;
    int answer;
    QByteArray after;
    QString status;
  } cases[] = {
      {"the second of three", e1 + e2 + e3, 1, seams::vbYes, e1 + e3, QStringLiteral("削除が完了しました")},
      {"the first", e1 + e2 + e3, 0, seams::vbYes, e2 + e3, QStringLiteral("削除が完了しました")},
      {"the only one", e1, 0, seams::vbYes, QByteArray(), QStringLiteral("削除が完了しました")},
      {"answered No", e1 + e2 + e3, 1, seams::vbNo, e1 + e2 + e3, QStringLiteral(" ")},
      {"answered No still drops dead records", e1 + dead + e3, 0, seams::vbNo, e1 + e3, QStringLiteral(" ")},
  };
  for (const Case& c : cases) {
    put(c.before);
    reopen();
    boxes.clear();
    answers = {c.answer};
    forms::FriendForm& f = ::FriendForm();
    pressRow(c.row);
    f.Text50->setText(QStringLiteral("名刺"));
    f.Command4->click();
    ASSERT_EQ(boxes.size(), 1u) << c.name;
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか")) << c.name;
    EXPECT_EQ(boxes[0].title, QStringLiteral("確認")) << c.name;
    EXPECT_EQ(boxes[0].buttons, int(seams::vbYesNo | seams::vbQuestion)) << c.name;
    EXPECT_EQ(bytes(), c.after) << c.name;
    EXPECT_FALSE(QFileInfo::exists(twin)) << c.name;
    EXPECT_EQ(CurrentRecordNo, c.row + 1) << c.name;
    EXPECT_EQ(f.Label7->text(), c.status) << c.name;
    EXPECT_EQ(f.MailListView->topLevelItemCount(), c.after.size() / 184) << c.name;
    EXPECT_EQ(f.Text3->text(), QString::number(c.after.size() / 184)) << c.name;
    EXPECT_TRUE(f.Text2->text().isEmpty()) << c.name;
    EXPECT_TRUE(f.Text4->text().isEmpty()) << c.name;
    EXPECT_TRUE(f.Text50->text().isEmpty()) << c.name;
  }
}

TEST_F(FriendFormTest, DeleteWithoutAnAddressOrARowChangesNothing) {
  const QByteArray two = entry(QStringLiteral("一"), QStringLiteral("one@x")) +
                         entry(QStringLiteral("二"), QStringLiteral("two@x"));
  put(two);
  forms::FriendForm& f = ::FriendForm();
  // An empty address box: the message, nothing else.
  pressRow(0);
  f.Text4->clear();
  f.Command4->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("データが選択されていません"));
  EXPECT_EQ(boxes[0].buttons, int(seams::vbOKOnly));
  EXPECT_EQ(f.Text2->text(), QStringLiteral("一"));
  // An address typed but no row selected: no question, no change.
  f.MailListView->setCurrentItem(nullptr);
  f.Text4->setText(QStringLiteral("typed@x"));
  f.Command4->click();
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(f.Text4->text(), QStringLiteral("typed@x"));
  EXPECT_EQ(bytes(), two);
}

TEST_F(FriendFormTest, PasteButtonsTakeTheClipboardUnchanged) {
  forms::FriendForm& f = ::FriendForm();
  QApplication::clipboard()->setText(QStringLiteral(" copied@example.jp "));
  f.Command1->click();
  EXPECT_EQ(f.Text4->text(), QStringLiteral(" copied@example.jp "));
  QApplication::clipboard()->setText(QStringLiteral("名前 "));
  f.Command5->click();
  EXPECT_EQ(f.Text2->text(), QStringLiteral("名前 "));
  EXPECT_EQ(f.Text4->text(), QStringLiteral(" copied@example.jp "));
}

TEST_F(FriendFormTest, HoverHelpOverTheButtonsAndHiddenOverTheBackground) {
  forms::FriendForm& f = ::FriendForm();
  // Without the main window's switch the box sits off the window.
  EXPECT_EQ(ui::tw(f.Text5->y()), -4005);
  auto enter = [](QWidget* w) {
    QEnterEvent e(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(w, &e);
  };
  struct Case {
    QWidget* over;
    QString starts;
  } cases[] = {
      {f.Command1, QStringLiteral("コピーして来たメールアドレスを貼り付けます。")},
      {f.Command3, QStringLiteral("登録を行います。これにより新規作成でのメールアドレスの一発入力が可能になります。")},
      {f.Command4, QStringLiteral("不要になったメールアドレスを削除します。")},
      {f.Command38, QStringLiteral("「名刺」")},
  };
  for (const Case& c : cases) {
    enter(c.over);
    EXPECT_TRUE(f.Text5->toPlainText().startsWith(c.starts)) << f.Text5->toPlainText().toStdString();
    EXPECT_FALSE(f.Text5->isHidden());
  }
  EXPECT_TRUE(f.Text5->toPlainText().endsWith(QStringLiteral("必要なければ挿入する必要はありません。")));
  QMouseEvent move(QEvent::MouseMove, QPointF(ui::px(8000), ui::px(4550)), QPointF(ui::px(8000), ui::px(4550)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(f.client(), &move);
  EXPECT_TRUE(f.Text5->isHidden());
}

}  // namespace

TEST_F(FriendFormTest, EveryHoverTextShowsWholeInTheHelpBox) {
  forms::FriendForm& f = ::FriendForm();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  const QSize box = f.Text5->size();
  for (QPushButton* b : {f.Command1, f.Command3, f.Command4, f.Command38}) {
    SCOPED_TRACE(b->text().toStdString());
    QTest::mouseMove(b, b->rect().center() + QPoint(1, 1));
    QTest::mouseMove(b, b->rect().center());
    QTest::qWait(40);
    ASSERT_TRUE(f.Text5->isVisible());
    EXPECT_FALSE(f.Text5->toPlainText().isEmpty());
    EXPECT_EQ(f.Text5->size(), box);
    // No line scrolled out of view.
    EXPECT_EQ(f.Text5->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(f.Text5->horizontalScrollBar()->maximum(), 0);
  }
}

TEST_F(FriendFormTest, ADeleteWhoseCompactionFailsKeepsTheEntryAsItWas) {
  // A name in codes CP932 holds twice: the entry is kept byte for byte.
  QByteArray odd = entry(QStringLiteral("二"), QStringLiteral("two@x"));
  odd.replace(0, 4, QByteArray("\xED\x40\x85\x40", 4));
  const QByteArray e1 = entry(QStringLiteral("一"), QStringLiteral("one@x"));
  const QByteArray e3 = entry(QStringLiteral("三"), QStringLiteral("three@x"));
  put(e1 + odd + e3);
  reopen();
  ASSERT_TRUE(QDir().mkpath(twin));  // the compaction cannot write its twin
  boxes.clear();
  answers = {seams::vbYes};
  forms::FriendForm& f = ::FriendForm();
  pressRow(1);
  f.Command4->click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(boxes[1].prompt.startsWith(QStringLiteral("削除できませんでした。"))) << boxes[1].prompt.toStdString();
  EXPECT_EQ(bytes(), e1 + odd + e3);
  // The next delete that works takes its own entry only.
  ASSERT_TRUE(QDir(twin).removeRecursively());
  answers = {seams::vbYes};
  pressRow(2);
  f.Command4->click();
  EXPECT_EQ(bytes(), e1 + odd);
}

TEST_F(FriendFormTest, TheBoxesFollowTheHighlightWhateverTheMouseDoes) {
  put(entry(QStringLiteral("一"), QStringLiteral("one@x")) + entry(QStringLiteral("二"), QStringLiteral("two@x")) +
      entry(QStringLiteral("三"), QStringLiteral("three@x")));
  reopen();
  forms::FriendForm& f = ::FriendForm();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  auto* v = f.MailListView;
  auto centre = [v](int row) { return v->visualItemRect(v->topLevelItem(row)).center(); };
  QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, centre(0));
  EXPECT_EQ(f.Text4->text(), QStringLiteral("one@x"));
  // A press on one row and a drag to another: the boxes show the row highlighted.
  QTest::mousePress(v->viewport(), Qt::LeftButton, {}, centre(1));
  QTest::mouseMove(v->viewport(), centre(2));
  QTest::mouseRelease(v->viewport(), Qt::LeftButton, {}, centre(2));
  ASSERT_NE(v->currentItem(), nullptr);
  EXPECT_EQ(v->indexOfTopLevelItem(v->currentItem()), 2);
  EXPECT_EQ(f.Text4->text(), QStringLiteral("three@x"));
  EXPECT_EQ(f.Text2->text(), QStringLiteral("三"));
  // A right click shows the row it highlights.
  QTest::mouseClick(v->viewport(), Qt::RightButton, {}, centre(0));
  EXPECT_EQ(v->indexOfTopLevelItem(v->currentItem()), 0);
  EXPECT_EQ(f.Text4->text(), QStringLiteral("one@x"));
}
