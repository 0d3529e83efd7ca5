// The history viewer: opening the lists, the row click, the counts, the
// keys kept in ini.ini, the font size, the layout and the list painting.
#include <algorithm>

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QStatusBar>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include "client/composer/friendform.h"
#include "client/history/listpaint.h"
#include "client/history/openmaillist.h"
#include "client/history/tests/history_fixture.h"
#include "client/composer/writeform.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/savemail.h"
#include "client/mainwindow/startup.h"
#include "client/mainwindow/settings.h"
#include "platform/testing/window_check.h"

using historytest::HistoryTest;
using historytest::Mail;

namespace {

QColor backColor(const QObject* o) { return o->property("backColor").value<QColor>(); }

struct KindCase {
  int kind;
  QString file;
  QString caption;
  QColor colour;
  bool safeButtons;
  bool emptiesBoxes;
};

std::vector<KindCase> kindCases() {
  const QString suffix = QStringLiteral("　（フォームのストレッチ、最大化が可能です）");
  return {
      {1, records::kReceivedFile, QStringLiteral("着信履歴") + suffix, QColor(210, 250, 250), true, false},
      {2, records::kSentFile, QStringLiteral("送信履歴") + suffix, QColor(250, 250, 255), false, false},
      {3, records::kGoldSafeFile, QStringLiteral("金の金庫") + suffix, QColor(200, 177, 128), false, true},
      {4, records::kSilverSafeFile, QStringLiteral("銀の金庫") + suffix, QColor(116, 103, 107), false, true},
      {5, records::kBronzeSafeFile, QStringLiteral("銅の金庫") + suffix, QColor(166, 34, 17), false, true},
      {6, records::kVipFile, QStringLiteral("VIP Room（フォームのストレッチ、最大化が可能です）"), QColor(0, 252, 124),
       true, false},
  };
}

}  // namespace

TEST_F(HistoryTest, OpeningTableOverTheSixKinds) {
  for (const KindCase& c : kindCases()) {
    SCOPED_TRACE(c.kind);
    auto& f = ::TyakuForm();
    f.Command6->setEnabled(false);
    f.Text7->setText(QStringLiteral("前の件名"));
    f.Text8->setText(QStringLiteral("前の送信者"));
    f.Text9->setText(QStringLiteral("前の日付"));
    SetEditorText(f.rtfEd, QStringLiteral("前の本文"));
    OpenMailList(c.kind);
    EXPECT_EQ(MailListKind, c.kind);
    EXPECT_EQ(f.Caption(), c.caption);
    EXPECT_EQ(backColor(f.MailListView), c.colour);
    EXPECT_EQ(f.MailListView->palette().color(QPalette::Base), c.colour);
    EXPECT_EQ(f.Command7->isEnabled(), c.safeButtons);
    EXPECT_EQ(f.Command8->isEnabled(), c.safeButtons);
    // "全件削除" is enabled from the start and only the sent list touches it.
    EXPECT_EQ(f.Command6->isEnabled(), c.kind == 2);
    EXPECT_TRUE(f.isVisible());
    // An empty (absent) list file: created, no rows, count 0.
    EXPECT_TRUE(QFile::exists(real(c.file)));
    EXPECT_EQ(f.MailListView->topLevelItemCount(), 0);
    EXPECT_EQ(f.Text2->text(), QStringLiteral("0"));
    EXPECT_TRUE(f.rtfEd->toPlainText().isEmpty());
    EXPECT_EQ(f.Text7->text().isEmpty(), c.emptiesBoxes);
    EXPECT_EQ(f.Text8->text().isEmpty(), c.emptiesBoxes);
    EXPECT_EQ(f.Text9->text().isEmpty(), c.emptiesBoxes);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HistoryTest, AListThatCannotBeReadIsReported) {
  // A folder stands where the gold safe's file should be.
  ASSERT_TRUE(QDir().mkpath(real(records::mailListFile(3))));
  QTest::mouseClick(::OpenForm().Command1, Qt::LeftButton);
  auto& f = ::TyakuForm();
  EXPECT_TRUE(f.isVisible());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("メールの一覧を読み込めませんでした。"))) << boxes[0].prompt.toStdString();
  EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("xqmdata6.data"), Qt::CaseInsensitive));
  EXPECT_EQ(f.MailListView->topLevelItemCount(), 0);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("0"));
}

