#pragma once
// Text on disk and on the library boundaries is CP932 (Windows Shift-JIS);
// in memory it is QString. Conversion goes through glibc iconv "CP932".
#include <QString>
#include <string>
#include <string_view>

namespace cp932 {

// Unicode to CP932. A character CP932 cannot hold becomes "?".
std::string encode(const QString& text);

// CP932 to Unicode. A character that is not CP932 becomes one U+FFFD: a
// lead byte and a trail byte that no character is assigned to count as one
// character, any other byte as one.
QString decode(std::string_view bytes);

// True when every character of text has a CP932 form.
bool canEncode(const QString& text);

// Number of CP932 bytes of text.
std::size_t byteLength(const QString& text);

// True when byte b opens a double-byte character.
inline bool isLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// True when byte b can follow a lead byte.
inline bool isTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// The longest prefix of bytes of at most width bytes that does not split a
// double-byte character.
std::string_view cut(std::string_view bytes, std::size_t width);

// A fixed-width field: text encoded, cut to width without splitting a
// double-byte character, padded on the right with blanks to exactly width.
std::string field(const QString& text, std::size_t width);
// The same for bytes that are already CP932.
std::string fieldBytes(std::string_view bytes, std::size_t width);

}  // namespace cp932
