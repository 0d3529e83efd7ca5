#include "sound.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <QFile>
#include <QThread>

#include <future>

namespace sound {
namespace {

int g_state = 0;  // 0 not tried, 1 open, -1 no device
Mix_Chunk* g_wav = nullptr;
int g_wavChannel = -1;
Mix_Music* g_music = nullptr;
QByteArray g_musicData;

void freeWav() {
  if (g_wavChannel >= 0) Mix_HaltChannel(g_wavChannel);
  g_wavChannel = -1;
  if (g_wav) Mix_FreeChunk(g_wav);
  g_wav = nullptr;
}

Mix_Chunk* chunkFrom(const QByteArray& data) {
  SDL_RWops* rw = SDL_RWFromConstMem(data.constData(), static_cast<int>(data.size()));
  if (!rw) return nullptr;
  return Mix_LoadWAV_RW(rw, 1);
}

bool playChunk(Mix_Chunk* c, bool sync, bool loop) {
  if (!c) return false;
  g_wav = c;
  g_wavChannel = Mix_PlayChannel(-1, c, loop ? -1 : 0);
  if (g_wavChannel < 0) {
    freeWav();
    return false;
  }
  if (sync && !loop)
    while (Mix_Playing(g_wavChannel)) QThread::msleep(5);
  return true;
}

bool openDevice() {
  // SDL would otherwise take over SIGINT and SIGTERM, and the programs
  // could no longer be stopped by them.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  if (Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 1024) != 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  Mix_AllocateChannels(16);
  Mix_Init(MIX_INIT_MID);
  return true;
}

// The opening under way on its own thread (openSoon), until open() takes it.
std::future<bool> g_opening;

// The opening thread: an SDL thread, whose per-thread data SDL frees when
// it ends (it would keep that of a thread of another making to the end).
int openingThread(void* data) {
  auto* result = static_cast<std::promise<bool>*>(data);
  result->set_value(openDevice());
  delete result;
  return 0;
}

}  // namespace

bool open() {
  if (g_state != 0) return g_state > 0;
  const bool ok = g_opening.valid() ? g_opening.get() : openDevice();
  g_state = ok ? 1 : -1;
  return ok;
}

void openSoon() {
  if (g_state != 0 || g_opening.valid()) return;
  auto* result = new std::promise<bool>;
  std::future<bool> opened = result->get_future();
  SDL_Thread* t = SDL_CreateThread(&openingThread, "sound-open", result);
  if (!t) {
    delete result;  // open() opens the device itself
    return;
  }
  SDL_DetachThread(t);
  g_opening = std::move(opened);
}

bool available() { return open(); }

bool playWavFile(const QString& path, bool sync, bool loop) {
  if (!open()) return false;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    stopWav();
    return false;
  }
  return playWavData(f.readAll(), sync, loop);
}

bool playWavData(const QByteArray& wav, bool sync, bool loop) {
  if (!open()) return false;
  freeWav();
  return playChunk(chunkFrom(wav), sync, loop);
}

void stopWav() {
  if (g_state > 0) freeWav();
}

bool wavPlaying() { return g_state > 0 && g_wavChannel >= 0 && Mix_Playing(g_wavChannel); }

Clip::~Clip() {
  stop();
  if (chunk_) Mix_FreeChunk(static_cast<Mix_Chunk*>(chunk_));
}

bool Clip::load(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  return loadData(f.readAll());
}

bool Clip::loadData(const QByteArray& data) {
  if (!open()) return false;
  stop();
  if (chunk_) Mix_FreeChunk(static_cast<Mix_Chunk*>(chunk_));
  chunk_ = chunkFrom(data);
  return chunk_ != nullptr;
}

bool Clip::play(int loops) {
  if (!chunk_ || g_state <= 0) return false;
  stop();
  channel_ = Mix_PlayChannel(-1, static_cast<Mix_Chunk*>(chunk_), loops);
  return channel_ >= 0;
}

void Clip::stop() {
  if (channel_ >= 0 && g_state > 0) Mix_HaltChannel(channel_);
  channel_ = -1;
}

bool Clip::playing() const { return channel_ >= 0 && g_state > 0 && Mix_Playing(channel_); }

bool playMusic(const QString& path, int loops) {
  if (!open()) return false;
  stopMusic();
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  g_musicData = f.readAll();
  SDL_RWops* rw = SDL_RWFromConstMem(g_musicData.constData(), static_cast<int>(g_musicData.size()));
  if (!rw) return false;
  g_music = Mix_LoadMUS_RW(rw, 1);
  if (!g_music) return false;
  return Mix_PlayMusic(g_music, loops) == 0;
}

void stopMusic() {
  if (g_state <= 0) return;
  Mix_HaltMusic();
  if (g_music) Mix_FreeMusic(g_music);
  g_music = nullptr;
}

bool musicPlaying() { return g_state > 0 && Mix_PlayingMusic(); }

}  // namespace sound
