// The network under the POP3 and SMTP clients: a server name split into host
// and port, a connection with its time-outs, buffered reads of lines and
// writes, and the caller's hook that gives the window its turns while the
// library waits. What is said over a connection is the clients' own.

#include "net.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <algorithm>
#include <new>

namespace nmail::net {
namespace {

using Clock = std::chrono::steady_clock;

std::string timeoutText(int ms) {
  return "応答がありません（" + std::to_string((ms + 999) / 1000) + " 秒で時間切れ）";
}

std::string slowText() { return "サーバーの応答が遅すぎるため、打ち切りました（時間切れ）"; }

YieldHook g_hook = nullptr;
void* g_hookContext = nullptr;
Clock::time_point g_lastYield{};

long long msSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Gives the hook its turn; returns how long it took.
long long runHook() {
  const auto t0 = Clock::now();
  g_hook(g_hookContext);
  g_lastYield = Clock::now();
  return std::chrono::duration_cast<std::chrono::milliseconds>(g_lastYield - t0).count();
}

}  // namespace

void setYieldHook(YieldHook hook, void* context) {
  g_hook = hook;
  g_hookContext = context;
  g_lastYield = Clock::now();
}

void yieldIfDue() {
  if (g_hook && msSince(g_lastYield) >= kYieldEveryMs) runHook();
}

int waitFd(int fd, short events, int ms, long long& waitedMs) {
  waitedMs = 0;
  auto start = Clock::now();
  long long inHook = 0;
  for (;;) {
    const long long left = ms - (msSince(start) - inHook);
    if (left <= 0) {
      waitedMs = ms;
      return 0;
    }
    if (g_hook && msSince(g_lastYield) >= kYieldEveryMs) inHook += runHook();
    int slice = static_cast<int>(left);
    if (g_hook) slice = std::min(slice, kYieldEveryMs);
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, slice);
    if (r < 0 && errno == EINTR) continue;
    if (r != 0) {
      waitedMs = std::max(0LL, msSince(start) - inHook);
      return r;
    }
  }
}

bool splitServer(std::string_view s, int defaultPort, std::string& host, int& port) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  port = defaultPort;
  std::string_view portText;
  if (!s.empty() && s.front() == '[') {
    auto close = s.find(']');
    if (close == std::string_view::npos) return false;
    host = std::string(s.substr(1, close - 1));
    std::string_view rest = s.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      portText = rest.substr(1);
      if (portText.empty()) return false;
    }
  } else {
    auto colon = s.find(':');
    if (colon != std::string_view::npos && s.find(':', colon + 1) == std::string_view::npos) {
      host = std::string(s.substr(0, colon));
      portText = s.substr(colon + 1);
      if (portText.empty()) return false;
    } else {
      host = std::string(s);  // no port, or a bare IPv6 address
    }
  }
  if (host.empty()) return false;
  for (char c : host)
    if (static_cast<unsigned char>(c) <= 0x20 || c == '/' || c == 0x7F) return false;
  if (!portText.empty()) {
    if (portText.size() > 5) return false;
    int p = 0;
    for (char c : portText) {
      if (c < '0' || c > '9') return false;
      p = p * 10 + (c - '0');
    }
    if (p < 1 || p > 65535) return false;
    port = p;
  }
  return true;
}

Connection::~Connection() { close(); }

void Connection::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buf_.clear();
  queued_.clear();
  pos_ = 0;
  answerWaitMs_ = answerBytes_ = sessionWaitMs_ = sessionBytes_ = answers_ = 0;
}

bool Connection::open(const std::string& host, int port, int timeoutMs, std::string& error) {
  close();
  timeoutMs_ = timeoutMs;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  // An address written as numbers needs no resolver (nor its look at the
  // machine's interfaces, which AI_ADDRCONFIG asks for).
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    hints.ai_flags = AI_ADDRCONFIG;
    rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  }
  if (rc != 0) {
    hints.ai_flags = 0;
    rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  }
  if (rc != 0) {
    error = "サーバー名が見つかりません: " + std::string(gai_strerror(rc));
    return false;
  }
  // The time the server may keep the connect waiting, over every address.
  long long budget = timeoutMs;
  error = "接続できません";
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) {
      error = std::string("接続できません: ") + std::strerror(errno);
      continue;
    }
    int r = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (r != 0 && errno == EINPROGRESS) {
      long long waited = 0;
      const int n = budget > 0 ? waitFd(fd, POLLOUT, static_cast<int>(budget), waited) : 0;
      budget -= waited;
      if (n == 0) {
        ::close(fd);
        error = "接続できません: " + timeoutText(timeoutMs);
        break;
      }
      int soErr = 0;
      socklen_t len = sizeof soErr;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len);
      r = soErr == 0 ? 0 : -1;
      errno = soErr;
    }
    if (r != 0) {
      error = std::string("接続できません: ") + std::strerror(errno);
      ::close(fd);
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = fd;
    break;
  }
  freeaddrinfo(list);
  return fd_ >= 0;
}

