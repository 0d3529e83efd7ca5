#include "client/mainwindow/mascot.h"

#include <QApplication>
#include <QWidget>

#include "platform/ui.h"

namespace mascot {

// Placeholder until the mascot window is built.
void show() {}

void away() {
  // Closes any loaded mascot window ("Form1") without loading one.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QStringLiteral("Form1"))
      if (auto* f = dynamic_cast<ui::Form*>(w); f && f->isLoaded()) f->Unload();
}

}  // namespace mascot
