#include "platform/testing/window_manager.h"

#include "platform/border.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/testing/window_check.h"

namespace wmtest {
namespace {

using ui::atom;
using ui::x11;

QString atomName(xcb_connection_t* c, xcb_atom_t a) {
  xcb_get_atom_name_reply_t* r = xcb_get_atom_name_reply(c, xcb_get_atom_name(c, a), nullptr);
  if (!r) return {};
  const QString n = QString::fromLatin1(xcb_get_atom_name_name(r), xcb_get_atom_name_name_length(r));
  std::free(r);
  return n;
}

xcb_window_t root(xcb_connection_t* c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

// A property of 32-bit items.
std::vector<std::uint32_t> property(xcb_connection_t* c, xcb_window_t w, const char* name, xcb_atom_t type) {
  std::vector<std::uint32_t> out;
  xcb_get_property_reply_t* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, atom(c, name), type, 0, 1024), nullptr);
  if (!r) return out;
  if (r->format == 32) {
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r));
    out.assign(v, v + xcb_get_property_value_length(r) / 4);
  }
  std::free(r);
  return out;
}

QStringList atoms(const QWidget* w, const char* name) {
  QStringList out;
  xcb_connection_t* c = x11();
  if (!c || !w->isWindow()) return out;
  for (const std::uint32_t a : property(c, static_cast<xcb_window_t>(w->winId()), name, XCB_ATOM_ATOM))
    out << atomName(c, a);
  return out;
}

// A client message about window w to the root window, as pagers and task
// bars send them (source indication 2: the user).
void tell(xcb_window_t w, const char* type, std::uint32_t d0, std::uint32_t d1 = 0, std::uint32_t d2 = 0,
          std::uint32_t d3 = 0, std::uint32_t d4 = 0) {
  xcb_connection_t* c = x11();
  if (!c) return;
  xcb_client_message_event_t e{};
  e.response_type = XCB_CLIENT_MESSAGE;
  e.format = 32;
  e.window = w;
  e.type = atom(c, type);
  e.data.data32[0] = d0;
  e.data.data32[1] = d1;
  e.data.data32[2] = d2;
  e.data.data32[3] = d3;
  e.data.data32[4] = d4;
  xcb_send_event(c, 0, root(c), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&e));
  xcb_flush(c);
}

void maximised(QWidget* w, bool on) {
  xcb_connection_t* c = x11();
  if (!c) return;
  tell(static_cast<xcb_window_t>(w->winId()), "_NET_WM_STATE", on ? 1 : 0, atom(c, "_NET_WM_STATE_MAXIMIZED_VERT"),
       atom(c, "_NET_WM_STATE_MAXIMIZED_HORZ"), 2);
}

// Waits until done holds (a window manager that refuses a request never
// makes it hold: three seconds at most), then until w stands still.
void answered(QWidget* w, const std::function<bool()>& done) {
  (void)QTest::qWaitFor(done, 3000);
  windowcheck::waitUntilStill(w);
}

}  // namespace

bool present() {
  xcb_connection_t* c = x11();
  return c && !property(c, root(c), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).empty();
}

QString name() {
  xcb_connection_t* c = x11();
  if (!c) return {};
  const std::vector<std::uint32_t> check = property(c, root(c), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW);
  if (check.empty()) return {};
  xcb_get_property_reply_t* r = xcb_get_property_reply(
      c, xcb_get_property(c, 0, check.front(), atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 0, 256), nullptr);
  if (!r) return {};
  const QString n = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
  std::free(r);
  return n.section(u' ', 0, 0).toLower();
}

QStringList allowedActions(const QWidget* w) { return atoms(w, "_NET_WM_ALLOWED_ACTIONS"); }
QStringList states(const QWidget* w) { return atoms(w, "_NET_WM_STATE"); }
QStringList types(const QWidget* w) { return atoms(w, "_NET_WM_WINDOW_TYPE"); }

