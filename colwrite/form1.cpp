#include "form1.h"

#include <QDir>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>

#include "colwrite/module1.h"
#include "platform/gdi.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"

namespace forms {
namespace {

// Shows the window's drawing beneath the controls.
class CanvasView : public QWidget {
 public:
  CanvasView(const QImage* image, QWidget* parent) : QWidget(parent), image_(image) {
    setObjectName(QStringLiteral("Form1_canvas"));
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawImage(0, 0, *image_);
  }

 private:
  const QImage* image_;
};

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                    int height, QColor colour, const QFont& font) {
  auto* b = ui::control<QPushButton>(parent, name, left, top, width, height, caption);
  QPalette pal = b->palette();
  pal.setColor(QPalette::Button, colour);
  b->setPalette(pal);
  b->setAutoFillBackground(true);
  b->setFont(font);
  b->setFocusPolicy(Qt::TabFocus);
  return b;
}

QLineEdit* hiddenField(QWidget* parent, const QString& name, const QString& text) {
  auto* t = ui::control<QLineEdit>(parent, name, 0, 0, 1, 1);
  t->setText(text);
  t->hide();
  return t;
}

QWidget* band(QWidget* parent, const QString& name, int left, int top, int width, int height) {
  auto* w = ui::control<QWidget>(parent, name, left, top, width, height);
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Base));  // the system window-background colour
  w->setPalette(pal);
  w->setAutoFillBackground(true);
  return w;
}

// Adds change to value, stopping at the ends of the range.
int saturatingAdd(int value, int change) {
  const long long r = static_cast<long long>(value) + change;
  if (r > INT_MAX) return INT_MAX;
  if (r < INT_MIN) return INT_MIN;
  return static_cast<int>(r);
}

}  // namespace

Form1::Form1() : ui::Form(QStringLiteral("Form1")) {
  setCaption(QStringLiteral("縦書き文字。フォームのストレッチ、最大化が可能です。"));
  QWidget* c = client();
  const QFont design = ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 12);
  const QFont small = ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9);
  setFont(design);
  foreColor_ = 0;
  backColor_ = seams::RGB(192, 192, 255);
  canvas_ = gdi::surface(ui::px(8325), ui::px(7575), colwrite::toRgb(backColor_));
  canvasView_ = new CanvasView(&canvas_, c);
  canvasView_->setGeometry(0, 0, canvas_.width(), canvas_.height());

  Command3 = button(c, QStringLiteral("Command3"), QStringLiteral("L Quick"), 0, 0, 1200, 375, QColor(0, 128, 0), design);
  Command2 = button(c, QStringLiteral("Command2"), QStringLiteral("←"), 1200, 0, 1950, 375, QColor(224, 224, 224), design);
  Command1 = button(c, QStringLiteral("Command1"), QStringLiteral("→"), 3120, 0, 1950, 375, QColor(224, 224, 224), design);
  // (the left arrow ends where the right one begins, not two pixels under it)
  Command2->resize(std::min(Command2->width(), Command1->x() - Command2->x()), Command2->height());
  Command4 = button(c, QStringLiteral("Command4"), QStringLiteral("R Quick"), 5070, 0, 1200, 375, QColor(0, 128, 0), design);
  Command5 = button(c, QStringLiteral("Command5"), QStringLiteral("文字色"), 6255, 0, 900, 375, QColor(192, 192, 192), small);
  Command6 = button(c, QStringLiteral("Command6"), QStringLiteral("背景色"), 7170, 0, 900, 375, QColor(192, 64, 0), small);

  Picture2 = band(c, QStringLiteral("Picture2"), 120, 7200, 8100, 390);
  Picture3 = band(c, QStringLiteral("Picture3"), 120, 6945, 8100, 300);
  Picture3->raise();  // the note stays readable where the two bands meet
  Label1 = ui::control<QLabel>(Picture3, QStringLiteral("Label1"), 240, 60, 7455, 255,
                               QStringLiteral("文字、背景色の変更は自動保存され、次回より有効。次回より、記号等の表示不具合を自動修正。"));
  Label1->setFont(small);
  // (the note ends at the lower edge of its band, not a pixel below it)
  Label1->resize(Label1->width(), std::min(Label1->height(), Picture3->height() - Label1->y()));
  {
    QPalette pal = Label1->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(pal);
  }

  // The window may be made as narrow as the user likes, while every button
  // and the note still show whole: below the width they were designed for,
  // the buttons share the width in their design proportions with their
  // captions fitted, and the bands end a margin short of the right edge
  // with the note's text made smaller. The least width is where the note
  // reaches its smallest size.
  for (QWidget* w : std::initializer_list<QWidget*>{Command3, Command2, Command1, Command4, Command5, Command6, Picture2,
                                                    Picture3, Label1}) {
    auto* b = qobject_cast<QPushButton*>(w);
    design_.push_back({w, w->geometry(), w->font(), b ? b->text() : QString()});
  }
  {
    QFont smallest = Label1->font();
    smallest.setPointSizeF(6);
    const int note = QFontMetrics(smallest).horizontalAdvance(Label1->text()) + 2;
    c->setMinimumWidth(2 * Picture3->x() + Label1->x() + note + 2);
  }

  Text1 = hiddenField(c, QStringLiteral("Text1"), QStringLiteral("500"));
  Text2 = hiddenField(c, QStringLiteral("Text2"), QString());
  Text3 = hiddenField(c, QStringLiteral("Text3"), QStringLiteral("Text3"));
  Text4 = hiddenField(c, QStringLiteral("Text4"), QStringLiteral("Text4"));

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(500);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });

  // Client area 8325 x 7575 twips.
  resize(ui::px(8325), ui::px(7575));
  if (layout()) layout()->activate();  // the client takes its size before the window is first shown
}

