// Sending against the real SMTP server of the test fixture, and reading
// back what it received.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "mime.h"
#include "test_util.h"

using namespace testutil;

namespace {

std::string uniqueAddress(const std::string& tag) {
  return "nmail-" + tag + "-" + std::to_string(getpid()) + "@example.jp";
}

// The file the SMTP server wrote for the mail to rcpt.
std::string receivedFor(const std::string& rcpt) {
  for (int i = 0; i < 50; ++i) {
    for (const auto& n : listDir(testservers::smtpInbox())) {
      std::string data = readFile(testservers::smtpInbox() + "/" + n);
      auto eol = data.find("\r\n", data.find("X-Envelope-To:"));
      if (data.substr(0, eol).find("<" + rcpt + ">") != std::string::npos) return data;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return std::string();
}

// The received mail without the envelope lines the server put on top.
std::string withoutEnvelope(const std::string& data) {
  auto p = data.find("\r\n", data.find("X-Envelope-To:"));
  return data.substr(p + 2);
}

int send(const std::string& to, const std::string& from, const std::string& subject,
         const std::string& body, const std::string& attach) {
  NMailInitializeWinSock();
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 10000);
  return NMailSmtpSendMail(testservers::kSmtpServer, cp(to).c_str(), nullptr, nullptr, cp(from).c_str(),
                           cp(subject).c_str(), cp(body).c_str(), nullptr, cp(attach).c_str(), 0);
}

}  // namespace

TEST(Smtp, JapaneseSubjectAndAttachmentArriveIntact) {
  ScratchDir dir;
  std::string binary;
  for (int i = 0; i < 30000; ++i) binary += static_cast<char>(i * 31);
  std::string file = dir.path + "/報告書 2026.dat";
  writeFile(file, binary);
  std::string rcpt = uniqueAddress("attach");
  ASSERT_GE(send(rcpt, "送信 太郎<taro@example.jp>", "報告書の送付", "お世話になります。\r\n.\r\n以上です。",
                 file),
            0)
      << lastMessage();
  std::string data = receivedFor(rcpt);
  ASSERT_FALSE(data.empty());
  EXPECT_NE(data.find("X-Envelope-From: <taro@example.jp>"), std::string::npos);
  std::string mail = withoutEnvelope(data);
  EXPECT_NE(mail.find("Subject: =?ISO-2022-JP?B?"), std::string::npos) << mail.substr(0, 600);
  EXPECT_NE(mail.find("From: =?ISO-2022-JP?B?"), std::string::npos);
  EXPECT_NE(mail.find("MIME-Version: 1.0"), std::string::npos);
  EXPECT_NE(mail.find("Message-ID: <"), std::string::npos);
  EXPECT_NE(mail.find("Date: "), std::string::npos);
  EXPECT_NE(mail.find("filename*="), std::string::npos);  // RFC 2231 name
  for (unsigned char c : mail) ASSERT_LT(c, 0x80);        // 7-bit on the wire

  // Read back with the library's own unpacking.
  std::string cpMail = mail;
  std::vector<char> s(8192), d(8192), f(8192), h(8192), body(cpMail.size() + 1);
  ScratchDir out;
  ASSERT_EQ(NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), body.data(),
                                     out.path.c_str(), "", cpMail.c_str(), 0),
            NMAIL_SUCCESS)
      << lastMessage();
  EXPECT_EQ(utf8(s.data()), "報告書の送付");
  EXPECT_EQ(utf8(f.data()), "送信 太郎 <taro@example.jp>");
  EXPECT_EQ(utf8(body.data()), "お世話になります。\r\n.\r\n以上です。");
  EXPECT_TRUE(readFile(out.path + "/報告書 2026.dat") == binary);
}