Motif motif(const QWidget* w) {
  Motif m;
  xcb_connection_t* c = x11();
  if (!c || !w->isWindow()) return m;
  const xcb_atom_t a = atom(c, "_MOTIF_WM_HINTS");
  xcb_get_property_reply_t* r =
      xcb_get_property_reply(c, xcb_get_property(c, 0, static_cast<xcb_window_t>(w->winId()), a, a, 0, 5), nullptr);
  if (!r) return m;
  if (r->format == 32 && xcb_get_property_value_length(r) >= 12) {
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r));
    m.present = true;
    m.functions = (v[0] & 1u) ? v[1] : 1u;  // (no functions given: all of them)
    m.decorations = (v[0] & 2u) ? v[2] : 1u;
  }
  std::free(r);
  return m;
}

QRect clientOnScreen(const QWidget* w) {
  xcb_connection_t* c = x11();
  if (!c || !present() || !w->isWindow()) return {};
  const auto id = static_cast<xcb_window_t>(w->winId());
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
  xcb_translate_coordinates_reply_t* t =
      xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, id, root(c), 0, 0), nullptr);
  QRect r;
  if (g && t) r = QRect(t->dst_x, t->dst_y, g->width, g->height);
  std::free(g);
  std::free(t);
  return r;
}

QRect frameOnScreen(const QWidget* w) {
  const QRect inner = clientOnScreen(w);
  xcb_connection_t* c = x11();
  if (inner.isNull() || !c) return inner;
  const std::vector<std::uint32_t> e =
      property(c, static_cast<xcb_window_t>(w->winId()), "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL);
  if (e.size() != 4) return inner;  // left, right, top, bottom
  return inner.adjusted(-static_cast<int>(e[0]), -static_cast<int>(e[2]), static_cast<int>(e[1]), static_cast<int>(e[3]));
}

bool onTaskBar(const QWidget* w) {
  xcb_connection_t* c = x11();
  if (!c || !w->isWindow() || !w->isVisible()) return false;
  const auto id = static_cast<xcb_window_t>(w->winId());
  bool managed = false;
  for (const std::uint32_t v : property(c, root(c), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW)) managed = managed || v == id;
  if (!managed) return false;
  if (states(w).contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR"))) return false;
  for (const QString& t : types(w))
    for (const char* left : {"_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_TOOLBAR",
                             "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_SPLASH"})
      if (t == QLatin1String(left)) return false;
  const std::vector<std::uint32_t> owner = property(c, id, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW);
  return owner.empty() || owner.front() == 0;
}


void maximise(QWidget* w) {
  maximised(w, true);
  answered(w, [w] { return w->isMaximized(); });
}

void restore(QWidget* w) {
  maximised(w, false);
  answered(w, [w] { return !w->isMaximized(); });
}

void resizeTo(QWidget* w, const QSize& size) {
  if (!present()) return;
  // A drag of the frame's lower right corner with the pointer (XTest, through
  // xdotool): the window manager sizes the window as the user's hand makes it,
  // within the least and largest sizes the window gives.
  const QRect frame = w->frameGeometry();
  const QPoint from = frame.bottomRight();
  const QPoint to = from + QPoint(size.width() - w->width(), size.height() - w->height());
  const QPoint half = (from + to) / 2;
  auto at = [](const QPoint& p) { return QStringList{QString::number(p.x()), QString::number(p.y())}; };
  QStringList args = QStringList{QStringLiteral("mousemove")} + at(from);
  args << QStringLiteral("sleep") << QStringLiteral("0.2") << QStringLiteral("mousedown") << QStringLiteral("1")
       << QStringLiteral("sleep") << QStringLiteral("0.1") << QStringLiteral("mousemove") << at(half)
       << QStringLiteral("sleep") << QStringLiteral("0.1") << QStringLiteral("mousemove") << at(to)
       << QStringLiteral("sleep") << QStringLiteral("0.2") << QStringLiteral("mouseup") << QStringLiteral("1");
  QProcess xdotool;
  xdotool.start(QStringLiteral("xdotool"), args);
  // (the program's own events go on while the hand moves)
  (void)QTest::qWaitFor([&] { return xdotool.state() == QProcess::NotRunning; }, 5000);
  answered(w, [w, size] { return w->size() == size; });
}

void activate(QWidget* w) {
  tell(static_cast<xcb_window_t>(w->winId()), "_NET_ACTIVE_WINDOW", 2, XCB_CURRENT_TIME);
  answered(w, [w] { return w->isActiveWindow(); });
}

}  // namespace wmtest
