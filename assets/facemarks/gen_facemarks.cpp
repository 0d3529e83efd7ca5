// Ships the face-mark files of the chooser: each source text here (UTF-8,
// written by hand) goes into "<program folder>/顔文字データ/" as CP932 with
// CR LF line ends, only where the file is missing, so that the user's own
// edits survive every rebuild. Fails when a text holds a character that
// CP932 cannot hold unchanged.
//
//   gen_facemarks <source folder> <program folder>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <cstdio>

#include "platform/codepage.h"
#include "platform/paths.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: gen_facemarks <source folder> <program folder>\n");
    return 2;
  }
  const QString source = QString::fromLocal8Bit(argv[1]);
  const QString program = QString::fromLocal8Bit(argv[2]);
  QStringList names{QStringLiteral("Kao1.txt")};
  for (int i = 1; i <= 11; ++i) names << QStringLiteral("Text%1.txt").arg(i);

  const QString folder = paths::resolveUnder(program, QStringLiteral("顔文字データ"));
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "gen_facemarks: cannot create %s\n", qPrintable(folder));
    return 1;
  }
  int failures = 0;
  for (const QString& name : names) {
    QFile in(source + u'/' + name);
    if (!in.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "gen_facemarks: cannot read %s\n", qPrintable(in.fileName()));
      ++failures;
      continue;
    }
    QString text = QString::fromUtf8(in.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    const std::string bytes = cp932::encode(text);
    if (!cp932::canEncode(text) || cp932::decode(bytes) != text) {
      std::fprintf(stderr, "gen_facemarks: %s holds text that CP932 does not keep unchanged\n", qPrintable(name));
      ++failures;
      continue;
    }
    const QString target = paths::resolveUnder(folder, name);
    if (QFileInfo::exists(target)) continue;  // the user's file stays
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !out.commit()) {
      std::fprintf(stderr, "gen_facemarks: cannot write %s\n", qPrintable(target));
      ++failures;
    }
  }
  return failures ? 1 : 0;
}
