// The reversi window as the user sees it: its one size (the window is of
// fixed size) with every control whole, uncovered and its text fitting.
// Runs offscreen and, through scripts/desktop, under openbox.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include "flipset/frmFlipset.h"
#include "flipset/mci.h"
#include "flipset_assets.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/testing/window_check.h"
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
