// The reversi window as the user sees it: its one size (the window is of
// fixed size) with every control whole, uncovered and its text fitting.
// Runs offscreen and, through scripts/desktop, under openbox and icewm.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include "flipset/frmFlipset.h"
#include "flipset/mci.h"
#include "flipset_assets.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/testing/window_check.h"
#include "platform/testing/window_manager.h"
#include "platform/ui.h"

TEST(FlipsetSweep, TheWindowIsWhole) {
  QTemporaryDir dir;
  ASSERT_TRUE(flipset_assets::writeAll(dir.path()));
  paths::setProgramFolder(dir.path());
  QStringList boxes;
  seams::setMsgBoxHandler([&](const seams::MsgBoxCall& c) {
    boxes << c.prompt;
    return int(seams::vbOK);
  });
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  flipset::Mci::setLog([](const QString&) {});  // no music played
  flipset::setSleep([](int) {});
  forms::frmFlipset& f = frmFlipset();
  // (the choices of who plays each side lie beyond the fixed window's right
  // edge, as the window has always had them: only their keys reach them)
  windowcheck::Rules rules;
  for (int i = 0; i < 2; ++i) rules.mayLieOutside << f.lblPlayer[i] << f.cmbPlayer[i];
  const QStringList found = windowcheck::faultsAtEverySize(f, rules);
  EXPECT_TRUE(found.isEmpty()) << found.join(QStringLiteral("\n")).toStdString();
  try {
    f.Unload();
  } catch (const ui::EndCalled&) {
  }
  delete frmFlipsetIfLoaded();
  seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
  ui::setEndHook({});
  flipset::Mci::setLog({});
  flipset::setSleep({});
  paths::setProgramFolder(QString());
  EXPECT_TRUE(boxes.isEmpty()) << boxes.join(u'\n').toStdString();
}

// The window is of fixed size: it asks the window manager (through its
// Motif hints) for no maximising and no resizing, the window manager offers
// neither and keeps its size when asked to maximise or resize it, as from
// its title bar or frame. It keeps minimising and its task-bar entry.
TEST(FlipsetSweep, TheFixedWindowOffersNoMaximiseAndKeepsItsTaskBarEntry) {
  if (!wmtest::present()) GTEST_SKIP() << "needs a window manager";
  QTemporaryDir dir;
  ASSERT_TRUE(flipset_assets::writeAll(dir.path()));
  paths::setProgramFolder(dir.path());
  seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  flipset::Mci::setLog([](const QString&) {});
  flipset::setSleep([](int) {});
  forms::frmFlipset& f = frmFlipset();
  if (!f.isVisible()) f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  windowcheck::waitUntilStill(&f);
  const wmtest::Motif motif = wmtest::motif(&f);
  ASSERT_TRUE(motif.present);
  EXPECT_FALSE(motif.asksFor(wmtest::kFuncMaximise));
  EXPECT_FALSE(motif.asksFor(wmtest::kFuncResize));
  EXPECT_TRUE(motif.asksFor(wmtest::kFuncMinimise));
  EXPECT_EQ(motif.decorations & 0x40, 0u) << "a maximise button asked for";
  const QStringList actions = wmtest::allowedActions(&f);
  for (const char* a : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"})
    EXPECT_FALSE(actions.contains(QLatin1String(a))) << a << ": " << actions.join(u' ').toStdString();
  EXPECT_TRUE(actions.contains(QStringLiteral("_NET_WM_ACTION_MINIMIZE"))) << actions.join(u' ').toStdString();
  EXPECT_TRUE(wmtest::onTaskBar(&f));
  const QSize size = f.size();
  wmtest::maximise(&f);
  EXPECT_EQ(f.size(), size);
  EXPECT_FALSE(f.isMaximized());
  wmtest::restore(&f);
  wmtest::resizeTo(&f, size + QSize(100, 100));
  EXPECT_EQ(f.size(), size);
  try {
    f.Unload();
  } catch (const ui::EndCalled&) {
  }
  delete frmFlipsetIfLoaded();
  ui::setEndHook({});
  flipset::Mci::setLog({});
  flipset::setSleep({});
  paths::setProgramFolder(QString());
}
