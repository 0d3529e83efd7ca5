// The viewer's actions: deleting, the safes, passing a mail on, and the
// editor commands with their files.
#include <QAction>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QThread>
#include <QToolBar>
#include <QTreeWidget>

#include "client/composer/friendform.h"
#include "client/history/mailrows.h"
#include "client/history/openmaillist.h"
#include "client/history/tests/history_fixture.h"
#include "client/composer/writeform.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/savemail.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/startup.h"
#include "platform/vbstring.h"

using historytest::fileBytes;
using historytest::HistoryTest;
using historytest::Mail;
using historytest::sjis;

namespace {

QColor backColor(const QObject* o) { return o->property("backColor").value<QColor>(); }

// The button of a toolbar key.
QWidget* toolbarButton(QToolBar* bar, const char* key) {
  for (QAction* a : bar->actions())
    if (a->objectName() == QLatin1String(key)) return bar->widgetForAction(a);
  return nullptr;
}

// The bytes of one record as the list file holds it.
QByteArray recordBytes(const QString& file, int n) {
  const QByteArray all = fileBytes(file);
  return all.mid((n - 1) * 32284, 32284);
}

}  // namespace

// ---- deleting ----

TEST_F(HistoryTest, DeleteTheMiddleRecord) {
  std::vector<Mail> mails = threeMails();
  mails.push_back({QStringLiteral("件名四"), QStringLiteral("d"), QStringLiteral("d@x"), QStringLiteral("本文四"), 0});
  writeList(records::kSentFile, mails);
  const QString file = real(records::kSentFile);
  const QByteArray first = recordBytes(file, 1), third = recordBytes(file, 3);
  OpenMailList(2);
  auto& f = ::TyakuForm();
  clickRow(2);
  f.Command3_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか?"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_EQ(boxes[0].buttons, seams::vbYesNo | seams::vbQuestion);
  // Records 1 and 3 remain byte for byte; the record already marked went with the compaction.
  const QByteArray after = fileBytes(file);
  EXPECT_EQ(after.size(), 2 * 32284);
  EXPECT_EQ(after.left(32284), first);
  EXPECT_EQ(after.mid(32284), third);
  EXPECT_FALSE(QFileInfo::exists(real(QStringLiteral("\\★MAilData\\XQMDATA5.TMP"))));
  EXPECT_EQ(CurrentRecordNo, 2);
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 2);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("2"));
  // The boxes show the last listed mail as stored; the list takes the received colour.
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名三") + QString(97, QLatin1Char(' ')));
  EXPECT_EQ(EditorText(f.rtfEd), QStringLiteral("本文三"));
  EXPECT_EQ(backColor(f.MailListView), QColor(210, 250, 250));
  EXPECT_TRUE(f.Text5->text().isEmpty());
  // A second press needs a new click.
  f.Command3_Click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("データが選択されていません"));
  EXPECT_EQ(fileBytes(file).size(), 2 * 32284);
}

TEST_F(HistoryTest, TheRowReachedWithTheKeysIsShownDeletedAndMoved) {
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  auto clickRowWithTheMouse = [&f](int row) {
    QTreeWidgetItem* item = f.MailListView->topLevelItem(row);
    QTest::mouseClick(f.MailListView->viewport(), Qt::LeftButton, {},
                      f.MailListView->visualItemRect(item).center());
  };
  clickRowWithTheMouse(0);
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名一"));
  // Down: the highlighted mail is the one shown.
  QTest::keyClick(f.MailListView, Qt::Key_Down);
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名二"));
  EXPECT_EQ(EditorText(f.rtfEd), QStringLiteral("本文二\r\n二行目"));
  EXPECT_EQ(f.Text5->text(), QStringLiteral("1"));
  // ... and the one deleted.
  answers = {seams::vbYes};
  QTest::mouseClick(f.Command3, Qt::LeftButton);
  auto received = readList(records::kReceivedFile);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].Subject, QStringLiteral("件名一"));
  EXPECT_EQ(received[1].Subject, QStringLiteral("件名三"));
  // End: the last mail is shown and goes into the safe.
  clickRowWithTheMouse(0);
  QTest::keyClick(f.MailListView, Qt::Key_End);
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名三"));
  QTest::mouseClick(f.Command7, Qt::LeftButton);
  ASSERT_TRUE(KinkoFormLoaded());
  answers = {seams::vbYes};
  QTest::mouseClick(::KinkoForm().Command1, Qt::LeftButton);
  const auto gold = readList(records::kGoldSafeFile);
  ASSERT_EQ(gold.size(), 1u);
  EXPECT_EQ(gold[0].Subject, QStringLiteral("件名三"));
  received = readList(records::kReceivedFile);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].Subject, QStringLiteral("件名一"));
}

TEST_F(HistoryTest, DeleteQuestionsPerKind) {
  const QString base = QStringLiteral("選択された（行、青色）データを削除します。よろしいですか");
  for (int kind = 1; kind <= 6; ++kind) {
    SCOPED_TRACE(kind);
    writeList(history::listFile(kind), {threeMails()[0]});
    OpenMailList(kind);
    clickRow(1);
    answers = {seams::vbNo};
    boxes.clear();
    ::TyakuForm().Command3_Click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, (kind == 2 || kind == 3) ? base + QLatin1Char('?') : base);
  }
}

TEST_F(HistoryTest, DeleteAnsweredNoChangesNothingButTheBodyAndMarker) {
  writeList(records::kReceivedFile, threeMails());
  const QByteArray before = fileBytes(real(records::kReceivedFile));
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(1);
  answers = {seams::vbNo};
  f.Command3_Click();
  EXPECT_EQ(fileBytes(real(records::kReceivedFile)), before);
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 3);
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名一"));
  EXPECT_TRUE(f.rtfEd->toPlainText().isEmpty());
  EXPECT_TRUE(f.Text5->text().isEmpty());
}

