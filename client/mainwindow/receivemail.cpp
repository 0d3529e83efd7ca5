// The mail check as the other windows call it: one check at a time and
// none while the start-up password is asked for, the announcement of what
// came, and the automatic check's minute counter. The check itself is
// converse() (checkconversation.cpp) with the files it names; what they
// share is in mailcheck.h.
#include "client/mainwindow/receivemail.h"

#include "client/mainwindow/mailcheck.h"

#include <QLineEdit>
#include <QLocale>
#include <QObject>
#include <QPointer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <utility>

#include "client/mainwindow/mailwait.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/msgform.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/settings.h"
#include "client/mainwindow/startpassword.h"
#include "platform/vbstring.h"

using namespace mailcheck;

namespace {

bool g_running = false;
std::function<bool()> g_passwordPending;

// Ticks of the automatic check since the last one (or the last change of the interval).
std::int64_t g_minuteCounter = 0;
QPointer<QLineEdit> g_watchedInterval;

// The number in the interval box; false when it holds none.
bool numberIn(const QString& text, double& value) {
  const QString t = vb::Trim(text);
  if (t.isEmpty()) return false;
  bool ok = false;
  if (t.startsWith(QStringLiteral("&H"), Qt::CaseInsensitive)) {
    value = static_cast<double>(t.mid(2).toLongLong(&ok, 16));
    return ok;
  }
  if (t.startsWith(QStringLiteral("&O"), Qt::CaseInsensitive)) {
    value = static_cast<double>(t.mid(2).toLongLong(&ok, 8));
    return ok;
  }
  value = QLocale::c().toDouble(t, &ok);
  return ok && std::isfinite(value);
}

// Restarts the minute counter whenever the interval box changes.
void watchInterval(QLineEdit* box) {
  if (g_watchedInterval == box) return;
  g_watchedInterval = box;
  QObject::connect(box, &QLineEdit::textChanged, box, [] { ResetAutoCheck(); });
}

}  // namespace

bool MailCheckRunning() { return g_running; }

void setStartPasswordPending(std::function<bool()> pending) { g_passwordPending = std::move(pending); }

bool startPasswordPending() {
  if (g_passwordPending) return g_passwordPending();
  return StartPasswordPending() || (MainFormLoaded() && ::MainForm().startHidden());
}

void ReceiveMail() {
  if (g_running || startPasswordPending()) return;
  g_running = true;
  struct Done {
    ~Done() { g_running = false; }
  } done;

  forms::MainForm& m = ::MainForm();
  // The running total (below) is written on a thread of its own while the
  // mails reach the disk and the server ends the session; at the end it is
  // written again only when it came out otherwise (a session after a break
  // took more mails) or could not be written.
  std::optional<long long> written;
  std::future<bool> writing;
  long long writingTotal = 0;
  const auto settle = [&] {
    if (!writing.valid()) return;
    while (writing.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) mailwait::turnIfDue();
    if (writing.get()) written = writingTotal;
  };
  const Outcome out = converse([&](const Outcome& so) {
    if (so.waiting <= 0 || so.handled <= 0) return;
    settle();  // (the write of the session before a break)
    written.reset();
    writingTotal = static_cast<long long>(std::llround(vb::Val(m.Text14->text()))) + so.handled;
    writing = settings::writeNumberAside(settings::key::MailTotal, writingTotal);
  });
  settle();
  for (const QString& e : out.errors) errorBox(e);
  // Mails that came: those stored or deleted as spam (all that were
  // waiting but those left on the server), or the login's result.
  const int n = out.waiting > 0 ? out.handled : out.waiting;

  // Running total of new mails: Text14 carries it from check to check, so
  // that every mail found since the start counts (also when a write failed).
  const auto total = static_cast<long long>(std::llround(vb::Val(m.Text14->text()))) + (n > 0 ? n : 0);
  m.Text14->setText(QString::number(total));
  if (written != total) settings::writeNumber(settings::key::MailTotal, total);

  if (n > 0) {
    if (out.spam == 0) m.Command4_Click();
    else m.Command1_Click();
    return;
  }

  m.Text17->setText(QStringLiteral("0"));
  m.Text16->setText(QStringLiteral("0"));
  if (::SetForm().Check2->isChecked()) m.Command2_Click();
  m.Text15->setText(QString::number(std::max(records::MailFile(records::kVipFile).count(), 0)));
  ::MsgForm().Show();
  m.Wait(3000);
  if (MsgFormLoaded()) ::MsgForm().Unload();
}

void ResetAutoCheck() { g_minuteCounter = 0; }

void AutoCheckTick() {
  // The minutes stand still while a check runs or the password is asked for.
  if (g_running || startPasswordPending()) return;
  forms::SetForm& s = ::SetForm();
  watchInterval(s.Text6);
  const QString interval = s.Text6->text();
  double minutes = 0;
  if (!numberIn(interval, minutes)) return;
  if (minutes <= 0) return;
  ++g_minuteCounter;
  forms::MainForm& m = ::MainForm();
  m.timeLabel1->setText(QString::number(g_minuteCounter / 60));
  // The minutes are compared as numbers, so that "05" or "5.0" work as 5
  // does; a part of a minute waits for the next whole one.
  if (g_minuteCounter / 60 < minutes) return;
  g_minuteCounter = 0;
  m.Label8_Click();
}
