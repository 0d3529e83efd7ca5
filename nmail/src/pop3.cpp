// The POP3 client: a session's conversation (USER/PASS or APOP, STAT,
// CAPA), the commands pipelined to a server that takes them with their
// answers matched in order, the retrievals fetched ahead, the deletions
// and QUIT, and the public NMailPop3 functions over them. The decoding of
// what came is left to mime_*.cpp, the options and messages to nmail.cpp.
#include "nmail/nmail.h"

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "charset.h"
#include "library.h"
#include "mime.h"
#include "net.h"
#include "pop3_limits.h"
#include "text.h"

using namespace nmail::lib;

namespace {

using nmail::net::Connection;

std::size_t gMaxMail = 512u << 20;
std::size_t gMaxHeader = 1u << 20;
// An answer past its limit is read past while no more than this many times
// the limit follows; one that goes on longer is taken for endless.
constexpr std::size_t kDrainTimes = 4;
// A retrieval is given the room LIST claims at first (up to the limit):
// room never touched costs no memory, while growing a text step by step
// holds it twice. Room left over is given back when the mail came small.
constexpr std::size_t kShrinkAtMost = 8u << 20;
// A retrieval is held in memory up to twice the size LIST claims (a server
// that sends bare LF line ends and counts them sends at most that) and this
// much more; past that the answer is read past as one too large, so that an
// answer that never ends costs a few megabytes, not the library's limit.
constexpr std::size_t kBeyondClaim = 1u << 20;

// What a command is, for matching the answers that come back in order.
enum class Kind { Top, Retr, Dele, List, ListOne, Quit, Uidl };
using Key = std::pair<Kind, int>;  // the command and its mail number (0 for LIST)

bool multiLine(Kind k) { return k != Kind::Dele && k != Kind::ListOne && k != Kind::Quit; }

struct Answer {
  bool ok = false;
  bool tooLarge = false;  // past the limit: read past, nothing kept
  long long claimed = -1; // a retrieval past twice what LIST claimed: the claim
  std::string status;  // the status line
  std::string text;    // the lines of a multi-line answer, dot-stuffing undone
  // A header's fields, once decoded (for fieldsCap bytes): a header is asked
  // for more than once (the spam test ahead, then in order).
  std::optional<nmail::mime::Fields> fields;
  std::size_t fieldsCap = 0;
};

// Retrievals in flight together with a pipelining server: at most this many
// mails, and no more bytes (by LIST) than this unless it is a single mail.
// Small mails come many to a round trip; big ones a few megabytes at a time.
constexpr std::size_t kWindowMails = 64;
constexpr long long kWindowBytes = 2ll << 20;
// Headers asked for in one go.
constexpr int kTopBatch = 100;

struct Pop3Session {
  Connection conn;
  std::string where;      // host:port, for messages
  std::string timestamp;  // APOP timestamp of the greeting, "" when none
  bool pipelining = false;  // the server's CAPA lists PIPELINING
  long long count = -1;     // mails waiting, from STAT
  std::set<int> failedFetch;
  std::map<int, long long> sizes;     // from LIST
  std::map<int, long long> sizeGiven; // the size last handed to the caller
  std::map<int, long long> needs;     // the body size of a mail that did not fit its buffer
  bool headersBegun = false;          // a header was asked for
  bool listAsked = false;             // the LIST of every size is sent (or answered)
  // Commands sent whose answers have not been read, in the order sent;
  // answers read and not yet taken; retrievals asked for ahead, not yet sent.
  std::deque<Key> inFlight;
  std::set<Key> asked;
  std::map<Key, Answer> answers;
  std::deque<int> wanted;
  std::string brokenBy;  // why the conversation broke, "" while it holds
  // The mail whose header or retrieval was being read when the
  // conversation broke; 0 when it broke elsewhere (or holds).
  int brokenMail = 0;
  // The unique ids (UIDL), asked for once: 0 not yet, 1 listed, -1 refused.
  int uidlState = 0;
  std::string uidlRefusal;  // the server's words when it refused
  std::map<int, std::string> uids;
};

std::vector<std::unique_ptr<Pop3Session>> gSessions;

std::string sizeText(std::size_t bytes) {
  if (bytes >= (1u << 20)) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (1u << 10)) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " バイト";
}

std::vector<std::unique_ptr<Pop3Session>> gRetired;

