#include "flipset/frmFlipset.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QThread>

#include "flipset/sprite/clsRyxCharacter.h"
#include "flipset/thinkmove.h"
#include "platform/paths.h"
#include "platform/seams.h"

namespace flipset {

namespace {
std::function<void(int)>& sleepFn() {
  static std::function<void(int)> f;
  return f;
}
}  // namespace

void Sleep(int ms) {
  if (sleepFn()) sleepFn()(ms);
  else QThread::msleep(static_cast<unsigned long>(ms));
}
void setSleep(std::function<void(int)> sleep) { sleepFn() = std::move(sleep); }

}  // namespace flipset

namespace {
ui::Accessor<forms::frmFlipset> g_frmFlipset;

constexpr QRgb kWhiteRgb = 0xFFFFFF;
constexpr QRgb kBlackRgb = 0x000000;
constexpr QRgb kWellRgb = 0x004000;
constexpr QRgb kFrameRgb = 0xFF0000;
constexpr QRgb kFlipBackRgb = 0x008000;

QRgb stoneRgb(int colour) { return colour == flipset::kWhite ? kWhiteRgb : kBlackRgb; }
}  // namespace

forms::frmFlipset& frmFlipset() { return g_frmFlipset(); }
forms::frmFlipset* frmFlipsetIfLoaded() { return g_frmFlipset.peek(); }

namespace forms {

frmFlipset::frmFlipset() : ui::Form(QStringLiteral("frmFlipset")) {
  setCaption(QStringLiteral("ストレス溜まらない、「弱い」リバース"));
  // The visible client area shows the board only; the controls lie beyond
  // its right edge.
  setFixedSize(ui::px(4605), ui::px(4590));

  Canvas = new flipset::Canvas(client());
  Canvas->setObjectName(QStringLiteral("Canvas"));
  ui::place(Canvas, 0, 0, 4605, 4590);
  Canvas->onMouseDown = [this](int button, int X, int Y) { Form_MouseDown(button, X, Y); };

  picDest = new ryx::PictureBox(client());
  picDest->setObjectName(QStringLiteral("picDest"));
  picDest->place(4800, 120, 420, 420);
  picDest->hide();

  picSource = new ryx::PictureBox(client());
  picSource->setObjectName(QStringLiteral("picSource"));
  picSource->place(4800, 720, 480, 480);
  picSource->hide();

  const QString labels[2] = {QStringLiteral("先手(&F)："), QStringLiteral("後手(&S)：")};
  for (int i = 0; i < 2; ++i) {
    lblPlayer[i] = ui::control<QLabel>(client(), QStringLiteral("lblPlayer%1").arg(i), 4800, 1320 + i * 720, 1200,
                                       255, labels[i]);
    cmbPlayer[i] = ui::control<QComboBox>(client(), QStringLiteral("cmbPlayer%1").arg(i), 4800,
                                          1590 + i * 720, 1800, 300);
    cmbPlayer[i]->setFocusPolicy(Qt::NoFocus);
    lblPlayer[i]->setBuddy(cmbPlayer[i]);
  }

  timPut = new QTimer(this);
  timPut->setObjectName(QStringLiteral("timPut"));
  timPut->setInterval(100);
  connect(timPut, &QTimer::timeout, this, [this] { timPut_Timer(); });

  game.hooks.drawStone = [this](int x, int y, int colour) { drawStone(x, y, colour); };
  game.hooks.refresh = [this] { Canvas->Refresh(); };
  game.hooks.flipStone = [this](int x, int y) { FlipStone(x, y); };
  game.hooks.stopTimer = [this] { timPut->stop(); };
  game.hooks.media = [this](const QString& c) { send(c); };
}

void frmFlipset::send(const QString& command) { mci.mciSendString(command); }

void frmFlipset::drawStone(int x, int y, int colour) { Canvas->FillCircle(x * 500, y * 500, 200, stoneRgb(colour)); }

void frmFlipset::Form_Load() {
  Show();
  QDir::setCurrent(paths::programFolder());
  if (!picSource->LoadPicture(QStringLiteral("picture.bmp"))) {
    seams::MsgBox(QStringLiteral("画像ファイル「picture.bmp」を読み込めません。\nゲームを終了します。"),
                  seams::vbOKOnly | seams::vbCritical, flipset::kProgramTitle);
    ui::endAtOnce(1);
  }
  InitGraphics();
  for (int d = 0; d < 2; ++d) {
    cmbPlayer[d]->addItem(QStringLiteral("プレイヤー"));
    cmbPlayer[d]->addItem(QStringLiteral("コンピュータ"));
    cmbPlayer[d]->setCurrentIndex(d);
  }
  send(QStringLiteral("open BGM.MID alias bgm wait"));
  send(QStringLiteral("open ") + flipset::kEndSoundFile + QStringLiteral(" alias beep wait"));
  NewGame();
}

void frmFlipset::InitGraphics() {
  StoneField.Create(picDest, 0, 0);
  StoneSprite.Create(&StoneField, picSource, picSource, 12);
  for (int i = 0; i <= 11; ++i) StoneSprite.SetPtnPic(i, 36 * i + 4, 4, 32, 32);
}

void frmFlipset::ReleaseGraphics() {
  ui::doEvents();
  StoneSprite.Release();
  StoneField.Delete();
  ui::doEvents();
}

void frmFlipset::NewGame() {
  game.board.clear();
  Canvas->Cls();
  DrawPanel(70, 70, 4430, 4430, 180, kFrameRgb, kWellRgb, 0, QString(), 0);
  for (int j = 2; j <= 8; ++j) {
    const int p = j * 500 - 250;
    Canvas->Line(250, p, 4250, p, kBlackRgb);
    Canvas->Line(p, 250, p, 4250, kBlackRgb);
  }
  for (int x = 4; x <= 5; ++x)
    for (int y = 4; y <= 5; ++y) {
      game.board(x, y) = x == y ? flipset::kWhite : flipset::kBlack;
      drawStone(x, y, game.board(x, y));
    }
  game.MoveNo = 1;
  game.Turn = flipset::kBlack;
  game.IsHuman[1] = cmbPlayer[1]->currentIndex() != 1;
  game.IsHuman[2] = cmbPlayer[0]->currentIndex() != 1;
  for (const auto& [dx, dy] : {std::pair{1250, 1250}, {3250, 1250}, {1250, 3250}, {3250, 3250}})
    Canvas->FillCircle(dx, dy, 30, kWhiteRgb);
  game.CheckTurn();
  send(QStringLiteral("seek bgm to start wait"));
  send(QStringLiteral("play bgm"));
  timPut->start();
}

void frmFlipset::DrawPanel(int x1, int y1, int x2, int y2, int bevel, QRgb frameColour, QRgb fillColour,
                           int titleHeight, const QString& title, QRgb titleColour) {
  Canvas->BoxFilled(x1, y1, x2, y2, frameColour);
  const int t = titleHeight != 0 ? titleHeight : bevel;
  Canvas->Box(x1 + bevel, y1 + t, x2 - bevel, y2 - bevel, kBlackRgb, &fillColour);
  Canvas->Box(x1, y1, x2, y2, kBlackRgb);
  Canvas->Line(x1, y1, x2, y1, kWhiteRgb);
  Canvas->Line(x1, y1, x1, y2, kWhiteRgb);
  Canvas->Line(x1 + bevel, y2 - bevel, x2 - bevel, y2 - bevel, kWhiteRgb);
  Canvas->Line(x2 - bevel, y1 + t, x2 - bevel, y2 - bevel, kWhiteRgb);
  if (!title.isEmpty()) {
    const QSize s = Canvas->textSize(title, true);
    Canvas->Print((x1 + x2 - s.width()) / 2, y1 + (t - s.height()) / 2, title, titleColour, true);
  }
}

void frmFlipset::LoopBgm() {
  QString reply;
  mci.mciSendString(QStringLiteral("status bgm mode wait"), &reply);
  if (reply.left(7).toUpper() == QLatin1String("STOPPED")) {
    send(QStringLiteral("seek bgm to start wait"));
    send(QStringLiteral("play bgm"));
  }
}

void frmFlipset::timPut_Timer() {
  if (closing_) return;
  LoopBgm();
  if (!game.IsHuman[static_cast<std::size_t>(game.Turn)] && flipset::HoldComputer() == 0) {
    const int c = flipset::ThinkMove(game.board, game.Turn);
    if (c == flipset::kNoMove) return;
    game.PutStone(flipset::cellX(c), flipset::cellY(c));
  }
}

void frmFlipset::Form_MouseDown(int, int X, int Y) {
  if (closing_) return;
  if (!game.IsHuman[static_cast<std::size_t>(game.Turn)]) return;
  int cx = 0, cy = 0;
  if (!flipset::squareAt(X, Y, cx, cy)) return;
  if (game.PutStone(cx, cy)) Canvas->Refresh();
}

void frmFlipset::Form_KeyDown(int keyCode) {
  if (closing_) return;
  if (keyCode == 13) NewGame();
  else if (keyCode == 27) Unload();
}

void frmFlipset::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: Form_KeyDown(13); break;
    case Qt::Key_Escape: Form_KeyDown(27); break;
    default: ui::Form::keyPressEvent(e); break;
  }
}

