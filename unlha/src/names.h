#pragma once
// Entry names: CP932 in the archive, UTF-8 on the disk.
#include <string>
#include <string_view>

namespace unlha::names {

// UTF-8 to CP932; a character CP932 cannot hold becomes "?".
std::string toArchive(std::string_view utf8);
// CP932 to UTF-8; a byte that is not CP932 becomes "_".
std::string fromArchive(std::string_view cp932);

}  // namespace unlha::names