TEST_F(HistoryTest, DeleteWithoutARowOfTheListShown) {
  writeList(records::kReceivedFile, threeMails());
  const QByteArray before = fileBytes(real(records::kReceivedFile));
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(2);
  OpenMailList(1);  // the list is rebuilt: the row chosen before is gone
  f.Command3_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("データが選択されていません"));
  // A marker without a selected row is no selection either.
  f.Text5->setText(QStringLiteral("1"));
  f.Command3_Click();
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(fileBytes(real(records::kReceivedFile)), before);
}

TEST_F(HistoryTest, DeleteAll) {
  std::vector<Mail> mails = threeMails();
  mails[0].live = 0;
  writeList(records::kGoldSafeFile, mails);
  OpenMailList(3);
  auto& f = ::TyakuForm();
  answers = {seams::vbNo};
  f.Command6_Click();
  EXPECT_EQ(fileBytes(real(records::kGoldSafeFile)).size(), 3 * 32284);
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 3);

  f.Command6_Click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("すべてのデータを削除して良いですか？"));
  EXPECT_EQ(boxes[1].title, QStringLiteral("確認"));
  EXPECT_TRUE(QFileInfo::exists(real(records::kGoldSafeFile)));
  EXPECT_EQ(fileBytes(real(records::kGoldSafeFile)).size(), 0);
  EXPECT_FALSE(QFileInfo::exists(real(QStringLiteral("\\★MAilData\\XQMDATA6.TMP"))));
  EXPECT_EQ(CurrentRecordNo, 3);
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 0);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("0"));
  EXPECT_TRUE(f.Text7->text().isEmpty());
  EXPECT_TRUE(f.rtfEd->toPlainText().isEmpty());
  EXPECT_EQ(::OpenForm().Text1->text(), QStringLiteral("0"));
  // An empty list still asks.
  f.Command6_Click();
  EXPECT_EQ(boxes.size(), 3u);
}

TEST_F(HistoryTest, DeletingAfterTheComposerTookTheKindWorksOnTheListShown) {
  writeList(records::kSentFile, threeMails());
  OpenMailList(2);
  auto& f = ::TyakuForm();
  clickRow(1);
  MailListKind = 1000;
  answers = {seams::vbYes, seams::vbYes};
  f.Command3_Click();
  ASSERT_EQ(boxes.size(), 1u);
  auto sent = readList(records::kSentFile);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].Subject, QStringLiteral("件名二"));
  EXPECT_EQ(backColor(f.MailListView), QColor(210, 250, 250));
  f.Command6_Click();
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(fileBytes(real(records::kSentFile)).size(), 0);
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 0);
}

// ---- safes ----

TEST_F(HistoryTest, MoveIntoASafe) {
  writeList(records::kReceivedFile, threeMails());
  writeList(records::kSilverSafeFile, {threeMails()[0]});
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(3);
  f.Command7_Click();
  ASSERT_TRUE(KinkoFormLoaded());
  auto& k = ::KinkoForm();
  EXPECT_TRUE(k.isVisible());
  EXPECT_EQ(k.Text1->text(), QStringLiteral("0"));
  EXPECT_EQ(k.Text2->text(), QStringLiteral("1"));
  EXPECT_TRUE(QFileInfo::exists(real(records::kBronzeSafeFile)));
  EXPECT_EQ(backColor(k.Command4), QColor(116, 103, 107));
  // The marker stays: the button can be pressed again.
  EXPECT_EQ(f.Text5->text(), QStringLiteral("1"));
  // The boxes were changed since the click: the move still takes the clicked record.
  f.Text7->setText(QStringLiteral("別の件名"));
  k.Command4->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("選択された（行、青色）データを移します。よろしいですか"));
  const auto safe = readList(records::kSilverSafeFile);
  ASSERT_EQ(safe.size(), 2u);
  EXPECT_EQ(safe[1].Subject, QStringLiteral("件名三"));
  EXPECT_EQ(safe[1].FromTo, QStringLiteral("c@example.jp"));
  EXPECT_EQ(safe[1].MailDate, QStringLiteral("2026/01/03"));
  EXPECT_EQ(safe[1].Body, QStringLiteral("本文三"));
  EXPECT_EQ(safe[1].Live, 1);
  const auto received = readList(records::kReceivedFile);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].Subject, QStringLiteral("件名一"));
  EXPECT_EQ(received[1].Subject, QStringLiteral("件名二"));
  EXPECT_FALSE(QFileInfo::exists(real(QStringLiteral("\\★MAilData\\XQMDATA2.TMP"))));
  EXPECT_EQ(CurrentRecordNo, 3);
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 2);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("2"));
  EXPECT_TRUE(f.Text5->text().isEmpty());
  EXPECT_EQ(MailListKind, 1);
  EXPECT_FALSE(KinkoFormLoaded());
  // The list was refilled: no row is chosen any more.
  f.Command7_Click();
  EXPECT_EQ(boxes.back().prompt, QStringLiteral("データが選択されていません"));
}

