// The SMTP client: a session's conversation (greeting, EHLO or HELO, RSET
// between mails), MAIL, RCPT and DATA pipelined to a server that takes
// them, the message dot-stuffed, a retry on a new session when the old
// connection turns out gone, and the public NMailSmtp functions over
// them. The mail itself is built by mime::build (mime_build.cpp), the
// attachment files are read by files.cpp.
#include "nmail/nmail.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "charset.h"
#include "files.h"
#include "library.h"
#include "mime.h"
#include "net.h"
#include "text.h"

using namespace nmail::lib;

namespace {

using nmail::net::Connection;

struct SmtpReply {
  int code = 0;
  std::string text;  // every line, joined by CR LF
};

bool smtpRead(Connection& c, SmtpReply& r, std::string& error) {
  r = SmtpReply();
  std::string line;
  for (int lines = 0; lines < 1000; ++lines) {
    if (!c.readLine(line, error)) return false;
    if (!r.text.empty()) r.text += "\r\n";
    r.text += line;
    if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
        !std::isdigit(static_cast<unsigned char>(line[1])) || !std::isdigit(static_cast<unsigned char>(line[2]))) {
      error = "SMTP サーバーの答えが読めません: " + serverText(line);
      return false;
    }
    r.code = std::atoi(line.substr(0, 3).c_str());
    if (line.size() == 3 || line[3] != '-') return true;
  }
  error = "SMTP サーバーの答えが長すぎます";
  return false;
}

std::string localHostName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0) return "localhost";
  std::string h;
  for (char* p = buf; *p; ++p)
    if (std::isalnum(static_cast<unsigned char>(*p)) || *p == '.' || *p == '-') h += *p;
  return h.empty() ? "localhost" : h;
}

std::string dotStuff(std::string_view msg) {
  std::string out;
  out.reserve(msg.size() + msg.size() / 64 + 8);
  bool lineStart = true;
  for (char c : msg) {
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = c == '\n';
  }
  if (!out.ends_with("\r\n")) out += "\r\n";
  out += ".\r\n";
  return out;
}

}  // namespace

namespace {

// One SMTP session: the mails of a run to one server go through it, RSET
// between them; it is opened by the first mail and opened again only after
// a failure broke it.
struct SmtpSession {
  std::string host;
  int port = 25;
  std::string where;
  Connection c;
  bool ready = false;       // greeted and introduced (EHLO / HELO)
  bool pipelining = false;  // the server's EHLO lists PIPELINING (RFC 2920)
  bool used = false;        // a mail ran on the connection
  bool clean = true;        // the last mail ended with the server taking it (its state is reset)
  bool retired = false;     // closed (or the library ended) during a call: connects no more
};

std::map<int, std::unique_ptr<SmtpSession>> gSmtpSessions;
int gNextSmtpHandle = 1;

// Sessions ended while a call runs (from the yield hook) are kept until the
// outermost call is over, as the POP3 sessions are.
std::vector<std::unique_ptr<SmtpSession>> gRetiredSmtp;

void retireSmtp(std::unique_ptr<SmtpSession> s) {
  if (!s) return;
  s->c.close();
  s->ready = false;
  s->retired = true;
  gRetiredSmtp.push_back(std::move(s));
}

}  // namespace

namespace nmail::lib {

void clearRetiredSmtp() { gRetiredSmtp.clear(); }

void endSmtpSessions() {
  for (auto& [handle, s] : gSmtpSessions) retireSmtp(std::move(s));
  gSmtpSessions.clear();
  if (gDepth == 0) gRetiredSmtp.clear();
}

}  // namespace nmail::lib

