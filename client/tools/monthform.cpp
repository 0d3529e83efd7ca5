#include "client/tools/monthform.h"

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

QCalendarWidget* makeCalendar(QWidget* parent) {
  if (maker()) return maker()(parent);
  return new QCalendarWidget(parent);
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
