#pragma once
// The desktop mascot as the main window's labels reach it.
namespace mascot {
// Shows the mascot window (the "   訓練タイム♪" label's action).
void show();
// Closes the mascot window when it is open (the "訓練終了" label's action).
void away();
}  // namespace mascot
