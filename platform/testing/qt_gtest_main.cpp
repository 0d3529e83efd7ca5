// Test main for tests that need Qt: one QApplication on the offscreen
// platform, and seams that never block on a modal box.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "platform/seams.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
  qputenv("SDL_AUDIODRIVER", qgetenv("SDL_AUDIODRIVER").isEmpty() ? QByteArray("dummy") : qgetenv("SDL_AUDIODRIVER"));
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("RuvoMail"));
  // A test that did not replace a seam gets the first button and no dialog.
  seams::setMsgBoxHandler([](const seams::MsgBoxCall& c) {
    std::fprintf(stderr, "[msgbox] %s: %s\n", c.title.toUtf8().constData(), c.prompt.toUtf8().constData());
    switch (c.buttons & 7) {
      case seams::vbYesNo:
      case seams::vbYesNoCancel: return int(seams::vbYes);
      case seams::vbRetryCancel: return int(seams::vbRetry);
      case seams::vbAbortRetryIgnore: return int(seams::vbAbort);
      default: return int(seams::vbOK);
    }
  });
  seams::setFileDialogHandler([](const seams::FileDialogCall&) { return std::optional<QString>(); });
  seams::setPrintDialogHandler([](QPrinter&, QWidget*) { return false; });
  seams::setColorDialogHandler([](const seams::ColorDialogCall&) { return std::optional<std::uint32_t>(); });
  seams::setStartHandler([](const seams::StartCall&) { return true; });
  seams::setUrlHandler([](const QString&) { return true; });
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
