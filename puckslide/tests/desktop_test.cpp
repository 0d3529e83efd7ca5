// The air hockey window on a desktop with a window manager, as a player
// sees it (run through scripts/desktop; without a window manager these tests
// skip): the buttons its fixed border offers, and its message boxes shown
// with their whole title and text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"
#include "platform/testing/window_manager.h"
#include "platform/ui.h"
#include "puckslide/mainform.h"

namespace {

bool underWindowManager() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

// xprop's words after the "=" for one property of window id (of the root
// window without one); empty when it is not set.
QString property(const char* name, WId id = 0) {
  QProcess p;
  QStringList args = id ? QStringList{QStringLiteral("-id"), QString::number(id)} : QStringList{QStringLiteral("-root")};
  args << QString::fromLatin1(name);
  p.start(QStringLiteral("xprop"), args);
  p.waitForFinished(5000);
  const QString out = QString::fromLatin1(p.readAllStandardOutput());
  // "NAME(TYPE) = words", or for windows "NAME(WINDOW): window id # ids"
  qsizetype at = out.indexOf(u'=');
  if (at < 0) at = out.indexOf(u'#');
  return at < 0 ? QString() : out.mid(at + 1).trimmed();
}

WId activeWindow() { return property("_NET_ACTIVE_WINDOW").toULongLong(nullptr, 16); }

int ink(const QImage& bar);

// The title bar of a shown window as the screen shows it, while it is the
// active one, once the window manager has framed and drawn it (two grabs
// alike). The frame is the one the window manager states, where it is.
QImage titleBar(QWidget* w) {
  w->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(w, 15000));
  QImage last;
  for (int i = 0; i < 30; ++i) {
    QTest::qWait(100);
    // (where the X server has it: the window manager may have moved it since)
    const QRect g = wmtest::clientOnScreen(w), f = wmtest::frameOnScreen(w);
    if (g == f) continue;
    const QImage now = w->screen()->grabWindow(0, f.x(), f.y(), f.width(), g.y() - f.y()).toImage();
    if (!now.isNull() && ink(now) > 0 && now == last) break;
    last = now;
  }
  return last;
}

// The pixels of a title bar that differ from the commonest colour of their
// row: the icon, the caption's text and the buttons.
int ink(const QImage& bar) {
  int n = 0;
  for (int y = 0; y < bar.height(); ++y) {
    QHash<QRgb, int> count;
    for (int x = 0; x < bar.width(); ++x) ++count[bar.pixel(x, y)];
    int most = 0;
    for (const int c : count) most = std::max(most, c);
    n += bar.width() - most;
  }
  return n;
}

std::int64_t g_clock = 0;

class PuckDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!underWindowManager()) GTEST_SKIP() << "needs a window manager";
    ui::initProgram(QStringLiteral("Puckslide"));
    seams::setTickCount([] { return g_clock; });
    forms::MainForm& f = MainForm();
    f.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QTest::qWait(300);
  }
  void TearDown() override {
    seams::setTickCount(nullptr);
    seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
    ui::setEndHook(nullptr);
  }
};

}  // namespace