TEST_F(HistoryTest, MoveFromTheVipRoomTakesItFromTheVipRoom) {
  writeList(records::kReceivedFile, threeMails());
  writeList(records::kVipFile, {threeMails()[1], threeMails()[2]});
  const QByteArray received = fileBytes(real(records::kReceivedFile));
  OpenMailList(6);
  clickRow(1);
  ::TyakuForm().Command7_Click();
  ::KinkoForm().MoveMailToSafe(3);
  const auto gold = readList(records::kGoldSafeFile);
  ASSERT_EQ(gold.size(), 1u);
  EXPECT_EQ(gold[0].Subject, QStringLiteral("件名二"));
  const auto vip = readList(records::kVipFile);
  ASSERT_EQ(vip.size(), 1u);
  EXPECT_EQ(vip[0].Subject, QStringLiteral("件名三"));
  EXPECT_EQ(fileBytes(real(records::kReceivedFile)), received);
  EXPECT_EQ(::TyakuForm().MailListView->topLevelItemCount(), 1);
  EXPECT_EQ(MailListKind, 6);
}

TEST_F(HistoryTest, MoveAnsweredNoOrWithoutASelection) {
  writeList(records::kReceivedFile, threeMails());
  const QByteArray before = fileBytes(real(records::kReceivedFile));
  OpenMailList(1);
  clickRow(1);
  ::TyakuForm().Command7_Click();
  answers = {seams::vbNo};
  ::KinkoForm().MoveMailToSafe(5);
  EXPECT_TRUE(KinkoFormLoaded());
  EXPECT_EQ(fileBytes(real(records::kReceivedFile)), before);
  EXPECT_EQ(fileBytes(real(records::kBronzeSafeFile)).size(), 0);
  // The viewer closed while the move window stays open.
  ::TyakuForm().Unload();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  boxes.clear();
  ::KinkoForm().MoveMailToSafe(5);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("データが選択されていません"));
  EXPECT_EQ(fileBytes(real(records::kReceivedFile)), before);
  EXPECT_FALSE(TyakuFormLoaded());
}

TEST_F(HistoryTest, SafeOpeningWindowListsTheSafes) {
  writeList(records::kBronzeSafeFile, threeMails());
  auto& f = ::TyakuForm();
  f.Command8_Click();
  auto& o = ::OpenForm();
  EXPECT_TRUE(o.isVisible());
  EXPECT_EQ(o.Caption(), QStringLiteral("金庫を開く"));
  EXPECT_EQ(o.Frame1->title(), QStringLiteral("金庫"));
  EXPECT_EQ(o.Text3->text(), QStringLiteral("3"));
  EXPECT_EQ(backColor(o.Command5), QColor(166, 34, 17));
  o.Command5->click();
  EXPECT_EQ(MailListKind, 5);
  EXPECT_EQ(f.Caption(), QStringLiteral("銅の金庫　（フォームのストレッチ、最大化が可能です）"));
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 3);
  EXPECT_FALSE(f.Command7->isEnabled());
  EXPECT_TRUE(OpenFormLoaded());
  EXPECT_TRUE(o.isVisible());
}

// ---- passing a mail on ----

TEST_F(HistoryTest, QuickSaveWritesFourLines) {
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(2);
  f.Command2_Click();
  const QString path = real(QStringLiteral("\\■TextQuickSave\\件名二.txt"));
  EXPECT_EQ(fileBytes(path), sjis(QStringLiteral("Subject:  件名二\r\nFrom:  b@example.jp\r\nDate:  2026/01/02\r\n"
                                                 "Body:  本文二\r\n二行目\r\n")));
  EXPECT_EQ(EditorText(f.rtfEd),
            QStringLiteral("Subject:  件名二\r\nFrom:  b@example.jp\r\nDate:  2026/01/02\r\nBody:  本文二\r\n二行目"));
  EXPECT_TRUE(boxes.empty());
  // Without a new click: the marker is gone.
  f.Command2_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("データが選択されていません"));

  // The same subject again, answered No: nothing is written, the body stays.
  clickRow(2);
  historytest::writeFile(path, "old");
  answers = {seams::vbNo};
  f.Command2_Click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("同名のファイルが既に存在します。上書きしますか？ "));
  EXPECT_EQ(boxes[1].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(fileBytes(path), QByteArray("old"));
  EXPECT_EQ(EditorText(f.rtfEd), QStringLiteral("本文二\r\n二行目"));
  EXPECT_TRUE(f.Text5->text().isEmpty());
}

TEST_F(HistoryTest, QuickSaveNamesStayInsideTheFolder) {
  struct Case {
    QString subject, name;
  };
  for (const Case& c : {Case{QStringLiteral("../../secret"), QStringLiteral("______secret.txt")},
                        Case{QStringLiteral("a/b\\c"), QStringLiteral("a_b_c.txt")},
                        Case{QStringLiteral("tab\there"), QStringLiteral("tab_here.txt")},
                        Case{QStringLiteral(".."), QStringLiteral("__.txt")},
                        Case{QString(), QStringLiteral(".txt")},
                        Case{QStringLiteral("Re:こんにちわ。"), QStringLiteral("Re:こんにちわ。.txt")}}) {
    SCOPED_TRACE(c.subject.toStdString());
    EXPECT_EQ(QuickSaveFileName(c.subject), c.name);
  }
  writeList(records::kReceivedFile, {{QStringLiteral("../../escape"), QStringLiteral("d"), QStringLiteral("f"),
                                      QStringLiteral("b")}});
  OpenMailList(1);
  clickRow(1);
  ::TyakuForm().Command2_Click();
  EXPECT_TRUE(QFileInfo::exists(real(QStringLiteral("\\■TextQuickSave\\______escape.txt"))));
  EXPECT_FALSE(QFileInfo::exists(QDir(dir.path()).filePath(QStringLiteral("../escape.txt"))));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HistoryTest, QuickSaveFailureMessage) {
  QDir(real(QStringLiteral("\\■TextQuickSave"))).removeRecursively();
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(1);
  f.Command2_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("このメッセージが表示される場合は保存不可となります。")));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbInformation);
  EXPECT_EQ(EditorText(f.rtfEd), QStringLiteral("本文一"));
}

