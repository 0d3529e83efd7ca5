// The air hockey window as the user sees it: its one size (the window is of
// fixed size) with every control whole, uncovered and its text fitting.
// Runs offscreen and, through scripts/desktop, under openbox.
#include <gtest/gtest.h>

#include <QTest>
#include <vector>

#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"
#include "platform/testing/window_check.h"
#include "platform/ui.h"
#include "puckslide/mainform.h"

TEST(PuckSweep, TheWindowIsWhole) {
  std::vector<seams::MsgBoxCall> boxes;
  seamtest::recordMsgBoxes(boxes, seamtest::alwaysOk);
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  forms::MainForm& f = MainForm();
  const QStringList found = windowcheck::faultsAtEverySize(f);
  EXPECT_TRUE(found.isEmpty()) << found.join(QStringLiteral("\n")).toStdString();
  try {
    f.Unload();
  } catch (const ui::EndCalled&) {
  }
  ui::setEndHook(nullptr);
  EXPECT_TRUE(boxes.empty());
}
