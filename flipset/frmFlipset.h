#pragma once
// The reversi game's one window: the board, mouse moves, the computer's
// moves on the timer, the flip animation and the looping music.
#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <array>
#include <functional>

#include "flipset/canvas.h"
#include "flipset/mci.h"
#include "flipset/modFlipset.h"
#include "flipset/sprite/clsRyxField.h"
#include "flipset/sprite/clsRyxSprite.h"
#include "flipset/sprite/picturebox.h"
#include "platform/ui.h"

namespace flipset {

// The blocking wait between animation frames (tests replace it).
void Sleep(int ms);
void setSleep(std::function<void(int ms)> sleep);

// The file of the game-end sound beside the program.
inline const QString kEndSoundFile = QStringLiteral("gameend.wav");

}  // namespace flipset

namespace forms {

class frmFlipset : public ui::Form {
  friend class ui::Accessor<frmFlipset>;

 public:
  // The window's own drawing surface, covering the visible client area.
  flipset::Canvas* Canvas;
  ryx::PictureBox* picDest;
  ryx::PictureBox* picSource;
  std::array<QComboBox*, 2> cmbPlayer;
  std::array<QLabel*, 2> lblPlayer;
  QTimer* timPut;

  ryx::clsRyxField StoneField;
  ryx::clsRyxSprite StoneSprite;

  flipset::Game game;
  flipset::Mci mci;

  // Clears and draws a new game, starts the music and the move timer.
  void NewGame();
  // Animates the stone at (x, y) turning to the colour of the side to move.
  void FlipStone(int x, int y);
  // A raised panel with a sunken well (twips; colours RGB).
  void DrawPanel(int x1, int y1, int x2, int y2, int bevel, QRgb frameColour, QRgb fillColour, int titleHeight,
                 const QString& title, QRgb titleColour);
  // Restarts the music when it has stopped.
  void LoopBgm();
  // One tick of the move timer.
  void timPut_Timer();
  // A press of a mouse button at (X, Y) twips.
  void Form_MouseDown(int button, int X, int Y);
  // A key press by its classic key code (13 Enter, 27 Esc).
  void Form_KeyDown(int keyCode);

 protected:
  void Form_Load() override;
  void Form_QueryUnload(int& cancel, int unloadMode) override;
  void Form_Unload(int& cancel) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  frmFlipset();
  void InitGraphics();
  void ReleaseGraphics();
  void drawStone(int x, int y, int colour);
  void send(const QString& command);
  bool closing_ = false;
};

}  // namespace forms

forms::frmFlipset& frmFlipset();
// The window when it is loaded, else nullptr (touches nothing).
forms::frmFlipset* frmFlipsetIfLoaded();
