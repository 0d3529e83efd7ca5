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
// defaults to port 110, SMTP to 25. Connecting and every answer wait at
// most the timeout (30 seconds unless set otherwise), and a second more
// for every 2 KiB that came meanwhile; a whole connection waits at most the
// timeout, a second per answer and a second per 2 KiB sent or received.
// Only the time spent waiting on the server counts. A server that goes
// past a deadline fails the call with its message, as a broken connection
// does. The calls block; all of them belong on one thread. While they wait
// they give the yield hook its turns (NMailSetYieldHook).
//
// Results below 0 are failures; NMailGetMessage then gives the reason.

// Options of NMailSetOption.
constexpr int NMAIL_OPTION_BUFFER_SIZE = 1;  // bytes of the text buffers (>= 2)
constexpr int NMAIL_OPTION_TIMEOUT = 2;      // connect and read timeout, milliseconds (>= 1)
// Bytes (NUL included) that every body buffer of NMailAttachmentFileFirst
// holds at the least, whatever the length of the mail text (>= 0; 0, the
// default: the length of the mail text plus one).
constexpr int NMAIL_OPTION_UNPACKED_BODY_SIZE = 3;
// Bytes of text past which NMailAttachmentFileFirst keeps a mail's text as
// a file (> 0; 0, the default: never). A longer text is written whole into
// the folder as "本文.txt" (CP932, CR LF, as body would hold it), and body
// holds its beginning and a line that names the file, this many bytes at
// most in all. The whole text is never held in memory.
constexpr int NMAIL_OPTION_TEXT_FILE_ABOVE = 4;
// 1: with a server that takes pipelined commands, NMailPop3Authenticate
// sends the unique ids' and the sizes' listings (UIDL, LIST) and the first
// mail's header (TOP 1 0) in the same go as the login, and the calls that
// need them later take their answers (one wait for the server fewer before
// the first mail). 0, the default: the login alone.
constexpr int NMAIL_OPTION_LISTS_WITH_LOGIN = 5;

// Results.
constexpr int NMAIL_SUCCESS = 1;
constexpr int NMAIL_ERR_CONNECT = -1;   // no connection (name, refused, timed out)
constexpr int NMAIL_ERR_PROTOCOL = -2;  // the server refused a command or said something unexpected
constexpr int NMAIL_ERR_AUTH = -3;      // login refused, or APOP asked of a server without it
constexpr int NMAIL_ERR_IO = -4;        // read timed out, or the server closed the connection
constexpr int NMAIL_ERR_FILE = -5;      // a file could not be read or written
constexpr int NMAIL_ERR_PARTIAL = -6;   // not every piece of a split (message/partial) mail is there
constexpr int NMAIL_ERR_ARGUMENT = -7;  // no such handle or mail number, or unusable input
constexpr int NMAIL_ERR_BUFFER = -8;    // the body buffer is too small for the mail (see NMailPop3GetMail)
// The mail (512 MiB at most, and at most twice the size LIST claimed for it
// and a MiB more) or its header (1 MiB) is larger than the library takes:
// it is read past and left on the server; the conversation goes on. (An
// answer that never ends is so given up after a few megabytes.)
constexpr int NMAIL_ERR_TOO_LARGE = -9;

// Flags of NMailPop3GetMail.
// reserved holds the size of the body buffer in bytes (NUL included), so
// that the buffer need not be sized by what the server says of the mail.
constexpr int NMAIL_FETCH_BUFFER_SIZE = 1;
// With NMAIL_FETCH_BUFFER_SIZE: a body longer than the buffer is cut to it
// (on a whole character) rather than refused, and the call gives NMAIL_CUT.
// The attachment step then reads the whole mail as it came. A multipart
// body then keeps its parts as they came, every part larger than 64 KiB
// left out with a line in its place. Nothing longer than the buffer is
// decoded or held.
constexpr int NMAIL_FETCH_TEXT_HEAD = 2;
// NMailPop3GetMail with NMAIL_FETCH_TEXT_HEAD: the mail came whole, its body
// cut to the buffer.
constexpr int NMAIL_CUT = 2;

