#pragma once
// Vertical layout of one text: characters run top to bottom in columns of
// 22-pixel cells, columns run right to left. Fifteen punctuation marks,
// brackets and dashes are copied turned from a glyph strip built once at
// start-up; every other character is printed upright, centred in its cell,
// with a transparent background.
//
// Everything here works on RGB32 surfaces (platform/gdi.h) and knows no
// window, so that the window only owns the state and shows the canvas.
#include <QChar>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace colwrite {

// Side of one cell, in pixels.
constexpr int kCell = 22;
// The window's row of buttons is 25 pixels high (375 twips) and lies over
// the top of the drawing; every cell is drawn this far below its column
// position, so that the first cell of a column shows beneath the buttons.
constexpr int kButtonRow = 25;
constexpr int kCellDrop = kButtonRow + 2;
// Number of turned marks; the strip holds them in cells 1 to kMarkCount.
constexpr int kMarkCount = 15;
constexpr int kStripWidth = (kMarkCount + 1) * kCell;  // 352
constexpr int kStripHeight = kCell;                    // 22

// The marks drawn turned a quarter turn clockwise: "，。（）『』《》「」ー【】：-".
const QString& RotatedMarks();
// The 1-based position of ch among the turned marks (its strip cell), 0 when
// ch is printed upright.
int markNumber(QChar ch);

// The viewer's font: "ＭＳ ゴシック" at 12 points (16 pixels), without
// antialiasing, so that printing the same text over itself leaves the same pixels.
QFont viewerFont();

// Colours in the drawing layer's form (0xRRGGBB) from the stored 0x00BBGGRR values.
QRgb toRgb(std::int64_t colourRef);

// The glyph strip: sixteen 22 x 22 cells side by side; cell 0 is scratch
// space, cell p holds mark p turned a quarter turn clockwise, and the comma
// and the full stop (cells 1 and 2) are upright, moved toward the upper right.
struct GlyphStrip {
  QImage image;    // kStripWidth x kStripHeight, RGB32
  QRgb back = 0;   // 0xRRGGBB
  QRgb fore = 0;
  QFont font;

  // Draws every cell afresh in the strip's font and colours.
  void build();
  // Clears the whole strip to a new background (the marks then show as
  // empty cells until the strip is built again).
  void setBackground(QRgb colour);
};

// The printed form of each character in one font, kept once measured: its
// printed width and the pixels it inks relative to its top-left print
// position. Printing with antialiasing off inks whole pixels only, so
// copying the kept pixels gives exactly what printing the character gives.
class TypeCase {
 public:
  explicit TypeCase(const QFont& font);
  const QFont& font() const { return font_; }
  // The printed width of ch, in pixels.
  double width(QChar ch);
  // Prints ch with its top-left at (x, y) in colour, transparent background.
  void print(QImage& canvas, std::int64_t x, std::int64_t y, QChar ch, QRgb colour);

 private:
  struct Glyph {
    double width = 0;
    int left = 0, top = 0;             // ink box relative to the print position
    int w = 0, h = 0;
    std::vector<std::uint8_t> ink;     // w x h, 1 where the glyph inks
  };
  const Glyph& glyph(QChar ch);
  QFont font_;
  int ascent_ = 0;
  QHash<char16_t, Glyph> glyphs_;
};

// The horizontal offset that centres a character of printed width w in its
// cell: (22 - w) to the nearest integer (halves to even), halved toward zero.
int centreOffset(double w);

// One placed character: column x, cell y (before the drop of kCellDrop).
struct Cell {
  std::int64_t x;
  std::int64_t y;
  QChar ch;
};

// Walks text as the painting does: a CR starts a new column, so does a cell
// below the height limit h; every other character takes one cell. The first
// column is at x = st. visit(Cell) is called for every placed character.
template <class Visit>
void layoutColumns(const QString& text, int st, int h, Visit&& visit) {
  std::int64_t x = st, y = 0;
  for (QChar ch : text) {
    if (ch == u'\r' || y > h) {
      y = 0;
      x -= kCell;
    }
    if (ch == u'\r') continue;
    visit(Cell{x, y, ch});
    y += kCell;
  }
}

// The same, collected (for tests and callers that want the list).
std::vector<Cell> layout(const QString& text, int st, int h);

// One paint: every character of text at its cell, over what the canvas
// already holds. Turned marks are opaque copies of their strip cell; other
// characters are printed centred in fore. Cells wholly outside the canvas
// are skipped (they would draw nothing).
void paintColumns(QImage& canvas, const QString& text, int st, int h, const GlyphStrip& strip, TypeCase& type,
                  QRgb fore);

// A number held as text in a hidden field, taken as a 32-bit integer: the
// nearest integer with halves to even; text that is not a number gives 0,
// values beyond the range stop at its ends.
int fieldInt(const QString& text);

// The resize rule: from the window's outer height H in twips, the column
// height limit as the text the window keeps, and the tops (pixels) of the
// two bands at the bottom. The rule's limit counts from the top of the
// drawing; since every cell is drawn kCellDrop lower, the limit is moved up
// by as much, and it never lets the last cell of a column reach below the
// upper band or below clientHeight (the window's lower edge), so that every
// cell of every column shows at every size (0 at least: one cell a column).
struct ResizeLayout {
  QString limitText;
  double picture2Top;
  double picture3Top;
};
ResizeLayout resizeRule(int outerHeightTwips, bool maximised, double clientHeight = 1e9);

// The hand-off text, decoded from CP932 (a byte that is not CP932 becomes one
// U+FFFD); nullopt when the file is missing or cannot be read.
std::optional<QString> readHandOff(const QString& path);

}  // namespace colwrite
