#pragma once
// The mail library: POP3 (USER/PASS or APOP) to fetch mail, MIME decoding
// and unpacking of attachments, SMTP to send.
//
// Every text handed in or filled in is CP932 (Windows Shift-JIS), ended by a
// NUL. Buffers the library fills:
//   - subject, date, from, header and the message buffer of NMailGetMessage
//     hold at most the size set with NMailSetOption(NMAIL_OPTION_BUFFER_SIZE)
//     bytes, NUL included (8192 unless set otherwise); a longer text is cut
//     without splitting a double-byte character;
//   - the body buffer of NMailPop3GetMail holds at most the mail's size as
//     NMailPop3GetMailSize gives it plus one byte (the NUL);
//   - the body buffer of NMailAttachmentFileFirst holds at most the length
//     of the mail text plus one byte, or the size set with
//     NMailSetOption(NMAIL_OPTION_UNPACKED_BODY_SIZE) when that is more;
//     size it for that. (The text of a split mail joined from its pieces
//     is longer than the last piece: set the option to keep it whole.)
// A null buffer pointer is skipped. Paths (folders, attachment files) are
// CP932 too and name the files by their UTF-8 form; a path that is valid
// UTF-8 already is taken as it is.
//
// Server names are "host" or "host:port" ("[v6addr]:port" for IPv6); POP3
// defaults to port 110, SMTP to 25. Connecting and every read wait at most
// the timeout (30 seconds unless set otherwise); a timeout fails the call
// with its message. The calls block; all of them belong on one thread.
//
// Results below 0 are failures; NMailGetMessage then gives the reason.

// Options of NMailSetOption.
constexpr int NMAIL_OPTION_BUFFER_SIZE = 1;  // bytes of the text buffers (>= 2)
constexpr int NMAIL_OPTION_TIMEOUT = 2;      // connect and read timeout, milliseconds (>= 1)
// Bytes (NUL included) that every body buffer of NMailAttachmentFileFirst
// holds at the least, whatever the length of the mail text (>= 0; 0, the
// default: the length of the mail text plus one).
constexpr int NMAIL_OPTION_UNPACKED_BODY_SIZE = 3;

// Results.
constexpr int NMAIL_SUCCESS = 1;
constexpr int NMAIL_ERR_CONNECT = -1;   // no connection (name, refused, timed out)
constexpr int NMAIL_ERR_PROTOCOL = -2;  // the server refused a command or said something unexpected
constexpr int NMAIL_ERR_AUTH = -3;      // login refused, or APOP asked of a server without it
constexpr int NMAIL_ERR_IO = -4;        // read timed out, or the server closed the connection
constexpr int NMAIL_ERR_FILE = -5;      // a file could not be read or written
constexpr int NMAIL_ERR_PARTIAL = -6;   // not every piece of a split (message/partial) mail is there
constexpr int NMAIL_ERR_ARGUMENT = -7;  // no such handle or mail number, or unusable input

// Prepares the library; call once before anything else. Returns 0.
int NMailInitializeWinSock();
// Closes every open connection (without QUIT: deletions are not committed).
// Returns 0.
int NMailEndWinSock();
// Sets an option (NMAIL_OPTION_*). Returns the previous value, or
// NMAIL_ERR_ARGUMENT for an unknown option or a value out of range.
int NMailSetOption(int option, int value);

// Connects to a POP3 server and reads its greeting. Returns a handle (>= 0),
// or -1 when there is no connection.
int NMailPop3Connect(const char* server);
// Logs in: APOP when apop is not 0 (the greeting must offer a timestamp),
// else USER/PASS. Returns the number of mails waiting (>= 0), or < 0.
int NMailPop3Authenticate(int handle, const char* user, const char* password, int apop);
// Header of mail number no (1-based, TOP no 0): subject and from decoded,
// date as the header gives it, the header as it came (every line ended by
// CR LF, without the empty line that ends the header). flags must be 0. Returns NMAIL_SUCCESS or < 0.
int NMailPop3GetMailStatus(int handle, int no, char* subject, char* date, char* from,
                           char* header, int flags);