Pop3Session* session(int handle) {
  if (handle < 0 || handle >= static_cast<int>(gSessions.size()) || !gSessions[handle]) {
    fail(NMAIL_ERR_ARGUMENT, "POP3 の接続番号が正しくありません: " + std::to_string(handle));
    return nullptr;
  }
  return gSessions[handle].get();
}

enum class Reply { Ok, Err, Io };

// Sends one POP3 command and reads its status line (nothing else in flight).
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

std::string commandText(const Key& k) {
  const std::string no = std::to_string(k.second);
  switch (k.first) {
    case Kind::Top: return "TOP " + no + " 0";
    case Kind::Retr: return "RETR " + no;
    case Kind::Dele: return "DELE " + no;
    case Kind::List: return "LIST";
    case Kind::ListOne: return "LIST " + no;
    case Kind::Quit: return "QUIT";
    case Kind::Uidl: return "UIDL";
  }
  return std::string();
}

// The conversation is over: nothing in flight is answered any more.
void breakOff(Pop3Session& s, const std::string& error) {
  s.brokenBy = error.empty() ? "サーバーとの接続が切れました" : error;
  s.inFlight.clear();
  s.asked.clear();
  s.wanted.clear();
  s.conn.close();
}

int brokenFailure(Pop3Session& s) {
  return fail(NMAIL_ERR_IO, "POP3 サーバー " + s.where + ": " +
                                (s.brokenBy.empty() ? std::string("サーバーとの接続が切れています") : s.brokenBy));
}

// Sends the commands in one write (or, deferred, with the next write or
// before the next wait for an answer); their answers are read later, in
// order.
bool sendCommands(Pop3Session& s, const std::vector<Key>& keys, bool deferred = false) {
  if (keys.empty()) return true;
  if (!s.brokenBy.empty() || !s.conn.isOpen()) {
    if (s.brokenBy.empty()) s.brokenBy = "サーバーとの接続が切れています";
    return false;
  }
  std::string text;
  for (const Key& k : keys) text += commandText(k) + "\r\n";
  std::string error;
  if (deferred) {
    s.conn.queue(text);
  } else if (!s.conn.writeAll(text, error)) {
    breakOff(s, error);
    return false;
  }
  for (const Key& k : keys) {
    s.inFlight.push_back(k);
    s.asked.insert(k);
  }
  return true;
}

