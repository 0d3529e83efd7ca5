#pragma once
// Decoding of received mail and building of mail to send.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nmail::mime {

void initialize();  // once per process; every function below calls it

// The header fields the callers see, in CP932.
struct Fields {
  std::string subject, date, from;
  std::string header;  // every line ended by CR LF, no empty line at the end
};

// Splits a raw mail at its first empty line.
void split(std::string_view mail, std::string_view& header, std::string_view& body);

// Subject, date and from decoded; the header as it came, 8-bit bytes turned
// into CP932, shortened to fit headerCap bytes (NUL included) by leaving out
// trace fields first.
Fields decodeFields(std::string_view header, std::size_t headerCap);

// A fetched mail as the fetch hands it on. body: the decoded text of a
// single-part text mail; for a multipart mail the multipart body, each
// 8-bit part by its own headers turned into CP932 text (or base64), the
// content of a file larger than 64 KiB left out with a line in its place
// (unpack reads it from the mail as it came); for any
// other mail the body as it came; never longer than bodyCap - 1 bytes, and
// without NUL. fields.header: the header as decodeFields gives it, cut to
// headerCap - 1 bytes, except that for a decoded single-part mail its
// Content-Type and Content-Transfer-Encoding describe the body as given
// (CP932, 8 bit), and a text that names itself keeps its name in an inline
// Content-Disposition, so that header and body joined are again a mail
// that reads the same. The mail as it came is remembered for unpack.
struct KeptParse;  // the reading of the mail, kept for unpack
struct Fetched {
  Fields fields;
  std::string body;
  bool cut = false;  // cutToFit: the body was longer than bodyCap - 1
  std::shared_ptr<KeptParse> parse;  // when unpack may read the mail as it stands
};
// keep: remember the mail for unpack now (else rememberFetched does, once
// the fetch hands the text on). cutToFit: only what fits bodyCap is decoded
// (a multipart keeps its parts as they came, every large part left out).
// known: the fields decodeFields gave for a header (the same header sent
// alone, as TOP sends it), taken as they are when the mail's header is that
// header and headerCap is theirs.
struct KnownFields {
  std::string_view header;
  const Fields* fields = nullptr;
  std::size_t headerCap = 0;
};
Fetched decodeFetched(std::string_view mail, std::size_t headerCap, std::size_t bodyCap, bool keep = true,
                      bool cutToFit = false, const KnownFields& known = KnownFields{});
// Remembers the mail as it came for a text decodeFetched handed on, taking
// its bytes over (and the reading of them, when it was made of these bytes).
void rememberFetched(const Fetched& fetched, std::string&& raw);

// Unpacks a whole mail text into folder (a UTF-8 path). A text that is one
// of the last mails decodeFetched handed on (its header and body joined by
// CR LF, with any line ends) is unpacked from the mail as it came. Every
// part is read by its own headers; a single-part text that names itself
// without being an attachment gives both its text and its file. A text
// longer than textFileAbove bytes (0: no limit) is written whole into
// folder as "本文.txt", and body holds its beginning and a line naming it.
struct Unpacked {
  Fields fields;
  std::string body;   // text parts only, CP932
  int result = 1;     // 1, -5 (a file could not be written), -6 (split mail not complete)
  std::string error;  // UTF-8, for a failure
  std::vector<std::string> written;  // UTF-8 paths of the files made (a split mail's new piece too)
};
Unpacked unpack(std::string_view mailText, const std::string& folder, std::size_t headerCap,
                std::size_t bodyCap, std::size_t textFileAbove = 0);

// A file name from a stranger made safe to create in a folder: the last
// path component only, without control characters, separators and the
// characters file systems refuse; never empty, ".", ".." or hidden.
std::string safeFileName(std::string_view name);

// Building a mail to send. Texts are UTF-8.
struct Address {
  std::string display;  // may be empty
  std::string address;  // local@domain, checked: printable ASCII, no blanks or <>
};
// Parses "name <addr>", "addr" or a comma-separated list of them. CR and LF
// are read as blanks. False with error when an address is unusable.
bool parseAddresses(std::string_view text, std::vector<Address>& out, std::string& error);

struct Attachment {
  std::string name;  // file name shown to the recipient
  std::string data;
};
struct Outgoing {
  Address from;
  std::vector<Address> to;
  std::string subject, body;
  std::vector<Attachment> attachments;
};
// The whole mail, lines ended by CR LF (not dot-stuffed).
std::string build(const Outgoing& mail);

}  // namespace nmail::mime
