// The client's settings files: ini.ini, iniIdPass.ini and xqmail.ini.
#include "client/mainwindow/settings.h"

#include "client/mainwindow/globals.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

#include <QFile>
#include <algorithm>
#include <QFileInfo>

#include <cstring>
#include <memory>

namespace settings {
namespace {

QString iniPath() { return paths::resolve(kIniFile); }
QString idPassPath() { return paths::resolve(kIdPassFile); }

// The password files are created readable by their owner only; a file
// that exists keeps its mode.
bool writePrivate(const QString& file, const char* key, const QString& value) {
  if (!QFileInfo::exists(file) && !profile::makePrivate(file)) return false;
  return profile::WritePrivateProfileString(kSection, QString::fromLatin1(key), value, file);
}

}  // namespace

QString readText(const char* key) {
  const bool name8 = std::strcmp(key, key::UserName) == 0;
  const bool name10 = std::strcmp(key, key::StartPassword) == 0;
  const QString def = (name8 || name10) ? kSecretDefault : QString();
  const QString v = profile::GetPrivateProfileString(kSection, QString::fromLatin1(key), def, iniPath(), 256);
  if (v.isEmpty()) return name8 ? kSecretDefault : QString();  // nothing read: the key's empty result
  return v;
}

int readNumber(const char* key) {
  return profile::GetPrivateProfileInt(kSection, QString::fromLatin1(key), 0, iniPath());
}

int readSwitch(const char* key, int current) {
  const int v = readNumber(key);
  return (v == 0 || v == 1) ? v : current;
}

std::optional<QString> storedText(const char* key) {
  return profile::readValue(kSection, QString::fromLatin1(key), iniPath());
}

bool writeText(const char* key, const QString& value) { return writePrivate(iniPath(), key, value); }

bool writeNumber(const char* key, long long value) {
  return writePrivate(iniPath(), key, QString::number(value));
}

std::future<bool> writeNumberAside(const char* key, long long value) {
  // The path is resolved here: only the texts go to the thread (a key is
  // one of the constant names above).
  const QString file = iniPath(), v = QString::number(value);
  return std::async(std::launch::async, [file, key, v] { return writePrivate(file, key, v); });
}

QString readAccountText(const char* key) {
  return profile::GetPrivateProfileString(kSection, QString::fromLatin1(key), QString(), idPassPath(), 256);
}

bool writeAccountText(const char* key, const QString& value) { return writePrivate(idPassPath(), key, value); }

ServerFileValues parseServerFile(const std::string& bytes) {
  ServerFileValues v;
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    std::size_t j = i;
    while (j < n && bytes[j] != '\r' && bytes[j] != '\n') ++j;
    const QString line = cp932::decode(std::string_view(bytes.data() + i, j - i));
    if (j < n && bytes[j] == '\r' && j + 1 < n && bytes[j + 1] == '\n')
      i = j + 2;
    else
      i = j + 1;
    const QString head = vb::Left(line, 5);
    const QString value = vb::Mid(line, 6, 100);
    if (head == u"SMTP=") {
      v.smtp = value;
    } else if (head == u"POP3=") {
      v.pop3 = value;
    } else if (head == u"MAIL=") {
      v.mail = value;
    } else if (head == u"APOP=") {
      try {
        v.apop = vb::CInt(vb::Val(value));
      } catch (const vb::Overflow&) {
        // A number beyond the 16-bit range is not a switch value: ignored.
      }
    }
  }
  return v;
}

ServerFileValues readServerFile() {
  QFile f(paths::resolve(kServerFile));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return parseServerFile(f.readAll().toStdString());
}

ServerFileValues loadServerSettings() {
  ServerFileValues v = readServerFile();
  if (v.smtp) SmtpServer = *v.smtp;
  if (v.pop3) PopServer = *v.pop3;
  if (v.mail) FromAddress = *v.mail;
  if (v.apop) UseApop = *v.apop;
  return v;
}

std::string formatServerFile(const QString& smtp, const QString& pop3, const QString& mail, std::int16_t apop) {
  // A number is written with a blank in place of its sign when not negative.
  const std::string number = apop < 0 ? std::to_string(apop) : " " + std::to_string(apop);
  return "SMTP=" + cp932::encode(smtp) + "\r\n" + "POP3=" + cp932::encode(pop3) + "\r\n" + "MAIL=" +
         cp932::encode(mail) + "\r\n" + "APOP=" + number + "\r\n";
}

bool saveServerSettings() {
  // Each value is the rest of its line: a line break would make a line of
  // its own.
  for (const QString* v : {&SmtpServer, &PopServer, &FromAddress})
    if (v->contains(u'\r') || v->contains(u'\n')) return false;
  return profile::replaceFile(paths::resolve(kServerFile),
                              formatServerFile(SmtpServer, PopServer, FromAddress, UseApop));
}

QString unstorableReason(const QString& text) {
  if (text.contains(u'\r') || text.contains(u'\n')) return QStringLiteral("この欄には改行を入力できません。");
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype n =
        (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
    const QString c = text.mid(i, n);
    if (!cp932::canEncode(c))
      return QStringLiteral("「%1」はShift-JISで保存できない文字のため、この欄には入力できません。").arg(c);
    i += n;
  }
  return QString();
}

QValidator::State ValueValidator::validate(QString& input, int& pos) const {
  if (!unstorableReason(input).isEmpty()) return Invalid;
  if (maxBytes_ <= 0) return Acceptable;
  auto fits = [&](const QString& s) { return static_cast<int>(cp932::byteLength(s)) <= maxBytes_; };
  if (fits(input)) return Acceptable;
  // What was just typed or pasted ends at the cursor: characters before it
  // are taken out, one whole character at a time, until the rest fits.
  QString s = input;
  int p = std::clamp(pos, 0, static_cast<int>(s.size()));
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

void guardEntry(QLineEdit* box, int maxBytes) {
  box->setValidator(new ValueValidator(box, maxBytes));
  // The box takes back a refused edit after this signal; a text the
  // program set is kept. So the message waits for the box to settle and
  // comes only when the box holds a storable text again. Its reason is the
  // refused text's, taken now.
  auto pending = std::make_shared<bool>(false);
  QObject::connect(box, &QLineEdit::inputRejected, box, [box, pending] {
    if (*pending) return;
    const QString reason = unstorableReason(box->text());
    if (reason.isEmpty()) return;
    *pending = true;
    QMetaObject::invokeMethod(
        box,
        [box, pending, reason] {
          *pending = false;
          if (!unstorableReason(box->text()).isEmpty()) return;
          seams::MsgBox(reason, seams::vbExclamation);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace settings