void Connection::newAnswer() {
  answerWaitMs_ = 0;
  answerBytes_ = 0;
  ++answers_;
}

bool Connection::await(short events, std::string& error, const char* what) {
  for (;;) {
    if (fd_ < 0) {
      error = "接続が切れています";
      return false;
    }
    const long long answerLeft = timeoutMs_ + answerBytes_ * 1000 / kMinRate - answerWaitMs_;
    const long long perAnswer = std::min<long long>(kPerAnswerMs, timeoutMs_ / 4);
    const long long sessionLeft =
        timeoutMs_ + answers_ * perAnswer + sessionBytes_ * 1000 / kMinRate - sessionWaitMs_;
    const long long left = std::min(answerLeft, sessionLeft);
    if (left <= 0) {
      // Nothing at all within the timeout, or too little over too long.
      error = what + (answerBytes_ == 0 && answerLeft <= sessionLeft ? timeoutText(timeoutMs_) : slowText());
      close();
      return false;
    }
    long long waited = 0;
    const int r = waitFd(fd_, events, static_cast<int>(std::min<long long>(left, 1 << 30)), waited);
    answerWaitMs_ += waited;
    sessionWaitMs_ += waited;
    // The hook may have ended the connection (the library was shut down).
    if (fd_ < 0) continue;
    if (r > 0) return true;
    if (r < 0) {
      error = std::string(what) + std::strerror(errno);
      close();
      return false;
    }
  }
}

bool Connection::writeAll(std::string_view data, std::string& error) {
  if (fd_ < 0) {
    error = "接続が切れています";
    return false;
  }
  // The server's reading of what is sent is waited for as an answer.
  answerWaitMs_ = 0;
  answerBytes_ = 0;
  yieldIfDue();
  bool ok;
  if (queued_.empty()) {
    ok = sendRaw(data, error);
  } else {
    std::string all;
    all.swap(queued_);
    all.append(data);
    ok = sendRaw(all, error);
  }
  if (!ok) return false;
  // What comes back next is the answer to it.
  newAnswer();
  return true;
}

bool Connection::sendRaw(std::string_view data, std::string& error) {
  while (!data.empty()) {
    if (fd_ < 0) {
      error = "接続が切れています";
      return false;
    }
    ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      answerBytes_ += n;
      sessionBytes_ += n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!await(POLLOUT, error, "送れません: ")) return false;
      continue;
    }
    error = std::string("送れません: ") + std::strerror(errno);
    close();
    return false;
  }
  return true;
}

bool Connection::fill(std::string& error) {
  if (fd_ < 0) {
    error = "接続が切れています";
    return false;
  }
  if (pos_ > 0 && pos_ >= buf_.size() / 2) {
    buf_.erase(0, pos_);
    pos_ = 0;
  }
  yieldIfDue();
  if (fd_ < 0) {
    error = "接続が切れています";
    return false;
  }
  // What waits to go out goes before more is read: the server works on it
  // while the answers read here are taken. (One write for every commands
  // queued since the last read.)
  if (!queued_.empty()) {
    std::string q;
    q.swap(queued_);
    if (!sendRaw(q, error)) return false;
  }
  char chunk[65536];
  while (true) {
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n > 0) {
      buf_.append(chunk, static_cast<std::size_t>(n));
      answerBytes_ += n;
      sessionBytes_ += n;
      return true;
    }
    if (n == 0) {
      error = "サーバーが接続を切りました";
      close();
      return false;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // Nothing to read yet: what waits to go out goes now.
      if (!queued_.empty()) {
        std::string q;
        q.swap(queued_);
        if (!sendRaw(q, error)) return false;
        continue;
      }
      if (!await(POLLIN, error, "")) return false;
      continue;
    }
    error = std::string("受け取れません: ") + std::strerror(errno);
    close();
    return false;
  }
}

