#pragma once
// The start-up password prompt as the start-up reaches it.

// Shows the prompt window (not modal); the main window stays hidden until
// the prompt accepts the password held in MainForm.Text13.
void showStartPasswordPrompt();
