#include "flipset/sprite/picturebox.h"

#include <QPainter>
#include <QResizeEvent>

#include "platform/gdi.h"
#include "platform/ui.h"

namespace ryx {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
  surface_ = gdi::surface(1, 1, 0xFFFFFF);
  hdc_ = registerWindowDc(&surface_, [this] { changed(); });
  setAttribute(Qt::WA_OpaquePaintEvent);
}

PictureBox::~PictureBox() { unregisterWindowDc(hdc_); }

bool PictureBox::LoadPicture(const QString& path) {
  QImage img;
  if (!img.load(path) || img.isNull()) return false;
  setPicture(img);
  return true;
}

void PictureBox::setPicture(const QImage& picture) {
  surface_ = gdi::toSurface(picture).copy();
  resize(surface_.size());
  update();
}

void PictureBox::changed() {
  // Drawing on the box shows at once, even while the program is busy.
  if (isVisible()) repaint();
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.drawImage(0, 0, surface_);
}

void PictureBox::place(int left, int top, int width, int height) {
  ui::place(this, left, top, width, height);
  fitSurface(size());
}

void PictureBox::moveTo(int left, int top) { move(ui::px(left), ui::px(top)); }

void PictureBox::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  fitSurface(e->size());
}

void PictureBox::fitSurface(QSize size) {
  const QSize s = size.expandedTo(QSize(1, 1));
  if (s == surface_.size()) return;
  QImage grown = gdi::surface(s.width(), s.height(), 0xFFFFFF);
  gdi::BitBlt(grown, 0, 0, surface_.width(), surface_.height(), surface_, 0, 0, gdi::SRCCOPY);
  surface_ = grown;
}

}  // namespace ryx
