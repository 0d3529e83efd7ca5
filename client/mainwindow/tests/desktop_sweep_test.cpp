// Every window of the client as the user sees it at every size the user can
// give it: at its design size, made small, made large and maximised, every
// shown control lies whole inside the client area, nothing lies over it
// and its caption or text fits it (windowcheck). A window of fixed size is
// seen at its one size. Runs without a window manager (offscreen) and,
// through scripts/desktop, on a virtual display under openbox with its task
// bar, on a larger screen, and under icewm; there each window is also
// listed on the task bar.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>
#include <QWindow>
#include <functional>

#include "client/composer/backform.h"
#include "client/composer/ccform.h"
#include "client/composer/friendform.h"
#include "client/composer/kaoform.h"
#include "client/composer/writeform.h"
#include "client/history/kinkoform.h"
#include "client/history/openform.h"
#include "client/history/openmaillist.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/form1.h"
#include "client/mainwindow/gekitaiform.h"
#include "client/mainwindow/kidouform.h"
#include "client/mainwindow/kojinform.h"
#include "client/mainwindow/msgform.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/tests/mainform_fixture.h"
#include "client/tools/assyukuform.h"
#include "client/tools/helpform.h"
#include "client/tools/kaitoform.h"
#include "client/tools/monthform.h"
#include "client/tools/rantyaform.h"
#include "client/tools/tenpfoldform.h"
#include "client/tools/timeform.h"
#include "platform/testing/window_check.h"
#include "platform/testing/window_manager.h"

using namespace mainformtest;

namespace {

struct Case {
  const char* name;
  std::function<ui::Form&()> open;
  windowcheck::Rules rules = {};
};

QPair<const QWidget*, const QWidget*> both(const QWidget* a, const QWidget* b) { return {a, b}; }

// The face-mark chooser's pages lie under the row of tab heads, their
// controls below it.
windowcheck::Rules kaoTabs() {
  windowcheck::Rules r;
  const QList<QWidget*> parts = KaoForm().SSTab1->findChildren<QWidget*>();
  for (const QWidget* page : parts)
    if (page->objectName().startsWith(QLatin1String("SSTab1_page")))
      for (const QWidget* head : parts)
        if (head->objectName().startsWith(QLatin1String("SSTab1_tab"))) r.mayOverlap.append(both(page, head));
  return r;
}

class DesktopSweep : public MainFormTest {
 protected:
  forms::MainForm& startShown() {
    forms::MainForm& m = start({QStringLiteral("NUMBER7=1")});
    m.Show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&m));
    return m;
  }
};

}  // namespace

