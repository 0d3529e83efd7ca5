// The Cc list window: adding typed addresses, clearing, closing, the help
// switch and the hover help.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <vector>

#include "client/composer/ccform.h"
#include "client/composer/composer.h"
#include "client/composer/writeform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailrecord.h"
#include "client/mainwindow/settings.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"

namespace {

using seamtest::sjis;

// One Cc record as it lies in the file.
QByteArray ccRecord(const QString& address, int live = 1) {
  QByteArray r;
  r.append(char(live & 0xFF));
  r.append(char((live >> 8) & 0xFF));
  const QByteArray a = sjis(address);
  return r + a + QByteArray(90 - a.size(), ' ');
}

class CcFormTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString file;
  std::vector<seams::MsgBoxCall> boxes;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
    paths::setProgramFolder(dir.path());
    file = paths::resolve(records::kCcListFile);
    seamtest::recordMsgBoxes(boxes, seamtest::alwaysOk);
    MultiSendMode = 0;
    CurrentRecordNo = 0;
  }
  void TearDown() override {
    if (CcFormLoaded()) ::CcForm().Unload();
    if (WriteFormLoaded()) ::WriteForm().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    seamtest::answerMsgBoxes();
    paths::setProgramFolder(QString());
    MultiSendMode = 0;
  }
  QByteArray bytes() { return seamtest::fileBytesOrMissing(file); }
  void put(const QByteArray& b) { seamtest::putFile(file, b); }
  QStringList rows() {
    QStringList r;
    for (int i = 0; i < ::CcForm().List3->count(); ++i) r << ::CcForm().List3->item(i)->text();
    return r;
  }
  void add(const QString& typed) {
    ::CcForm().Text5->setText(typed);
    ::CcForm().Command2->click();
  }
  QString helpKey() {
    return profile::GetPrivateProfileString(settings::kSection, QStringLiteral("NUMBER22"),
                                            QStringLiteral("<none>"), paths::resolve(settings::kIniFile), 256);
  }
  void unloadCc() {
    ::CcForm().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
};

TEST_F(CcFormTest, LoadSetsTheModeAndStaysOnTop) {
  forms::CcForm& f = ::CcForm();
  EXPECT_EQ(f.Caption(), QStringLiteral("Cc;（カーボンコピー）送信"));
  EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(MultiSendMode, 1);
  EXPECT_EQ(ui::tw(f.width()), 5535);
  EXPECT_EQ(f.Label3->text(), QStringLiteral("手動で入力が選択されました。"));
  EXPECT_EQ(f.List3->count(), 0);
  EXPECT_TRUE(f.Text3->text().isEmpty());
}

TEST_F(CcFormTest, HelpSwitchIsReadAtLoadAndWrittenAtClose) {
  struct Case {
    const char* name;
    const char* stored;  // nullptr: no key
    bool checked;
    bool tickBeforeClose;
    QString written;
  } cases[] = {
      {"1", "1", true, true, QStringLiteral("1")},
      {"0", "0", false, false, QStringLiteral("0")},
      {"missing", nullptr, false, false, QStringLiteral("0")},
      {"a height of the attachment viewer", "4500", false, true, QStringLiteral("1")},
  };
  for (const Case& c : cases) {
    QFile::remove(paths::resolve(settings::kIniFile));
    if (c.stored) settings::writeText("NUMBER22", QString::fromLatin1(c.stored));
    forms::CcForm& f = ::CcForm();
    EXPECT_EQ(f.Check1->isChecked(), c.checked) << c.name;
    f.Check1->setChecked(c.tickBeforeClose);
    unloadCc();
    EXPECT_EQ(helpKey(), c.written) << c.name;
  }
}

