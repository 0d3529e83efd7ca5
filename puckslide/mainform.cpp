#include "puckslide/mainform.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "assets/puckslide/assets.h"
#include "platform/seams.h"

namespace {

ui::Accessor<forms::MainForm>& mainFormAccessor() {
  static ui::Accessor<forms::MainForm> a;
  return a;
}

// The client area: 4125 x 5865 twips.
constexpr int kClientWidth = 4125;
constexpr int kClientHeight = 5865;
// How often the window looks at the clock; the game runs its own timers in
// fixed steps from it.
constexpr int kClockMs = 2;

QImage picture(const QByteArray& png) {
  QImage img;
  img.loadFromData(png, "PNG");
  return img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QLabel* label(QWidget* parent, const QString& name, const QString& text, int left, int top, int width, int height,
              const QColor& fore, const QFont& font) {
  QLabel* l = ui::control<QLabel>(parent, name, left, top, width, height, text);
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  l->setFont(font);
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, fore);
  l->setPalette(pal);
  // The mouse moves the mallet over the captions too.
  l->setAttribute(Qt::WA_TransparentForMouseEvents);
  return l;
}

QLabel* scoreLabel(QWidget* parent, const QString& name, int left, int top, const QColor& fore) {
  QLabel* l = label(parent, name, QStringLiteral("0"), left, top, 375, 375, fore,
                    ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 14.25, true));
  l->setAutoFillBackground(true);
  QPalette pal = l->palette();
  pal.setColor(QPalette::Window, Qt::black);
  l->setPalette(pal);
  return l;
}

QPushButton* colouredButton(QWidget* parent, const QString& name, const QString& text, int left, int top,
                            const QString& colour) {
  QPushButton* b = ui::control<QPushButton>(parent, name, left, top, 615, 255, text);
  b->setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9));
  b->setFocusPolicy(Qt::NoFocus);
  b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black; border: 2px outset %1; }"
                                  "QPushButton:pressed { border-style: inset; }"
                                  "QPushButton:disabled { color: #606060; }")
                       .arg(colour));
  return b;
}

}  // namespace

forms::MainForm& MainForm() { return mainFormAccessor()(); }

namespace forms {

// ---- MMControl ----

MMControl::MMControl(const QByteArray& wav) {
  if (!wav.isEmpty()) clip_.loadData(wav);
}

void MMControl::Prev() { clip_.stop(); }

void MMControl::Play() { clip_.play(); }

// ---- The table: the window's picture with the sprites on it ----

class Table : public QWidget {
 public:
  Table(MainForm* form, QWidget* parent) : QWidget(parent), form_(form) {
    setObjectName(QStringLiteral("Table"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawImage(0, 0, form_->render());
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    form_->Form_MouseMove(ui::tw(static_cast<int>(e->position().x())));
  }

 private:
  MainForm* form_;
};

// ---- MainForm ----

MainForm::MainForm()
    : ui::Form(QStringLiteral("MainForm")),
      MMControl1(puckassets::hitSound()),
      MMControl2(puckassets::bounceSound()),
      MMControl3(QByteArray()),
      game_(*this) {
  setCaption(QStringLiteral("エアホッケー"));
  ui::fixedSingleBorder(this);
  setFixedSize(ui::px(kClientWidth), ui::px(kClientHeight));
  client()->setFixedSize(ui::px(kClientWidth), ui::px(kClientHeight));

  background_ = picture(puckassets::tablePicture());
  userMallet_ = picture(puckassets::userMalletPicture());
  computerMallet_ = picture(puckassets::computerMalletPicture());
  puck_ = picture(puckassets::puckPicture());

  table_ = new Table(this, client());
  table_->setGeometry(0, 0, ui::px(kClientWidth), ui::px(kClientHeight));

  const QString pgothic = QStringLiteral("ＭＳ Ｐゴシック");
  Command1 = colouredButton(client(), QStringLiteral("Command1"), QStringLiteral("Start"), 720, 120,
                            QStringLiteral("rgb(0, 255, 0)"));
  Command2 = colouredButton(client(), QStringLiteral("Command2"), QStringLiteral("Pose"), 1440, 120,
                            QStringLiteral("rgb(255, 0, 255)"));
  Label3 = label(client(), QStringLiteral("Label3"), QStringLiteral("あなた"), 120, 120, 615, 255, Qt::white,
                 ui::font(pgothic, 9, true));
  Label4 = label(client(), QStringLiteral("Label4"), QStringLiteral("Computer"), 120, 5400, 1215, 255, Qt::white,
                 ui::font(pgothic, 12, true));
  Label10 = label(client(), QStringLiteral("Label10"), QStringLiteral("Score"), 3120, 2400, 615, 255, Qt::black,
                  ui::font(QStringLiteral("Book Antiqua"), 9.75, true));
  Label1 = scoreLabel(client(), QStringLiteral("Label1"), 3720, 2400, QColor(255, 255, 0));
  Label2 = scoreLabel(client(), QStringLiteral("Label2"), 3720, 2760, QColor(0, 255, 0));
  Label14 = label(client(), QStringLiteral("Label14"), QStringLiteral("10Point Gameover"), 1440, 5520, 2655, 255,
                  QColor(255, 255, 0), ui::font(pgothic, 9));

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });

