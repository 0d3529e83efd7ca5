#include "vertical.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/codepage.h"
#include "platform/gdi.h"

namespace colwrite {

const QString& RotatedMarks() {
  static const QString marks = QStringLiteral("，。（）『』《》「」ー【】：-");
  return marks;
}

int markNumber(QChar ch) {
  const qsizetype i = RotatedMarks().indexOf(ch);
  return i < 0 ? 0 : static_cast<int>(i) + 1;
}

QFont viewerFont() {
  QFont f(QStringLiteral("ＭＳ ゴシック"));
  f.setPixelSize(16);  // 12 points at 96 dots an inch
  f.setStyleStrategy(QFont::NoAntialias);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

QRgb toRgb(std::int64_t colourRef) {
  const auto v = static_cast<std::uint32_t>(colourRef);
  return qRgb(static_cast<int>(v & 255), static_cast<int>((v >> 8) & 255), static_cast<int>((v >> 16) & 255)) &
         0xFFFFFFu;
}

namespace {

// Prints text with its top-left at (x, y), transparent background.
void printAt(QImage& img, const QFont& font, int x, int y, const QString& text, QRgb colour) {
  QPainter p(&img);
  p.setFont(font);
  p.setPen(QColor::fromRgb(colour | 0xFF000000u));
  p.drawText(QPoint(x, y + QFontMetrics(font).ascent()), text);
}

}  // namespace

void GlyphStrip::build() {
  if (image.width() != kStripWidth || image.height() != kStripHeight) image = gdi::surface(kStripWidth, kStripHeight, back);
  for (int p = 1; p <= kMarkCount; ++p) {
    // Print the mark upright into the scratch cell, then turn it into cell
    // p: the scratch square's top row becomes the cell's right-hand column,
    // its left column the cell's top row.
    QImage scratch = gdi::surface(kCell, kCell, back);
    printAt(scratch, font, 0, 0, RotatedMarks().mid(p - 1, 1), fore);
    gdi::BitBlt(image, 0, 0, kCell, kCell, scratch, 0, 0, gdi::SRCCOPY);
    for (int X = 0; X < kCell; ++X)
      for (int Y = 0; Y < kCell; ++Y)
        image.setPixel(kCell - 1 - Y + kCell * p, X, image.pixel(X, Y));
  }
  // The comma and the full stop stand upright in vertical text, in the upper
  // right of their cells: print them into cells 0 to 2, move their lower
  // halves up half a cell and one and a half cells to the right, and clear
  // the lower halves. Every step stays within cells 0 to 2.
  constexpr int half = kCell / 2;
  QImage three = gdi::surface(3 * kCell, kCell, back);
  printAt(three, font, 0, 0, RotatedMarks().left(2), fore);
  gdi::BitBlt(image, 0, 0, 3 * kCell, kCell, three, 0, 0, gdi::SRCCOPY);
  const int shift = kCell + half;  // 33
  gdi::BitBlt(image, shift, 0, 3 * kCell - shift, half, image, 0, half, gdi::SRCCOPY);
  gdi::PatBlt(image, 0, half, 3 * kCell, kCell - half, gdi::PATCOPY, back);
}

void GlyphStrip::setBackground(QRgb colour) {
  back = colour & 0xFFFFFFu;
  image = gdi::surface(kStripWidth, kStripHeight, back);
}

TypeCase::TypeCase(const QFont& font) : font_(font), ascent_(QFontMetrics(font).ascent()) {}

const TypeCase::Glyph& TypeCase::glyph(QChar ch) {
  auto it = glyphs_.find(ch.unicode());
  if (it != glyphs_.end()) return *it;
  Glyph g;
  g.width = QFontMetricsF(font_).horizontalAdvance(ch);
  // Line ends, tabs and other control characters take their cell and ink nothing.
  const bool control = ch.unicode() < 0x20 || ch.unicode() == 0x7F;
  if (!control) {
    constexpr int pad = 32;
    const int w = static_cast<int>(std::ceil(std::max(g.width, 0.0))) + 2 * pad + 16;
    const int h = 2 * pad + 16;
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
      QPainter p(&img);
      p.setFont(font_);
      p.setPen(Qt::black);
      p.drawText(QPoint(pad, pad + ascent_), QString(ch));
    }
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (int y = 0; y < h; ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
      for (int x = 0; x < w; ++x)
        if (qAlpha(line[x]) != 0) {
          x0 = std::min(x0, x);
          x1 = std::max(x1, x);
          y0 = std::min(y0, y);
          y1 = std::max(y1, y);
        }
    }
    if (x1 >= 0) {
      g.left = x0 - pad;
      g.top = y0 - pad;
      g.w = x1 - x0 + 1;
      g.h = y1 - y0 + 1;
      g.ink.assign(static_cast<std::size_t>(g.w) * static_cast<std::size_t>(g.h), 0);
      for (int y = 0; y < g.h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y0 + y));
        for (int x = 0; x < g.w; ++x)
          g.ink[static_cast<std::size_t>(y * g.w + x)] = qAlpha(line[x0 + x]) != 0 ? 1 : 0;
      }
    }
  }
  return *glyphs_.insert(ch.unicode(), std::move(g));
}

