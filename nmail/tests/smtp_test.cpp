// Sending against the real SMTP server of the test fixture, and reading
// back what it received.
#include <gtest/gtest.h>

#include <chrono>
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
