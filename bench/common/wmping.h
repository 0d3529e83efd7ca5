#pragma once
// The window manager's ping, as the benchmarks send it: how long a
// top-level window leaves a _NET_WM_PING unanswered while a mail check or a
// send goes on. A desktop marks a window that stays silent for a few
// seconds as not responding; the goal is under 100 ms.
//
// Our own code: no Debian library sends these pings outside a window
// manager (the window managers keep theirs inside), and the measure is a
// few dozen lines over libxcb.
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace benchwindow {

class WmPing {
 public:
  using Clock = std::chrono::steady_clock;

  struct Result {
    double longestMs = 0;  // the longest wait of a ping, answered or not
    long sent = 0;
    long answered = 0;
  };

  WmPing() = default;
  ~WmPing();
  WmPing(const WmPing&) = delete;
  WmPing& operator=(const WmPing&) = delete;

  // Opens a connection of its own to the X display and checks that the
  // window (its X id: QWidget::winId of a top-level window) takes
  // _NET_WM_PING; then a thread of its own pings it every `every` as a
  // window manager does and listens on the root window for the answers.
  // False, with why(), where that cannot be (no display, no such window,
  // a window that does not take the ping).
  bool start(uint32_t window, std::chrono::milliseconds every = std::chrono::milliseconds(5));
  const std::string& why() const { return why_; }
  bool running() const { return thread_.joinable(); }

  // No more pings from now on; the answers of those on their way are
  // still taken.
  void stopSending();
  // The window is gone: no more pings, and one still unanswered waited
  // until now.
  void windowGone();
  // Pings sent and not answered yet.
  long outstanding();
  // Stops and gives the figures. A ping still unanswered counts with its
  // wait until now (or until the window went).
  Result stop();

 private:
  void run();
  void send(Clock::time_point now);
  void take(xcb_generic_event_t* e);

  xcb_connection_t* c_ = nullptr;
  xcb_window_t root_ = 0, window_ = 0;
  xcb_atom_t protocols_ = 0, ping_ = 0;
  uint32_t serverTime0_ = 0;
  Clock::time_point clock0_;
  std::chrono::milliseconds every_{5};
  std::thread thread_;
  std::atomic<bool> stop_{false}, sending_{false};
  std::mutex m_;  // guards what follows
  std::map<uint32_t, Clock::time_point> waiting_;  // by serial
  uint32_t serial_ = 0;
  Result result_;
  Clock::time_point gone_{};
  bool isGone_ = false;
  std::string why_;
};

}  // namespace benchwindow
