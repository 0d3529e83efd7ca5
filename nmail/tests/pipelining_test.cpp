// Pipelined POP3 conversations: the real Dovecot server (which offers
// PIPELINING) and scripted servers that send what Dovecot never does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_util.h"

using namespace testutil;

namespace {

constexpr int kBuf = 8192;

struct Fields {
  std::vector<char> subject = std::vector<char>(kBuf), date = std::vector<char>(kBuf),
                    from = std::vector<char>(kBuf), header = std::vector<char>(kBuf);
};

std::string mailOf(int i) {
  std::string body;
  for (int k = 0; k < 20 + i * 7; ++k) body += "line " + std::to_string(k) + " of mail " + std::to_string(i) + "\n";
  return "From: a" + std::to_string(i) + "@example.jp\nSubject: mail " + std::to_string(i) + "\n\n" + body;
}

// The fetch as the mail check does it: the size, then the mail; a mail
// that came longer than its size is fetched again with the size it needs.
int fetch(int h, int no, Fields& f, std::string& body) {
  int r = NMAIL_ERR_BUFFER;
  for (int tries = 0; tries < 2 && r == NMAIL_ERR_BUFFER; ++tries) {
    const int size = NMailPop3GetMailSize(h, no);
    if (size < 0) return size;
    std::vector<char> b(static_cast<std::size_t>(size) + 1, ' ');
    r = NMailPop3GetMail(h, no, f.subject.data(), f.date.data(), f.from.data(), f.header.data(), b.data(), 0, 0);
    if (r == NMAIL_SUCCESS) body = b.data();  // a failure leaves the buffer as it was
  }
  return r;
}

}  // namespace

TEST(Pipelining, DovecotSessionWithHeadersRetrievalsAndDeletionsAhead) {
  const std::string user = "nmail21";
  clearMaildrop(user);
  constexpr int kMails = 12;
  for (int i = 1; i <= kMails; ++i) dropMail(user, i, mailOf(i));
  NMailInitializeWinSock();
  NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, kBuf);
  int h = NMailPop3Connect(testservers::kPop3Server);
  ASSERT_GE(h, 0);
  ASSERT_EQ(NMailPop3Authenticate(h, user.c_str(), testservers::password(user).c_str(), 0), kMails);
  ASSERT_EQ(NMailPop3CanPipeline(h), 1);
  // Every header first (the later ones come with the first), every third
  // mail left alone, the rest asked for ahead.
  Fields f;
  for (int i = 1; i <= kMails; ++i) {
    ASSERT_EQ(NMailPop3GetMailStatus(h, i, f.subject.data(), f.date.data(), f.from.data(), f.header.data(), 0),
              NMAIL_SUCCESS);
    EXPECT_EQ(std::string(f.subject.data()), "mail " + std::to_string(i));
    if (i % 3 != 0) {
      EXPECT_EQ(NMailPop3FetchAhead(h, i), NMAIL_SUCCESS);
    }
  }
  for (int i = 1; i <= kMails; ++i) {
    // Asked again, the header costs nothing and reads the same.
    ASSERT_EQ(NMailPop3GetMailStatus(h, i, f.subject.data(), f.date.data(), f.from.data(), f.header.data(), 0),
              NMAIL_SUCCESS);
    EXPECT_EQ(std::string(f.from.data()), "a" + std::to_string(i) + "@example.jp");
    if (i % 3 == 0) continue;
    std::string body;
    ASSERT_EQ(fetch(h, i, f, body), NMAIL_SUCCESS) << lastMessage();
    std::string expected = mailOf(i).substr(mailOf(i).find("\n\n") + 2);
    std::string crlf;
    for (char c : expected) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(body, crlf) << i;
    EXPECT_EQ(NMailPop3DeleteAhead(h, i), NMAIL_SUCCESS);
  }
  for (int i = 1; i <= kMails; ++i)
    if (i % 3 != 0) {
      EXPECT_EQ(NMailPop3GetDeleteResult(h, i), NMAIL_SUCCESS) << i;
    }
  // Deleted twice: the server refuses, and the refusal is given.
  EXPECT_EQ(NMailPop3DeleteAhead(h, 1), NMAIL_SUCCESS);
  EXPECT_EQ(NMailPop3GetDeleteResult(h, 1), NMAIL_ERR_PROTOCOL);
  EXPECT_NE(lastMessage().find("DELE"), std::string::npos) << lastMessage();
  EXPECT_EQ(NMailPop3Close(h), NMAIL_SUCCESS);
  EXPECT_EQ(countMaildrop(user), kMails / 3);
  clearMaildrop(user);
}

