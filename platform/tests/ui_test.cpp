#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>

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
