#pragma once
// Helpers of the asset generators.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace assetgen {

// A WAV file of 16-bit mono PCM samples at rate samples a second.
QByteArray monoWav16(const std::vector<std::int16_t>& samples, int rate);

// Writes bytes to path, replacing what was there; false when it cannot be
// written (a file that cannot be opened is named on stderr).
bool writeFile(const QString& path, const QByteArray& bytes);

// Saves img to path in format (from the file's ending when null); false,
// with the file named on stderr, when it cannot be written.
bool saveImage(const QImage& img, const QString& path, const char* format = nullptr);

}  // namespace assetgen
