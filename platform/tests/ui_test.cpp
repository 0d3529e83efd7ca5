#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <sys/wait.h>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/testing/window_manager.h"
#include "platform/seams.h"
#include "platform/ui.h"

namespace {

int g_loads = 0;
int g_unloads = 0;
int g_cancelQuery = 0;

class ProbeForm : public ui::Form {
 public:
  QLineEdit* Text1;

 private:
  friend class ui::Accessor<ProbeForm>;
  ProbeForm() : ui::Form(QStringLiteral("ProbeForm")) {
    Text1 = ui::control<QLineEdit>(client(), QStringLiteral("Text1"), 120, 240, 1500, 300);
    Text1->setText(QStringLiteral("design"));
  }
  void Form_Load() override { ++g_loads; }
  void Form_QueryUnload(int& cancel, int) override { cancel = g_cancelQuery; }
  void Form_Unload(int&) override { ++g_unloads; }
};

ui::Accessor<ProbeForm> probe;

}  // namespace

TEST(Ui, TwipsConvertAtFifteenPerPixel) {
  EXPECT_EQ(ui::px(1500), 100);
  EXPECT_EQ(ui::px(7), 0);
  EXPECT_EQ(ui::px(8), 1);
  EXPECT_EQ(ui::tw(10), 150);
  ProbeForm& f = probe();
  EXPECT_EQ(f.Text1->geometry(), QRect(8, 16, 100, 20));
  EXPECT_EQ(f.Text1->objectName(), QStringLiteral("Text1"));
  f.setWidth(4500);
  f.setHeight(3000);
  EXPECT_EQ(f.Width(), 4500);
  EXPECT_EQ(f.Height(), 3000);
  f.Unload();
}

TEST(Ui, LoadOnTouchAndUnloadBuildsAfresh) {
  g_loads = g_unloads = 0;
  g_cancelQuery = 0;
  EXPECT_FALSE(probe.isLoaded());
  probe().Text1->setText(QStringLiteral("changed"));
  EXPECT_EQ(g_loads, 1);
  EXPECT_FALSE(probe().isVisible());  // loaded hidden
  EXPECT_EQ(g_loads, 1);              // touching again does not reload
  QPointer<ProbeForm> first(&probe());

  g_cancelQuery = 1;
  EXPECT_FALSE(probe().Unload());  // query-unload can cancel
  EXPECT_TRUE(probe.isLoaded());
  g_cancelQuery = 0;
  EXPECT_TRUE(probe().Unload());
  EXPECT_EQ(g_unloads, 1);
  EXPECT_FALSE(probe.isLoaded());
  EXPECT_EQ(probe().Text1->text(), QStringLiteral("design"));  // design values again
  EXPECT_EQ(g_loads, 2);
  EXPECT_NE(first.data(), &probe());
  probe().Unload();
}

TEST(Ui, EndAtOnceRunsTheHookAndNoUnloadStep) {
  g_unloads = 0;
  probe();
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  try {
    ui::endAtOnce(3);
    FAIL() << "endAtOnce returned";
  } catch (const ui::EndCalled& e) {
    EXPECT_EQ(e.code, 3);
  }
  ui::setEndHook(nullptr);
  EXPECT_EQ(g_unloads, 0);
  probe().Unload();
}

