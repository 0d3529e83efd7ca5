#include "colwrite/vertical.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QTemporaryDir>
#include <climits>

#include "platform/gdi.h"

using colwrite::kCell;

namespace {

// The top of the first cell of every column.
constexpr int kTop = colwrite::kCellDrop;

constexpr QRgb kBack = 0xC0C0FF;
constexpr QRgb kFore = 0x000000;

colwrite::GlyphStrip strip(QRgb fore = kFore, QRgb back = kBack) {
  colwrite::GlyphStrip s;
  s.fore = fore;
  s.back = back;
  s.font = colwrite::viewerFont();
  s.build();
  return s;
}

// text printed upright with its top-left at (x, y) on a surface of w x h.
QImage printed(int w, int h, const QString& text, int x = 0, int y = 0, QRgb fore = kFore, QRgb back = kBack) {
  QImage img = gdi::surface(w, h, back);
  QPainter p(&img);
  const QFont f = colwrite::viewerFont();
  p.setFont(f);
  p.setPen(QColor::fromRgb(fore | 0xFF000000u));
  p.drawText(QPoint(x, y + QFontMetrics(f).ascent()), text);
  return img;
}

int inkIn(const QImage& img, int x0, int y0, int w, int h, QRgb back) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) n += (img.pixel(x, y) & 0xFFFFFFu) != back;
  return n;
}

bool sameBlock(const QImage& a, int ax, int ay, const QImage& b, int bx, int by, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (a.pixel(ax + x, ay + y) != b.pixel(bx + x, by + y)) return false;
  return true;
}

QString cellsText(const std::vector<colwrite::Cell>& cells) {
  QStringList out;
  for (const auto& c : cells) {
    const QString ch = c.ch == u'\n' ? QStringLiteral("LF") : QString(c.ch);
    out << QStringLiteral("%1@%2,%3").arg(ch).arg(c.x).arg(c.y);
  }
  return out.join(u' ');
}

}  // namespace

TEST(ColwriteLayout, ColumnBreaks) {
  const QString twenty = QString(20, QChar(u'あ'));
  struct Case {
    const char* name;
    QString text;
    int st, h;
    QString want;
  } cases[] = {
      {"empty text", QString(), 500, 405, QString()},
      {"CR starts a column, LF fills a cell", QStringLiteral("あ\r\nい"), 500, 405,
       QStringLiteral("あ@500,0 LF@478,0 い@478,22")},
      {"LF alone keeps the column", QStringLiteral("a\nb"), 500, 405, QStringLiteral("a@500,0 LF@500,22 b@500,44")},
      {"limit 0 gives one cell a column", QStringLiteral("abc"), 500, 0, QStringLiteral("a@500,0 b@478,0 c@456,0")},
      {"two CRs leave an empty column", QStringLiteral("a\r\rb"), 100, 405, QStringLiteral("a@100,0 b@56,0")},
      {"leading CR", QStringLiteral("\ra"), 100, 405, QStringLiteral("a@78,0")},
  };
  for (const Case& c : cases) EXPECT_EQ(cellsText(colwrite::layout(c.text, c.st, c.h)), c.want) << c.name;

  // A limit of 405 holds 19 cells; the 20th character starts the next column at the top.
  const auto cells = colwrite::layout(twenty, 500, 405);
  ASSERT_EQ(cells.size(), 20u);
  EXPECT_EQ(cells[18].x, 500);
  EXPECT_EQ(cells[18].y, 18 * kCell);
  EXPECT_EQ(cells[19].x, 478);
  EXPECT_EQ(cells[19].y, 0);
}

TEST(ColwriteLayout, ColumnPositionNeverOverflows) {
  const auto cells = colwrite::layout(QStringLiteral("ab"), INT_MIN, 0);
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[1].x, static_cast<std::int64_t>(INT_MIN) - kCell);
}