TEST(Smtp, BodyOutsideJisGoesAsUtf8AndBareSenderWorks) {
  std::string rcpt = uniqueAddress("utf8");
  ASSERT_GE(send(rcpt, "hanako@example.jp", "plain subject", "丸数字①と絵文字😀", ""), 0) << lastMessage();
  std::string mail = withoutEnvelope(receivedFor(rcpt));
  ASSERT_FALSE(mail.empty());
  EXPECT_NE(mail.find("From: hanako@example.jp\r\n"), std::string::npos);
  EXPECT_NE(mail.find("Subject: plain subject\r\n"), std::string::npos);
  EXPECT_NE(mail.find("charset=UTF-8"), std::string::npos);
  std::string_view head, body;
  nmail::mime::split(mail, head, body);
  EXPECT_EQ(nmail::text::base64Decode(body), "丸数字①と絵文字?");  // the emoji has no CP932 form
}

TEST(Smtp, LineBreaksInHeaderValuesNeverStartANewHeaderLine) {
  std::string rcpt = uniqueAddress("inject");
  ASSERT_GE(send(rcpt, "taro@example.jp", "hello\r\nBcc: victim@example.jp\r\nX-Evil: 1", "body", ""), 0)
      << lastMessage();
  std::string data = receivedFor(rcpt);
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(data.find("\r\nBcc:"), std::string::npos);
  EXPECT_EQ(data.find("\r\nX-Evil:"), std::string::npos);
  EXPECT_EQ(data.find("victim@example.jp>"), std::string::npos);  // not an envelope recipient
  // An address with a line break in it is refused, not sent.
  EXPECT_LT(send("a@example.jp\r\nBcc: victim@example.jp", "taro@example.jp", "s", "b", ""), 0);
  EXPECT_LT(send(rcpt, "taro@example.jp\r\nBcc: victim@example.jp", "s", "b", ""), 0);
}

TEST(Smtp, MissingAttachmentFileFailsBeforeSending) {
  int r = send(uniqueAddress("missing"), "taro@example.jp", "s", "b", "/nonexistent/file.bin");
  EXPECT_EQ(r, NMAIL_ERR_FILE);
  EXPECT_NE(lastMessage().find("/nonexistent/file.bin"), std::string::npos);
}

TEST(Smtp, CommaInsideAnAttachmentPathIsKept) {
  ScratchDir dir;
  std::string a = dir.path + "/a,b.txt", c = dir.path + "/c.txt";
  writeFile(a, "first");
  writeFile(c, "second");
  std::string rcpt = uniqueAddress("comma");
  ASSERT_GE(send(rcpt, "taro@example.jp", "two files", "body", a + "," + c), 0) << lastMessage();
  std::string mail = withoutEnvelope(receivedFor(rcpt));
  ScratchDir out;
  std::vector<char> s(8192), d(8192), f(8192), h(8192), body(mail.size() + 1);
  ASSERT_EQ(NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), body.data(),
                                     out.path.c_str(), "", mail.c_str(), 0),
            NMAIL_SUCCESS);
  EXPECT_EQ(readFile(out.path + "/a,b.txt"), "first");
  EXPECT_EQ(readFile(out.path + "/c.txt"), "second");
}

// ---- one session for a run of mails ----

namespace {

// A scripted SMTP server that takes any number of connections one after
// the other and keeps every line each one received. With pipelining
// offered it answers a group of commands only once the group's DATA has
// come, so a client that waits for each answer never gets one.
class SessionServer {
 public:
  bool pipelining = false;
  std::set<std::string> refuse;    // RCPT addresses answered 550
  std::string dropInDataOf;        // the connection ends inside this recipient's DATA
  int closeAfterMails = 0;         // the server closes the connection after so many mails (0: never)
  bool answerQuit = true;

