// The library's waits: the yield hook gets its turns, the time it takes is
// not the server's, and no server can stretch an answer or a session
// without end by answering slowly.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "mime_internal.h"
#include "test_util.h"

using namespace testutil;
using Clock = std::chrono::steady_clock;

namespace {

struct Bufs {
  std::vector<char> a = std::vector<char>(8192), b = std::vector<char>(8192), c = std::vector<char>(8192),
                    d = std::vector<char>(8192), body = std::vector<char>(8192);
};

// Greeting, no CAPA, USER, PASS, STAT of one mail, its LIST.
void loginOneMail(ScriptedServer& s) {
  s.send("+OK ready\r\n");
  s.line();  // CAPA
  s.send("-ERR\r\n");
  s.line();  // USER
  s.send("+OK\r\n");
  s.line();  // PASS
  s.send("+OK\r\n");
  s.line();  // STAT
  s.send("+OK 1 200\r\n");
}

bool saw(const ScriptedServer& s, const std::string& cmd) {
  return std::find(s.received.begin(), s.received.end(), cmd) != s.received.end();
}

struct HookState {
  int calls = 0;
  Clock::time_point last{};
  long long longestGapMs = 0;
  int sleepMs = 0;
  std::function<void()> action;
};
HookState* g_state = nullptr;

void hook(void*) {
  HookState& h = *g_state;
  const auto now = Clock::now();
  if (h.calls++ > 0)
    h.longestGapMs = std::max<long long>(
        h.longestGapMs, std::chrono::duration_cast<std::chrono::milliseconds>(now - h.last).count());
  if (h.sleepMs) std::this_thread::sleep_for(std::chrono::milliseconds(h.sleepMs));
  if (h.action) {
    auto a = std::move(h.action);
    h.action = nullptr;
    a();
  }
  h.last = Clock::now();
}

class WaitTest : public ::testing::Test {
 protected:
  HookState state;
  void SetUp() override {
    NMailInitializeWinSock();
    g_state = &state;
  }
  void TearDown() override {
    NMailSetYieldHook(nullptr, nullptr);
    g_state = nullptr;
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 30000);
  }
};

}  // namespace

// A server that holds its greeting: the hook runs all the while, never
// more than a few milliseconds apart, and the time it takes itself does not
// count against the server (here ten times the server's own).
TEST_F(WaitTest, TheHookRunsWhileTheServerHoldsItsAnswer) {
  NMailSetYieldHook(&hook, nullptr);
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 500);
  for (int sleepMs : {0, 100}) {
    SCOPED_TRACE(sleepMs);
    state = HookState{};
    state.sleepMs = sleepMs;
    ScriptedServer srv([](ScriptedServer& s) {
      s.silence(1200);
      s.send("+OK late\r\n");
      s.line();
    });
    const auto t0 = Clock::now();
    const int h = NMailPop3Connect(srv.address().c_str());
    if (sleepMs == 0) {
      // 1.2 s of silence is past the 500 ms timeout.
      EXPECT_EQ(h, -1);
      EXPECT_NE(lastMessage().find("時間切れ"), std::string::npos) << lastMessage();
      EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1100));
      // Turns every 10 ms or so (a loaded machine may stretch one now and then).
      EXPECT_GE(state.calls, 10);
      EXPECT_LT(state.longestGapMs, 250);
    } else {
      // The hook held the library most of the time: the server waited
      // little of its own.
      ASSERT_GE(h, 0) << lastMessage();
      EXPECT_GE(state.calls, 5);
      NMailPop3Close(h);
    }
  }
}

// One byte every tenth of a second keeps a connection alive but cannot
// stretch the answer: the fetch fails at about the timeout, as a broken
// connection does, and nothing is deleted (no QUIT).
TEST_F(WaitTest, ATrickleCannotStretchAnAnswer) {
  NMailSetYieldHook(&hook, nullptr);
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 1000);
  std::atomic<bool> stop{false};
  ScriptedServer srv([&](ScriptedServer& s) {
    loginOneMail(s);
    s.line();  // LIST
    s.send("+OK\r\n1 200\r\n.\r\n");
    s.line();  // RETR 1
    s.send("+OK\r\nSubject: slow\r\n\r\n");
    for (int k = 0; k < 150 && !stop; ++k) {
      s.send("x");
      s.silence(100);
    }
  });
  const int h = NMailPop3Connect(srv.address().c_str());
  ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 1) << lastMessage();
  Bufs b;
  std::vector<char> body(4096);
  const auto t0 = Clock::now();
  EXPECT_EQ(NMailPop3GetMail(h, 1, b.a.data(), b.b.data(), b.c.data(), b.d.data(), body.data(), 0, 0), NMAIL_ERR_IO);
  const auto took = Clock::now() - t0;
  EXPECT_LT(took, std::chrono::milliseconds(2500));
  EXPECT_GT(took, std::chrono::milliseconds(800));
  EXPECT_NE(lastMessage().find("時間切れ"), std::string::npos) << lastMessage();
  EXPECT_LT(NMailPop3DeleteMail(h, 1), 0);
  EXPECT_LT(NMailPop3Close(h), 0);
  stop = true;
  srv.join();
  EXPECT_FALSE(saw(srv, "QUIT"));
  EXPECT_FALSE(saw(srv, "DELE 1"));
}

