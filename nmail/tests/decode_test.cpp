// Mail as Japanese mailers and web mailers write it, taken off the real
// POP3 server and unpacked the way the mail check does: every part by its
// own headers, every name whole, every attachment byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "test_util.h"

using namespace testutil;

namespace {

constexpr int kBuf = 8192;
constexpr int kUnpackedBody = 1 << 20;

std::string jis(std::string_view utf8Text) {
  std::string out;
  EXPECT_TRUE(nmail::charset::utf8ToIso2022jp(utf8Text, out)) << utf8Text;
  return out;
}

std::string b64(std::string_view bytes) { return nmail::text::base64Encode(bytes, 0); }

// What one mail left behind: the texts (UTF-8) and the files written.
struct Received {
  int fetchResult = 0, unpackResult = 0;
  std::string subject, from, fetchedBody, body;
  std::map<std::string, std::string> files;
};

class Decode : public ::testing::Test {
 protected:
  void SetUp() override {
    NMailInitializeWinSock();
    NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, kBuf);
    NMailSetOption(NMAIL_OPTION_TIMEOUT, 10000);
    NMailSetOption(NMAIL_OPTION_UNPACKED_BODY_SIZE, kUnpackedBody);
  }
  void TearDown() override {
    NMailSetOption(NMAIL_OPTION_UNPACKED_BODY_SIZE, 0);
    if (!user_.empty()) clearMaildrop(user_);
  }
  // Puts the mails on the server, then fetches and unpacks each in turn
  // into folder.
  std::vector<Received> receive(const std::string& user, const std::vector<std::string>& mails,
                                const std::string& folder) {
    user_ = user;
    clearMaildrop(user);
    for (std::size_t i = 0; i < mails.size(); ++i) dropMail(user, static_cast<int>(i + 1), mails[i]);
    std::vector<Received> out;
    int handle = NMailPop3Connect(testservers::kPop3Server);
    EXPECT_GE(handle, 0) << lastMessage();
    std::string pw = testservers::password(user);
    EXPECT_EQ(NMailPop3Authenticate(handle, user.c_str(), pw.c_str(), 0), static_cast<int>(mails.size()));
    for (std::size_t i = 1; i <= mails.size(); ++i) {
      Received r;
      std::vector<char> s(kBuf), d(kBuf), f(kBuf), h(kBuf);
      int size = NMailPop3GetMailSize(handle, static_cast<int>(i));
      std::vector<char> body(static_cast<std::size_t>(std::max(size, 0)) + 1, ' ');
      r.fetchResult = NMailPop3GetMail(handle, static_cast<int>(i), s.data(), d.data(), f.data(), h.data(),
                                       body.data(), 0, 0);
      r.fetchedBody = utf8(body.data());
      std::string text = mailTextOf(h.data(), body.data());
      std::vector<char> unpacked(std::max<std::size_t>(text.size() + 1, kUnpackedBody));
      r.unpackResult = NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), unpacked.data(),
                                                folder.c_str(), "", text.c_str(), 0);
      NMailAttachmentFileClose(0);
      r.subject = utf8(s.data());
      r.from = utf8(f.data());
      r.body = utf8(unpacked.data());
      for (const auto& name : listDir(folder)) r.files[name] = readFile(folder + "/" + name);
      out.push_back(std::move(r));
    }
    NMailPop3Close(handle);
    return out;
  }
  std::string user_;
};

// Every byte value, NUL and lone CR among them. (A line of 8bit data ends
// in CR LF: POP3 servers send a lone LF as CR LF.)
std::string binaryBytes() {
  std::string s;
  for (int round = 0; round < 3; ++round)
    for (int b = 0; b < 256; ++b) s += b == '\n' ? std::string("\r\n") : std::string(1, static_cast<char>(b));
  return s + std::string("\r\0\xff\r\rend", 8);
}

}  // namespace