  SessionServer() {
    listen_ = testservers::listenOnLoopback(8, port_);
  }
  void start() {
    thread_ = std::thread([this] {
      while (true) {
        int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) return;
        std::vector<std::string> lines;
        serve(fd, lines);
        ::close(fd);
        std::lock_guard<std::mutex> lock(m_);
        connections_.push_back(std::move(lines));
      }
    });
  }
  ~SessionServer() { stop(); }
  void stop() {
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    listen_ = -1;
    if (thread_.joinable()) thread_.join();
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  // Every connection's lines (after stop()).
  std::vector<std::vector<std::string>> connections() {
    std::lock_guard<std::mutex> lock(m_);
    return connections_;
  }
  std::vector<std::string> mails() {
    std::lock_guard<std::mutex> lock(m_);
    return mails_;
  }

 private:
  static bool readLine(int fd, std::string& l) {
    l.clear();
    char c;
    while (::recv(fd, &c, 1, 0) == 1) {
      if (c == '\n') return true;
      if (c != '\r') l += c;
    }
    return false;
  }
  static void put(int fd, const std::string& s) { ::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }

  void serve(int fd, std::vector<std::string>& lines) {
    put(fd, "220 scripted ESMTP\r\n");
    std::string l, queued, rcpt;
    int accepted = 0, mails = 0;
    auto answer = [&](const std::string& a) {
      if (pipelining) queued += a;
      else put(fd, a);
    };
    while (readLine(fd, l)) {
      lines.push_back(l);
      std::string verb = l.substr(0, 4);
      if (verb == "EHLO") {
        put(fd, std::string("250-scripted\r\n") + (pipelining ? "250-PIPELINING\r\n" : "") + "250 8BITMIME\r\n");
      } else if (verb == "RSET") {
        accepted = 0;
        answer("250 reset\r\n");
      } else if (verb == "MAIL") {
        accepted = 0;
        answer("250 sender ok\r\n");
      } else if (verb == "RCPT") {
        rcpt = l.substr(l.find('<') + 1, l.find('>') - l.find('<') - 1);
        if (refuse.count(rcpt)) {
          answer("550 5.1.1 <" + rcpt + ">: no such user\r\n");
        } else {
          ++accepted;
          answer("250 rcpt ok\r\n");
        }
      } else if (verb == "DATA") {
        answer(accepted > 0 ? "354 go ahead\r\n" : "554 no valid recipients\r\n");
        put(fd, queued);
        queued.clear();
        if (accepted == 0) continue;
        std::string data, d;
        bool dropped = false;
        while (readLine(fd, d) && d != ".") {
          data += d + "\n";
          if (!dropInDataOf.empty() && rcpt == dropInDataOf) {
            dropped = true;
            break;
          }
        }
        if (dropped) return;
        lines.push_back("<data>");
        {
          std::lock_guard<std::mutex> lock(m_);
          mails_.push_back(data);
        }
        put(fd, "250 queued\r\n");
        if (closeAfterMails && ++mails >= closeAfterMails) return;
      } else if (verb == "QUIT") {
        if (answerQuit) put(fd, "221 bye\r\n");
        else std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        return;
      } else {
        put(fd, "500 what\r\n");
      }
    }
  }

  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex m_;
  std::vector<std::vector<std::string>> connections_;
  std::vector<std::string> mails_;
};

int sendOn(int h, const std::string& to, const std::string& subject) {
  return NMailSmtpSessionSendMail(h, to.c_str(), nullptr, nullptr, "me@example.jp", subject.c_str(), "body",
                                  nullptr, "", 0);
}

// The commands of a connection without the EHLO line and the DATA marks.
std::vector<std::string> commands(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    if (l.rfind("EHLO", 0) != 0 && l != "<data>") out.push_back(l);
  return out;
}

}  // namespace