TEST_F(HistoryTest, ReplyFillsTheReplyComposer) {
  writeList(records::kReceivedFile, {{QStringLiteral("  Re:お知らせ"), QStringLiteral("d"), QStringLiteral(" x@example.jp "),
                                      QStringLiteral("  本文です\r\n二行目  ")}});
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(1);
  f.Text7->setText(QStringLiteral("  Re:お知らせ "));
  f.Text8->setText(QStringLiteral(" x@example.jp "));
  f.Command5_Click();
  ASSERT_TRUE(BackFormLoaded());
  auto& b = ::BackForm();
  EXPECT_EQ(b.SubjectText->text(), QStringLiteral("Re:  Re:お知らせ"));
  EXPECT_EQ(b.ToText->text(), QStringLiteral("x@example.jp"));
  EXPECT_EQ(EditorText(b.rtfEd), QStringLiteral("本文です\r\n二行目"));
  EXPECT_TRUE(b.isVisible());
  EXPECT_EQ(b.Caption(), QStringLiteral("返事を書く"));
  EXPECT_TRUE(f.Text5->text().isEmpty());
  f.Command5_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("データが選択されていません"));
}

TEST_F(HistoryTest, AddressRegistration) {
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(1);
  f.Text8->setText(QStringLiteral(" a@example.jp "));
  f.Command4_Click();
  EXPECT_EQ(::FriendForm().Text4->text(), QStringLiteral(" a@example.jp "));
  EXPECT_TRUE(::FriendForm().isVisible());
  ::FriendForm().Unload();
}

TEST_F(HistoryTest, VerticalTextHandOff) {
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(2);
  std::vector<seams::StartCall> started;
  seams::setStartHandler([&](const seams::StartCall& c) {
    started.push_back(c);
    return true;
  });
  f.Command11_Click();
  EXPECT_EQ(fileBytes(real(QStringLiteral("\\★MailData\\DATA\\Edata\\test.txt"))),
            sjis(QStringLiteral("本文二\r\n二行目\r\n")));
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].program, real(QStringLiteral("\\★MailData\\DATA\\Edata\\Colwrite")));
  EXPECT_TRUE(started[0].arguments.isEmpty());
  EXPECT_TRUE(boxes.empty());
  f.Command11_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("データが選択されていません"));

  // A program that cannot be started gives the failure message.
  seams::setStartHandler([](const seams::StartCall&) { return false; });
  clickRow(1);
  f.Command11_Click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].buttons, seams::vbOKOnly | seams::vbInformation);
}

TEST_F(HistoryTest, VerticalTextStartsTheRealProgramWithoutArguments) {
  const QString program = real(QStringLiteral("\\★MailData\\DATA\\Edata")) + QStringLiteral("/Colwrite");
  const QString record = dir.filePath(QStringLiteral("started.txt"));
  historytest::writeFile(program, QStringLiteral("#!/bin/sh\necho \"$# $(cat test.txt | wc -c)\" > \"%1\"\n")
                                      .arg(record)
                                      .toUtf8());
  QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  seams::setStartHandler(nullptr);
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  clickRow(1);
  ::TyakuForm().Command11_Click();
  EXPECT_TRUE(boxes.empty());
  QElapsedTimer t;
  t.start();
  while (fileBytes(record).isEmpty() && t.elapsed() < 5000) QThread::msleep(20);
  // No arguments, and the hand-off file was there in its own folder: "本文一" + CR LF in CP932.
  EXPECT_EQ(fileBytes(record), QByteArray("0 8\n"));
}

TEST_F(HistoryTest, CopyFieldAndSaveAsWithHeader) {
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(1);
  f.Text6->clear();
  f.Command1_Click();
  EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
  f.hover(f.Text8);
  f.Command1_Click();
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("a@example.jp"));
  // Save as: the header goes into the body, also when the dialog is cancelled.
  f.tbToolBar_ButtonClick(QStringLiteral("Save"));
  EXPECT_EQ(EditorText(f.rtfEd),
            QStringLiteral("Subject:  件名一\r\nFrom:  a@example.jp\r\nDate:  2026/01/01\r\nBody:  本文一"));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(f.Text5->text(), QStringLiteral("1"));
}

// ---- editor commands ----

TEST_F(HistoryTest, OpenSplitsLinesAtCrLfAndLoneCr) {
  const QString path = dir.filePath(QStringLiteral("in.txt"));
  historytest::writeFile(path, sjis(QStringLiteral("一\r二\r\n三\n四")));
  std::vector<seams::FileDialogCall> dialogs;
  seams::setFileDialogHandler([&](const seams::FileDialogCall& c) {
    dialogs.push_back(c);
    return std::optional<QString>(path);
  });
  auto& f = ::TyakuForm();
  OpenTyakuText();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, seams::FileDialogCall::Open);
  EXPECT_EQ(dialogs[0].flags, 2050);
  EXPECT_EQ(dialogs[0].filter, QStringLiteral("txtファイル(*.txt,*.ini)|*.txt;*.ini"));
  EXPECT_EQ(OpenedText, QStringLiteral("一\r\n二\r\n三\n四\r\n"));
  EXPECT_EQ(EditorText(f.rtfEd), QStringLiteral("一\r\n二\r\n三\r\n四\r\n"));
  EXPECT_EQ(f.Caption(), path);
  EXPECT_TRUE(DialogFileName.isEmpty());

  // An empty file gives an empty box; a missing one a message and nothing else.
  historytest::writeFile(path, QByteArray());
  OpenTyakuText();
  EXPECT_TRUE(f.rtfEd->toPlainText().isEmpty());
  f.setCaption(QStringLiteral("前"));
  QFile::remove(path);
  OpenTyakuText();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(f.Caption(), QStringLiteral("前"));
}

