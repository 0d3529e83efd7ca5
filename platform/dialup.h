#pragma once
// Dial-up links: the running pppd links, found through the pid files pppd
// leaves in its run folder ("ppp0.pid", "ppp-<link name>.pid"), and their
// hang-up. Only a process whose name is pppd is ever signalled, so that a
// stale pid file naming a reused process id does no harm.
#include <QList>
#include <QString>

namespace dialup {

struct Link {
  QString name;   // interface or link name from the pid file's name ("ppp0", "provider")
  qint64 pid = 0;
};

// The run folder ("/run" unless RUVO_RUN_FOLDER or setRunFolder says otherwise).
QString runFolder();
// Points the layer at another folder (tests); empty returns to the default.
void setRunFolder(const QString& folder);

// The running links, one per pppd process, in the order of their pid files'
// names. Returns false (and no links) when the run folder cannot be read.
bool enumLinks(QList<Link>& links);

// Asks the link's pppd to hang up and end (SIGTERM); does not wait for the
// line to drop. False when the process is gone or is no pppd.
bool hangUp(const Link& link);

}  // namespace dialup
