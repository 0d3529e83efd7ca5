#pragma once
// The actions of the main window's menu bar and race-field popup.
#include <QString>

namespace forms {
class MainForm;
}
// Connects every menu entry of the main window to its action.
void wireMenus(forms::MainForm& f);

namespace menus {

// The accessory programs, as program paths under the program folder.
inline const QString kFlipset = QStringLiteral("\\★MailData\\DATA\\Adata\\Flipset");
inline const QString kPuckslide = QStringLiteral("\\★MailData\\DATA\\Bdata\\Puckslide");
inline const QString kFinwisp = QStringLiteral("\\★MailData\\DATA\\Ddata\\finwisp");

// Starts an accessory program by its program path, detached, without
// arguments, in its own folder; the menu does not wait for it. When it
// cannot be started (missing or not executable) a message box names it and
// the client goes on.
void StartAccessory(const QString& programPath, const QString& name);

// The fourth accessory's count reset ("成育のリセット"): after a Yes, NUMBER28
// and the running total MainForm.Text14 become 0 and the accessory's copy
// of ini.ini is made afresh.
void CountReset(forms::MainForm& f);

// The user's desktop folder (XDG "DESKTOP", else ~/Desktop).
QString desktopFolder();
// The shortcut's name in the desktop folder.
inline const QString kShortcutFile = QStringLiteral("ルボちゃん.desktop");
// The shortcut's text: a desktop entry named "ルボちゃん" that starts program.
QString shortcutText(const QString& program);
// Writes the shortcut "ルボちゃん" to this program into the desktop folder and
// tells the user whether it was made.
void MakeDesktopShortcut();

}  // namespace menus