TEST_F(HistoryTest, SaveAsWritesCp932WithCrLf) {
  const QString path = dir.filePath(QStringLiteral("out.txt"));
  std::optional<QString> answer = path;
  std::vector<seams::FileDialogCall> dialogs;
  seams::setFileDialogHandler([&](const seams::FileDialogCall& c) {
    dialogs.push_back(c);
    return answer;
  });
  auto& b = ::BackForm();
  SetEditorText(b.rtfEd, QStringLiteral("返事\r本文\r\n終わり"));
  SaveBackTextAs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, seams::FileDialogCall::Save);
  EXPECT_EQ(dialogs[0].flags, 2054);
  EXPECT_EQ(fileBytes(path), sjis(QStringLiteral("返事\r\n本文\r\n終わり\r\n")));
  EXPECT_EQ(b.Caption(), path);
  // A folder that does not exist: a message, and the caption stays.
  answer = dir.filePath(QStringLiteral("missing/out.txt"));
  SaveBackTextAs();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].buttons & 0x70, seams::vbExclamation);
  EXPECT_EQ(b.Caption(), path);
  // Cancel: silent.
  answer.reset();
  SaveBackTextAs();
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(HistoryTest, FindAndFindNext) {
  auto& f = ::TyakuForm();
  SetEditorText(f.rtfEd, QStringLiteral("abc\r\nabc"));
  f.Text1->setText(QStringLiteral("bc"));
  f.EditFind();
  EXPECT_EQ(f.FindPosition, 2);
  EXPECT_EQ(f.rtfEd->textCursor().selectedText(), QStringLiteral("bc"));
  f.EditFindNext();
  EXPECT_EQ(f.FindPosition, 6);
  EXPECT_EQ(f.rtfEd->textCursor().selectionStart(), 5);
  f.EditFindNext();
  EXPECT_EQ(f.FindPosition, 0);
  // After a miss the search starts from the top again.
  f.EditFindNext();
  EXPECT_EQ(f.FindPosition, 2);
  // An empty search text finds position 1 and selects nothing.
  f.Text1->clear();
  f.EditFind();
  EXPECT_EQ(f.FindPosition, 1);
  EXPECT_FALSE(f.rtfEd->textCursor().hasSelection());
  EXPECT_EQ(f.rtfEd->textCursor().position(), 0);
  f.EditFindNext();
  EXPECT_EQ(f.FindPosition, 1);
  f.Text1->setText(QStringLiteral("zz"));
  f.EditFind();
  EXPECT_EQ(f.FindPosition, 0);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HistoryTest, CutCopyPaste) {
  auto& f = ::TyakuForm();
  SetEditorText(f.rtfEd, QStringLiteral("一二三四"));
  QTextCursor c = f.rtfEd->textCursor();
  c.setPosition(1);
  c.setPosition(3, QTextCursor::KeepAnchor);
  f.rtfEd->setTextCursor(c);
  EditCopy(f.rtfEd);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("二三"));
  EXPECT_FALSE(f.rtfEd->textCursor().hasSelection());
  EXPECT_EQ(f.rtfEd->textCursor().position(), 3);
  // Nothing selected: the clipboard's text is emptied and the caret goes to the start.
  EditCopy(f.rtfEd);
  EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
  EXPECT_EQ(f.rtfEd->textCursor().position(), 0);
  QApplication::clipboard()->setText(QStringLiteral("  貼 付  "));
  EditPaste(f.rtfEd);
  EXPECT_EQ(f.rtfEd->toPlainText(), QStringLiteral("貼 付一二三四"));
  c = f.rtfEd->textCursor();
  c.setPosition(0);
  c.setPosition(3, QTextCursor::KeepAnchor);
  f.rtfEd->setTextCursor(c);
  EditCut(f.rtfEd);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("貼 付"));
  EXPECT_EQ(f.rtfEd->toPlainText(), QStringLiteral("一二三四"));
}

TEST_F(HistoryTest, NewAsksExactlyWhenTheUsersTextWouldBeLost) {
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QWidget* newButton = toolbarButton(f.tbToolBar, "New");
  // A mail shown by a click is kept in its list: New asks nothing, and
  // only the first New of the program clears the pane.
  QTest::mouseClick(f.MailListView->viewport(), Qt::LeftButton, {},
                    f.MailListView->visualItemRect(f.MailListView->topLevelItem(0)).center());
  ASSERT_EQ(EditorText(f.rtfEd), QStringLiteral("本文一"));
  QTest::mouseClick(newButton, Qt::LeftButton);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(f.rtfEd->toPlainText().isEmpty());
  EXPECT_TRUE(DocumentPath.endsWith(QStringLiteral("新規作成.TXT")));
}

