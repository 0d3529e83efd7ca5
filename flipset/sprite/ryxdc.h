#pragma once
// Device contexts, bitmaps and pens by handle, drawn through the platform's
// raster operations (platform/gdi.h).
//
// A handle is a 32-bit number that is never handed out twice; a handle that
// was deleted (or never made) is simply refused, so releasing anything twice
// is harmless. Every copy is clipped to both surfaces.
//
// Two kinds of device context exist:
// - memory DCs (CreateCompatibleDC): draw into the bitmap selected into them
//   (a 1 x 1 stock bitmap until another is selected);
// - window DCs: a picture box's own surface (registerWindowDc), whose owner
//   is told after every change so that it can show it at once.
#include <QImage>
#include <cstdint>
#include <functional>

namespace ryx {

using Handle = std::int32_t;

// Pen styles (only solid lines are drawn).
constexpr int PS_SOLID = 0;

// A new memory DC compatible with hdc (0: with the screen).
Handle CreateCompatibleDC(Handle hdc);
// A new bitmap of w x h pixels (black); 0 when w or h is below 1.
Handle CreateCompatibleBitmap(Handle hdc, int w, int h);
// A new pen; colour is 0x00BBGGRR.
Handle CreatePen(int style, int width, std::uint32_t colour);
// Selects a bitmap or pen into a memory DC; returns the object of the same
// kind it replaces, or 0 on failure (a bitmap already selected elsewhere, an
// unknown handle, a window DC for bitmaps).
Handle SelectObject(Handle hdc, Handle object);
// Deletes a bitmap or pen that no DC holds; false otherwise.
bool DeleteObject(Handle object);
// Deletes a memory DC (its objects stay alive and become free again).
bool DeleteDC(Handle hdc);

bool BitBlt(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, std::uint32_t rop);
bool PatBlt(Handle hdc, int x, int y, int w, int h, std::uint32_t rop);
bool MoveToEx(Handle hdc, int x, int y);
// A line with the selected pen from the current position; the end pixel is
// left out and becomes the new current position.
bool LineTo(Handle hdc, int x, int y);

// The surface a DC draws on (nullptr for an unknown handle).
const QImage* dcSurface(Handle hdc);
// The surface of a bitmap (nullptr for an unknown handle).
const QImage* bitmapSurface(Handle bitmap);
// Whether the handle names a live object of any kind.
bool isLive(Handle h);

// Registers the surface of a window (picture box) as a DC; changed runs
// after every drawing operation on it.
Handle registerWindowDc(QImage* surface, std::function<void()> changed);
void unregisterWindowDc(Handle hdc);

}  // namespace ryx
