// The main window: captions, hover help, the help switch, the labels'
// actions, the number box, the tray handling and the receive count.
#include <QMouseEvent>

#include "client/composer/friendform.h"
#include "client/composer/writeform.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/tests/mainform_fixture.h"
#include "client/tools/tenpfoldform.h"

using namespace mainformtest;

namespace {

void mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button = Qt::NoButton) {
  const QPointF local(2, 2);
  QMouseEvent e(type, local, w->mapToGlobal(local), button, type == QEvent::MouseMove ? Qt::NoButton : button,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

void hover(QWidget* w) { mouse(w, QEvent::MouseMove); }

void click(QWidget* w) {
  mouse(w, QEvent::MouseButtonPress, Qt::LeftButton);
  mouse(w, QEvent::MouseButtonRelease, Qt::LeftButton);
}

QColor textColour(const QWidget* w) { return w->palette().color(QPalette::WindowText); }
double points(const QWidget* w) { return w->font().pointSizeF(); }

const QColor kCyan(0, 255, 255);
const QColor kWhite(255, 255, 255);

}  // namespace

TEST_F(MainFormTest, CaptionsKeepTheirBlanks) {
  forms::MainForm& f = start();
  EXPECT_EQ(f.Command4->text(), QStringLiteral("     Start"));
  EXPECT_EQ(f.Command5->text(), QStringLiteral("     Stop"));
  EXPECT_EQ(f.Command10->text(), QStringLiteral("     ON"));
  EXPECT_EQ(f.Command9->text(), QStringLiteral("     OFF"));
  EXPECT_EQ(f.Command6->text(), QStringLiteral("    　設定"));
  EXPECT_EQ(f.Label13->text(), QStringLiteral("   訓練タイム♪"));
  EXPECT_EQ(f.Label17->text(), QStringLiteral("VIP  Room "));
  EXPECT_EQ(f.Label25->text(), QStringLiteral("休息日・・・"));
  // Hidden boxes and buttons are never shown.
  for (QWidget* w : std::initializer_list<QWidget*>{f.Text2, f.Text5, f.Text7, f.Text8, f.Text9, f.Text10, f.Text11,
                                                    f.Text12, f.Text13, f.Text14, f.ChkSynchro, f.ChkLoop, f.ChkOnMem,
                                                    f.timeLabel1, f.Command3, f.Command2, f.Command1})
    EXPECT_FALSE(w->isVisibleTo(&f)) << w->objectName().toStdString();
  // Controls are found by their names.
  EXPECT_EQ(f.findChild<QLineEdit*>(QStringLiteral("Text7")), f.Text7);
  EXPECT_EQ(f.findChild<QListWidget*>(QStringLiteral("List1")), f.List1);
  // The race field lies at (0, 600 twips), 560 x 192 pixels; the help box inside it.
  EXPECT_EQ(f.picMain->geometry(), QRect(0, 40, 560, 192));
  EXPECT_EQ(f.Picture1->parentWidget(), f.picMain);
  EXPECT_EQ(f.Picture1->geometry().size(), QSize(225, 137));
  EXPECT_EQ(f.Picture1->x(), 168);
}

TEST_F(MainFormTest, HoverShowsTheHelpTextAndHighlights) {
  forms::MainForm& f = start({QStringLiteral("NUMBER7=1")});
  f.Label13_Click();  // the mascot out: "訓練終了" takes the mouse
  struct Case {
    QWidget* control;
    const char16_t* text;
    double highlight;  // 0: no highlight
    double normal;
  } cases[] = {
      {f.Label8, u"新着メールの受信を行います。", 10, 9},
      {f.Label9, u"メールの新規作成・送信を行います。", 10, 9},
      {f.Label14, u"サラブレッドを格納します。", 10, 9},
      {f.Label17,
       u"あなたが設定したメールアドレスのみ、通常の着信履歴とは別の場所にメールデータを格納します。（メール自動仕分け機能）"
       u"設定は画面左の「設定」をクリックし、「ID,PASS」下方で行って下さい。設定した着信メールの閲覧は、VIPRoomINをクリック！",
       13, 12},
      {f.Label18, u"VIPRoomに着信したメール数を表示します。（VIPRoomの設定はHELP参照）", 0, 9},
      {f.Command9, u"効果音を停止します。", 0, 9},
      {f.Text1,
       u"ここにあなたの名前を入力して下さい。設定は自動的に保存されます。「Enter」を押すと消去されます。入力だけでOKです。", 0,
       9},
  };
  for (const Case& c : cases) {
    const std::string name = c.control->objectName().toStdString();
    const QColor before = textColour(c.control);
    hover(c.control);
    EXPECT_TRUE(f.Picture1->isVisibleTo(&f)) << name;
    EXPECT_EQ(f.Label5->text(), QString::fromUtf16(c.text)) << name;
    if (c.highlight > 0) {
      EXPECT_EQ(textColour(c.control), kCyan) << name;
      EXPECT_EQ(points(c.control), c.highlight) << name;
    } else {
      EXPECT_EQ(textColour(c.control), before) << name;
    }
    hover(f.Picture5);
    EXPECT_FALSE(f.Picture1->isVisibleTo(&f)) << name;
    if (c.highlight > 0) {
      EXPECT_EQ(textColour(c.control), kWhite) << name;
      EXPECT_EQ(points(c.control), c.normal) << name;
    }
  }
  // The help box's own colours.
  EXPECT_EQ(f.Picture1->palette().color(QPalette::Window), QColor(64, 64, 64));
  EXPECT_EQ(f.Label5->palette().color(QPalette::WindowText), QColor(128, 255, 255));
}

TEST_F(MainFormTest, HomePageLabelKeepsItsHighlightAfterTheReset) {
  forms::MainForm& f = start({QStringLiteral("NUMBER7=1")});
  hover(f.Label8);
  hover(f.Label5);
  EXPECT_EQ(f.helpText(f.Label5), QStringLiteral("作者のホームページです。\r\n\r\n「ルボちゃんメール開発室」"));
  hover(f.Picture5);
  EXPECT_FALSE(f.Picture1->isVisibleTo(&f));
  EXPECT_EQ(textColour(f.Label5), kCyan);
  EXPECT_EQ(points(f.Label5), 10);
  // Its click puts the mascot away and opens the page.
  click(f.Label5);
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_TRUE(urls[0].startsWith(QStringLiteral("file://"))) << urls[0].toStdString();
  EXPECT_TRUE(urls[0].endsWith(QStringLiteral("/help/index.htm"))) << urls[0].toStdString();
  EXPECT_FALSE(f.Label14->isEnabled());
}

TEST_F(MainFormTest, HelpSwitchMovesTheBoxOnMouseDownOnly) {
  forms::MainForm& f = start({QStringLiteral("NUMBER7=1")});
  ASSERT_TRUE(f.Check1->isChecked());
  // Clearing the box by mouse: the help box goes out of sight, yet a hover still shows it there.
  mouse(f.Check1, QEvent::MouseButtonPress, Qt::LeftButton);
  EXPECT_EQ(f.Picture1->y(), 1000);
  f.Check1->setChecked(false);
  hover(f.Label8);
  EXPECT_TRUE(f.Picture1->isVisibleTo(&f));
  EXPECT_GE(f.Picture1->y(), f.picMain->height());
  // Ticking it again by mouse brings the box back into view.
  mouse(f.Check1, QEvent::MouseButtonPress, Qt::LeftButton);
  EXPECT_EQ(f.Picture1->y(), 20);
  // The keyboard gives no mouse-down: the box stays, the value changes.
  f.Check1->setChecked(true);
  f.Check1->click();
  EXPECT_FALSE(f.Check1->isChecked());
  EXPECT_EQ(f.Picture1->y(), 20);
}

TEST_F(MainFormTest, Text5ChangeWritesNumber13) {
  forms::MainForm& f = start();
  EXPECT_EQ(iniValue("NUMBER13"), QStringLiteral("0"));
  struct Case {
    const char* text;
    const char* written;
  } cases[] = {{"42", "42"}, {"7abc", "7"}, {"abc", "0"}, {"", "0"}, {"  12", "12"}, {"-3", "-3"}, {"7.5x", "7.5"}, {"1e3", "1000"}};
  for (const Case& c : cases) {
    f.Text5->setText(QStringLiteral("x"));  // a change before each case
    f.Text5->setText(QString::fromLatin1(c.text));
    EXPECT_EQ(iniValue("NUMBER13"), QString::fromLatin1(c.written)) << c.text;
  }
}

TEST_F(MainFormTest, MascotLabelsEnableEachOther) {
  forms::MainForm& f = start();
  f.Label13_Click();
  EXPECT_FALSE(f.Label13->isEnabled());
  EXPECT_TRUE(f.Label14->isEnabled());
  f.Label14_Click();
  EXPECT_TRUE(f.Label13->isEnabled());
  EXPECT_FALSE(f.Label14->isEnabled());
  // A disabled label takes no click.
  click(f.Label14);
  EXPECT_TRUE(f.Label13->isEnabled());
}

TEST_F(MainFormTest, LabelsShowTheirWindowsModeless) {
  forms::MainForm& f = start();
  f.Show();
  click(f.Label9);
  EXPECT_TRUE(WriteForm().isVisible());
  EXPECT_NEAR(WriteForm().Width(), 9700, 15);  // whole pixels
  click(f.Label10);
  EXPECT_TRUE(FriendForm().isVisible());
  click(f.Label16);
  EXPECT_TRUE(TenpFoldForm().isVisible());
  f.Command6->click();
  EXPECT_TRUE(SetForm().isVisible());
  // The menu bar's new mail without the address pane.
  f.mshinki->trigger();
  EXPECT_NEAR(WriteForm().Width(), 7140, 15);
}

TEST_F(MainFormTest, ReceiveRefreshesTheReceivedCount) {
  // A clock that runs fast: the no-new-mail note does not hold the test up.
  std::int64_t now = 0;
  seams::setTickCount([&] { return now += 500; });
  forms::MainForm& f = start();
  QFile::remove(path(QStringLiteral("\\★MailData\\xqmdata2.data")));
  f.Text3->setText(QStringLiteral("9"));
  click(f.Label8);
  EXPECT_EQ(f.Label5->text(), QStringLiteral("メールを受信します。"));
  EXPECT_TRUE(QFile::exists(path(QStringLiteral("\\★MailData\\xqmdata2.data"))));
  EXPECT_EQ(f.Text3->text(), QStringLiteral("0"));
  writeFile(path(QStringLiteral("\\★MailData\\xqmdata2.data")), QByteArray(2 * 32284, ' '));
  writeFile(path(QStringLiteral("\\★MailData\\xqmdata80.data")), QByteArray(3 * 32284, ' '));
  f.mpopupjyushin->trigger();
  EXPECT_EQ(f.Text3->text(), QStringLiteral("2"));
  EXPECT_EQ(f.Text15->text(), QStringLiteral("3"));
}

TEST_F(MainFormTest, TrayCodes) {
  forms::MainForm& f = start();
  f.Hide();
  f.TrayControl1_MouseEvent(0);  // shown even while the window is hidden
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("右クリックを使用して下さい。"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbInformation);
  EXPECT_EQ(boxes[0].title, QStringLiteral("RuvoMail"));
  for (int code : {2, 3, 7, -1}) f.TrayControl1_MouseEvent(code);
  EXPECT_EQ(boxes.size(), 1u);
  // The popup's "メイン画面表示" brings the window back.
  f.mnu_Popup[0]->trigger();
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.mnu_Popup[8]->text(), QStringLiteral("設定"));
  EXPECT_TRUE(f.mnu_Popup[1]->isSeparator());
}

TEST_F(MainFormTest, WithoutATrayTheWindowIsMinimisedNotHidden) {
  forms::MainForm& f = start();
  f.Show();
  if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "a tray is available here";
  f.mnutask->trigger();
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.WindowState(), 1);
  EXPECT_FALSE(f.TrayControl1->isVisible());
}

TEST_F(MainFormTest, DateTimeBoxFollowsTheClock) {
  seams::setClock([] { return QDateTime(QDate(2026, 3, 4), QTime(9, 5, 7)); });
  forms::MainForm& f = start();
  EXPECT_EQ(f.Text2->text(), QStringLiteral("2026/03/04  9:05:07"));
  seams::setClock(nullptr);
}
