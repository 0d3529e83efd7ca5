// Putting the desktop mascot out and taking it away.

#include "client/mainwindow/mascot.h"

#include <QtGlobal>

#include "client/mainwindow/form1.h"

namespace mascot {

void show() { ::Form1().Show(); }

void away() {
  if (Form1Loaded()) ::Form1().Unload();
}

void preferX11() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
  if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY")) return;
  qputenv("QT_QPA_PLATFORM", "xcb");
}

}  // namespace mascot
