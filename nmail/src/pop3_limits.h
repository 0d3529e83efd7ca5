#pragma once
// The largest answers a POP3 session takes. A mail or header past them is
// read past and left on the server. Tests make them small.
#include <cstddef>

namespace nmail::limits {

std::size_t maxMail();    // 512 MiB
std::size_t maxHeader();  // 1 MiB
// Sets both (0 keeps the value as it is); returns nothing.
void setForTests(std::size_t mail, std::size_t header);

}  // namespace nmail::limits