namespace {


SmtpSession* smtpSession(int handle) {
  auto it = gSmtpSessions.find(handle);
  return it == gSmtpSessions.end() ? nullptr : it->second.get();
}

// Ends the connection without waiting for anything: QUIT goes out when the
// conversation is in order (the server has answered everything asked), and
// its answer is not read, since every mail of the session has been answered.
void dropSmtp(SmtpSession& s, bool quit) {
  if (s.c.isOpen() && quit) {
    std::string ignored;
    s.c.writeAll("QUIT\r\n", ignored);
  }
  s.c.close();
  s.ready = false;
  s.used = false;
  s.clean = true;
  s.pipelining = false;
}

std::string trimBlanks(const std::string& v) {
  std::size_t b = v.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  return v.substr(b, v.find_last_not_of(' ') - b + 1);
}

// The arguments of a send into the mail to build; NMAIL_SUCCESS or the
// failure (nothing is sent then).
int prepareMail(const char* to, const char* from, const char* subject, const char* body, const char* attachments,
                nmail::mime::Outgoing& mail) {
  std::string error;
  {
    std::string sender = fromCp932(from);
    for (char& c : sender)
      if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    auto lt = sender.rfind('<');
    auto gt = sender.rfind('>');
    std::string addr = sender, display;
    if (lt != std::string::npos && gt != std::string::npos && gt > lt) {
      addr = sender.substr(lt + 1, gt - lt - 1);
      display = sender.substr(0, lt);
    }
    addr = trimBlanks(addr);
    display = trimBlanks(display);
    if (display.size() >= 2 && display.front() == '"' && display.back() == '"')
      display = display.substr(1, display.size() - 2);
    std::vector<nmail::mime::Address> check;
    if (addr.empty()) return fail(NMAIL_ERR_ARGUMENT, "差出人のメールアドレスがありません");
    if (!nmail::mime::parseAddresses(addr, check, error) || check.size() != 1)
      return fail(NMAIL_ERR_ARGUMENT, "差出人の" + (error.empty() ? "メールアドレスが正しくありません" : error));
    mail.from = {display, check[0].address};
  }
  if (!nmail::mime::parseAddresses(fromCp932(to), mail.to, error))
    return fail(NMAIL_ERR_ARGUMENT, "宛先の" + error);
  if (mail.to.empty()) return fail(NMAIL_ERR_ARGUMENT, "宛先のメールアドレスがありません");
  mail.subject = fromCp932(subject);
  mail.body = fromCp932(body);
  for (const std::string& path : attachmentPaths(pathFrom(attachments))) {
    nmail::mime::Attachment a;
    if (!readFile(path, a.data)) return fail(NMAIL_ERR_FILE, "添付ファイルを開けません: " + path);
    auto slash = path.find_last_of('/');
    a.name = slash == std::string::npos ? path : path.substr(slash + 1);
    mail.attachments.push_back(std::move(a));
  }
  return NMAIL_SUCCESS;
}

bool offersPipeliningInEhlo(const std::string& reply) {
  std::size_t start = 0;
  while (start <= reply.size()) {
    std::size_t end = reply.find("\r\n", start);
    if (end == std::string::npos) end = reply.size();
    std::string line = reply.substr(start, end - start);
    if (line.size() > 4) {
      std::string word = line.substr(4, line.find(' ', 4) == std::string::npos ? std::string::npos : line.find(' ', 4) - 4);
      for (char& ch : word) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (word == "PIPELINING") return true;
    }
    start = end + 2;
  }
  return false;
}

// Connects, reads the greeting and introduces the client.
int openSmtp(SmtpSession& s) {
  if (s.retired) return fail(NMAIL_ERR_IO, "SMTP のセッションは終了しました");
  std::string error;
  if (!s.c.open(s.host, s.port, gTimeoutMs, error))
    return fail(NMAIL_ERR_CONNECT, "SMTP サーバー " + s.where + " に" + error);
  SmtpReply r;
  auto ioFail = [&](const std::string& step) {
    dropSmtp(s, false);
    return fail(NMAIL_ERR_IO, "SMTP サーバー " + s.where + "（" + step + "）: " + error);
  };
  auto refused = [&](const std::string& step) {
    dropSmtp(s, true);
    return fail(NMAIL_ERR_PROTOCOL, "SMTP サーバー " + s.where + " が " + step + " を断りました: " + serverText(r.text));
  };
  auto send = [&](const std::string& cmd) { return s.c.writeAll(cmd + "\r\n", error) && smtpRead(s.c, r, error); };
  if (!smtpRead(s.c, r, error)) return ioFail("接続");
  if (r.code != 220) return refused("接続");
  std::string me = localHostName();
  if (!send("EHLO " + me)) return ioFail("EHLO");
  if (r.code / 100 == 2) {
    s.pipelining = offersPipeliningInEhlo(r.text);
  } else {
    if (!send("HELO " + me)) return ioFail("HELO");
    if (r.code / 100 != 2) return refused("HELO");
    s.pipelining = false;
  }
  s.ready = true;
  s.used = false;
  return NMAIL_SUCCESS;
}

// What became of one mail's try on the session.
enum class Try { Done, Failed, Retry };

// One mail: [RSET] MAIL RCPT... DATA, in one go when the server takes
// pipelined commands, then the message. A connection that turns out to be
// gone at the RSET (nothing of this mail was taken yet) asks for a retry on
// a new session.
Try sendOnce(SmtpSession& s, const nmail::mime::Outgoing& mail, const std::string& message, int& code) {
  std::string error;
  const bool reused = s.used;
  std::vector<std::string> cmds;
  // RSET between mails: in the same go as the rest when the server takes
  // pipelined commands; one at a time only after a mail the server did not
  // take (a mail it took leaves the session reset, RFC 5321), so that a
  // send to many costs no round trip more than a plain client's.
  if (reused && (s.pipelining || !s.clean)) cmds.push_back("RSET");
  cmds.push_back("MAIL FROM:<" + mail.from.address + ">");
  for (const auto& a : mail.to) cmds.push_back("RCPT TO:<" + a.address + ">");
  cmds.push_back("DATA");
  auto ioFail = [&](const std::string& step) {
    dropSmtp(s, false);
    code = fail(NMAIL_ERR_IO, "SMTP サーバー " + s.where + "（" + step + "）: " + error);
    return Try::Failed;
  };

  if (s.pipelining) {
    std::string group;
    for (const auto& cmd : cmds) group += cmd + "\r\n";
    if (!s.c.writeAll(group, error)) {
      if (reused) return Try::Retry;
      return ioFail(cmds.front().substr(0, cmds.front().find(':')));
    }
  }
  SmtpReply r;
  std::string refusal;  // the first command refused, with the server's words
  bool accepted = false;
  for (std::size_t i = 0; i < cmds.size(); ++i) {
    const std::string& cmd = cmds[i];
    const std::string step = cmd.substr(0, cmd.find(':'));
    if (!s.pipelining) {
      if (!refusal.empty()) break;  // one at a time: nothing more is asked after a refusal
      if (!s.c.writeAll(cmd + "\r\n", error)) {
        if (reused && i == 0) return Try::Retry;
        return ioFail(step);
      }
    }
    if (!smtpRead(s.c, r, error)) {
      if (reused && i == 0) return Try::Retry;
      return ioFail(step);
    }
    if (r.code == 421) {
      // The server is closing the session.
      if (reused && i == 0) return Try::Retry;
      dropSmtp(s, false);
      code = fail(NMAIL_ERR_PROTOCOL, "SMTP サーバー " + s.where + " が " + cmd + " を断りました: " +
                                          serverText(r.text));
      return Try::Failed;
    }
    const bool ok = cmd == "DATA" ? r.code == 354 : r.code / 100 == 2;
    if (cmd == "DATA") accepted = r.code == 354;
    if (!ok && refusal.empty())
      refusal = "SMTP サーバー " + s.where + " が " + cmd + " を断りました: " + serverText(r.text);
  }
  s.used = true;
  s.clean = false;
  if (!refusal.empty()) {
    // A server that takes DATA after refusing a recipient would deliver to
    // the others alone: the connection goes without the message.
    if (accepted) dropSmtp(s, false);
    code = fail(NMAIL_ERR_PROTOCOL, refusal);
    return Try::Failed;
  }
  if (!s.c.writeAll(dotStuff(message), error) || !smtpRead(s.c, r, error)) return ioFail("本文");
  if (r.code == 421) dropSmtp(s, false);
  s.clean = r.code / 100 == 2;
  if (r.code / 100 != 2) {
    code = fail(NMAIL_ERR_PROTOCOL, "SMTP サーバー " + s.where + " が 本文 を断りました: " + serverText(r.text));
    return Try::Failed;
  }
  return Try::Done;
}

int sendOnSession(SmtpSession& s, const char* to, const char* unused1, const char* unused2, const char* from,
                  const char* subject, const char* body, const char* unused3, const char* attachments) {
  if ((unused1 && *unused1) || (unused2 && *unused2) || (unused3 && *unused3))
    return fail(NMAIL_ERR_ARGUMENT, "使われない引数に値が渡されました");
  nmail::mime::Outgoing mail;
  if (int r = prepareMail(to, from, subject, body, attachments, mail); r != NMAIL_SUCCESS) return r;
  const std::string message = nmail::mime::build(mail);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!s.ready) {
      if (int r = openSmtp(s); r != NMAIL_SUCCESS) return r;
    }
    int code = NMAIL_SUCCESS;
    switch (sendOnce(s, mail, message, code)) {
      case Try::Done: return NMAIL_SUCCESS;
      case Try::Failed: return code;
      case Try::Retry: dropSmtp(s, false); break;
    }
  }
  return fail(NMAIL_ERR_IO, "SMTP サーバー " + s.where + " との接続が切れました");
}

