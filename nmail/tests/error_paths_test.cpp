// Failures against a scripted server: a server that closes in the middle of
// a mail, one that never answers, refusals, a refused recipient.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "test_util.h"

using namespace testutil;
using Clock = std::chrono::steady_clock;

namespace {


struct Bufs {
  std::vector<char> a = std::vector<char>(8192), b = std::vector<char>(8192), c = std::vector<char>(8192),
                    d = std::vector<char>(8192), body = std::vector<char>(8192);
};

void loginScript(ScriptedServer& s, const char* greeting = "+OK ready <1.2@host>\r\n") {
  s.send(greeting);
  s.line();  // CAPA: a server that talks one command at a time
  s.send("-ERR\r\n");
  s.line();  // USER
  s.send("+OK\r\n");
  s.line();  // PASS
  s.send("+OK\r\n");
  s.line();  // STAT
  s.send("+OK 2 300\r\n");
}

}  // namespace

TEST(ErrorPaths, ServerClosingInTheMiddleOfAMailFailsItAndKeepsItOnTheServer) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  ScriptedServer srv([](ScriptedServer& s) {
    loginScript(s);
    s.line();  // LIST
    s.send("-ERR\r\n");
    s.line();  // LIST 1
    s.send("+OK 1 120\r\n");
    s.line();  // RETR 1
    s.send("+OK\r\nSubject: cut\r\n\r\nthe first half of the body\r\n");
    s.closeNow();
  });
  int h = NMailPop3Connect(srv.address().c_str());
  ASSERT_GE(h, 0);
  ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 2);
  Bufs b;
  int r = NMailPop3GetMail(h, 1, b.a.data(), b.b.data(), b.c.data(), b.d.data(), b.body.data(), 0, 0);
  EXPECT_LT(r, 0);
  EXPECT_NE(lastMessage().find("最後まで受け取れませんでした"), std::string::npos) << lastMessage();
  // The caller that deletes anyway is refused: the mail stays on the server.
  EXPECT_LT(NMailPop3DeleteMail(h, 1), 0);
  EXPECT_LT(NMailPop3Close(h), 0);
  srv.join();
  for (const auto& l : srv.received) EXPECT_EQ(l.rfind("DELE", 0), std::string::npos);
}

TEST(ErrorPaths, RetrRefusedMailIsNotDeleted) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  ScriptedServer srv([](ScriptedServer& s) {
    loginScript(s);
    s.line();  // LIST
    s.send("-ERR\r\n");
    s.line();  // LIST 1
    s.send("+OK 1 120\r\n");
    s.line();  // RETR 1
    s.send("-ERR mail is locked\r\n");
    s.line();  // DELE 2 (the other mail may still go)
    s.send("+OK\r\n");
    s.line();  // QUIT
    s.send("+OK bye\r\n");
  });
  int h = NMailPop3Connect(srv.address().c_str());
  ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 2);
  Bufs b;
  EXPECT_EQ(NMailPop3GetMail(h, 1, b.a.data(), b.b.data(), b.c.data(), b.d.data(), b.body.data(), 0, 0),
            NMAIL_ERR_PROTOCOL);
  EXPECT_NE(lastMessage().find("-ERR mail is locked"), std::string::npos) << lastMessage();
  EXPECT_LT(NMailPop3DeleteMail(h, 1), 0);
  EXPECT_EQ(NMailPop3DeleteMail(h, 2), NMAIL_SUCCESS);
  EXPECT_EQ(NMailPop3Close(h), NMAIL_SUCCESS);
  srv.join();
  EXPECT_EQ(srv.received.back(), "QUIT");
}

TEST(ErrorPaths, SilentServerTimesOutInsteadOfHanging) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 700);
  {
    ScriptedServer srv([](ScriptedServer& s) { s.silence(2500); });  // no greeting
    auto t0 = Clock::now();
    EXPECT_EQ(NMailPop3Connect(srv.address().c_str()), -1);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(2000));
    EXPECT_NE(lastMessage().find("時間切れ"), std::string::npos) << lastMessage();
  }
  {
    ScriptedServer srv([](ScriptedServer& s) {
      loginScript(s);
      s.line();  // LIST
      s.send("+OK\r\n1 50\r\n2 250\r\n.\r\n");
      s.line();  // RETR 1
      s.send("+OK\r\nSubject: slow\r\n");
      s.silence(2500);
    });
    int h = NMailPop3Connect(srv.address().c_str());
    ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 2);
    Bufs b;
    auto t0 = Clock::now();
    EXPECT_EQ(NMailPop3GetMail(h, 1, b.a.data(), b.b.data(), b.c.data(), b.d.data(), b.body.data(), 0, 0),
              NMAIL_ERR_IO);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(2000));
    NMailPop3Close(h);
  }
  {
    ScriptedServer srv([](ScriptedServer& s) { s.silence(2500); });
    auto t0 = Clock::now();
    EXPECT_LT(NMailSmtpSendMail(srv.address().c_str(), "a@example.jp", nullptr, nullptr, "b@example.jp", "s",
                                "b", nullptr, "", 0),
              0);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(2000));
    EXPECT_NE(lastMessage().find("時間切れ"), std::string::npos) << lastMessage();
  }
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);
}

