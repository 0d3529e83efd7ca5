// The border of a fixed window without minimise and maximise buttons, and
// the hints of every window of fixed size.
//
// Qt's window flags become the Motif hints, which most window managers
// follow for the buttons they draw and the actions they offer. Qt always
// asks there for resizing, and for maximising unless the flags leave it
// out, also for a window whose least and largest sizes are one: a window of
// fixed size writes its own hints (move, close, and minimise where its
// flags have it) each time it is shown, just before the window manager
// frames it.
//
// Openbox reads from the hints only whether a window may be moved and
// resized: it keeps minimising for every window, and maximising for every
// window it may resize. It drops both only for the kinds of window it takes
// for tool bars and torn-off menus. So under openbox, and only there (other
// managers follow the hints, and some leave a tool bar unframed or
// unfocused), a fixed single border of a window that belongs to another (a
// message box, a window shown over its owner) is also marked as one of its
// program's tool bars, with its own kind after it. A window that belongs to
// no other is never so marked: task bars list no tool bar, and such a window
// must keep its entry there to be found again once covered; openbox then
// gives it its minimise button. Nothing else of a marked window changes: it
// keeps its title bar and close box and a click into it still makes it
// active. Openbox gives such a window no focus when it opens, so the window
// asks for it itself, as every window gets it.
//
// The X calls go through xcb, the connection Qt itself uses; Qt has no
// call of its own for a window's kind beyond what its flags give.
#include "border.h"
#include "ui.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <QWidget>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ui {

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

namespace {

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

// The Motif hints of a window of fixed size: moving and closing, and
// minimising when minimise is true; a border and a title bar with its menu.
void writeFixedHints(xcb_connection_t* c, QWidget* w, bool minimise) {
  constexpr std::uint32_t kFunctions = 1, kDecorations = 2;
  constexpr std::uint32_t kFuncMove = 0x4, kFuncMinimise = 0x8, kFuncClose = 0x20;
  constexpr std::uint32_t kDecorBorder = 0x2, kDecorTitle = 0x8, kDecorMenu = 0x10, kDecorMinimise = 0x20;
  const std::uint32_t hints[5] = {kFunctions | kDecorations, kFuncMove | kFuncClose | (minimise ? kFuncMinimise : 0u),
                                  kDecorBorder | kDecorTitle | kDecorMenu | (minimise ? kDecorMinimise : 0u), 0, 0};
  const xcb_atom_t motif = atom(c, "_MOTIF_WM_HINTS");
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(w->winId()), motif, motif, 32, 5, hints);
  xcb_flush(c);
}

// Whether top-level window w belongs to another window (the window manager
// keeps it over its owner): one with a parent, and every dialog, which Qt
// makes transient for its program when it has no parent.
bool owned(const QWidget* w) {
  return w->parentWidget() || w->windowType() == Qt::Dialog ||
         (w->windowHandle() && w->windowHandle()->transientParent());
}

const QString kMarkName = QStringLiteral("ruvo_fixedSingleBorder");

// Watches a window with a fixed border: each time it is shown, just before
// the window manager frames it, it asks for no resizing, minimising or
// maximising, and an owned one is marked for a manager that reads no Motif
// hint for its buttons.
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
    if (!c || !w->isWindow()) return;
    writeFixedHints(c, w, false);
    if (!owned(w) || !windowManagerName(c).contains(QLatin1String("openbox"), Qt::CaseInsensitive)) return;
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

void fixedSizeHints(QWidget* w) {
  if (!w->isWindow() || w->minimumSize() != w->maximumSize() || (w->windowFlags() & Qt::FramelessWindowHint)) return;
  if (w->findChild<QObject*>(kMarkName, Qt::FindDirectChildrenOnly)) return;  // (its mark writes them)
  if (xcb_connection_t* c = x11()) writeFixedHints(c, w, (w->windowFlags() & Qt::WindowMinimizeButtonHint) ||
                                                             !(w->windowFlags() & Qt::CustomizeWindowHint));
}

void fixedSingleBorder(QWidget* w) {
  const Qt::WindowType kind = w->windowType() == Qt::Dialog ? Qt::Dialog : Qt::Window;
  w->setWindowFlags(kind | (w->windowFlags() & Qt::WindowStaysOnTopHint) | Qt::CustomizeWindowHint |
                    Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                    Qt::MSWindowsFixedSizeDialogHint);
  if (!w->findChild<QObject*>(kMarkName, Qt::FindDirectChildrenOnly)) new NoMinMaxMark(w);
}

}  // namespace ui
