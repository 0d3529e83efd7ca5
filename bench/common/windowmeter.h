#pragma once
// How long a window stays silent during a benchmark run, measured two
// ways at once:
//   posted   an event posted to the main thread's queue every 2 ms from
//            another thread: the longest it waited before it was handled;
//   ping     the window manager's ping (_NET_WM_PING, see wmping.h) every
//            5 ms: the longest it waited for the window's answer. Only on
//            an X display (QT_QPA_PLATFORM=xcb, e.g. under scripts/desktop);
//            offscreen it is not available.
// Goal for both: under 100 ms.
//
// To find where a silence comes from, set RUVO_BENCH_STALL_MS=N: whenever
// no posted event has been handled for N ms, the main thread's stack is
// written to standard error (every N ms while the silence lasts), as
// addresses that addr2line -f -C -e <program> turns into functions.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/common/wmping.h"

namespace benchwindow {

class WindowMeter : public QObject {
 public:
  using Clock = std::chrono::steady_clock;

  struct Result {
    double postedMs = 0;
    bool pinged = false;  // whether the ping measure ran
    double pingMs = 0;
    long pings = 0, answered = 0;
    double load = -1;  // the machine's one-minute load average at the end
  };

  WindowMeter() = default;
  ~WindowMeter() override;

  // Starts both measures on the top-level window (shown already). The
  // ping is left out where it cannot run (pingWhy() says why).
  void start(QWidget* window);
  // Runs the events of a window just shown until it is on the screen and
  // painted (at most a second), as a user's window is before a check or a
  // send starts; not measured.
  static void settle(QWidget* window);
  // Stops, and gives the longest waits in milliseconds. The answers to
  // pings on their way are waited for (the event loop runs meanwhile).
  Result finish();
  // Stops once the window is at rest: the event loop runs on (what the
  // run left behind, as the list, the counters and the race after a
  // check) until no posted event has waited kCalmWaitMs or more for
  // calmMs on end (at most maxMs), and the figures cover that time too.
  static constexpr double kCalmWaitMs = 10;
  Result finishAtRest(int calmMs = 500, int maxMs = 5000);
  const std::string& pingWhy() const { return pingWhy_; }

  // The one the benchmarks share, and whether the ping can run in this
  // program (an X display: the platform is xcb).
  static bool pingPossible();
  // Adds a run's figures to the benchmark's counters: longest_posted_ms,
  // and longest_ping_ms where the ping ran (-1 where it did not).
  template <typename Counters>
  static void report(Counters& counters, const Result& r) {
    counters["longest_posted_ms"] = r.postedMs;
    counters["longest_ping_ms"] = r.pinged ? r.pingMs : -1;
    counters["load_avg"] = r.load;
  }

 protected:
  bool event(QEvent* e) override;

 private:
  std::thread thread_, tracer_;
  std::atomic<bool> stop_{false};
  double longest_ = 0;
  Clock::time_point lastUncalm_{};  // the last posted event that waited kCalmWaitMs or more
  WmPing ping_;
  bool pinging_ = false;
  std::string pingWhy_;
  QPointer<QWidget> window_;
  QMetaObject::Connection gone_;
};

// Merges the figures of several runs: the longest of each.
inline void keepLongest(WindowMeter::Result& into, const WindowMeter::Result& r) {
  into.postedMs = std::max(into.postedMs, r.postedMs);
  into.pinged = into.pinged || r.pinged;
  into.pingMs = std::max(into.pingMs, r.pingMs);
  into.pings += r.pings;
  into.answered += r.answered;
  into.load = std::max(into.load, r.load);
}

// The one-minute load average of the machine (from /proc/loadavg).
double loadAverage();

// Prints the runs' figures as a table on standard output: run, longest
// ping wait, longest posted-event wait, load average; `whose` names the
// window measured, goalMs the silence the runs are to stay under.
void printWindowTable(const std::vector<std::pair<std::string, WindowMeter::Result>>& runs, const char* whose,
                      double goalMs = 100);

}  // namespace benchwindow