int newSmtpSession(const char* server, std::unique_ptr<SmtpSession>& out) {
  auto s = std::make_unique<SmtpSession>();
  std::string name = fromCp932(server);
  if (!nmail::net::splitServer(name, 25, s->host, s->port))
    return fail(NMAIL_ERR_CONNECT, "SMTP サーバーの名前が正しくありません: " + name);
  s->where = s->host + ":" + std::to_string(s->port);
  out = std::move(s);
  return NMAIL_SUCCESS;
}

}  // namespace

int NMailSmtpSendMail(const char* server, const char* to, const char* unused1, const char* unused2,
                      const char* from, const char* subject, const char* body, const char* unused3,
                      const char* attachments, int /*flags*/) {
  InCall call;
  nmail::mime::initialize();
  std::unique_ptr<SmtpSession> s;
  if (int r = newSmtpSession(server, s); r != NMAIL_SUCCESS) return r;
  const int r = sendOnSession(*s, to, unused1, unused2, from, subject, body, unused3, attachments);
  dropSmtp(*s, s->ready);
  return r;
}

int NMailSmtpOpenSession(const char* server) {
  InCall call;
  nmail::mime::initialize();
  std::unique_ptr<SmtpSession> s;
  if (int r = newSmtpSession(server, s); r != NMAIL_SUCCESS) return r;
  const int handle = gNextSmtpHandle++;
  gSmtpSessions[handle] = std::move(s);
  return handle;
}

int NMailSmtpSessionSendMail(int handle, const char* to, const char* unused1, const char* unused2, const char* from,
                             const char* subject, const char* body, const char* unused3, const char* attachments,
                             int /*flags*/) {
  InCall call;
  SmtpSession* s = smtpSession(handle);
  if (!s) return fail(NMAIL_ERR_ARGUMENT, "SMTP のセッションがありません");
  return sendOnSession(*s, to, unused1, unused2, from, subject, body, unused3, attachments);
}

int NMailSmtpCloseSession(int handle) {
  InCall call;
  auto it = gSmtpSessions.find(handle);
  if (it == gSmtpSessions.end()) return fail(NMAIL_ERR_ARGUMENT, "SMTP のセッションがありません");
  dropSmtp(*it->second, it->second->ready);
  retireSmtp(std::move(it->second));
  gSmtpSessions.erase(it);
  return NMAIL_SUCCESS;
}

