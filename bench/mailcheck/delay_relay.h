#pragma once
// A relay on loopback in front of a test mail server (POP3 unless told
// otherwise) that holds every piece of data a fixed time each way: a slow
// link for the benchmarks of the check and of the send.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <thread>

#include "nmail/tests/servers/servers.h"

namespace checkbench {

using RelayClock = std::chrono::steady_clock;

// A TCP relay on a free loopback port to the test server on serverPort that
// holds each piece of data delayMs before passing it on, one connection at a
// time. With lastWordsToo, the server's answers after the client has closed
// (a POP3 server's to QUIT) still pass; without, the connection ends there.
class DelayRelay {
 public:
  explicit DelayRelay(int delayMs, int serverPort = testservers::kPop3Port, bool lastWordsToo = true)
      : delay_(delayMs), serverPort_(serverPort), lastWordsToo_(lastWordsToo) {
    listen_ = testservers::listenOnLoopback(8, port_);
    thread_ = std::thread([this] { run(); });
  }
  ~DelayRelay() {
    stop_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    thread_.join();
    ::close(listen_);
  }
  int port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  void resetCounts() {
    roundTrips_ = 0;
    sends_ = 0;
  }
  long roundTrips() const { return roundTrips_; }
  long sends() const { return sends_; }

 private:
  struct Piece {
    RelayClock::time_point due;
    std::string data;
  };

  int connectServer() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(serverPort_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  void run() {
    while (!stop_) {
      const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;
      const int server = connectServer();
      if (server >= 0) relay(client, server);
      ::close(client);
      if (server >= 0) ::close(server);
    }
  }

  // Passes data both ways, each piece delay_ milliseconds late, until both
  // sides are done.
  void relay(int client, int server) {
    int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::deque<Piece> toServer, toClient;
    bool clientOpen = true, serverOpen = true, serverShut = false;
    char buf[65536];
    for (;;) {
      const auto now = RelayClock::now();
      // Deliver what is due.
      auto deliver = [&](std::deque<Piece>& q, int fd) {
        while (!q.empty() && q.front().due <= now) {
          if (::send(fd, q.front().data.data(), q.front().data.size(), MSG_NOSIGNAL) < 0) return false;
          q.pop_front();
        }
        return true;
      };
      if (!deliver(toServer, server) || !deliver(toClient, client)) return;
      if (!clientOpen && toServer.empty() && !lastWordsToo_) return;
      // The client's end reaches the server after its last data.
      if (!clientOpen && toServer.empty() && !serverShut) {
        ::shutdown(server, SHUT_WR);
        serverShut = true;
      }
      if (!serverOpen && toClient.empty()) return;
      auto wait = std::chrono::nanoseconds(std::chrono::seconds(1));
      for (const auto* q : {&toServer, &toClient})
        if (!q->empty()) wait = std::min(wait, std::chrono::nanoseconds(q->front().due - now));
      wait = std::max(wait, std::chrono::nanoseconds(0));
      const timespec ts{static_cast<time_t>(wait.count() / 1000000000), static_cast<long>(wait.count() % 1000000000)};
      pollfd p[2] = {{client, static_cast<short>(clientOpen ? POLLIN : 0), 0},
                     {server, static_cast<short>(serverOpen ? POLLIN : 0), 0}};
      if (::ppoll(p, 2, &ts, nullptr) < 0) return;
      const auto at = RelayClock::now() + std::chrono::milliseconds(delay_);
      if (clientOpen && (p[0].revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = ::recv(client, buf, sizeof buf, 0);
        if (n <= 0) {
          clientOpen = false;
        } else {
          ++sends_;
          // Nothing on its way either way: the link waited for the client.
          if (toServer.empty() && toClient.empty()) ++roundTrips_;
          toServer.push_back({at, std::string(buf, static_cast<std::size_t>(n))});
        }
      }
      if (serverOpen && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = ::recv(server, buf, sizeof buf, 0);
        if (n <= 0) serverOpen = false;
        else toClient.push_back({at, std::string(buf, static_cast<std::size_t>(n))});
      }
    }
  }

  int delay_;
  int serverPort_;
  bool lastWordsToo_;
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<long> roundTrips_{0}, sends_{0};
};

}  // namespace checkbench
