// The checker the desktop tests run over every window: it names each fault
// a user would meet (a control beyond the client's edge, a control under
// another, a text cut by its control) and nothing else.
#include "platform/testing/window_check.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "platform/ui.h"

namespace {

class Plain : public ui::Form {
 public:
  Plain() : ui::Form(QStringLiteral("Plain")) {
    resize(300, 200);
    ok = ui::button(client(), QStringLiteral("Ok"), QStringLiteral("OK"), 150, 150, 1200, 375);
    note = ui::label(client(), QStringLiteral("Note"), QStringLiteral("短い"), 150, 600, 1500, 255);
    box = ui::textBox(client(), QStringLiteral("Box"), 150, 1050, 1500, 330);
  }
  QPushButton* ok;
  QLabel* note;
  QLineEdit* box;
};

bool mentions(const QStringList& faults, const QString& what) {
  for (const QString& f : faults)
    if (f.contains(what)) return true;
  return false;
}

TEST(WindowCheck, AWholeWindowHasNoFaultAndEachFaultIsNamed) {
  Plain f;
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  EXPECT_TRUE(windowcheck::faults(&f).isEmpty()) << windowcheck::faults(&f).join(u'\n').toStdString();

  struct Case {
    const char* name;
    std::function<void(Plain&)> spoil;
    const char* expected;
  };
  const Case cases[] = {
      {"beyond the right edge", [](Plain& f) { f.ok->move(280, 10); }, "Ok at 280,10"},
      {"under a later control", [](Plain& f) { f.note->move(f.ok->pos() + QPoint(10, 5)); }, "Ok is covered by Note"},
      {"label text too wide",
       [](Plain& f) { f.note->setText(QStringLiteral("とても長いとても長いとても長い説明の文")); }, "Note: text"},
      {"button caption too wide", [](Plain& f) { f.ok->setText(QStringLiteral("とても長いボタンの名前")); }, "Ok: text"},
      {"box too low for its font", [](Plain& f) { ui::setFontSize(f.box, 20); }, "Box: line"},
      {"box text too long", [](Plain& f) { f.box->setText(QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789")); }, "Box: text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Plain g;
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    c.spoil(g);
    const QStringList found = windowcheck::faults(&g);
    EXPECT_EQ(found.size(), 1) << found.join(u'\n').toStdString();
    EXPECT_TRUE(mentions(found, QString::fromUtf8(c.expected))) << found.join(u'\n').toStdString();
  }
}

TEST(WindowCheck, ExceptionsAreKeptToWhatTheySay) {
  Plain f;
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  // Two panes on one another, one of them shown: the hidden one is not seen.
  auto* pane = ui::label(f.client(), QStringLiteral("Pane"), QStringLiteral("x"), 150, 150, 1200, 375);
  pane->hide();
  EXPECT_TRUE(windowcheck::faults(&f).isEmpty());
  pane->show();
  EXPECT_TRUE(mentions(windowcheck::faults(&f), QStringLiteral("Ok is covered by Pane")));
  EXPECT_TRUE(windowcheck::faults(&f, {.mayOverlap = {{pane, f.ok}}}).isEmpty());
  EXPECT_TRUE(windowcheck::faults(&f, {.skip = {f.ok}}).isEmpty());
  pane->hide();
  // Wholly beyond the edge on purpose: allowed; partly: a fault all the same.
  f.ok->move(400, 10);
  EXPECT_TRUE(windowcheck::faults(&f, {.mayLieOutside = {f.ok}}).isEmpty());
  f.ok->move(280, 10);
  EXPECT_EQ(windowcheck::faults(&f, {.mayLieOutside = {f.ok}}).size(), 1);
}

TEST(WindowCheck, ALeastSizeHoldsTheControls) {
  Plain f;
  ui::holdControls(&f);
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.resize(50, 40);
  EXPECT_EQ(f.client()->width(), f.box->geometry().right() + 1);
  EXPECT_EQ(f.client()->height(), f.box->geometry().bottom() + 1);
  EXPECT_TRUE(windowcheck::faults(&f).isEmpty());
  const QStringList sizes = windowcheck::faultsAtEverySize(f);
  EXPECT_TRUE(sizes.isEmpty()) << sizes.join(u'\n').toStdString();
}

}  // namespace