// Every answer just within the timeout: the session as a whole still has
// a deadline, by the answers it had; a server at a link's pace passes.
TEST_F(WaitTest, SlowAnswersCannotStretchTheSession) {
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 1000);
  for (int delayMs : {100, 700}) {
    SCOPED_TRACE(delayMs);
    ScriptedServer srv([&](ScriptedServer& s) {
      s.send("+OK ready\r\n");
      for (std::string l; !(l = s.line()).empty() && !s.eof;) {
        s.silence(delayMs);
        if (l == "CAPA") s.send("-ERR\r\n");
        else if (l == "STAT") s.send("+OK 9 900\r\n");
        else if (l == "LIST") s.send("+OK\r\n1 100\r\n2 100\r\n3 100\r\n4 100\r\n5 100\r\n6 100\r\n7 100\r\n8 100\r\n9 100\r\n.\r\n");
        else if (l.rfind("TOP ", 0) == 0) s.send("+OK\r\nSubject: " + l.substr(4) + "\r\n\r\n.\r\n");
        else s.send("+OK\r\n");
        if (l == "QUIT") break;
      }
    });
    const auto t0 = Clock::now();
    const int h = NMailPop3Connect(srv.address().c_str());
    ASSERT_GE(h, 0);
    int result = NMailPop3Authenticate(h, "u", "p", 0);
    Bufs b;
    for (int i = 1; i <= 9 && result >= 0; ++i)
      result = NMailPop3GetMailStatus(h, i, b.a.data(), b.b.data(), b.c.data(), b.d.data(), 0);
    if (delayMs == 100) {
      EXPECT_EQ(result, NMAIL_SUCCESS) << lastMessage();
      EXPECT_EQ(NMailPop3Close(h), NMAIL_SUCCESS);
    } else {
      EXPECT_EQ(result, NMAIL_ERR_IO);
      EXPECT_NE(lastMessage().find("時間切れ"), std::string::npos) << lastMessage();
      // Cut after a few answers, not after all thirteen.
      EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(13 * 700 - 2000));
      EXPECT_LT(NMailPop3Close(h), 0);
    }
    srv.join();
  }
}

// The hook may end the library while a call waits: the call fails as
// with a broken connection, and nothing is deleted.
TEST_F(WaitTest, EndingTheLibraryFromTheHookFailsTheCallUnderWay) {
  NMailSetYieldHook(&hook, nullptr);
  NMailSetOption(NMAIL_OPTION_TIMEOUT, 5000);
  std::atomic<bool> released{false};
  ScriptedServer srv([&](ScriptedServer& s) {
    loginOneMail(s);
    s.line();  // LIST
    s.send("+OK\r\n1 200\r\n.\r\n");
    s.line();  // RETR 1
    for (int k = 0; k < 300 && !released; ++k) s.silence(10);
    s.line();
  });
  const int h = NMailPop3Connect(srv.address().c_str());
  ASSERT_EQ(NMailPop3Authenticate(h, "u", "p", 0), 1) << lastMessage();
  std::vector<char> body(4096);
  Bufs b;
  // Ends the library at the hook's third turn inside the fetch.
  int turns = 0;
  std::function<void()> endSoon;
  endSoon = [&] {
    if (++turns < 3) {
      state.action = endSoon;
      return;
    }
    NMailEndWinSock();
  };
  state.action = endSoon;
  EXPECT_EQ(NMailPop3GetMail(h, 1, b.a.data(), b.b.data(), b.c.data(), b.d.data(), body.data(), 0, 0), NMAIL_ERR_IO);
  EXPECT_LT(NMailPop3Close(h), 0);  // the handle is gone
  released = true;
  srv.join();
  EXPECT_FALSE(saw(srv, "QUIT"));
  NMailInitializeWinSock();
}

// A large mail is looked through for the lines that separate its parts
// (mended before it is read) a piece at a time: the hook has its turns all
// the while, also in a part of a hundred megabytes that holds no such line.
TEST_F(WaitTest, TheHookRunsWhileALargeMailIsLookedThroughForItsParts) {
  NMailSetYieldHook(&hook, nullptr);
  // As it is, and with a boundary its body never uses (the mending copies it).
  for (const std::string named : {"b1", "unused"}) {
    SCOPED_TRACE(named);
    state = HookState{};
    std::string mail = "From: a@example.jp\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" + named +
                       "\"\r\n\r\n--b1\r\nContent-Type: application/octet-stream\r\n\r\n";
    mail.append(128u << 20, 'A');
    mail += "\r\n--b1--\r\n";
    const auto t0 = Clock::now();
    state.last = t0;
    std::string keep;
    std::map<std::size_t, nmail::mime::EnclosedRange> enclosed;
    const std::string_view read = nmail::mime::readable(mail, keep, enclosed);
    const long long took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_LT(std::max(read.size(), mail.size()) - std::min(read.size(), mail.size()), 16u);
    EXPECT_EQ(read.data() == keep.data(), named != "b1");  // mended (copied) only with the unused boundary
    // Turns come every 10 ms or so once the look takes longer than that (the
    // pieces are small; a loaded machine may stretch one now and then).
    if (took > 60) {
      EXPECT_GE(state.calls, static_cast<int>(took / 60)) << took << " ms";
      EXPECT_LT(state.longestGapMs, std::max<long long>(50, took / 3)) << took << " ms";
    }
  }
}