// The lines "no uid" of a UIDL listing; a unique id is 1 to 70 printable
// characters (RFC 1939), a line that holds none is passed over, and an id
// the listing gives to two mails names neither.
void takeUids(Pop3Session& s, const std::string& listing) {
  std::map<std::string, int> seen;  // id -> how many mails have it
  std::size_t at = 0;
  while (at < listing.size()) {
    std::size_t eol = listing.find('\n', at);
    if (eol == std::string::npos) eol = listing.size();
    std::string line = listing.substr(at, eol - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = eol + 1;
    long long no = -1;
    int used = 0;
    if (std::sscanf(line.c_str(), "%lld %n", &no, &used) != 1 || no < 1 || no > 0x7FFFFFFF || used <= 0) continue;
    std::string id = line.substr(static_cast<std::size_t>(used));
    while (!id.empty() && id.back() == ' ') id.pop_back();
    if (id.empty() || id.size() > 70) continue;
    if (std::any_of(id.begin(), id.end(), [](char c) { return c < 0x21 || c > 0x7E; })) continue;
    ++seen[id];
    s.uids[static_cast<int>(no)] = id;
  }
  std::erase_if(s.uids, [&](const auto& entry) { return seen[entry.second] > 1; });
}

void takeSizes(Pop3Session& s, const std::string& listing) {
  std::size_t at = 0;
  while (at < listing.size()) {
    std::size_t eol = listing.find('\n', at);
    if (eol == std::string::npos) eol = listing.size();
    long long no = -1, size = -1;
    if (std::sscanf(listing.c_str() + at, "%lld %lld", &no, &size) == 2 && no >= 1 && no <= 0x7FFFFFFF &&
        size >= 0 && size <= 0x7FFFFFFF)
      s.sizes[static_cast<int>(no)] = size;
    at = eol + 1;
  }
}

// Reads the answer of the oldest command in flight. An answer past its
// limit is read past and marked; the conversation goes on.
bool readNext(Pop3Session& s) {
  const Key k = s.inFlight.front();
  s.inFlight.pop_front();
  s.asked.erase(k);
  Answer a;
  std::string error;
  s.conn.newAnswer();
  bool ok = s.conn.readLine(a.status, error);
  if (ok) {
    a.ok = a.status.rfind("+OK", 0) == 0;
    if (a.ok && multiLine(k.first)) {
      std::size_t cap = k.first == Kind::Top ? gMaxHeader : gMaxMail;
      std::size_t reserve = 0;
      long long claimed = -1;
      if (k.first == Kind::Retr) {
        auto it = s.sizes.find(k.second);
        if (it != s.sizes.end()) {
          reserve = static_cast<std::size_t>(std::min<long long>(it->second, cap));
          const std::size_t bound = 2 * static_cast<std::size_t>(it->second) + kBeyondClaim;
          if (bound < cap) {
            cap = bound;
            claimed = it->second;
          }
        }
        reserve += reserve / 64 + 64;
      }
      bool tooLarge = false;
      // A header too large to take alone is read past as far as its mail
      // goes (twice what LIST said of it, the largest mail taken when LIST
      // has not said): it ends, and the whole mail serves in its place.
      std::size_t drain = cap * kDrainTimes;
      if (k.first == Kind::Top) {
        auto it = s.sizes.find(k.second);
        const std::size_t mail = it == s.sizes.end() ? gMaxMail
                                                     : static_cast<std::size_t>(std::min<long long>(
                                                           2 * it->second, static_cast<long long>(gMaxMail)));
        drain = std::max(drain, mail);
      }
      ok = s.conn.readDotBody(a.text, error, cap, &tooLarge, drain, reserve);
      if (!ok && tooLarge) {
        a.tooLarge = true;
        a.claimed = claimed;
        ok = true;
      }
      // A size claimed high leaves no room unused behind (a copy of a
      // small mail costs little).
      if (ok && a.text.size() <= kShrinkAtMost && a.text.capacity() > 2 * a.text.size() + 4096) a.text.shrink_to_fit();
    }
  }
  if (!ok) {
    if (k.first == Kind::Top || k.first == Kind::Retr) s.brokenMail = k.second;
    breakOff(s, error);
    return false;
  }
  if (k.first == Kind::List && a.ok) takeSizes(s, a.text);
  s.answers[k] = std::move(a);
  return true;
}

// Reads answers until the one of k is there; false when k was never sent or
// the conversation broke.
bool await(Pop3Session& s, const Key& k) {
  while (!s.answers.count(k)) {
    if (!s.asked.count(k) || s.inFlight.empty()) return false;
    if (!readNext(s)) return false;
  }
  return true;
}

// The answer of k, sent now unless it is in flight or read already.
bool answerOf(Pop3Session& s, const Key& k, std::vector<Key> alsoSend = {}) {
  if (!s.answers.count(k) && !s.asked.count(k)) {
    alsoSend.insert(alsoSend.begin(), k);
    if (!sendCommands(s, alsoSend)) return false;
  }
  return await(s, k);
}

// Sends the retrievals asked for ahead while the window has room.
bool pump(Pop3Session& s) {
  if (!s.pipelining || !s.brokenBy.empty()) return true;
  std::size_t mails = 0;
  long long bytes = 0;
  auto count = [&](int no) {
    ++mails;
    auto it = s.sizes.find(no);
    if (it != s.sizes.end()) bytes += it->second;
  };
  // The retrievals sort together (by kind first): only they are walked,
  // not the deletions and headers that pile up meanwhile.
  const Key firstRetr{Kind::Retr, std::numeric_limits<int>::min()}, lastRetr{Kind::Retr, std::numeric_limits<int>::max()};
  for (auto it = s.asked.lower_bound(firstRetr); it != s.asked.end() && !(lastRetr < *it); ++it) count(it->second);
  for (auto it = s.answers.lower_bound(firstRetr); it != s.answers.end() && !(lastRetr < it->first); ++it)
    count(it->first.second);
  std::vector<Key> batch;
  while (!s.wanted.empty() && mails < kWindowMails) {
    const int no = s.wanted.front();
    const Key k{Kind::Retr, no};
    if (s.asked.count(k) || s.answers.count(k) || s.failedFetch.count(no)) {
      s.wanted.pop_front();
      continue;
    }
    auto it = s.sizes.find(no);
    const long long size = it == s.sizes.end() ? 0 : it->second;
    if (mails > 0 && bytes + size > kWindowBytes) break;
    s.wanted.pop_front();
    batch.push_back(k);
    ++mails;
    bytes += size;
  }
  // They go with the next command, or before the wait for the next answer:
  // one write for the many retrievals that come free as mails are taken.
  return sendCommands(s, batch, true);
}

bool validNumber(int no) {
  if (no < 1) {
    fail(NMAIL_ERR_ARGUMENT, "メール番号が正しくありません: " + std::to_string(no));
    return false;
  }
  return true;
}


// The size of mail no: from the one LIST of every mail, else LIST no; a
// mail that came (and waits to be taken) longer than LIST said counts as
// long as it came.
long long listSize(Pop3Session& s, int no, int& code) {
  if (!s.sizes.count(no)) {
    const Key all{Kind::List, 0};
    if (!s.listAsked) {
      s.listAsked = true;
      if (!sendCommands(s, {all})) {
        code = brokenFailure(s);
        return -1;
      }
    }
    if (s.asked.count(all) && !await(s, all)) {
      code = brokenFailure(s);
      return -1;
    }
    s.answers.erase(all);
  }
  if (!s.sizes.count(no)) {
    const Key one{Kind::ListOne, no};
    if (!answerOf(s, one)) {
      code = brokenFailure(s);
      return -1;
    }
    Answer a = std::move(s.answers[one]);
    s.answers.erase(one);
    if (!a.ok) {
      code = replyFailure(s, Reply::Err, commandText(one), a.status, std::string());
      return -1;
    }
    long long n = -1, size = -1;
    if (std::sscanf(a.status.c_str() + 3, "%lld %lld", &n, &size) != 2 || size < 0 || size > 0x7FFFFFFF) {
      code = fail(NMAIL_ERR_PROTOCOL,
                  "POP3 サーバー " + s.where + " の LIST の答えが読めません: " + serverText(a.status));
      return -1;
    }
    s.sizes[no] = size;
  }
  long long size = s.sizes[no];
  // A mail that has come counts as long as it came, whatever LIST claimed;
  // one whose body did not fit counts as long as its body.
  const Key retr{Kind::Retr, no};
  auto arrived = s.answers.find(retr);
  if (arrived != s.answers.end() && arrived->second.ok && !arrived->second.tooLarge)
    size = static_cast<long long>(arrived->second.text.size());
  auto need = s.needs.find(no);
  if (need != s.needs.end()) size = need->second;
  return std::min<long long>(size, 0x7FFFFFFF);
}

// Whether the server's CAPA lists PIPELINING (false when CAPA is refused).
bool offersPipelining(Pop3Session& s, std::string& error, bool& io) {
  std::string reply;
  io = false;
  Reply r = pop3Command(s, "CAPA", reply, error);
  if (r == Reply::Io) {
    io = true;
    return false;
  }
  if (r != Reply::Ok) return false;
  std::string list;
  if (!s.conn.readDotBody(list, error, 1 << 20)) {
    io = true;
    return false;
  }
  std::size_t at = 0;
  while (at < list.size()) {
    std::size_t eol = list.find("\r\n", at);
    if (eol == std::string::npos) eol = list.size();
    std::string line = list.substr(at, eol - at);
    for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (line == "PIPELINING" || line.rfind("PIPELINING ", 0) == 0) return true;
    at = eol + 2;
  }
  return false;
}

}  // namespace

