// Opens every window of the client one by one, as the user opens them, and
// saves a picture of each as it stands on the screen (frame, title bar and
// whatever lies over it included) into a folder, for a person to look at;
// last a picture of the whole screen with the program in the tray.
//
//   window_gallery PROGRAM_FOLDER OUTPUT_FOLDER
//
// Run it on a desktop of its own (scripts/screenshot-windows does). Message
// boxes are answered OK and noted on standard error; no program is started.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <vector>

#include "client/composer/backform.h"
#include "client/composer/ccform.h"
#include "client/composer/friendform.h"
#include "client/composer/kaoform.h"
#include "client/composer/writeform.h"
#include "client/history/kinkoform.h"
#include "client/history/openform.h"
#include "client/history/openmaillist.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/form1.h"
#include "client/mainwindow/gekitaiform.h"
#include "client/mainwindow/kidouform.h"
#include "client/mainwindow/kojinform.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/mascot.h"
#include "client/mainwindow/msgform.h"
#include "client/mainwindow/setform.h"
#include "client/tools/assyukuform.h"
#include "client/tools/helpform.h"
#include "client/tools/kaitoform.h"
#include "client/tools/monthform.h"
#include "client/tools/rantyaform.h"
#include "client/tools/tenpfoldform.h"
#include "client/tools/timeform.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/ui.h"

namespace {

void settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

bool shoot(const QWidget* w, const QString& file) {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return false;
  const QRect r = w->frameGeometry();
  const QPixmap p = s->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  return p.save(file);
}

ui::Form* shown(ui::Form& f) {
  f.Show();
  return &f;
}

struct Shot {
  const char* name;
  std::function<ui::Form*()> open;
};

}  // namespace

int main(int argc, char** argv) {
  mascot::preferX11();
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PROGRAM_FOLDER OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  ui::initProgram(QStringLiteral("RuvoMail"));
  QApplication::setQuitOnLastWindowClosed(false);
  paths::setProgramFolder(QString::fromLocal8Bit(argv[1]));
  const QDir out(QString::fromLocal8Bit(argv[2]));
  if (!QDir().mkpath(out.path())) return 1;
  seams::setMsgBoxHandler([](const seams::MsgBoxCall& c) {
    std::fprintf(stderr, "[box] %s: %s\n", c.title.toUtf8().constData(), c.prompt.toUtf8().constData());
    return int(seams::vbOK);
  });
  seams::setStartHandler([](const seams::StartCall&) { return true; });
  seams::setUrlHandler([](const QString&) { return true; });
  ui::setEndHook([](int) {});

  forms::MainForm& main = MainForm();
  main.Show();
  settle(1500);

  const std::vector<Shot> shots = {
      {"MainForm", [&] { return &main; }},
      {"SetForm", [] { return shown(SetForm()); }},
      {"GekitaiForm", [] { return shown(GekitaiForm()); }},
      {"KojinForm", [] { return shown(KojinForm()); }},
      {"KidouForm", [] { return shown(KidouForm()); }},
      {"MsgForm", [] { return shown(MsgForm()); }},
      {"TyakuForm", [] {
         OpenMailList(1);
         return &TyakuForm();
       }},
      {"KinkoForm", [] { return shown(KinkoForm()); }},
      {"OpenForm", [] { return shown(OpenForm()); }},
      {"WriteForm", [&] {
         main.Label9_Click();
         return &WriteForm();
       }},
      {"CcForm", [] { return shown(CcForm()); }},
      {"BackForm", [] { return shown(BackForm()); }},
      {"FriendForm", [] { return shown(FriendForm()); }},
      {"KaoForm", [] { return shown(KaoForm()); }},
      {"TenpFoldForm", [] { return shown(TenpFoldForm()); }},
      {"KaitoForm", [] { return shown(KaitoForm()); }},
      {"AssyukuForm", [] { return shown(AssyukuForm()); }},
      {"RantyaForm", [] { return shown(RantyaForm()); }},
      {"HelpForm", [] { return shown(HelpForm()); }},
      {"TimeForm", [] { return shown(TimeForm()); }},
      {"MonthForm", [] { return shown(MonthForm()); }},
      {"Form1", [&] {
         main.Label13_Click();
         return &Form1();
       }},
  };
  int n = 0, failed = 0;
  for (const Shot& s : shots) {
    ui::Form* w = s.open();
    settle(900);
    const QString file = out.filePath(QStringLiteral("%1-%2.png").arg(++n, 2, 10, QChar(u'0')).arg(QLatin1String(s.name)));
    if (!w->isVisible() || !shoot(w, file)) {
      std::fprintf(stderr, "%s: not shown\n", s.name);
      ++failed;
    } else {
      std::printf("%s\n", file.toLocal8Bit().constData());
    }
    // Closed again as the user closes it, except the main window and the
    // start-up password prompt (whose closing ends the program): hidden.
    const QLatin1String name(s.name);
    if (name == QLatin1String("KidouForm")) w->Hide();
    else if (name == QLatin1String("Form1")) main.Label14_Click();
    else if (w != &main && w->isLoaded()) w->Unload();
    settle(200);
  }
  // The whole screen with the program in the tray.
  main.IntoTray();
  settle(1200);
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    const QString file = out.filePath(QStringLiteral("%1-tray.png").arg(++n, 2, 10, QChar(u'0')));
    if (s->grabWindow(0).save(file)) std::printf("%s\n", file.toLocal8Bit().constData());
  }
  std::fflush(nullptr);
  return failed ? 1 : 0;
}
