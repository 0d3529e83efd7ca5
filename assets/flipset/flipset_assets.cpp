#include "flipset_assets.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "assets/common/assetgen.h"

namespace flipset_assets {

namespace {

constexpr double kPi = 3.14159265358979323846;

void put32be(QByteArray& b, quint32 v) {
  for (int i = 3; i >= 0; --i) b.append(char((v >> (8 * i)) & 0xFF));
}
void putVar(QByteArray& b, quint32 v) {
  quint8 bytes[5];
  int n = 0;
  bytes[n++] = v & 0x7F;
  while ((v >>= 7) != 0) bytes[n++] = 0x80 | (v & 0x7F);
  while (n > 0) b.append(char(bytes[--n]));
}

QByteArray bytes3(int a, int b, int c) {
  QByteArray out;
  out.append(char(a));
  out.append(char(b));
  out.append(char(c));
  return out;
}

}  // namespace

QImage stoneSheet() {
  // The sheet's ground is the board's well, so the turning stone sits on
  // the board without a seam; the stone is centred on the 28 x 28 stage
  // that shows the frame's top-left corner.
  QImage img(36 * 12 + 4, 40, QImage::Format_RGB32);
  img.fill(QColor(0, 64, 0));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  for (int i = 0; i < 12; ++i) {
    const double cx = 36 * i + 4 + 14, cy = 4 + 14;
    const double turn = kPi * i / 11.0;
    const double half = std::max(1.0, 13.0 * std::fabs(std::cos(turn)));
    const double edge = 2.5 * std::sin(turn);
    // The stone's rim, seen while it stands on edge.
    if (edge > 0.2) {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(120, 120, 120));
      p.drawEllipse(QPointF(cx, cy), half + edge, 13.0);
    }
    const QColor face = i <= 5 ? QColor(0, 0, 0) : QColor(255, 255, 255);
    p.setPen(QPen(face, 1));
    p.setBrush(face);
    p.drawEllipse(QPointF(cx, cy), half, 13.0);
    // A soft highlight on the face.
    if (half > 6) {
      const QColor shine = i <= 5 ? QColor(70, 70, 70) : QColor(225, 225, 225);
      p.setPen(Qt::NoPen);
      p.setBrush(shine);
      p.drawEllipse(QPointF(cx - half * 0.35, cy - 5), half * 0.25, 2.5);
    }
  }
  return img;
}

QByteArray tuneMidi() {
  // A light tune in C major, 8 bars of 4/4 at 120 beats a minute: a
  // vibraphone melody over a plucked bass.
  constexpr int q = 96;  // ticks per quarter note
  struct Note {
    int key, beats;
  };
  const std::vector<Note> melody = {
      {64, 1}, {67, 1}, {72, 1}, {67, 1}, {69, 1}, {67, 1}, {64, 1}, {62, 1}, {65, 1}, {69, 1}, {72, 1},
      {69, 1}, {67, 2}, {64, 1}, {62, 1}, {60, 1}, {64, 1}, {67, 1}, {64, 1}, {65, 1}, {64, 1}, {62, 1},
      {65, 1}, {64, 1}, {62, 1}, {55, 1}, {59, 1}, {60, 4}};
  const std::vector<Note> bass = {{36, 2}, {43, 2}, {45, 2}, {40, 2}, {41, 2}, {45, 2}, {43, 2}, {38, 2},
                                  {36, 2}, {43, 2}, {41, 2}, {38, 2}, {43, 2}, {47, 2}, {36, 4}};
  struct Event {
    int tick, order;
    QByteArray bytes;
  };
  std::vector<Event> events;
  auto addVoice = [&](const std::vector<Note>& notes, int channel, int velocity) {
    int t = 0;
    for (const Note& n : notes) {
      const int len = n.beats * q;
      events.push_back({t, 1, bytes3(0x90 | channel, n.key, velocity)});
      events.push_back({t + len - 8, 0, bytes3(0x80 | channel, n.key, 0)});
      t += len;
    }
  };
  addVoice(melody, 0, 90);
  addVoice(bass, 1, 80);
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });

  QByteArray track;
  auto meta = [&](int type, const QByteArray& data) {
    putVar(track, 0);
    track.append(char(0xFF));
    track.append(char(type));
    putVar(track, static_cast<quint32>(data.size()));
    track.append(data);
  };
  meta(0x03, QByteArray("Flipset"));
  meta(0x51, QByteArray("\x07\xA1\x20", 3));          // 500000 microseconds a quarter
  meta(0x58, QByteArray("\x04\x02\x18\x08", 4));      // 4/4
  putVar(track, 0);
  track.append(QByteArray("\xC0\x0B", 2));  // channel 1: vibraphone
  putVar(track, 0);
  track.append(QByteArray("\xC1\x21", 2));  // channel 2: fingered bass
  int last = 0;
  for (const Event& e : events) {
    putVar(track, static_cast<quint32>(e.tick - last));
    track.append(e.bytes);
    last = e.tick;
  }
  putVar(track, 8);
  track.append(QByteArray("\xFF\x2F\x00", 3));

  QByteArray smf("MThd");
  put32be(smf, 6);
  smf.append(QByteArray("\x00\x00\x00\x01", 4));  // format 0, one track
  smf.append(char(0));
  smf.append(char(q));
  smf.append("MTrk");
  put32be(smf, static_cast<quint32>(track.size()));
  smf.append(track);
  return smf;
}

QByteArray endSoundWav() {
  // A rising four-note chime: C, E, G and the high C with a ringing tail.
  constexpr int rate = 22050;
  const double notes[4] = {523.25, 659.25, 783.99, 1046.5};
  const double starts[4] = {0.0, 0.12, 0.24, 0.36};
  const double total = 1.1;
  const int n = static_cast<int>(total * rate);
  std::vector<double> mix(static_cast<std::size_t>(n), 0.0);
  for (int k = 0; k < 4; ++k) {
    const int s0 = static_cast<int>(starts[k] * rate);
    for (int i = s0; i < n; ++i) {
      const double t = double(i - s0) / rate;
      const double env = std::exp(-t * (k == 3 ? 4.0 : 7.0)) * std::min(1.0, t * 400.0);
      mix[static_cast<std::size_t>(i)] +=
          env * (std::sin(2 * kPi * notes[k] * t) + 0.3 * std::sin(4 * kPi * notes[k] * t));
    }
  }
  std::vector<std::int16_t> pcm;
  pcm.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double fade = i > n - 800 ? double(n - i) / 800.0 : 1.0;
    const int v = static_cast<int>(std::lround(std::clamp(mix[static_cast<std::size_t>(i)] * 0.3 * fade, -1.0, 1.0) * 32000));
    pcm.push_back(static_cast<std::int16_t>(v));
  }
  return assetgen::monoWav16(pcm, rate);
}

bool writeAll(const QString& folder) {
  QDir().mkpath(folder);
  const QDir d(folder);
  if (!stoneSheet().save(d.filePath(kPictureFile), "BMP")) return false;
  auto write = [&](const QString& name, const QByteArray& bytes) {
    QFile f(d.filePath(name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
  };
  return write(kMusicFile, tuneMidi()) && write(kEndSoundFile, endSoundWav());
}

}  // namespace flipset_assets