namespace nmail::lib {

void endPop3Sessions() {
  if (gDepth > 0) {
    for (auto& s : gSessions)
      if (s) {
        s->conn.close();
        if (s->brokenBy.empty()) s->brokenBy = "メールライブラリが終了しました";
        gRetired.push_back(std::move(s));
      }
  }
  gSessions.clear();
}

void clearRetiredPop3() { gRetired.clear(); }

}  // namespace nmail::lib

int NMailPop3Connect(const char* server) {
  InCall call;
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
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  std::string u = fromCp932(user), p = fromCp932(password);
  if (hasLineBreak(u) || hasLineBreak(p))
    return fail(NMAIL_ERR_ARGUMENT, "ユーザー ID とパスワードに改行は使えません");
  std::string reply, error;
  if (apop && s->timestamp.empty())
    return fail(NMAIL_ERR_AUTH, "POP3 サーバー " + s->where +
                                    " は APOP に対応していません（挨拶にタイムスタンプがありません）");
  // What the server offers, asked first: with pipelining the login and the
  // count then go out in one go. A server without CAPA talks one command
  // at a time.
  bool io = false;
  s->pipelining = offersPipelining(*s, error, io);
  if (io) return fail(NMAIL_ERR_IO, "POP3 サーバー " + s->where + ": " + error);
  std::vector<std::string> cmds;
  if (apop) {
    std::string seed = s->timestamp + p;
    gchar* digest = g_compute_checksum_for_string(G_CHECKSUM_MD5, seed.data(), seed.size());
    cmds.push_back("APOP " + u + " " + digest);
    g_free(digest);
  } else {
    cmds.push_back("USER " + u);
    cmds.push_back("PASS " + p);
  }
  cmds.push_back("STAT");
  // The answers, in order; without pipelining the first refusal ends the
  // login. With pipelining every answer of the batch is read, so that none
  // is left on its way.
  std::vector<std::string> replies;
  if (s->pipelining) {
    std::string all;
    for (const std::string& c : cmds) all += c + "\r\n";
    // The listings and the first header, asked for behind the login: their
    // answers are read when a later call needs them (refusals, should the
    // login fail, are read and dropped with the session).
    std::vector<Key> behind;
    if (gListsWithLogin && s->inFlight.empty() && s->uidlState == 0 && !s->listAsked && !s->headersBegun) {
      behind = {{Kind::Uidl, 0}, {Kind::List, 0}, {Kind::Top, 1}};
      for (const Key& k : behind) all += commandText(k) + "\r\n";
    }
    if (!s->conn.writeAll(all, error)) return fail(NMAIL_ERR_IO, "POP3 サーバー " + s->where + ": " + error);
    for (std::size_t i = 0; i < cmds.size(); ++i) {
      s->conn.newAnswer();
      if (!s->conn.readLine(reply, error)) {
        // A server may hang up after a refused login: the refusal counts.
        for (const std::string& r : replies)
          if (r.rfind("+OK", 0) != 0) error.clear();
        if (!error.empty()) return fail(NMAIL_ERR_IO, "POP3 サーバー " + s->where + ": " + error);
        break;
      }
      replies.push_back(reply);
    }
    if (!behind.empty() && replies.size() == cmds.size()) {
      for (const Key& k : behind) {
        s->inFlight.push_back(k);
        s->asked.insert(k);
      }
      s->listAsked = true;
      s->headersBegun = true;
    }
  } else {
    for (const std::string& c : cmds) {
      Reply r = pop3Command(*s, c, reply, error);
      if (r == Reply::Io) return fail(NMAIL_ERR_IO, error);
      replies.push_back(reply);
      if (r != Reply::Ok) break;
    }
  }
  for (std::size_t i = 0; i < replies.size(); ++i) {
    if (replies[i].rfind("+OK", 0) == 0) continue;
    const std::string v = verb(cmds[i]);
    if (v == "APOP") return fail(NMAIL_ERR_AUTH, "ログインできません（APOP）: " + serverText(replies[i]));
    if (v == "USER") return fail(NMAIL_ERR_AUTH, "ログインできません（USER）: " + serverText(replies[i]));
    if (v == "PASS") return fail(NMAIL_ERR_AUTH, "ログインできません: " + serverText(replies[i]));
    return replyFailure(*s, Reply::Err, "STAT", replies[i], error);
  }
  reply = replies.back();
  long long n = -1, octets = 0;
  if (std::sscanf(reply.c_str() + 3, "%lld %lld", &n, &octets) < 1 || n < 0 || n > 0x7FFFFFFF)
    return fail(NMAIL_ERR_PROTOCOL, "POP3 サーバー " + s->where + " の STAT の答えが読めません: " + serverText(reply));
  s->count = n;
  return static_cast<int>(n);
}

