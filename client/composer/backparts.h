#pragma once
// Small helpers shared by the files of the reply composer.
#include <QColor>
#include <QString>

class QPlainTextEdit;
class QWidget;

namespace backparts {

// Background colour of a button, panel or box.
void setBackColor(QWidget* w, const QColor& c);
// Clears the clipboard, puts text on it as plain text (the clipboard keeps
// it) and returns the text.
QString clipboardPass(const QString& text);
// A plain-text box's text with CR LF line ends, and setting it from a text
// with CR LF, lone CR or LF line ends.
QString bufferText(const QPlainTextEdit* box);
void setBufferText(QPlainTextEdit* box, const QString& text);

}  // namespace backparts