TEST(Ui, AListsClickRunsForARowMadeCurrentWithTheKeysOnly) {
  QListWidget list;
  list.addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
  QStringList clicked;  // the selected row's text at each click
  ui::clickOnKeyboardRowChange(&list, [&] {
    const auto sel = list.selectedItems();
    clicked << (sel.size() == 1 ? sel[0]->text() : QStringLiteral("?"));
  });
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  // The program's own changes and a mouse click are not the keyboard's.
  list.setCurrentRow(0);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(1)).center());
  ASSERT_EQ(list.currentRow(), 1);
  EXPECT_TRUE(clicked.isEmpty());
  // Each key that moves the current row clicks once, with that row selected,
  // also a move with Ctrl that would leave the old row highlighted.
  QTest::keyClick(&list, Qt::Key_Down);
  QTest::keyClick(&list, Qt::Key_Home);
  QTest::keyClick(&list, Qt::Key_Down, Qt::ControlModifier);
  QTest::keyClick(&list, Qt::Key_End);
  QTest::keyClick(&list, Qt::Key_End);  // no move, no click
  EXPECT_EQ(clicked, (QStringList{QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("d")}));
  list.setCurrentRow(0);
  EXPECT_EQ(clicked.size(), 4);
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitized build: memory lost before the program ends at once is still
// found (the end fails with the leak checker's report), and an end with
// nothing lost goes on as it would.
namespace {
void* volatile g_lost = nullptr;
[[gnu::noinline]] void loseMemory() {
  g_lost = std::malloc(4096);
  g_lost = nullptr;
}
}  // namespace

TEST(UiDeathTest, EndingAtOnceStillFindsLostMemory) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        loseMemory();
        ui::endAtOnce(0);
      },
      [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; },
      "LeakSanitizer: detected memory leaks");
  EXPECT_EXIT(ui::endAtOnce(4), ::testing::ExitedWithCode(4), "");
}
#endif

TEST(Seams, DefaultTitleAndDateText) {
  seams::MsgBoxCall seen;
  seams::setMsgBoxHandler([&](const seams::MsgBoxCall& c) {
    seen = c;
    return int(seams::vbNo);
  });
  EXPECT_EQ(seams::MsgBox(QStringLiteral("消しますか"), seams::vbYesNo | seams::vbQuestion), seams::vbNo);
  EXPECT_EQ(seen.title, QStringLiteral("RuvoMail"));
  EXPECT_EQ(seams::MsgBox(QStringLiteral("x"), 0, QStringLiteral("確認")), seams::vbNo);
  EXPECT_EQ(seen.title, QStringLiteral("確認"));
  EXPECT_EQ(seams::dateTimeText(QDateTime(QDate(2026, 1, 5), QTime(7, 3, 9))), QStringLiteral("2026/01/05  7:03:09"));
  EXPECT_EQ(seams::QBColor(12), seams::RGB(255, 0, 0));
  EXPECT_EQ(seams::QBColor(1), seams::RGB(0, 0, 128));
}

