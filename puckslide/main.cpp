// Puckslide: air hockey against the computer. Started without arguments;
// reads and writes no files.
#include <QApplication>
#include <QFont>

#include "platform/ui.h"
#include "puckslide/mainform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("Puckslide"));
  QFont::insertSubstitution(QStringLiteral("Book Antiqua"), QStringLiteral("P052"));
  MainForm().Show();
  return app.exec();
}