TEST(ColwriteLayout, CentreOffsetRoundsHalvesToEvenThenHalvesTowardZero) {
  struct {
    double w;
    int want;
  } cases[] = {{16, 3}, {8, 7}, {7, 7}, {22, 0}, {21.5, 0}, {20.5, 1}, {30, -4}, {29, -3}, {0, 11}};
  for (auto c : cases) EXPECT_EQ(colwrite::centreOffset(c.w), c.want) << c.w;
}

TEST(ColwriteLayout, FieldNumbers) {
  struct {
    const char* text;
    int want;
  } cases[] = {{"500", 500},  {"", 0},          {"428.029411764706", 428}, {"2.5", 2}, {"3.5", 4},
               {"-200", -200}, {"abc", 0},      {"1e20", INT_MAX},        {"-1e20", INT_MIN}, {" 405 ", 405}};
  for (auto c : cases) EXPECT_EQ(colwrite::fieldInt(QString::fromUtf8(c.text)), c.want) << c.text;
}

TEST(ColwriteLayout, ResizeTable) {
  struct {
    int H;
    bool maximised;
    const char* limit;
    double p2, p3;
    int cells;  // cells a column
  } cases[] = {
      {7649, false, "332.9529", 7649 / 17.0, 7649 / 17.0 - 20, 16},
      {7650, false, "378", 462.5, 447.5, 18},
      {7650, true, "378", 502.5, 482.5, 18},
      {8085, false, "401.029411764706", 484.25, 469.25, 19},
      // (the last cell would reach under the band: the limit stops above it)
      {3000, false, "107", 3000 / 17.0, 3000 / 17.0 - 20, 5},
      {16200, false, "826", 890, 875, 38},
      {16200, true, "830.647058823529", 930, 910, 38},
  };
  for (auto c : cases) {
    const auto r = colwrite::resizeRule(c.H, c.maximised);
    EXPECT_EQ(r.limitText, QString::fromLatin1(c.limit)) << c.H;
    EXPECT_DOUBLE_EQ(r.picture2Top, c.p2) << c.H;
    EXPECT_DOUBLE_EQ(r.picture3Top, c.p3) << c.H;
    const int h = colwrite::fieldInt(r.limitText);
    EXPECT_EQ(colwrite::layout(QString(60, QChar(u'x')), 0, h).at(static_cast<std::size_t>(c.cells)).y, 0) << c.H;
    EXPECT_EQ(colwrite::layout(QString(60, QChar(u'x')), 0, h).at(static_cast<std::size_t>(c.cells) - 1).x, 0) << c.H;
  }
}

TEST(ColwriteLayout, EveryCellOfAColumnLiesAboveTheBandAndTheLowerEdge) {
  const QString text(200, QChar(u'x'));
  for (const bool maximised : {false, true}) {
    // (from the least height that holds one cell above the band)
    for (int H = 1260; H <= 30000; H += 15) {
      // The window's client as the viewer counts it: the outer height less 34 pixels.
      const double client = H / 15.0 - 34;
      const auto r = colwrite::resizeRule(H, maximised, client);
      const int h = colwrite::fieldInt(r.limitText);
      ASSERT_GE(h, 0) << H;
      std::int64_t lowest = 0;
      for (const auto& cell : colwrite::layout(text, 0, h))
        if (cell.x == 0) lowest = std::max(lowest, cell.y);
      EXPECT_LE(lowest + colwrite::kCellDrop + kCell, std::min(r.picture3Top, client) + 0.5)
          << H << (maximised ? " maximised" : "");
    }
  }
}

TEST(ColwriteStrip, MarksAreTurnedAQuarterClockwise) {
  const auto s = strip();
  ASSERT_EQ(s.image.size(), QSize(352, 22));
  for (int p = 3; p <= colwrite::kMarkCount; ++p) {
    const QImage upright = printed(kCell, kCell, colwrite::RotatedMarks().mid(p - 1, 1));
    EXPECT_GT(inkIn(upright, 0, 0, kCell, kCell, kBack), 0) << p;
    int wrong = 0;
    for (int X = 0; X < kCell; ++X)
      for (int Y = 0; Y < kCell; ++Y) wrong += s.image.pixel(kCell - 1 - Y + kCell * p, X) != upright.pixel(X, Y);
    EXPECT_EQ(wrong, 0) << "mark " << p;
  }
}