TEST(Ui, StandardDialogsAndCalendarSpeakJapanese) {
  ui::installJapaneseLocale();
  ui::installJapaneseLocale();  // a second call changes nothing
  EXPECT_EQ(QLocale().language(), QLocale::Japanese);
  QCalendarWidget calendar;
  EXPECT_EQ(calendar.locale().standaloneMonthName(12), QStringLiteral("12月"));
  QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
  EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

TEST(Ui, SizeSetInTwipsReadsBackAsSetAndSurvivesAShowAndHide) {
  ProbeForm& f = probe();
  // 9700 twips fall between two pixels; the window keeps the size it was given.
  f.setWidth(9700);
  f.setHeight(7003);
  EXPECT_EQ(f.Width(), 9700);
  EXPECT_EQ(f.Height(), 7003);
  // Closing keeps the size read, the next opening sets it again: the same
  // window, however often.
  for (int round = 0; round < 3; ++round) {
    f.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const int w = f.Width(), h = f.Height();
    f.Hide();
    f.setWidth(w);
    f.setHeight(h);
    EXPECT_EQ(f.Width(), 9700) << round;
    EXPECT_EQ(f.Height(), 7003) << round;
  }
  // The user's own sizing is read in whole pixels.
  f.resize(300, 200);
  EXPECT_EQ(f.Width(), ui::tw(300 + ui::frameExtra(&f).width()));
  f.Unload();
}

namespace {

// A window with hover help on a button, a label and a check box that lie on
// the background, a disabled label and a label without help.
class HoverForm : public ui::Form {
 public:
  QPushButton* Command1;
  QLabel* Label1;
  QCheckBox* Check1;
  QLabel* Label2;  // disabled
  QLabel* Label3;  // no help
  QStringList steps;
  HoverForm() : ui::Form(QStringLiteral("HoverForm")) {
    Command1 = ui::button(client(), QStringLiteral("Command1"), QStringLiteral("送信"), 120, 120, 1200, 375);
    Label1 = ui::label(client(), QStringLiteral("Label1"), QStringLiteral("件名"), 120, 600, 1200, 300);
    Check1 = ui::control<QCheckBox>(client(), QStringLiteral("Check1"), 120, 1000, 1200, 300);
    Label2 = ui::label(client(), QStringLiteral("Label2"), QStringLiteral("終了"), 120, 1400, 1200, 300);
    Label2->setEnabled(false);
    Label3 = ui::label(client(), QStringLiteral("Label3"), QStringLiteral("説明なし"), 120, 1800, 1200, 300);
    auto* help = new ui::Hover(this, [this](QWidget* control) { steps << control->objectName(); });
    help->watch({client(), Command1, Label1, Check1, Label2});
    resize(200, 180);
  }
};

}  // namespace

TEST(Ui, HoverRunsTheStepOfTheControlUnderThePointerOnly) {
  HoverForm f;
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  struct Case {
    QWidget* target;
    QString expected;  // the one step that runs for a move over target
  };
  const Case cases[] = {
      {f.Command1, QStringLiteral("Command1")},
      {f.Label1, QStringLiteral("Label1")},
      {f.Check1, QStringLiteral("Check1")},
      {f.Label2, QStringLiteral("HoverForm_client")},  // a disabled control takes no mouse
      {f.client(), QStringLiteral("HoverForm_client")},
  };
  // On a real display the pointer moves and its events come back from the
  // display server: each move is given a moment to arrive.
  auto move = [](QWidget* w, QPoint at) {
    QTest::mouseMove(w, at);
    QTest::qWait(40);
  };
  for (const Case& c : cases) {
    move(c.target, c.target->rect().center());
    f.steps.clear();
    move(c.target, c.target->rect().center() + QPoint(2, 1));
    ASSERT_FALSE(f.steps.isEmpty()) << c.target->objectName().toStdString();
    EXPECT_EQ(f.steps.last(), c.expected) << c.target->objectName().toStdString();
    EXPECT_FALSE(f.steps.contains(QStringLiteral("HoverForm_client")) && c.expected != QStringLiteral("HoverForm_client"))
        << "the background's step ran after " << c.target->objectName().toStdString();
  }
  // The background right beside the label without help.
  move(f.client(), f.Label3->geometry().bottomRight() + QPoint(20, -5));
  f.steps.clear();
  move(f.client(), f.Label3->geometry().bottomRight() + QPoint(20, 5));
  EXPECT_EQ(f.steps, QStringList{QStringLiteral("HoverForm_client")});
}

TEST(Seams, MessageBoxIsOwnedByTheActiveWindowAndStaysOnTopWithIt) {
  QWidget prompt;
  prompt.setWindowFlag(Qt::WindowStaysOnTopHint);
  prompt.show();
  QApplication::setActiveWindow(&prompt);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&prompt));

  seams::MsgBoxCall seen;
  seams::setMsgBoxHandler([&](const seams::MsgBoxCall& c) {
    seen = c;
    return int(seams::vbOK);
  });
  seams::MsgBox(QStringLiteral("パスワードが違います。"));
  EXPECT_EQ(seen.owner, &prompt);

  // The real box: a child window of its owner that stays on top with it.
  seams::setMsgBoxHandler(nullptr);
  bool checked = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    checked = true;
    EXPECT_EQ(box->parentWidget(), &prompt);
    EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
    QTest::keyClick(box, Qt::Key_Return);
  });
  EXPECT_EQ(seams::MsgBox(QStringLiteral("パスワードが違います。")), seams::vbOK);
  EXPECT_TRUE(checked);

  // A long line stays whole: the box is as wide as it.
  const QString line = QStringLiteral("実行する場合はウイルス（知らない人からのメールは特に注意）に注意して下さい。 ");
  bool measured = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    measured = true;
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_GE(label->contentsRect().width(), QFontMetrics(label->font()).horizontalAdvance(line));
    QTest::keyClick(box, Qt::Key_Return);
  });
  seams::MsgBox(QStringLiteral("信頼できるファイルですか？\r\n") + line + QStringLiteral("\r\n「いいえ」でキャンセルします。"),
                seams::vbYesNo);
  EXPECT_TRUE(measured);
  seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
}

