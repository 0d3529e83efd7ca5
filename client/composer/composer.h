#pragma once
// Program-wide state shared by the new-mail composer and the windows that
// feed it recipients (the Cc list window and the address pane).
#include <QString>
#include <cstdint>

// 1 while the Cc list window feeds the new-mail composer, else 0. The
// composer's Cc-mode choices and the Cc window's load set it to 1; the Cc
// window's unload and the composer's load and unload set it to 0; the send
// and the composer's address-pane row click test it.
extern std::int16_t MultiSendMode;

// Presses of the composer's pane toggle (even: the next press lists the held
// mails; odd: the address names) and of its attachment-list button (even:
// the next press hides the list; odd: shows it). Both live as long as the
// program, across closing and reopening the composer.
extern std::int16_t PaneToggleCount;
extern std::int16_t AttachListToggleCount;

namespace composer {

// The fortune slip k (1..12) appended to a mail: CR LF CR LF, the header,
// CR LF CR LF, fortune k.
QString fortuneBlock(int k);
// Fortune k alone (1..12); the empty text outside that range.
QString fortuneText(int k);

}  // namespace composer