TEST(SmtpSession, EveryMailOfARunGoesOnOneConnectionWithRsetBetween) {
  NMailInitializeWinSock();
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 2000);
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining ? "pipelined" : "one command at a time");
    SessionServer srv;
    srv.pipelining = pipelining;
    srv.answerQuit = false;  // the close must not wait for it
    srv.start();
    const int h = NMailSmtpOpenSession(srv.address().c_str());
    ASSERT_GE(h, 1);
    for (const char* to : {"a@example.jp", "b@example.jp", "c@example.jp"})
      ASSERT_EQ(sendOn(h, to, std::string("to ") + to), NMAIL_SUCCESS) << lastMessage();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(NMailSmtpCloseSession(h), NMAIL_SUCCESS);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_LT(NMailSmtpCloseSession(h), 0);  // the handle is gone
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    srv.stop();
    const auto conns = srv.connections();
    ASSERT_EQ(conns.size(), 1u);
    // RSET between the mails rides with the pipelined commands; one at a
    // time it would cost a round trip where the server's state is reset
    // already (it took the mail before).
    const std::string reset = pipelining ? "RSET" : "";
    std::vector<std::string> expected = {
        "MAIL FROM:<me@example.jp>", "RCPT TO:<a@example.jp>", "DATA",
        reset, "MAIL FROM:<me@example.jp>", "RCPT TO:<b@example.jp>", "DATA",
        reset, "MAIL FROM:<me@example.jp>", "RCPT TO:<c@example.jp>", "DATA", "QUIT"};
    std::erase(expected, std::string());
    EXPECT_EQ(commands(conns[0]), expected);
    const auto mails = srv.mails();
    ASSERT_EQ(mails.size(), 3u);
    EXPECT_NE(mails[1].find("Subject: to b@example.jp"), std::string::npos);
  }
}

TEST(SmtpSession, AFailureInTheMiddleFailsThatMailAndTheRestStillGo) {
  NMailInitializeWinSock();
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 2000);
  struct Case {
    const char* name;
    std::function<void(SessionServer&)> setUp;
    std::size_t connections;  // the server saw
    const char* message;      // in the failure's text
  } cases[] = {
      {"recipient refused: the session goes on", [](SessionServer& s) { s.refuse = {"b@example.jp"}; }, 1,
       "550 5.1.1"},
      {"connection lost in the message: a new session for the next",
       [](SessionServer& s) { s.dropInDataOf = "b@example.jp"; }, 2, "本文"},
      {"a mail in a bad argument: nothing sent for it", [](SessionServer&) {}, 1, "宛先"},
  };
  for (const Case& c : cases) {
    for (bool pipelining : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (pipelining ? ", pipelined" : ""));
      SessionServer srv;
      srv.pipelining = pipelining;
      c.setUp(srv);
      srv.start();
      const int h = NMailSmtpOpenSession(srv.address().c_str());
      const bool badArgument = std::string(c.message) == "宛先";
      EXPECT_EQ(sendOn(h, "a@example.jp", "one"), NMAIL_SUCCESS) << lastMessage();
      EXPECT_LT(sendOn(h, badArgument ? "not an address" : "b@example.jp", "two"), 0);
      EXPECT_NE(lastMessage().find(c.message), std::string::npos) << lastMessage();
      EXPECT_EQ(sendOn(h, "c@example.jp", "three"), NMAIL_SUCCESS) << lastMessage();
      NMailSmtpCloseSession(h);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      srv.stop();
      EXPECT_EQ(srv.connections().size(), c.connections);
      const auto mails = srv.mails();
      ASSERT_EQ(mails.size(), 2u);
      EXPECT_NE(mails[0].find("Subject: one"), std::string::npos);
      EXPECT_NE(mails[1].find("Subject: three"), std::string::npos);
      // The mail after the refused one follows a reset of the session (or
      // goes on a new one).
      const auto last = commands(srv.connections().back());
      ASSERT_GE(last.size(), 3u);
      const auto data = std::find(last.begin(), last.end(), "RCPT TO:<c@example.jp>");
      ASSERT_NE(data, last.end());
      const bool refusedBefore = std::string(c.message) == "550 5.1.1";
      if (refusedBefore) EXPECT_EQ(*(data - 2), "RSET");
    }
  }
}

TEST(SmtpSession, AConnectionTheServerClosedBetweenMailsIsOpenedAgainForTheNext) {
  NMailInitializeWinSock();
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 2000);
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining ? "pipelined" : "one command at a time");
    SessionServer srv;
    srv.pipelining = pipelining;
    srv.closeAfterMails = 1;
    srv.start();
    const int h = NMailSmtpOpenSession(srv.address().c_str());
    EXPECT_EQ(sendOn(h, "a@example.jp", "one"), NMAIL_SUCCESS) << lastMessage();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sendOn(h, "b@example.jp", "two"), NMAIL_SUCCESS) << lastMessage();
    NMailSmtpCloseSession(h);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    srv.stop();
    EXPECT_EQ(srv.connections().size(), 2u);
    EXPECT_EQ(srv.mails().size(), 2u);  // each mail once
  }
}