namespace {

// The yes / no / all box: three buttons in that order, each giving its answer
// when clicked, and Esc giving no.
TEST(Seams, YesNoAllBoxGivesTheClickedAnswer) {
  seams::setMsgBoxHandler(nullptr);
  struct Case {
    int button;  // index of the button clicked; -1: Esc
    int answer;
  };
  for (const Case& c : {Case{0, seams::vbYes}, Case{1, seams::vbNo}, Case{2, seams::vbYesToAll}, Case{-1, seams::vbNo}}) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      for (QAbstractButton* b : box->buttons()) texts << b->text();
      if (c.button < 0) {
        QTest::keyClick(box, Qt::Key_Escape);
        return;
      }
      const QStringList order = {QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)"), QStringLiteral("すべてはい(&A)")};
      for (QAbstractButton* b : box->buttons())
        if (b->text() == order[c.button]) QTest::mouseClick(b, Qt::LeftButton);
    });
    EXPECT_EQ(seams::MsgBox(QStringLiteral("置き換えますか?"), seams::vbYesNoAll | seams::vbQuestion,
                            QStringLiteral("確認")),
              c.answer)
        << c.button;
    texts.sort();
    QStringList want = {QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)"), QStringLiteral("すべてはい(&A)")};
    want.sort();
    EXPECT_EQ(texts, want);
  }
  seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
}

}  // namespace

TEST(Seams, MessageBoxShowsItsWholeTextAndTitle) {
  // A long list of file names on one line, a path with no place to break, a
  // short text under a title longer than it.
  QStringList names;
  for (int i = 0; i < 40; ++i) names << QStringLiteral("/home/user/RuvoMail/顔文字データ/顔文字%1.txt").arg(i);
  struct Case {
    const char* name;
    QString title;
    QString text;
  };
  const Case cases[] = {
      {"list", QString(), QStringLiteral("顔文字データを保存できませんでした。\r\n") + names.join(QStringLiteral("、")) +
                              QStringLiteral("\r\n\r\n編集した内容を保存せずに閉じますか？")},
      {"path", QString(), QStringLiteral("x").repeated(400)},
      {"title", QStringLiteral("エアホッケー　Puckslide"), QStringLiteral("OK?")},
  };
  seams::setMsgBoxHandler(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool measured = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      measured = true;
      QTest::qWait(50);
      auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
      ASSERT_NE(label, nullptr);
      const QFontMetrics fm(label->font());
      // Every line fits the label, every line shows, and nothing of the text is lost.
      for (const QString& line : label->text().split(u'\n'))
        EXPECT_LE(fm.horizontalAdvance(line), label->contentsRect().width()) << line.toStdString();
      EXPECT_LE(label->heightForWidth(label->contentsRect().width()), label->contentsRect().height() + 1);
      EXPECT_EQ(QString(label->text()).remove(u'\n'), QString(c.text).remove(QStringLiteral("\r\n")));
      // On the screen, and as wide as its whole title needs.
      const QRect screen = box->screen()->availableGeometry();
      EXPECT_LE(box->width(), screen.width());
      EXPECT_GE(box->width(), std::min(ui::widthForCaption(box), screen.width()));
      QTest::keyClick(box, Qt::Key_Return);
    });
    seams::MsgBox(c.text, seams::vbOKOnly | seams::vbExclamation, c.title);
    EXPECT_TRUE(measured);
  }
  seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
}

