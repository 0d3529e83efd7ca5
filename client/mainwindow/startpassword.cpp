// The start-up password: the prompt shown at start-up and the password set,
// checked and stored.

#include "client/mainwindow/startpassword.h"

#include <QGuiApplication>
#include <QScreen>

#include "client/mainwindow/kidouform.h"
#include "client/mainwindow/settings.h"

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

}  // namespace

void showStartPasswordPrompt() {
  forms::KidouForm& k = ::KidouForm();
  // The prompt comes up in the middle of the screen.
  if (const QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect g = s->availableGeometry();
    k.Move(ui::tw(g.x()) + (ui::tw(g.width()) - k.Width()) / 2, ui::tw(g.y()) + (ui::tw(g.height()) - k.Height()) / 2);
  }
  k.Show();
}

bool StartPasswordPending() { return KidouFormLoaded() && !::KidouForm().accepted(); }

namespace startpassword {

QString storedForm(const QString& password) {
  if (password.isEmpty()) return password;
  const bool blankAround = isBlank(password.front()) || isBlank(password.back());
  const bool quoted = password.size() >= 2 && (password.front() == u'"' || password.front() == u'\'') &&
                      password.back() == password.front();
  if (!blankAround && !quoted) return password;
  return u'"' + password + u'"';
}

bool store(const QString& password, const QString& confirm) {
  if (!settings::writeText(settings::key::StartPassword, storedForm(password))) return false;
  // The confirmation is only kept beside it; nothing reads it.
  settings::writeText(settings::key::StartPasswordConfirm, storedForm(confirm));
  return true;
}

}  // namespace startpassword
