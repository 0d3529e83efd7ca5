#pragma once
// The actions of the main window's menu bar and race-field popup.
namespace forms {
class MainForm;
}
// Connects every menu entry of the main window to its action.
void wireMenus(forms::MainForm& f);
