#pragma once
// The archiver windows under test: a program folder of its own, message
// boxes recorded and answered in turn, the end of the program turned into an
// exception, and (when a test asks for it) the archiver calls recorded and
// answered with scripted results instead of reaching the archiver layer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <ostream>
#include <vector>

#include "client/mainwindow/form1.h"
#include "client/tools/assyukuform.h"
#include "client/tools/kaitoform.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"
#include "platform/ui.h"

namespace lhatest {

class LhaTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::vector<seams::MsgBoxCall> boxes;
  std::deque<int> answers;  // answers given in turn; then the first button
  std::vector<Module6::UnlhaCall> calls;
  std::deque<int> results;  // results of the recorded archiver calls in turn; then 0
  std::function<void(const Module6::UnlhaCall&)> duringCall;
  int ends = 0;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    paths::setProgramFolder(dir.path());
    seamtest::recordMsgBoxes(boxes, answers, seamtest::yesToAnyQuestion);
    seamtest::throwOnEnd(ends);
  }

  void TearDown() override {
    if (KaitoFormLoaded()) KaitoForm().Unload();
    if (AssyukuFormLoaded()) AssyukuForm().Unload();
    if (Form1Loaded()) ::Form1().Unload();
    Module6::setUnlhaHandler({});
    Module6::setCheckArchiveHandler({});
    Module6::setLibrarySearch({});
    ui::setEndHook({});
    seamtest::answerMsgBoxes(seamtest::alwaysOk);
    paths::setProgramFolder(QString());
  }

  // Archiver calls are recorded and answered from results.
  void recordCalls() {
    Module6::setUnlhaHandler([this](const Module6::UnlhaCall& c) {
      calls.push_back(c);
      if (duringCall) duringCall(c);
      if (results.empty()) return 0;
      const int r = results.front();
      results.pop_front();
      return r;
    });
  }

  QString path(const QString& rel) const { return dir.path() + u'/' + rel; }
  void writeFile(const QString& rel, const QByteArray& bytes) const {
    QDir().mkpath(QFileInfo(path(rel)).path());
    QFile f(path(rel));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  // Drops local files on a window or control through Qt's drag and drop events.
  static void dropOn(QWidget* target, const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
  }
  static QByteArray readFile(const QString& p) {
    QFile f(p);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
};

}  // namespace lhatest