// A server that keeps LF line ends and counts the mail so in LIST: the mail
// is longer as it arrives (CR LF) than its size; it comes whole, never cut.
TEST(Pipelining, BareLineFeedsAreReadToTheEnd) {
  std::string mail = "Subject: lf\n\n";
  for (int k = 0; k < 200; ++k) mail += "line " + std::to_string(k) + "\n";
  std::string expected = mail.substr(mail.find("\n\n") + 2), crlf;
  for (char c : expected) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
    ScriptedServer srv([&](ScriptedServer& s) {
      s.send("+OK ready\r\n");
      s.line();  // CAPA
      s.send(pipelining ? "+OK\r\nPIPELINING\r\n.\r\n" : "-ERR\r\n");
      s.line();  // USER
      s.send("+OK\r\n");
      s.line();  // PASS
      s.send("+OK\r\n");
      s.line();  // STAT
      s.send("+OK 1 " + std::to_string(mail.size()) + "\r\n");
      for (std::string l; !(l = s.line()).empty() && !s.eof;) {
        if (l == "LIST") s.send("+OK\r\n1 " + std::to_string(mail.size()) + "\r\n.\r\n");
        else if (l == "RETR 1") s.send("+OK\r\n" + mail + ".\n");
        else if (l == "DELE 1" || l == "QUIT") s.send("+OK\r\n");
        else s.send("-ERR\r\n");
        if (l == "QUIT") break;
      }
    });
    int h = NMailPop3Connect(srv.address().c_str());
    ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 1);
    if (pipelining) {
      ASSERT_EQ(NMailPop3FetchAhead(h, 1), NMAIL_SUCCESS);
    } else {
      EXPECT_EQ(NMailPop3FetchAhead(h, 1), 0);
    }
    // Asked with the LIST size, the buffer is short: the mail is kept and
    // its real size given (with pipelining it may be known at once).
    Fields f;
    const int listed = NMailPop3GetMailSize(h, 1);
    std::vector<char> small(static_cast<std::size_t>(listed) + 1, ' ');
    const int first = NMailPop3GetMail(h, 1, f.subject.data(), f.date.data(), f.from.data(), f.header.data(),
                                       small.data(), 0, 0);
    std::string body;
    if (first == NMAIL_ERR_BUFFER) {  // the buffer is left as it was
      EXPECT_EQ(listed, static_cast<int>(mail.size()));
      ASSERT_EQ(fetch(h, 1, f, body), NMAIL_SUCCESS) << lastMessage();
    } else {
      ASSERT_EQ(first, NMAIL_SUCCESS) << lastMessage();
      body = small.data();
    }
    EXPECT_EQ(body, crlf);
    EXPECT_STREQ(f.subject.data(), "lf");
    EXPECT_EQ(NMailPop3DeleteMail(h, 1), NMAIL_SUCCESS);
    EXPECT_EQ(NMailPop3Close(h), NMAIL_SUCCESS);
    srv.join();
    EXPECT_EQ(std::count(srv.received.begin(), srv.received.end(), "RETR 1"), 1);
  }
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);
}

// A refused command in the middle of a pipelined batch fails that mail
// alone; the others asked for ahead still arrive, and the conversation goes on.
TEST(Pipelining, RefusalInTheMiddleOfABatch) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  ScriptedServer srv([](ScriptedServer& s) {
    s.send("+OK ready\r\n");
    for (std::string l; !(l = s.line()).empty() && !s.eof;) {
      if (l == "CAPA") s.send("+OK\r\nPIPELINING\r\n.\r\n");
      else if (l == "STAT") s.send("+OK 3 90\r\n");
      else if (l == "LIST") s.send("+OK\r\n1 30\r\n2 30\r\n3 30\r\n.\r\n");
      else if (l == "RETR 2") s.send("-ERR mail 2 is locked\r\n");
      else if (l.rfind("RETR ", 0) == 0) s.send("+OK\r\nSubject: " + l.substr(5) + "\r\n\r\nbody\r\n.\r\n");
      else s.send("+OK\r\n");
      if (l == "QUIT") break;
    }
  });
  int h = NMailPop3Connect(srv.address().c_str());
  ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 3);
  for (int i = 1; i <= 3; ++i) ASSERT_EQ(NMailPop3FetchAhead(h, i), NMAIL_SUCCESS);
  Fields f;
  std::string body;
  EXPECT_EQ(fetch(h, 1, f, body), NMAIL_SUCCESS);
  EXPECT_EQ(fetch(h, 2, f, body), NMAIL_ERR_PROTOCOL);
  EXPECT_NE(lastMessage().find("mail 2 is locked"), std::string::npos) << lastMessage();
  EXPECT_LT(NMailPop3DeleteAhead(h, 2), 0);  // never deleted unfetched
  EXPECT_EQ(fetch(h, 3, f, body), NMAIL_SUCCESS);
  EXPECT_STREQ(f.subject.data(), "3");
  EXPECT_EQ(NMailPop3Close(h), NMAIL_SUCCESS);
  srv.join();
  // All three asked for in one go, before the first answer was read.
  std::vector<std::string> expected{"CAPA", "USER u", "PASS p", "STAT", "RETR 1", "RETR 2", "RETR 3", "LIST", "QUIT"};
  EXPECT_EQ(srv.received, expected);
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);
}
