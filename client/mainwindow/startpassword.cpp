#include "client/mainwindow/startpassword.h"

// Placeholder until the prompt window is built.
void showStartPasswordPrompt() {}
