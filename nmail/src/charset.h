#pragma once
// The one place where the mail library decides how bytes become text.
// Everything that leaves the library is CP932; every text a mail carries
// (a body part, a header, a parameter, a name) comes here with the charset
// its own headers give it, or none.
//
// Japanese mailers label text "Shift_JIS" or "ISO-2022-JP" and write the
// Windows extensions all the same (the NEC rows with ① and ㈱, the IBM rows
// with 髙, half-width katakana, in ISO-2022-JP also as ESC ( I): such labels
// are read as their CP932 supersets. Text without a usable label is decoded
// by trial: ISO-2022-JP when it holds its escapes, else UTF-8 when it is
// valid UTF-8, else EUC-JP or CP932, whichever reads more plausibly as
// Japanese (EUC-JP only when the bytes are well-formed EUC-JP).
#include <string>
#include <string_view>

namespace nmail::charset {

// True when b opens a CP932 double-byte character.
inline bool isLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

bool isAscii(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);

// Text in charset (a MIME charset name or alias, any case, quotes and an
// RFC 2231 language suffix allowed) to CP932. Characters CP932 cannot hold
// and broken input become "?"; NUL bytes are dropped. An empty, unknown or
// "unknown-8bit" charset decodes by trial, and so do bytes that cannot be
// what their label says (8-bit stretches in text labelled ISO-2022-JP or
// US-ASCII, broken UTF-8 labelled UTF-8); 7-bit text with ISO-2022-JP
// escapes is ISO-2022-JP under any label.
std::string toCp932(std::string_view bytes, std::string_view charset);
// Text of no known charset, by trial as above.
std::string guessToCp932(std::string_view bytes);
// Raw 8-bit bytes in a header field (a file name, a parameter): UTF-8 when
// they are valid UTF-8 whatever charset says (names and text are often
// written by different software, and UTF-8 tells itself apart), else as
// toCp932 reads them in charset, or by trial when they cannot be text in
// the charset the label names.
std::string rawHeaderToCp932(std::string_view bytes, std::string_view charset);

// The same readings into UTF-8, for names that keep every character (file
// names): broken input becomes U+FFFD; the text comes out composed (NFC).
std::string toUtf8(std::string_view bytes, std::string_view charset);
std::string guessToUtf8(std::string_view bytes);
std::string rawHeaderToUtf8(std::string_view bytes, std::string_view charset);
// UTF-8 composed (NFC); broken UTF-8 comes back as it is.
std::string nfc(std::string_view utf8);
// Whether NFC leaves c as it is whatever stands around it (text made only
// of such characters is composed as it stands).
bool composedAsItStands(char32_t c);

// CP932 to UTF-8 (broken input becomes U+FFFD).
std::string cp932ToUtf8(std::string_view bytes);
// UTF-8 to CP932, composed first (NFC): "?" for what CP932 cannot hold.
std::string utf8ToCp932(std::string_view bytes);
// UTF-8 to ISO-2022-JP; false when some character has no JIS X 0208 form.
bool utf8ToIso2022jp(std::string_view bytes, std::string& out);

}  // namespace nmail::charset
