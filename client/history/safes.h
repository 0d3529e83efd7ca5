#pragma once
// Shared pieces of the two safe windows.
class QWidget;
class QPushButton;
class QColor;

namespace history {
// A fixed-size window of the given client size (twips), centred on the screen.
void centreFixedWindow(QWidget* window, int clientWidth, int clientHeight);
// A button's background colour (kept in the property "backColor" as well).
void colourButton(QPushButton* button, const QColor& colour);
}  // namespace history