TEST_F(HistoryTest, ListsEveryRecordWithRowTextsCutAtNul) {
  std::vector<Mail> mails = threeMails();
  mails[1].live = 0;
  mails[0].subject = QStringLiteral("前半") + QChar(0) + QStringLiteral("後半");
  writeList(records::kReceivedFile, mails);
  QApplication::clipboard()->setText(QStringLiteral("利用者のクリップボード"));
  auto& f = ::TyakuForm();
  f.Text5->setText(QStringLiteral("1"));
  OpenMailList(1);

  ASSERT_EQ(f.MailListView->topLevelItemCount(), 3);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("3"));
  QTreeWidgetItem* r1 = f.MailListView->topLevelItem(0);
  QTreeWidgetItem* r2 = f.MailListView->topLevelItem(1);
  EXPECT_EQ(r1->text(0), QStringLiteral("前半"));
  // The fields as stored: trailing blanks kept.
  EXPECT_EQ(r2->text(0), QStringLiteral("件名二") + QString(97, QLatin1Char(' ')));
  EXPECT_EQ(r2->text(1), QStringLiteral("b@example.jp") + QString(90 - 12, QLatin1Char(' ')));
  EXPECT_EQ(r2->text(2), QStringLiteral("2026/01/02") + QString(80, QLatin1Char(' ')));
  // The boxes show the last record, trimmed; the clipboard holds its body.
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名三"));
  EXPECT_EQ(f.Text8->text(), QStringLiteral("c@example.jp"));
  EXPECT_EQ(f.Text9->text(), QStringLiteral("2026/01/03"));
  EXPECT_EQ(EditorText(f.rtfEd), QStringLiteral("本文三"));
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("本文三"));
  EXPECT_TRUE(DocumentModified);
  // Rebuilding the list forgets the row chosen before.
  EXPECT_TRUE(f.Text5->text().isEmpty());
}

TEST_F(HistoryTest, RowClickShowsThatRecord) {
  std::vector<Mail> mails = threeMails();
  mails[1].live = 0;
  writeList(records::kSentFile, mails);
  OpenMailList(2);
  auto& f = ::TyakuForm();
  clickRow(2);
  EXPECT_EQ(f.Text5->text(), QStringLiteral("1"));
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名二"));
  EXPECT_EQ(f.Text8->text(), QStringLiteral("b@example.jp"));
  EXPECT_EQ(f.Text9->text(), QStringLiteral("2026/01/02"));
  EXPECT_EQ(EditorText(f.rtfEd), QStringLiteral("本文二\r\n二行目"));
  EXPECT_EQ(f.Text11->text(), QStringLiteral("本文二\r\n二行目"));
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("本文二\r\n二行目"));
  EXPECT_EQ(SentMailRec.Subject, QStringLiteral("件名二"));

  // A real click on the first row runs the same.
  QTreeWidgetItem* first = f.MailListView->topLevelItem(0);
  const QPoint at = f.MailListView->visualItemRect(first).center();
  QWidget* vp = f.MailListView->viewport();
  QMouseEvent press(QEvent::MouseButtonPress, at, vp->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, vp->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(vp, &press);
  QApplication::sendEvent(vp, &release);
  EXPECT_EQ(f.Text7->text(), QStringLiteral("件名一"));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HistoryTest, LongFieldsShowTheirBeginning) {
  const QString date = QStringLiteral("Thu, 10 Dec 2026 10:52:42 +0900 (JST)");
  const QString subject = QStringLiteral("とても長い件名のお知らせ、とても長い件名のお知らせ、とても長い件名のお知らせ");
  writeList(records::kReceivedFile, {Mail{subject, date, QStringLiteral("tanaka@example.com"), QStringLiteral("本文")}});
  OpenMailList(1);
  auto& f = ::TyakuForm();
  clickRow(1);
  EXPECT_EQ(f.Text9->text(), date);
  for (QLineEdit* box : {f.Text7, f.Text8, f.Text9}) EXPECT_EQ(box->cursorPosition(), 0) << box->objectName().toStdString();
}