void Form1::Form_Load() {
  QString folder = paths::programFolder();
  if (!folder.endsWith(u'/')) folder += u'/';
  IniPath = paths::resolveUnder(folder, QStringLiteral("ini.ini"));

  const int fore = profile::GetPrivateProfileInt(QStringLiteral("EXEINI"), QStringLiteral("NUMBER"), 0, IniPath);
  const int back = profile::GetPrivateProfileInt(QStringLiteral("EXEINI"), QStringLiteral("NUMBER2"), 0, IniPath);
  Text4->setText(QString::number(fore));
  Text3->setText(QString::number(back));
  setForeColor(colwrite::fieldInt(Text4->text()));
  Picture1.fore = colwrite::toRgb(foreColor_);
  setBackColor(back);
  Picture1.back = colwrite::toRgb(back);

  const QFont viewer = colwrite::viewerFont();
  type_ = std::make_unique<colwrite::TypeCase>(viewer);
  Picture1.font = viewer;
  Picture1.image = gdi::surface(colwrite::kStripWidth, colwrite::kStripHeight, Picture1.back);
  Picture1.build();

  // Centred on the screen.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    const QSize outer = size() + ui::frameExtra(this);
    move(avail.x() + (avail.width() - outer.width()) / 2, avail.y() + (avail.height() - outer.height()) / 2);
  }
  Timer1->start();
}

void Form1::setForeColor(std::int64_t c) { foreColor_ = c; }

void Form1::setBackColor(std::int64_t c) {
  backColor_ = c;
  canvas_.fill(colwrite::toRgb(c) | 0xFF000000u);
  if (canvasView_) canvasView_->update();
}

int Form1::OuterHeight() const { return ui::tw(height() + kFrameAllowancePixels); }

QString Form1::TextPath() const {
  QString folder = paths::programFolder();
  if (!folder.endsWith(u'/')) folder += u'/';
  return paths::resolveUnder(folder, QStringLiteral("test.txt"));
}

void Form1::reportUnreadable() {
  if (failed_) return;
  failed_ = true;
  Timer1->stop();
  seams::MsgBox(QStringLiteral("縦書きで表示するファイル「test.txt」を読み込めませんでした。\n") +
                    QDir::toNativeSeparators(TextPath()),
                seams::vbCritical);
  ui::endAtOnce(1);
}

void Form1::Form_Paint() {
  if (failed_ || !type_) return;
  h = colwrite::fieldInt(Text2->text());
  st = colwrite::fieldInt(Text1->text());
  const std::optional<QString> text = colwrite::readHandOff(TextPath());
  if (!text) {
    reportUnreadable();
    return;
  }
  colwrite::paintColumns(canvas_, *text, st, h, Picture1, *type_, colwrite::toRgb(foreColor_));
  canvasView_->update();
}

