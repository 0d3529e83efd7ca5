#pragma once
// What the mail-check benchmarks share: a program folder of their own with
// the test server's "bench" account, and the maildrop filled afresh.
#include <sys/socket.h>
#include <unistd.h>
#include <netinet/in.h>
#include <arpa/inet.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "client/mainwindow/mainform.h"
#include "client/mainwindow/recordfile.h"
#include "nmail/tests/servers/servers.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/sound.h"
#include "platform/ui.h"

namespace checkbench {

inline const std::string kUser = "bench";

inline QString maildrop() { return QString::fromStdString(testservers::maildrop(kUser)); }

inline void clearMaildrop() {
  for (const char* sub : {"new", "cur", "tmp"}) {
    QDir d(maildrop() + u'/' + QLatin1String(sub));
    for (const QString& f : d.entryList(QDir::Files)) d.remove(f);
  }
}

inline int remaining() {
  int n = 0;
  for (const char* sub : {"new", "cur"}) n += QDir(maildrop() + u'/' + QLatin1String(sub)).entryList(QDir::Files).size();
  return n;
}

// Empties the maildrop and puts the mails in under fresh names.
inline void refillMaildrop(const std::vector<QByteArray>& mails) {
  static int round = 0;
  ++round;
  clearMaildrop();
  int no = 0;
  for (const QByteArray& m : mails) {
    ++no;
    const QString name = QStringLiteral("%1.R%2M%3P%4.bench").arg(1000000000 + no).arg(round).arg(no).arg(::getpid());
    const QString tmp = maildrop() + QStringLiteral("/tmp/") + name;
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly)) std::abort();
    f.write(m);
    f.close();
    if (::chown(QFile::encodeName(tmp).constData(), 65534, 65534) != 0) std::abort();
    QFile::rename(tmp, maildrop() + QStringLiteral("/new/") + name);
  }
}

inline bool serverListens() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(testservers::kPop3Port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

// Makes folder the program folder: the server file, the account, the
// keywords, a silent sound for the race; message boxes go to stderr. Then
// starts the program (settings window loaded, mail library ready).
inline void startProgram(const QString& folder, const QStringList& keywords) {
  paths::setProgramFolder(folder);
  QDir(folder).mkpath(QStringLiteral("★MailData"));
  QDir(folder).mkpath(QStringLiteral("Sound"));
  auto write = [&](const QString& name, const QByteArray& bytes) {
    QFile f(folder + u'/' + name);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
  };
  auto text = [](const QString& t) {
    const std::string b = cp932::encode(t);
    return QByteArray(b.data(), static_cast<qsizetype>(b.size()));
  };
  write(QStringLiteral("xqmail.ini"), text(QStringLiteral("POP3=%1\r\nMAIL=me@example.jp\r\nAPOP= 0\r\n")
                                               .arg(QString::fromLatin1(testservers::kPop3Server))));
  write(QStringLiteral("★MailData/iniIdPass.ini"),
        text(QStringLiteral("[EXEINI]\r\nNAME=%1\r\nNAME2=%2\r\nNAME3=1\r\n")
                 .arg(QString::fromStdString(kUser), QString::fromStdString(testservers::password(kUser)))));
  write(QStringLiteral("★MailData/ini.ini"), text(QStringLiteral("[EXEINI]\r\nNAME10=\r\n")));
  QByteArray wav("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0data", 40);
  const QByteArray samples(800, '\x80');
  const quint32 dataSize = samples.size(), riffSize = 36 + dataSize;
  wav.append(reinterpret_cast<const char*>(&dataSize), 4);
  wav.replace(4, 4, QByteArray(reinterpret_cast<const char*>(&riffSize), 4));
  write(QStringLiteral("Sound/Kouka.wav"), wav + samples);
  {
    records::SpamKeywordFile file(records::kSpamKeywordFile);
    for (const QString& k : keywords) {
      records::SpamKeywordRecord r;
      r.Keyword = k;
      file.append(r);
    }
  }
  seams::setMsgBoxHandler([](const seams::MsgBoxCall& c) {
    std::fprintf(stderr, "[msgbox] %s: %s\n", c.title.toUtf8().constData(), c.prompt.toUtf8().constData());
    return int(seams::vbOK);
  });
  ui::setEndHook([](int) {});
  sound::openSoon();  // as the program's start does
  ::MainForm();
}

// The program started in a folder of its own on the disk beside the
// benchmark (as a user's is), not in a /tmp that may live in memory: its
// flushes cost what they cost. RUVO_BENCH_FOLDER names another place for
// it. Null, with a word on stderr, when the test server is not there.
inline std::unique_ptr<QTemporaryDir> startOnDisk(const char* bench) {
  if (!serverListens()) {
    std::fprintf(stderr, "%s: no POP3 server on %s; start nmail/tests/servers/start.sh first\n", bench,
                 testservers::kPop3Server);
    return nullptr;
  }
  auto dir = std::make_unique<QTemporaryDir>(
      qEnvironmentVariable("RUVO_BENCH_FOLDER", QCoreApplication::applicationDirPath()) +
      QStringLiteral("/folder-XXXXXX"));
  startProgram(dir->path(), {QStringLiteral("未承諾広告※")});
  return dir;
}

}  // namespace checkbench
