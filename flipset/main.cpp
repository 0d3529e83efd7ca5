// Flipset: reversi against the computer.
#include <QApplication>

#include "flipset/frmFlipset.h"
#include "flipset/mci.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  // MIDI needs a General MIDI sound font.
  flipset::chooseSoundFont();
  // The sound library must not take over the termination signals: a
  // terminated game ends as any program does.
  qputenv("SDL_NO_SIGNAL_HANDLERS", "1");
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("Flipset"));
  frmFlipset();
  return app.exec();
}
