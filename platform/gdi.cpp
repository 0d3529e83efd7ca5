#include "gdi.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace gdi {

QImage surface(int w, int h, QRgb colour) {
  QImage img(std::max(w, 0), std::max(h, 0), QImage::Format_RGB32);
  img.fill(colour | 0xFF000000u);
  return img;
}

QImage toSurface(const QImage& img) {
  if (img.format() == QImage::Format_RGB32) return img;
  QImage s = img.convertToFormat(QImage::Format_RGB32);
  return s;
}

std::uint32_t ropPixel(std::uint32_t rop, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  const unsigned index = (rop >> 16) & 0xFF;
  std::uint32_t r = 0;
  // Bit i of the index gives the result for pattern bit P, source bit S and
  // destination bit D where i = P*4 + S*2 + D.
  for (unsigned i = 0; i < 8; ++i) {
    if (!((index >> i) & 1)) continue;
    const std::uint32_t mp = (i & 4) ? p : ~p;
    const std::uint32_t ms = (i & 2) ? s : ~s;
    const std::uint32_t md = (i & 1) ? d : ~d;
    r |= mp & ms & md;
  }
  return r;
}

namespace {

struct Rect {
  int x, y, w, h, sx, sy;
};

// Clips the destination rectangle (and the source one with it).
bool clip(Rect& r, int dw, int dh, int sw, int sh, bool withSource) {
  if (r.w <= 0 || r.h <= 0) return false;
  auto cut = [&](int& pos, int& spos, int& len, int limit, int slimit) {
    if (pos < 0) {
      spos -= pos;
      len += pos;
      pos = 0;
    }
    if (withSource && spos < 0) {
      pos -= spos;
      len += spos;
      spos = 0;
    }
    if (pos + len > limit) len = limit - pos;
    if (withSource && spos + len > slimit) len = slimit - spos;
  };
  cut(r.x, r.sx, r.w, dw, sw);
  cut(r.y, r.sy, r.h, dh, sh);
  return r.w > 0 && r.h > 0;
}

void ensureSurface(QImage& img) {
  if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
    img = img.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

bool BitBlt(QImage& dst, int x, int y, int w, int h, const QImage& srcIn, int sx, int sy, std::uint32_t rop,
            QRgb brush) {
  ensureSurface(dst);
  const QImage src = (srcIn.format() == QImage::Format_RGB32 || srcIn.format() == QImage::Format_ARGB32)
                         ? srcIn
                         : srcIn.convertToFormat(QImage::Format_RGB32);
  Rect r{x, y, w, h, sx, sy};
  if (!clip(r, dst.width(), dst.height(), src.width(), src.height(), true)) return false;
  // A source that is the destination itself with overlapping rectangles is
  // read from a copy.
  const bool same = src.constBits() == dst.constBits();
  const QImage copy = same ? src.copy() : QImage();
  const QImage& s = same ? copy : src;
  const std::uint32_t p = brush & 0xFFFFFFu;
  const unsigned index = (rop >> 16) & 0xFF;
  for (int row = 0; row < r.h; ++row) {
    auto* d = reinterpret_cast<std::uint32_t*>(dst.scanLine(r.y + row)) + r.x;
    const auto* sp = reinterpret_cast<const std::uint32_t*>(s.constScanLine(r.sy + row)) + r.sx;
    switch (index) {
      case 0xCC:
        for (int i = 0; i < r.w; ++i) d[i] = sp[i] | 0xFF000000u;
        break;
      case 0x88:
        for (int i = 0; i < r.w; ++i) d[i] = (d[i] & sp[i]) | 0xFF000000u;
        break;
      case 0xEE:
        for (int i = 0; i < r.w; ++i) d[i] = (d[i] | sp[i]) | 0xFF000000u;
        break;
      case 0x66:
        for (int i = 0; i < r.w; ++i) d[i] = (d[i] ^ sp[i]) | 0xFF000000u;
        break;
      default:
        for (int i = 0; i < r.w; ++i) d[i] = ropPixel(rop, p, sp[i], d[i]) | 0xFF000000u;
        break;
    }
  }
  return true;
}

bool PatBlt(QImage& dst, int x, int y, int w, int h, std::uint32_t rop, QRgb brush) {
  ensureSurface(dst);
  Rect r{x, y, w, h, 0, 0};
  if (!clip(r, dst.width(), dst.height(), 0, 0, false)) return false;
  const std::uint32_t p = brush & 0xFFFFFFu;
  for (int row = 0; row < r.h; ++row) {
    auto* d = reinterpret_cast<std::uint32_t*>(dst.scanLine(r.y + row)) + r.x;
    for (int i = 0; i < r.w; ++i) d[i] = ropPixel(rop, p, 0, d[i]) | 0xFF000000u;
  }
  return true;
}

void Line(QImage& dst, int x0, int y0, int x1, int y1, QRgb pen, int width) {
  ensureSurface(dst);
  // Bresenham, stopping before the end point.
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  const int half = (std::max(width, 1) - 1) / 2;
  const std::uint32_t c = pen | 0xFF000000u;
  auto plot = [&](int px, int py) {
    for (int oy = -half; oy < std::max(width, 1) - half; ++oy)
      for (int ox = -half; ox < std::max(width, 1) - half; ++ox) {
        const int X = px + ox, Y = py + oy;
        if (X >= 0 && Y >= 0 && X < dst.width() && Y < dst.height())
          reinterpret_cast<std::uint32_t*>(dst.scanLine(Y))[X] = c;
      }
  };
  int x = x0, y = y0;
  while (!(x == x1 && y == y1)) {
    plot(x, y);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

}  // namespace gdi
