#include "nmail/nmail.h"

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "mime.h"
#include "net.h"
#include "charset.h"
#include "text.h"

namespace {

using nmail::net::Connection;

int gBufferSize = 8192;
int gTimeoutMs = 30000;
int gUnpackedBodySize = 0;
std::string gLastError;  // CP932

constexpr std::size_t kMaxMail = 512u << 20;

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

struct Pop3Session {
  Connection conn;
  std::string where;      // host:port, for messages
  std::string timestamp;  // APOP timestamp of the greeting, "" when none
  std::set<int> failedFetch;
  std::map<int, long long> sizes;
};

std::vector<std::unique_ptr<Pop3Session>> gSessions;

Pop3Session* session(int handle) {
  if (handle < 0 || handle >= static_cast<int>(gSessions.size()) || !gSessions[handle]) {
    fail(NMAIL_ERR_ARGUMENT, "POP3 の接続番号が正しくありません: " + std::to_string(handle));
    return nullptr;
  }
  return gSessions[handle].get();
}

enum class Reply { Ok, Err, Io };

// Sends one POP3 command and reads its status line.
Reply pop3Command(Pop3Session& s, const std::string& cmd, std::string& reply, std::string& error) {
  if (!s.conn.isOpen()) {
    error = "POP3 サーバーとの接続が切れています";
    return Reply::Io;
  }
  if (!s.conn.writeAll(cmd + "\r\n", error) || !s.conn.readLine(reply, error)) {
    error = "POP3 サーバー " + s.where + ": " + error;
    return Reply::Io;
  }
  if (reply.rfind("+OK", 0) == 0) return Reply::Ok;
  return Reply::Err;
}

std::string verb(const std::string& cmd) {
  auto sp = cmd.find(' ');
  return sp == std::string::npos ? cmd : cmd.substr(0, sp);
}

int replyFailure(Pop3Session& s, Reply r, const std::string& cmd, const std::string& reply,
                 const std::string& error, int errCode = NMAIL_ERR_PROTOCOL) {
  if (r == Reply::Io) return fail(NMAIL_ERR_IO, error);
  return fail(errCode, "POP3 サーバー " + s.where + " が " + verb(cmd) + " を断りました: " + serverText(reply));
}

bool validNumber(int no) {
  if (no < 1) {
    fail(NMAIL_ERR_ARGUMENT, "メール番号が正しくありません: " + std::to_string(no));
    return false;
  }
  return true;
}

std::size_t bufferCap() { return static_cast<std::size_t>(gBufferSize); }

void fillFields(const nmail::mime::Fields& f, char* subject, char* date, char* from, char* header) {
  nmail::text::copyOut(subject, bufferCap(), f.subject);
  nmail::text::copyOut(date, bufferCap(), f.date);
  nmail::text::copyOut(from, bufferCap(), f.from);
  nmail::text::copyOut(header, bufferCap(), f.header);
}

long long listSize(Pop3Session& s, int no, int& code) {
  auto it = s.sizes.find(no);
  if (it != s.sizes.end()) return it->second;
  std::string cmd = "LIST " + std::to_string(no), reply, error;
  Reply r = pop3Command(s, cmd, reply, error);
  if (r != Reply::Ok) {
    code = replyFailure(s, r, cmd, reply, error);
    return -1;
  }
  long long n = -1, size = -1;
  if (std::sscanf(reply.c_str() + 3, "%lld %lld", &n, &size) != 2 || size < 0 || size > 0x7FFFFFFF) {
    code = fail(NMAIL_ERR_PROTOCOL, "POP3 サーバー " + s.where + " の LIST の答えが読めません: " + serverText(reply));
    return -1;
  }
  s.sizes[no] = size;
  return size;
}

// ---- SMTP ----

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

bool readFile(const std::string& path, std::string& data) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  data.clear();
  char buf[65536];
  std::size_t r;
  while ((r = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, r);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool isFile(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The comma-separated attachment list into paths. A path that itself holds
// a comma is found by joining pieces until they name a file.
std::vector<std::string> attachmentPaths(const std::string& list) {
  std::vector<std::string> pieces, paths;
  std::string cur;
  for (char c : list) {
    if (c == ',') {
      pieces.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  pieces.push_back(cur);
  auto trim = [](const std::string& v) {
    std::size_t b = v.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    return v.substr(b, v.find_last_not_of(" \t\r\n") - b + 1);
  };
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    std::string path = pieces[i];
    std::size_t j = i;
    while (!isFile(trim(path)) && j + 1 < pieces.size()) {
      std::string joined = path;
      for (std::size_t k = j + 1; k < pieces.size(); ++k) {
        joined += "," + pieces[k];
        if (isFile(trim(joined))) {
          path = joined;
          j = k;
          break;
        }
      }
      break;
    }
    i = j;
    std::string t = trim(path);
    if (!t.empty()) paths.push_back(t);
  }
  return paths;
}

}  // namespace

int NMailInitializeWinSock() {
  nmail::mime::initialize();
  return 0;
}

int NMailEndWinSock() {
  gSessions.clear();
  return 0;
}

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
  return fail(NMAIL_ERR_ARGUMENT, "知らないオプションです: " + std::to_string(option));
}

int NMailPop3Connect(const char* server) {
  nmail::mime::initialize();
  std::string host;
  int port;
  std::string name = fromCp932(server);
  if (!nmail::net::splitServer(name, 110, host, port)) {
    fail(NMAIL_ERR_CONNECT, "POP3 サーバーの名前が正しくありません: " + name);
    return -1;
  }
  auto s = std::make_unique<Pop3Session>();
  s->where = host + ":" + std::to_string(port);
  std::string error;
  if (!s->conn.open(host, port, gTimeoutMs, error)) {
    fail(NMAIL_ERR_CONNECT, "POP3 サーバー " + s->where + " に" + error);
    return -1;
  }
  std::string greeting;
  if (!s->conn.readLine(greeting, error)) {
    fail(NMAIL_ERR_CONNECT, "POP3 サーバー " + s->where + " から挨拶がありません: " + error);
    return -1;
  }
  if (greeting.rfind("+OK", 0) != 0) {
    fail(NMAIL_ERR_CONNECT, "POP3 サーバー " + s->where + " が接続を断りました: " + serverText(greeting));
    return -1;
  }
  auto lt = greeting.find('<');
  while (lt != std::string::npos) {
    auto gt = greeting.find('>', lt);
    if (gt == std::string::npos) break;
    std::string stamp = greeting.substr(lt, gt - lt + 1);
    if (stamp.find_first_of(" \t<", 1) == std::string::npos && stamp.find('@') != std::string::npos) {
      s->timestamp = stamp;
      break;
    }
    lt = greeting.find('<', lt + 1);
  }
  for (std::size_t i = 0; i < gSessions.size(); ++i) {
    if (!gSessions[i]) {
      gSessions[i] = std::move(s);
      return static_cast<int>(i);
    }
  }
  gSessions.push_back(std::move(s));
  return static_cast<int>(gSessions.size() - 1);
}

int NMailPop3Authenticate(int handle, const char* user, const char* password, int apop) {
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  std::string u = fromCp932(user), p = fromCp932(password);
  if (hasLineBreak(u) || hasLineBreak(p))
    return fail(NMAIL_ERR_ARGUMENT, "ユーザー ID とパスワードに改行は使えません");
  std::string reply, error;
  if (apop) {
    if (s->timestamp.empty())
      return fail(NMAIL_ERR_AUTH, "POP3 サーバー " + s->where +
                                      " は APOP に対応していません（挨拶にタイムスタンプがありません）");
    std::string seed = s->timestamp + p;
    gchar* digest = g_compute_checksum_for_string(G_CHECKSUM_MD5, seed.data(), seed.size());
    std::string cmd = "APOP " + u + " " + digest;
    g_free(digest);
    Reply r = pop3Command(*s, cmd, reply, error);
    if (r != Reply::Ok) {
      if (r == Reply::Io) return fail(NMAIL_ERR_IO, error);
      return fail(NMAIL_ERR_AUTH, "ログインできません（APOP）: " + serverText(reply));
    }
  } else {
    Reply r = pop3Command(*s, "USER " + u, reply, error);
    if (r == Reply::Io) return fail(NMAIL_ERR_IO, error);
    if (r == Reply::Err) return fail(NMAIL_ERR_AUTH, "ログインできません（USER）: " + serverText(reply));
    r = pop3Command(*s, "PASS " + p, reply, error);
    if (r == Reply::Io) return fail(NMAIL_ERR_IO, error);
    if (r == Reply::Err) return fail(NMAIL_ERR_AUTH, "ログインできません: " + serverText(reply));
  }
  Reply r = pop3Command(*s, "STAT", reply, error);
  if (r != Reply::Ok) return replyFailure(*s, r, "STAT", reply, error);
  long long n = -1, octets = 0;
  if (std::sscanf(reply.c_str() + 3, "%lld %lld", &n, &octets) < 1 || n < 0 || n > 0x7FFFFFFF)
    return fail(NMAIL_ERR_PROTOCOL, "POP3 サーバー " + s->where + " の STAT の答えが読めません: " + serverText(reply));
  return static_cast<int>(n);
}

int NMailPop3GetMailStatus(int handle, int no, char* subject, char* date, char* from, char* header,
                           int /*flags*/) {
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  std::string cmd = "TOP " + std::to_string(no) + " 0", reply, error;
  Reply r = pop3Command(*s, cmd, reply, error);
  if (r != Reply::Ok) return replyFailure(*s, r, cmd, reply, error);
  std::string top;
  if (!s->conn.readDotBody(top, error, kMaxMail))
    return fail(NMAIL_ERR_IO, "POP3 サーバー " + s->where + ": " + error);
  std::string_view head, body;
  nmail::mime::split(top, head, body);
  fillFields(nmail::mime::decodeFields(head, bufferCap()), subject, date, from, header);
  return NMAIL_SUCCESS;
}

int NMailPop3GetMailSize(int handle, int no) {
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  int code = 0;
  long long size = listSize(*s, no, code);
  return size < 0 ? code : static_cast<int>(size);
}

int NMailPop3GetMail(int handle, int no, char* subject, char* date, char* from, char* header,
                     char* body, int /*flags*/, int /*reserved*/) {
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  int code = 0;
  long long size = listSize(*s, no, code);
  if (size < 0) {
    s->failedFetch.insert(no);
    return code;
  }
  std::string cmd = "RETR " + std::to_string(no), reply, error;
  Reply r = pop3Command(*s, cmd, reply, error);
  if (r != Reply::Ok) {
    s->failedFetch.insert(no);
    return replyFailure(*s, r, cmd, reply, error);
  }
  std::string mail;
  if (!s->conn.readDotBody(mail, error, kMaxMail)) {
    s->failedFetch.insert(no);
    return fail(NMAIL_ERR_IO, "メール " + std::to_string(no) + " を最後まで受け取れませんでした: " + error);
  }
  s->failedFetch.erase(no);
  auto fetched = nmail::mime::decodeFetched(mail, bufferCap(), static_cast<std::size_t>(size) + 1);
  fillFields(fetched.fields, subject, date, from, header);
  nmail::text::copyOut(body, static_cast<std::size_t>(size) + 1, fetched.body);
  return NMAIL_SUCCESS;
}

int NMailPop3DeleteMail(int handle, int no) {
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  if (s->failedFetch.count(no))
    return fail(NMAIL_ERR_ARGUMENT,
                "メール " + std::to_string(no) + " は受け取れなかったので、サーバーから削除しません");
  std::string cmd = "DELE " + std::to_string(no), reply, error;
  Reply r = pop3Command(*s, cmd, reply, error);
  if (r != Reply::Ok) return replyFailure(*s, r, cmd, reply, error);
  return NMAIL_SUCCESS;
}

int NMailPop3Close(int handle) {
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  int result = NMAIL_SUCCESS;
  if (s->conn.isOpen()) {
    std::string reply, error;
    Reply r = pop3Command(*s, "QUIT", reply, error);
    if (r != Reply::Ok) result = replyFailure(*s, r, "QUIT", reply, error);
  } else {
    result = fail(NMAIL_ERR_IO, "POP3 サーバー " + s->where +
                                    " との接続が途中で切れたため、削除はサーバーに伝わっていません");
  }
  gSessions[handle].reset();
  return result;
}

int NMailAttachmentFileFirst(int /*handle*/, char* subject, char* date, char* from, char* header,
                             char* body, const char* folder, const char* /*workFile*/,
                             const char* mailText, int /*flags*/) {
  if (!mailText) return fail(NMAIL_ERR_ARGUMENT, "メールの本文がありません");
  if (!folder || !*folder) return fail(NMAIL_ERR_FILE, "添付フォルダが指定されていません");
  std::string_view mail(mailText);
  const std::size_t bodyCap = std::max<std::size_t>(mail.size() + 1, static_cast<std::size_t>(gUnpackedBodySize));
  auto result = nmail::mime::unpack(mail, pathFrom(folder), bufferCap(), bodyCap);
  fillFields(result.fields, subject, date, from, header);
  if (body) nmail::text::copyOut(body, bodyCap, result.body);
  if (result.result != NMAIL_SUCCESS) return fail(result.result, result.error);
  return NMAIL_SUCCESS;
}

int NMailAttachmentFileClose(int /*handle*/) { return 0; }

int NMailSmtpSendMail(const char* server, const char* to, const char* unused1, const char* unused2,
                      const char* from, const char* subject, const char* body, const char* unused3,
                      const char* attachments, int /*flags*/) {
  nmail::mime::initialize();
  if ((unused1 && *unused1) || (unused2 && *unused2) || (unused3 && *unused3))
    return fail(NMAIL_ERR_ARGUMENT, "使われない引数に値が渡されました");
  std::string host;
  int port;
  std::string name = fromCp932(server);
  if (!nmail::net::splitServer(name, 25, host, port))
    return fail(NMAIL_ERR_CONNECT, "SMTP サーバーの名前が正しくありません: " + name);
  std::string where = host + ":" + std::to_string(port);

  nmail::mime::Outgoing mail;
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
    auto trim = [](const std::string& v) {
      std::size_t b = v.find_first_not_of(' ');
      if (b == std::string::npos) return std::string();
      return v.substr(b, v.find_last_not_of(' ') - b + 1);
    };
    addr = trim(addr);
    display = trim(display);
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
  std::string message = nmail::mime::build(mail);

  Connection c;
  if (!c.open(host, port, gTimeoutMs, error))
    return fail(NMAIL_ERR_CONNECT, "SMTP サーバー " + where + " に" + error);
  SmtpReply r;
  auto ioFail = [&](const std::string& step) {
    return fail(NMAIL_ERR_IO, "SMTP サーバー " + where + "（" + step + "）: " + error);
  };
  auto refused = [&](const std::string& step) {
    std::string quitError;
    c.writeAll("QUIT\r\n", quitError);
    return fail(NMAIL_ERR_PROTOCOL,
                "SMTP サーバー " + where + " が " + step + " を断りました: " + serverText(r.text));
  };
  auto send = [&](const std::string& cmd) { return c.writeAll(cmd + "\r\n", error) && smtpRead(c, r, error); };

  if (!smtpRead(c, r, error)) return ioFail("接続");
  if (r.code != 220) return refused("接続");
  std::string me = localHostName();
  if (!send("EHLO " + me)) return ioFail("EHLO");
  if (r.code / 100 != 2) {
    if (!send("HELO " + me)) return ioFail("HELO");
    if (r.code / 100 != 2) return refused("HELO");
  }
  if (!send("MAIL FROM:<" + mail.from.address + ">")) return ioFail("MAIL FROM");
  if (r.code / 100 != 2) return refused("MAIL FROM:<" + mail.from.address + ">");
  for (const auto& a : mail.to) {
    if (!send("RCPT TO:<" + a.address + ">")) return ioFail("RCPT TO");
    if (r.code / 100 != 2) return refused("RCPT TO:<" + a.address + ">");
  }
  if (!send("DATA")) return ioFail("DATA");
  if (r.code != 354) return refused("DATA");
  if (!c.writeAll(dotStuff(message), error) || !smtpRead(c, r, error)) return ioFail("本文");
  if (r.code / 100 != 2) return refused("本文");
  std::string quitError;
  if (c.writeAll("QUIT\r\n", quitError)) smtpRead(c, r, quitError);
  return NMAIL_SUCCESS;
}

int NMailGetMessage(int /*handle*/, char* buffer, int& size) {
  if (!buffer || size <= 0) return 0;
  std::string_view cut = nmail::text::cutCp932(gLastError, static_cast<std::size_t>(size) - 1);
  nmail::text::copyOut(buffer, static_cast<std::size_t>(size), cut);
  return static_cast<int>(cut.size());
}