TEST_F(CcFormTest, AddingTypedAddresses) {
  forms::CcForm& f = ::CcForm();
  add(QStringLiteral("  a@example.jp  "));
  EXPECT_EQ(rows(), QStringList{QStringLiteral("a@example.jp")});
  EXPECT_EQ(bytes(), ccRecord(QStringLiteral("a@example.jp")));
  EXPECT_EQ(f.Text3->text(), QStringLiteral("1"));
  EXPECT_EQ(CurrentRecordNo, 1);
  EXPECT_TRUE(f.Text5->text().isEmpty());
  // Nothing is tested: an empty box adds an empty row and a blank record,
  // and a repeated address is added again.
  add(QString());
  add(QStringLiteral("a@example.jp"));
  // The prompt that the composer's typed mode puts into the box is an address like any other.
  add(QStringLiteral("ここにアドレスを手動で入力。"));
  EXPECT_EQ(rows(), (QStringList{QStringLiteral("a@example.jp"), QString(), QStringLiteral("a@example.jp"),
                                 QStringLiteral("ここにアドレスを手動で入力。")}));
  EXPECT_EQ(bytes(), ccRecord(QStringLiteral("a@example.jp")) + ccRecord(QString()) +
                         ccRecord(QStringLiteral("a@example.jp")) + ccRecord(QStringLiteral("ここにアドレスを手動で入力。")));
  EXPECT_EQ(f.Text3->text(), QStringLiteral("4"));
  EXPECT_EQ(CurrentRecordNo, 4);
  EXPECT_EQ(MultiSendMode, 1);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(CcFormTest, MenuAddsAlsoWhileTheButtonIsDisabled) {
  forms::CcForm& f = ::CcForm();
  // The address-book mode as the composer sets it up.
  f.Text5->setText(QStringLiteral("新規作成のアドレス帳をクリック"));
  f.Text5->setEnabled(false);
  f.Command2->setEnabled(false);
  MultiSendMode = 0;
  f.mnutuika->trigger();
  EXPECT_EQ(rows(), QStringList{QStringLiteral("新規作成のアドレス帳をクリック")});
  EXPECT_EQ(bytes(), ccRecord(QStringLiteral("新規作成のアドレス帳をクリック")));
  EXPECT_EQ(MultiSendMode, 1);
}

TEST_F(CcFormTest, ClearEmptiesTheListTheFileAndTheCount) {
  forms::CcForm& f = ::CcForm();
  // An empty list: an empty file and an empty count box, not "0".
  f.Command1->click();
  EXPECT_EQ(bytes(), QByteArray());
  EXPECT_TRUE(f.Text3->text().isEmpty());
  add(QStringLiteral("a@x"));
  add(QStringLiteral("b@x"));
  f.mclire->trigger();
  EXPECT_EQ(f.List3->count(), 0);
  EXPECT_EQ(bytes(), QByteArray());
  EXPECT_TRUE(f.Text3->text().isEmpty());
  EXPECT_EQ(CurrentRecordNo, 2);
  EXPECT_FALSE(QFileInfo::exists(paths::resolve(QStringLiteral("\\★MAilData\\XQMDATA100.TMP"))));
  // Adding goes on from record 1.
  add(QStringLiteral("c@x"));
  EXPECT_EQ(bytes(), ccRecord(QStringLiteral("c@x")));
  EXPECT_EQ(MultiSendMode, 1);
}

TEST_F(CcFormTest, RecordsLeftByAnEarlierRunAreNeitherShownNorSentTo) {
  // A program that ended while the window was open left its records behind.
  put(ccRecord(QStringLiteral("old1@x")) + ccRecord(QStringLiteral("old2@x")));
  forms::CcForm& f = ::CcForm();
  EXPECT_EQ(f.List3->count(), 0);
  // Row i and record i stay the same address, as the send reads them.
  add(QStringLiteral("new@x"));
  EXPECT_EQ(bytes(), ccRecord(QStringLiteral("new@x")));
}

TEST_F(CcFormTest, CloseEmptiesEverythingAndGivesTheComposerItsToBoxBack) {
  forms::WriteForm& w = ::WriteForm();
  forms::CcForm& f = ::CcForm();
  // What the composer's Cc-mode choice does to its own boxes.
  w.ToText->setText(QStringLiteral("x"));
  w.ToText->setEnabled(false);
  w.List1->setEnabled(false);
  add(QStringLiteral("a@x"));
  f.Command3->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(CcFormLoaded());
  EXPECT_EQ(MultiSendMode, 0);
  EXPECT_EQ(bytes(), QByteArray());
  EXPECT_TRUE(w.ToText->text().isEmpty());
  EXPECT_TRUE(w.ToText->isEnabled());
  EXPECT_EQ(w.ToText->palette().color(QPalette::Base), QColor(255, 255, 255));
  EXPECT_TRUE(w.List1->isEnabled());
  // Opened again: an empty list and an empty file.
  forms::CcForm& again = ::CcForm();
  EXPECT_EQ(again.List3->count(), 0);
  EXPECT_EQ(bytes(), QByteArray());
  again.mtorikeshi->trigger();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(CcFormLoaded());
}

TEST_F(CcFormTest, CloseDoesNotLoadAComposerThatIsNotThere) {
  ::CcForm();
  add(QStringLiteral("a@x"));
  unloadCc();
  EXPECT_FALSE(WriteFormLoaded());
  EXPECT_EQ(bytes(), QByteArray());
  EXPECT_EQ(MultiSendMode, 0);
}

TEST_F(CcFormTest, HoverHelpPlacedByTheSwitch) {
  forms::CcForm& f = ::CcForm();
  auto enter = [](QWidget* w) {
    QEnterEvent e(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(w, &e);
  };
  auto top = [&] { return ui::tw(f.Text1->y()); };
  // Nothing hovered since load: the box sits at its design place.
  f.Check1->setChecked(false);
  enter(f.Label2);
  EXPECT_EQ(f.Text1->toPlainText(), QStringLiteral("この画面での説明の表示・非表示の切り替えを行います。"));
  EXPECT_EQ(top(), 2640);
  struct Case {
    QWidget* over;
    QString text;
  } cases[] = {
      {f.Command1, QStringLiteral("Ccとして送信設定したメールアドレスをクリアします。")},
      {f.Command2,
       QStringLiteral("手動入力の際、上の空白にメールアドレスを入力し、このボタンをクリックして下さい。リストに表示されます。"
                      "リストに表示されたメールアドレス全てにCcとし送信されます。")},
      {f.Command3, QStringLiteral("Cc送信を中止します。")},
  };
  for (bool on : {true, false}) {
    f.Check1->setChecked(on);
    for (const Case& c : cases) {
      enter(c.over);
      EXPECT_EQ(f.Text1->toPlainText(), c.text);
      EXPECT_FALSE(f.Text1->isHidden());
      EXPECT_EQ(top(), on ? 2640 : -4005);
    }
  }
  // Switched off: the switch's own text shows wherever the box was last put.
  enter(f.Label2);
  EXPECT_EQ(top(), -4005);
  // Both labels of the array give the long text.
  f.Check1->setChecked(true);
  for (QLabel* l : f.Label1) {
    enter(l);
    const QString t = f.Text1->toPlainText();
    EXPECT_TRUE(t.startsWith(QStringLiteral("●「手動で入力」：上から２行目の欄に"))) << t.toStdString();
    EXPECT_TRUE(t.contains(QStringLiteral("クリックで選択します。\nCc送信したいメールアドレスが選択されたら"))) << t.toStdString();
    EXPECT_TRUE(t.contains(QStringLiteral("クリックして下さい。\n\n注意：新規作成画面の「宛先」には入力しません。"))) << t.toStdString();
    EXPECT_TRUE(t.endsWith(QStringLiteral("送信完了後、この画面は自動で消去されます。")));
    EXPECT_EQ(top(), 2640);
  }
  enter(f.List3->viewport());
  EXPECT_TRUE(f.Text1->isHidden());
}

}  // namespace

TEST_F(CcFormTest, AClearThatCannotEmptyTheFileKeepsTheListAndTheFileInStep) {
  forms::CcForm& f = ::CcForm();
  add(QStringLiteral("a@x"));
  add(QStringLiteral("b@x"));
  const QByteArray before = bytes();
  const QString twin = paths::resolve(QStringLiteral("\\★MAilData\\XQMDATA100.TMP"));
  ASSERT_TRUE(QDir().mkpath(twin));  // the compaction cannot write its twin
  boxes.clear();
  f.Command1->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("Cc送信のアドレスを消去できませんでした。")));
  // The addresses are there as they were, and listed as before.
  EXPECT_EQ(bytes(), before);
  EXPECT_EQ(rows(), (QStringList{QStringLiteral("a@x"), QStringLiteral("b@x")}));
  EXPECT_EQ(f.Text3->text(), QStringLiteral("2"));
  // The next address goes after them: row 3 is record 3.
  ASSERT_TRUE(QDir(twin).removeRecursively());
  add(QStringLiteral("c@x"));
  EXPECT_EQ(bytes(), ccRecord(QStringLiteral("a@x")) + ccRecord(QStringLiteral("b@x")) + ccRecord(QStringLiteral("c@x")));
  EXPECT_EQ(rows().size(), 3);
}
