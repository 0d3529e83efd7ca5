#pragma once
// The calendar window "カレンダー": a month calendar that fills the window.
// The window reads and sets no date.
#include <QCalendarWidget>
#include <QPointer>
#include <functional>

#include "platform/ui.h"

namespace monthcalendar {

// Makes the calendar child of a loading window. Returning nullptr leaves the
// window empty; throwing tells that the calendar cannot be made here, which
// ends the program after "動作環境に問題があります。". Tests replace it; an
// empty function restores the default.
using Maker = std::function<QCalendarWidget*(QWidget* parent)>;
void setMaker(Maker maker);

}  // namespace monthcalendar

namespace forms {

class MonthForm : public ui::Form {
 protected:
  void Form_Load() override;
  void Form_Resize() override;
  void Form_QueryUnload(int& cancel, int unloadMode) override;

 private:
  MonthForm();
  friend class ui::Accessor<MonthForm>;
};

}  // namespace forms

// The calendar of the most recent load (null before the first load and once
// the window that held it closed).
QCalendarWidget* CalendarWindow();

// The one MonthForm of the program (loaded hidden on first touch).
forms::MonthForm& MonthForm();
bool MonthFormLoaded();
