// The border of a fixed window without minimise and maximise buttons.
//
// Qt's window flags become the Motif hints, which most window managers
// follow for the buttons they draw. Openbox reads from them only whether a
// window may be moved and resized: it keeps minimising for every window, and
// maximising for every window it may resize. It drops both only for the
// kinds of window it takes for tool bars and torn-off menus. So under
// openbox, and only there (other managers follow the hints, and some leave a
// tool bar unframed or unfocused), such a window is also marked as one of
// its program's tool bars, with its own kind after it. Nothing else of the
// window changes there: it keeps its title bar and close box, a window that
// belongs to no other keeps its place in the task bar and in the window
// switcher, and a click into it still makes it active. Openbox gives such a
// window no focus when it opens, so the window asks for it itself, as every
// window gets it.
//
// The X calls go through xcb, the connection Qt itself uses; Qt has no
// call of its own for a window's kind beyond what its flags give.
#include "ui.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ui {
namespace {

xcb_connection_t* x11() {
  auto* x = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x ? x->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
  const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(r);
  return a;
}

xcb_window_t rootOf(xcb_connection_t* c) {
  const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  return s ? s->root : xcb_window_t{XCB_WINDOW_NONE};
}

// The name the running window manager gives itself (EWMH), empty without one.
QString windowManagerName(xcb_connection_t* c) {
  const xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
  xcb_window_t wm = XCB_WINDOW_NONE;
  if (xcb_get_property_reply_t* r =
          xcb_get_property_reply(c, xcb_get_property(c, 0, rootOf(c), check, XCB_ATOM_WINDOW, 0, 1), nullptr)) {
    if (xcb_get_property_value_length(r) >= 4) wm = *static_cast<xcb_window_t*>(xcb_get_property_value(r));
    std::free(r);
  }
  if (wm == XCB_WINDOW_NONE) return {};
  QString name;
  if (xcb_get_property_reply_t* r = xcb_get_property_reply(
          c, xcb_get_property(c, 0, wm, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 0, 256), nullptr)) {
    name = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
    std::free(r);
  }
  return name;
}

const QString kMarkName = QStringLiteral("ruvo_fixedSingleBorder");

// Watches a window with a fixed border: each time it is shown, just before
// the window manager frames it, it is marked for a manager that reads no
// Motif hint for its buttons.
class NoMinMaxMark : public QObject {
 public:
  explicit NoMinMaxMark(QWidget* w) : QObject(w) {
    setObjectName(kMarkName);
    w->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Show && watched == parent()) mark(static_cast<QWidget*>(watched));
    return false;
  }

 private:
  static void mark(QWidget* w) {
    xcb_connection_t* c = x11();
    if (!c || !w->isWindow() || !windowManagerName(c).contains(QLatin1String("openbox"), Qt::CaseInsensitive)) return;
    std::vector<xcb_atom_t> kinds{atom(c, "_NET_WM_WINDOW_TYPE_TOOLBAR")};
    if (w->windowType() == Qt::Dialog) kinds.push_back(atom(c, "_NET_WM_WINDOW_TYPE_DIALOG"));
    kinds.push_back(atom(c, "_NET_WM_WINDOW_TYPE_NORMAL"));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(w->winId()), atom(c, "_NET_WM_WINDOW_TYPE"),
                        XCB_ATOM_ATOM, 32, static_cast<std::uint32_t>(kinds.size()), kinds.data());
    xcb_flush(c);
    // The request can reach openbox before it has taken the window on (a
    // busy machine), and is then lost: it is made again a few times, while
    // the window is shown and not yet active.
    for (const int ms : {0, 150, 400, 900, 2000})
      QTimer::singleShot(ms, w, [w = QPointer<QWidget>(w)] {
        if (w && w->isVisible() && !w->isActiveWindow()) w->activateWindow();
      });
  }
};

}  // namespace

void fixedSingleBorder(QWidget* w) {
  const Qt::WindowType kind = w->windowType() == Qt::Dialog ? Qt::Dialog : Qt::Window;
  w->setWindowFlags(kind | (w->windowFlags() & Qt::WindowStaysOnTopHint) | Qt::CustomizeWindowHint |
                    Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                    Qt::MSWindowsFixedSizeDialogHint);
  if (!w->findChild<QObject*>(kMarkName, Qt::FindDirectChildrenOnly)) new NoMinMaxMark(w);
}

}  // namespace ui
