// The sound routine's codes and the sound buttons.
#include <QTemporaryDir>
#include <QTest>

#include "client/mainwindow/playsound.h"
#include "client/mainwindow/tests/mainform_fixture.h"
#include "platform/sound.h"

using namespace mainformtest;

namespace {

// A PCM WAV file of exactly size bytes (silence).
QByteArray wavOfSize(qint64 size) {
  const quint32 data = static_cast<quint32>(size - 44);
  QByteArray b;
  auto u32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 255)); };
  auto u16 = [&](quint16 v) { for (int i = 0; i < 2; ++i) b.append(char((v >> (8 * i)) & 255)); };
  b.append("RIFF");
  u32(36 + data);
  b.append("WAVEfmt ");
  u32(16);
  u16(1);
  u16(1);
  u32(22050);
  u32(44100);
  u16(2);
  u16(16);
  b.append("data");
  u32(data);
  b.append(QByteArray(data, '\0'));
  return b;
}

}  // namespace

TEST_F(MainFormTest, PlaySoundCodes) {
  const QString small = dir.path() + QStringLiteral("/small.wav");
  const QString exact = dir.path() + QStringLiteral("/exact.wav");
  const QString over = dir.path() + QStringLiteral("/over.wav");
  const QString empty = dir.path() + QStringLiteral("/empty.wav");
  const QString missing = dir.path() + QStringLiteral("/missing.wav");
  writeFile(small, wavOfSize(4444));
  writeFile(exact, wavOfSize(2097152));
  writeFile(over, QByteArray(2097153, 'x'));
  writeFile(empty, QByteArray());
  struct Case {
    const char* name;
    QString file;
    bool sync, loop, mem;
    int code;
  } cases[] = {
      {"sync and loop, even without a file", missing, true, true, false, 2},
      {"sync and loop from memory", small, true, true, true, 2},
      {"in memory, exactly 2 MiB", exact, false, false, true, 0},
      {"in memory, one byte more", over, false, false, true, 1},
      {"in memory, empty file", empty, false, false, true, 3},
      {"in memory, missing file", missing, false, false, true, 3},
      {"by name, missing file", missing, false, false, false, 4},
      {"by name", small, false, false, false, 0},
      {"by name, looped", small, false, true, false, 0},
      {"by name, synchronous", small, true, false, false, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlaySoundFile(c.file, c.sync, c.loop, c.mem, true), c.code) << c.name;
    StopSound();
  }
  // A missing file asked for in memory is not created.
  EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(MainFormTest, NewSoundDoesNotInterruptOneStillPlaying) {
  if (!sound::available()) GTEST_SKIP() << "no sound device";
  const QString wav = dir.path() + QStringLiteral("/a.wav");
  writeFile(wav, wavOfSize(44100 * 2));
  ASSERT_EQ(PlaySoundFile(wav, false, true, false, true), 0);
  EXPECT_EQ(PlaySoundFile(wav, false, false, false, false), 4);
  EXPECT_EQ(PlaySoundFile(QString(), false, false, false, true), 0);  // stop only
  EXPECT_FALSE(sound::wavPlaying());
  EXPECT_EQ(PlaySoundFile(QString(), false, false, false, true), 0);  // nothing playing: no effect
}

TEST_F(MainFormTest, SoundMessages) {
  struct Case {
    int code;
    const char16_t* text;
  } cases[] = {
      {1, u"ファイルサイズが大きすぎて展開に\r\n時間がかかる可能性があるため中止しました"},
      {2, u"フラグの指定が正しくありません"},
      {3, u"指定されたファイルは存在しません"},
      {4, u"API がエラーを返しました"},
      {9, u"未定義の致命的なエラーです"},
  };
  for (const Case& c : cases) EXPECT_EQ(PlaySoundMessage(c.code), QString::fromUtf16(c.text)) << c.code;
  EXPECT_TRUE(PlaySoundMessage(0).isEmpty());
}

TEST_F(MainFormTest, SoundTestShowsTheErrorOfAMissingSound) {
  forms::MainForm& f = start();
  f.Command10->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("API がエラーを返しました"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbCritical);
  EXPECT_EQ(boxes[0].title, QStringLiteral("エラー"));
  // With the sound in place the test plays it; OFF stops it.
  writeFile(dir.path() + QStringLiteral("/Sound/Kouka.wav"), wavOfSize(22050 * 4));
  f.Command10->click();
  EXPECT_EQ(boxes.size(), 1u);
  f.Command9->click();
  EXPECT_FALSE(sound::wavPlaying());
  // Both options at once: the flag error.
  f.ChkSynchro->setChecked(true);
  f.ChkLoop->setChecked(true);
  f.Command10->click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("フラグの指定が正しくありません"));
}

TEST_F(MainFormTest, SoundTestWithoutASoundDeviceSaysSo) {
  // No sound driver can open: the process has no sound device. (Each test
  // runs in a process of its own; one that opened the device before skips.)
  qputenv("SDL_AUDIODRIVER", "no-such-driver");
  if (sound::available()) GTEST_SKIP() << "the sound device was opened earlier in this process";
  forms::MainForm& f = start();
  const QString wav = dir.path() + QStringLiteral("/Sound/Kouka.wav");
  writeFile(wav, wavOfSize(22050 * 4));
  QTest::mouseClick(f.Command10, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("サウンドデバイスが使用できないため、効果音を再生できません。"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("エラー"));
  // A file error still comes first, with its own message.
  QFile::remove(wav);
  QTest::mouseClick(f.Command10, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("API がエラーを返しました"));
  // The race start plays the same sound and stays silent about the device.
  writeFile(wav, wavOfSize(22050 * 4));
  EXPECT_EQ(PlaySoundFile(wav, false, false, false, false), kSoundPlayed);
}

// The program starts opening the device on a thread of its own beside its
// window; the first sound takes what that opening found. (Each test runs in
// a process of its own; one that opened the device before skips.)
TEST_F(MainFormTest, TheDeviceOpenedAtTheStartServesTheFirstSound) {
  sound::openSoon();
  forms::MainForm& f = start();
  const QString wav = dir.path() + QStringLiteral("/Sound/Kouka.wav");
  writeFile(wav, wavOfSize(22050 * 4));
  QTest::mouseClick(f.Command10, Qt::LeftButton);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(sound::wavPlaying());
  sound::stopWav();
}

TEST_F(MainFormTest, NoDeviceFoundByTheOpeningAtTheStartIsSaidAtTheFirstSound) {
  qputenv("SDL_AUDIODRIVER", "no-such-driver");
  sound::openSoon();
  forms::MainForm& f = start();
  const QString wav = dir.path() + QStringLiteral("/Sound/Kouka.wav");
  writeFile(wav, wavOfSize(22050 * 4));
  QTest::mouseClick(f.Command10, Qt::LeftButton);
  if (sound::available()) GTEST_SKIP() << "the sound device was opened earlier in this process";
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("サウンドデバイスが使用できないため、効果音を再生できません。"));
}
