#pragma once
// What the history windows use of the other windows of the client: the main
// window's counters and switches, the address book, the help window and the
// new-mail composer's editor pane. Kept in one place so the history code
// reads the same whichever of those windows are built.
#include <QString>

class QTextEdit;
class CommonDialog;
namespace ui {
class Form;
}

namespace neighbours {

// The main window's hover-help switch Check1: 1 ticked, 0 not, -1 when the
// main window is not there (nothing to follow).
int hoverHelpSwitch();
// The desktop mascot is put away ("訓練終了").
void putMascotAway();
// The main window's received, sent and VIP-room counters.
void setReceivedCount(const QString& text);
void setSentCount(const QString& text);
void setVipCount(const QString& text);

// The address book: its address box Text4 set, the window shown modeless.
void showAddressBookWith(const QString& address);
// The help window, modeless.
void showHelp();

// The new-mail composer's window and body box (nullptr when it does not exist
// in this build).
ui::Form* writeForm();
QTextEdit* writeFormBody();
// The composer's own file dialog (nullptr while it carries none).
CommonDialog* writeFormDialog();

}  // namespace neighbours
