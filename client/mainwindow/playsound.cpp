// Playing a WAV file, from its path or from memory, and the message of a
// sound that cannot be played.

#include "client/mainwindow/playsound.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include "platform/seams.h"
#include "platform/sound.h"

namespace {

// The whole WAV file of the last in-memory play. It stays allocated after
// the call, so that a sound started from memory keeps valid data.
QByteArray SoundBuffer;

constexpr qint64 kMaxInMemory = 2097152;

// Whether the sound device takes a new sound: a sound still playing is not
// interrupted (callers stop the current sound first). Without a sound device
// the program plays silently.
bool deviceBusy() { return sound::available() && sound::wavPlaying(); }

}  // namespace

std::int16_t PlaySoundFile(const QString& FileName, bool Synchronous, bool Looped, bool InMemory,
                           bool PurgeFirst) {
  if (PurgeFirst) sound::stopWav();
  if (Synchronous && Looped) return kSoundBadFlags;
  if (FileName.isEmpty() && !InMemory) {
    // No sound named: the play call stops what this program plays.
    sound::stopWav();
    return kSoundPlayed;
  }
  if (InMemory) {
    QFile f(FileName);
    if (!f.open(QIODevice::ReadOnly)) return kSoundNoFile;
    const qint64 len = f.size();
    if (len > kMaxInMemory) return kSoundTooLarge;
    if (len <= 0) return kSoundNoFile;
    QByteArray data = f.readAll();
    if (data.size() != len) return kSoundNoFile;
    SoundBuffer = std::move(data);
    if (deviceBusy()) return kSoundApiError;
    if (!sound::available()) return kSoundPlayed;
    return sound::playWavData(SoundBuffer, Synchronous, Looped) ? kSoundPlayed : kSoundApiError;
  }
  // By name: a missing or unreadable file fails in the play call itself (no
  // default sound is played instead).
  const QFileInfo fi(FileName);
  if (!fi.isFile() || !fi.isReadable()) return kSoundApiError;
  if (deviceBusy()) return kSoundApiError;
  if (!sound::available()) return kSoundPlayed;
  return sound::playWavFile(FileName, Synchronous, Looped) ? kSoundPlayed : kSoundApiError;
}

QString PlaySoundMessage(int code) {
  switch (code) {
    case 0: return QString();
    case 1: return QStringLiteral("ファイルサイズが大きすぎて展開に\r\n時間がかかる可能性があるため中止しました");
    case 2: return QStringLiteral("フラグの指定が正しくありません");
    case 3: return QStringLiteral("指定されたファイルは存在しません");
    case 4: return QStringLiteral("API がエラーを返しました");
    default: return QStringLiteral("未定義の致命的なエラーです");
  }
}

void ShowPlaySoundError(int code) {
  if (code == 0) return;
  seams::MsgBox(PlaySoundMessage(code), seams::vbOKOnly | seams::vbCritical, QStringLiteral("エラー"));
}
