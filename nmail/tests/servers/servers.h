#pragma once
// Where the test mail servers listen and keep their files (see README).
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

}  // namespace testservers
