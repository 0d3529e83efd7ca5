#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include "flipset/mci.h"
#include "flipset_assets.h"
#include "platform/sound.h"

using namespace flipset;

namespace {

struct Folder {
  QTemporaryDir dir;
  QString old = QDir::currentPath();
  Folder() {
    flipset_assets::writeAll(dir.path());
    QDir::setCurrent(dir.path());
  }
  ~Folder() { QDir::setCurrent(old); }
};

}  // namespace

TEST(Mci, UnknownDevicesAndCommandsFailQuietly) {
  Folder f;
  Mci mci;
  QString reply = QStringLiteral("x");
  EXPECT_EQ(mci.mciSendString(QStringLiteral("status bgm mode wait"), &reply), MCIERR_INVALID_DEVICE_NAME);
  EXPECT_TRUE(reply.isEmpty());
  EXPECT_EQ(mci.mciSendString(QStringLiteral("open nothing.mid alias bgm wait")), MCIERR_FILE_NOT_FOUND);
  EXPECT_EQ(mci.mciSendString(QStringLiteral("play bgm")), MCIERR_INVALID_DEVICE_NAME);
  EXPECT_EQ(mci.mciSendString(QString()), MCIERR_UNRECOGNIZED_COMMAND);
  EXPECT_EQ(mci.mciSendString(QStringLiteral("close beep wait")), MCIERR_INVALID_DEVICE_NAME);
}

TEST(Mci, EveryCommandIsLogged) {
  Folder f;
  Mci mci;
  QStringList log;
  Mci::setLog([&](const QString& c) { log << c; });
  mci.mciSendString(QStringLiteral("open BGM.MID alias bgm wait"));
  mci.mciSendString(QStringLiteral("status bgm mode wait"));
  mci.mciSendString(QStringLiteral("close bgm wait"));
  Mci::setLog({});
  EXPECT_EQ(log, (QStringList{"open BGM.MID alias bgm wait", "status bgm mode wait", "close bgm wait"}));
}

TEST(Mci, WaveDevicePlaysStopsAndCloses) {
  Folder f;
  if (!sound::available()) GTEST_SKIP() << "no sound device";
  Mci mci;
  ASSERT_EQ(mci.mciSendString(QStringLiteral("open gameend.wav alias beep wait")), 0);
  EXPECT_EQ(mci.mciSendString(QStringLiteral("open gameend.wav alias BEEP wait")), MCIERR_DUPLICATE_ALIAS);
  QString mode;
  EXPECT_EQ(mci.mciSendString(QStringLiteral("status beep mode wait"), &mode), 0);
  EXPECT_EQ(mode, QStringLiteral("stopped"));
  EXPECT_EQ(mci.mciSendString(QStringLiteral("seek beep to start wait")), 0);
  EXPECT_EQ(mci.mciSendString(QStringLiteral("play beep")), 0);
  mci.mciSendString(QStringLiteral("status beep mode wait"), &mode);
  EXPECT_EQ(mode, QStringLiteral("playing"));
  EXPECT_EQ(mci.mciSendString(QStringLiteral("stop beep wait")), 0);
  mci.mciSendString(QStringLiteral("status beep mode wait"), &mode);
  EXPECT_EQ(mode, QStringLiteral("stopped"));
  EXPECT_EQ(mci.mciSendString(QStringLiteral("close beep wait")), 0);
  EXPECT_EQ(mci.mciSendString(QStringLiteral("play beep")), MCIERR_INVALID_DEVICE_NAME);
}

TEST(Mci, MusicPlaysWithTheSystemSoundFontOrFailsForGood) {
  Folder f;
  if (!sound::available()) GTEST_SKIP() << "no sound device";
  const QString font = chooseSoundFont();
  Mci mci;
  ASSERT_EQ(mci.mciSendString(QStringLiteral("open BGM.MID alias bgm wait")), 0);
  EXPECT_EQ(mci.mciSendString(QStringLiteral("seek bgm to start wait")), 0);
  const int played = mci.mciSendString(QStringLiteral("play bgm"));
  QString mode;
  const int status = mci.mciSendString(QStringLiteral("status bgm mode wait"), &mode);
  if (played == 0) {
    EXPECT_EQ(status, 0);
    EXPECT_EQ(mode, QStringLiteral("playing"));
    EXPECT_EQ(mci.mciSendString(QStringLiteral("stop bgm wait")), 0);
    mci.mciSendString(QStringLiteral("status bgm mode wait"), &mode);
    EXPECT_EQ(mode, QStringLiteral("stopped"));
  } else {
    // A device that cannot play answers no status, so the game does not
    // try again on every tick.
    EXPECT_NE(status, 0);
    EXPECT_TRUE(mode.isEmpty());
  }
  if (!font.isEmpty()) {
    EXPECT_EQ(played, 0) << "the sound font " << font.toStdString() << " did not play";
  }
  EXPECT_EQ(mci.mciSendString(QStringLiteral("close bgm wait")), 0);
}
