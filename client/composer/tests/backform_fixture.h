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
#include "platform/ui.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace backtest {

inline QByteArray fileBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

inline QByteArray sjis(const QString& s) {
  const std::string b = cp932::encode(s);
  return QByteArray(b.data(), static_cast<qsizetype>(b.size()));
}

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
    seams::setMsgBoxHandler([this](const seams::MsgBoxCall& c) {
      boxes.push_back(c);
      if (!answers.empty()) {
        const int a = answers.front();
        answers.pop_front();
        return a;
      }
      return (c.buttons & 7) == seams::vbYesNo ? int(seams::vbYes) : int(seams::vbOK);
    });
    seams::setFileDialogHandler([this](const seams::FileDialogCall& c) {
      dialogs.push_back(c);
      if (chosen.empty()) return std::optional<QString>();
      const QString a = chosen.front().value_or(QString());
      const bool cancelled = !chosen.front().has_value();
      chosen.pop_front();
      return cancelled ? std::optional<QString>() : std::optional<QString>(a);
    });
    ui::setEndHook([this](int code) {
      ++ends;
      throw ui::EndCalled{code};
    });
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
    seams::setMsgBoxHandler([](const seams::MsgBoxCall& c) {
      return (c.buttons & 7) == seams::vbYesNo ? int(seams::vbYes) : int(seams::vbOK);
    });
    seams::setFileDialogHandler([](const seams::FileDialogCall&) { return std::optional<QString>(); });
    seams::setPrintDialogHandler([](QPrinter&, QWidget*) { return false; });
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
