#pragma once
// Program-wide state shared by the new-mail composer and the windows that
// feed it recipients (the Cc list window and the address pane).
#include <cstdint>

// 1 while the Cc list window feeds the new-mail composer, else 0. The
// composer's Cc-mode choices and the Cc window's load set it to 1; the Cc
// window's unload and the composer's load and unload set it to 0; the send
// and the composer's address-pane row click test it.
extern std::int16_t MultiSendMode;
