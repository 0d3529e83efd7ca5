#include "flipset/mci.h"

#include <QFileInfo>
#include <QStringList>

#include "platform/sound.h"

namespace flipset {

struct Mci::Device {
  QString path;
  bool sequencer = false;  // MIDI on the music stream, else a WAV voice
  bool failed = false;     // playing proved impossible
  bool playing = false;
  sound::Clip clip;
};

namespace {

// Splits a command into words; a double-quoted word may hold blanks.
QStringList words(const QString& command) {
  QStringList out;
  QString cur;
  bool quoted = false, any = false;
  for (QChar ch : command) {
    if (ch == QLatin1Char('"')) {
      quoted = !quoted;
      any = true;
    } else if (!quoted && ch.isSpace()) {
      if (any) out << cur;
      cur.clear();
      any = false;
    } else {
      cur += ch;
      any = true;
    }
  }
  if (any) out << cur;
  return out;
}

// The music stream is shared: the sequencer that last started it owns it.
const void* g_musicOwner = nullptr;

}  // namespace

QString chooseSoundFont() {
  const QString set = qEnvironmentVariable("SDL_SOUNDFONTS");
  if (!set.isEmpty()) return set;
  for (const char* f : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
                        "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3"}) {
    if (QFileInfo::exists(QString::fromLatin1(f))) {
      qputenv("SDL_SOUNDFONTS", f);
      return QString::fromLatin1(f);
    }
  }
  return QString();
}

Mci::Mci() = default;

Mci::~Mci() { closeAll(); }

void Mci::closeAll() {
  for (auto& [name, dev] : devices_) {
    if (dev->sequencer && g_musicOwner == dev.get()) {
      sound::stopMusic();
      g_musicOwner = nullptr;
    }
    dev->clip.stop();
  }
  devices_.clear();
}

namespace {
std::function<void(const QString&)>& logFn() {
  static std::function<void(const QString&)> f;
  return f;
}
}  // namespace

void Mci::setLog(std::function<void(const QString&)> log) { logFn() = std::move(log); }

int Mci::mciSendString(const QString& command, QString* reply) {
  if (logFn()) logFn()(command);
  if (reply) reply->clear();
  return run(command, reply);
}

int Mci::run(const QString& command, QString* reply) {
  QStringList w = words(command);
  if (w.isEmpty()) return MCIERR_UNRECOGNIZED_COMMAND;
  const QString verb = w.takeFirst().toLower();
  if (!w.isEmpty() && w.last().compare(QLatin1String("wait"), Qt::CaseInsensitive) == 0) w.removeLast();
  if (w.isEmpty()) return MCIERR_MISSING_PARAMETER;

  if (verb == QLatin1String("open")) {
    const QString file = w.takeFirst();
    QString alias = file.toLower();
    if (w.size() >= 2 && w[0].compare(QLatin1String("alias"), Qt::CaseInsensitive) == 0) alias = w[1].toLower();
    if (devices_.count(alias)) return MCIERR_DUPLICATE_ALIAS;
    const QFileInfo fi(file);
    if (!fi.isFile() || !fi.isReadable()) return MCIERR_FILE_NOT_FOUND;
    if (!sound::available()) return MCIERR_CANNOT_LOAD_DRIVER;
    auto dev = std::make_unique<Device>();
    dev->path = fi.absoluteFilePath();
    const QString ext = fi.suffix().toLower();
    dev->sequencer = ext == QLatin1String("mid") || ext == QLatin1String("midi") || ext == QLatin1String("rmi");
    if (!dev->sequencer && !dev->clip.load(dev->path)) return MCIERR_CANNOT_LOAD_DRIVER;
    devices_[alias] = std::move(dev);
    return 0;
  }

  auto it = devices_.find(w.first().toLower());
  if (it == devices_.end()) return MCIERR_INVALID_DEVICE_NAME;
  Device& dev = *it->second;
  w.removeFirst();
  const bool ownsMusic = g_musicOwner == &dev;

  if (verb == QLatin1String("close")) {
    if (dev.sequencer && ownsMusic) {
      sound::stopMusic();
      g_musicOwner = nullptr;
    }
    devices_.erase(it);
    return 0;
  }
  if (dev.failed) return MCIERR_DEVICE_NOT_READY;

  if (verb == QLatin1String("seek") || verb == QLatin1String("stop")) {
    if (verb == QLatin1String("seek") &&
        !(w.size() >= 2 && w[0].compare(QLatin1String("to"), Qt::CaseInsensitive) == 0))
      return MCIERR_MISSING_PARAMETER;
    if (dev.sequencer) {
      if (ownsMusic) sound::stopMusic();
    } else {
      dev.clip.stop();
    }
    dev.playing = false;
    return 0;
  }
  if (verb == QLatin1String("play")) {
    if (dev.sequencer) {
      if (ownsMusic && sound::musicPlaying()) return 0;
      if (!sound::playMusic(dev.path, 0)) {
        dev.failed = true;
        return MCIERR_HARDWARE;
      }
      g_musicOwner = &dev;
    } else {
      if (dev.clip.playing()) return 0;
      if (!dev.clip.play(0)) {
        dev.failed = true;
        return MCIERR_HARDWARE;
      }
    }
    dev.playing = true;
    return 0;
  }
  if (verb == QLatin1String("status")) {
    if (w.isEmpty() || w[0].compare(QLatin1String("mode"), Qt::CaseInsensitive) != 0)
      return MCIERR_MISSING_PARAMETER;
    bool playing = false;
    if (dev.playing) playing = dev.sequencer ? ownsMusic && sound::musicPlaying() : dev.clip.playing();
    if (!playing) dev.playing = false;
    if (reply) *reply = playing ? QStringLiteral("playing") : QStringLiteral("stopped");
    return 0;
  }
  return MCIERR_UNRECOGNIZED_COMMAND;
}

}  // namespace flipset
