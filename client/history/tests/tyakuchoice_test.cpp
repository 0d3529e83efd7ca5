// The viewer's list as the user meets it off the main roads: every way of
// choosing a mail keeps the highlighted row, the mail in the boxes and the
// row the actions work on one; deletions and moves that fail part-way or
// meet odd bytes keep the user's mail.
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <functional>

#include "client/composer/writeform.h"
#include "client/history/openmaillist.h"
#include "client/history/tests/history_fixture.h"
#include "client/mainwindow/savemail.h"

using historytest::fileBytes;
using historytest::HistoryTest;

namespace {

QPoint rowCentre(QTreeWidget* list, int row) { return list->visualItemRect(list->topLevelItem(row)).center(); }

// The highlighted row (0-based), -1 when none or more than one.
int highlighted(QTreeWidget* list) {
  const auto sel = list->selectedItems();
  return sel.size() == 1 ? list->indexOfTopLevelItem(sel[0]) : -1;
}

void leftClick(QTreeWidget* list, int row, Qt::KeyboardModifiers mods = {}) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, rowCentre(list, row));
}

QStringList subjectsOf(const std::vector<records::MailRecord>& all) {
  QStringList s;
  for (const auto& r : all) s << r.Subject.text();
  return s;
}

const QStringList kSubjects = {QStringLiteral("件名一"), QStringLiteral("件名二"), QStringLiteral("件名三")};

}  // namespace

TEST_F(HistoryTest, DeleteAllWhoseCompactionFailsGivesEveryFlagBack) {
  writeList(records::kReceivedFile, threeMails());
  const QString file = real(records::kReceivedFile);
  const QByteArray before = fileBytes(file);
  // A folder where the temporary twin must go: the compaction cannot write it.
  const QString twin = real(QStringLiteral("\\★MAilData\\XQMDATA2.TMP"));
  ASSERT_TRUE(QDir().mkpath(twin));
  OpenMailList(1);
  auto& f = ::TyakuForm();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  answers = {seams::vbYes};
  QTest::mouseClick(f.Command6, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(boxes[1].prompt.startsWith(QStringLiteral("メールを削除できませんでした。"))) << boxes[1].prompt.toStdString();
  EXPECT_TRUE(boxes[1].prompt.contains(QStringLiteral("一覧は元のままです。"))) << boxes[1].prompt.toStdString();
  // Every record is as it was, live flags included.
  EXPECT_EQ(fileBytes(file), before);
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 3);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("3"));

  // The next compaction that works (one "一件削除") takes the one mail only.
  ASSERT_TRUE(QDir(twin).removeRecursively());
  leftClick(f.MailListView, 1);
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名二"));
  answers = {seams::vbYes};
  QTest::mouseClick(f.Command3, Qt::LeftButton);
  EXPECT_EQ(subjectsOf(readList(records::kReceivedFile)), (QStringList{QStringLiteral("件名一"), QStringLiteral("件名三")}));
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 2);
}

TEST_F(HistoryTest, DeletingInAListWithATornLastRecordKeepsItsBytesAndSaysSo) {
  writeList(records::kVipFile, threeMails());
  const QString file = real(records::kVipFile);
  QByteArray bytes = fileBytes(file);
  const QByteArray torn = bytes.mid(2 * 32284, 32284).left(20000);  // the third mail, cut short
  historytest::writeFile(file, bytes.left(2 * 32284) + torn);
  OpenMailList(6);
  auto& f = ::TyakuForm();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 2);
  leftClick(f.MailListView, 0);
  answers = {seams::vbYes};
  QTest::mouseClick(f.Command3, Qt::LeftButton);
  // The user is told where the bytes went; they are there, whole.
  ASSERT_EQ(boxes.size(), 2u);
  const QString aside = file + QStringLiteral(".torn");
  EXPECT_TRUE(boxes[1].prompt.contains(aside)) << boxes[1].prompt.toStdString();
  EXPECT_EQ(fileBytes(aside), torn);
  EXPECT_EQ(fileBytes(file), bytes.mid(32284, 32284));
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 1);
}