TEST_F(HistoryTest, NewAsksBeforeDiscardingTypedTextAndStaysInTheProgramFolder) {
  auto& f = ::TyakuForm();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QWidget* newButton = toolbarButton(f.tbToolBar, "New");
  SetEditorText(f.rtfEd, QStringLiteral("書きかけ"));
  QTest::keyClicks(f.rtfEd, QStringLiteral("abc"));
  answers = {seams::vbNo};
  QTest::mouseClick(newButton, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_EQ(f.rtfEd->toPlainText(), QStringLiteral("abc書きかけ"));
  EXPECT_TRUE(DocumentPath.isEmpty());
  // Typing undone leaves nothing of the user's to lose.
  for (int i = 0; i < 3; ++i) QTest::keyClick(f.rtfEd, Qt::Key_Z, Qt::ControlModifier);
  ASSERT_EQ(f.rtfEd->toPlainText(), QStringLiteral("書きかけ"));
  QTest::mouseClick(newButton, Qt::LeftButton);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(f.rtfEd->toPlainText().isEmpty());
  const QString expected = paths::programFolder() + QStringLiteral("/新規作成.TXT");
  EXPECT_EQ(DocumentPath, expected);
  EXPECT_TRUE(QFileInfo::exists(expected));
  EXPECT_FALSE(DocumentModified);
  EXPECT_EQ(f.Caption(), QStringLiteral("新規作成.TXT      ") + expected);
  // Only the first New after the start does anything.
  SetEditorText(f.rtfEd, QStringLiteral("次"));
  f.tbToolBar_ButtonClick(QStringLiteral("New"));
  EXPECT_EQ(f.rtfEd->toPlainText(), QStringLiteral("次"));
  // A viewer loaded later loads the document.
  historytest::writeFile(expected, sjis(QStringLiteral("保存済み")));
  f.Unload();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(EditorText(::TyakuForm().rtfEd), QStringLiteral("保存済み\r\n"));
  EXPECT_FALSE(DocumentModified);
}

TEST_F(HistoryTest, FontTogglesShareTheirCounters) {
  auto& f = ::TyakuForm();
  auto& b = ::BackForm();
  f.tbToolBar_ButtonClick(QStringLiteral("Italic"));
  EXPECT_TRUE(f.rtfEd->font().italic());
  EXPECT_EQ(ItalicCount, 1);
  EditToggleItalic(b.rtfEd);
  EXPECT_FALSE(b.rtfEd->font().italic());
  EXPECT_TRUE(f.rtfEd->font().italic());
  EXPECT_EQ(ItalicCount, 2);
  f.tbToolBar_ButtonClick(QStringLiteral("Bold"));
  f.tbToolBar_ButtonClick(QStringLiteral("Bold"));
  EXPECT_FALSE(f.rtfEd->font().bold());
  f.tbToolBar_ButtonClick(QStringLiteral("bold"));  // keys are compared exactly
  EXPECT_EQ(BoldCount, 2);
}

TEST_F(HistoryTest, PrintMakesOneJobPerCopy) {
  auto& f = ::TyakuForm();
  SetEditorText(f.rtfEd, QStringLiteral("印刷する本文\r\n二行目"));
  seams::setPrintDialogHandler([&](QPrinter& p, QWidget*) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setCopyCount(3);
    return true;
  });
  std::vector<QString> files;
  std::vector<QPrinter::PrintRange> ranges;
  setPrintJobObserver([&](QPrinter& p, int copy) {
    const QString file = dir.filePath(QStringLiteral("job%1.pdf").arg(copy));
    p.setOutputFileName(file);
    files.push_back(file);
    ranges.push_back(p.printRange());
  });
  f.tbToolBar_ButtonClick(QStringLiteral("Print"));
  ASSERT_EQ(files.size(), 3u);
  for (const QString& file : files) EXPECT_GT(QFileInfo(file).size(), 0) << file.toStdString();
  EXPECT_EQ(ranges[0], QPrinter::AllPages);
  // A selection prints the selection.
  QTextCursor c = f.rtfEd->textCursor();
  c.setPosition(0);
  c.setPosition(2, QTextCursor::KeepAnchor);
  f.rtfEd->setTextCursor(c);
  files.clear();
  ranges.clear();
  seams::setPrintDialogHandler([&](QPrinter& p, QWidget*) {
    p.setOutputFormat(QPrinter::PdfFormat);
    return true;
  });
  f.mprint->trigger();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(ranges[0], QPrinter::Selection);
  // Cancelled: no job.
  files.clear();
  seams::setPrintDialogHandler([](QPrinter&, QWidget*) { return false; });
  f.mprint->trigger();
  EXPECT_TRUE(files.empty());
  setPrintJobObserver(nullptr);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HistoryTest, PrintedPagesHoldTheTextAloneWithoutPageNumbers) {
  auto& f = ::TyakuForm();
  // Enough lines for several pages, and no digit of their own.
  QStringList lines;
  for (int i = 0; i < 150; ++i) lines << QStringLiteral("本文の行です");
  SetEditorText(f.rtfEd, lines.join(QStringLiteral("\r\n")));
  const QString file = dir.filePath(QStringLiteral("pages.pdf"));
  seams::setPrintDialogHandler([&](QPrinter& p, QWidget*) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(file);
    return true;
  });
  f.tbToolBar_ButtonClick(QStringLiteral("Print"));
  QProcess text;
  text.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), file, QStringLiteral("-")});
  ASSERT_TRUE(text.waitForFinished(30000));
  const QString printed = QString::fromUtf8(text.readAllStandardOutput());
  EXPECT_GT(printed.count(QStringLiteral("\f")), 1) << "one page only";
  EXPECT_EQ(printed.count(QStringLiteral("本文の行です")), 150);
  EXPECT_FALSE(printed.contains(QRegularExpression(QStringLiteral("[0-9]")))) << printed.toStdString();
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HistoryTest, ToolbarIconsShowWhatTheirKeysDo) {
  auto& f = ::TyakuForm();
  // The desktop's icons by their theme names, our own pictures where the
  // theme has none.
  const std::pair<const char*, const char*> keys[] = {
      {"New", "document-new"}, {"Open", "document-open"}, {"Save", "document-save-as"}, {"Print", "document-print"},
      {"Cut", "edit-cut"},     {"Copy", "edit-copy"},     {"Paste", "edit-paste"},      {"Undo", "edit-undo"}};
  ASSERT_TRUE(QIcon::hasThemeIcon(QStringLiteral("edit-cut"))) << "no icon theme: " << QIcon::themeName().toStdString();
  for (const auto& [key, name] : keys) {
    SCOPED_TRACE(key);
    auto* a = f.tbToolBar->findChild<QAction*>(QString::fromLatin1(key));
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->icon().pixmap(16, 16).isNull());
    if (QIcon::hasThemeIcon(QString::fromLatin1(name))) EXPECT_EQ(a->icon().name(), QString::fromLatin1(name));
  }
}