// Size of mail number no in bytes (LIST no), or < 0.
int NMailPop3GetMailSize(int handle, int no);
// Fetches mail number no whole (RETR no) and fills the buffers as
// NMailPop3GetMailStatus does, and body: the decoded text of a single-part
// mail; for a multipart mail its multipart body with every part's header,
// each part by its own headers in 7-bit or CP932 text (cut when it does not
// fit). For a decoded single-part mail the header's Content-Type and
// Content-Transfer-Encoding describe the body as given (Shift_JIS, 8bit),
// and a text that names itself keeps the name in an inline
// Content-Disposition: header, CR LF and body joined are a mail text for
// NMailAttachmentFileFirst, which reads the mail as it came. flags and reserved must be 0. Returns
// NMAIL_SUCCESS, or < 0 when the mail did not arrive whole; such a mail is
// then refused by NMailPop3DeleteMail for the rest of the session.
int NMailPop3GetMail(int handle, int no, char* subject, char* date, char* from, char* header,
                     char* body, int flags, int reserved);
// Marks mail number no deleted (DELE no); the server deletes it when the
// session ends with NMailPop3Close. Returns NMAIL_SUCCESS or < 0.
int NMailPop3DeleteMail(int handle, int no);
// Ends the session (QUIT) and closes the connection; the handle is free
// afterwards. Returns NMAIL_SUCCESS, or < 0 when QUIT failed.
int NMailPop3Close(int handle);

// Takes a whole mail text (header, empty line, body; as NMailPop3GetMail's
// header and body joined by CR LF), writes each attachment into folder and
// fills subject, date, from, header and body, body holding the text part(s)
// only. Every part is decoded by its own headers (charset, transfer
// encoding, names). When the mail text is one of the last mails
// NMailPop3GetMail fetched (its header and body buffers joined by CR LF,
// with any line ends), the mail is unpacked from the bytes the server sent:
// attachments come out byte for byte and nothing depends on what the fetch's
// buffers could hold. A single-part text mail that names its text (a name
// without Content-Disposition, or an inline one) gives its text in body and
// writes the file as well. workFile names the caller's work file and is not touched; handle
// and flags must be 0. Attachment names are reduced to a plain file name in
// folder; an existing file is never overwritten (a number is added before
// the extension). The pieces of a split mail (message/partial) are kept in
// folder's ".partial" subfolder until the last one arrives.
// Returns NMAIL_SUCCESS, NMAIL_ERR_FILE (-5) when an attachment file could
// not be written, NMAIL_ERR_PARTIAL (-6) when a split mail is not complete.
int NMailAttachmentFileFirst(int handle, char* subject, char* date, char* from, char* header,
                             char* body, const char* folder, const char* workFile,
                             const char* mailText, int flags);
// Ends an attachment run begun by NMailAttachmentFileFirst. Returns 0.
int NMailAttachmentFileClose(int handle);

// Sends one mail. to: one address or a comma-separated list ("name <addr>"
// or bare); from: the sender text, the address inside "<>" when present
// ("display name<addr>"), else the whole text; subject and body: text;
// attachments: comma-separated file paths, "" or null for none. The three
// unused arguments must be null or empty and flags 0. CR and LF inside
// subject and addresses are never sent as header line breaks. Returns
// NMAIL_SUCCESS when the server took the mail, < 0 on failure (NMailGetMessage gives the
// connect error or the server's reply).
int NMailSmtpSendMail(const char* server, const char* to, const char* unused1,
                      const char* unused2, const char* from, const char* subject,
                      const char* body, const char* unused3, const char* attachments,
                      int flags);

// Copies the text of the last failure into buffer (at most size bytes, NUL
// included; size is read, not changed). handle must be 0. Returns the
// length of the copied text.
int NMailGetMessage(int handle, char* buffer, int& size);
