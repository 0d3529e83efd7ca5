#pragma once
// A program folder of its own for each main-window test, message boxes and
// web addresses recorded, "end at once" observed, and every window thrown
// away afterwards so that the next test loads them afresh.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <vector>

#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/race.h"
#include "client/mainwindow/settings.h"
#include "client/mainwindow/startup.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"
#include "platform/ui.h"

namespace mainformtest {

using seamtest::fileBytes;

using seamtest::writeFile;

using seamtest::sjis;

using seamtest::destroyWindows;

class MainFormTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::vector<seams::MsgBoxCall> boxes;
  std::vector<QString> urls;
  int ends = 0;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    destroyWindows();
    race::reset();
    startup::releaseInstanceLock();
    paths::setProgramFolder(dir.path());
    seamtest::recordMsgBoxes(boxes, seamtest::alwaysOk);
    seams::setUrlHandler([this](const QString& u) {
      urls.push_back(u);
      return true;
    });
    seamtest::throwOnEnd(ends);
    SmtpServer = PopServer = FromAddress = UserId = UserPassword = QString();
    UseApop = 0;
    MailListKind = 0;
  }

  void TearDown() override {
    destroyWindows();
    race::reset();
    startup::releaseInstanceLock();
    ui::setEndHook(nullptr);
    seams::setRandom(nullptr);
    seams::setTickCount(nullptr);
    paths::setProgramFolder(QString());
  }

  QString path(const QString& programPath) const { return paths::resolve(programPath); }
  QString ini() const { return path(settings::kIniFile); }

  // Writes ini.ini with the given lines of section EXEINI (CP932, CR LF).
  void writeIni(const QStringList& lines) {
    QString text = QStringLiteral("[EXEINI]\r\n");
    for (const QString& l : lines) text += l + QStringLiteral("\r\n");
    writeFile(dir.path() + QStringLiteral("/★MailData/ini.ini"), sjis(text));
  }

  QString iniValue(const char* key) const {
    return profile::readValue(settings::kSection, QString::fromLatin1(key), ini()).value_or(QStringLiteral("<none>"));
  }

  // Starts the program without a start-up password (the shipped settings).
  forms::MainForm& start(const QStringList& extraIni = {}) {
    QStringList lines{QStringLiteral("NAME10=")};
    lines += extraIni;
    writeIni(lines);
    return MainForm();
  }

  // Closes the main window as the user does; the program then ends at once.
  void closeMain() {
    EXPECT_THROW(MainForm().close(), ui::EndCalled);
  }
};

}  // namespace mainformtest
