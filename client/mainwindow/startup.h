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

// One instance at a time: a lock file in the data folder. A lock left by a
// run that crashed (its process is gone) is taken over. Returns false when
// another running instance holds it.
bool acquireInstanceLock();
void releaseInstanceLock();
QString instanceLockPath();

// The mail library's one-time set-up (receive buffers of 8192) and shutdown.
void mailLibraryStart();
void mailLibraryEnd();

}  // namespace startup
