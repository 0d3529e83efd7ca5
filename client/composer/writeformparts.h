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
using ui::setHeightTw, ui::setLeftTw, ui::setTopTw, ui::setWidthTw, ui::twH, ui::twL, ui::twT, ui::twW;

// The pane's row count as decimal text for Text1.
QString countText(int n);

}  // namespace writeform