// A 7-bit ISO-2022-JP text part among raw 8-bit bytes elsewhere in the mail:
// an 8-bit preamble, a raw Shift_JIS name, a raw UTF-8 name, an 8bit binary
// part. Each part is read by its own headers; nothing is read as one text.
TEST_F(Decode, EveryPartByItsOwnHeaders) {
  ScratchDir dir;
  const std::string binary = binaryBytes();
  const std::string mail =
      "From: =?ISO-2022-JP?B?" + b64(jis("山田")) + "?= <yamada@example.jp>\r\n"
      "Subject: =?ISO-2022-JP?B?" + b64(jis("ご報告")) + "?=\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
      "\x82\xb1\x82\xea\x82\xcd preamble\r\n"  // raw Shift_JIS before the first part
      "--b1\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" +
      jis("ご報告です。\r\n添付をご確認ください。\r\n") +
      "--b1\r\nContent-Type: text/plain; charset=Shift_JIS\r\n"
      "Content-Disposition: attachment; filename=\"\x95\xf1\x8d\x90\x8f\x91.txt\"\r\n\r\n"  // 報告書.txt
      "\x95\xf1\x8d\x90\r\n"
      "--b1\r\nContent-Type: application/octet-stream; name=\"資料.dat\"\r\n"  // raw UTF-8
      "Content-Transfer-Encoding: 8bit\r\n\r\n" + binary + "\r\n--b1--\r\n";
  auto r = receive("nmail25", {mail}, dir.path);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].fetchResult, NMAIL_SUCCESS) << lastMessage();
  EXPECT_EQ(r[0].unpackResult, NMAIL_SUCCESS) << lastMessage();
  EXPECT_EQ(r[0].subject, "ご報告");
  EXPECT_EQ(r[0].from, "山田 <yamada@example.jp>");
  EXPECT_EQ(r[0].body, "ご報告です。\r\n添付をご確認ください。");  // the last line end is the boundary's
  ASSERT_EQ(r[0].files.size(), 2u);
  EXPECT_EQ(r[0].files["報告書.txt"], "\x95\xf1\x8d\x90");
  EXPECT_EQ(r[0].files["資料.dat"], binary);
}

// Long names split by mailers into several ISO-2022-JP words, on one line
// or folded, in RFC 2231 sections, or written as raw ISO-2022-JP: each is
// saved whole, extension included; split subjects are joined the same way.
TEST_F(Decode, SplitAndRawNamesSavedWhole) {
  const std::string name = "令和六年度事業計画書（最終確定版）";
  const std::string coded = jis(name);
  // Words of five characters that each end in ASCII mode, as mailers cut
  // them; the last word holds the extension.
  auto joined = [&](const std::string& text, const std::string& sep) {
    std::string s;
    for (std::size_t at = 0; at < text.size();) {
      std::size_t len = std::min<std::size_t>(text.size() - at, 5 * 3);
      s += (s.empty() ? "" : sep) + "=?ISO-2022-JP?B?" + b64(jis(text.substr(at, len))) + "?=";
      at += len;
    }
    return s;
  };
  std::string sections;
  const std::string utf8Name = name + ".docx";
  for (std::size_t at = 0, k = 0; at < utf8Name.size(); at += 12, ++k) {
    std::string pct;
    for (unsigned char c : utf8Name.substr(at, 12)) {
      char b[4];
      std::snprintf(b, sizeof b, "%%%02X", c);
      pct += b;
    }
    sections += ";\r\n filename*" + std::to_string(k) + "*=" + (k == 0 ? "UTF-8''" : "") + pct;
  }
  struct Case {
    std::string disposition, expect;
  } cases[] = {
      {"attachment; filename=\"" + joined(name, " ") + ".docx\"", name + ".docx"},
      {"attachment;\r\n filename=\"" + joined(name + ".docx", "\r\n ") + "\"", name + ".docx"},
      {"attachment" + sections, name + ".docx"},
      {"attachment; filename=\"" + coded + ".docx\"", name + ".docx"},
  };
  std::vector<std::string> mails;
  for (const auto& c : cases)
    mails.push_back("Subject: " + joined(name, "\r\n ") + "\r\nMIME-Version: 1.0\r\n"
                    "Content-Type: multipart/mixed; boundary=\"s\"\r\n\r\n"
                    "--s\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nsee file\r\n"
                    "--s\r\nContent-Type: application/vnd.openxmlformats-officedocument.wordprocessingml.document\r\n"
                    "Content-Disposition: " + c.disposition + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                    b64("PK\x03\x04 docx") + "\r\n--s--\r\n");
  std::vector<ScratchDir> dirs(mails.size());
  for (std::size_t i = 0; i < mails.size(); ++i) {
    auto r = receive("nmail26", {mails[i]}, dirs[i].path);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].unpackResult, NMAIL_SUCCESS) << lastMessage();
    EXPECT_EQ(r[0].subject, name);
    ASSERT_EQ(r[0].files.size(), 1u) << cases[i].disposition;
    EXPECT_EQ(r[0].files.begin()->first, cases[i].expect) << cases[i].disposition;
    EXPECT_EQ(r[0].files.begin()->second, "PK\x03\x04 docx");
  }
}

