#pragma once
// Opening a list in the history viewer: kind 1 received, 2 sent, 3 gold
// safe, 4 silver safe, 5 bronze safe, 6 VIP room. Sets MailListKind, the
// viewer's caption, colour and buttons, lists every record of the list file
// and shows the viewer.
void OpenMailList(int kind);
