#include "flipset/sprite/ryxdc.h"

#include <QPoint>
#include <unordered_map>

#include "platform/gdi.h"

namespace ryx {
namespace {

enum class Kind { Bitmap, Pen, MemoryDc, WindowDc };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  Kind kind;
  // Bitmap
  QImage image;
  Handle selectedIn = 0;
  // Pen
  QRgb colour = 0;
  int width = 1;
  int style = PS_SOLID;
  int selections = 0;
  // DC
  QImage* window = nullptr;
  std::function<void()> changed;
  Handle bitmap = 0;
  Handle pen = 0;
  QPoint pos;
};

// Stock objects every memory DC starts with; never deleted.
constexpr Handle kStockBitmap = 1;
constexpr Handle kStockPen = 2;

struct Table {
  std::unordered_map<Handle, Object> objects;
  Handle next = 16;
  Table() {
    Object bm(Kind::Bitmap);
    bm.image = gdi::surface(1, 1, 0x000000);
    objects.emplace(kStockBitmap, std::move(bm));
    Object pen(Kind::Pen);
    objects.emplace(kStockPen, std::move(pen));
  }
  Handle add(Object o) {
    const Handle h = next++;
    objects.emplace(h, std::move(o));
    return h;
  }
  Object* find(Handle h) {
    auto it = objects.find(h);
    return it == objects.end() ? nullptr : &it->second;
  }
  Object* dc(Handle h) {
    Object* o = find(h);
    return o && (o->kind == Kind::MemoryDc || o->kind == Kind::WindowDc) ? o : nullptr;
  }
};

Table& table() {
  static Table t;
  return t;
}

QImage* surfaceOf(Object& dc) {
  if (dc.kind == Kind::WindowDc) return dc.window;
  Object* bm = table().find(dc.bitmap);
  return bm && bm->kind == Kind::Bitmap ? &bm->image : nullptr;
}

void touched(Object& dc) {
  if (dc.kind == Kind::WindowDc && dc.changed) dc.changed();
}

QRgb toRgb(std::uint32_t bgr) { return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF); }

bool isStock(Handle h) { return h == kStockBitmap || h == kStockPen; }

}  // namespace

Handle CreateCompatibleDC(Handle hdc) {
  if (hdc != 0 && !table().dc(hdc)) return 0;
  Object o(Kind::MemoryDc);
  o.bitmap = kStockBitmap;
  o.pen = kStockPen;
  return table().add(std::move(o));
}

Handle CreateCompatibleBitmap(Handle hdc, int w, int h) {
  if (hdc != 0 && !table().dc(hdc)) return 0;
  if (w < 1 || h < 1) return 0;
  // Keep an absurd request from exhausting memory; such a bitmap fails.
  if (static_cast<long long>(w) * h > 64LL * 1024 * 1024) return 0;
  Object o(Kind::Bitmap);
  o.image = gdi::surface(w, h, 0x000000);
  if (o.image.isNull()) return 0;
  return table().add(std::move(o));
}

Handle CreatePen(int style, int width, std::uint32_t colour) {
  Object o(Kind::Pen);
  o.style = style;
  o.width = width < 1 ? 1 : width;
  o.colour = toRgb(colour);
  return table().add(std::move(o));
}

Handle SelectObject(Handle hdc, Handle object) {
  Table& t = table();
  Object* dc = t.dc(hdc);
  Object* obj = t.find(object);
  if (!dc || !obj) return 0;
  if (obj->kind == Kind::Bitmap) {
    if (dc->kind != Kind::MemoryDc) return 0;
    if (object == dc->bitmap) return object;
    if (!isStock(object) && obj->selectedIn != 0) return 0;
    const Handle old = dc->bitmap;
    if (Object* o = t.find(old); o && !isStock(old)) o->selectedIn = 0;
    if (!isStock(object)) obj->selectedIn = hdc;
    dc->bitmap = object;
    return old;
  }
  if (obj->kind == Kind::Pen) {
    const Handle old = dc->pen;
    if (Object* o = t.find(old)) --o->selections;
    ++obj->selections;
    dc->pen = object;
    return old;
  }
  return 0;
}

bool DeleteObject(Handle object) {
  Table& t = table();
  Object* obj = t.find(object);
  if (!obj || (obj->kind != Kind::Bitmap && obj->kind != Kind::Pen)) return false;
  if (isStock(object)) return true;
  if (obj->kind == Kind::Bitmap && obj->selectedIn != 0) return false;
  if (obj->kind == Kind::Pen && obj->selections > 0) return false;
  t.objects.erase(object);
  return true;
}

bool DeleteDC(Handle hdc) {
  Table& t = table();
  Object* dc = t.find(hdc);
  if (!dc || dc->kind != Kind::MemoryDc) return false;
  if (Object* bm = t.find(dc->bitmap); bm && !isStock(dc->bitmap)) bm->selectedIn = 0;
  if (Object* pen = t.find(dc->pen)) --pen->selections;
  t.objects.erase(hdc);
  return true;
}

bool BitBlt(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, std::uint32_t rop) {
  Table& t = table();
  Object* d = t.dc(dst);
  Object* s = t.dc(src);
  if (!d || !s) return false;
  QImage* di = surfaceOf(*d);
  QImage* si = surfaceOf(*s);
  if (!di || !si) return false;
  const bool drawn = gdi::BitBlt(*di, x, y, w, h, *si, sx, sy, rop);
  if (drawn) touched(*d);
  return drawn;
}

bool PatBlt(Handle hdc, int x, int y, int w, int h, std::uint32_t rop) {
  Object* d = table().dc(hdc);
  if (!d) return false;
  QImage* di = surfaceOf(*d);
  if (!di) return false;
  const bool drawn = gdi::PatBlt(*di, x, y, w, h, rop, 0xFFFFFF);
  if (drawn) touched(*d);
  return drawn;
}

bool MoveToEx(Handle hdc, int x, int y) {
  Object* d = table().dc(hdc);
  if (!d) return false;
  d->pos = QPoint(x, y);
  return true;
}

bool LineTo(Handle hdc, int x, int y) {
  Table& t = table();
  Object* d = t.dc(hdc);
  if (!d) return false;
  QImage* di = surfaceOf(*d);
  Object* pen = t.find(d->pen);
  if (di && pen) {
    gdi::Line(*di, d->pos.x(), d->pos.y(), x, y, pen->colour, pen->width);
    touched(*d);
  }
  d->pos = QPoint(x, y);
  return di != nullptr;
}

const QImage* dcSurface(Handle hdc) {
  Object* d = table().dc(hdc);
  return d ? surfaceOf(*d) : nullptr;
}

const QImage* bitmapSurface(Handle bitmap) {
  Object* o = table().find(bitmap);
  return o && o->kind == Kind::Bitmap ? &o->image : nullptr;
}

bool isLive(Handle h) { return table().find(h) != nullptr; }

Handle registerWindowDc(QImage* surface, std::function<void()> changed) {
  Object o(Kind::WindowDc);
  o.window = surface;
  o.changed = std::move(changed);
  o.pen = kStockPen;
  return table().add(std::move(o));
}

void unregisterWindowDc(Handle hdc) {
  Table& t = table();
  Object* d = t.find(hdc);
  if (!d || d->kind != Kind::WindowDc) return;
  if (Object* pen = t.find(d->pen)) --pen->selections;
  t.objects.erase(hdc);
}

}  // namespace ryx
