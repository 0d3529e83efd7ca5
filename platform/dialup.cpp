#include "dialup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <csignal>
#include <sys/types.h>

namespace dialup {
namespace {

QString& overrideFolder() {
  static QString f;
  return f;
}

// The name of a running process (as /proc/<pid>/comm), empty when none.
QString processName(qint64 pid) {
  QFile f(QStringLiteral("/proc/%1/comm").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromLocal8Bit(f.readAll()).trimmed();
}

bool isPppd(qint64 pid) { return pid > 1 && processName(pid) == QStringLiteral("pppd"); }

}  // namespace

QString runFolder() {
  if (!overrideFolder().isEmpty()) return overrideFolder();
  const QByteArray env = qgetenv("RUVO_RUN_FOLDER");
  if (!env.isEmpty()) return QString::fromLocal8Bit(env);
  return QStringLiteral("/run");
}

void setRunFolder(const QString& folder) { overrideFolder() = folder; }

bool enumLinks(QList<Link>& links) {
  links.clear();
  QDir dir(runFolder());
  if (!dir.exists() || !dir.isReadable()) return false;
  const QStringList files =
      dir.entryList({QStringLiteral("ppp*.pid")}, QDir::Files | QDir::Readable, QDir::Name);
  QSet<qint64> seen;
  for (const QString& file : files) {
    QFile f(dir.filePath(file));
    if (!f.open(QIODevice::ReadOnly)) continue;
    bool ok = false;
    const qint64 pid = QString::fromLocal8Bit(f.readLine()).trimmed().toLongLong(&ok);
    if (!ok || seen.contains(pid) || !isPppd(pid)) continue;
    seen.insert(pid);
    QString name = QFileInfo(file).completeBaseName();
    if (name.startsWith(QStringLiteral("ppp-"))) name = name.mid(4);
    links.append(Link{name, pid});
  }
  return true;
}

bool hangUp(const Link& link) {
  if (!isPppd(link.pid)) return false;
  return ::kill(static_cast<pid_t>(link.pid), SIGTERM) == 0;
}

}  // namespace dialup
