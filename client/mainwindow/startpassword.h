#pragma once
// The start-up password: the prompt the start-up puts before the main
// window, and the rules of the stored password (ini.ini NAME10, the
// confirmation beside it as NAME11).
#include <QString>

// Shows the prompt window (not modal); the main window stays hidden until
// the prompt accepts the password held in MainForm.Text13.
void showStartPasswordPrompt();

// True from the start-up's prompt until the right password was typed.
// Meanwhile nothing may bring up the main window or what lies behind it:
// the mail check (and with it the settings window it may show), the race
// and the rain stay off.
bool StartPasswordPending();

namespace startpassword {

// The value as written to ini.ini: a value that starts or ends with a blank
// or a tab, or is wholly enclosed in quotes, is written in quotes, so that
// the read gives it back as typed (the read drops surrounding blanks and
// one pair of enclosing quotes).
QString storedForm(const QString& password);

// Writes NAME10 := password, then NAME11 := confirm. False when the
// password could not be written (the old password then stays, and NAME11
// is not touched).
bool store(const QString& password, const QString& confirm);

}  // namespace startpassword
