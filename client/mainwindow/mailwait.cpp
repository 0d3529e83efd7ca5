// The window's turns while the mail library waits: the library's yield hook
// runs the event queue, and a window that sends or checks refuses to be
// closed by its title bar meanwhile.

#include "client/mainwindow/mailwait.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>

#include <chrono>

#include "nmail/nmail.h"

namespace mailwait {
namespace {

unsigned long long g_turns = 0;
std::chrono::steady_clock::time_point g_lastTurn{};

void runEvents(void*) {
  ++g_turns;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  g_lastTurn = std::chrono::steady_clock::now();
}

// Refuses the user's closing of a window (its title bar's button, the
// window manager); an unload by code does not pass here.
class RefuseClose : public QObject {
 public:
  explicit RefuseClose(QObject* parent) : QObject(parent) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Close && watched == parent()) {
      e->ignore();
      return true;
    }
    return QObject::eventFilter(watched, e);
  }
};

}  // namespace

void install() { NMailSetYieldHook(&runEvents, nullptr); }

unsigned long long turns() { return g_turns; }

void turnIfDue() {
  if (std::chrono::steady_clock::now() - g_lastTurn >= std::chrono::milliseconds(10)) runEvents(nullptr);
}

SendingWindow::SendingWindow(QWidget* window) : window_(window) {
  if (!window) return;
  wasEnabled_ = window->isEnabled();
  window->setEnabled(false);
  auto* f = new RefuseClose(window);
  window->installEventFilter(f);
  filter_ = f;
}

SendingWindow::~SendingWindow() {
  delete filter_.data();
  if (window_) window_->setEnabled(wasEnabled_);
}

}  // namespace mailwait