TEST(SmtpSession, ASingleSendDoesNotWaitForTheAnswerToQuit) {
  NMailInitializeWinSock();
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  SessionServer srv;
  srv.answerQuit = false;
  srv.start();
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(NMailSmtpSendMail(srv.address().c_str(), "a@example.jp", nullptr, nullptr, "me@example.jp", "s", "b",
                              nullptr, "", 0),
            NMAIL_SUCCESS);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  srv.stop();
  ASSERT_EQ(srv.connections().size(), 1u);
  EXPECT_EQ(srv.connections()[0].back(), "QUIT");
}

// ---- attachment names ----

namespace {

// The header block of the first attachment part of a built mail.
std::string attachmentHeader(const std::string& name) {
  nmail::mime::Outgoing m;
  m.from = {"", "me@example.jp"};
  m.to = {{"", "you@example.jp"}};
  m.subject = "s";
  m.body = "b";
  m.attachments.push_back({name, "data"});
  const std::string mail = nmail::mime::build(m);
  const auto at = mail.find("Content-Disposition: attachment");
  const auto start = mail.rfind("\r\n--", at);
  const auto end = mail.find("\r\n\r\n", at);
  return mail.substr(mail.find("\r\n", start + 2) + 2, end - mail.find("\r\n", start + 2) - 2 + 2);
}

std::string percentDecode(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Every value of a parameter section or encoded word in the header.
std::vector<std::string> pieces(const std::string& header, const std::string& open, const std::string& close) {
  std::vector<std::string> out;
  for (std::size_t p = header.find(open); p != std::string::npos; p = header.find(open, p + 1)) {
    const auto v = p + open.size();
    out.push_back(header.substr(v, header.find_first_of(close, v) - v));
  }
  return out;
}

}  // namespace

// A sender or recipient name of thousands of letters: its header line is
// folded as a subject's is, no line longer than 78 octets, and the name
// reads back whole.
TEST(SmtpHeaders, LongNamesAreFoldedAndReadBackWhole) {
  const std::string letters(5000, 'a');
  std::string quoted;
  for (int i = 0; i < 500; ++i) quoted += "Dept. (Sales), ";
  std::string japanese;
  for (int i = 0; i < 1000; ++i) japanese += "営業部";
  for (const std::string& name : {letters, quoted, japanese, std::string("山田 太郎"), std::string("Taro Yamada")}) {
    SCOPED_TRACE(name.substr(0, 40));
    nmail::mime::Outgoing m;
    m.from = {name, "me@example.jp"};
    m.to = {{name, "you@example.jp"}};
    m.subject = "s";
    m.body = "b";
    const std::string mail = nmail::mime::build(m);
    std::string_view head, body;
    nmail::mime::split(mail, head, body);
    for (std::size_t at = 0; at < head.size();) {
      std::size_t end = head.find("\r\n", at);
      if (end == std::string_view::npos) end = head.size();
      EXPECT_LE(end - at, name.size() < 40 ? 998u : 78u) << head.substr(at, 80);
      at = end + 2;
    }
    std::vector<char> s(65536), d(65536), f(65536), h(65536), b(mail.size() + 1);
    ScratchDir out;
    NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, 65536);
    ASSERT_EQ(NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), b.data(), out.path.c_str(), "",
                                       mail.c_str(), 0),
              NMAIL_SUCCESS)
        << lastMessage();
    NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, 8192);
    EXPECT_EQ(utf8(f.data()), name + " <me@example.jp>");
  }
}

