#pragma once
// Helpers shared by the files of the new-mail composer.
#include <QColor>
#include <QString>
#include <QWidget>
#include <algorithm>

#include "platform/seams.h"
#include "platform/ui.h"

namespace writeform {

inline const QString kCrLf = QStringLiteral("\r\n");

// Colours of the composer.
inline QColor qb(int n) { return seams::toQColor(seams::QBColor(n)); }
inline QColor white() { return QColor(255, 255, 255); }
inline QColor multiModeToColor() { return seams::toQColor(16773077); }  // RGB(213, 239, 255)
inline QColor heldListColor() { return QColor(206, 240, 244); }
inline QColor toggleGrey() { return QColor(192, 192, 192); }
inline QColor toggleYellow() { return QColor(255, 255, 0); }

// Background colour of a control (kept in the property "backColor" too).
void setBackColor(QWidget* w, const QColor& c);
QColor backColor(const QWidget* w);
void setForeColor(QWidget* w, const QColor& c);
QColor foreColor(const QWidget* w);

// Geometry of a control in twips of its parent.
inline int twL(const QWidget* w) { return ui::tw(w->x()); }
inline int twT(const QWidget* w) { return ui::tw(w->y()); }
inline int twW(const QWidget* w) { return ui::tw(w->width()); }
inline int twH(const QWidget* w) { return ui::tw(w->height()); }
inline void setLeftTw(QWidget* w, int l) { w->move(ui::px(l), w->y()); }
inline void setTopTw(QWidget* w, int t) { w->move(w->x(), ui::px(t)); }
inline void setWidthTw(QWidget* w, int wd) { w->resize(std::max(0, ui::px(wd)), w->height()); }
inline void setHeightTw(QWidget* w, int h) { w->resize(w->width(), std::max(0, ui::px(h))); }

// The pane's row count as decimal text for Text1.
QString countText(int n);

}  // namespace writeform
