// Flipset: reversi against the computer.
#include <QApplication>
#include <QFileInfo>

#include "flipset/frmFlipset.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  // MIDI needs a General MIDI sound font; point the synthesiser at the one
  // the system offers when none is set.
  if (qEnvironmentVariableIsEmpty("SDL_SOUNDFONTS")) {
    for (const char* f : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
                          "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3"}) {
      if (QFileInfo::exists(QString::fromLatin1(f))) {
        qputenv("SDL_SOUNDFONTS", f);
        break;
      }
    }
  }
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("Flipset"));
  frmFlipset();
  return app.exec();
}
