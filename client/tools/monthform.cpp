#include "client/tools/monthform.h"

#include <QBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <exception>

#include "platform/seams.h"

namespace {
ui::Accessor<forms::MonthForm>& accessor() {
  static ui::Accessor<forms::MonthForm> a;
  return a;
}

monthcalendar::Maker& maker() {
  static monthcalendar::Maker m;
  return m;
}

QPointer<QCalendarWidget>& calendarWindow() {
  static QPointer<QCalendarWidget> w;
  return w;
}

// The desk's month calendar as a Japanese desk shows it: days only, no
// week-number column, and a header that names the month in Japanese order
// ("2026年12月") between the buttons to the month before and after.
QCalendarWidget* japaneseCalendar(QWidget* parent) {
  auto* calendar = new QCalendarWidget(parent);
  calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  calendar->setNavigationBarVisible(false);
  auto* header = new QWidget(calendar);
  header->setObjectName(QStringLiteral("MonthHeader"));
  auto* row = new QHBoxLayout(header);
  row->setContentsMargins(2, 2, 2, 2);
  auto* before = new QToolButton(header);
  before->setObjectName(QStringLiteral("PreviousMonth"));
  before->setArrowType(Qt::LeftArrow);
  before->setAutoRaise(true);
  auto* month = new QLabel(header);
  month->setObjectName(QStringLiteral("MonthTitle"));
  month->setAlignment(Qt::AlignCenter);
  QFont bold = month->font();
  bold.setBold(true);
  month->setFont(bold);
  auto* after = new QToolButton(header);
  after->setObjectName(QStringLiteral("NextMonth"));
  after->setArrowType(Qt::RightArrow);
  after->setAutoRaise(true);
  row->addWidget(before);
  row->addWidget(month, 1);
  row->addWidget(after);
  auto show = [month](int year, int m) { month->setText(QStringLiteral("%1年%2月").arg(year).arg(m)); };
  show(calendar->yearShown(), calendar->monthShown());
  QObject::connect(calendar, &QCalendarWidget::currentPageChanged, month, show);
  QObject::connect(before, &QToolButton::clicked, calendar, &QCalendarWidget::showPreviousMonth);
  QObject::connect(after, &QToolButton::clicked, calendar, &QCalendarWidget::showNextMonth);
  if (auto* column = qobject_cast<QBoxLayout*>(calendar->layout())) column->insertWidget(0, header);
  return calendar;
}

QCalendarWidget* makeCalendar(QWidget* parent) {
  if (maker()) return maker()(parent);
  return japaneseCalendar(parent);
}
}  // namespace

namespace monthcalendar {
void setMaker(Maker m) { maker() = std::move(m); }
}  // namespace monthcalendar

QCalendarWidget* CalendarWindow() { return calendarWindow(); }

forms::MonthForm& MonthForm() { return accessor()(); }
bool MonthFormLoaded() { return accessor().isLoaded(); }

namespace forms {

MonthForm::MonthForm() : ui::Form(QStringLiteral("MonthForm")) {
  setCaption(QStringLiteral("カレンダー"));
  Move(2400, 1800, 4500, 4200);
}

void MonthForm::Form_Load() {
  QCalendarWidget* calendar = nullptr;
  try {
    calendar = makeCalendar(client());
  } catch (const std::exception&) {
    seams::MsgBox(QStringLiteral("動作環境に問題があります。"), seams::vbOKOnly | seams::vbExclamation);
    ui::endAtOnce();
  }
  calendarWindow() = calendar;
  if (!calendar) return;  // nothing made: the window stays empty
  calendar->setObjectName(QStringLiteral("CalendarWindow"));
  calendar->setGeometry(0, 0, 0, 0);
  calendar->show();
  Form_Resize();
}

void MonthForm::Form_Resize() {
  QCalendarWidget* calendar = calendarWindow();
  if (!calendar || calendar->parentWidget() != client()) return;
  // The whole client area, in whole pixels.
  calendar->setGeometry(0, 0, ui::px(ScaleWidth()), ui::px(ScaleHeight()));
  calendar->update();
}

void MonthForm::Form_QueryUnload(int& cancel, int unloadMode) {
  (void)cancel, (void)unloadMode;
  if (QCalendarWidget* calendar = calendarWindow()) {
    calendarWindow() = nullptr;
    delete calendar;
  }
}

}  // namespace forms