// A fixed single border without minimise and maximise buttons: the window
// manager offers moving and closing it and neither resizing nor maximising,
// nor minimising (openbox alone keeps minimising for a window of its own,
// its own choice). It stays a window of its own for the task bar and the
// window switcher, of no kind a task bar leaves out, keeps its size when
// the window manager is asked to maximise or resize it, and opens active.
TEST_F(PuckDesktop, TheWindowOffersOnlyMoveAndCloseAndKeepsItsTaskBarEntry) {
  forms::MainForm& f = MainForm();
  const QString actions = property("_NET_WM_ALLOWED_ACTIONS", f.winId());
  ASSERT_FALSE(actions.isEmpty());
  for (const char* a : {"_NET_WM_ACTION_CLOSE", "_NET_WM_ACTION_MOVE"})
    EXPECT_TRUE(actions.contains(QLatin1String(a))) << a << ": " << actions.toStdString();
  for (const char* a : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"})
    EXPECT_FALSE(actions.contains(QLatin1String(a))) << a << ": " << actions.toStdString();
  // (openbox offers minimising to every window of its own; full screen is
  // each window manager's own offer, which no hint of a window withdraws)
  EXPECT_EQ(actions.contains(QLatin1String("_NET_WM_ACTION_MINIMIZE")), wmtest::name() == QLatin1String("openbox"))
      << actions.toStdString();
  const wmtest::Motif motif = wmtest::motif(&f);
  ASSERT_TRUE(motif.present);
  EXPECT_FALSE(motif.asksFor(wmtest::kFuncMinimise));
  EXPECT_FALSE(motif.asksFor(wmtest::kFuncMaximise));
  EXPECT_FALSE(motif.asksFor(wmtest::kFuncResize));
  EXPECT_EQ(motif.decorations & 0x60, 0u) << "a minimise or maximise button asked for";
  EXPECT_TRUE(motif.asksFor(wmtest::kFuncClose)) << "no close";
  EXPECT_NE(motif.decorations & 0x8, 0u) << "no title bar";

  EXPECT_TRUE(property("WM_TRANSIENT_FOR", f.winId()).isEmpty());
  EXPECT_FALSE(property("_NET_WM_STATE", f.winId()).contains(QLatin1String("SKIP_TASKBAR")));
  const QString id = QStringLiteral("0x%1").arg(f.winId(), 0, 16);
  EXPECT_TRUE(property("_NET_CLIENT_LIST").split(QStringLiteral(", ")).contains(id)) << "not in the window list";
  EXPECT_TRUE(wmtest::onTaskBar(&f)) << "the task bar leaves it out: " << wmtest::types(&f).join(u' ').toStdString();
  EXPECT_FALSE(wmtest::types(&f).contains(QStringLiteral("_NET_WM_WINDOW_TYPE_TOOLBAR")));
  EXPECT_TRUE(QTest::qWaitFor([&] { return activeWindow() == f.winId(); }, 3000)) << "opens inactive";

  const QSize size = f.size();
  wmtest::maximise(&f);
  EXPECT_EQ(f.size(), size);
  EXPECT_FALSE(f.isMaximized());
  wmtest::restore(&f);
  wmtest::resizeTo(&f, size + QSize(120, 80));
  EXPECT_EQ(f.size(), size);
}

// Each box of the game, shown by the game's own steps ("OK?" after a goal,
// "Gameover" and "Game Over" at the end), is wide enough for its whole
// title on the title bar and its whole text, and is answered from the
// keyboard.
TEST_F(PuckDesktop, EveryBoxShowsItsWholeTitleAndText) {
  forms::MainForm& f = MainForm();
  puck::Game& g = f.game();
  QStringList seen;
  QPointer<QMessageBox> measuring;
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box == measuring) return;
    measuring = box;
    if (!QTest::qWaitForWindowExposed(box)) return;
    QTest::qWait(300);
    SCOPED_TRACE(box->text().toStdString());
    seen << box->text();
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Puckslide"));
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    const QFontMetrics fm(label->font());
    EXPECT_LE(fm.horizontalAdvance(label->text()), label->contentsRect().width());
    EXPECT_GE(box->width(), ui::widthForCaption(box));
    // The title bar holds as much of the caption as the title bar of a wide
    // window of the same border: all of it.
    const QImage bar = titleBar(box);
    // (the box's own: no window of the program is blocked by it)
    QMainWindow wide(box);
    wide.setWindowFlags(box->windowFlags());
    ui::fixedSingleBorder(&wide);
    wide.setWindowTitle(box->windowTitle());
    wide.setFont(box->font());
    wide.setFixedSize(560, 60);
    wide.move(0, box->frameGeometry().bottom() + 40);
    wide.show();
    if (QTest::qWaitForWindowExposed(&wide)) {
      const QImage wb = titleBar(&wide);
      const int whole = ink(wb);
      EXPECT_GE(ink(bar), whole * 97 / 100) << "the title is cut: " << bar.width() << " pixels wide";
    }
    wide.close();
    // Answered from the keyboard.
    box->activateWindow();
    if (QTest::qWaitFor([&] { return activeWindow() == box->winId(); }, 3000))
      QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
    else
      ADD_FAILURE() << "the box has no keyboard";
    if (!QTest::qWaitFor([&] { return !box->isVisible(); }, 3000)) {
      ADD_FAILURE() << "Return did not answer the box";
      if (QPushButton* ok = box->findChild<QPushButton*>()) QTest::mouseClick(ok, Qt::LeftButton);
    }
  });
  seams::setMsgBoxHandler(nullptr);  // the real boxes
  poll.start();

  // A goal of the player's.
  g_clock += 10;
  f.step();
  if (f.Command1->isEnabled()) QTest::mouseClick(f.Command1, Qt::LeftButton);  // "Start"
  // (inside the side walls, which would lift it back from the goal line: the
  // sideways step has grown with every second the window has been open)
  g.Shape1.top = 4810;
  g.Shape1.left = 1800;
  g.yoko = 60;
  g_clock += 8;
  f.step();
  ASSERT_EQ(seen, QStringList{QStringLiteral("OK?")});

  // The tenth point ends the game.
  int ends = 0;
  ui::setEndHook([&](int code) {
    ++ends;
    throw ui::EndCalled{code};
  });
  g.Label1 = 10;
  g_clock += 1001;
  EXPECT_THROW(f.step(), ui::EndCalled);
  poll.stop();
  EXPECT_EQ(seen, (QStringList{QStringLiteral("OK?"), QStringLiteral("Gameover"), QStringLiteral("Game Over")}));
  EXPECT_EQ(ends, 1);
}
