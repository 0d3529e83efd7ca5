// The POP3 side against the real Dovecot server of the test fixture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

using namespace testutil;

namespace {

constexpr int kBuf = 8192;

struct Buffers {
  std::vector<char> subject = std::vector<char>(kBuf), date = std::vector<char>(kBuf),
                    from = std::vector<char>(kBuf), header = std::vector<char>(kBuf);
};

// One test account each: the tests run side by side.
class Pop3 : public ::testing::Test {
 protected:
  void use(const std::string& user) {
    user_ = user;
    clearMaildrop(user_);
    NMailInitializeWinSock();
    NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, kBuf);
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 10000);
  }
  void TearDown() override {
    if (!user_.empty()) clearMaildrop(user_);
  }
  int login(bool apop = false) {
    handle_ = NMailPop3Connect(testservers::kPop3Server);
    EXPECT_GE(handle_, 0) << lastMessage();
    std::string pw = testservers::password(user_);
    return NMailPop3Authenticate(handle_, user_.c_str(), pw.c_str(), apop ? -1 : 0);
  }
  // Fetches mail no whole, as the mail check does.
  std::string fetch(int no, Buffers& b, int* result = nullptr) {
    int size = NMailPop3GetMailSize(handle_, no);
    EXPECT_GT(size, 0);
    std::vector<char> body(static_cast<std::size_t>(size) + 1, ' ');
    int r = NMailPop3GetMail(handle_, no, b.subject.data(), b.date.data(), b.from.data(),
                             b.header.data(), body.data(), 0, 0);
    if (result) *result = r;
    EXPECT_EQ(r, NMAIL_SUCCESS) << lastMessage();
    return body.data();
  }
  std::string user_;
  int handle_ = -1;
};

std::string iso2022jp(std::string_view utf8Text) {
  std::string out;
  EXPECT_TRUE(nmail::charset::utf8ToIso2022jp(utf8Text, out));
  return out;
}

std::string word(std::string_view charset, std::string_view bytes) {
  return "=?" + std::string(charset) + "?B?" + nmail::text::base64Encode(bytes, 0) + "?=";
}

}  // namespace

TEST_F(Pop3, UserAndApopLoginsCountTheWaitingMails) {
  use("nmail01");
  dropMail(user_, 1, "From: a@example.jp\nSubject: one\n\nfirst\n");
  dropMail(user_, 2, "From: b@example.jp\nSubject: two\n\nsecond\n");
  EXPECT_EQ(login(false), 2) << lastMessage();
  EXPECT_EQ(NMailPop3Close(handle_), NMAIL_SUCCESS);
  EXPECT_EQ(login(true), 2) << lastMessage();
  EXPECT_EQ(NMailPop3Close(handle_), NMAIL_SUCCESS);
}

TEST_F(Pop3, WrongPasswordFailsWithTheServersWords) {
  use("nmail02");
  for (int apop : {0, -1}) {
    int h = NMailPop3Connect(testservers::kPop3Server);
    ASSERT_GE(h, 0);
    EXPECT_LT(NMailPop3Authenticate(h, user_.c_str(), "not-the-password", apop), 0);
    std::string msg = lastMessage();
    EXPECT_NE(msg.find("ログインできません"), std::string::npos) << msg;
    EXPECT_NE(msg.find("-ERR"), std::string::npos) << msg;
    NMailPop3Close(h);
  }
}

TEST_F(Pop3, EmptyMaildropAndSizes) {
  use("nmail03");
  EXPECT_EQ(login(), 0);
  NMailPop3Close(handle_);
  std::string small = "From: a@example.jp\nSubject: s\n\nshort\n";
  std::string big = "From: a@example.jp\nSubject: b\n\n" + std::string(5000, 'x') + "\n";
  dropMail(user_, 1, small);
  dropMail(user_, 2, big);
  ASSERT_EQ(login(), 2);
  // Sizes as the server counts them: line ends CR LF.
  EXPECT_EQ(NMailPop3GetMailSize(handle_, 1), static_cast<int>(small.size() + 4));
  EXPECT_EQ(NMailPop3GetMailSize(handle_, 2), static_cast<int>(big.size() + 4));
  EXPECT_LT(NMailPop3GetMailSize(handle_, 3), 0);
  EXPECT_LT(NMailPop3GetMailSize(handle_, 0), 0);
  NMailPop3Close(handle_);
}

