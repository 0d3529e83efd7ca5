#pragma once
// The mail check and the main window's automatic-check timer.

// One POP3 conversation: fetches, stores and deletes the waiting mails and
// ends in the race or the rain when mail came (the show starts and the check
// returns at once), or in the no-new-mail note.
void ReceiveMail();

// Each tick of MainForm.Timer1 (every 1000 ms): counts the minutes towards
// the automatic check and runs the receive action when they are reached.
void AutoCheckTick();

// Sets the automatic-check minute counter to 0 (start-up, MainForm.Command3).
void ResetAutoCheck();
