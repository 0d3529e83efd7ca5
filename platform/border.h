#pragma once
// The window hints that platform's windows write themselves (border.cpp).
class QWidget;
struct xcb_connection_t;

namespace ui {

// The X connection of the program's windows; null when they are not on X.
xcb_connection_t* x11();
// The atom of a name on that connection (XCB_ATOM_NONE when it fails).
unsigned atom(xcb_connection_t* c, const char* name);

// A window of fixed size (least size = largest size, framed) asks the window
// manager, through its Motif hints, for no resizing and no maximising; its
// minimise button stays as its flags have it. Runs as the window is shown,
// before it is framed.
void fixedSizeHints(QWidget* w);

}  // namespace ui
