#pragma once
// The reason a file operation failed, as the user reads it: the system's
// error number in Japanese words (the C library speaks the machine's own
// locale, English on most machines).
#include <QString>

namespace oserror {

// The reason for errno value err: Japanese words for the reasons a user
// meets with files and folders, else "エラー番号 n".
QString reasonText(int err);

}  // namespace oserror
