#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTest>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "client/mainwindow/gekitaiform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailrecord.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"

namespace {

// Message boxes of one test: recorded and answered with `answer` for a
// Yes/No question, OK otherwise.
struct Boxes {
  std::vector<seams::MsgBoxCall> calls;
  int answer = seams::vbYes;
  Boxes() {
    seams::setMsgBoxHandler([this](const seams::MsgBoxCall& c) {
      calls.push_back(c);
      return (c.buttons & 7) == seams::vbYesNo ? answer : int(seams::vbOK);
    });
  }
  ~Boxes() {
    seamtest::answerMsgBoxes();
  }
};

using seamtest::sjis;

// One record as it lies in the file.
QByteArray record(const QString& keyword, int live = 1) {
  QByteArray r("\r\n");
  r.append(char(live & 0xFF));
  r.append(char((live >> 8) & 0xFF));
  QByteArray k = sjis(keyword);
  k.append(QByteArray(200 - k.size(), ' '));
  return r + k;
}

class GekitaiFormTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString file, twin;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
    paths::setProgramFolder(dir.path());
    file = paths::resolve(records::kSpamKeywordFile);
    twin = paths::resolve(QStringLiteral("\\★MAilData\\XQMDATA50.TMP"));
  }
  void TearDown() override {
    if (GekitaiFormLoaded()) GekitaiForm().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    paths::setProgramFolder(QString());
  }
  QByteArray bytes() { return seamtest::fileBytesOrMissing(file); }
  void put(const QByteArray& b) { seamtest::putFile(file, b); }
  QStringList rows() {
    QStringList r;
    for (int i = 0; i < GekitaiForm().List1->count(); ++i) r << GekitaiForm().List1->item(i)->text();
    return r;
  }
  void registerKeyword(const QString& k) {
    GekitaiForm().Text1->setText(k);
    GekitaiForm().Command1->click();
  }
  void select(int row) {
    GekitaiForm().List1->setCurrentRow(row);
  }
};

