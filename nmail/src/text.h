#pragma once
// Header words, parameters, transfer encodings and line ends for the mail
// library. Everything that leaves the library is CP932; everything inside
// is bytes; how bytes become text is charset.h's.
#include <cstddef>
#include <string>
#include <string_view>

namespace nmail::text {

// The longest prefix of at most width bytes that does not split a CP932
// double-byte character.
std::string_view cutCp932(std::string_view bytes, std::size_t width);
// Copies text into buf of cap bytes, cut to cap - 1 bytes and ended by NUL.
void copyOut(char* buf, std::size_t cap, std::string_view text);

// Header values.
// Joins folded lines (a line end followed by blank or tab).
std::string unfold(std::string_view value);
// Decodes RFC 2047 words of a header value (folded or not, a B word folded
// in its middle too) into CP932, adjacent words of one charset joined before
// decoding; 8-bit bytes
// outside words decode by trial (charset::guessToCp932). Control characters
// (CR, LF, TAB, ...) become blanks; leading and trailing blanks are removed.
std::string decodeHeader(std::string_view value);
// The parameter name of a Content-Type or Content-Disposition value (the
// whole value after the colon, folded or not), decoded into CP932: RFC 2231
// (name*=, the sections name*0, name*1*, ... joined in order), RFC 2047
// words inside the value (joined as in decodeHeader), and raw 8-bit bytes,
// which are taken as charset::rawHeaderToCp932 takes them in partCharset
// (by trial when it names none). Empty when
// the parameter is missing; found tells the two apart.
std::string parameter(std::string_view fieldValue, std::string_view name, std::string_view partCharset,
                      bool* found = nullptr);
// The same two in UTF-8, every character kept and composed (NFC): for file
// names, which keep their whole name.
std::string decodeHeaderUtf8(std::string_view value);
std::string parameterUtf8(std::string_view fieldValue, std::string_view name, std::string_view partCharset,
                          bool* found = nullptr);
// Encodes UTF-8 text as RFC 2047 words (ISO-2022-JP when every character
// fits, else UTF-8); ASCII text without "=?" comes back unchanged.
// firstLineUsed: columns already taken on the first line by "Name: ".
std::string encodeHeader(std::string_view utf8, std::size_t firstLineUsed);

// Base64 and quoted-printable (lenient decoders).
std::string base64Encode(std::string_view bytes, std::size_t lineLength = 76);
std::string base64Decode(std::string_view text);

// Base64 of a part's body: the standard alphabet, anything else skipped,
// up to the first "="; a last group that lacks its padding still gives the
// whole bytes it holds.
std::string base64DecodeBody(std::string_view text);
// The same decoding a piece at a time.
class Base64Decoder {
 public:
  explicit Base64Decoder(bool urlSafe = false) : urlSafe_(urlSafe) {}
  // Decodes text onto out (up to the first "=").
  void feed(std::string_view text, std::string& out);
  bool ended() const { return ended_; }  // the "=" has come

 private:
  bool urlSafe_;
  bool ended_ = false;
  unsigned v_ = 0;
  int bits_ = 0;
};
// uuencoded data from its "begin" line (which a mailer may have folded) to
// "end"; found is false (and the result empty) when there is no begin line.
std::string uuDecode(std::string_view text, bool* found);
// The same in steps: where the lines of data begin (found as above; the
// end of text when there is no begin line), then whole lines of data
// decoded onto out, false once the "end" line has come.
std::size_t uuDataStart(std::string_view text, bool* found);
bool uuDecodeLines(std::string_view lines, std::string& out);

// Line ends: every CR LF, lone CR and lone LF becomes CR LF.
std::string toCrlf(std::string_view text);

}  // namespace nmail::text
