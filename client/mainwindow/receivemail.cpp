#include "client/mainwindow/receivemail.h"

// Placeholders until the mail check is built: no check runs.
void ReceiveMail() {}
void AutoCheckTick() {}
void ResetAutoCheck() {}