TEST_F(Pop3, JapaneseSubjectsAndBodies) {
  use("nmail04");
  const std::string subject = "会議の件①について";
  const std::string sender = "山田 太郎";
  const std::string text = "こんにちは。\n明日の会議は１０時からです。\n";
  // ISO-2022-JP, the classic Japanese mail.
  dropMail(user_, 1,
           "From: " + word("ISO-2022-JP", iso2022jp(sender)) + " <taro@example.jp>\n"
           "Subject: " + word("ISO-2022-JP", iso2022jp("明日の会議")) + "\n"
           "Date: Tue, 1 Dec 2026 10:00:00 +0900\n"
           "MIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=ISO-2022-JP\n"
           "Content-Transfer-Encoding: 7bit\n\n" + iso2022jp(text));
  // UTF-8, base64 body, a subject split over two words in the middle of a
  // character, with a character ISO-2022-JP has not.
  std::string su = subject;
  dropMail(user_, 2,
           "From: " + word("UTF-8", sender) + " <taro@example.jp>\n"
           "Subject: " + word("UTF-8", su.substr(0, 7)) + "\n " + word("UTF-8", su.substr(7)) + "\n"
           "Date: Wed, 2 Dec 2026 11:00:00 +0900\n"
           "MIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=UTF-8\n"
           "Content-Transfer-Encoding: base64\n\n" + nmail::text::base64Encode(text) + "\n");
  // Shift_JIS quoted-printable body, EUC-JP subject.
  dropMail(user_, 3,
           "From: hanako@example.jp\n"
           "Subject: =?EUC-JP?B?" + nmail::text::base64Encode("\xc6\xfc\xcb\xdc", 0) + "?=\n"
           "Content-Type: text/plain; charset=Shift_JIS\n"
           "Content-Transfer-Encoding: quoted-printable\n\n=93=FA=96{=8C=EA\n");
  ASSERT_EQ(login(), 3);

  Buffers b;
  ASSERT_EQ(NMailPop3GetMailStatus(handle_, 1, b.subject.data(), b.date.data(), b.from.data(),
                                   b.header.data(), 0), NMAIL_SUCCESS);
  EXPECT_EQ(utf8(b.subject.data()), "明日の会議");
  EXPECT_EQ(utf8(b.from.data()), "山田 太郎 <taro@example.jp>");
  EXPECT_EQ(std::string(b.date.data()), "Tue, 1 Dec 2026 10:00:00 +0900");
  EXPECT_NE(std::string(b.header.data()).find("Content-Type: text/plain; charset=ISO-2022-JP"),
            std::string::npos);

  std::string body = fetch(1, b);
  EXPECT_EQ(utf8(body), "こんにちは。\r\n明日の会議は１０時からです。\r\n");

  body = fetch(2, b);
  EXPECT_EQ(utf8(b.subject.data()), subject);
  EXPECT_EQ(utf8(b.date.data()), "Wed, 2 Dec 2026 11:00:00 +0900");
  EXPECT_EQ(utf8(body), "こんにちは。\r\n明日の会議は１０時からです。\r\n");

  body = fetch(3, b);
  EXPECT_EQ(utf8(b.subject.data()), "日本");
  EXPECT_EQ(utf8(body), "日本語\r\n");
  NMailPop3Close(handle_);
}

TEST_F(Pop3, TwoAttachmentsAreWrittenByteEqual) {
  use("nmail05");
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7 + i / 256) & 0xFF);
  std::string second = "plain attachment text\r\nline 2\r\n";
  std::string mail =
      "From: a@example.jp\nSubject: " + word("ISO-2022-JP", iso2022jp("添付２つ")) + "\n"
      "MIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"b1\"\n\n"
      "--b1\nContent-Type: text/plain; charset=ISO-2022-JP\n\n" + iso2022jp("本文です。\n") +
      "--b1\nContent-Type: application/octet-stream\n"
      "Content-Disposition: attachment; filename*=UTF-8''%E5%86%99%E7%9C%9F.bin\n"
      "Content-Transfer-Encoding: base64\n\n" + nmail::text::base64Encode(binary) + "\n"
      "--b1\nContent-Type: text/plain; name=\"note.txt\"\n"
      "Content-Disposition: attachment; filename=\"note.txt\"\n"
      "Content-Transfer-Encoding: base64\n\n" + nmail::text::base64Encode(second) + "\n"
      "--b1--\n";
  dropMail(user_, 1, mail);
  ASSERT_EQ(login(), 1);
  Buffers b;
  std::string body = fetch(1, b);
  // The multipart body as it is, so that the check finds "attachment".
  EXPECT_NE(body.find("Content-Disposition: attachment"), std::string::npos);
  NMailPop3Close(handle_);

  // The mail check joins header and body and hands them to the unpacking.
  ScratchDir dir;
  std::string mailText = std::string(b.header.data()) + "\r\n" + body + "\r\n";
  Buffers u;
  std::vector<char> text(mailText.size() + 1);
  int r = NMailAttachmentFileFirst(0, u.subject.data(), u.date.data(), u.from.data(), u.header.data(),
                                   text.data(), dir.path.c_str(), (dir.path + "/0.txt").c_str(),
                                   mailText.c_str(), 0);
  NMailAttachmentFileClose(0);
  ASSERT_EQ(r, NMAIL_SUCCESS) << lastMessage();
  EXPECT_EQ(utf8(u.subject.data()), "添付２つ");
  EXPECT_EQ(utf8(text.data()), "本文です。");
  EXPECT_TRUE(readFile(dir.path + "/写真.bin") == binary);
  EXPECT_EQ(readFile(dir.path + "/note.txt"), second);
  EXPECT_EQ(listDir(dir.path).size(), 2u);
}

