#pragma once
// The viewer's one window: the mail text in vertical columns, four buttons
// that shift the columns sideways, two that choose the text and background
// colours (kept in "ini.ini" beside the program), and a redraw every 500 ms
// that picks up a "test.txt" the mail client rewrote meanwhile.
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "colwrite/vertical.h"
#include "platform/ui.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QWidget;

namespace forms {

class Form1 : public ui::Form {
 public:
  // Controls.
  QPushButton* Command1 = nullptr;  // "→"
  QPushButton* Command2 = nullptr;  // "←"
  QPushButton* Command3 = nullptr;  // "L Quick"
  QPushButton* Command4 = nullptr;  // "R Quick"
  QPushButton* Command5 = nullptr;  // "文字色"
  QPushButton* Command6 = nullptr;  // "背景色"
  QWidget* Picture3 = nullptr;      // band holding Label1
  QLabel* Label1 = nullptr;
  QWidget* Picture2 = nullptr;      // empty band
  colwrite::GlyphStrip Picture1;    // the hidden glyph strip
  QLineEdit* Text1 = nullptr;       // x of the first (rightmost) column
  QLineEdit* Text2 = nullptr;       // column height limit
  QLineEdit* Text3 = nullptr;       // background colour
  QLineEdit* Text4 = nullptr;       // text colour
  QTimer* Timer1 = nullptr;

  // Window state.
  int st = 0;  // Text1 as taken by the last paint
  int h = 0;   // Text2 as taken by the last paint
  std::int32_t ColorFont = 0;
  std::int32_t ColorBack = 0;
  QString IniPath;

  // The window's colours (0x00BBGGRR).
  std::int64_t ForeColor() const { return foreColor_; }
  std::int64_t BackColor() const { return backColor_; }
  void setForeColor(std::int64_t c);
  // Clears the window to the new colour; the next tick draws the text again.
  void setBackColor(std::int64_t c);

  // What the window shows beneath its controls.
  const QImage& canvas() const { return canvas_; }
  // The outer height in twips that the resize rule uses: the client height
  // plus a fixed allowance for the caption and borders, so that the layout
  // does not depend on the window manager.
  int OuterHeight() const;
  static constexpr int kFrameAllowancePixels = 34;

  // Handlers.
  void Form_Paint();
  void Timer1_Timer();
  // Erases the window to its background colour and paints.
  void Refresh();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void Command6_Click();
  void Form_Resize() override;

  // The hand-off file, "test.txt" in the program's folder.
  QString TextPath() const;

 protected:
  void Form_Load() override;

 private:
  Form1();
  friend class ui::Accessor<Form1>;
  void shiftColumns(int change);
  void reportUnreadable();
  // The row of buttons and the note's bands across a window narrower than
  // they were designed for.
  void fitAcross();
  struct DesignPart {
    QWidget* w;
    QRect at;  // pixels
    QFont font;
    QString caption;
  };
  std::vector<DesignPart> design_;

  std::int64_t foreColor_ = 0;
  std::int64_t backColor_ = 0;
  QImage canvas_;
  QWidget* canvasView_ = nullptr;
  std::unique_ptr<colwrite::TypeCase> type_;
  bool failed_ = false;
};

}  // namespace forms

// The program's one window, loaded on first touch.
forms::Form1& Form1();
