// Mails as real servers send them, read the way the mail check reads them
// (the fetch, then the attachment step on what the fetch handed on): a
// boundary the body never uses, part headers whose continuation lines
// lost their blank, enclosed messages saved as they came, a Content-Type
// given twice, text nested without end.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "mime.h"
#include "text.h"
#include "test_util.h"

using namespace testutil;

namespace {

// A mail as the mail check reads it. Texts in UTF-8; the files written, by
// name.
struct Read {
  int code = 0;
  std::string subject, from, fetchedBody, body;
  std::map<std::string, std::string> files;
};

Read readMail(const std::string& raw) {
  auto fetched = nmail::mime::decodeFetched(raw, 8192, raw.size() + 1);
  const std::string text = mailTextOf(fetched.fields.header, fetched.body);
  ScratchDir dir;
  std::vector<char> s(8192), d(8192), f(8192), h(8192), body(std::max<std::size_t>(text.size() + 1, 1 << 20));
  Read out;
  out.code = NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), body.data(), dir.path.c_str(), "",
                                      text.c_str(), 0);
  NMailAttachmentFileClose(0);
  out.subject = utf8(s.data());
  out.from = utf8(f.data());
  out.fetchedBody = utf8(fetched.body);
  out.body = utf8(body.data());
  for (const auto& n : listDir(dir.path)) out.files[n] = readFile(dir.path + "/" + n);
  return out;
}

const std::string kHead = "From: a@example.jp\r\nSubject: s\r\nMIME-Version: 1.0\r\n";

std::string b64(std::string_view s) { return nmail::text::base64Encode(s); }

// What no stored text may hold: the insides of a mail read wrong.
void expectNoRawMime(const std::string& body, const std::string& what) {
  for (const char* raw : {"Content-Type", "Content-Transfer-Encoding", "boundary", "=3D", "=\r\n", "\r\n--"})
    EXPECT_EQ(body.find(raw), std::string::npos) << what << ": " << raw << " in\n" << body;
}

}  // namespace

// A multipart whose boundary parameter names a boundary its body never
// uses is read by the boundary the body does use; with none, its whole
// body is its text.
TEST(MendedMail, ABoundaryTheBodyNeverUses) {
  const std::string used =
      "--used-one\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n本文の一行目\r\n"
      "--used-one\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\n" + b64("ABC") + "\r\n--used-one--\r\n";
  struct Case {
    const char* what;
    std::string mail, body;
    std::map<std::string, std::string> files;
  } cases[] = {
      {"the mail's own boundary",
       kHead + "Content-Type: multipart/mixed; boundary=\"named-one\"\r\n\r\n" + used, "本文の一行目",
       {{"a.bin", "ABC"}}},
      {"the boundary folded and unquoted, a prologue before the parts",
       kHead + "Content-Type: multipart/mixed;\r\n\tboundary=named\r\n\r\nThis is a multi-part message.\r\n" + used,
       "本文の一行目", {{"a.bin", "ABC"}}},
      {"no boundary line at all: the whole body is the text",
       kHead + "Content-Type: multipart/mixed; boundary=\"named-one\"\r\n\r\nただの本文です。\r\n二行目\r\n",
       "ただの本文です。\r\n二行目\r\n", {}},
      {"a part's boundary",
       kHead + "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n--outer\r\n"
               "Content-Type: text/plain\r\n\r\nfirst\r\n--outer\r\n"
               "Content-Type: multipart/mixed; boundary=\"named-one\"\r\n\r\n" + used + "--outer--\r\n",
       "first\r\n本文の一行目", {{"a.bin", "ABC"}}},
      {"a part's boundary with no line of it: the part's body is its text",
       kHead + "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n--outer\r\n"
               "Content-Type: text/plain\r\n\r\nfirst\r\n--outer\r\n"
               "Content-Type: multipart/alternative; boundary=\"gone\"\r\n\r\n中の本文\r\n--outer--\r\n",
       "first\r\n中の本文", {}},
  };
  for (const auto& c : cases) {
    const Read r = readMail(c.mail);
    EXPECT_EQ(r.code, NMAIL_SUCCESS) << c.what;
    EXPECT_EQ(r.body, c.body) << c.what;
    EXPECT_EQ(r.files, c.files) << c.what;
    EXPECT_EQ(r.subject, "s") << c.what;
  }
}