int NMailPop3GetMailStatus(int handle, int no, char* subject, char* date, char* from, char* header,
                           int /*flags*/) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  const Key k{Kind::Top, no};
  // With a pipelining server the headers of the mails after this one (and
  // the sizes) are asked for in the same go.
  // The first header goes alone: the retrieval of that mail then goes out
  // ahead of the later headers, and a later header that never ends cannot
  // keep it from coming.
  std::vector<Key> ahead;
  if (s->pipelining && !s->answers.count(k) && !s->asked.count(k)) {
    if (!s->listAsked) {
      s->listAsked = true;
      ahead.push_back({Kind::List, 0});
    }
    const bool first = !s->headersBegun;
    s->headersBegun = true;
    for (long long j = no + 1; !first && j <= s->count && j < static_cast<long long>(no) + kTopBatch; ++j) {
      const Key t{Kind::Top, static_cast<int>(j)};
      if (!s->answers.count(t) && !s->asked.count(t)) ahead.push_back(t);
    }
  }
  s->headersBegun = true;
  if (!answerOf(*s, k, ahead)) return brokenFailure(*s);
  const Answer& a = s->answers[k];
  if (!a.ok) {
    int code = replyFailure(*s, Reply::Err, commandText(k), a.status, std::string());
    s->answers.erase(k);
    return code;
  }
  if (a.tooLarge) {
    s->answers.erase(k);
    return fail(NMAIL_ERR_TOO_LARGE, "メール " + std::to_string(no) + " のヘッダーが大きすぎます（" +
                                         sizeText(gMaxHeader) + " を超えています）");
  }
  // Kept until the mail is fetched or deleted: asking again costs nothing.
  Answer& kept = s->answers[k];
  if (!kept.fields || kept.fieldsCap != bufferCap()) {
    std::string_view head, body;
    nmail::mime::split(kept.text, head, body);
    kept.fields = nmail::mime::decodeFields(head, bufferCap());
    kept.fieldsCap = bufferCap();
  }
  fillFields(*kept.fields, subject, date, from, header);
  return NMAIL_SUCCESS;
}

