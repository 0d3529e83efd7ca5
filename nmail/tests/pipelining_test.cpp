// Pipelined POP3 conversations: the real Dovecot server (which offers
// PIPELINING) and scripted servers that send what Dovecot never does.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "pop3_limits.h"
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

// Unique ids: one UIDL for every mail, in the same go as the sizes with
// pipelining; a server without UIDL refuses, and the session goes on.
TEST(Pipelining, UniqueIdsComeFromOneListing) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  for (bool pipelining : {false, true}) {
    for (bool offered : {true, false}) {
      SCOPED_TRACE(pipelining);
      SCOPED_TRACE(offered);
      ScriptedServer srv([&](ScriptedServer& s) {
        s.send("+OK ready\r\n");
        for (std::string l; !(l = s.line()).empty() && !s.eof;) {
          if (l == "CAPA") s.send(pipelining ? "+OK\r\nPIPELINING\r\nUIDL\r\n.\r\n" : "-ERR\r\n");
          else if (l == "STAT") s.send("+OK 3 90\r\n");
          else if (l == "LIST") s.send("+OK\r\n1 30\r\n2 30\r\n3 30\r\n.\r\n");
          // A line with no id, a good one, and an id given twice.
          else if (l == "UIDL" && offered) s.send("+OK\r\n1 uid-one\r\n2\r\n3 ab~!Z9\r\n4 twice\r\n5 twice\r\n.\r\n");
          else if (l == "UIDL") s.send("-ERR no such command\r\n");
          else if (l.rfind("RETR ", 0) == 0) s.send("+OK\r\nSubject: " + l.substr(5) + "\r\n\r\nbody\r\n.\r\n");
          else s.send("+OK\r\n");
          if (l == "QUIT") break;
        }
      });
      int h = NMailPop3Connect(srv.address().c_str());
      ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 3);
      char id[71];
      if (offered) {
        EXPECT_EQ(NMailPop3GetUidl(h, 1, id, sizeof id), 7);
        EXPECT_STREQ(id, "uid-one");
        EXPECT_EQ(NMailPop3GetUidl(h, 2, id, sizeof id), NMAIL_ERR_ARGUMENT);
        EXPECT_EQ(NMailPop3GetUidl(h, 3, id, sizeof id), 6);
        EXPECT_STREQ(id, "ab~!Z9");
        EXPECT_EQ(NMailPop3GetUidl(h, 4, id, sizeof id), NMAIL_ERR_ARGUMENT);
        EXPECT_EQ(NMailPop3GetUidl(h, 5, id, sizeof id), NMAIL_ERR_ARGUMENT);
        char small[3];
        EXPECT_EQ(NMailPop3GetUidl(h, 1, small, sizeof small), NMAIL_ERR_BUFFER);
      } else {
        EXPECT_EQ(NMailPop3GetUidl(h, 1, id, sizeof id), NMAIL_ERR_PROTOCOL);
        EXPECT_NE(lastMessage().find("UIDL"), std::string::npos) << lastMessage();
        EXPECT_EQ(NMailPop3GetUidl(h, 3, id, sizeof id), NMAIL_ERR_PROTOCOL);
      }
      Fields f;
      std::string body;
      EXPECT_EQ(fetch(h, 2, f, body), NMAIL_SUCCESS) << lastMessage();
      EXPECT_EQ(NMailPop3GetBrokenMail(h), 0);
      EXPECT_EQ(NMailPop3Close(h), NMAIL_SUCCESS);
      srv.join();
      // Asked once, whatever the answer.
      EXPECT_EQ(std::count(srv.received.begin(), srv.received.end(), "UIDL"), 1);
      if (pipelining) {
        const std::vector<std::string> start(srv.received.begin(), srv.received.begin() + 6);
        EXPECT_EQ(start, (std::vector<std::string>{"CAPA", "USER u", "PASS p", "STAT", "UIDL", "LIST"}));
      }
    }
  }
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);
}

