#pragma once
// A blocking TCP connection with a timeout on connecting and on every read
// and write.
#include <cstddef>
#include <string>
#include <string_view>

namespace nmail::net {

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

 private:
  bool fill(std::string& error);  // reads more into buf_
  int fd_ = -1;
  int timeoutMs_ = 30000;
  std::string buf_;
  std::size_t pos_ = 0;
};

}  // namespace nmail::net