TEST_F(HistoryTest, ClickOnAnEmptyListBeforeAnyListOrAfterTheComposersKind) {
  auto& f = ::TyakuForm();
  // No list opened yet: a click only sets the marker.
  f.MailListView_ItemClick();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(f.Text5->text(), QStringLiteral("1"));
  OpenMailList(1);
  f.MailListView_ItemClick();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("選択するデータがありません。"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly);
  EXPECT_EQ(f.Text5->text(), QStringLiteral("1"));

  // The composer's own kinds in MailListKind: the viewer still shows the
  // mail of the list it shows.
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  for (const int composerKind : {1000, 10, 0}) {
    SCOPED_TRACE(composerKind);
    MailListKind = static_cast<std::int16_t>(composerKind);
    f.Text7->setText(QStringLiteral("そのまま"));
    clickRow(2);
    EXPECT_EQ(f.Text5->text(), QStringLiteral("1"));
    EXPECT_EQ(f.Text7->text(), QStringLiteral("件名二"));
    EXPECT_EQ(EditorText(f.rtfEd), QStringLiteral("本文二\r\n二行目"));
  }
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(HistoryTest, CountsGoToTheMainWindowAndTheSafeWindow) {
  writeList(records::kReceivedFile, threeMails());
  writeList(records::kSentFile, {threeMails()[0]});
  writeList(records::kGoldSafeFile, {threeMails()[0], threeMails()[1]});
  auto& f = ::TyakuForm();
  // Without a main window the counts have nowhere to go; the safe window follows the gold list.
  OpenMailList(3);
  ASSERT_TRUE(OpenFormLoaded());
  EXPECT_EQ(::OpenForm().Text1->text(), QStringLiteral("2"));
  EXPECT_FALSE(::OpenForm().isVisible());
  EXPECT_EQ(LoopCounter, 1);  // the sent list was counted last
  // A count that does not change still runs the count handling.
  ::OpenForm().Text1->setText(QStringLiteral("x"));
  f.setCount(f.Text2->text());
  EXPECT_EQ(::OpenForm().Text1->text(), QStringLiteral("2"));
  // Other lists leave the safe window's counts.
  OpenMailList(1);
  EXPECT_EQ(::OpenForm().Text1->text(), QStringLiteral("2"));
  EXPECT_EQ(::OpenForm().Text2->text(), QStringLiteral("0"));
}

TEST_F(HistoryTest, LoadAndUnloadKeys) {
  const QString file = ini();
  profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER9"), QStringLiteral("12000"), file);
  profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER10"), QStringLiteral("8010"), file);
  profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER4"), QStringLiteral("12"), file);
  profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER29"), QStringLiteral("1"), file);
  {
    auto& f = ::TyakuForm();
    EXPECT_NEAR(f.Width(), 12000, 15);
    EXPECT_NEAR(f.Height(), 8010, 15);
    EXPECT_EQ(f.HScroll1->value(), 12);
    EXPECT_EQ(f.Text10->text(), QStringLiteral("12"));
    EXPECT_EQ(f.Text7->font().pointSize(), 12);
    EXPECT_TRUE(f.Check1->isChecked());
    f.Check1->setChecked(false);
    f.HScroll1->setValue(14);
    f.setWidth(11000);
    ASSERT_TRUE(f.Unload());
  }
  EXPECT_NEAR(settings::readNumber(settings::key::HistoryWidth), 11000, 15);
  EXPECT_NEAR(settings::readNumber(settings::key::HistoryHeight), 8010, 15);
  EXPECT_EQ(profile::GetPrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER4"), QString(), file),
            QStringLiteral("14"));
  EXPECT_EQ(profile::GetPrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER29"), QString(), file),
            QStringLiteral("0"));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  auto& again = ::TyakuForm();
  EXPECT_EQ(again.HScroll1->value(), 14);
  EXPECT_FALSE(again.Check1->isChecked());
}

TEST_F(HistoryTest, MissingOrZeroSizesGiveTheDesignSize) {
  const QString file = ini();
  struct Case {
    const char* width;
    const char* font;
    int expectedFont;
  };
  for (const Case& c : {Case{nullptr, nullptr, 8}, Case{"0", "0", 8}, Case{"-5", "30", 24}, Case{"0", "3", 8}}) {
    SCOPED_TRACE(c.font ? c.font : "missing");
    profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER9"),
                                       c.width ? QString::fromLatin1(c.width) : QString(), file);
    profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER10"),
                                       c.width ? QString::fromLatin1(c.width) : QString(), file);
    profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER4"),
                                       c.font ? QString::fromLatin1(c.font) : QString(), file);
    auto& f = ::TyakuForm();
    // The client area below the menu bar has the design size.
    EXPECT_NEAR(ui::tw(f.width()), 9375, 15);
    EXPECT_NEAR(ui::tw(f.height() - f.menuBar()->sizeHint().height()), 7380, 15);
    EXPECT_EQ(f.HScroll1->value(), c.expectedFont);
    EXPECT_EQ(f.Text10->text(), QString::number(c.expectedFont));
    f.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