TEST_F(Pop3, DeletionReachesTheServerOnlyWithQuit) {
  use("nmail06");
  dropMail(user_, 1, "From: a@example.jp\nSubject: 1\n\none\n");
  dropMail(user_, 2, "From: a@example.jp\nSubject: 2\n\ntwo\n");
  dropMail(user_, 3, "From: a@example.jp\nSubject: 3\n\nthree\n");
  ASSERT_EQ(login(), 3);
  EXPECT_EQ(NMailPop3DeleteMail(handle_, 2), NMAIL_SUCCESS);
  EXPECT_LT(NMailPop3DeleteMail(handle_, 2), 0);  // already marked
  EXPECT_LT(NMailPop3DeleteMail(handle_, 9), 0);
  EXPECT_EQ(NMailPop3Close(handle_), NMAIL_SUCCESS);
  EXPECT_EQ(countMaildrop(user_), 2);
  ASSERT_EQ(login(), 2);
  Buffers b;
  ASSERT_EQ(NMailPop3GetMailStatus(handle_, 2, b.subject.data(), b.date.data(), b.from.data(),
                                   b.header.data(), 0), NMAIL_SUCCESS);
  EXPECT_STREQ(b.subject.data(), "3");
  NMailPop3Close(handle_);
  // A session that ends without QUIT deletes nothing.
  ASSERT_EQ(login(), 2);
  EXPECT_EQ(NMailPop3DeleteMail(handle_, 1), NMAIL_SUCCESS);
  NMailEndWinSock();
  EXPECT_EQ(countMaildrop(user_), 2);
}

TEST_F(Pop3, LongHeaderKeepsTheFieldsTheMailNeeds) {
  use("nmail07");
  std::string mail;
  for (int i = 0; i < 200; ++i)
    mail += "Received: from relay" + std::to_string(i) + ".example.jp by mx.example.jp; Tue, 1 Dec 2026\n";
  mail += "From: a@example.jp\nSubject: long\nMIME-Version: 1.0\n"
          "Content-Type: multipart/mixed; boundary=\"zz\"\n\n"
          "--zz\nContent-Type: text/plain\n\nhello\n"
          "--zz\nContent-Type: application/octet-stream\n"
          "Content-Disposition: attachment; filename=\"a.bin\"\n\nAAAA\n--zz--\n";
  dropMail(user_, 1, mail);
  ASSERT_EQ(login(), 1);
  Buffers b;
  std::string body = fetch(1, b);
  std::string header = b.header.data();
  EXPECT_LT(header.size(), static_cast<std::size_t>(kBuf));
  EXPECT_NE(header.find("Content-Type: multipart/mixed; boundary=\"zz\""), std::string::npos);
  EXPECT_NE(header.find("Subject: long"), std::string::npos);
  EXPECT_NE(header.find("Received: from relay0."), std::string::npos);
  NMailPop3Close(handle_);
}

// The mail check joins the fetched header and body and unpacks them; the
// text it then stores is the unpacked body. That road keeps every kind of
// mail readable; the attachment step knows the fetched mail again (the line
// end added after the body makes no difference) and reads it as it came.
TEST_F(Pop3, FetchedHeaderAndBodyUnpackToTheSameText) {
  use("nmail08");
  const std::string text = "日本語の本文です。\n二行目\n";
  std::string utf8Text = text;
  struct Mail {
    std::string raw, expectBody;
  } mails[] = {
      {"Subject: b64\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n" +
           nmail::text::base64Encode(text) + "\n",
       "日本語の本文です。\r\n二行目\r\n"},
      {"Subject: qp\nContent-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: quoted-printable\n\n" +
           std::string("=1B$BF|K\\8l=1B(B\n"),
       "日本語\r\n"},
      {"Subject: 8bit multipart\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"q\"\n\n"
       "--q\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + text +
           "--q\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"x.bin\"\n"
           "Content-Transfer-Encoding: base64\n\nAAEC\n--q--\n",
       "日本語の本文です。\r\n二行目"},
      {"Subject: html\nContent-Type: text/html; charset=EUC-JP\n\n\xc6\xfc\xcb\xdc\n", "日本\r\n"},
  };
  int no = 0;
  for (const auto& m : mails) dropMail(user_, ++no, m.raw);
  ASSERT_EQ(login(), no);
  for (int i = 1; i <= no; ++i) {
    Buffers b;
    std::string body = fetch(i, b);
    std::string mailText = std::string(b.header.data()) + "\r\n" + body + "\r\n";
    ScratchDir dir;
    Buffers u;
    std::vector<char> out(mailText.size() + 1);
    ASSERT_EQ(NMailAttachmentFileFirst(0, u.subject.data(), u.date.data(), u.from.data(), u.header.data(),
                                       out.data(), dir.path.c_str(), "", mailText.c_str(), 0),
              NMAIL_SUCCESS);
    EXPECT_EQ(utf8(out.data()), mails[i - 1].expectBody) << mails[i - 1].raw;
    EXPECT_STREQ(u.subject.data(), b.subject.data());
  }
  NMailPop3Close(handle_);
}
