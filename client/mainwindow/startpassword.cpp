#include "client/mainwindow/startpassword.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "client/mainwindow/kidouform.h"
#include "client/mainwindow/settings.h"
#include "platform/codepage.h"

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
  const bool a = settings::writeText(settings::key::StartPassword, storedForm(password));
  const bool b = settings::writeText(settings::key::StartPasswordConfirm, storedForm(confirm));
  return a && b;
}

QValidator::State EntryValidator::validate(QString& input, int& pos) const {
  auto fits = [](const QString& s) {
    return cp932::canEncode(s) && static_cast<int>(cp932::byteLength(s)) <= kMaxBytes;
  };
  if (fits(input)) return Acceptable;
  // What was just typed or pasted ends at the cursor: characters before it
  // are taken out, one whole character at a time, until the rest fits.
  QString s = input;
  int p = std::clamp(pos, 0, static_cast<int>(s.size()));
  // First every character that CP932 cannot hold.
  for (int i = 0; i < s.size();) {
    const int n = (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) ? 2 : 1;
    if (!cp932::canEncode(s.mid(i, n))) {
      s.remove(i, n);
      if (i < p) p -= std::min(n, p - i);
    } else {
      i += n;
    }
  }
  while (!fits(s) && p > 0) {
    const int n = (p >= 2 && s.at(p - 1).isLowSurrogate() && s.at(p - 2).isHighSurrogate()) ? 2 : 1;
    s.remove(p - n, n);
    p -= n;
  }
  while (!fits(s) && !s.isEmpty()) s.chop(s.back().isLowSurrogate() && s.size() >= 2 ? 2 : 1);
  input = s;
  pos = p;
  return Acceptable;
}

}  // namespace startpassword
