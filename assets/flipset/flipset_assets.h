#pragma once
// The reversi game's assets, drawn and composed here: the stone sheet
// "picture.bmp" (12 frames of 32 x 32 at x = 36 i + 4, y = 4: frame 0 the
// black face, frame 11 the white one, the turn between), the background tune
// "BGM.MID" (a standard MIDI file of our own) and the game-end sound.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace flipset_assets {

inline const QString kPictureFile = QStringLiteral("picture.bmp");
inline const QString kMusicFile = QStringLiteral("BGM.MID");
inline const QString kEndSoundFile = QStringLiteral("gameend.wav");

QImage stoneSheet();
QByteArray tuneMidi();
QByteArray endSoundWav();

// Writes the three files into folder; false when one cannot be written.
bool writeAll(const QString& folder);

}  // namespace flipset_assets