TEST_F(HistoryTest, PathFunctions) {
  struct Case {
    QString path, folder, name;
  };
  for (const Case& c : {Case{QStringLiteral("C:\\a\\b.txt"), QStringLiteral("C:\\a\\"), QStringLiteral("b.txt")},
                        Case{QStringLiteral("/home/u/x.txt"), QStringLiteral("/home/u/"), QStringLiteral("x.txt")},
                        Case{QStringLiteral("plain"), QStringLiteral("plain"), QStringLiteral("plain")},
                        Case{QString(), QString(), QString()}}) {
    EXPECT_EQ(FolderOfPath(c.path), c.folder);
    EXPECT_EQ(FileNameOfPath(c.path), c.name);
  }
}

TEST_F(HistoryTest, NewWhoseSaveFailsAsksBeforeDiscarding) {
  auto& f = ::TyakuForm();
  QTest::keyClicks(f.rtfEd, QStringLiteral("important"));
  DocumentPath = dir.filePath(QStringLiteral("gone/文書.TXT"));
  answers = {seams::vbOK, seams::vbNo};
  EditNewFile(f, f.rtfEd);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].buttons & 0x70, seams::vbExclamation);  // the failed save is reported
  EXPECT_EQ(boxes[1].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(f.rtfEd->toPlainText(), QStringLiteral("important"));
  EXPECT_TRUE(DocumentModified);
  // Saved where the document lives when it can be.
  QDir(dir.path()).mkpath(QStringLiteral("gone"));
  boxes.clear();
  EditNewFile(f, f.rtfEd);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(fileBytes(dir.filePath(QStringLiteral("gone/文書.TXT"))), QByteArray("important"));
  EXPECT_EQ(DocumentPath, dir.filePath(QStringLiteral("gone/新規作成.TXT")));
  EXPECT_TRUE(f.rtfEd->toPlainText().isEmpty());
}

// ---- a list that changes under the viewer, a list longer than a list can be ----

namespace {

// What the mail check does for each mail it keeps: the viewer's boxes take
// the mail, and the record is built from them at the list's end.
void storeAsTheCheckDoes(const QString& subject) {
  auto& f = ::TyakuForm();
  f.Text7->setText(subject);
  f.Text8->setText(QStringLiteral("new@example.jp"));
  f.Text9->setText(QStringLiteral("Mon, 5 Jan 2026 10:00:00 +0900"));
  SetEditorText(f.rtfEd, subject + QStringLiteral(" の本文"));
  const int n = records::MailFile(records::kReceivedFile).count() + 1;
  ASSERT_TRUE(SaveReceivedMail(static_cast<std::int16_t>(n)));
}

QStringList subjects(const std::vector<records::MailRecord>& list) {
  QStringList out;
  for (const auto& r : list) out << vb::Trim(r.Subject);
  return out;
}

QStringList rowSubjects(QTreeWidget* view) {
  QStringList out;
  for (int i = 0; i < view->topLevelItemCount(); ++i) out << vb::Trim(view->topLevelItem(i)->text(0));
  return out;
}

}  // namespace

