#pragma once
// The window hints that platform's windows write themselves (border.cpp).
class QWidget;

namespace ui {

// A window of fixed size (least size = largest size, framed) asks the window
// manager, through its Motif hints, for no resizing and no maximising; its
// minimise button stays as its flags have it. Runs as the window is shown,
// before it is framed.
void fixedSizeHints(QWidget* w);

}  // namespace ui
