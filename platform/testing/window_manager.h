#pragma once
// The window manager as the user meets it, for the desktop tests: what it
// offers a window (actions, buttons through the Motif hints), whether the
// task bar lists it, and the requests its own controls make (maximise and
// restore from the title bar, a drag of the frame's edge, a click on a
// task-bar entry), sent as those controls send them: client messages to
// the root window. Without a window manager (offscreen) every question has
// an empty answer and every request does nothing.
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class QWidget;

namespace wmtest {

// Whether a window manager runs on the display the program uses.
bool present();
// Its name in lower case ("openbox", "icewm"), empty without one.
QString name();

// The window's _NET_WM_ALLOWED_ACTIONS, _NET_WM_STATE and _NET_WM_WINDOW_TYPE
// as atom names.
QStringList allowedActions(const QWidget* w);
QStringList states(const QWidget* w);
QStringList types(const QWidget* w);

// The window's Motif hints: functions and decorations (0 when it has none).
struct Motif {
  bool present = false;
  unsigned functions = 0, decorations = 0;
  bool asksFor(unsigned function) const { return present && (functions & 1u ? !(functions & function) : (functions & function)); }
};
Motif motif(const QWidget* w);
constexpr unsigned kFuncResize = 0x2, kFuncMinimise = 0x8, kFuncMaximise = 0x10, kFuncClose = 0x20;

// Where the window's client area and its frame really are on the screen, as
// the X server has them now (Qt's own idea may lag behind a move the window
// manager made); empty without a window manager.
QRect clientOnScreen(const QWidget* w);
QRect frameOnScreen(const QWidget* w);

// Whether a task bar lists the window, by the rule of the EWMH that tint2
// and icewm's task bar follow: the window manager manages it, it is not
// marked to be skipped, it is of no kind a task bar leaves out (dock,
// desktop, tool bar, menu, splash) and it belongs to no other window.
bool onTaskBar(const QWidget* w);

// The requests of the manager's own controls: maximise and restore (as
// from the title bar), the window made size by a drag of its frame's lower
// right corner with the pointer (as far as the window manager lets it),
// the window given back from the task bar. Each waits until the window manager has answered
// (or a few seconds have passed).
void maximise(QWidget* w);
void restore(QWidget* w);
void resizeTo(QWidget* w, const QSize& size);
void activate(QWidget* w);

}  // namespace wmtest
