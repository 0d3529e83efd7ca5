#include "flipset/canvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

#include "platform/gdi.h"
#include "platform/ui.h"

namespace flipset {

namespace {
int pix(int twips) { return ui::px(twips); }
}  // namespace

Canvas::Canvas(QWidget* parent) : QWidget(parent) {
  back_ = palette().color(QPalette::Window).rgb() & 0xFFFFFF;
  image_ = gdi::surface(1, 1, back_);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::ArrowCursor);
}

void Canvas::fit(QSize size) {
  const QSize s = size.expandedTo(QSize(1, 1));
  if (s == image_.size()) return;
  QImage grown = gdi::surface(s.width(), s.height(), back_);
  gdi::BitBlt(grown, 0, 0, image_.width(), image_.height(), image_, 0, 0, gdi::SRCCOPY);
  image_ = grown;
}

void Canvas::Cls() {
  fit(size());
  image_.fill(back_ | 0xFF000000u);
}

void Canvas::FillCircle(int x, int y, int r, QRgb colour, double aspect) {
  fit(size());
  QPainter p(&image_);
  p.setRenderHint(QPainter::Antialiasing, false);
  const QColor c(colour | 0xFF000000u);
  p.setPen(QPen(c, 0));
  p.setBrush(c);
  const double rx = r / double(ui::kTwipsPerPixel);
  const double ry = rx * aspect;
  p.drawEllipse(QPointF(x / double(ui::kTwipsPerPixel), y / double(ui::kTwipsPerPixel)), rx, ry);
}

void Canvas::Line(int x1, int y1, int x2, int y2, QRgb colour) {
  fit(size());
  gdi::Line(image_, pix(x1), pix(y1), pix(x2), pix(y2), colour);
}

void Canvas::BoxFilled(int x1, int y1, int x2, int y2, QRgb colour) {
  fit(size());
  const int l = std::min(pix(x1), pix(x2)), r = std::max(pix(x1), pix(x2));
  const int t = std::min(pix(y1), pix(y2)), b = std::max(pix(y1), pix(y2));
  gdi::PatBlt(image_, l, t, r - l + 1, b - t + 1, gdi::PATCOPY, colour);
}

void Canvas::Box(int x1, int y1, int x2, int y2, QRgb outline, const QRgb* fill) {
  fit(size());
  const int l = std::min(pix(x1), pix(x2)), r = std::max(pix(x1), pix(x2));
  const int t = std::min(pix(y1), pix(y2)), b = std::max(pix(y1), pix(y2));
  if (fill) gdi::PatBlt(image_, l, t, r - l + 1, b - t + 1, gdi::PATCOPY, *fill);
  gdi::PatBlt(image_, l, t, r - l + 1, 1, gdi::PATCOPY, outline);
  gdi::PatBlt(image_, l, b, r - l + 1, 1, gdi::PATCOPY, outline);
  gdi::PatBlt(image_, l, t, 1, b - t + 1, gdi::PATCOPY, outline);
  gdi::PatBlt(image_, r, t, 1, b - t + 1, gdi::PATCOPY, outline);
}

QSize Canvas::textSize(const QString& text, bool bold) const {
  QFont f = font();
  f.setBold(bold);
  const QFontMetrics fm(f);
  return QSize(ui::tw(fm.horizontalAdvance(text)), ui::tw(fm.height()));
}

void Canvas::Print(int x, int y, const QString& text, QRgb colour, bool bold) {
  fit(size());
  QPainter p(&image_);
  QFont f = font();
  f.setBold(bold);
  p.setFont(f);
  p.setPen(QColor(colour | 0xFF000000u));
  p.drawText(QPoint(pix(x), pix(y) + QFontMetrics(f).ascent()), text);
}

void Canvas::Refresh() {
  if (isVisible()) repaint();
}

void Canvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(back_ | 0xFF000000u));
  p.drawImage(0, 0, image_);
}

void Canvas::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  fit(e->size());
}

void Canvas::mousePressEvent(QMouseEvent* e) {
  setFocus();
  const QPoint pos = e->position().toPoint();
  if (onMouseDown) onMouseDown(static_cast<int>(e->button()), ui::tw(pos.x()), ui::tw(pos.y()));
}

}  // namespace flipset
