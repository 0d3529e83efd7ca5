#pragma once
// A small drawing layer on 32-bit images with the classic raster
// operations: exact per-pixel results on the colour bits, alpha kept opaque.
// Surfaces are QImage::Format_RGB32 (0xffRRGGBB).
#include <QImage>
#include <cstdint>

namespace gdi {

// The classic 32-bit ternary raster-operation codes; only their operation
// index (bits 16..23) is used.
enum Rop : std::uint32_t {
  SRCCOPY = 0x00CC0020,
  SRCPAINT = 0x00EE0086,
  SRCAND = 0x008800C6,
  SRCINVERT = 0x00660046,
  SRCERASE = 0x00440328,
  NOTSRCCOPY = 0x00330008,
  NOTSRCERASE = 0x001100A6,
  MERGECOPY = 0x00C000CA,
  MERGEPAINT = 0x00BB0226,
  PATCOPY = 0x00F00021,
  PATPAINT = 0x00FB0A09,
  PATINVERT = 0x005A0049,
  DSTINVERT = 0x00550009,
  BLACKNESS = 0x00000042,
  WHITENESS = 0x00FF0062,
};

// A new surface of w x h filled with colour (0xRRGGBB).
QImage surface(int w, int h, QRgb colour = 0x000000);
// Converts any image into a surface (opaque RGB32).
QImage toSurface(const QImage& img);

// Applies rop to the w x h rectangle of dst at (x, y) with the source
// rectangle of src at (sx, sy) and the pattern brush colour. Both rectangles
// are clipped to their images. Returns false when nothing was drawn.
bool BitBlt(QImage& dst, int x, int y, int w, int h, const QImage& src, int sx, int sy, std::uint32_t rop,
            QRgb brush = 0x000000);

// The same with a pattern only (PATCOPY, PATINVERT, DSTINVERT, BLACKNESS, WHITENESS ...).
bool PatBlt(QImage& dst, int x, int y, int w, int h, std::uint32_t rop, QRgb brush = 0x000000);

// One pixel-wide (or width-wide) line from (x0, y0) towards (x1, y1); as the
// platform's LineTo, the end pixel is left out.
void Line(QImage& dst, int x0, int y0, int x1, int y1, QRgb pen, int width = 1);

// The raster operation on one pixel's colour bits (p pattern, s source, d destination).
std::uint32_t ropPixel(std::uint32_t rop, std::uint32_t p, std::uint32_t s, std::uint32_t d);

}  // namespace gdi