// With the listings asked for with the login, UIDL, LIST and the first
// header go in the same write as the login (this server answers nothing
// before it has them all), each is asked once, and the calls that need
// them take their answers. A refused login and an empty maildrop leave
// nothing unread: the session ends as always.
TEST(Pipelining, ListingsAskedForWithTheLoginAreTakenByTheLaterCalls) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  ASSERT_EQ(NMailSetOption(NMAIL_OPTION_LISTS_WITH_LOGIN, 2), NMAIL_ERR_ARGUMENT);
  const int before = NMailSetOption(NMAIL_OPTION_LISTS_WITH_LOGIN, 1);
  struct Case {
    const char* what;
    bool refused;
    int mails;
  } cases[] = {{"three mails", false, 3}, {"refused login", true, 3}, {"no mail", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer srv([&](ScriptedServer& s) {
      s.send("+OK ready\r\n");
      if (s.line() != "CAPA") return;
      s.send("+OK\r\nPIPELINING\r\nUIDL\r\nTOP\r\n.\r\n");
      std::vector<std::string> batch;
      for (int k = 0; k < 6; ++k) batch.push_back(s.line());
      if (batch != std::vector<std::string>{"USER u", "PASS p", "STAT", "UIDL", "LIST", "TOP 1 0"}) return;
      if (c.refused) {
        s.send("+OK\r\n-ERR [AUTH] no\r\n-ERR not logged in\r\n-ERR not logged in\r\n-ERR not logged in\r\n"
               "-ERR not logged in\r\n");
      } else if (c.mails == 0) {
        s.send("+OK\r\n+OK\r\n+OK 0 0\r\n+OK\r\n.\r\n+OK\r\n.\r\n-ERR no such message\r\n");
      } else {
        s.send("+OK\r\n+OK\r\n+OK 3 90\r\n+OK\r\n1 id-1\r\n2 id-2\r\n3 id-3\r\n.\r\n"
               "+OK\r\n1 30\r\n2 30\r\n3 30\r\n.\r\n+OK\r\nSubject: first\r\n\r\n.\r\n");
      }
      for (std::string l; !(l = s.line()).empty() && !s.eof;) {
        if (l.rfind("TOP ", 0) == 0) s.send("+OK\r\nSubject: h" + l.substr(4, 1) + "\r\n\r\n.\r\n");
        else if (l.rfind("RETR ", 0) == 0) s.send("+OK\r\nSubject: m" + l.substr(5) + "\r\n\r\nbody\r\n.\r\n");
        else s.send("+OK\r\n");
        if (l == "QUIT") break;
      }
    });
    int h = NMailPop3Connect(srv.address().c_str());
    ASSERT_GE(h, 0);
    const int n = NMailPop3Authenticate(h, "u", "p", 0);
    if (c.refused) {
      EXPECT_EQ(n, NMAIL_ERR_AUTH) << lastMessage();
    } else {
      ASSERT_EQ(n, c.mails) << lastMessage();
    }
    if (c.mails > 0 && !c.refused) {
      char id[71];
      EXPECT_EQ(NMailPop3GetUidl(h, 3, id, sizeof id), 4);
      EXPECT_STREQ(id, "id-3");
      EXPECT_EQ(NMailPop3GetMailSize(h, 2), 30);
      Fields f;
      ASSERT_EQ(NMailPop3GetMailStatus(h, 1, f.subject.data(), f.date.data(), f.from.data(), f.header.data(), 0),
                NMAIL_SUCCESS)
          << lastMessage();
      EXPECT_STREQ(f.subject.data(), "first");
      ASSERT_EQ(NMailPop3GetMailStatus(h, 2, f.subject.data(), f.date.data(), f.from.data(), f.header.data(), 0),
                NMAIL_SUCCESS)
          << lastMessage();
      EXPECT_STREQ(f.subject.data(), "h2");
      std::string body;
      EXPECT_EQ(fetch(h, 1, f, body), NMAIL_SUCCESS) << lastMessage();
      EXPECT_EQ(body, "body\r\n");
      EXPECT_EQ(NMailPop3DeleteMail(h, 1), NMAIL_SUCCESS) << lastMessage();
    }
    EXPECT_EQ(NMailPop3Close(h), NMAIL_SUCCESS) << lastMessage();
    srv.join();
    for (const char* once : {"UIDL", "LIST", "TOP 1 0"})
      EXPECT_EQ(std::count(srv.received.begin(), srv.received.end(), once), 1) << once;
    if (!c.refused && c.mails > 0) {
      EXPECT_NE(std::find(srv.received.begin(), srv.received.end(), "DELE 1"), srv.received.end());
    } else {
      for (const std::string& l : srv.received)
        EXPECT_TRUE(l.rfind("RETR", 0) != 0 && l.rfind("DELE", 0) != 0 && l.rfind("TOP 2", 0) != 0) << l;
    }
    EXPECT_EQ(srv.received.empty() ? "" : srv.received.back(), "QUIT");
  }
  NMailSetOption(NMAIL_OPTION_LISTS_WITH_LOGIN, before);
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);
}