TEST_F(HistoryTest, FontSizeChangesSixBoxesAndTheBody) {
  auto& f = ::TyakuForm();
  const int text11 = f.Text11->font().pointSize();
  const int text2 = f.Text2->font().pointSize();
  f.HScroll1->setValue(20);
  for (QWidget* w : std::initializer_list<QWidget*>{f.Text4, f.Text7, f.Text8, f.Text9, f.rtfEd})
    EXPECT_EQ(w->font().pointSize(), 20) << w->objectName().toStdString();
  // The search box and the copy field keep their height: they take the size
  // as far as their line fits them, the largest by half points that does.
  for (QLineEdit* w : {f.Text6, f.Text1}) {
    SCOPED_TRACE(w->objectName().toStdString());
    const QFont shown = w->font();
    EXPECT_LE(shown.pointSizeF(), 20);
    EXPECT_EQ(windowcheck::textFault(w), QString());
    QFont larger = shown;
    larger.setPointSizeF(shown.pointSizeF() + 0.5);
    if (shown.pointSizeF() < 20) EXPECT_GT(QFontMetrics(larger).height(), QFontMetrics(shown).height());
  }
  EXPECT_EQ(f.Text10->text(), QStringLiteral("20"));
  EXPECT_EQ(f.Text11->font().pointSize(), text11);
  EXPECT_EQ(f.Text2->font().pointSize(), text2);
  // Back at a size that fits, they take it whole.
  f.HScroll1->setValue(9);
  EXPECT_EQ(f.Text1->font().pointSize(), 9);
  EXPECT_EQ(f.Text6->font().pointSize(), 9);
}

TEST_F(HistoryTest, LayoutFollowsTheWindowSize) {
  auto& f = ::TyakuForm();
  f.Show();
  f.setWidth(12000);
  f.setHeight(9000);
  QCoreApplication::processEvents();
  const int W = f.Width(), H = f.Height();
  EXPECT_NEAR(ui::tw(f.MailListView->width()), W - 130, 15);
  EXPECT_NEAR(ui::tw(f.MailListView->height()), H / 4, 15);
  const int L = ui::tw(f.MailListView->height());
  EXPECT_NEAR(ui::tw(f.Text7->y()), L + 1060, 15);
  EXPECT_NEAR(ui::tw(f.rtfEd->y()), L + 1400, 15);
  // (the rule's height, the body ending above the status bar)
  EXPECT_NEAR(ui::tw(f.rtfEd->height()),
              std::min(H - L - ui::tw(f.Text7->height()) - 2080, ui::tw(f.StatusBar1->y() - f.rtfEd->y())), 30);
  EXPECT_LE(f.rtfEd->geometry().bottom(), f.StatusBar1->y());
  EXPECT_TRUE(f.Command2->isVisible());
  // A window made as low as it goes stops where its rows and one line of the
  // body still show above the status bar.
  f.setHeight(3300);
  QCoreApplication::processEvents();
  EXPECT_GE(f.rtfEd->viewport()->height(), QFontMetrics(f.rtfEd->font()).lineSpacing());
  EXPECT_LE(f.rtfEd->geometry().bottom(), f.StatusBar1->y());
  EXPECT_GT(f.rtfEd->y(), f.Text7->geometry().bottom());
}

