#pragma once
// The attachment buttons of a composer: the chosen files' full paths joined
// by "," in a hidden box (what the send hands to the mail library), their
// titles in a list (for display only).
#include <QString>
#include <cstdint>

class CommonDialog;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace attachmentrow {

struct Row {
  QLineEdit* paths;      // AttachText
  QListWidget* titles;   // List2
  QPushButton* attach;   // the first file
  QPushButton* another;  // one more file
  QPushButton* clear;    // forget them all
};

// The title a file is listed under.
using TitleOf = QString (*)(const QString& path);

// Shows the open dialog (read-only box hidden); the chosen path, or the
// empty text when the user cancelled (a cancel never brings back the file
// chosen before).
QString chooseFile(CommonDialog& dialog);
// The first file: puts its path in place of the paths and lists its title;
// "another" is enabled, "attach" disabled, even when the dialog is cancelled.
void attachFirst(const Row& row, CommonDialog& dialog, TitleOf title);
// One more file: shows the list; with a first file chosen, appends the
// path after a "," and lists its title.
void attachAnother(const Row& row, CommonDialog& dialog, TitleOf title);
// Forgets every file, hides the list, and enables only "attach".
void clear(const Row& row);
// The list's show / hide button: on an even count the button turns yellow,
// reads "非表示" and hides the list; on an odd one it turns grey, reads
// "表示" and shows it. The count goes up by one.
void toggleList(QPushButton* toggle, QListWidget* titles, std::int16_t& count);

}  // namespace attachmentrow
