// Opening a list of 1,000 and of 5,000 mails in the history viewer: read
// every record, build the rows, fill the boxes with the last mail.
// Goal: the cost grows linearly (5,000 within 5.5 times 1,000) and 5,000
// mails are listed in under one second.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "client/history/openmaillist.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/recordfile.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/ui.h"

namespace {

QString body(int i) {
  QString text;
  for (int line = 0; line < 40; ++line)
    text += QStringLiteral("いつもお世話になっております。%1 通目のメールの %2 行目です。\r\n").arg(i).arg(line);
  return text;
}

struct Folder {
  QTemporaryDir dir;
  explicit Folder(int mails) {
    QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
    paths::setProgramFolder(dir.path());
    records::MailFile f(records::kReceivedFile);
    f.open();
    for (int i = 1; i <= mails; ++i) {
      records::MailRecord r;
      r.Subject = QStringLiteral("件名 %1 のお知らせ").arg(i);
      r.MailDate = QStringLiteral("Thu, 10 Dec 2026 10:%1:00 +0900").arg(i % 60, 2, 10, QLatin1Char('0'));
      r.FromTo = QStringLiteral("sender%1@example.jp").arg(i);
      r.Body = body(i);
      f.append(r);
    }
  }
};

void BM_OpenReceivedList(benchmark::State& state) {
  const int mails = static_cast<int>(state.range(0));
  Folder folder(mails);
  for (auto _ : state) {
    OpenMailList(1);
    benchmark::DoNotOptimize(::TyakuForm().MailListView->topLevelItemCount());
  }
  if (::TyakuForm().MailListView->topLevelItemCount() != mails) state.SkipWithError("wrong row count");
  state.SetItemsProcessed(state.iterations() * mails);
  ::TyakuForm().Unload();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  paths::setProgramFolder(QString());
}

BENCHMARK(BM_OpenReceivedList)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ui::initProgram(QStringLiteral("RuvoMail"));
  seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
