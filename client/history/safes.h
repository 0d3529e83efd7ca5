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
// Makes the bytes of a mail record (MailRecord::kSize of them) a safe's new
// record: the leading blanks of each text field dropped, the line end
// CR LF, live. The characters stay the bytes they were.
void safeRecordBytes(char* record);
}  // namespace history
