#include "assets/common/assetgen.h"

#include <QFile>
#include <cstdio>

namespace assetgen {

namespace {

void put16le(QByteArray& b, std::uint16_t v) {
  b.append(char(v & 0xFF));
  b.append(char((v >> 8) & 0xFF));
}

void put32le(QByteArray& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}

}  // namespace

QByteArray monoWav16(const std::vector<std::int16_t>& samples, int rate) {
  const auto data = static_cast<std::uint32_t>(samples.size() * 2);
  QByteArray wav("RIFF");
  wav.reserve(static_cast<qsizetype>(44 + data));
  put32le(wav, 36 + data);
  wav.append("WAVEfmt ");
  put32le(wav, 16);
  put16le(wav, 1);  // PCM
  put16le(wav, 1);  // mono
  put32le(wav, static_cast<std::uint32_t>(rate));
  put32le(wav, static_cast<std::uint32_t>(rate * 2));
  put16le(wav, 2);
  put16le(wav, 16);
  wav.append("data");
  put32le(wav, data);
  for (std::int16_t v : samples) put16le(wav, static_cast<std::uint16_t>(v));
  return wav;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return f.write(bytes) == bytes.size() && f.error() == QFileDevice::NoError;
}

bool saveImage(const QImage& img, const QString& path, const char* format) {
  if (!img.save(path, format)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace assetgen