TEST(ColwriteStrip, CommaAndFullStopMoveToTheUpperRightWithinTheirCells) {
  const auto s = strip();
  const QImage upright = printed(3 * kCell, kCell, QStringLiteral("，。"));
  for (int x = kCell; x < 3 * kCell; ++x)
    for (int y = 0; y < kCell; ++y) {
      QRgb want = kBack | 0xFF000000u;
      if (y < 11) want = x >= 33 ? upright.pixel(x - 33, y + 11) : upright.pixel(x, y);
      ASSERT_EQ(s.image.pixel(x, y), want) << x << "," << y;
    }
  // Both keep ink, and the lower halves are empty.
  EXPECT_GT(inkIn(s.image, kCell, 0, kCell, 11, kBack), 0);
  EXPECT_GT(inkIn(s.image, 2 * kCell, 0, kCell, 11, kBack), 0);
  EXPECT_EQ(inkIn(s.image, 0, 11, 3 * kCell, 11, kBack), 0);
}

TEST(ColwriteStrip, MovingTheCommaLeavesTheNextCellWhole) {
  // Cell 3, the turned opening parenthesis, is exactly its turned print.
  const auto s = strip();
  const QImage upright = printed(kCell, kCell, QStringLiteral("（"));
  for (int X = 0; X < kCell; ++X)
    for (int Y = 0; Y < kCell; ++Y) ASSERT_EQ(s.image.pixel(kCell - 1 - Y + 3 * kCell, X), upright.pixel(X, Y));
}

TEST(ColwriteStrip, HyphenMinusFillsTheLastCell) {
  const auto s = strip();
  EXPECT_EQ(colwrite::markNumber(u'-'), 15);
  EXPECT_GT(inkIn(s.image, 330, 0, 22, 22, kBack), 0);
  EXPECT_EQ(colwrite::markNumber(u':'), 0);
  EXPECT_EQ(colwrite::markNumber(QChar(0xFF1A)), 14);
  EXPECT_EQ(colwrite::markNumber(QChar(0x3001)), 0);  // "、" stays upright
}

TEST(ColwriteStrip, NewBackgroundLeavesEmptyCells) {
  auto s = strip();
  s.setBackground(0x00FF00);
  EXPECT_EQ(inkIn(s.image, 0, 0, 352, 22, 0x00FF00), 0);
}

TEST(ColwritePaint, TurnedMarksAreOpaqueCopiesOfTheirCells) {
  const auto s = strip();
  colwrite::TypeCase type(colwrite::viewerFont());
  QImage canvas = gdi::surface(200, 120, 0x123456);
  // "「", CR LF, "：", ":" : "「" at (150, kTop); "：" in the second column's
  // second cell, at (128, kTop + 22); the ASCII colon below it, printed upright.
  colwrite::paintColumns(canvas, QStringLiteral("「\r\n：:"), 150, 405, s, type, kFore);
  EXPECT_TRUE(sameBlock(canvas, 150, kTop, s.image, 22 * 9, 0, 22, 22));
  EXPECT_TRUE(sameBlock(canvas, 128, kTop + 22, s.image, 22 * 14, 0, 22, 22));
  EXPECT_FALSE(sameBlock(canvas, 128, kTop + 44, s.image, 0, 0, 22, 22));
  EXPECT_EQ(canvas.pixel(128, kTop + 44) & 0xFFFFFFu, 0x123456u);  // transparent around the upright colon
}

