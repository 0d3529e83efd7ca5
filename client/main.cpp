// RuvoMail: loading the main window is the program start.
#include <QApplication>

#include "client/mainwindow/mainform.h"
#include "client/mainwindow/mascot.h"
#include "platform/sound.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  mascot::preferX11();
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("RuvoMail"));
  // The first new-mail sound should not stop the window while the device opens.
  sound::openSoon();
  // The tray keeps the program alive while every window is hidden.
  QApplication::setQuitOnLastWindowClosed(false);
  forms::MainForm& main = MainForm();
  if (!main.startHidden()) main.Show();
  return app.exec();
}
