#pragma once
// What the new-mail composer uses of the other windows of the client: the
// main window's date-time text, sender texts and sent counter, the settings
// window's sender display text and history switch, the Cc list window, the
// face-mark chooser and the help window. Kept in one place so that the
// composer reads the same whichever of those windows are built.
#include <QString>
#include <QStringList>

namespace writeneighbours {

// ---- main window (nothing is read or written while it is not loaded) ----
QString dateTimeText();     // MainForm.Text2
QString displayText();      // MainForm.Text7
QString ownAddress();       // MainForm.Text8
void setSentCount(const QString& text);  // MainForm.Text4
// The hover-help switch MainForm.Check1: 1 on, 0 off, -1 when the main
// window is not there.
int hoverHelpSwitch();

// ---- settings window ----
QString senderDisplayText();           // SetForm.Text2
void setNoSentHistory(bool ticked);    // SetForm.Check1 "送信履歴を残さない"

// ---- Cc list window ----
bool ccLoaded();
void ccUnload();  // nothing when it is not loaded
// Rows of CcForm.List3 (0 when the window is not there).
int ccListCount();
// The composer's Cc-mode choices: show the window modeless and set its
// status line, its address box and its add button.
void ccShowTyped();     // "手動で入力"
void ccShowFromBook();  // "アドレス帳から入力"
// An address picked in the composer's pane: a row of List3, Text2 := the
// address, Text3 := the row count. Returns CcForm.Text2 afterwards (the
// address the Cc list file is to receive).
QString ccAddPicked(const QString& address);
// The Cc list keeps only these addresses (rows and file), in their order.
void ccKeepOnly(const QStringList& addresses);
// CcForm.Text2: the address last picked in the pane.
QString ccPickedText();

// ---- other windows ----
void showFaceMarks();  // KaoForm, modeless
void showHelp();       // HelpForm, modeless

}  // namespace writeneighbours