TEST_F(HistoryTest, HoverHelpAndCopyRow) {
  auto& f = ::TyakuForm();
  f.Text7->setText(QStringLiteral("件名"));
  f.hover(f.Text7);
  EXPECT_EQ(f.Text6->text(), QStringLiteral("件名"));
  EXPECT_EQ(backColor(f.Command1), QColor(255, 255, 0));
  f.hover(f.Text8);
  EXPECT_EQ(backColor(f.Command1), QColor(0, 0, 255));
  f.hover(f.Text1);
  EXPECT_FALSE(f.Text4->isHidden());
  EXPECT_TRUE(f.Text4->toPlainText().startsWith(QStringLiteral("検索したい文字を入力し")));
  f.hover(f.Command3);
  EXPECT_EQ(f.Text4->toPlainText(),
            QStringLiteral("受信したメールを１件ずつ削除します。リストでメールを選択（クリック）してから実行して下さい。"));
  f.hover(f.MailListView);
  EXPECT_TRUE(f.Text4->isHidden());
  EXPECT_TRUE(f.Text4->toPlainText().isEmpty());
  EXPECT_EQ(backColor(f.Command1), QColor(128, 128, 128));
}

TEST_F(HistoryTest, RecordBufferSourceReadsTheViewerBoxes) {
  auto& f = ::TyakuForm();
  f.Text7->setText(QStringLiteral("  受信件名 "));
  f.Text8->setText(QStringLiteral("x@example.jp"));
  f.Text9->setText(QStringLiteral("Mon, 1 Jan 2026"));
  SetEditorText(f.rtfEd, QStringLiteral("一行目\r\n二行目"));
  ASSERT_TRUE(SaveReceivedMail(1));
  const auto all = readList(records::kReceivedFile);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].Subject, QStringLiteral("受信件名"));
  EXPECT_EQ(all[0].Body, QStringLiteral("一行目\r\n二行目"));
}

TEST_F(HistoryTest, PaintedHeaderAndStripedRows) {
  writeList(records::kReceivedFile, threeMails());
  OpenMailList(1);
  auto& f = ::TyakuForm();
  f.resize(700, 500);
  QCoreApplication::processEvents();
  f.MailListView->clearSelection();
  f.MailListView->setCurrentItem(nullptr);
  const QImage shot = f.MailListView->grab().toImage();
  QHeaderView* header = f.MailListView->header();
  const int hx = header->sectionPosition(1) + header->sectionSize(1) - 20;  // away from the text
  const int hy = header->height() / 2;
  EXPECT_EQ(QColor(shot.pixel(hx, hy)), QColor(58, 119, 165));
  auto rowPixel = [&](int row) {
    const QRect r = f.MailListView->visualItemRect(f.MailListView->topLevelItem(row));
    const QPoint p = f.MailListView->viewport()->mapTo(f.MailListView, QPoint(r.right() - 5, r.center().y()));
    return QColor(shot.pixel(p));
  };
  EXPECT_EQ(rowPixel(0), QColor(255, 255, 192));
  EXPECT_EQ(rowPixel(1), QColor(201, 218, 247));
  EXPECT_EQ(rowPixel(2), QColor(255, 255, 192));

  // Taken off, the list paints as any other.
  UnhookHeader(f.MailListView);
  UnhookTyakuList(&f);
  const QImage plain = f.MailListView->grab().toImage();
  EXPECT_NE(QColor(plain.pixel(hx, hy)), QColor(58, 119, 165));
  const QRect r = f.MailListView->visualItemRect(f.MailListView->topLevelItem(1));
  const QPoint p = f.MailListView->viewport()->mapTo(f.MailListView, QPoint(r.right() - 5, r.center().y()));
  EXPECT_NE(QColor(plain.pixel(p)), QColor(201, 218, 247));
  HookHeader(f.MailListView);
  HookTyakuList(&f);
}

