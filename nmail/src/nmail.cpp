// The public functions of the library that belong to no session: starting
// and ending the library, the yield hook, the options, the last failure's
// message, and the attachment step (which hands the mail text to
// mime::unpack and flushes what it wrote). It also defines what the files
// of the public functions share (library.h). The POP3 functions are in
// pop3.cpp, the SMTP functions in smtp.cpp, the decoding in mime_*.cpp.
#include "nmail/nmail.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "charset.h"
#include "files.h"
#include "library.h"
#include "mime.h"
#include "net.h"
#include "text.h"

namespace nmail::lib {

int gBufferSize = 8192;
int gTimeoutMs = 30000;
int gUnpackedBodySize = 0;
int gTextFileAbove = 0;
int gListsWithLogin = 0;
std::string gLastError;  // CP932

int fail(int code, const std::string& utf8) {
  gLastError = nmail::charset::utf8ToCp932(utf8);
  return code;
}

// A server's words (ASCII as a rule) for a message in UTF-8.
std::string serverText(std::string_view reply) {
  return nmail::charset::cp932ToUtf8(nmail::charset::guessToCp932(reply));
}

std::string fromCp932(const char* s) { return s ? nmail::charset::cp932ToUtf8(s) : std::string(); }

// A path given to the library: CP932 as every text, though a path that is
// already UTF-8 (as the file system names it) is taken as it is.
std::string pathFrom(const char* s) {
  if (!s) return std::string();
  std::string_view v(s);
  if (!nmail::charset::isAscii(v) && nmail::charset::isValidUtf8(v)) return std::string(v);
  return nmail::charset::cp932ToUtf8(v);
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::size_t bufferCap() { return static_cast<std::size_t>(gBufferSize); }

void fillFields(const nmail::mime::Fields& f, char* subject, char* date, char* from, char* header) {
  nmail::text::copyOut(subject, bufferCap(), f.subject);
  nmail::text::copyOut(date, bufferCap(), f.date);
  nmail::text::copyOut(from, bufferCap(), f.from);
  nmail::text::copyOut(header, bufferCap(), f.header);
}

int gDepth = 0;
InCall::InCall() { ++gDepth; }
InCall::~InCall() {
  if (--gDepth == 0) {
    clearRetiredPop3();
    clearRetiredSmtp();
  }
}

}  // namespace nmail::lib

using namespace nmail::lib;

int NMailInitializeWinSock() {
  nmail::mime::initialize();
  return 0;
}

int NMailEndWinSock() {
  endPop3Sessions();
  endSmtpSessions();
  return 0;
}

void NMailSetYieldHook(void (*hook)(void* context), void* context) { nmail::net::setYieldHook(hook, context); }

int NMailSetOption(int option, int value) {
  if (option == NMAIL_OPTION_BUFFER_SIZE) {
    if (value < 2) return fail(NMAIL_ERR_ARGUMENT, "バッファの大きさが正しくありません");
    int old = gBufferSize;
    gBufferSize = value;
    return old;
  }
  if (option == NMAIL_OPTION_TIMEOUT) {
    if (value < 1) return fail(NMAIL_ERR_ARGUMENT, "待ち時間が正しくありません");
    int old = gTimeoutMs;
    gTimeoutMs = value;
    return old;
  }
  if (option == NMAIL_OPTION_UNPACKED_BODY_SIZE) {
    if (value < 0) return fail(NMAIL_ERR_ARGUMENT, "本文のバッファの大きさが正しくありません");
    int old = gUnpackedBodySize;
    gUnpackedBodySize = value;
    return old;
  }
  if (option == NMAIL_OPTION_TEXT_FILE_ABOVE) {
    if (value < 0) return fail(NMAIL_ERR_ARGUMENT, "本文の長さが正しくありません");
    int old = gTextFileAbove;
    gTextFileAbove = value;
    return old;
  }
  if (option == NMAIL_OPTION_LISTS_WITH_LOGIN) {
    if (value != 0 && value != 1) return fail(NMAIL_ERR_ARGUMENT, "オプションの値は 0 か 1 です");
    int old = gListsWithLogin;
    gListsWithLogin = value;
    return old;
  }
  return fail(NMAIL_ERR_ARGUMENT, "知らないオプションです: " + std::to_string(option));
}

namespace {
// The files the last attachment run made, for NMailAttachmentWrittenFile.
std::vector<std::string> gLastWritten;
}  // namespace

int NMailAttachmentFileFirst(int /*handle*/, char* subject, char* date, char* from, char* header,
                             char* body, const char* folder, const char* /*workFile*/,
                             const char* mailText, int flags) {
  if (!mailText) return fail(NMAIL_ERR_ARGUMENT, "メールの本文がありません");
  if (!folder || !*folder) return fail(NMAIL_ERR_FILE, "添付フォルダが指定されていません");
  std::string_view mail(mailText);
  const std::string where = pathFrom(folder);
  const std::size_t bodyCap = std::max<std::size_t>(mail.size() + 1, static_cast<std::size_t>(gUnpackedBodySize));
  auto result = nmail::mime::unpack(mail, where, bufferCap(), bodyCap, static_cast<std::size_t>(gTextFileAbove));
  gLastWritten = result.written;
  // The files are on disk before the caller lets the server delete the mail.
  if ((flags & NMAIL_ATTACH_FLUSH_LATER) == 0 && !result.written.empty() && !syncToDisk(result.written, where) &&
      result.result == NMAIL_SUCCESS) {
    result.result = NMAIL_ERR_FILE;
    result.error = "添付ファイルをディスクに書き込めません: " + where;
  }
  fillFields(result.fields, subject, date, from, header);
  if (body) nmail::text::copyOut(body, bodyCap, result.body);
  if (result.result != NMAIL_SUCCESS) return fail(result.result, result.error);
  return NMAIL_SUCCESS;
}

int NMailAttachmentFileClose(int /*handle*/) { return 0; }

int NMailAttachmentWrittenFile(int /*handle*/, int index, char* path, int size) {
  if (index < 0 || index >= static_cast<int>(gLastWritten.size())) return -1;
  const std::string& p = gLastWritten[static_cast<std::size_t>(index)];
  if (!path || size < 0 || p.size() + 1 > static_cast<std::size_t>(size)) return NMAIL_ERR_BUFFER;
  std::memcpy(path, p.c_str(), p.size() + 1);
  return static_cast<int>(p.size());
}

int NMailGetMessage(int /*handle*/, char* buffer, int& size) {
  if (!buffer || size <= 0) return 0;
  std::string_view cut = nmail::text::cutCp932(gLastError, static_cast<std::size_t>(size) - 1);
  nmail::text::copyOut(buffer, static_cast<std::size_t>(size), cut);
  return static_cast<int>(cut.size());
}