namespace {

// A bounce as a large web mail service writes it: a part header whose
// boundary lost its blank, an enclosed message whose DKIM, Received and
// Content-Type continuations lost theirs.
const std::string kEnclosed =
    "Received: from mail.example.jp (mail.example.jp [192.0.2.1])\r\n"
    "by mx.example.com with ESMTPS id abc123;\r\n"
    "Thu, 10 Dec 2026 09:00:00 +0900\r\n"
    "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.jp;\r\n"
    "s=sel; h=From:To:Subject:Date;\r\n"
    "bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
    "b=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZQ==\r\n"
    "From: sender@example.jp\r\n"
    "To: nobody@example.com\r\n"
    "Subject: original\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/alternative;\r\n"
    "boundary=\"inner-alt\"\r\n"
    "\r\n"
    "--inner-alt\r\n"
    "Content-Type: text/plain; charset=UTF-8\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "=E5=85=83=E3=81=AE=E6=9C=AC=E6=96=87\r\n"
    "--inner-alt\r\n"
    "Content-Type: text/html; charset=UTF-8\r\n"
    "\r\n"
    "<p>original html</p>\r\n"
    "--inner-alt--\r\n";

std::string bounce(const std::string& enclosed) {
  return "From: postmaster@mail.example.com\r\nTo: a@example.jp\r\nSubject: Undeliverable: original\r\n"
         "MIME-Version: 1.0\r\n"
         "Content-Type: multipart/report; report-type=delivery-status;\r\n\tboundary=\"outer-b\"\r\n\r\n"
         "--outer-b\r\n"
         "Content-Type: multipart/alternative; differences=Content-Type;\r\n"
         "boundary=\"alt-b\"\r\n"
         "\r\n"
         "--alt-b\r\n"
         "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n"
         "\r\n"
         "Delivery has failed to these recipients or groups:\r\n"
         "\r\n"
         "nobody@example.com<mailto:nobody@example.com>\r\n"
         "The email address you entered couldn't be found. Please check the recipient's email address and try=\r\n"
         " to resend the message.\r\n"
         "--alt-b\r\n"
         "Content-Type: text/html; charset=\"us-ascii\"\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n"
         "\r\n"
         "<html><body><p style=3D\"x\">Delivery has failed</p></body></html>\r\n"
         "--alt-b--\r\n"
         "\r\n"
         "--outer-b\r\n"
         "Content-Type: message/delivery-status\r\n"
         "\r\n"
         "Reporting-MTA: dns;mail.example.com\r\n"
         "\r\n"
         "Final-recipient: RFC822; nobody@example.com\r\n"
         "Action: failed\r\n"
         "Status: 5.1.10\r\n"
         "\r\n"
         "--outer-b\r\n"
         "Content-Type: message/rfc822\r\n"
         "\r\n" +
         enclosed + "\r\n--outer-b--\r\n";
}

const std::string kBounceText =
    "Delivery has failed to these recipients or groups:\r\n\r\nnobody@example.com<mailto:nobody@example.com>\r\n"
    "The email address you entered couldn't be found. Please check the recipient's email address and try to "
    "resend the message.";

}  // namespace

// Part headers whose continuation lines lost their blank are mended, in
// every part and every enclosed message: no boundary, part header or
// quoted-printable reaches the stored text.
TEST(MendedMail, PartHeadersThatLostTheirBlank) {
  struct Case {
    const char* what;
    std::string mail, body;
    std::map<std::string, std::string> files;
  } cases[] = {
      {"a web mail service's bounce", bounce(kEnclosed), kBounceText,
       {{"original.eml", kEnclosed},
        {"attachment.delivery-status",
         "Reporting-MTA: dns;mail.example.com\r\n\r\nFinal-recipient: RFC822; nobody@example.com\r\n"
         "Action: failed\r\nStatus: 5.1.10\r\n"}}},
      {"a part's Content-Type continued after its semicolon",
       kHead + "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m\r\n"
               "Content-Type: text/plain;\r\ncharset=\"UTF-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
               "=E6=97=A5=E6=9C=AC=E8=AA=9E\r\n--m\r\n"
               "Content-Type: application/pdf;\r\nname=\"r.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           b64("%PDF") + "\r\n--m--\r\n",
       "日本語", {{"r.pdf", "%PDF"}}},
      {"a part's trace field continued without its blank before another field",
       kHead + "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m\r\n"
               "X-Trace: from relay.example.jp\r\nby gateway.example.jp; Thu, 10 Dec 2026\r\n"
               "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           b64("中身") + "\r\n--m--\r\n",
       "中身", {}},
      {"a part's text right under its header, with no empty line between",
       kHead + "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m\r\n"
               "Content-Type: text/plain; charset=UTF-8\r\nお世話になります。\r\n\r\n二段落目\r\n--m--\r\n",
       "お世話になります。\r\n\r\n二段落目", {}},
  };
  for (const auto& c : cases) {
    const Read r = readMail(c.mail);
    EXPECT_EQ(r.code, NMAIL_SUCCESS) << c.what;
    EXPECT_EQ(r.body, c.body) << c.what;
    expectNoRawMime(r.body, c.what);
    EXPECT_EQ(r.files, c.files) << c.what;
  }
  // The mail's own header too: the fields after the trace lines are read.
  const Read own = readMail(
      "Received: from relay.example.jp\r\nby mx.example.jp with ESMTP id q1;\r\nThu, 10 Dec 2026 09:00:00 +0900\r\n"
      "From: a@example.jp\r\nSubject: =?UTF-8?B?" + nmail::text::base64Encode("件名", 0) +
      "?=\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n本文\r\n");
  EXPECT_EQ(own.subject, "件名");
  EXPECT_EQ(own.from, "a@example.jp");
  EXPECT_EQ(own.body, "本文\r\n");
}

