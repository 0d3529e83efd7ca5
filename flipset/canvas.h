#pragma once
// The game window's own drawing surface: what is drawn on it stays and is
// repainted from it. Coordinates are twips (15 to a pixel), colours RGB.
#include <QImage>
#include <QWidget>
#include <functional>

namespace flipset {

class Canvas : public QWidget {
 public:
  explicit Canvas(QWidget* parent = nullptr);

  // The surface in pixels.
  const QImage& image() const { return image_; }
  // Clears to the background colour.
  void Cls();
  // A filled circle or ellipse centred on (x, y) with radius r (the
  // horizontal one); aspect below 1 flattens it vertically. Fill and
  // outline in the same colour.
  void FillCircle(int x, int y, int r, QRgb colour, double aspect = 1.0);
  // A line; the end pixel is left out.
  void Line(int x1, int y1, int x2, int y2, QRgb colour);
  // A filled box, corners included.
  void BoxFilled(int x1, int y1, int x2, int y2, QRgb colour);
  // A box outline, corners included; filled with fill when given.
  void Box(int x1, int y1, int x2, int y2, QRgb outline, const QRgb* fill = nullptr);
  // Text with its top-left corner at (x, y).
  void Print(int x, int y, const QString& text, QRgb colour, bool bold);
  // Size of a text in twips.
  QSize textSize(const QString& text, bool bold) const;
  // Shows the latest state at once.
  void Refresh();

  QRgb backColor() const { return back_; }

  std::function<void(int button, int x, int y)> onMouseDown;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  void fit(QSize s);
  QImage image_;
  QRgb back_;
};

}  // namespace flipset
