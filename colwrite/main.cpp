// Colwrite: shows the mail text that RuvoMail left in "test.txt" beside this
// program in vertical columns.
#include <QApplication>

#include "colwrite/form1.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("Colwrite"));
  Form1().Show();
  return app.exec();
}