// An enclosed message is written to the attachment folder byte for byte as
// it came: header lines that lost their blank, 8-bit text, bare line feeds
// and all.
TEST(MendedMail, AnEnclosedMessageIsSavedAsItCame) {
  const std::string eightBit =
      "Subject: =?UTF-8?B?" + nmail::text::base64Encode("転送", 0) + "?=\r\nMIME-Version: 1.0\r\n"
      "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n転送された本文\r\n";
  const std::string bareLf = "Subject: lf\nX-Note: one\ntwo\nContent-Type: text/plain\n\nline feeds only\n";
  struct Case {
    const char* what;
    std::string mail, name, enclosed;
  } cases[] = {
      {"lost blanks", bounce(kEnclosed), "original.eml", kEnclosed},
      {"8-bit text beside an 8-bit text",
       kHead + "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m\r\n"
               "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n前書き\r\n--m\r\n"
               "Content-Type: message/rfc822\r\n\r\n" + eightBit + "\r\n--m--\r\n",
       "転送.eml", eightBit},
      {"bare line feeds",
       "Subject: s\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"m\"\n\n--m\n"
       "Content-Type: text/plain\n\nfirst\n--m\nContent-Type: message/rfc822\n\n" + bareLf + "\n--m--\n",
       "lf.eml", bareLf},
      {"the enclosed message last, without a closing boundary",
       kHead + "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m\r\n"
               "Content-Type: text/plain\r\n\r\nfirst\r\n--m\r\nContent-Type: message/rfc822\r\n\r\n" + kEnclosed,
       "original.eml", kEnclosed},
  };
  for (const auto& c : cases) {
    const Read r = readMail(c.mail);
    EXPECT_EQ(r.code, NMAIL_SUCCESS) << c.what;
    ASSERT_EQ(r.files.count(c.name), 1u) << c.what;
    EXPECT_EQ(r.files.at(c.name), c.enclosed) << c.what;
  }
}

// A header with two Content-Type fields (or two transfer encodings) is read
// by the first, as Python's email package and common mail readers read it.
TEST(MendedMail, TheFirstContentTypeCounts) {
  const std::string jisText = "\x1b$B%F%9%H\x1b(B\r\n";  // テスト
  struct Case {
    const char* what;
    std::string mail, body;
    std::map<std::string, std::string> files;
  } cases[] = {
      {"the mail's own header",
       kHead + "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Type: application/octet-stream\r\n\r\n" +
           jisText,
       "テスト\r\n", {}},
      {"a transfer encoding given twice",
       kHead + "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n"
               "Content-Transfer-Encoding: 7bit\r\n\r\n" + b64("二重") + "\r\n",
       "二重", {}},
      {"a part's header",
       kHead + "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m\r\n"
               "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Type: image/png; name=\"x.png\"\r\n\r\n" +
           jisText + "--m--\r\n",
       "テスト", {}},
      {"a multipart's header",
       kHead + "Content-Type: multipart/mixed; boundary=\"m\"\r\nContent-Type: text/plain\r\n\r\n--m\r\n"
               "Content-Type: text/plain\r\n\r\none\r\n--m\r\nContent-Type: text/plain\r\n\r\ntwo\r\n--m--\r\n",
       "one\r\ntwo", {}},
  };
  for (const auto& c : cases) {
    const Read r = readMail(c.mail);
    EXPECT_EQ(r.code, NMAIL_SUCCESS) << c.what;
    EXPECT_EQ(r.body, c.body) << c.what;
    EXPECT_EQ(r.files, c.files) << c.what;
  }
}

// Text nested however deep is stored (65, 200 and 10,000 levels).
TEST(MendedMail, TextAtAnyDepth) {
  for (int levels : {65, 200, 2000, 10000}) {
    SCOPED_TRACE(levels);
    std::string open, close;
    for (int level = 0; level < levels; ++level) {
      const std::string b = "d" + std::to_string(level);
      open += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n--" + b + "\r\n";
      close = "\r\n--" + b + "--" + close;
    }
    const std::string mail = kHead + open + "Content-Type: text/plain\r\n\r\ndeep text" + close + "\r\n";
    const Read r = readMail(mail);
    EXPECT_EQ(r.code, NMAIL_SUCCESS);
    EXPECT_EQ(r.body.substr(0, 9), "deep text");
    EXPECT_EQ(r.body.find("Content-Type"), std::string::npos);
  }
}
