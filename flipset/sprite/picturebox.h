#pragma once
// A picture box: a child window with a surface of its own that keeps what
// is drawn on it (its device context) and shows it. Its inner size is in
// pixels. Loading a picture sizes the box to the picture.
#include <QImage>
#include <QString>
#include <QWidget>

#include "flipset/sprite/ryxdc.h"

namespace ryx {

class PictureBox : public QWidget {
 public:
  explicit PictureBox(QWidget* parent = nullptr);
  ~PictureBox() override;

  // The box's device context: drawing on it shows at once.
  Handle hDC() const { return hdc_; }
  // Inner size in pixels.
  int ScaleWidth() const { return surface_.width(); }
  int ScaleHeight() const { return surface_.height(); }
  const QImage& image() const { return surface_; }

  // Loads a picture file (or takes an image) and sizes the box to it.
  bool LoadPicture(const QString& path);
  void setPicture(const QImage& picture);
  // Places the box (twips, as every control) and sizes its surface at once,
  // shown or not.
  void place(int left, int top, int width, int height);
  // Moves the box (twips), keeping its size.
  void moveTo(int left, int top);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void changed();
  void fitSurface(QSize s);
  QImage surface_;
  Handle hdc_ = 0;
};

}  // namespace ryx