// Prepares the library; call once before anything else. Returns 0.
int NMailInitializeWinSock();
// Closes every open connection (without QUIT: deletions are not committed).
// Returns 0.
int NMailEndWinSock();
// Installs the function the library calls while it waits on the network
// (connecting, every read and write), at least every 10 milliseconds, so
// that the caller's window keeps answering; null for none. The hook may
// call any library function (NMailEndWinSock too: the calls under way then
// fail as with a broken connection) but must not touch a POP3 session
// whose call is under way.
void NMailSetYieldHook(void (*hook)(void* context), void* context);
// Sets an option (NMAIL_OPTION_*). Returns the previous value, or
// NMAIL_ERR_ARGUMENT for an unknown option or a value out of range.
int NMailSetOption(int option, int value);

// Connects to a POP3 server and reads its greeting. Returns a handle (>= 0),
// or -1 when there is no connection.
int NMailPop3Connect(const char* server);
// Asks what the server offers (CAPA), then logs in: APOP when apop is not 0
// (the greeting must offer a timestamp), else USER/PASS, and counts the
// mails (STAT); with pipelining the login and the count go in one go.
// Returns the number of mails waiting (>= 0), or < 0.
int NMailPop3Authenticate(int handle, const char* user, const char* password, int apop);
// 1 when the server takes pipelined commands (its CAPA lists PIPELINING):
// the session then sends commands without waiting for each answer (the
// headers of the following mails with each TOP, the retrievals asked for
// with NMailPop3FetchAhead, the deletions of NMailPop3DeleteAhead). 0 when
// it talks one command at a time; < 0 for a bad handle.
int NMailPop3CanPipeline(int handle);
// The unique id of mail number no (UIDL, RFC 1939: 1 to 70 printable
// characters that name the mail in every session), copied into id, which
// holds size bytes with the NUL (71 hold any). Every mail's id comes from
// one UIDL, asked at the first call (with pipelining in the same go as the
// sizes). Returns the id's length; NMAIL_ERR_PROTOCOL when the server
// refuses UIDL (it is optional), NMAIL_ERR_ARGUMENT when its listing names
// no such mail (or gives its id to another mail too), NMAIL_ERR_BUFFER when
// id is too small, < 0 otherwise.
int NMailPop3GetUidl(int handle, int no, char* id, int size);
// After a call failed with NMAIL_ERR_IO: the number of the mail whose
// answer (its header or its retrieval) was being read when the conversation
// broke (it did not end, came too slowly, or the server closed the
// connection in its middle). 0 when the conversation broke elsewhere (a
// write, another answer) or holds; < 0 for a bad handle. The headers read
// before the break can still be had with NMailPop3GetMailStatus until
// NMailPop3Close.
int NMailPop3GetBrokenMail(int handle);
// Header of mail number no (1-based, TOP no 0): subject and from decoded,
// date as the header gives it, the header as it came (every line ended by
// CR LF, without the empty line that ends the header). The header is kept
// until the mail is fetched or deleted, so asking again costs nothing; with
// pipelining the headers of the following mails are asked for in the same
// go, except with the first header of the session, which goes alone so that
// the first retrieval is on its way ahead of them. flags must be 0. Returns
// NMAIL_SUCCESS or < 0 (NMAIL_ERR_PROTOCOL when the server refused TOP,
// NMAIL_ERR_TOO_LARGE for a header too large to take).
int NMailPop3GetMailStatus(int handle, int no, char* subject, char* date, char* from,
                           char* header, int flags);
