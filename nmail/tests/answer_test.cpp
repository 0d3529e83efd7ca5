// A POP3 multi-line answer is read the same however the network cuts it
// into pieces: a line's leading dot, a CR LF, the closing dot and a long
// line may each be split between two pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net.h"
#include "test_util.h"

namespace {

using testutil::ScriptedServer;

// Serves "+OK", then the pieces one by one with a pause between them (so
// that each arrives on its own), then "+OK after".
std::string readAnswerIn(const std::vector<std::string>& pieces, std::size_t maxBytes, bool& ok, bool& tooLarge,
                         std::string& after) {
  ScriptedServer server([&](ScriptedServer& s) {
    s.send("+OK\r\n");
    for (const std::string& p : pieces) {
      s.silence(20);
      s.send(p);
    }
    s.send("+OK after\r\n");
    s.line();  // until the client goes
  });
  nmail::net::Connection c;
  std::string error, status, out;
  std::string host;
  int port = 0;
  EXPECT_TRUE(nmail::net::splitServer(server.address(), 110, host, port));
  EXPECT_TRUE(c.open(host, port, 5000, error)) << error;
  EXPECT_TRUE(c.readLine(status, error)) << error;
  tooLarge = false;
  ok = c.readDotBody(out, error, maxBytes, &tooLarge, 1 << 20);
  after.clear();
  if (ok || tooLarge) {
    EXPECT_TRUE(c.readLine(after, error)) << error;
  }
  c.close();
  return out;
}

}  // namespace

TEST(Answer, ReadTheSameHoweverItIsCut) {
  const std::string longLine(300 << 10, 'y');
  struct Case {
    const char* what;
    std::vector<std::string> pieces;
    std::string text;
  } cases[] = {
      {"a leading dot alone", {".", ".x\r\n", "..", ".\r\n.\r\n"}, ".x\r\n..\r\n"},
      {"CR LF split", {"a\r", "\nb", "c\r\n", ".\r\n"}, "a\r\nbc\r\n"},
      {"the closing dot split", {"line\r\n.", "\r", "\n"}, "line\r\n"},
      {"bare LF line ends", {"one\ntwo\n.", "\n"}, "one\r\ntwo\r\n"},
      {"a lone CR inside a line", {"a\rb\r\n", ".\r\n"}, "a\rb\r\n"},
      {"a long line in pieces",
       {longLine.substr(0, 1000), longLine.substr(1000, 200000), longLine.substr(201000) + "\r", "\n.\r\n"},
       longLine + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool ok = false, tooLarge = false;
    std::string after;
    EXPECT_EQ(readAnswerIn(c.pieces, 1 << 20, ok, tooLarge, after), c.text);
    EXPECT_TRUE(ok);
    EXPECT_EQ(after, "+OK after");
  }
}

// An answer past the limit is read past in pieces, kept nowhere, and the
// conversation goes on after it.
TEST(Answer, PastTheLimitItIsReadPastAndTheConversationGoesOn) {
  const std::string body(5000, 'z');
  bool ok = true, tooLarge = false;
  std::string after;
  const std::string out =
      readAnswerIn({body.substr(0, 100), body.substr(100) + "\r\n..", "z\r\n", ".\r\n"}, 1000, ok, tooLarge, after);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(tooLarge);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(after, "+OK after");
}