TEST_F(HistoryTest, MovingIntoASafeKeepsTheRecordsBytes) {
  // Codes CP932 holds twice (NEC-selected and IBM), a pair it does not
  // assign, a NEC special character, half-width kana and a NUL.
  QByteArray rec(32284, ' ');
  auto put = [&rec](int at, const QByteArray& b) { rec.replace(at, b.size(), b); };
  put(0, QByteArray("\xED\x40\xFA\x5C\x85\x40 \x87\x40\xB1\xB2", 11));
  put(100, "Mon, 1 Jan 2024 10:00:00 +0900");
  put(190, QByteArray("\xED\x41@example.jp", 14));
  put(280, QByteArray("\x87\x90\x87\x91\r\n\xEE\xEF\x00z\xF0\x40", 12));
  put(32280, "\r\n");
  rec[32282] = 1;
  rec[32283] = 0;
  historytest::writeFile(real(records::kReceivedFile), rec);
  writeList(records::kGoldSafeFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  leftClick(f.MailListView, 0);
  QTest::mouseClick(f.Command7, Qt::LeftButton);
  ASSERT_TRUE(KinkoFormLoaded());
  answers = {seams::vbYes};
  QTest::mouseClick(::KinkoForm().Command1, Qt::LeftButton);
  const QByteArray gold = fileBytes(real(records::kGoldSafeFile));
  ASSERT_EQ(gold.size(), 4 * 32284);
  EXPECT_EQ(gold.mid(3 * 32284), rec);
  EXPECT_EQ(fileBytes(real(records::kReceivedFile)).size(), 0);

  // Leading blanks go, as the viewer shows the fields; the bytes stay.
  QByteArray padded(32284, ' ');
  padded.replace(2, 4, QByteArray("\xED\x40\xFA\x5C", 4));
  padded.replace(282, 4, QByteArray("\x85\x40\x87\x40", 4));
  padded.replace(32280, 2, "\r\n");
  padded[32282] = 1;
  padded[32283] = 0;
  historytest::writeFile(real(records::kReceivedFile), padded);
  OpenMailList(1);
  leftClick(f.MailListView, 0);
  QTest::mouseClick(f.Command7, Qt::LeftButton);
  answers = {seams::vbYes};
  QTest::mouseClick(::KinkoForm().Command4, Qt::LeftButton);
  QByteArray expected(32284, ' ');
  expected.replace(0, 4, QByteArray("\xED\x40\xFA\x5C", 4));
  expected.replace(280, 4, QByteArray("\x85\x40\x87\x40", 4));
  expected.replace(32280, 2, "\r\n");
  expected[32282] = 1;
  expected[32283] = 0;
  EXPECT_EQ(fileBytes(real(records::kSilverSafeFile)), expected);
}

TEST_F(HistoryTest, EveryMouseButtonAndDragKeepsHighlightedShownAndActedOnOne) {
  struct Case {
    const char* what;
    std::function<void(QTreeWidget*)> gesture;  // after a left click on row 0
    int expected;                               // the row chosen afterwards
    bool toSafe;                                // the action: into a safe, else "一件削除"
  };
  const std::vector<Case> cases = {
      {"right click", [](QTreeWidget* l) { QTest::mouseClick(l->viewport(), Qt::RightButton, {}, rowCentre(l, 2)); }, 0, false},
      {"middle click", [](QTreeWidget* l) { QTest::mouseClick(l->viewport(), Qt::MiddleButton, {}, rowCentre(l, 1)); }, 0, true},
      {"right double click", [](QTreeWidget* l) { QTest::mouseDClick(l->viewport(), Qt::RightButton, {}, rowCentre(l, 1)); }, 0, false},
      {"right press, left release elsewhere",
       [](QTreeWidget* l) {
         QTest::mousePress(l->viewport(), Qt::RightButton, {}, rowCentre(l, 2));
         QTest::mouseRelease(l->viewport(), Qt::RightButton, {}, rowCentre(l, 1));
       },
       0, true},
      {"press on one row, release on another",
       [](QTreeWidget* l) {
         QTest::mousePress(l->viewport(), Qt::LeftButton, {}, rowCentre(l, 1));
         QTest::mouseRelease(l->viewport(), Qt::LeftButton, {}, rowCentre(l, 2));
       },
       1, false},
      {"press on one row, drag to another",
       [](QTreeWidget* l) {
         QTest::mousePress(l->viewport(), Qt::LeftButton, {}, rowCentre(l, 1));
         QTest::mouseMove(l->viewport(), rowCentre(l, 2));
         QTest::mouseRelease(l->viewport(), Qt::LeftButton, {}, rowCentre(l, 2));
       },
       2, true},
      {"ctrl click on the row shown", [](QTreeWidget* l) { leftClick(l, 0, Qt::ControlModifier); }, 0, false},
      {"ctrl click on another row", [](QTreeWidget* l) { leftClick(l, 2, Qt::ControlModifier); }, 2, true},
      {"shift click on another row", [](QTreeWidget* l) { leftClick(l, 1, Qt::ShiftModifier); }, 1, false},
      {"click below the rows",
       [](QTreeWidget* l) {
         QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, QPoint(5, l->viewport()->height() - 3));
       },
       0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeList(records::kReceivedFile, {});
    historytest::writeFile(real(records::kReceivedFile), QByteArray());
    historytest::writeFile(real(records::kGoldSafeFile), QByteArray());
    writeList(records::kReceivedFile, threeMails());
    OpenMailList(1);
    auto& f = ::TyakuForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    leftClick(f.MailListView, 0);
    ASSERT_EQ(f.Text7->text(), kSubjects[0]);
    c.gesture(f.MailListView);
    EXPECT_EQ(highlighted(f.MailListView), c.expected);
    EXPECT_EQ(f.Text7->text(), kSubjects[c.expected]);
    boxes.clear();
    answers = {seams::vbYes};
    if (c.toSafe) {
      QTest::mouseClick(f.Command7, Qt::LeftButton);
      ASSERT_TRUE(KinkoFormLoaded());
      QTest::mouseClick(::KinkoForm().Command1, Qt::LeftButton);
      EXPECT_EQ(subjectsOf(readList(records::kGoldSafeFile)), QStringList{kSubjects[c.expected]});
    } else {
      QTest::mouseClick(f.Command3, Qt::LeftButton);
    }
    ASSERT_EQ(boxes.size(), 1u);
    QStringList left = kSubjects;
    left.removeAt(c.expected);
    EXPECT_EQ(subjectsOf(readList(records::kReceivedFile)), left);
  }
}

TEST_F(HistoryTest, AMailStoredFromTheBoxesLeavesNoRowChosen) {
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  leftClick(f.MailListView, 1);
  // The mail check writes a new mail into the boxes and stores it from them.
  f.Text7->setText(QStringLiteral("新着"));
  f.Text8->setText(QStringLiteral("new@example.jp"));
  QString error;
  ASSERT_TRUE(SaveReceivedMail(4, &error)) << error.toStdString();
  // The boxes show no row now: none is highlighted and none is acted on.
  EXPECT_EQ(highlighted(f.MailListView), -1);
  for (QPushButton* b : {f.Command3, f.Command5, f.Command7}) {
    boxes.clear();
    QTest::mouseClick(b, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u) << b->objectName().toStdString();
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("データが選択されていません"));
  }
  EXPECT_FALSE(BackFormLoaded());
  EXPECT_EQ(readList(records::kReceivedFile).size(), 4u);
}

