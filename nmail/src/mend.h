#pragma once
// Mails whose structure is broken, read as a tolerant receiver reads them.
// GMime reads a header block by its own rules (a line that is no header
// line is dropped, the last of two Content-Type fields wins, a boundary
// the body never uses gives no parts); the mail is mended first so that
// it reads the way Python's email package and common mail readers read
// it. Our own code: no library mends mail.
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace nmail::mime::mend {

// Where the bytes of an enclosed message (message/rfc822) lie in the mail
// as it came: [begin, end).
struct Range {
  std::size_t begin = 0, end = 0;
};

struct Mending {
  bool changed = false;
  std::string text;  // the mail mended, when changed
  // The enclosed messages, by the offset in the text read (text when
  // changed, else the mail) of the first header field of their part.
  std::map<std::size_t, Range> enclosed;
};

// Reads the structure of mail (every header block: the mail's own, every
// part's, every enclosed message's) and mends what a tolerant receiver
// would read otherwise:
// - a header block ends at its first line that is no header line (a
//   boundary right after it, with no empty line before); in the mail's own
//   header, lines that begin with a blank before the first field continue
//   nothing (a field written after the blanks is kept, the rest dropped);
// - a line that lost the blank of its fold (it is no header line, and it
//   follows a line ending in ";" or "," or is followed by more fields) is
//   a continuation again;
// - of two Content-Type, Content-Transfer-Encoding or Content-Disposition
//   fields the first counts: the later ones are dropped;
// - a multipart without its boundary parameter, or whose boundary the body
//   never uses, gets the boundary its body uses; with none, it loses its
//   boundary parameter, and its whole body is its text.
// Every level is read, however deep (without recursion).
Mending mend(std::string_view mail);

}  // namespace nmail::mime::mend
