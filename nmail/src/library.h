#pragma once
// What the files of the public functions share: the options set with
// NMailSetOption, the last failure's message, the translation of the
// callers' CP932 texts and buffers, and the count of calls under way.
// The POP3 client (pop3.cpp), the SMTP client (smtp.cpp) and the rest of
// the public functions (nmail.cpp) use them; nmail.cpp defines them.
#include <cstddef>
#include <string>
#include <string_view>

#include "mime.h"

namespace nmail::lib {

extern int gBufferSize;
extern int gTimeoutMs;
extern int gUnpackedBodySize;
extern int gTextFileAbove;
extern int gListsWithLogin;  // NMAIL_OPTION_LISTS_WITH_LOGIN
extern std::string gLastError;  // CP932

// Sets the message of the failure (UTF-8) and returns code.
int fail(int code, const std::string& utf8);
// A server's words (ASCII as a rule) for a message in UTF-8.
std::string serverText(std::string_view reply);
std::string fromCp932(const char* s);
// A path given to the library: CP932 as every text, though a path that is
// already UTF-8 (as the file system names it) is taken as it is.
std::string pathFrom(const char* s);
bool hasLineBreak(std::string_view s);

std::size_t bufferCap();
void fillFields(const nmail::mime::Fields& f, char* subject, char* date, char* from, char* header);

// Calls under way: the yield hook may run anything meanwhile, even
// NMailEndWinSock. Sessions ended while a call runs are kept (their
// connections closed) until the outermost call is over.
extern int gDepth;
struct InCall {
  InCall();
  ~InCall();
  InCall(const InCall&) = delete;
  InCall& operator=(const InCall&) = delete;
};

// The POP3 sessions (pop3.cpp): every one ended; the ones ended during a
// call freed.
void endPop3Sessions();
void clearRetiredPop3();
// The SMTP sessions (smtp.cpp): every one closed; the ones ended during a
// call freed.
void endSmtpSessions();
void clearRetiredSmtp();

}  // namespace nmail::lib