double TypeCase::width(QChar ch) { return glyph(ch).width; }

void TypeCase::print(QImage& canvas, std::int64_t x, std::int64_t y, QChar ch, QRgb colour) {
  const Glyph& g = glyph(ch);
  if (g.w == 0) return;
  const std::int64_t gx = x + g.left, gy = y + g.top;
  const std::int64_t W = canvas.width(), H = canvas.height();
  if (gx >= W || gy >= H || gx + g.w <= 0 || gy + g.h <= 0) return;
  const std::uint32_t c = colour | 0xFF000000u;
  const int ry0 = static_cast<int>(std::max<std::int64_t>(0, -gy));
  const int ry1 = static_cast<int>(std::min<std::int64_t>(g.h, H - gy));
  const int rx0 = static_cast<int>(std::max<std::int64_t>(0, -gx));
  const int rx1 = static_cast<int>(std::min<std::int64_t>(g.w, W - gx));
  for (int ry = ry0; ry < ry1; ++ry) {
    auto* line = reinterpret_cast<std::uint32_t*>(canvas.scanLine(static_cast<int>(gy + ry))) + gx;
    const std::uint8_t* ink = g.ink.data() + static_cast<std::size_t>(ry * g.w);
    for (int rx = rx0; rx < rx1; ++rx)
      if (ink[rx]) line[rx] = c;
  }
}

int centreOffset(double w) {
  const double spare = std::nearbyint(kCell - w);  // halves to even
  return static_cast<int>(spare) / 2;             // toward zero
}

std::vector<Cell> layout(const QString& text, int st, int h) {
  std::vector<Cell> cells;
  layoutColumns(text, st, h, [&](const Cell& c) { cells.push_back(c); });
  return cells;
}

void paintColumns(QImage& canvas, const QString& text, int st, int h, const GlyphStrip& strip, TypeCase& type,
                  QRgb fore) {
  if (canvas.format() != QImage::Format_RGB32) canvas = gdi::toSurface(canvas);
  // Columns only move left; once one lies wholly left of the canvas (with
  // room for a glyph reaching out of its cell) nothing further can show.
  constexpr std::int64_t margin = 2 * kCell;
  const std::int64_t W = canvas.width(), H = canvas.height();
  std::int64_t x = st, y = 0;
  for (QChar ch : text) {
    if (ch == u'\r' || y > h) {
      y = 0;
      x -= kCell;
      if (x + kCell + margin <= 0) return;
    }
    if (ch == u'\r') continue;
    const std::int64_t top = y + kCellDrop;
    if (x < W + margin && top < H + margin) {
      const int p = markNumber(ch);
      if (p > 0) {
        if (x > INT_MIN / 2 && x < INT_MAX / 2)
          gdi::BitBlt(canvas, static_cast<int>(x), static_cast<int>(top), kCell, kCell, strip.image, kCell * p, 0,
                      gdi::SRCCOPY);
      } else {
        type.print(canvas, x + centreOffset(type.width(ch)), top, ch, fore);
      }
    }
    y += kCell;
  }
}

int fieldInt(const QString& text) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  if (!ok || std::isnan(v)) return 0;
  const double r = std::nearbyint(v);
  if (r >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (r <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(r);
}

ResizeLayout resizeRule(int H, bool maximised, double clientHeight) {
  ResizeLayout r;
  double limit = 0;
  int digits = 15;
  if (H >= 7650) {
    limit = H / 85.0 * 4.5 - kCellDrop;
    r.picture2Top = H / 20.0 + (maximised ? 120 : 80);
    r.picture3Top = H / 20.0 + (maximised ? 100 : 65);
  } else {
    limit = static_cast<double>(static_cast<float>(H) / 85.0f * 4.0f - static_cast<float>(kCellDrop));
    digits = 7;
    r.picture2Top = H / 17.0;
    r.picture3Top = H / 17.0 - 20;
  }
  // The last cell of a column starts at most at the limit and ends kCell
  // further down, all of it kCellDrop below its position.
  const double room = std::min(r.picture3Top, clientHeight) - kCellDrop - kCell;
  if (limit > room) {
    limit = std::floor(room);
    digits = 15;
  }
  r.limitText = QString::number(std::max(0.0, limit), 'g', digits);
  return r;
}

std::optional<QString> readHandOff(const QString& path) {
  if (!QFileInfo(path).isFile()) return std::nullopt;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = f.readAll();
  if (f.error() != QFileDevice::NoError) return std::nullopt;
  return cp932::decode(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace colwrite
