#pragma once
// A program folder of its own for each reply-composer test, message boxes
// and file dialogs answered as the test says, "end at once" observed, and
// the windows thrown away afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <deque>
#include <optional>
#include <ostream>
#include <vector>

#include "client/composer/backform.h"
#include "client/composer/kaoform.h"
#include "client/history/editorcommands.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/settings.h"
#include "client/tools/helpform.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"
#include "platform/ui.h"

namespace backtest {

using seamtest::fileBytes;

inline void writeFile(const QString& path, const QByteArray& bytes) { seamtest::putFile(path, bytes); }

using seamtest::sjis;

class BackFormTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::vector<seams::MsgBoxCall> boxes;
  std::deque<int> answers;  // answers given in turn; then the first button
  std::vector<seams::FileDialogCall> dialogs;
  std::deque<std::optional<QString>> chosen;  // dialog answers in turn; then cancel
  int ends = 0;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
    paths::setProgramFolder(dir.path());
    seamtest::recordMsgBoxes(boxes, answers);
    seamtest::recordFileDialogs(dialogs, chosen);
    seamtest::throwOnEnd(ends);
    DocumentPath.clear();
    DocumentModified = false;
    BoldCount = ItalicCount = UnderlineCount = 0;
    CurrentRecordNo = 0;
    HeldReplyRec = records::MailRecord();
    QApplication::clipboard()->clear();
  }

  void TearDown() override {
    if (KaoFormLoaded()) ::KaoForm().Unload();
    if (BackFormLoaded()) ::BackForm().Unload();
    if (TyakuFormLoaded()) ::TyakuForm().Unload();
    if (HelpFormLoaded()) ::HelpForm().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    seamtest::answerMsgBoxes();
    seamtest::cancelFileDialogs();
    seamtest::cancelPrintDialogs();
    ui::setEndHook(nullptr);
    DocumentPath.clear();
    DocumentModified = false;
    paths::setProgramFolder(QString());
  }

  QString real(const QString& programPath) const { return paths::resolve(programPath); }
  QString ini() const { return real(settings::kIniFile); }
  QString heldFile() const { return real(records::kHeldReplyFile); }

  // The reply composer as the viewer's reply command leaves it.
  forms::BackForm& reply(const QString& subject, const QString& to, const QString& body) {
    auto& b = ::BackForm();
    b.SubjectText->setText(subject);
    b.ToText->setText(to);
    SetEditorText(b.rtfEd, body);
    b.Show();
    return b;
  }

  std::vector<records::MailRecord> heldRecords() {
    records::MailFile f(records::kHeldReplyFile);
    std::vector<records::MailRecord> all;
    f.readAll(all);
    return all;
  }

  void writeHeld(const std::vector<std::array<QString, 3>>& replies) {
    records::MailFile f(records::kHeldReplyFile);
    for (const auto& r : replies) {
      records::MailRecord rec;
      rec.Subject = r[0];
      rec.FromTo = r[1];
      rec.Body = r[2];
      ASSERT_GT(f.append(rec), 0) << f.errorText().toStdString();
    }
  }

  // A selection of row (0-based) of the held list, as a click makes it.
  static void clickHeldRow(int row) {
    auto& b = ::BackForm();
    b.List1->setCurrentRow(row);
  }
};

}  // namespace backtest