// Text labelled Shift_JIS or ISO-2022-JP carries the Windows extensions and
// half-width katakana, in bodies, headers and names alike.
TEST_F(Decode, JapaneseLabelsReadAsTheirWindowsSupersets) {
  ScratchDir dir;
  // ①企画書 and 髙橋様 ㈱ﾃｽﾄ in Shift_JIS as Windows writes it.
  const std::string sjisName = "\x87\x40\x8a\xe9\x89\xe6\x8f\x91.txt";
  const std::string sjisText = "\xfb\xfc\x8b\xb4\x97\x6c \x87\x8a\xc3\xbd\xc4\r\n";
  // The same in ISO-2022-JP: NEC row 13 (①, ㈱), the IBM rows (髙 at
  // 0x7C62, as Windows writes it), kana by ESC ( I.
  const std::string jisText = "\x1b$B-!4k2h=q\x1b(B \x1b$B|b66MM-j\x1b(B\x1b(IC=D\x1b(B\r\n";
  const std::string mails[] = {
      "Subject: =?Shift_JIS?B?" + b64("\x87\x40\x8a\xe9\x89\xe6\x8f\x91") + "?=\r\n"
      "From: =?shift_jis?B?" + b64("\xfb\xfc\x8b\xb4") + "?= <t@example.jp>\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"k\"\r\n\r\n"
      "--k\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + sjisText +
      "--k\r\nContent-Type: text/plain; charset=Shift_JIS; name=\"" + sjisName + "\"\r\n"
      "Content-Disposition: attachment; filename=\"=?Shift_JIS?B?" + b64(sjisName) + "?=\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\n" + b64(sjisText) + "\r\n--k--\r\n",
      "Subject: =?ISO-2022-JP?B?" + b64("\x1b$B-!4k2h=q\x1b(B") + "?=\r\nMIME-Version: 1.0\r\n"
      "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + jisText,
  };
  auto r = receive("nmail27", {mails[0], mails[1]}, dir.path);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].subject, "①企画書");
  EXPECT_EQ(r[0].from, "髙橋 <t@example.jp>");
  EXPECT_EQ(r[0].body, "髙橋様 ㈱ﾃｽﾄ");
  EXPECT_EQ(r[0].files["①企画書.txt"], sjisText);
  EXPECT_EQ(r[1].subject, "①企画書");
  EXPECT_EQ(r[1].fetchedBody, "①企画書 髙橋様㈱ﾃｽﾄ\r\n");
}

// A single-part text mail that names its text without calling it an
// attachment: the text is the body, and the file is written as sent.
TEST_F(Decode, NamedSinglePartTextGivesTextAndFile) {
  ScratchDir dir;
  const std::string text = jis("議事録です。\r\n以上\r\n");
  const std::string mail = "Subject: minutes\r\nMIME-Version: 1.0\r\n"
                           "Content-Type: text/plain; charset=ISO-2022-JP; name=\"=?ISO-2022-JP?B?" +
                           b64(jis("議事録")) + "?=.txt\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + b64(text) +
                           "\r\n";
  auto r = receive("nmail28", {mail}, dir.path);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].fetchedBody, "議事録です。\r\n以上\r\n");
  EXPECT_EQ(r[0].unpackResult, NMAIL_SUCCESS) << lastMessage();
  EXPECT_EQ(r[0].body, "議事録です。\r\n以上\r\n");
  ASSERT_EQ(r[0].files.size(), 1u);
  EXPECT_EQ(r[0].files["議事録.txt"], text);
}

// A split mail joined from pieces keeps its whole text, however short its
// last piece.
TEST_F(Decode, JoinedSplitMailKeepsItsWholeText) {
  ScratchDir dir;
  std::string longText;
  for (int i = 0; i < 400; ++i) longText += "第" + std::to_string(i) + "行　分割されたメールの本文です。\r\n";
  const std::string inner = "Subject: =?UTF-8?B?" + b64("分割") + "?=\r\nMIME-Version: 1.0\r\n"
                            "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                            nmail::text::base64Encode(longText) + "\r\n";
  const std::size_t cut1 = inner.size() * 2 / 3, cut2 = inner.size() - 40;
  const std::string pieces[] = {inner.substr(0, cut1), inner.substr(cut1, cut2 - cut1), inner.substr(cut2)};
  std::vector<std::string> mails;
  for (int n = 1; n <= 3; ++n)
    mails.push_back("From: a@example.jp\r\nSubject: piece\r\nMIME-Version: 1.0\r\n"
                    "Content-Type: message/partial; id=\"split@example.jp\"; number=" + std::to_string(n) +
                    "; total=3\r\n\r\n" + pieces[n - 1]);
  auto r = receive("nmail29", mails, dir.path);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].unpackResult, NMAIL_ERR_PARTIAL);
  EXPECT_EQ(r[1].unpackResult, NMAIL_ERR_PARTIAL);
  EXPECT_EQ(r[2].unpackResult, NMAIL_SUCCESS) << lastMessage();
  EXPECT_EQ(r[2].subject, "分割");
  EXPECT_EQ(r[2].body, longText);
}