// Size of mail number no in bytes, from one LIST of every mail (LIST no when
// that is refused), or < 0. A mail that has come has the size it came with,
// whatever LIST said (a server that sends bare LF line ends sends more, a
// broken one may claim any size); one that did not fit the body buffer has
// the size its body needs.
int NMailPop3GetMailSize(int handle, int no);
// Fetches mail number no whole (RETR no) and fills the buffers as
// NMailPop3GetMailStatus does, and body: the decoded text of a single-part
// mail; for a multipart mail its multipart body with every part's header,
// each part by its own headers in 7-bit or CP932 text, the content of a
// file larger than 64 KiB left out with a line in its place (the attachment
// step reads the mail as it came). For a decoded
// single-part mail the header's Content-Type and Content-Transfer-Encoding
// describe the body as given (Shift_JIS, 8bit), and a text that names itself
// keeps the name in an inline Content-Disposition: header, CR LF and body
// joined are a mail text for NMailAttachmentFileFirst, which reads the mail
// as it came. The mail is read to its terminating line whatever LIST said;
// body must hold NMailPop3GetMailSize(no) + 1 bytes as last asked. A mail
// that does not fit fails with NMAIL_ERR_BUFFER and is kept:
// NMailPop3GetMailSize then gives the size it needs, and the next call takes
// it without fetching it again. flags is 0 or NMAIL_FETCH_BUFFER_SIZE, with
// which body holds reserved bytes (NUL included) whatever the size said; a
// caller that does not trust a size a server gives starts with a modest
// buffer and takes the size the mail needs after NMAIL_ERR_BUFFER (or adds
// NMAIL_FETCH_TEXT_HEAD to take what fits). reserved is 0 otherwise. Returns NMAIL_SUCCESS, or < 0 when the mail did not arrive
// whole (NMAIL_ERR_TOO_LARGE for a mail past the library's limit); such a
// mail is then refused by NMailPop3DeleteMail for the rest of the session.
int NMailPop3GetMail(int handle, int no, char* subject, char* date, char* from, char* header,
                     char* body, int flags, int reserved);
// Asks for mail number no ahead of NMailPop3GetMail, in the order the calls
// come: with pipelining its RETR goes out as soon as the window of mails in
// flight has room (a few mails, a few megabytes), so that the mails arrive
// back to back. Returns NMAIL_SUCCESS; 0 without pipelining (nothing is
// sent: the mail is fetched when it is asked for); < 0 when the
// conversation broke.
int NMailPop3FetchAhead(int handle, int no);
// Marks mail number no deleted (DELE no) and waits for the answer; the
// server deletes it when the session ends with NMailPop3Close. Returns
// NMAIL_SUCCESS or < 0.
int NMailPop3DeleteMail(int handle, int no);
// Sends DELE no without waiting for the answer (without pipelining it is
// read at once); NMailPop3GetDeleteResult gives it. Returns NMAIL_SUCCESS
// when the command went out, < 0 when it could not (a mail that did not
// arrive whole, a broken conversation).
int NMailPop3DeleteAhead(int handle, int no);
// The server's answer to the DELE of mail no sent by NMailPop3DeleteAhead,
// read now when it has not come yet: NMAIL_SUCCESS when the mail is marked
// deleted, NMAIL_ERR_PROTOCOL when the server refused it, NMAIL_ERR_IO when
// the conversation broke first.
int NMailPop3GetDeleteResult(int handle, int no);
// Sends QUIT now, behind the commands on their way, without waiting for its
// answer: the answers before it (NMailPop3GetDeleteResult) can still be
// read, and NMailPop3Close reads QUIT's. Without pipelining the answers on
// their way are read first. Nothing further may be asked of the session.
// Returns NMAIL_SUCCESS, or < 0 when the conversation broke.
int NMailPop3SendQuit(int handle);
// Reads every answer still on its way, then ends the session (QUIT; with
// pipelining sent behind the commands on their way, unless
// NMailPop3SendQuit sent it) and closes the connection; the handle is free
// afterwards. Returns NMAIL_SUCCESS, or < 0 when QUIT failed or went
// unanswered. A session whose conversation broke ends without QUIT: the
// server deletes nothing.
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
// must be 0, flags 0 or NMAIL_ATTACH_FLUSH_LATER. Attachment names are reduced to a plain file name in
// folder; an existing file is never overwritten (a number is added before
// the extension). The pieces of a split mail (message/partial) are kept in
// folder's ".partial" subfolder until the last one arrives.
// The files written are on disk (flushed) when the call returns; with
// NMAIL_ATTACH_FLUSH_LATER the caller flushes them (and their folders)
// itself, all at once, before it lets the server delete the mails.
// Returns NMAIL_SUCCESS, NMAIL_ERR_FILE (-5) when an attachment file could
// not be written, NMAIL_ERR_PARTIAL (-6) when a split mail is not complete.
constexpr int NMAIL_ATTACH_FLUSH_LATER = 1;
int NMailAttachmentFileFirst(int handle, char* subject, char* date, char* from, char* header,
                             char* body, const char* folder, const char* workFile,
                             const char* mailText, int flags);