// A retrieval or a header that never ends breaks the conversation; the
// library names the mail whose answer it was, and the headers read before
// are still there. A server that hangs up between answers names none.
TEST(Pipelining, TheMailWhoseAnswerBrokeTheConversationIsNamed) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  nmail::limits::setForTests(4 << 10, 4 << 10);
  struct Case {
    const char* what;
    std::string endless;  // the command whose answer never ends
    bool hangUp;          // the server hangs up at DELE 1 instead
    int named;
  } cases[] = {
      {"endless retrieval of mail 2", "RETR 2", false, 2},
      {"endless header of mail 3", "TOP 3 0", false, 3},
      {"hung up at a deletion", "", true, 0},
  };
  for (const Case& c : cases) {
    for (bool pipelining : {false, true}) {
      SCOPED_TRACE(c.what);
      SCOPED_TRACE(pipelining);
      ScriptedServer srv([&](ScriptedServer& s) {
        s.send("+OK ready\r\n");
        for (std::string l; !(l = s.line()).empty() && !s.eof;) {
          if (l == "CAPA") s.send(pipelining ? "+OK\r\nPIPELINING\r\n.\r\n" : "-ERR\r\n");
          else if (l == "STAT") s.send("+OK 3 90\r\n");
          else if (l == "LIST") s.send("+OK\r\n1 30\r\n2 30\r\n3 30\r\n.\r\n");
          else if (l == c.endless) {
            s.send("+OK\r\n");
            const std::string junk = "X-Filler: " + std::string(1000, 'x') + "\r\n";
            for (int k = 0; k < 1000; ++k) s.send(junk);
            s.closeNow();
            return;
          } else if (l == "DELE 1" && c.hangUp) {
            s.closeNow();
            return;
          } else if (l.rfind("TOP ", 0) == 0) {
            s.send("+OK\r\nFrom: f" + l.substr(4, 1) + "@example.jp\r\nSubject: s" + l.substr(4, 1) + "\r\n\r\n.\r\n");
          } else if (l.rfind("RETR ", 0) == 0) {
            s.send("+OK\r\nSubject: " + l.substr(5) + "\r\n\r\nbody\r\n.\r\n");
          } else {
            s.send("+OK\r\n");
          }
        }
      });
      int h = NMailPop3Connect(srv.address().c_str());
      ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 3);
      Fields f;
      std::string body;
      int failed = 0;
      for (int i = 1; i <= 3 && failed == 0; ++i) {
        int r = NMailPop3GetMailStatus(h, i, f.subject.data(), f.date.data(), f.from.data(), f.header.data(), 0);
        if (r == NMAIL_SUCCESS) r = fetch(h, i, f, body);
        if (r == NMAIL_SUCCESS) r = NMailPop3DeleteMail(h, i);
        if (r != NMAIL_SUCCESS) {
          EXPECT_EQ(r, NMAIL_ERR_IO) << lastMessage();
          failed = i;
        }
      }
      EXPECT_NE(failed, 0);
      EXPECT_EQ(NMailPop3GetBrokenMail(h), c.named);
      if (c.named == 2) {
        // The header of the mail whose retrieval broke off was read before.
        ASSERT_EQ(NMailPop3GetMailStatus(h, 2, f.subject.data(), f.date.data(), f.from.data(), f.header.data(), 0),
                  NMAIL_SUCCESS);
        EXPECT_STREQ(f.subject.data(), "s2");
        EXPECT_STREQ(f.from.data(), "f2@example.jp");
      }
      EXPECT_LT(NMailPop3Close(h), 0);
      srv.join();
    }
  }
  nmail::limits::setForTests(512u << 20, 1u << 20);
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);
}

