#pragma once
// Helpers of the mail library tests: maildrops of the test POP3 server,
// scratch folders, text in CP932, and a small scripted server.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "nmail/nmail.h"
#include "servers/servers.h"
#include "charset.h"
#include "text.h"

namespace testutil {

inline std::string cp(std::string_view utf8) { return nmail::charset::utf8ToCp932(utf8); }
inline std::string utf8(std::string_view cp932) { return nmail::charset::cp932ToUtf8(cp932); }

// The mail text the mail check hands to the attachment step: header, the
// empty line and body, every line ended by CR LF (CR LF or a lone CR ends a
// line).
inline std::string mailTextOf(const std::string& header, const std::string& body) {
  std::string joined = header + "\r\n" + body, out;
  std::size_t start = 0;
  while (start < joined.size()) {
    std::size_t cr = joined.find('\r', start);
    if (cr == std::string::npos) {
      out += joined.substr(start) + "\r\n";
      break;
    }
    out += joined.substr(start, cr - start) + "\r\n";
    start = cr + 1 + (cr + 1 < joined.size() && joined[cr + 1] == '\n');
  }
  return out;
}

inline std::vector<std::string> listDir(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') out.push_back(e->d_name);
    closedir(d);
  }
  return out;
}

inline std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

inline void writeFile(const std::string& path, std::string_view data) {
  std::ofstream f(path, std::ios::binary);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Empties a POP3 account's maildrop.
inline void clearMaildrop(const std::string& user) {
  for (const char* sub : {"new", "cur", "tmp"}) {
    std::string dir = testservers::maildrop(user) + "/" + sub;
    for (const auto& n : listDir(dir)) ::unlink((dir + "/" + n).c_str());
  }
}

// Puts one mail into a POP3 account's maildrop; mails sort by their number.
inline void dropMail(const std::string& user, int number, std::string_view mail) {
  char name[64];
  std::snprintf(name, sizeof name, "%010d.M%dP%d.test", 1000000000 + number, number, getpid());
  std::string tmp = testservers::maildrop(user) + "/tmp/" + name;
  writeFile(tmp, mail);
  ::chown(tmp.c_str(), 65534, 65534);
  std::string dst = testservers::maildrop(user) + "/new/" + name;
  ::rename(tmp.c_str(), dst.c_str());
}

inline int countMaildrop(const std::string& user) {
  return static_cast<int>(listDir(testservers::maildrop(user) + "/new").size() +
                          listDir(testservers::maildrop(user) + "/cur").size());
}

// A fresh scratch folder, removed with its files at the end of scope.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    char tmpl[] = "/tmp/nmail-test-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~ScratchDir() { std::system(("rm -rf '" + path + "'").c_str()); }
};

inline std::string lastMessage() {
  std::vector<char> buf(8192);
  int size = 8192;
  NMailGetMessage(0, buf.data(), size);
  return utf8(buf.data());
}

// A one-connection TCP server on a free loopback port that runs a script
// against the client: each step reads a line (expect) or writes text.
class ScriptedServer {
 public:
  using Script = std::function<void(ScriptedServer&)>;
  explicit ScriptedServer(Script script) {
    listen_ = testservers::listenOnLoopback(4, port_);
    thread_ = std::thread([this, script] {
      fd_ = ::accept(listen_, nullptr, nullptr);
      if (fd_ >= 0) {
        script(*this);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
      }
    });
  }
  ~ScriptedServer() {
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    if (thread_.joinable()) thread_.join();
  }
  // Waits for the script to finish.
  void join() {
    if (thread_.joinable()) thread_.join();
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  void send(std::string_view s) { ::send(fd_, s.data(), s.size(), MSG_NOSIGNAL); }
  // Reads one line (without CR LF); "" at the end of the connection.
  std::string line() {
    std::string l;
    char c;
    while (true) {
      if (::recv(fd_, &c, 1, 0) != 1) {
        eof = true;
        break;
      }
      if (c == '\n') break;
      if (c != '\r') l += c;
    }
    received.push_back(l);
    return l;
  }
  // Reads until the line "." (the DATA of SMTP).
  std::string data() {
    std::string all, l;
    while ((l = line()) != "." && !eof) all += l + "\n";
    return all;
  }
  void closeNow() {
    ::close(fd_);
    fd_ = -1;
  }
  // Holds the connection open without a word for ms milliseconds.
  void silence(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  std::vector<std::string> received;
  bool eof = false;

 private:
  int listen_ = -1;
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace testutil
