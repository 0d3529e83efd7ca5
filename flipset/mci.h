#pragma once
// A small interpreter of media command strings over the platform's sound
// layer: "open <file> alias <name> [wait]", "seek <name> to start [wait]",
// "play <name>", "stop <name> [wait]", "status <name> mode [wait]" and
// "close <name> [wait]". MIDI files play on the music stream, WAV files on a
// voice of their own. Without a sound device (or a synthesiser for MIDI)
// the device fails to open or play and every later command on it fails
// quietly with an error code.
#include <QString>
#include <functional>
#include <map>
#include <memory>

namespace flipset {

// Error codes of the media commands (0 is success).
enum MciError : int {
  MCIERR_UNRECOGNIZED_COMMAND = 261,
  MCIERR_HARDWARE = 262,
  MCIERR_INVALID_DEVICE_NAME = 263,
  MCIERR_CANNOT_LOAD_DRIVER = 266,
  MCIERR_MISSING_PARAMETER = 273,
  MCIERR_FILE_NOT_FOUND = 275,
  MCIERR_DEVICE_NOT_READY = 276,
  MCIERR_DUPLICATE_ALIAS = 289,
};

// Points the MIDI synthesiser at a General MIDI sound font the system
// offers (SDL_SOUNDFONTS) when none is set; returns the font in use, or an
// empty string when there is none.
QString chooseSoundFont();

class Mci {
 public:
  Mci();
  ~Mci();
  Mci(const Mci&) = delete;
  Mci& operator=(const Mci&) = delete;

  // Runs one command; the reply (for status) goes into reply when given.
  // Returns 0 or an error code.
  int mciSendString(const QString& command, QString* reply = nullptr);

  // Every command string sent to any device, in order (for a log or a test).
  static void setLog(std::function<void(const QString&)> log);
  // Closes every open device.
  void closeAll();

 private:
  struct Device;
  int run(const QString& command, QString* reply);
  std::map<QString, std::unique_ptr<Device>> devices_;
};

}  // namespace flipset
