#pragma once
// A program folder of its own for each history test, the message boxes
// recorded and answered as the test says, and helpers to write list files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <deque>
#include <ostream>
#include <vector>

#include "client/composer/backform.h"
#include "client/composer/friendform.h"
#include "client/history/editorcommands.h"
#include "client/history/kinkoform.h"
#include "client/history/openform.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/recordfile.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"

namespace historytest {

using seamtest::fileBytes;

inline void writeFile(const QString& path, const QByteArray& bytes) { seamtest::putFile(path, bytes); }

using seamtest::sjis;

struct Mail {
  QString subject, date, from, body;
  std::int16_t live = 1;
};

inline records::MailRecord record(const Mail& m) {
  records::MailRecord r;
  r.Subject = m.subject;
  r.MailDate = m.date;
  r.FromTo = m.from;
  r.Body = m.body;
  return r;
}

class HistoryTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::vector<seams::MsgBoxCall> boxes;
  std::deque<int> answers;  // answers given in turn; then the first button

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    for (const char* f : {"★MailData/DATA/Edata", "■TextQuickSave"}) QDir(dir.path()).mkpath(QString::fromUtf8(f));
    paths::setProgramFolder(dir.path());
    seamtest::recordMsgBoxes(boxes, answers);
    MailListKind = 0;
    DocumentPath.clear();
    DocumentModified = false;
    BoldCount = ItalicCount = UnderlineCount = 0;
    QApplication::clipboard()->clear();
  }

  void TearDown() override {
    for (auto unload : {+[] { if (FriendFormLoaded()) ::FriendForm().Unload(); },
                        +[] { if (KinkoFormLoaded()) ::KinkoForm().Unload(); },
                        +[] { if (OpenFormLoaded()) ::OpenForm().Unload(); },
                        +[] { if (BackFormLoaded()) ::BackForm().Unload(); },
                        +[] { if (TyakuFormLoaded()) ::TyakuForm().Unload(); }})
      unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    seamtest::answerMsgBoxes();
    seamtest::cancelFileDialogs();
    seamtest::letProgramsStart();
    seamtest::cancelPrintDialogs();
    MailListKind = 0;
    DocumentPath.clear();
    DocumentModified = false;
    paths::setProgramFolder(QString());
  }

  QString real(const QString& programPath) const { return paths::resolve(programPath); }
  QString ini() const { return real(QStringLiteral("\\★MailData\\ini.ini")); }

  void writeList(const QString& programPath, const std::vector<Mail>& mails) {
    records::MailFile f(programPath);
    ASSERT_TRUE(f.open());
    for (const Mail& m : mails) {
      records::MailRecord r = record(m);
      const int n = f.append(r);
      ASSERT_GT(n, 0) << f.errorText().toStdString();
      if (m.live != 1) {
        ASSERT_TRUE(f.setLive(n, m.live));
      }
    }
  }

  std::vector<records::MailRecord> readList(const QString& programPath) {
    records::MailFile f(programPath);
    std::vector<records::MailRecord> all;
    f.readAll(all);
    return all;
  }

  static std::vector<Mail> threeMails() {
    return {{QStringLiteral("件名一"), QStringLiteral("2026/01/01"), QStringLiteral("a@example.jp"), QStringLiteral("本文一")},
            {QStringLiteral("件名二"), QStringLiteral("2026/01/02"), QStringLiteral("b@example.jp"), QStringLiteral("本文二\r\n二行目")},
            {QStringLiteral("件名三"), QStringLiteral("2026/01/03"), QStringLiteral("c@example.jp"), QStringLiteral("  本文三  ")}};
  }

  // A click on row n (1-based) of the viewer's list.
  static void clickRow(int n) {
    auto& f = ::TyakuForm();
    f.MailListView->setCurrentItem(f.MailListView->topLevelItem(n - 1));
    f.MailListView_ItemClick();
  }
};

}  // namespace historytest
