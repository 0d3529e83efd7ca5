#pragma once
// The mail check and the main window's automatic-check timer.
#include <functional>

// One POP3 conversation: fetches, stores and deletes the waiting mails and
// ends in the race or the rain when mail came (the show starts and the check
// returns at once), or in the no-new-mail note.
//
// A mail is deleted on the server only after its record and attachment
// files are written, and the session ends (which lets the server delete)
// only after they are on disk. A mail that cannot be fetched or stored whole
// (its attachments included) stays there and the check stops with an
// "エラー" box (the mails stored before it stay stored and are deleted on the
// server). A deletion the server refuses leaves a stored mail on the server
// (it comes again at the next check): the check goes on, counts it and says
// so in a box at the end. A conversation that breaks (a mail's answer that
// never ends, comes too slowly or is cut, a lost line, an end the server
// did not confirm) deletes nothing in that session; the check connects
// again (a few times at most), asks there for the deletions of the mails
// stored so far (each found by its unique id, UIDL), leaves the mail whose
// answer broke off on the server with a box that names it, and goes on with
// the mails after it. Without unique ids the mails stored before the break
// stay on the server, and without a new connection everything not yet
// deleted does: a box says which. With a server that
// takes pipelined commands the headers, retrievals and deletions go out
// without waiting for each answer; the outcome is the same as one command
// at a time. The check does nothing while another check runs (a tick or a
// click during one of its message boxes or its note) or while the start-up
// password is still asked for.
void ReceiveMail();

// Each tick of MainForm.Timer1 (every 1000 ms): counts the minutes towards
// the automatic check and runs the receive action when they are reached.
// The counter starts again from 0 whenever SetForm.Text6 changes; it stands
// still while a check runs or the start-up password is asked for.
void AutoCheckTick();

// Sets the automatic-check minute counter to 0 (start-up, MainForm.Command3).
void ResetAutoCheck();

// True while a mail check runs.
bool MailCheckRunning();

// Whether the start-up password is still asked for: no check runs then. By
// default the prompt tells (StartPasswordPending()), and so does the main
// window while the start-up keeps it hidden; tests may install their own
// test (an empty function restores the default).
void setStartPasswordPending(std::function<bool()> pending);
bool startPasswordPending();

// The text put after a body that holds attachments.
inline constexpr char16_t kAttachmentNotice[] =
    u"♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪";
