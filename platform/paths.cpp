#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

namespace paths {
namespace {

QString& overrideFolder() {
  static QString f;
  return f;
}

bool asciiCaseEqual(const QString& a, const QString& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    char16_t x = a[i].unicode(), y = b[i].unicode();
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

QString asciiLower(const QString& s) {
  QString r = s;
  for (QChar& c : r)
    if (c.unicode() >= u'A' && c.unicode() <= u'Z') c = QChar(static_cast<char16_t>(c.unicode() + 32));
  return r;
}

// The entry of dir named name without regard to case; exact match first.
// Spellings found by listing a folder are remembered (and checked again on
// use), so the data folder's other spellings cost one look-up, not a listing.
QString matchEntry(const QString& dir, const QString& name) {
  if (QFileInfo::exists(dir + u'/' + name)) return name;
  static QHash<QString, QString> found;
  const QString key = dir + u'/' + asciiLower(name);
  const auto it = found.constFind(key);
  if (it != found.constEnd() && QFileInfo::exists(dir + u'/' + it.value())) return it.value();
  // A name of few ASCII letters is looked for spelling by spelling: the
  // listing of a folder of many thousand files (an attachment folder never
  // emptied) takes tens of milliseconds, while the window answers nothing.
  // Only ASCII letters differ between spellings, so this finds what the
  // listing would.
  QList<qsizetype> letters;
  for (qsizetype i = 0; i < name.size(); ++i) {
    const char16_t c = name[i].unicode();
    if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) letters << i;
  }
  constexpr qsizetype kMaxProbedLetters = 6;  // 63 spellings at most
  if (letters.size() <= kMaxProbedLetters) {
    for (unsigned flips = 1; flips < (1u << letters.size()); ++flips) {
      QString spelling = name;
      for (qsizetype b = 0; b < letters.size(); ++b)
        if (flips & (1u << b)) {
          const char16_t c = spelling[letters[b]].unicode();
          spelling[letters[b]] = QChar(static_cast<char16_t>(c <= u'Z' ? c + 32 : c - 32));
        }
      if (QFileInfo::exists(dir + u'/' + spelling)) {
        found.insert(key, spelling);
        return spelling;
      }
    }
    return QString();
  }
  const QStringList entries = QDir(dir.isEmpty() ? QStringLiteral("/") : dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& e : entries)
    if (asciiCaseEqual(e, name)) {
      found.insert(key, e);
      return e;
    }
  return QString();
}

QString walk(QString base, const QString& rel) {
  QString r = rel;
  r.replace(u'\\', u'/');
  const QStringList parts = r.split(u'/', Qt::SkipEmptyParts);
  bool exists = true;
  for (const QString& p : parts) {
    if (p == u".") continue;
    if (p == u"..") {
      base = QFileInfo(base).path();
      continue;
    }
    if (exists) {
      const QString m = matchEntry(base, p);
      if (!m.isEmpty()) {
        base += u'/' + m;
        continue;
      }
      exists = false;
    }
    base += u'/' + p;
  }
  return base;
}

}  // namespace

QString programFolder() {
  if (!overrideFolder().isEmpty()) return overrideFolder();
  const QByteArray env = qgetenv("RUVO_PROGRAM_FOLDER");
  if (!env.isEmpty()) return QDir::cleanPath(QString::fromLocal8Bit(env));
  if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
  return QDir::currentPath();
}

void setProgramFolder(const QString& folder) { overrideFolder() = folder.isEmpty() ? QString() : QDir::cleanPath(folder); }

QString resolveUnder(const QString& base, const QString& relativePath) {
  QString b = base;
  while (b.size() > 1 && b.endsWith(u'/')) b.chop(1);
  return walk(b, relativePath);
}

QString resolve(const QString& programPath) { return resolveUnder(programFolder(), programPath); }

QString resolveAbsolute(const QString& path) {
  QString p = path;
  p.replace(u'\\', u'/');
  if (!p.startsWith(u'/')) return resolve(p);
  const QString r = walk(QString(), p.mid(1));
  return r.isEmpty() ? QStringLiteral("/") : r;
}

QString ensureFolder(const QString& programPath) {
  const QString real = resolve(programPath);
  if (QFileInfo(real).isDir()) return real;
  if (!QDir().mkpath(real)) return QString();
  return real;
}

QString dataFolder() { return resolve(QStringLiteral("\\★MailData")); }

}  // namespace paths
