#pragma once
// The program start and end around the main window's load and unload.
#include <QString>
#include <QStringList>

namespace startup {

// The folders under the program folder that the client writes into; missing
// ones are created at start.
const QStringList& dataFolders();
void ensureDataFolders();

// The fourth accessory's copy of the settings file: deletes
// "\★MailData\DATA\Ddata\DATA\ini.ini" and copies "\★MailData\ini.ini" to it.
// Failures are silent; returns whether a copy was made.
bool refreshAccessoryCopy();

// One instance at a time: an advisory lock on a file in the data folder,
// which the kernel releases when the process ends, however it ends. The
// lock needs no write access to the file: one left read-only, by another
// user or as a folder is locked as it stands; one this user cannot open at
// all is replaced unless it is locked.
struct LockResult {
  enum State { Acquired, Held, Unwritable } state;
  QString reason;  // Unwritable: the system's words for why
};
LockResult acquireInstanceLock();
void releaseInstanceLock();
QString instanceLockPath();

// The message shown when the data folder cannot be written.
QString unwritableFolderText(const QString& reason);

// The message shown when the settings file exists but cannot be read.
QString unreadableSettingsText(const QString& reason);

// Removes the temporaries that an interrupted write of a settings file
// left beside it.
void removeSettingsLeftovers();

// The mail library's one-time set-up (receive buffers of 8192) and shutdown.
void mailLibraryStart();
void mailLibraryEnd();

}  // namespace startup