// "全件削除" deletes the mails the list showed: mails a check stores while the
// list is open come into the list at once; those stored while the question
// is open, or put into the file behind the program's back, stay, and the
// user is told.
TEST_F(HistoryTest, DeleteAllDeletesOnlyTheMailsTheListShowed) {
  enum class When { BeforeThePress, WhileAsked, FromOutside };
  struct Case {
    const char* what;
    When when;
    QStringList left;  // in the file afterwards
  } cases[] = {
      {"stored while the list is open", When::BeforeThePress, {}},
      {"stored while the question is open", When::WhileAsked, {QStringLiteral("新着一"), QStringLiteral("新着二")}},
      {"appended by another program", When::FromOutside, {QStringLiteral("新着一"), QStringLiteral("新着二")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::remove(real(records::kReceivedFile));
    writeList(records::kReceivedFile, threeMails());
    OpenMailList(1);
    auto& f = ::TyakuForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    boxes.clear();
    const QStringList two{QStringLiteral("新着一"), QStringLiteral("新着二")};
    if (c.when == When::BeforeThePress) {
      for (const QString& s : two) storeAsTheCheckDoes(s);
      // The list shows what the check stored, at once.
      EXPECT_EQ(rowSubjects(f.MailListView), subjects(readList(records::kReceivedFile)));
      EXPECT_EQ(f.Text2->text(), QStringLiteral("5"));
    } else if (c.when == When::FromOutside) {
      QByteArray more;
      for (const QString& s : two) {
        records::MailRecord r = historytest::record({s, QStringLiteral("d"), QStringLiteral("x@y"), QStringLiteral("b")});
        r.Live = 1;
        r.LineEnd = records::kCrLf;
        QByteArray bytes(32284, '\0');
        r.toBytes(bytes.data());
        more += bytes;
      }
      QFile file(real(records::kReceivedFile));
      ASSERT_TRUE(file.open(QIODevice::Append));
      file.write(more);
      file.close();
      EXPECT_EQ(f.MailListView->topLevelItemCount(), 3);
    }
    // The question; the automatic check may run while it is open.
    seams::setMsgBoxHandler([&](const seams::MsgBoxCall& call) {
      boxes.push_back(call);
      if (call.prompt == QStringLiteral("すべてのデータを削除して良いですか？") && c.when == When::WhileAsked)
        for (const QString& s : two) storeAsTheCheckDoes(s);
      return (call.buttons & 7) == seams::vbYesNo ? int(seams::vbYes) : int(seams::vbOK);
    });
    QTest::mouseClick(f.Command6, Qt::LeftButton);
    seamtest::recordMsgBoxes(boxes, answers);
    EXPECT_EQ(subjects(readList(records::kReceivedFile)), c.left);
    EXPECT_EQ(rowSubjects(f.MailListView), c.left);
    EXPECT_EQ(f.Text2->text(), QString::number(c.left.size()));
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("すべてのデータを削除して良いですか？"));
    if (c.left.isEmpty()) {
      EXPECT_EQ(boxes.size(), 1u);
    } else {
      ASSERT_EQ(boxes.size(), 2u);
      EXPECT_EQ(boxes[1].prompt,
                QStringLiteral("表示されていたメール 3 件を削除しました。表示されていなかったメール 2 件"
                               "（削除の確認中に届いたものなど）は削除せずに残してあります。"));
    }
    f.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

// A mail check that stores into the list on show while a row is chosen:
// the chosen row is what "一件削除" and the move into a safe take, and the
// new mails are listed behind it.
TEST_F(HistoryTest, MailsStoredWhileAListIsShownAreListedAndNothingElseMoves) {
  writeList(records::kReceivedFile, threeMails());
  writeList(records::kVipFile, {threeMails()[0]});
  OpenMailList(1);
  auto& f = ::TyakuForm();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  storeAsTheCheckDoes(QStringLiteral("新着一"));
  // A list not on show gains no rows here.
  records::MailRecord vip = historytest::record({QStringLiteral("VIP"), QStringLiteral("d"), QStringLiteral("v@x"), QStringLiteral("b")});
  ASSERT_GT(records::MailFile(records::kVipFile).append(vip), 0);
  EXPECT_EQ(rowSubjects(f.MailListView),
            (QStringList{QStringLiteral("件名一"), QStringLiteral("件名二"), QStringLiteral("件名三"), QStringLiteral("新着一")}));
  QTreeWidgetItem* second = f.MailListView->topLevelItem(1);
  QTest::mouseClick(f.MailListView->viewport(), Qt::LeftButton, {}, f.MailListView->visualItemRect(second).center());
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名二"));
  answers = {seams::vbYes};
  QTest::mouseClick(f.Command3, Qt::LeftButton);
  EXPECT_EQ(subjects(readList(records::kReceivedFile)),
            (QStringList{QStringLiteral("件名一"), QStringLiteral("件名三"), QStringLiteral("新着一")}));
  EXPECT_EQ(f.Text2->text(), QStringLiteral("3"));
}

// A list file of more than 32,767 records (copied in from elsewhere): the
// user is told, every count is the true one, and the rows past 32,767 show
// their mails.
TEST_F(HistoryTest, AListLongerThanAListCanBeIsSaidAndEveryRowShowsItsMail) {
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  constexpr int kRecords = 32770;
  const QString file = real(records::kReceivedFile);
  {
    // A sparse file: records 1 .. 32,769 of zero bytes, the last a mail.
    records::MailRecord r = historytest::record({QStringLiteral("最後のメール"), QStringLiteral("2026/02/01"),
                                                 QStringLiteral("last@example.jp"), QStringLiteral("最後の本文")});
    r.Live = 1;
    r.LineEnd = records::kCrLf;
    QByteArray bytes(32284, '\0');
    r.toBytes(bytes.data());
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(qint64(kRecords - 1) * 32284));
    ASSERT_TRUE(f.seek(qint64(kRecords - 1) * 32284));
    ASSERT_EQ(f.write(bytes), 32284);
  }
  auto& main = ::MainForm();
  main.Timer->stop();
  main.Timer1->stop();
  main.Timer2->stop();
  OpenMailList(1);
  auto& f = ::TyakuForm();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("この一覧のメールは 32770 件で、一覧に入る 32767 件を超えています。"
                                            "新しいメールはこの一覧に保存できません。不要なメールを削除して下さい。"));
  EXPECT_EQ(f.MailListView->topLevelItemCount(), kRecords);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("32770"));
  EXPECT_EQ(main.Text3->text(), QStringLiteral("32770"));
  // The last row, reached with the keys, shows its mail.
  QTreeWidgetItem* first = f.MailListView->topLevelItem(0);
  QTest::mouseClick(f.MailListView->viewport(), Qt::LeftButton, {}, f.MailListView->visualItemRect(first).center());
  QTest::keyClick(f.MailListView, Qt::Key_End);
  EXPECT_EQ(f.Text7->text(), QStringLiteral("最後のメール"));
  EXPECT_EQ(EditorText(f.rtfEd), QStringLiteral("最後の本文"));
  EXPECT_EQ(f.chosenRow(), kRecords);
  f.Unload();
  startup::releaseInstanceLock();
  delete &main;
  if (SetFormLoaded()) ::SetForm().Unload();
  if (WriteFormLoaded()) ::WriteForm().Unload();
  ui::setEndHook(nullptr);
}
