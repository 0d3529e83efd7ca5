#pragma once
// Character sets and header words for the mail library. Everything that
// leaves the library is CP932; everything inside is bytes.
#include <cstddef>
#include <string>
#include <string_view>

namespace nmail::text {

// True when b opens a CP932 double-byte character.
inline bool isLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Text in charset (a MIME charset name, any case) to CP932. Characters
// CP932 cannot hold and broken input become "?"; NUL bytes are dropped.
// An unknown charset is read as UTF-8 when the bytes are UTF-8, else as CP932.
std::string toCp932(std::string_view bytes, std::string_view charset);
// 8-bit text of unknown charset: UTF-8 when it is valid UTF-8, else CP932.
std::string unknownToCp932(std::string_view bytes);
// CP932 to UTF-8 (broken input becomes U+FFFD).
std::string cp932ToUtf8(std::string_view bytes);
// UTF-8 to CP932 ("?" for what CP932 cannot hold).
std::string utf8ToCp932(std::string_view bytes);
// UTF-8 to ISO-2022-JP; false when some character has no JIS X 0208 form.
bool utf8ToIso2022jp(std::string_view bytes, std::string& out);

bool isValidUtf8(std::string_view bytes);
bool isAscii(std::string_view bytes);

// The longest prefix of at most width bytes that does not split a CP932
// double-byte character.
std::string_view cutCp932(std::string_view bytes, std::size_t width);
// Copies text into buf of cap bytes, cut to cap - 1 bytes and ended by NUL.
void copyOut(char* buf, std::size_t cap, std::string_view text);

// Header values.
// Joins folded lines (a line end followed by blank or tab).
std::string unfold(std::string_view value);
// Decodes RFC 2047 words of an unfolded header value into CP932; 8-bit
// bytes outside words are read as unknownToCp932 does. Control characters
// (CR, LF, TAB, ...) become blanks; leading and trailing blanks are removed.
std::string decodeHeader(std::string_view value);
// Encodes UTF-8 text as RFC 2047 words (ISO-2022-JP when every character
// fits, else UTF-8); ASCII text without "=?" comes back unchanged.
// firstLineUsed: columns already taken on the first line by "Name: ".
std::string encodeHeader(std::string_view utf8, std::size_t firstLineUsed);

// Base64 and quoted-printable (lenient decoders).
std::string base64Encode(std::string_view bytes, std::size_t lineLength = 76);
std::string base64Decode(std::string_view text);

// Line ends: every CR LF, lone CR and lone LF becomes CR LF.
std::string toCrlf(std::string_view text);

}  // namespace nmail::text
