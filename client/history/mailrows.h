#pragma once
// Filling the history viewer's list from a list file (shared by the list
// opening, the deletions and the move into a safe).
#include <QString>

class QTextEdit;

namespace history {

// Rebuilds the viewer's list from every record of the list file of kind
// (1..6), whatever the live flags, in file order. After a non-empty list
// the boxes Text7, Text8, Text9 hold the last record's fields, trimmed when
// trimBoxes is true or as the whole fixed-width fields otherwise, and the
// body box its body passed through the clipboard; an empty list leaves the
// boxes. The selection marker Text5 is emptied. Returns the number of rows.
int fillList(int kind, bool trimBoxes);

// Adds the rows of the records the list file of kind gained past the rows
// on show (a mail check or a send appended them), leaving the rows, the
// boxes and the selection as they are; the count box follows. Returns the
// number of rows.
int addNewRows(int kind);

// What the user is told of a list longer than a list can be.
QString tooLongText(int count);

// Clears the clipboard, puts the box's text on it as plain text and sets
// the box to the clipboard's text with the blanks at both ends removed.
void clipboardPass(QTextEdit* box);

// The list file of kind 1..6 as the program writes it (empty for others).
QString listFile(int kind);

// The record count of a list file (a missing file is created empty).
int recordCount(const QString& programPath);

}  // namespace history

class QTreeWidget;
class QColor;
namespace history {
// The list's background colour (kept in the property "backColor" as well).
void setListColour(QTreeWidget* view, const QColor& colour);
}  // namespace history