void Form1::Timer1_Timer() { Form_Paint(); }

void Form1::Refresh() {
  const QSize area = size();
  if (canvas_.size() != area) {
    canvas_ = gdi::surface(area.width(), area.height(), colwrite::toRgb(backColor_));
    canvasView_->setGeometry(0, 0, area.width(), area.height());
  } else {
    canvas_.fill(colwrite::toRgb(backColor_) | 0xFF000000u);
  }
  canvasView_->lower();
  Form_Paint();
}

void Form1::fitAcross() {
  const int across = client()->width();
  int row = 0;  // the right edge of the button row as designed
  for (const DesignPart& p : design_)
    if (qobject_cast<QPushButton*>(p.w)) row = std::max(row, p.at.right() + 1);
  const double scale = std::min(1.0, static_cast<double>(across) / row);
  for (const DesignPart& p : design_) {
    if (auto* b = qobject_cast<QPushButton*>(p.w)) {
      // (neighbours keep meeting where they met: each edge is scaled)
      const int left = static_cast<int>(p.at.left() * scale);
      const int right = static_cast<int>((p.at.right() + 1) * scale);
      b->setGeometry(left, p.at.top(), right - left, p.at.height());
      b->setFont(p.font);
      if (scale < 1.0) ui::fitCaption(b, p.caption);
      else b->setText(p.caption);
    } else if (p.w == Label1) {
      Label1->setFont(p.font);
      Label1->resize(std::min(p.at.width(), Picture3->width() - p.at.left() - 2), p.at.height());
      ui::fitLabel(Label1);
    } else {
      // A band: its design width, or the window's less a margin either side.
      p.w->resize(std::min(p.at.width(), across - 2 * p.at.left()), p.w->height());
    }
  }
}

void Form1::Form_Resize() {
  fitAcross();
  const int H = OuterHeight();
  auto placeBand = [](QWidget* w, double top) { w->move(w->x(), static_cast<int>(std::lround(top))); };
  const colwrite::ResizeLayout normal = colwrite::resizeRule(H, false, height());
  Text2->setText(normal.limitText);
  Refresh();
  placeBand(Picture2, normal.picture2Top);
  placeBand(Picture3, normal.picture3Top);
  if (H >= 7650 && WindowState() == 2) {
    const colwrite::ResizeLayout maxed = colwrite::resizeRule(H, true, height());
    Text2->setText(maxed.limitText);
    Refresh();
    placeBand(Picture2, maxed.picture2Top);
    placeBand(Picture3, maxed.picture3Top);
  }
}

void Form1::shiftColumns(int change) {
  st = colwrite::fieldInt(Text1->text());
  Text1->setText(QString::number(saturatingAdd(colwrite::fieldInt(Text1->text()), change)));
  Refresh();
}

void Form1::Command1_Click() { shiftColumns(200); }
void Form1::Command2_Click() { shiftColumns(-200); }
void Form1::Command3_Click() { shiftColumns(-500); }
void Form1::Command4_Click() { shiftColumns(500); }

void Form1::Command5_Click() {
  ColorFont = colwrite::ShowColorDialog(this, static_cast<std::int32_t>(foreColor_));
  if (ColorFont != -1) {
    Text4->setText(QString::number(ColorFont));
    setForeColor(ColorFont);
    Picture1.fore = colwrite::toRgb(ColorFont);
  }
  profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER"), Text4->text(), IniPath);
}

void Form1::Command6_Click() {
  ColorBack = colwrite::ShowColorDialog(this, static_cast<std::int32_t>(foreColor_));
  if (ColorBack != -1) {
    setBackColor(ColorBack);
    Picture1.setBackground(colwrite::toRgb(ColorBack));
    Text3->setText(QString::number(ColorBack));
  }
  profile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NUMBER2"),
                                     QString::number(colwrite::fieldInt(Text3->text())), IniPath);
}

}  // namespace forms

forms::Form1& Form1() {
  static ui::Accessor<forms::Form1> instance;
  return instance();
}