TEST_F(HistoryTest, AfterTheComposerClosedTheViewerWorksOnItsList) {
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  leftClick(f.MailListView, 0);
  // The new-mail composer opens and closes (and leaves its kind behind).
  ::WriteForm().Show();
  ::WriteForm().Unload();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_EQ(MailListKind, 1000);

  QTest::keyClick(f.MailListView, Qt::Key_Down);
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名二"));
  leftClick(f.MailListView, 2);
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名三"));
  EXPECT_EQ(f.Text8->text(), QStringLiteral("c@example.jp"));
  // The reply goes to the mail shown, with its body.
  QTest::mouseClick(f.Command5, Qt::LeftButton);
  ASSERT_TRUE(BackFormLoaded());
  EXPECT_EQ(::BackForm().ToText->text(), QStringLiteral("c@example.jp"));
  EXPECT_EQ(EditorText(::BackForm().rtfEd), QStringLiteral("本文三"));
  ::BackForm().Unload();
  // "一件削除" deletes it.
  leftClick(f.MailListView, 2);
  answers = {seams::vbYes};
  QTest::mouseClick(f.Command3, Qt::LeftButton);
  EXPECT_EQ(subjectsOf(readList(records::kReceivedFile)), (QStringList{QStringLiteral("件名一"), QStringLiteral("件名二")}));
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 2);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("2"));
}
