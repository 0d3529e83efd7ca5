// The vertical text viewer as the user sees it at every size the user can
// give it (design, small, large, maximised): every control whole, uncovered
// and its text fitting. Runs offscreen and, through scripts/desktop, under
// openbox and icewm.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "colwrite/form1.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/testing/window_check.h"
#include "platform/testing/window_manager.h"
#include "platform/ui.h"

namespace {

// The viewer's own folder with its colours and a text of two lines.
void writeFolder(const QTemporaryDir& dir, const QString& body) {
  ASSERT_TRUE(dir.isValid());
  paths::setProgramFolder(dir.path());
  auto write = [&](const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  };
  write(QStringLiteral("ini.ini"), QByteArrayLiteral("[EXEINI]\r\nNUMBER=0\r\nNUMBER2=16761024\r\n"));
  const std::string text = cp932::encode(body);
  write(QStringLiteral("test.txt"), QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

// What the sweep leaves alone: the empty lower band, which holds nothing
// (the height rule puts its lower edge a few pixels below the window's at
// some heights, as it always has), and the buttons and the note's band,
// which stand on the page the cells are drawn on (its cells begin below
// them).
windowcheck::Rules sweepRules(forms::Form1& f) {
  windowcheck::Rules rules{.skip = {f.Picture2}};
  const QWidget* page = f.findChild<QWidget*>(QStringLiteral("Form1_canvas"));
  EXPECT_NE(page, nullptr);
  for (const QWidget* w : std::initializer_list<const QWidget*>{f.Command1, f.Command2, f.Command3, f.Command4,
                                                                f.Command5, f.Command6, f.Picture3})
    rules.mayOverlap.append(qMakePair(page, w));
  return rules;
}

}  // namespace

TEST(ColwriteSweep, TheWindowIsWholeAtEverySize) {
  QTemporaryDir dir;
  writeFolder(dir, QStringLiteral("縦書きの文字をここに並べます。\r\n二行目です。"));
  if (HasFatalFailure()) return;
  std::vector<seams::MsgBoxCall> boxes;
  seams::setMsgBoxHandler([&](const seams::MsgBoxCall& c) {
    boxes.push_back(c);
    return int(seams::vbOK);
  });
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  forms::Form1& f = Form1();
  const windowcheck::Rules rules = sweepRules(f);
  const QStringList found = windowcheck::faultsAtEverySize(f, rules);
  EXPECT_TRUE(found.isEmpty()) << found.join(QStringLiteral("\n")).toStdString();
  try {
    f.Unload();
  } catch (const ui::EndCalled&) {
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ui::setEndHook(nullptr);
  seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
  paths::setProgramFolder(QString());
  EXPECT_TRUE(boxes.empty());
}

// The window made narrow by the window manager (a drag of its frame's edge),
// far below the width its row of buttons was designed for: it takes the
// width, and every button, the note and its band still show whole, their
// captions and text fitting. As narrow as it goes, likewise.
TEST(ColwriteSweep, TheWindowNarrowsWithEveryControlWhole) {
  QTemporaryDir dir;
  writeFolder(dir, QStringLiteral("縦書きの文字。\r\n二行目。"));
  if (HasFatalFailure()) return;
  seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  forms::Form1& f = Form1();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  windowcheck::waitUntilStill(&f);
  const windowcheck::Rules rules = sweepRules(f);
  for (const int width : {420, 60}) {
    SCOPED_TRACE(width);
    const QSize want(width, f.height());
    if (wmtest::present()) wmtest::resizeTo(&f, want);
    else f.resize(want);
    windowcheck::waitUntilStill(&f);
    if (width == 420) EXPECT_EQ(f.width(), 420);
    else EXPECT_EQ(f.width(), f.minimumWidth());
    EXPECT_LT(f.width(), 548);
    const QStringList found = windowcheck::faults(&f, rules);
    EXPECT_TRUE(found.isEmpty()) << found.join(QStringLiteral("\n")).toStdString();
    for (QPushButton* b : {f.Command1, f.Command2, f.Command3, f.Command4, f.Command5, f.Command6})
      EXPECT_TRUE(b->toolTip().isEmpty()) << b->objectName().toStdString() << " is cut";
  }
  try {
    f.Unload();
  } catch (const ui::EndCalled&) {
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ui::setEndHook(nullptr);
  paths::setProgramFolder(QString());
}