TEST_F(HistoryTest, AddressBookListIsPaintedToo) {
  auto& book = ::FriendForm();
  book.MailListView->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("名前"), QStringLiteral("a@b")}));
  book.MailListView->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("名前2"), QStringLiteral("c@d")}));
  book.resize(500, 400);
  const QImage shot = book.MailListView->grab().toImage();
  const QRect r = book.MailListView->visualItemRect(book.MailListView->topLevelItem(1));
  const QPoint p = book.MailListView->viewport()->mapTo(book.MailListView, QPoint(r.right() - 3, r.center().y()));
  EXPECT_EQ(QColor(shot.pixel(p)), QColor(201, 218, 247));
  QHeaderView* header = book.MailListView->header();
  EXPECT_EQ(QColor(shot.pixel(header->sectionSize(0) - 10, header->height() / 2)), QColor(58, 119, 165));
  book.Unload();
}

TEST_F(HistoryTest, CountsIntoTheMainWindow) {
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  writeList(records::kReceivedFile, threeMails());
  writeList(records::kSentFile, {threeMails()[0], threeMails()[1]});
  writeList(records::kVipFile, {threeMails()[0]});
  auto& main = ::MainForm();
  main.Timer->stop();
  main.Timer1->stop();
  main.Timer2->stop();
  main.Text3->clear();
  main.Text4->clear();
  main.Text15->setText(QStringLiteral("VIP"));
  OpenMailList(6);
  EXPECT_EQ(main.Text3->text(), QStringLiteral("3"));
  EXPECT_EQ(main.Text4->text(), QStringLiteral("2"));
  EXPECT_EQ(main.Text15->text(), QStringLiteral("VIP"));  // only a deletion in the VIP room renews it
  clickRow(1);
  ::TyakuForm().Command3_Click();
  EXPECT_EQ(main.Text15->text(), QStringLiteral("0"));
  // The help box follows the main window's switch when the viewer loads.
  for (bool on : {true, false}) {
    ::TyakuForm().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    main.Check1->setChecked(on);
    EXPECT_EQ(::TyakuForm().Text4->y(), ui::px(on ? 4600 : -40000));
  }
  // The main window goes without its closing steps (they end the program).
  startup::releaseInstanceLock();
  delete &main;
  if (SetFormLoaded()) ::SetForm().Unload();
  if (WriteFormLoaded()) ::WriteForm().Unload();
  ui::setEndHook(nullptr);
}

TEST_F(HistoryTest, EveryShownControlLiesInsideTheWindow) {
  // The design size, a larger one and the maximised window; each time also
  // after the pointer went over the list and the body, which move the copy
  // row's button and box by the window's outer height.
  OpenMailList(1);
  auto& f = ::TyakuForm();
  auto allInside = [&f](const char* when) {
    SCOPED_TRACE(when);
    const QRect area = f.client()->rect();
    for (QWidget* w : f.client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!w->isVisible()) continue;
      EXPECT_TRUE(area.contains(w->geometry())) << w->objectName().toStdString() << " at " << w->x() << ","
                                                << w->y() << " " << w->width() << "x" << w->height() << " in "
                                                << area.width() << "x" << area.height();
    }
  };
  auto pointAt = [](QWidget* w) {
    QTest::mouseMove(w, w->rect().center() + QPoint(1, 1));
    QTest::mouseMove(w, w->rect().center());
    QCoreApplication::processEvents();
  };
  for (int step = 0; step < 3; ++step) {
    if (step == 1) f.Move(0, 0, 12000, 9000);
    if (step == 2) f.setWindowState(2);
    QCoreApplication::processEvents();
    allInside("laid out");
    pointAt(f.MailListView->viewport());
    allInside("over the list");
    pointAt(f.rtfEd->viewport());
    allInside("over the body");
  }
}