// The fields a header brought for the spam test serve the retrieval only
// when the retrieval's header is that header: a mail whose header changed
// between the two (or that TOP gave short) is read by what RETR brought.
TEST(Pipelining, TheRetrievalsFieldsAreItsOwnWhateverTheHeaderSaid) {
  for (bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining);
    ScriptedServer srv([&](ScriptedServer& s) {
      s.send("+OK ready\r\n");
      for (std::string l; !(l = s.line()).empty() && !s.eof;) {
        if (l == "CAPA") s.send(pipelining ? "+OK\r\nPIPELINING\r\n.\r\n" : "-ERR\r\n");
        else if (l == "STAT") s.send("+OK 2 120\r\n");
        else if (l == "LIST") s.send("+OK\r\n1 60\r\n2 60\r\n.\r\n");
        else if (l.rfind("TOP ", 0) == 0) s.send("+OK\r\nFrom: a@example.jp\r\nSubject: =?UTF-8?B?5pen?=\r\n\r\n.\r\n");
        else if (l == "RETR 1") s.send("+OK\r\nFrom: a@example.jp\r\nSubject: =?UTF-8?B?5pen?=\r\n\r\none\r\n.\r\n");
        else if (l == "RETR 2") s.send("+OK\r\nFrom: b@example.jp\r\nSubject: =?UTF-8?B?5paw?=\r\n\r\ntwo\r\n.\r\n");
        else s.send("+OK\r\n");
      }
    });
    int h = NMailPop3Connect(srv.address().c_str());
    ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 2);
    Fields f;
    std::string body;
    const char* subjects[] = {"旧", "新"};
    const char* froms[] = {"a@example.jp", "b@example.jp"};
    for (int i = 1; i <= 2; ++i) {
      ASSERT_EQ(NMailPop3GetMailStatus(h, i, f.subject.data(), f.date.data(), f.from.data(), f.header.data(), 0),
                NMAIL_SUCCESS);
      EXPECT_EQ(utf8(f.subject.data()), "旧");
      ASSERT_EQ(fetch(h, i, f, body), NMAIL_SUCCESS) << lastMessage();
      EXPECT_EQ(utf8(f.subject.data()), subjects[i - 1]);
      EXPECT_STREQ(f.from.data(), froms[i - 1]);
      EXPECT_NE(std::string(f.header.data()).find(froms[i - 1]), std::string::npos);
    }
    EXPECT_EQ(NMailPop3Close(h), NMAIL_SUCCESS);
    srv.join();
  }
}

// Dovecot's unique ids name the same mails in the next session, whatever
// was deleted in between.
TEST(Pipelining, DovecotUniqueIdsHoldAcrossSessions) {
  const std::string user = "nmail22";
  clearMaildrop(user);
  for (int i = 1; i <= 4; ++i) dropMail(user, i, mailOf(i));
  NMailInitializeWinSock();
  auto idsOf = [&](bool deleteFirst) {
    std::vector<std::string> ids;
    int h = NMailPop3Connect(testservers::kPop3Server);
    EXPECT_GE(h, 0);
    const int n = NMailPop3Authenticate(h, user.c_str(), testservers::password(user).c_str(), 0);
    for (int i = 1; i <= n; ++i) {
      char id[71];
      EXPECT_GT(NMailPop3GetUidl(h, i, id, sizeof id), 0) << lastMessage();
      ids.push_back(id);
    }
    if (deleteFirst) EXPECT_EQ(NMailPop3DeleteMail(h, 1), NMAIL_SUCCESS);
    EXPECT_EQ(NMailPop3Close(h), NMAIL_SUCCESS);
    return ids;
  };
  const std::vector<std::string> first = idsOf(true);
  ASSERT_EQ(first.size(), 4u);
  EXPECT_EQ(std::set<std::string>(first.begin(), first.end()).size(), 4u);
  const std::vector<std::string> second = idsOf(false);
  EXPECT_EQ(second, std::vector<std::string>(first.begin() + 1, first.end()));
  clearMaildrop(user);
}
