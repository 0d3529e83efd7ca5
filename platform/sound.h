#pragma once
// Sound output on SDL2_mixer. Without a sound device every call fails
// quietly (returns false) and the program goes on.
#include <QByteArray>
#include <QString>

namespace sound {

// Opens the sound device once; later calls return the first result.
bool open();
// Starts opening the device on a thread of its own, at a program's start:
// opening takes a tenth of a second or more (the sound server, the
// drivers), and the window would answer nothing meanwhile at the first
// sound. open() then takes that thread's result, waiting for it if it is
// not done yet.
void openSoon();
bool available();

// The one "system sound" voice, as the platform's play-sound call: a new
// sound replaces the one playing. sync waits until it ends (not with loop).
bool playWavFile(const QString& path, bool sync, bool loop);
bool playWavData(const QByteArray& wav, bool sync, bool loop);
void stopWav();
bool wavPlaying();

// A sound of its own voice, for programs that play several at once.
class Clip {
 public:
  Clip() = default;
  ~Clip();
  Clip(const Clip&) = delete;
  Clip& operator=(const Clip&) = delete;
  bool load(const QString& path);
  bool loadData(const QByteArray& data);
  bool loaded() const { return chunk_ != nullptr; }
  // Plays from the start (loops: extra repeats, -1 for ever); stops a
  // previous play of this clip first.
  bool play(int loops = 0);
  void stop();
  bool playing() const;

 private:
  void* chunk_ = nullptr;
  int channel_ = -1;
};

// Music (MIDI and the like) on the music stream; loops -1 for ever.
bool playMusic(const QString& path, int loops);
void stopMusic();
bool musicPlaying();

}  // namespace sound
