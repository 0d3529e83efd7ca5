#pragma once
// A blocking TCP connection with deadlines on connecting, on every answer
// and on the whole connection, that hands the caller's event queue a turn
// while it waits.
//
// Deadlines count the time spent waiting on the network, never the time
// the yield hook takes. A connection may wait:
//   - for one answer (since newAnswer(), or the last write): the timeout,
//     plus a second for every kMinRate bytes that came within it;
//   - over its whole life: the timeout, plus kPerAnswerMs (at most a
//     quarter of the timeout) for every answer and write, plus a second for
//     every kMinRate bytes moved either way.
// So a server that sends a byte now and then cannot stretch an answer past
// the timeout, nor a session of slow answers far past what its work needs,
// while a mail that streams in at a real link's pace is never cut.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nmail::net {

// Bytes a second below which a stream no longer earns more time.
constexpr long long kMinRate = 2048;
// What every answer adds to the whole connection's allowance: a second, or
// a quarter of a shorter timeout.
constexpr long long kPerAnswerMs = 1000;
// Longest stretch between two turns of the yield hook while the library
// waits or works on the network.
constexpr int kYieldEveryMs = 10;

// Called while the library waits (connecting, reading, writing), at least
// every kYieldEveryMs: the caller runs its event queue there. The hook may
// call back into the library for other connections; null: none.
using YieldHook = void (*)(void* context);
void setYieldHook(YieldHook hook, void* context);
// Runs the hook when its turn is due (a long run of work that does not wait).
void yieldIfDue();
// Waits until fd is ready for events or ms milliseconds passed, giving the
// hook its turns meanwhile; the result as poll's, the time spent in the hook
// left out of waitedMs.
int waitFd(int fd, short events, int ms, long long& waitedMs);

// "host", "host:port", "[v6]:port" or a bare IPv6 address. False when the
// port is not a number from 1 to 65535 or the host is empty.
bool splitServer(std::string_view server, int defaultPort, std::string& host, int& port);

class Connection {
 public:
  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // On failure error holds the reason (UTF-8 text of the system).
  bool open(const std::string& host, int port, int timeoutMs, std::string& error);
  void close();
  bool isOpen() const { return fd_ >= 0; }

  bool writeAll(std::string_view data, std::string& error);
  // Keeps data to go out with the next write, or before the connection
  // next reads (commands whose answers are not needed at once go in one
  // piece with the next ones).
  void queue(std::string_view data) { queued_ += data; }
  // One line without its line end (CR LF or LF). False on timeout, on a
  // closed connection, or on a line longer than maxLine.
  bool readLine(std::string& line, std::string& error, std::size_t maxLine = 1 << 20);
  // Lines of a POP3 multi-line answer until the lone ".", dot-stuffing
  // undone, each line ended by CR LF in out. False as readLine, or when the
  // answer grows past maxBytes. With tooLarge, an answer past maxBytes is
  // read on to its end and thrown away (out empty), so that the
  // conversation can go on: false with *tooLarge set; an answer that has
  // not ended after drainBytes more is taken for endless and the connection
  // closed (*tooLarge not set). reserve: the room out is given at first (the
  // size the answer is expected to have, at most maxBytes).
  bool readDotBody(std::string& out, std::string& error, std::size_t maxBytes, bool* tooLarge = nullptr,
                   std::size_t drainBytes = 0, std::size_t reserve = 0);

  int timeoutMs() const { return timeoutMs_; }

  // The wait for the next answer begins: its deadline starts again.
  void newAnswer();

 private:
  bool fill(std::string& error);  // reads more into buf_
  bool sendRaw(std::string_view data, std::string& error);
  std::string queued_;
  // Waits until the socket is ready for events within the deadlines; false
  // (error set, connection closed) when one passed or the connection went.
  bool await(short events, std::string& error, const char* what);
  int fd_ = -1;
  int timeoutMs_ = 30000;
  std::string buf_;
  std::size_t pos_ = 0;
  // The deadlines' accounts (see the top of this file).
  long long answerWaitMs_ = 0, answerBytes_ = 0;
  long long sessionWaitMs_ = 0, sessionBytes_ = 0, answers_ = 0;
};

}  // namespace nmail::net
