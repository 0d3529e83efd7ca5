#pragma once
// The window events run while the mail library waits on the network: the
// library hands its yield hook a turn at least every few milliseconds, and
// the hook runs what the event queue holds (paints, timers, clicks, the
// window manager's pings). So no window freezes during a mail check or a
// send.
#include <QPointer>
#include <QWidget>

namespace mailwait {

// Installs the hook into the mail library (at the library's start).
void install();

// How many turns the hook has given the event queue so far: what the user
// may have changed meanwhile (a list, the keywords) can only have changed
// when this count moved.
unsigned long long turns();

// Gives the event queue its turn when the last one is 10 ms or more ago:
// for long work of the check outside the library (the flush to disk).
void turnIfDue();

// A window that sends mail through the library: while the guard lives the
// window takes no input and the user cannot close it, so that no click
// starts the send again or takes the window away under it; it still paints
// and answers. Everything is as before when the guard goes (the window may
// have been unloaded meanwhile by code).
class SendingWindow {
 public:
  explicit SendingWindow(QWidget* window);
  ~SendingWindow();
  SendingWindow(const SendingWindow&) = delete;
  SendingWindow& operator=(const SendingWindow&) = delete;

 private:
  QPointer<QWidget> window_;
  QPointer<QObject> filter_;
  bool wasEnabled_ = true;
};

}  // namespace mailwait