  clock_.setTimerType(Qt::PreciseTimer);
  clock_.setInterval(kClockMs);
  connect(&clock_, &QTimer::timeout, this, [this] { step(); });
}

void MainForm::Form_Load() {
  game_.Form_Load(seams::tickCount());
  sync();
  // Centred on the screen.
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    const QSize frame = ui::frameExtra(this);
    const QRect avail = s->availableGeometry();
    move(avail.x() + (avail.width() - width() - frame.width()) / 2,
         avail.y() + (avail.height() - height() - frame.height()) / 2);
  }
  clock_.start();
}

void MainForm::Form_Unload(int&) { ui::endAtOnce(0); }

void MainForm::step() {
  game_.advance(seams::tickCount());
  sync();
}

void MainForm::Command1_Click() {
  game_.advance(seams::tickCount());
  game_.Command1_Click();
  sync();
}

void MainForm::Command2_Click() {
  game_.advance(seams::tickCount());
  game_.Command2_Click();
  sync();
}

void MainForm::Form_MouseMove(int xTwips) { game_.Form_MouseMove(xTwips); }

void MainForm::sync() {
  Label1->setText(QString::number(game_.Label1));
  Label2->setText(QString::number(game_.Label2));
  Command1->setEnabled(game_.Command1Enabled);
  Command2->setEnabled(game_.Command2Enabled);
  auto same = [](const puck::Rect& a, const puck::Rect& b) { return a.left == b.left && a.top == b.top; };
  if (!same(drawn1_, game_.Image1) || !same(drawn2_, game_.Image2) || !same(drawn3_, game_.Image3) ||
      drawnVisible_ != game_.Image3Visible) {
    drawn1_ = game_.Image1;
    drawn2_ = game_.Image2;
    drawn3_ = game_.Image3;
    drawnVisible_ = game_.Image3Visible;
    table_->update();
  }
}

QImage MainForm::render() const {
  QImage img(ui::px(kClientWidth), ui::px(kClientHeight), QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::black);
  QPainter p(&img);
  p.drawImage(0, 0, background_);
  const puck::Game& g = game_;
  p.drawImage(ui::px(g.Image1.left), ui::px(g.Image1.top), userMallet_);
  p.drawImage(ui::px(g.Image2.left), ui::px(g.Image2.top), computerMallet_);
  if (g.Image3Visible) p.drawImage(ui::px(g.Image3.left), ui::px(g.Image3.top), puck_);
  p.end();
  return img;
}

void MainForm::bounceSound() {
  MMControl2.Prev();
  MMControl2.Play();
}

void MainForm::hitSound() {
  MMControl1.Prev();
  MMControl1.Play();
}

void MainForm::beep() { QApplication::beep(); }

void MainForm::message(const std::string& utf8Text) {
  sync();
  table_->repaint();
  // The box holds the window's own clock; this one keeps the timers that are
  // still running going while it is open.
  QTimer underBox;
  underBox.setTimerType(Qt::PreciseTimer);
  underBox.setInterval(kClockMs);
  connect(&underBox, &QTimer::timeout, this, [this] { step(); });
  underBox.start();
  seams::MsgBox(QString::fromStdString(utf8Text), seams::vbOKOnly);
  underBox.stop();
  game_.advance(seams::tickCount());
}

void MainForm::endProgram() { ui::endAtOnce(0); }

float MainForm::rnd() { return seams::Rnd(); }

}  // namespace forms
