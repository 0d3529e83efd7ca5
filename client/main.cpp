// RuvoMail: loading the main window is the program start.
#include <QApplication>

#include "client/mainwindow/mainform.h"
#include "client/mainwindow/mascot.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  mascot::preferX11();
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("RuvoMail"));
  // The tray keeps the program alive while every window is hidden.
  QApplication::setQuitOnLastWindowClosed(false);
  forms::MainForm& main = MainForm();
  if (!main.startHidden()) main.Show();
  return app.exec();
}
