#pragma once
// The editor pane shared by the history viewer and both composers: one
// editor state for the whole client, the edit commands (each works on the
// calling window's own rtfEd and caption), and the save-as / open routines
// of each window. Files are plain text in CP932 with CR LF line ends.
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QAction;
class QPrinter;
class QTextEdit;
class QToolBar;
class CommonDialog;
namespace ui {
class Form;
}

// ---- shared editor state ----
extern QString DocumentPath;      // current document; set by New
extern bool DocumentModified;     // the viewer's body changed since Save / New
extern QString AutoSaveOption;    // never assigned: always empty
extern std::int16_t BoldCount;
extern std::int16_t ItalicCount;
extern std::int16_t UnderlineCount;
extern QString DialogFileName;    // file chosen by the last save-as / open dialog
extern std::int16_t TextFileNo;
extern QString OpenedText;
extern QString OpenedLine;
extern std::int32_t SelStartHistory[2];

// The dialog filter of the editor files.
QString EditorFileFilter();  // "txtファイル(*.txt,*.ini)|*.txt;*.ini"

// ---- edit commands on a pane ----
void EditUndo(QTextEdit* rtfEd);
void EditCut(QTextEdit* rtfEd);
void EditCopy(QTextEdit* rtfEd);
void EditPaste(QTextEdit* rtfEd);
void EditSelectAll(QTextEdit* rtfEd);
void EditJumpTop(QTextEdit* rtfEd);
void EditJumpEnd(QTextEdit* rtfEd);
// Saves rtfEd to DocumentPath as plain text; true on success (a failure
// is reported in a message box).
bool EditSaveFile(QTextEdit* rtfEd);
// True when the pane holds text the user wrote (typed, pasted, cut, a face
// mark or greeting put in) that is kept nowhere: since the program last set
// the text, or since it was last saved, and not undone again.
bool EditorHoldsUserText(const QTextEdit* rtfEd);
// Puts text into the pane in place of all it holds (line breaks as the pane
// keeps them), as one edit the user can undo; a text the pane already holds
// is left as it stands. The mark of unsaved text is the caller's to set.
void ReplaceAllUndoably(QTextEdit* rtfEd, const QString& text);
// Puts the header lines of a save-as into the pane: one edit the user can
// undo, and the pane keeps its mark of holding unsaved text of the user's,
// so that a save-as cancelled afterwards loses nothing at the next New.
void PutSaveAsHeader(QTextEdit* rtfEd, const QString& text);
// New: the first New after start empties the pane and creates "新規作成.TXT";
// it asks first when the user's text would be lost.
void EditNewFile(ui::Form& window, QTextEdit* rtfEd);
// Print through the window's print dialog; one job per copy.
void EditPrint(ui::Form& window, QTextEdit* rtfEd, CommonDialog& dialog);
// Called before each print job with the printer and the copy number (1..n).
void setPrintJobObserver(std::function<void(QPrinter&, int)> observer);
// Font toggles of the whole box with the shared counters.
void EditToggleBold(QTextEdit* rtfEd);
void EditToggleItalic(QTextEdit* rtfEd);
void EditToggleUnderline(QTextEdit* rtfEd);

// ---- toolbar and menus of a pane's window ----
// The editor toolbar across the top of the window's client area, widthTw
// twips wide: New, Open, Save, Print, Cut, Copy, Paste, Bold, Italic,
// Underline, Undo. Each action carries its key as object name and data;
// pressing one calls onButton with the key.
QToolBar* BuildEditorToolbar(ui::Form& window, int widthTw, std::function<void(const QString& key)> onButton);
// Carries out a toolbar key on the window's pane: New, Print and the edit
// commands work on rtfEd; Open and Save (or SaveAs) call the window's own
// routines. Keys compare exactly; any other key does nothing.
void EditorToolbarCommand(ui::Form& window, QTextEdit* rtfEd, CommonDialog& dialog, const QString& key,
                          const std::function<void()>& open, const std::function<void()>& saveAs);
// The menu items every pane's window has, bound to the same commands as
// their toolbar buttons.
struct EditorMenuItems {
  QAction* mnew;
  QAction* mprint;
  QAction* mall;
  QAction* matamajump;
  QAction* mbunmatujump;
  QAction* mcut;
  QAction* mcopy;
  QAction* mpaste;
};
void BindEditorMenuItems(ui::Form& window, QTextEdit* rtfEd, CommonDialog& dialog, const EditorMenuItems& items);

// ---- save-as and open routines of the three panes ----
void SaveTyakuTextAs();
void SaveWriteTextAs();
void SaveBackTextAs();
void OpenTyakuText();
void OpenWriteText();
void OpenBackText();

// Writes bytes as the whole of the file at path, replacing it only once all
// of them are written; false for an empty path or a failed write.
bool WriteWholeFile(const QString& path, const std::string& bytes);
// Writes the text of rtfEd followed by CR LF to path (CP932); true on success.
bool SaveEditorTextToFile(const QString& path, QTextEdit* rtfEd);
// Reads a text file line by line (CR LF or a lone CR ends a line), each
// line followed by CR LF; *ok is false when the file cannot be read.
QString ReadEditorTextFile(const QString& path, bool* ok);

// The part after the last path separator ("\" or "/"), and the part up to
// and including it; the whole path when it holds none.
QString FileNameOfPath(const QString& path);
QString FolderOfPath(const QString& path);