TEST_F(DesktopSweep, EveryWindowIsWholeAtEverySize) {
  forms::MainForm& m = startShown();
  const Case cases[] = {
      // (the pictures beside the boats travel with them across the race
      // field, in and out of it)
      {"MainForm", [&]() -> ui::Form& { return m; },
       {.skip = {m.Image3[0], m.Image3[1], m.Image3[2], m.Image3[3], m.Image3[4], m.Image3[5]}}},
      {"SetForm", []() -> ui::Form& { return SetForm(); }},
      {"GekitaiForm", []() -> ui::Form& { return GekitaiForm(); }},
      {"KojinForm", []() -> ui::Form& { return KojinForm(); }},
      {"KidouForm", []() -> ui::Form& { return KidouForm(); }},
      {"MsgForm", []() -> ui::Form& { return MsgForm(); }},
      // (the button and the box of the status bar stand on it)
      {"TyakuForm", []() -> ui::Form& {
         OpenMailList(1);
         return TyakuForm();
       },
       {.mayOverlap = {both(TyakuForm().StatusBar1, TyakuForm().Command1), both(TyakuForm().StatusBar1, TyakuForm().Text6)}}},
      {"KinkoForm", []() -> ui::Form& { return KinkoForm(); }},
      {"OpenForm", []() -> ui::Form& { return OpenForm(); }},
      {"WriteForm", [&]() -> ui::Form& {
         QTest::mouseClick(m.Label9, Qt::LeftButton);  // "新規作成"
         return WriteForm();
       },
       // (the marker box stands beyond the width the composer is ever given,
       // the address pane beyond the right edge of a composer opened without
       // it)
       {.mayLieOutside = {WriteForm().Text2, WriteForm().Picture5}}},
      // (the framed strip along the bottom holds the explanation switch)
      {"CcForm", []() -> ui::Form& { return CcForm(); },
       {.mayOverlap = {both(CcForm().Label2, CcForm().Check1), both(CcForm().Label2, CcForm().Label1[0])}}},
      // (the held list's column lies over the right-hand part of the body)
      {"BackForm", []() -> ui::Form& { return BackForm(); },
       {.mayOverlap = {both(BackForm().rtfEd, BackForm().Picture3), both(BackForm().rtfEd, BackForm().Picture5)}}},
      {"FriendForm", []() -> ui::Form& { return FriendForm(); }},
      {"KaoForm", []() -> ui::Form& { return KaoForm(); }, kaoTabs()},
      // (the picture preview and the decoration below the lists are cut when
      // the window is made low, as the page view's rule that leaves every
      // height of 3500 twips and below alone has them; the lists and buttons
      // above them stay whole)
      {"TenpFoldForm", []() -> ui::Form& { return TenpFoldForm(); },
       {.skip = {TenpFoldForm().Image1, TenpFoldForm().Image2}}},
      {"KaitoForm", []() -> ui::Form& { return KaitoForm(); }},
      {"AssyukuForm", []() -> ui::Form& { return AssyukuForm(); }},
      {"RantyaForm", []() -> ui::Form& { return RantyaForm(); }},
      {"HelpForm", []() -> ui::Form& { return HelpForm(); }},
      {"TimeForm", []() -> ui::Form& { return TimeForm(); }},
      {"MonthForm", []() -> ui::Form& { return MonthForm(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui::Form& f = c.open();
    const QStringList found = windowcheck::faultsAtEverySize(f, c.rules);
    EXPECT_TRUE(found.isEmpty()) << found.join(QStringLiteral("\n")).toStdString();
    // Each of them belongs to no other window: the task bar lists it, to
    // find it again once it is covered.
    if (wmtest::present())
      EXPECT_TRUE(wmtest::onTaskBar(&f)) << "no task-bar entry: " << wmtest::types(&f).join(u' ').toStdString();
    if (&f == &m) continue;
    if (QLatin1String(c.name) == QLatin1String("KidouForm")) f.Hide();  // (its closing ends the program)
    else if (f.isLoaded()) f.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_TRUE(boxes.empty());
}

// The composers and the history viewer once more at the largest font size
// their scroll bar gives, set by clicks on its right-hand arrow.
TEST_F(DesktopSweep, TheComposersAreWholeAtTheirLargestFont) {
  forms::MainForm& m = startShown();
  struct Composer {
    const char* name;
    std::function<ui::Form&()> open;
    std::function<QScrollBar*()> sizes;
    windowcheck::Rules rules;
  };
  const Composer composers[] = {
      {"WriteForm",
       [&]() -> ui::Form& {
         QTest::mouseClick(m.Label9, Qt::LeftButton);  // "新規作成"
         return WriteForm();
       },
       [] { return WriteForm().HScroll1; },
       {.mayLieOutside = {WriteForm().Picture5}}},
      {"BackForm", []() -> ui::Form& { return BackForm(); }, [] { return BackForm().HScroll1; },
       {.mayOverlap = {both(BackForm().rtfEd, BackForm().Picture3), both(BackForm().rtfEd, BackForm().Picture5)}}},
      // (the history viewer's boxes and body take the font size too)
      {"TyakuForm",
       []() -> ui::Form& {
         OpenMailList(1);
         return TyakuForm();
       },
       [] { return TyakuForm().HScroll1; },
       {.mayOverlap = {both(TyakuForm().StatusBar1, TyakuForm().Command1), both(TyakuForm().StatusBar1, TyakuForm().Text6)}}},
  };
  for (const Composer& c : composers) {
    SCOPED_TRACE(c.name);
    ui::Form& f = c.open();
    f.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QScrollBar* s = c.sizes();
    const QPoint arrow(s->width() - 3, s->height() / 2);
    while (s->value() < s->maximum()) {
      const int was = s->value();
      QTest::mouseClick(s, Qt::LeftButton, {}, arrow);
      ASSERT_GT(s->value(), was);
    }
    const QStringList found = windowcheck::faultsAtEverySize(f, c.rules);
    EXPECT_TRUE(found.isEmpty()) << found.join(QStringLiteral("\n")).toStdString();
    f.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_TRUE(boxes.empty());
}