bool Connection::readLine(std::string& line, std::string& error, std::size_t maxLine) {
  std::size_t scanned = pos_;
  while (true) {
    const char* start = buf_.data() + scanned;
    const void* lf = std::memchr(start, '\n', buf_.size() - scanned);
    if (lf) {
      std::size_t end = static_cast<const char*>(lf) - buf_.data();
      std::size_t stop = end;
      if (stop > pos_ && buf_[stop - 1] == '\r') --stop;
      line.assign(buf_, pos_, stop - pos_);
      pos_ = end + 1;
      return true;
    }
    if (buf_.size() - pos_ > maxLine) {
      error = "サーバーの応答の行が長すぎます";
      close();
      return false;
    }
    std::size_t scannedRel = buf_.size() - pos_;
    if (!fill(error)) return false;
    // fill() may have moved the data to the front of the buffer.
    scanned = pos_ + scannedRel;
  }
}

bool Connection::readDotBody(std::string& out, std::string& error, std::size_t maxBytes, bool* tooLarge,
                             std::size_t drainBytes, std::size_t reserve) {
  out.clear();
  if (tooLarge) *tooLarge = false;
  // Room for the whole answer at once when its size is known: growing the
  // text step by step would hold two copies of it at every step.
  if (reserve > 0) {
    try {
      out.reserve(std::min(reserve, maxBytes) + 2);
    } catch (const std::bad_alloc&) {
      // No such room to be had: the text grows as the answer comes.
    }
  }
  // The answer is taken from the connection's buffer as it comes, a line
  // or a piece of a line at a time: a long line (some mailers send base64
  // without line breaks, or a whole text in one line) is never held but
  // in out, and costs no more per byte than many short ones.
  bool keeping = true;       // false: past maxBytes, read past and thrown away
  bool lineStart = true;     // at the beginning of a line
  std::size_t drained = 0;   // bytes thrown away
  auto tooMuch = [&] {
    if (!tooLarge) {
      error = "メールが大きすぎます";
      close();
      return true;
    }
    std::string().swap(out);
    keeping = false;
    return false;
  };
  for (;;) {
    if (pos_ >= buf_.size()) {
      if (!fill(error)) return false;
      continue;
    }
    if (lineStart && buf_[pos_] == '.') {
      // The end (a lone dot) or a dot put in front of a line that begins
      // with one: the bytes after it tell.
      if (buf_.size() - pos_ < 2 || (buf_[pos_ + 1] == '\r' && buf_.size() - pos_ < 3)) {
        if (!fill(error)) return false;
        continue;
      }
      if (buf_[pos_ + 1] == '\n' || (buf_[pos_ + 1] == '\r' && buf_[pos_ + 2] == '\n')) {
        pos_ += buf_[pos_ + 1] == '\n' ? 2 : 3;
        if (keeping) return true;
        *tooLarge = true;
        error = "メールが大きすぎます";
        return false;
      }
      ++pos_;
      lineStart = false;  // (a dot after it is the line's own)
    }
    const char* begin = buf_.data() + pos_;
    const std::size_t avail = buf_.size() - pos_;
    const void* lf = std::memchr(begin, '\n', avail);
    std::size_t take = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) : avail;
    // A CR at the end of what is here may be the first half of a line end.
    std::size_t text = take;
    if (text > 0 && begin[text - 1] == '\r') {
      --text;
      if (!lf) --take;  // (kept here until what follows it comes)
    }
    if (keeping) {
      out.append(begin, text);
      if (lf) out += "\r\n";
      if (out.size() > maxBytes && tooMuch()) return false;
    } else {
      drained += text + (lf ? 2 : 0);
      if (drained > drainBytes) {
        error = "応答が終わりません";
        close();
        return false;
      }
    }
    if (lf) {
      pos_ += take + 1;
      lineStart = true;
    } else if (take > 0) {
      pos_ += take;
      lineStart = false;
    } else {
      // Only a CR is here: its line end (or what follows it) is still to come.
      if (!fill(error)) return false;
    }
  }
}

}  // namespace nmail::net
