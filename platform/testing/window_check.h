#pragma once
// What the user sees of a window, checked control by control: every shown
// control lies whole inside the client area (and inside each panel it sits
// on), no other control is drawn over it, and its caption or text fits it
// at its own font. Knows no particular window; the desktop tests of every
// program run it over their windows at several sizes.
//
// The controls are the named widgets (objectName set, not Qt's own "qt_"
// parts) shown under the window's client; the parts inside a list, a text
// area or another scrolled view are the view's own and are not walked.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;
namespace ui {
class Form;
}

namespace windowcheck {

struct Rules {
  // Controls not checked, nor anything inside them (say why at each use).
  QList<const QWidget*> skip;
  // Pairs that lie over each other on purpose (say why at each use): the
  // first may be covered by the second, and the second by the first.
  QList<QPair<const QWidget*, const QWidget*>> mayOverlap;
  // Controls the window puts wholly beyond its edge on purpose at some sizes
  // (say why): such a control may lie wholly outside, never partly.
  QList<const QWidget*> mayLieOutside;
  // Controls whose text is not measured (a text the window scrolls or cuts on
  // purpose, say why).
  QList<const QWidget*> textMayBeCut;
};

// Every fault found in window, one line each naming the control; empty when
// the window is whole. The window is a ui::Form (its client area is checked)
// or any top-level widget (its whole inside).
QStringList faults(const QWidget* window, const Rules& rules = {});

// The faults of window f at each size the user can give it, each line
// beginning with the size: as it opened ("design"), six tenths of that or the
// least it takes ("small"), half as large again within the screen ("large")
// and maximised; a window of fixed size at its one size. Each size is seen
// once the window (and the window manager, where there is one) has stopped
// moving and sizing it. The window is shown first if it is not, and left
// at its design size, not maximised.
QStringList faultsAtEverySize(ui::Form& f, const Rules& rules = {});

// Waits until done holds (at most five seconds) and then until w has had
// no move, resize or change of state for a moment (at most three seconds):
// the window manager's answers to a request come as such events.
void waitUntilStill(QWidget* w, const std::function<bool()>& done = {});

// The faults of one control's text alone (labels, buttons, check and option
// boxes, one-line boxes); empty when it fits.
QString textFault(const QWidget* control);

}  // namespace windowcheck
