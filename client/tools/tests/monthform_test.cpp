// The calendar: it fills the window at every size, is made afresh at every
// opening, and a calendar that cannot be made ends the program.
#include <QLabel>
#include <QPointer>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <stdexcept>

#include "client/tools/monthform.h"
#include "client/tools/tests/desktoptools_fixture.h"

using namespace toolstest;

namespace {

class MonthFormTest : public ToolsTest {
 protected:
  void TearDown() override {
    if (MonthFormLoaded()) MonthForm().Unload();
    monthcalendar::setMaker({});
    ToolsTest::TearDown();
  }
};

}  // namespace

TEST_F(MonthFormTest, TheCalendarFillsTheClientAreaAtEverySize) {
  forms::MonthForm& f = MonthForm();
  f.Show();
  QCalendarWidget* cal = CalendarWindow();
  ASSERT_NE(cal, nullptr);
  EXPECT_EQ(cal->parentWidget(), f.client());
  EXPECT_EQ(f.Caption(), QStringLiteral("カレンダー"));
  for (const QSize s : {QSize(6000, 5000), QSize(3001, 2999), QSize(9000, 7000)}) {
    f.setWidth(s.width());
    f.setHeight(s.height());
    EXPECT_EQ(cal->geometry(), QRect(QPoint(0, 0), f.client()->size()));
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MonthFormTest, TheMonthIsNamedInJapaneseOrderAndNoWeekNumbersAreShown) {
  MonthForm().Show();
  QCalendarWidget* cal = CalendarWindow();
  ASSERT_NE(cal, nullptr);
  cal->setCurrentPage(2026, 12);
  auto* title = cal->findChild<QLabel*>(QStringLiteral("MonthTitle"));
  ASSERT_NE(title, nullptr);
  ASSERT_TRUE(title->isVisible());
  EXPECT_EQ(title->text(), QStringLiteral("2026年12月"));
  // The buttons beside it turn the page, across the year too.
  QTest::mouseClick(cal->findChild<QToolButton*>(QStringLiteral("NextMonth")), Qt::LeftButton);
  EXPECT_EQ(title->text(), QStringLiteral("2027年1月"));
  QTest::mouseClick(cal->findChild<QToolButton*>(QStringLiteral("PreviousMonth")), Qt::LeftButton);
  QTest::mouseClick(cal->findChild<QToolButton*>(QStringLiteral("PreviousMonth")), Qt::LeftButton);
  EXPECT_EQ(title->text(), QStringLiteral("2026年11月"));
  // Seven day columns and nothing before them; the week-day heads in Japanese.
  EXPECT_EQ(cal->verticalHeaderFormat(), QCalendarWidget::NoVerticalHeader);
  auto* days = cal->findChild<QTableView*>();
  ASSERT_NE(days, nullptr);
  int shown = 0;
  for (int c = 0; c < days->model()->columnCount(); ++c) shown += days->isColumnHidden(c) ? 0 : 1;
  EXPECT_EQ(shown, 7);
  EXPECT_EQ(days->model()->data(days->model()->index(0, 0)).toString(), QStringLiteral("日"));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MonthFormTest, EveryOpeningMakesANewCalendarAndClosingDestroysIt) {
  MonthForm().Show();
  QPointer<QCalendarWidget> first = CalendarWindow();
  ASSERT_FALSE(first.isNull());
  ASSERT_TRUE(MonthForm().Unload());
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(CalendarWindow(), nullptr);
  MonthForm().Show();
  ASSERT_NE(CalendarWindow(), nullptr);
}

TEST_F(MonthFormTest, ACalendarThatCannotBeMadeEndsTheProgramAfterTheMessage) {
  monthcalendar::setMaker([](QWidget*) -> QCalendarWidget* { throw std::runtime_error("no calendar"); });
  EXPECT_THROW(MonthForm(), ui::EndCalled);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("動作環境に問題があります。"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbExclamation);
  EXPECT_EQ(boxes[0].title, QStringLiteral("RuvoMail"));
}

TEST_F(MonthFormTest, ACalendarThatIsNotMadeLeavesTheWindowEmpty) {
  monthcalendar::setMaker([](QWidget*) -> QCalendarWidget* { return nullptr; });
  MonthForm().Show();
  EXPECT_EQ(CalendarWindow(), nullptr);
  EXPECT_TRUE(MonthForm().client()->findChildren<QCalendarWidget*>().isEmpty());
  EXPECT_TRUE(boxes.empty());
}