int NMailPop3GetMailSize(int handle, int no) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  int code = 0;
  long long size = listSize(*s, no, code);
  if (size < 0) return code;
  s->sizeGiven[no] = size;
  return static_cast<int>(size);
}

int NMailPop3GetMail(int handle, int no, char* subject, char* date, char* from, char* header,
                     char* body, int flags, int reserved) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  const bool sized = (flags & NMAIL_FETCH_BUFFER_SIZE) != 0;
  const bool head = sized && (flags & NMAIL_FETCH_TEXT_HEAD) != 0;
  if (sized && reserved < 1) return fail(NMAIL_ERR_ARGUMENT, "本文のバッファの大きさが正しくありません");
  int code = 0;
  long long size = listSize(*s, no, code);
  if (size < 0) {
    s->failedFetch.insert(no);
    return code;
  }
  // The caller's body buffer holds what it says, or the size it was last
  // given, + 1.
  auto given = s->sizeGiven.find(no);
  const long long room = sized ? static_cast<long long>(reserved) - 1
                               : given != s->sizeGiven.end() ? given->second : s->sizes[no];
  const Key k{Kind::Retr, no};
  std::erase(s->wanted, no);
  if (!answerOf(*s, k)) {
    s->failedFetch.insert(no);
    return fail(NMAIL_ERR_IO, "メール " + std::to_string(no) + " を最後まで受け取れませんでした: " + s->brokenBy);
  }
  // The mail is here whole; a conversation that broke meanwhile shows at
  // the next call.
  (void)pump(*s);
  const Answer& a = s->answers[k];
  if (!a.ok) {
    s->failedFetch.insert(no);
    code = replyFailure(*s, Reply::Err, commandText(k), a.status, std::string());
    s->answers.erase(k);
    return code;
  }
  if (a.tooLarge) {
    s->failedFetch.insert(no);
    const long long claimed = a.claimed;
    s->answers.erase(k);
    if (claimed >= 0)
      return fail(NMAIL_ERR_TOO_LARGE, "メール " + std::to_string(no) + " はサーバーが示した大きさ（" +
                                           sizeText(static_cast<std::size_t>(claimed)) +
                                           "）をはるかに超えているため受け取れません");
    return fail(NMAIL_ERR_TOO_LARGE, "メール " + std::to_string(no) + " は大きすぎるため受け取れません（" +
                                         sizeText(gMaxMail) + " を超えています）");
  }
  s->failedFetch.erase(no);
  // The whole mail, read to its terminating line whatever LIST said (a
  // server that sends bare LF line ends sends more than it counted).
  const std::size_t cap = static_cast<std::size_t>(std::max<long long>(size, static_cast<long long>(a.text.size()))) + 1;
  // The header as TOP brought it for the spam test is decoded already.
  nmail::mime::KnownFields known;
  auto top = s->answers.find({Kind::Top, no});
  if (top != s->answers.end() && top->second.fields) {
    std::string_view topBody;
    nmail::mime::split(top->second.text, known.header, topBody);
    known.fields = &*top->second.fields;
    known.headerCap = top->second.fieldsCap;
  }
  auto fetched = nmail::mime::decodeFetched(a.text, bufferCap(), head ? static_cast<std::size_t>(room) + 1 : cap,
                                            false, head, known);
  if (static_cast<long long>(fetched.body.size()) > room) {
    // Kept for the next call, which NMailPop3GetMailSize now sizes.
    s->needs[no] = static_cast<long long>(fetched.body.size());
    return fail(NMAIL_ERR_BUFFER, "メール " + std::to_string(no) + " は本文のバッファに入りません（" +
                                      std::to_string(fetched.body.size()) + " バイト）");
  }
  fillFields(fetched.fields, subject, date, from, header);
  nmail::text::copyOut(body, static_cast<std::size_t>(room) + 1, fetched.body);
  // The mail as it came, for the attachment step: its bytes change hands,
  // they are not copied.
  nmail::mime::rememberFetched(fetched, std::move(s->answers[k].text));
  s->answers.erase(k);
  s->answers.erase({Kind::Top, no});
  s->needs.erase(no);
  return fetched.cut ? NMAIL_CUT : NMAIL_SUCCESS;
}