void frmFlipset::FlipStone(int x, int y) {
  const int turn = game.Turn;
  if (!closing_ && QFileInfo::exists(QStringLiteral("picture.bmp")) && StoneSprite.PtNoMax() == 11) {
    picDest->moveTo(x * 500 - 210, y * 500 - 210);
    picDest->show();
    picDest->raise();
    ryx::clsRyxCharacter chr;
    chr.Create(&StoneSprite, 0, 0, 0, 1);
    StoneField.ClsB();
    if (turn == flipset::kBlack)
      for (int i = 0; i < 12; ++i) chr.SetNextPt();
    for (int i = 0; i < 12; ++i) {
      chr.Paint();
      StoneField.Paint();
      chr.AutoAnime(turn == flipset::kWhite ? 0 : 1);
      flipset::Sleep(50);
    }
    chr.Release();
    drawStone(x, y, turn);
    picDest->hide();
    Canvas->Refresh();
    return;
  }
  const QRgb oldColour = turn == flipset::kWhite ? kBlackRgb : kWhiteRgb;
  const QRgb newColour = stoneRgb(turn);
  const struct {
    QRgb colour;
    double aspect;
  } frames[4] = {{kFlipBackRgb, 1.0}, {oldColour, 0.5}, {newColour, 0.5}, {newColour, 1.0}};
  for (const auto& f : frames) {
    Canvas->FillCircle(x * 500, y * 500, 200, f.colour, f.aspect);
    Canvas->Refresh();
    flipset::Sleep(40);
  }
}

void frmFlipset::Form_QueryUnload(int&, int) {
  // The move timer stops first, so that no queued move runs on released
  // objects; clicks and keys still waiting are ignored from here on.
  timPut->stop();
  closing_ = true;
  send(QStringLiteral("close bgm wait"));
  send(QStringLiteral("close beep wait"));
  ReleaseGraphics();
}

void frmFlipset::Form_Unload(int&) { ui::endAtOnce(0); }

}  // namespace forms
