#include "bench/common/wmping.h"

#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace benchwindow {
namespace {

constexpr uint32_t kMark = 0x52757670;  // in the last word of our pings: ours, not the window manager's

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  std::free(r);
  return a;
}

double ms(WmPing::Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

WmPing::~WmPing() {
  if (running()) stop();
  if (c_) xcb_disconnect(c_);
}

bool WmPing::start(uint32_t window, std::chrono::milliseconds every) {
  if (running()) stop();
  why_.clear();
  result_ = {};
  waiting_.clear();
  isGone_ = false;
  every_ = every;
  window_ = window;
  if (!c_) {
    if (!std::getenv("DISPLAY")) {
      why_ = "no X display (DISPLAY is not set)";
      return false;
    }
    c_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c_)) {
      xcb_disconnect(c_);
      c_ = nullptr;
      why_ = "the X display does not answer";
      return false;
    }
    protocols_ = atom(c_, "WM_PROTOCOLS");
    ping_ = atom(c_, "_NET_WM_PING");
  }
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window_), nullptr);
  if (!g) {
    why_ = "no such window";
    return false;
  }
  root_ = g->root;
  std::free(g);

  // The window must take the ping (Qt names it in WM_PROTOCOLS).
  bool takesPing = false;
  if (xcb_get_property_reply_t* p = xcb_get_property_reply(
          c_, xcb_get_property(c_, 0, window_, protocols_, XCB_ATOM_ATOM, 0, 64), nullptr)) {
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(p));
    const int n = xcb_get_property_value_length(p) / static_cast<int>(sizeof(xcb_atom_t));
    takesPing = p->format == 32 && std::find(atoms, atoms + n, ping_) != atoms + n;
    std::free(p);
  }
  if (!takesPing) {
    why_ = "the window does not take _NET_WM_PING (not in its WM_PROTOCOLS)";
    return false;
  }

  // A server timestamp for the pings, as a window manager has from its
  // events: a property change on a window of our own tells the time.
  const xcb_window_t own = xcb_generate_id(c_);
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(c_, 0, own, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                    XCB_CW_EVENT_MASK, &mask);
  xcb_change_property(c_, XCB_PROP_MODE_APPEND, own, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, "");
  xcb_flush(c_);
  serverTime0_ = 0;
  while (xcb_generic_event_t* e = xcb_wait_for_event(c_)) {
    const bool got = (e->response_type & 0x7F) == XCB_PROPERTY_NOTIFY &&
                     reinterpret_cast<xcb_property_notify_event_t*>(e)->window == own;
    if (got) serverTime0_ = reinterpret_cast<xcb_property_notify_event_t*>(e)->time;
    std::free(e);
    if (got) break;
  }
  clock0_ = Clock::now();
  xcb_destroy_window(c_, own);

  // The answers come to the root window, sent to those who take its
  // structure or substructure events (Qt names StructureNotify and
  // SubstructureRedirect; the latter is the window manager's alone).
  const uint32_t rootMask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_void_cookie_t ck = xcb_change_window_attributes_checked(c_, root_, XCB_CW_EVENT_MASK, &rootMask);
  if (xcb_generic_error_t* err = xcb_request_check(c_, ck)) {
    std::free(err);
    why_ = "the root window's events cannot be taken";
    return false;
  }
  stop_ = false;
  sending_ = true;
  thread_ = std::thread([this] { run(); });
  return true;
}

void WmPing::send(Clock::time_point now) {
  xcb_client_message_event_t ev{};
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = window_;
  ev.type = protocols_;
  uint32_t serial;
  {
    std::lock_guard<std::mutex> l(m_);
    serial = ++serial_;
    waiting_[serial] = now;
    ++result_.sent;
  }
  ev.data.data32[0] = ping_;
  ev.data.data32[1] = serverTime0_ + static_cast<uint32_t>(
                                         std::chrono::duration_cast<std::chrono::milliseconds>(now - clock0_).count());
  ev.data.data32[2] = window_;
  ev.data.data32[3] = serial;
  ev.data.data32[4] = kMark;
  xcb_send_event(c_, 0, window_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
  xcb_flush(c_);
}

void WmPing::take(xcb_generic_event_t* e) {
  if ((e->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return;  // errors (a window gone) and the rest
  const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e);
  if (m->window != root_ || m->type != protocols_ || m->format != 32 || m->data.data32[0] != ping_ ||
      m->data.data32[2] != window_ || m->data.data32[4] != kMark)
    return;
  const auto now = Clock::now();
  std::lock_guard<std::mutex> l(m_);
  auto it = waiting_.find(m->data.data32[3]);
  if (it == waiting_.end()) return;
  result_.longestMs = std::max(result_.longestMs, ms(now - it->second));
  ++result_.answered;
  waiting_.erase(it);
}

void WmPing::run() {
  const int fd = xcb_get_file_descriptor(c_);
  auto next = Clock::now();
  while (!stop_ && !xcb_connection_has_error(c_)) {
    auto now = Clock::now();
    if (sending_ && now >= next) {
      send(now);
      next = now + every_;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, sending_ ? static_cast<int>(std::clamp<long long>(left, 0, 5)) : 5);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
      take(e);
      std::free(e);
    }
  }
}

void WmPing::stopSending() { sending_ = false; }

void WmPing::windowGone() {
  sending_ = false;
  std::lock_guard<std::mutex> l(m_);
  if (!isGone_) {
    isGone_ = true;
    gone_ = Clock::now();
  }
}

long WmPing::outstanding() {
  std::lock_guard<std::mutex> l(m_);
  return static_cast<long>(waiting_.size());
}

WmPing::Result WmPing::stop() {
  if (!running()) return result_;
  sending_ = false;
  stop_ = true;
  thread_.join();
  const auto end = isGone_ ? gone_ : Clock::now();
  std::lock_guard<std::mutex> l(m_);
  for (const auto& [serial, at] : waiting_) result_.longestMs = std::max(result_.longestMs, ms(end - at));
  waiting_.clear();
  // The root window's events are ours no longer.
  const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
  xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &none);
  xcb_flush(c_);
  return result_;
}

}  // namespace benchwindow
