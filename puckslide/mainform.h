#pragma once
// The air hockey window "エアホッケー": the table seen from above with the
// user's mallet at the top (it follows the mouse sideways), the computer's
// mallet at the bottom and the puck, the "Start" and "Pose" buttons and the
// two scores. The game itself lives in puck::Game; this window feeds it the
// mouse, the buttons and the clock, draws its sprites and plays its sounds.
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "platform/sound.h"
#include "platform/ui.h"
#include "puckslide/game.h"

namespace forms {

// A sound device that takes the classic commands: "Prev" rewinds to the
// start, "Play" plays from there. Without a sound or a device it does nothing.
class MMControl {
 public:
  explicit MMControl(const QByteArray& wav);
  void Prev();
  void Play();
  bool isOpen() const { return clip_.loaded(); }

 private:
  sound::Clip clip_;
};

class Table;

class MainForm : public ui::Form, private puck::Host {
 public:
  // Visible controls.
  QPushButton* Command1;  // "Start"
  QPushButton* Command2;  // "Pose"
  QLabel* Label3;         // "あなた"
  QLabel* Label4;         // "Computer"
  QLabel* Label10;        // "Score"
  QLabel* Label1;         // the user's score
  QLabel* Label2;         // the computer's score
  QLabel* Label14;        // "10Point Gameover"

  // Sound devices: mallet hits, wall bounces, and the music device that the
  // game never plays.
  MMControl MMControl1;
  MMControl MMControl2;
  MMControl MMControl3;

  puck::Game& game() { return game_; }
  // The table as drawn now (background, mallets, puck), in pixels.
  QImage render() const;
  // Runs the timers up to the clock's time and brings the controls up to date.
  void step();

  void Command1_Click();
  void Command2_Click();
  void Form_MouseMove(int xTwips);

 protected:
  void Form_Load() override;
  // Closing the window ends the program at once, also with a message open.
  void Form_Unload(int& cancel) override;

 private:
  friend class ui::Accessor<MainForm>;
  friend class Table;
  MainForm();

  // puck::Host
  void bounceSound() override;
  void hitSound() override;
  void beep() override;
  void message(const std::string& utf8Text) override;
  void endProgram() override;
  float rnd() override;

  void sync();

  puck::Game game_;
  Table* table_;
  QTimer clock_;
  QImage background_;
  QImage userMallet_;
  QImage computerMallet_;
  QImage puck_;
  puck::Rect drawn1_{}, drawn2_{}, drawn3_{};
  bool drawnVisible_ = false;
};

}  // namespace forms

// The program's one window, loaded on first touch.
forms::MainForm& MainForm();