TEST(ErrorPaths, Pop3Refusals) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  {  // The greeting itself refuses.
    ScriptedServer srv([](ScriptedServer& s) { s.send("-ERR too many connections\r\n"); });
    EXPECT_EQ(NMailPop3Connect(srv.address().c_str()), -1);
    EXPECT_NE(lastMessage().find("too many connections"), std::string::npos);
  }
  {  // APOP asked of a server without a timestamp: no command is sent.
    ScriptedServer srv([](ScriptedServer& s) {
      s.send("+OK plain server\r\n");
      s.line();
    });
    int h = NMailPop3Connect(srv.address().c_str());
    ASSERT_GE(h, 0);
    EXPECT_EQ(NMailPop3Authenticate(h, "u", "p", -1), NMAIL_ERR_AUTH);
    EXPECT_NE(lastMessage().find("APOP"), std::string::npos);
    NMailPop3Close(h);
    srv.join();
    EXPECT_EQ(srv.received.front(), "QUIT");
  }
  {  // APOP digest as the standard's example gives it.
    ScriptedServer srv([](ScriptedServer& s) {
      s.send("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n");
      s.line();  // CAPA
      s.send("+OK\r\nTOP\r\nUIDL\r\n.\r\n");
      s.line();
      s.send("+OK\r\n");
      s.line();
      s.send("-ERR STAT is broken\r\n");
    });
    int h = NMailPop3Connect(srv.address().c_str());
    EXPECT_EQ(NMailPop3Authenticate(h, "mrose", "tanstaaf", -1), NMAIL_ERR_PROTOCOL);
    EXPECT_NE(lastMessage().find("STAT is broken"), std::string::npos);
    NMailPop3Close(h);
    srv.join();
    ASSERT_GE(srv.received.size(), 2u);
    EXPECT_EQ(srv.received[1], "APOP mrose c4c9334bac560ecc979e58001b3e22fb");
  }
  {  // A line break in the password would be a second command.
    ScriptedServer srv([](ScriptedServer& s) {
      s.send("+OK\r\n");
      s.line();
    });
    int h = NMailPop3Connect(srv.address().c_str());
    EXPECT_EQ(NMailPop3Authenticate(h, "u", "p\r\nDELE 1", 0), NMAIL_ERR_ARGUMENT);
    NMailPop3Close(h);
  }
  // No server at all, and names that are not names.
  EXPECT_EQ(NMailPop3Connect("127.0.0.1:1"), -1);
  EXPECT_EQ(NMailPop3Connect("127.0.0.1:99999"), -1);
  EXPECT_EQ(NMailPop3Connect(""), -1);
  EXPECT_LT(NMailPop3Authenticate(12345, "u", "p", 0), 0);
}

TEST(ErrorPaths, SmtpRefusedRecipientReportsTheServersReply) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  ScriptedServer srv([](ScriptedServer& s) {
    s.send("220 mail.example.jp ESMTP\r\n");
    s.line();  // EHLO
    s.send("250-mail.example.jp\r\n250 8BITMIME\r\n");
    s.line();  // MAIL FROM
    s.send("250 ok\r\n");
    s.line();  // RCPT TO
    s.send("550 5.1.1 <nobody@example.jp>: Recipient address rejected\r\n");
    s.line();  // QUIT
    s.send("221 bye\r\n");
  });
  int r = NMailSmtpSendMail(srv.address().c_str(), "nobody@example.jp", nullptr, nullptr, "me@example.jp",
                            "s", "b", nullptr, "", 0);
  EXPECT_LT(static_cast<short>(r), 0);
  std::string msg = lastMessage();
  EXPECT_NE(msg.find("550 5.1.1 <nobody@example.jp>: Recipient address rejected"), std::string::npos) << msg;
  srv.join();
  for (const auto& l : srv.received) EXPECT_NE(l, "DATA");
}

TEST(ErrorPaths, SmtpFallsBackToHeloAndStuffsDots) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  std::string data;
  ScriptedServer srv([&data](ScriptedServer& s) {
    s.send("220 old server\r\n");
    s.line();  // EHLO
    s.send("502 command not implemented\r\n");
    s.line();  // HELO
    s.send("250 hello\r\n");
    s.line();
    s.send("250 ok\r\n");
    s.line();
    s.send("250 ok\r\n");
    s.line();  // DATA
    s.send("354 go ahead\r\n");
    data = s.data();
    s.send("250 queued\r\n");
    s.line();
    s.send("221 bye\r\n");
  });
  int r = NMailSmtpSendMail(srv.address().c_str(), "to@example.jp", nullptr, nullptr, "me@example.jp", "s",
                            ".\r\n..two\r\nend", nullptr, "", 0);
  EXPECT_GE(r, 0) << lastMessage();
  srv.join();
  ASSERT_GE(srv.received.size(), 4u);
  EXPECT_EQ(srv.received[0].rfind("EHLO ", 0), 0u);
  EXPECT_EQ(srv.received[1].rfind("HELO ", 0), 0u);
  EXPECT_EQ(srv.received[2], "MAIL FROM:<me@example.jp>");
  EXPECT_EQ(srv.received[3], "RCPT TO:<to@example.jp>");
  EXPECT_NE(data.find("\n..\n...two\nend\n"), std::string::npos) << data;
}