// A fixed single border asks for its caption, system menu and close box
// and for neither a minimise nor a maximise button, keeps a dialog a dialog
// and an always-on-top window on top, and is given once however often set.
TEST(Ui, AFixedSingleBorderHasOnlyItsCaptionAndCloseBox) {
  QWidget window;
  QDialog dialog;
  QWidget onTop;
  onTop.setWindowFlag(Qt::WindowStaysOnTopHint);
  struct Case {
    const char* name;
    QWidget* w;
    Qt::WindowType kind;
    bool onTop;
  };
  for (const Case& c : {Case{"window", &window, Qt::Window, false}, Case{"dialog", &dialog, Qt::Dialog, false},
                        Case{"on top", &onTop, Qt::Window, true}}) {
    SCOPED_TRACE(c.name);
    ui::fixedSingleBorder(c.w);
    ui::fixedSingleBorder(c.w);
    const Qt::WindowFlags f = c.w->windowFlags();
    EXPECT_EQ(c.w->windowType(), c.kind);
    EXPECT_EQ(bool(f & Qt::WindowStaysOnTopHint), c.onTop);
    for (const Qt::WindowType on : {Qt::CustomizeWindowHint, Qt::WindowTitleHint, Qt::WindowSystemMenuHint,
                                    Qt::WindowCloseButtonHint, Qt::MSWindowsFixedSizeDialogHint})
      EXPECT_TRUE(f & on) << std::hex << on;
    for (const Qt::WindowType off : {Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint,
                                     Qt::WindowContextHelpButtonHint})
      EXPECT_FALSE(f & off) << std::hex << off;
    c.w->setFixedSize(200, 80);
    c.w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(c.w));
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
      // The window manager (openbox on the test desktop) offers moving and
      // closing it, and gives it the keyboard.
      // (Read once the window manager has set them: a busy machine is slow.)
      QString actions;
      EXPECT_TRUE(QTest::qWaitFor(
          [&] {
            QProcess p;
            p.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(c.w->winId()),
                                              QStringLiteral("_NET_WM_ALLOWED_ACTIONS")});
            p.waitForFinished(5000);
            actions = QString::fromLatin1(p.readAllStandardOutput());
            return actions.contains(QLatin1String("_NET_WM_ACTION_CLOSE"));
          },
          15000));
      EXPECT_TRUE(actions.contains(QLatin1String("_NET_WM_ACTION_CLOSE"))) << actions.toStdString();
      for (const char* a : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_RESIZE"})
        EXPECT_FALSE(actions.contains(QLatin1String(a))) << actions.toStdString();
      // (openbox keeps minimising for a window that belongs to no other, its
      // own choice: such a window is not marked as a tool bar, which would
      // take it off the task bar)
      const bool own = c.kind != Qt::Dialog;
      EXPECT_EQ(actions.contains(QLatin1String("_NET_WM_ACTION_MINIMIZE")), own && wmtest::name() == QLatin1String("openbox"))
          << actions.toStdString();
      EXPECT_FALSE(wmtest::motif(c.w).asksFor(wmtest::kFuncMinimise));
      EXPECT_FALSE(wmtest::motif(c.w).asksFor(wmtest::kFuncMaximise));
      EXPECT_FALSE(wmtest::motif(c.w).asksFor(wmtest::kFuncResize));
      EXPECT_EQ(wmtest::onTaskBar(c.w), own);
      EXPECT_TRUE(QTest::qWaitForWindowActive(c.w, 15000));
    }
    c.w->hide();
    EXPECT_EQ(c.w->findChildren<QObject*>(QStringLiteral("ruvo_fixedSingleBorder")).size(), 1);
  }
}
