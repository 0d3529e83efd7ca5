#pragma once
// Where the test mail servers listen and keep their files (see README).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <string>

namespace testservers {

inline constexpr const char* kPop3Server = "127.0.0.1:21110";
inline constexpr const char* kSmtpServer = "127.0.0.1:21025";
inline constexpr int kPop3Port = 21110;
inline constexpr int kSmtpPort = 21025;

inline std::string rootDir() {
  const char* env = std::getenv("RUVO_MAIL_SERVERS_DIR");
  return env && *env ? env : "/tmp/ruvo-mail-servers";
}
// Accounts "nmail01".."nmail30", "client01".."client30", "bench".
inline std::string password(const std::string& user) { return user + "-pw"; }
// Maildir of a POP3 account (with tmp/, new/, cur/).
inline std::string maildrop(const std::string& user) { return rootDir() + "/pop3/mail/" + user; }
// Folder holding one file per mail the SMTP server took.
inline std::string smtpInbox() { return rootDir() + "/smtp/maildir/new"; }

// A listening TCP socket on a free loopback port, for the scripted servers
// and relays of the tests and benchmarks; port gets the port it took.
inline int listenOnLoopback(int backlog, int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(fd, backlog);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

}  // namespace testservers
