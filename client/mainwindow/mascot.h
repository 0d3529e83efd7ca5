#pragma once
// The desktop mascot as the main window's labels reach it.
namespace mascot {
// Shows the mascot window (the "   訓練タイム♪" label's action).
void show();
// Closes the mascot window when it is open (the "訓練終了" label's action).
void away();
// Before the application object exists: in a Wayland session the client
// runs on XWayland, where a window may place itself on the screen and be
// shaped (unless a platform was chosen explicitly).
void preferX11();
}  // namespace mascot