TEST(SmtpAttachmentNames, BothFormsWholeCharactersAndNoLineBreak) {
  NMailInitializeWinSock();
  std::string longName;
  for (int i = 0; i < 12; ++i) longName += "報告書の添付";
  longName += ".txt";
  struct Case {
    std::string name;
    std::string word;  // the encoded-word charset in name=, "" for a plain name
    // What our own unpacking names the file: "" the name itself, "-" not
    // looked at (the reading side cuts a long name to what a folder takes).
    std::string readBack;
  } cases[] = {
      {"報告書.txt", "=?ISO-2022-JP?B?", ""},
      {"café résumé.txt", "=?UTF-8?B?", ""},
      {longName, "=?ISO-2022-JP?B?", "-"},
      {"plain name.txt", "", ""},
      {"evil\r\nBcc: victim@example.jp.txt", "", "evil  Bcc victim@example.jp.txt"},
      {"=?UTF-8?B?ZXZpbA==?=.txt", "=?ISO-2022-JP?B?", "=UTF-8BZXZpbA===.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string h = attachmentHeader(c.name);
    // No line of the part header is anything but a field or its folding.
    std::size_t p = 0;
    while (p < h.size()) {
      const auto e = h.find("\r\n", p);
      const std::string line = h.substr(p, e - p);
      EXPECT_TRUE(line.rfind("Content-", 0) == 0 || line.rfind(" ", 0) == 0) << line;
      for (char ch : line) EXPECT_TRUE(ch != '\r' && ch != '\n' && static_cast<unsigned char>(ch) < 0x80);
      p = e + 2;
    }
    EXPECT_EQ(h.find("\nBcc:"), std::string::npos);
    if (c.word.empty()) {
      EXPECT_NE(h.find("name=\""), std::string::npos);
      EXPECT_NE(h.find("filename=\""), std::string::npos);
    } else {
      // RFC 2047 in name=: every word decodes alone to whole characters.
      const auto words = pieces(h, c.word, "?");
      ASSERT_FALSE(words.empty());
      std::string joined;
      for (const auto& w : words) {
        const std::string bytes = nmail::text::base64Decode(w);
        std::string utf8Word = bytes;
        if (c.word == "=?ISO-2022-JP?B?") {
          // Each word goes back to ASCII before it ends.
          const auto lastEscape = bytes.rfind('\x1b');
          EXPECT_TRUE(lastEscape == std::string::npos || bytes.compare(lastEscape, 3, "\x1b(B") == 0) << bytes;
          utf8Word = utf8(nmail::charset::guessToCp932(bytes));
        }
        EXPECT_TRUE(nmail::charset::isValidUtf8(utf8Word));
        joined += utf8Word;
      }
      if (c.word == "=?UTF-8?B?") EXPECT_EQ(joined, c.name);
      // RFC 2231 in filename*: every section percent-decodes alone to UTF-8.
      std::string all;
      for (const auto& sec : pieces(h, "*=", ";\r\n")) {
        std::string v = sec.rfind("UTF-8''", 0) == 0 ? sec.substr(7) : sec;
        const std::string bytes = percentDecode(v);
        EXPECT_TRUE(nmail::charset::isValidUtf8(bytes)) << sec;
        all += bytes;
      }
      EXPECT_EQ(all, c.name);
    }
    if (c.name == longName) {
      EXPECT_NE(h.find("filename*1*="), std::string::npos);
      EXPECT_GT(pieces(h, c.word, "?").size(), 1u);
    }
    // Our own reading side names the file as sent.
    nmail::mime::Outgoing m;
    m.from = {"", "me@example.jp"};
    m.to = {{"", "you@example.jp"}};
    m.attachments.push_back({c.name, "data"});
    ScratchDir out;
    const auto u = nmail::mime::unpack(nmail::mime::build(m), out.path, 8192, 8192);
    ASSERT_EQ(u.written.size(), 1u);
    if (c.readBack == "-") continue;
    const std::string expected = c.readBack.empty() ? c.name : c.readBack;
    EXPECT_EQ(u.written[0].substr(u.written[0].rfind('/') + 1), expected);
  }
}
