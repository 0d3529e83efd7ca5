// The air hockey window as the user sees it: its one size (the window is of
// fixed size) with every control whole, uncovered and its text fitting.
// Runs offscreen and, through scripts/desktop, under openbox.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
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
  // (the scores, names and buttons stand on the table, which is drawn
  // beneath them)
  windowcheck::Rules rules;
  const QWidget* table = f.findChild<QWidget*>(QStringLiteral("Table"));
  ASSERT_NE(table, nullptr);
  for (const QWidget* w : std::initializer_list<const QWidget*>{f.Command1, f.Command2, f.Label3, f.Label4, f.Label10,
                                                                f.Label1, f.Label2, f.Label14})
    rules.mayOverlap.append(qMakePair(table, w));
  const QStringList found = windowcheck::faultsAtEverySize(f, rules);
  EXPECT_TRUE(found.isEmpty()) << found.join(QStringLiteral("\n")).toStdString();
  try {
    f.Unload();
  } catch (const ui::EndCalled&) {
  }
  ui::setEndHook(nullptr);
  EXPECT_TRUE(boxes.empty());
}