// Ends an attachment run begun by NMailAttachmentFileFirst. Returns 0.
int NMailAttachmentFileClose(int handle);
// The files the last NMailAttachmentFileFirst made, whether it succeeded or
// not (a split mail's new piece in ".partial" too), one by one from index 0:
// the path (in the file system's encoding) goes into path, which holds size
// bytes with the NUL. Returns the path's length, NMAIL_ERR_BUFFER when path
// is too small, or -1 past the last file. handle must be 0.
int NMailAttachmentWrittenFile(int handle, int index, char* path, int size);

// Sends one mail. to: one address or a comma-separated list ("name <addr>"
// or bare); from: the sender text, the address inside "<>" when present
// ("display name<addr>"), else the whole text; subject and body: text;
// attachments: comma-separated file paths, "" or null for none. The three
// unused arguments must be null or empty and flags 0. CR and LF inside
// subject, addresses and attachment names are never sent as header line
// breaks. Attachment names go out twice: RFC 2231 (filename*=, UTF-8) and
// RFC 2047 words in name= (ISO-2022-JP, or UTF-8 where that cannot hold
// the name), never a character split between sections or words. QUIT's
// answer is not waited for once the mail is taken. Returns
// NMAIL_SUCCESS when the server took the mail, < 0 on failure (NMailGetMessage gives the
// connect error or the server's reply).
int NMailSmtpSendMail(const char* server, const char* to, const char* unused1,
                      const char* unused2, const char* from, const char* subject,
                      const char* body, const char* unused3, const char* attachments,
                      int flags);

// A run of mails to one server (a send to many) through one SMTP session.
// NMailSmtpOpenSession gives a handle (>= 1) and connects nothing yet;
// each NMailSmtpSessionSendMail sends one mail as NMailSmtpSendMail does
// (the same arguments after the handle, the same results): the first opens
// the connection, the later ones send on it, pipelined (RFC 2920) with a
// reset (RSET) in front when the server offers PIPELINING; without it RSET
// goes (one round trip) only after a mail the server did not take. A failure that
// breaks the connection (a timeout, a closed connection, a server closing
// the session) fails that mail only; the next mail opens a new session. A
// connection found gone before anything of a mail was taken is opened again
// for that mail. NMailSmtpCloseSession sends QUIT without waiting for its
// answer (every mail has been answered by then) and frees the handle.
// Results below 0 are failures, as everywhere.
int NMailSmtpOpenSession(const char* server);
int NMailSmtpSessionSendMail(int handle, const char* to, const char* unused1, const char* unused2,
                             const char* from, const char* subject, const char* body, const char* unused3,
                             const char* attachments, int flags);
int NMailSmtpCloseSession(int handle);

// Copies the text of the last failure into buffer (at most size bytes, NUL
// included; size is read, not changed). handle must be 0. Returns the
// length of the copied text.
int NMailGetMessage(int handle, char* buffer, int& size);