int NMailPop3FetchAhead(int handle, int no) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  if (!s->pipelining) return 0;
  s->wanted.push_back(no);
  return pump(*s) ? NMAIL_SUCCESS : brokenFailure(*s);
}

namespace nmail::limits {
std::size_t maxMail() { return gMaxMail; }
std::size_t maxHeader() { return gMaxHeader; }
void setForTests(std::size_t mail, std::size_t header) {
  if (mail > 0) gMaxMail = mail;
  if (header > 0) gMaxHeader = header;
}
}  // namespace nmail::limits

int NMailPop3CanPipeline(int handle) {
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  return s->pipelining ? 1 : 0;
}

int NMailPop3GetUidl(int handle, int no, char* id, int size) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  if (!id || size < 1) return fail(NMAIL_ERR_ARGUMENT, "UIDL のバッファが正しくありません");
  const Key k{Kind::Uidl, 0};
  if (s->uidlState == 0) {
    // With pipelining the sizes come in the same go.
    std::vector<Key> also;
    if (s->pipelining && !s->listAsked) {
      s->listAsked = true;
      also.push_back({Kind::List, 0});
    }
    if (!answerOf(*s, k, also)) return brokenFailure(*s);
    Answer a = std::move(s->answers[k]);
    s->answers.erase(k);
    if (a.ok && !a.tooLarge) {
      s->uidlState = 1;
      takeUids(*s, a.text);
    } else {
      s->uidlState = -1;
      s->uidlRefusal = a.ok ? std::string("一覧が大きすぎます") : serverText(a.status);
    }
  }
  if (s->uidlState < 0)
    return fail(NMAIL_ERR_PROTOCOL, "POP3 サーバー " + s->where + " が UIDL を断りました: " + s->uidlRefusal);
  auto it = s->uids.find(no);
  if (it == s->uids.end())
    return fail(NMAIL_ERR_ARGUMENT, "POP3 サーバー " + s->where + " の UIDL にメール " + std::to_string(no) + " がありません");
  if (it->second.size() + 1 > static_cast<std::size_t>(size))
    return fail(NMAIL_ERR_BUFFER, "UIDL のバッファが小さすぎます");
  std::memcpy(id, it->second.c_str(), it->second.size() + 1);
  return static_cast<int>(it->second.size());
}

int NMailPop3GetBrokenMail(int handle) {
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  return s->brokenBy.empty() ? 0 : s->brokenMail;
}