TEST(ColwritePaint, UprightCharactersAreCentredWithATransparentBackground) {
  const auto s = strip();
  colwrite::TypeCase type(colwrite::viewerFont());
  const QFontMetrics fm(colwrite::viewerFont());
  for (const QString& ch : {QStringLiteral("A"), QStringLiteral("g"), QStringLiteral("あ"), QStringLiteral("漢")}) {
    // A striped canvas shows that only the glyph's own pixels change.
    QImage canvas = gdi::surface(100, 60, 0);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 100; ++x) canvas.setPixel(x, y, (x + y) % 2 ? 0xFFFF0000u : 0xFF00FF00u);
    QImage want = canvas.copy();
    {
      QPainter p(&want);
      p.setFont(colwrite::viewerFont());
      p.setPen(QColor(0, 0, 255));
      const int d = (22 - fm.horizontalAdvance(ch)) / 2;
      p.drawText(QPoint(40 + d, kTop + fm.ascent()), ch);
    }
    colwrite::paintColumns(canvas, ch, 40, 405, s, type, 0x0000FF);
    EXPECT_EQ(canvas, want) << ch.toStdString();
    EXPECT_NE(canvas.pixel(0, 0), 0xFF0000FFu);
  }
  EXPECT_EQ(fm.horizontalAdvance(QStringLiteral("あ")), 16);
  EXPECT_EQ(fm.horizontalAdvance(QStringLiteral("A")), 8);
}

TEST(ColwritePaint, PaintingAgainOverItselfKeepsThePixels) {
  const auto s = strip();
  colwrite::TypeCase type(colwrite::viewerFont());
  QImage canvas = gdi::surface(555, 505, kBack);
  const QString text = QStringLiteral("縦書き文字、「試験」です。\r\nABC: xyz-123\r\n");
  colwrite::paintColumns(canvas, text, 500, 405, s, type, kFore);
  const QImage once = canvas.copy();
  for (int i = 0; i < 3; ++i) colwrite::paintColumns(canvas, text, 500, 405, s, type, kFore);
  EXPECT_EQ(canvas, once);
  EXPECT_NE(once, gdi::surface(555, 505, kBack));
}

TEST(ColwritePaint, ColumnsFarOutsideTheCanvasDrawNothing) {
  const auto s = strip();
  colwrite::TypeCase type(colwrite::viewerFont());
  const QImage empty = gdi::surface(100, 100, kBack);
  for (int st : {INT_MAX, INT_MIN, -23, 100 + 3 * kCell + 1}) {
    QImage canvas = empty.copy();
    colwrite::paintColumns(canvas, QStringLiteral("あ「\r\nい"), st, 0, s, type, kFore);
    EXPECT_EQ(canvas, empty) << st;
  }
}

TEST(ColwriteHandOff, CharactersThatAreNotCp932BecomeOneCellEach) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("test.txt"));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  // あ, two bad bytes, い, an unassigned double-byte pair, う, CR LF.
  f.write(QByteArray("\x82\xa0\xff\x80\x82\xa2\x85\x40\x82\xa4\r\n", 12));
  f.close();
  const auto text = colwrite::readHandOff(path);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(cellsText(colwrite::layout(*text, 0, 405)),
            QStringLiteral("あ@0,0 \uFFFD@0,22 \uFFFD@0,44 い@0,66 \uFFFD@0,88 う@0,110 LF@-22,0"));

  // Painting goes on past them.
  const auto s = strip();
  colwrite::TypeCase type(colwrite::viewerFont());
  QImage canvas = gdi::surface(60, 120, kBack);
  colwrite::paintColumns(canvas, *text, 20, 405, s, type, kFore);
  EXPECT_GT(inkIn(canvas, 20, kTop + 66, 22, 22, kBack), 0);  // "い"
}

TEST(ColwriteHandOff, MissingOrUnreadable) {
  QTemporaryDir dir;
  EXPECT_FALSE(colwrite::readHandOff(dir.filePath(QStringLiteral("test.txt"))).has_value());
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("test.txt")));
  EXPECT_FALSE(colwrite::readHandOff(dir.filePath(QStringLiteral("test.txt"))).has_value());
  QFile f(dir.filePath(QStringLiteral("empty.txt")));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  EXPECT_EQ(colwrite::readHandOff(f.fileName()), QString());
}
