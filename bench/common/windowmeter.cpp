#include "bench/common/windowmeter.h"

#include <QGuiApplication>
#include <QWindow>

#include <execinfo.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace benchwindow {
namespace {

constexpr auto kStamp = static_cast<QEvent::Type>(QEvent::User + 26);

struct Stamp : QEvent {
  explicit Stamp(WindowMeter::Clock::time_point t) : QEvent(kStamp), at(t) {}
  WindowMeter::Clock::time_point at;
};

// The stall tracer: the last time a posted event was handled, and the
// main thread to ask for its stack.
std::atomic<int64_t> g_lastHandled{0};
pthread_t g_mainThread;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(WindowMeter::Clock::now().time_since_epoch()).count();
}

void writeStack(int) {
  void* frames[48];
  const int n = backtrace(frames, 48);
  static const char head[] = "--- main thread, silent:\n";
  if (::write(2, head, sizeof head - 1) < 0) return;
  backtrace_symbols_fd(frames, n, 2);
}

int stallMs() {
  const char* v = std::getenv("RUVO_BENCH_STALL_MS");
  return v ? std::atoi(v) : 0;
}

}  // namespace

WindowMeter::~WindowMeter() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (tracer_.joinable()) tracer_.join();
}

void WindowMeter::settle(QWidget* window) {
  const auto until = Clock::now() + std::chrono::seconds(1);
  while (Clock::now() < until) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (window && window->windowHandle() && window->windowHandle()->isExposed()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // The paint the exposure asked for, and what it started.
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

bool WindowMeter::pingPossible() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

void WindowMeter::start(QWidget* window) {
  longest_ = 0;
  stop_ = false;
  pinging_ = false;
  pingWhy_.clear();
  window_ = window;
  if (!pingPossible()) {
    pingWhy_ = "not on an X display (platform " + QGuiApplication::platformName().toStdString() + ")";
  } else if (!window || !window->isWindow()) {
    pingWhy_ = "no top-level window";
  } else {
    QCoreApplication::processEvents();  // the window made and mapped
    pinging_ = ping_.start(static_cast<uint32_t>(window->winId()));
    if (!pinging_) {
      pingWhy_ = ping_.why();
      std::fprintf(stderr, "window meter: no ping measure: %s\n", pingWhy_.c_str());
    }
    // A window unloaded during the run (the composer once its mail went)
    // answers no more from then on.
    else
      gone_ = QObject::connect(window, &QObject::destroyed, this, [this] { ping_.windowGone(); });
  }
  thread_ = std::thread([this] {
    while (!stop_) {
      QCoreApplication::postEvent(this, new Stamp(Clock::now()));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  if (const int limit = stallMs(); limit > 0) {
    g_mainThread = pthread_self();
    g_lastHandled = nowNs();
    {
      void* warm[2];
      backtrace(warm, 2);  // loads what backtrace needs before any signal
    }
    struct sigaction sa {};
    sa.sa_handler = &writeStack;
    sa.sa_flags = SA_RESTART;
    sigaction(SIGUSR2, &sa, nullptr);
    tracer_ = std::thread([this, limit] {
      int64_t told = 0;
      while (!stop_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const int64_t now = nowNs(), last = g_lastHandled;
        if (now - last > int64_t(limit) * 1000000 && now - std::max(told, last) > int64_t(limit) * 1000000) {
          std::fprintf(stderr, "window meter: silent for %.0f ms\n", double(now - last) / 1e6);
          pthread_kill(g_mainThread, SIGUSR2);
          told = now;
        }
      }
    });
  }
}

WindowMeter::Result WindowMeter::finish() {
  Result r;
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (tracer_.joinable()) tracer_.join();
  QCoreApplication::sendPostedEvents(this);
  r.postedMs = longest_;
  r.load = loadAverage();
  if (pinging_) {
    ping_.stopSending();
    // The answers on their way: the window answers them as its events run.
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (ping_.outstanding() > 0 && Clock::now() < until) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const WmPing::Result p = ping_.stop();
    QObject::disconnect(gone_);
    r.pinged = true;
    r.pingMs = p.longestMs;
    r.pings = p.sent;
    r.answered = p.answered;
    pinging_ = false;
  }
  return r;
}

WindowMeter::Result WindowMeter::finishAtRest(int calmMs, int maxMs) {
  const auto began = Clock::now();
  lastUncalm_ = began;
  while (Clock::now() - began < std::chrono::milliseconds(maxMs) &&
         Clock::now() - lastUncalm_ < std::chrono::milliseconds(calmMs)) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return finish();
}

bool WindowMeter::event(QEvent* e) {
  if (e->type() != kStamp) return QObject::event(e);
  const auto now = Clock::now();
  const double waited = std::chrono::duration<double, std::milli>(now - static_cast<Stamp*>(e)->at).count();
  if (waited > longest_) longest_ = waited;
  if (waited >= kCalmWaitMs) lastUncalm_ = now;
  g_lastHandled = nowNs();
  return true;
}

double loadAverage() {
  std::ifstream f("/proc/loadavg");
  double load = -1;
  f >> load;
  return load;
}

}  // namespace benchwindow

namespace benchwindow {

void printWindowTable(const std::vector<std::pair<std::string, WindowMeter::Result>>& runs, const char* whose,
                      double goalMs) {
  if (runs.empty()) return;
  std::printf("\nHow long %s stayed silent (goal: under %.0f ms):\n", whose, goalMs);
  std::printf("%-26s %18s %20s %9s\n", "run", "longest ping wait", "longest posted wait", "load avg");
  for (const auto& [run, r] : runs) {
    char ping[64];
    if (r.pinged)
      std::snprintf(ping, sizeof ping, "%.1f ms", r.pingMs);
    else
      std::snprintf(ping, sizeof ping, "n/a");
    std::printf("%-26s %18s %17.1f ms %9.2f%s\n", run.c_str(), ping, r.postedMs, r.load,
                (r.pinged && r.pingMs >= goalMs) || r.postedMs >= goalMs ? "  over the goal" : "");
    if (r.pinged && r.answered < r.pings)
      std::printf("%-26s %ld of %ld pings unanswered\n", "", r.pings - r.answered, r.pings);
  }
}

}  // namespace benchwindow