TEST_F(GekitaiFormTest, RegisterIntoAMissingFileWritesRecordOne) {
  Boxes boxes;
  forms::GekitaiForm& f = GekitaiForm();
  EXPECT_EQ(f.Caption(), QStringLiteral("Spam/迷惑メール撃退"));
  EXPECT_EQ(f.List1->count(), 0);
  registerKeyword(QStringLiteral("未承諾広告"));
  EXPECT_EQ(bytes(), record(QStringLiteral("未承諾広告")));
  EXPECT_EQ(rows(), QStringList{QStringLiteral("未承諾広告")});
  EXPECT_EQ(f.Text1->text(), QString());
  EXPECT_EQ(vb::Trim(SpamKeywordRec.Keyword), QStringLiteral("未承諾広告"));
  registerKeyword(QStringLiteral("casino"));
  EXPECT_EQ(bytes(), record(QStringLiteral("未承諾広告")) + record(QStringLiteral("casino")));
  EXPECT_EQ(rows(), (QStringList{QStringLiteral("未承諾広告"), QStringLiteral("casino")}));
  EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(GekitaiFormTest, EmptyEntryAndMissingSelectionLeaveTheFileAlone) {
  Boxes boxes;
  put(record(QStringLiteral("a")) + record(QStringLiteral("b")));
  forms::GekitaiForm& f = GekitaiForm();
  f.Command1->click();
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_EQ(boxes.calls[0].prompt, QStringLiteral("キーワードが入力されていません。"));
  EXPECT_EQ(boxes.calls[0].buttons, int(seams::vbOKOnly));
  f.Command2->click();
  ASSERT_EQ(boxes.calls.size(), 2u);
  EXPECT_EQ(boxes.calls[1].prompt, QStringLiteral("データが選択されていません。"));
  EXPECT_EQ(bytes(), record(QStringLiteral("a")) + record(QStringLiteral("b")));
  EXPECT_FALSE(QFile::exists(twin));
}

TEST_F(GekitaiFormTest, DeleteAsksThenCompactsAndRelists) {
  struct Case {
    const char* name;
    int keywords;
    int row;
    int answer;
    QStringList left;
  } cases[] = {
      {"middle of three", 3, 1, seams::vbYes, {"k1", "k3"}},
      {"row 3 of 5", 5, 2, seams::vbYes, {"k1", "k2", "k4", "k5"}},
      {"first", 3, 0, seams::vbYes, {"k2", "k3"}},
      {"last", 3, 2, seams::vbYes, {"k1", "k2"}},
      {"only one", 1, 0, seams::vbYes, {}},
      {"answered No", 3, 1, seams::vbNo, {"k1", "k2", "k3"}},
  };
  for (const Case& c : cases) {
    QByteArray before;
    for (int i = 1; i <= c.keywords; ++i) before += record(QStringLiteral("k%1").arg(i));
    put(before);
    Boxes boxes;
    boxes.answer = c.answer;
    forms::GekitaiForm& f = GekitaiForm();
    select(c.row);
    f.Command2->click();
    ASSERT_EQ(boxes.calls.size(), 1u) << c.name;
    EXPECT_EQ(boxes.calls[0].prompt, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか")) << c.name;
    EXPECT_EQ(boxes.calls[0].buttons, int(seams::vbYesNo | seams::vbQuestion)) << c.name;
    EXPECT_EQ(boxes.calls[0].title, QStringLiteral("確認")) << c.name;
    QByteArray after;
    for (const QString& k : c.left) after += record(k);
    EXPECT_EQ(bytes(), after) << c.name;
    EXPECT_EQ(rows(), c.left) << c.name;
    EXPECT_EQ(f.List1->currentRow(), -1) << c.name;
    EXPECT_FALSE(QFile::exists(twin)) << c.name;
    f.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

TEST_F(GekitaiFormTest, ListingShowsDeadRecordsAndCompactionDropsThem) {
  Boxes boxes;
  boxes.answer = seams::vbNo;
  put(record(QStringLiteral("a")) + record(QStringLiteral("dead"), 0) + record(QStringLiteral("c")));
  forms::GekitaiForm& f = GekitaiForm();
  EXPECT_EQ(rows(), (QStringList{QStringLiteral("a"), QStringLiteral("dead"), QStringLiteral("c")}));
  select(0);
  f.Command2->click();
  EXPECT_EQ(bytes(), record(QStringLiteral("a")) + record(QStringLiteral("c")));
  EXPECT_EQ(rows(), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
}

TEST_F(GekitaiFormTest, KeywordBoxTakesAtMostTwoHundredBytes) {
  forms::GekitaiForm& f = GekitaiForm();
  struct Case {
    const char* name;
    QString typed;
    QString kept;
  } cases[] = {
      {"200 half-width", QString(200, u'a'), QString(200, u'a')},
      {"201 half-width", QString(201, u'a'), QString(200, u'a')},
      {"100 full-width", QString(100, u'あ'), QString(100, u'あ')},
      {"101 full-width", QString(101, u'あ'), QString(100, u'あ')},
      {"199 half-width then a full-width", QString(199, u'a') + u'あ', QString(199, u'a')},
      {"half-width katakana is one byte", QString(200, u'ｱ'), QString(200, u'ｱ')},
  };
  for (const Case& c : cases) {
    f.Text1->clear();
    f.Text1->insert(c.typed);
    EXPECT_EQ(f.Text1->text(), c.kept) << c.name;
  }
  // Typing into the middle of a full box changes nothing.
  f.Text1->setText(QString(100, u'い'));
  f.Text1->setCursorPosition(50);
  f.Text1->insert(QStringLiteral("x"));
  EXPECT_EQ(f.Text1->text(), QString(100, u'い'));
  // A paste into the middle keeps what fits, the rest of the box stays.
  f.Text1->setText(QString(190, u'b'));
  f.Text1->setCursorPosition(10);
  f.Text1->insert(QString(6, u'う'));
  EXPECT_EQ(f.Text1->text(), QString(10, u'b') + QString(5, u'う') + QString(180, u'b'));
  EXPECT_EQ(f.Text1->cursorPosition(), 15);
}

TEST_F(GekitaiFormTest, FullKeywordsAreStoredWhole) {
  Boxes boxes;
  registerKeyword(QString(200, u'z'));
  registerKeyword(QString(100, u'迷'));
  EXPECT_EQ(bytes(), record(QString(200, u'z')) + record(QString(100, u'迷')));
  EXPECT_EQ(rows(), (QStringList{QString(200, u'z'), QString(100, u'迷')}));
}

TEST_F(GekitaiFormTest, AKeywordShiftJisCannotHoldIsRefused) {
  Boxes boxes;
  put(record(QStringLiteral("a")));
  forms::GekitaiForm& f = GekitaiForm();
  registerKeyword(QStringLiteral("안녕"));
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_TRUE(boxes.calls[0].prompt.contains(QStringLiteral("登録して下さい")));
  EXPECT_EQ(bytes(), record(QStringLiteral("a")));
  EXPECT_EQ(f.Text1->text(), QStringLiteral("안녕"));  // kept for the user to mend
  EXPECT_EQ(rows(), QStringList{QStringLiteral("a")});
}

TEST_F(GekitaiFormTest, AFullListRefusesOneMoreKeyword) {
  Boxes boxes;
  const QByteArray one = record(QStringLiteral("k"));
  QByteArray full;
  full.reserve(one.size() * 32767);
  for (int i = 0; i < 32767; ++i) full += one;
  put(full);
  forms::GekitaiForm& f = GekitaiForm();
  EXPECT_EQ(f.List1->count(), 32767);
  registerKeyword(QStringLiteral("more"));
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_TRUE(boxes.calls[0].prompt.startsWith(QStringLiteral("キーワードを登録できませんでした。")));
  EXPECT_EQ(QFileInfo(file).size(), full.size());
  EXPECT_EQ(f.List1->count(), 32767);
  EXPECT_EQ(f.Text1->text(), QStringLiteral("more"));
}

TEST_F(GekitaiFormTest, HoverHelpShowsOverTheButtonsAndHidesOverTheList) {
  forms::GekitaiForm& f = GekitaiForm();
  f.Show();
  auto move = [](QWidget* w) {
    QMouseEvent e(QEvent::MouseMove, QPointF(3, 3), w->mapToGlobal(QPointF(3, 3)), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
  };
  EXPECT_TRUE(f.Text2->isHidden());
  move(f.Command1);
  EXPECT_FALSE(f.Text2->isHidden());
  EXPECT_TRUE(f.Text2->toPlainText().contains(QStringLiteral("件名内から検索し")));
  move(f.Text1);
  EXPECT_TRUE(f.Text2->toPlainText().contains(QStringLiteral("件名から検索し")));
  move(f.Command2);
  EXPECT_TRUE(f.Text2->toPlainText().startsWith(QStringLiteral("不要になったキーワードを削除します。")));
  move(f.List1->viewport());
  EXPECT_TRUE(f.Text2->isHidden());
  move(f.Command2);
  move(f.client());
  EXPECT_TRUE(f.Text2->isHidden());
  // Without the main window's help switch the box lies outside the window.
  EXPECT_LT(f.Text2->geometry().bottom(), 0);
}

// A keyword pasted with a line break could never match a subject or a
// sender: it is refused with a message and kept in the box to be mended.
TEST_F(GekitaiFormTest, AKeywordWithAPastedLineBreakIsRefused) {
  Boxes boxes;
  put(record(QStringLiteral("a")));
  forms::GekitaiForm& f = GekitaiForm();
  f.Show();
  for (const QString& pasted : {QStringLiteral("casino\r\n"), QStringLiteral("ca\nsino"), QStringLiteral("\rcasino")}) {
    SCOPED_TRACE(pasted.toStdString());
    boxes.calls.clear();
    f.Text1->clear();
    f.Text1->setFocus();
    QApplication::clipboard()->setText(pasted);
    QTest::keyClick(f.Text1, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(f.Text1->text(), pasted);
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    ASSERT_EQ(boxes.calls.size(), 1u);
    EXPECT_TRUE(boxes.calls[0].prompt.startsWith(QStringLiteral("キーワードに改行が含まれています。")));
    EXPECT_EQ(bytes(), record(QStringLiteral("a")));
    EXPECT_EQ(rows(), QStringList{QStringLiteral("a")});
    EXPECT_EQ(f.Text1->text(), pasted);
  }
}

}  // namespace

TEST_F(GekitaiFormTest, ADeleteWhoseCompactionFailsKeepsTheKeyword) {
  const QByteArray before = record(QStringLiteral("k1")) + record(QStringLiteral("k2")) + record(QStringLiteral("k3"));
  put(before);
  ASSERT_TRUE(QDir().mkpath(twin));  // the compaction cannot write its twin
  Boxes boxes;
  forms::GekitaiForm& f = GekitaiForm();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QTest::mouseClick(f.List1->viewport(), Qt::LeftButton, {}, f.List1->visualItemRect(f.List1->item(1)).center());
  QTest::mouseClick(f.Command2, Qt::LeftButton);
  ASSERT_EQ(boxes.calls.size(), 2u);
  EXPECT_TRUE(boxes.calls[1].prompt.startsWith(QStringLiteral("キーワードを削除できませんでした。")));
  EXPECT_EQ(bytes(), before);
  EXPECT_EQ(rows(), (QStringList{"k1", "k2", "k3"}));
  // The next delete that works takes its own keyword only.
  ASSERT_TRUE(QDir(twin).removeRecursively());
  QTest::mouseClick(f.List1->viewport(), Qt::LeftButton, {}, f.List1->visualItemRect(f.List1->item(2)).center());
  QTest::mouseClick(f.Command2, Qt::LeftButton);
  EXPECT_EQ(bytes(), record(QStringLiteral("k1")) + record(QStringLiteral("k2")));
  EXPECT_EQ(rows(), (QStringList{"k1", "k2"}));
}