namespace {

// Sends DELE no (the answer is read later); false when the mail may not be
// deleted or the conversation broke (the failure is set).
bool sendDelete(Pop3Session& s, int no, int& code) {
  if (s.failedFetch.count(no)) {
    code = fail(NMAIL_ERR_ARGUMENT,
                "メール " + std::to_string(no) + " は受け取れなかったので、サーバーから削除しません");
    return false;
  }
  const Key k{Kind::Dele, no};
  s.answers.erase(k);
  s.answers.erase({Kind::Top, no});
  s.answers.erase({Kind::Retr, no});
  std::erase(s.wanted, no);
  // With pipelining the deletion goes with the next commands (its answer
  // is needed only at the end).
  if (!sendCommands(s, {k}, s.pipelining)) {
    code = brokenFailure(s);
    return false;
  }
  return true;
}

int deleteResult(Pop3Session& s, int no) {
  const Key k{Kind::Dele, no};
  if (!s.answers.count(k) && !s.asked.count(k)) {
    // Its answer was lost with the conversation.
    if (!s.brokenBy.empty()) return brokenFailure(s);
    return fail(NMAIL_ERR_ARGUMENT, "メール " + std::to_string(no) + " の削除は頼まれていません");
  }
  if (!await(s, k)) return brokenFailure(s);
  const Answer& a = s.answers[k];
  if (!a.ok) return replyFailure(s, Reply::Err, commandText(k), a.status, std::string());
  return NMAIL_SUCCESS;
}

}  // namespace

int NMailPop3DeleteMail(int handle, int no) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  int code = 0;
  if (!sendDelete(*s, no, code)) return code;
  code = deleteResult(*s, no);
  s->answers.erase({Kind::Dele, no});
  return code;
}

int NMailPop3DeleteAhead(int handle, int no) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  int code = 0;
  if (!sendDelete(*s, no, code)) return code;
  // Without pipelining the answer is read at once (and kept).
  if (!s->pipelining && !await(*s, {Kind::Dele, no})) return brokenFailure(*s);
  return NMAIL_SUCCESS;
}

int NMailPop3GetDeleteResult(int handle, int no) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  if (!validNumber(no)) return NMAIL_ERR_ARGUMENT;
  return deleteResult(*s, no);
}

int NMailPop3SendQuit(int handle) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  const Key quit{Kind::Quit, 0};
  if (s->asked.count(quit) || s->answers.count(quit)) return NMAIL_SUCCESS;
  if (!s->brokenBy.empty() || !s->conn.isOpen()) return brokenFailure(*s);
  // Without pipelining the answers on their way come first.
  if (!s->pipelining) {
    while (!s->inFlight.empty())
      if (!readNext(*s)) return brokenFailure(*s);
  }
  s->wanted.clear();
  return sendCommands(*s, {quit}) ? NMAIL_SUCCESS : brokenFailure(*s);
}

int NMailPop3Close(int handle) {
  InCall call;
  Pop3Session* s = session(handle);
  if (!s) return NMAIL_ERR_ARGUMENT;
  int result = NMAIL_SUCCESS;
  const Key quit{Kind::Quit, 0};
  // With pipelining QUIT goes out behind what is on its way; every answer
  // is read, QUIT's last.
  if (s->pipelining && s->brokenBy.empty() && s->conn.isOpen() && !s->asked.count(quit) && !s->answers.count(quit)) {
    s->wanted.clear();
    (void)sendCommands(*s, {quit});
  }
  const bool quitSent = s->asked.count(quit) > 0;
  while (!s->inFlight.empty() && readNext(*s)) {
  }
  auto quitAnswer = s->answers.find(quit);
  if (quitAnswer != s->answers.end()) {
    if (!quitAnswer->second.ok) result = replyFailure(*s, Reply::Err, "QUIT", quitAnswer->second.status, std::string());
  } else if (s->brokenBy.empty() && s->conn.isOpen()) {
    std::string reply, error;
    Reply r = pop3Command(*s, "QUIT", reply, error);
    if (r != Reply::Ok) result = replyFailure(*s, r, "QUIT", reply, error);
  } else if (quitSent) {
    result = fail(NMAIL_ERR_IO, "POP3 サーバー " + s->where + " が QUIT に答えないまま接続が切れました: " + s->brokenBy);
  } else {
    result = fail(NMAIL_ERR_IO, "POP3 サーバー " + s->where +
                                    " との接続が途中で切れたため、削除はサーバーに伝わっていません");
  }
  // (The library may have been ended meanwhile.)
  if (handle < static_cast<int>(gSessions.size()) && gSessions[handle].get() == s) gSessions[handle].reset();
  return result;
}
