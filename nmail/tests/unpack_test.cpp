// Unpacking of attachments: names from strangers, files that exist, folders
// that cannot be written, split mails.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "charset.h"
#include "html.h"
#include "mime.h"
#include "text.h"
#include "test_util.h"

using namespace testutil;

namespace {

struct Result {
  int code;
  std::string subject, from, body;
};

Result unpack(const std::string& folder, const std::string& mail) {
  std::vector<char> s(8192), d(8192), f(8192), h(8192), body(mail.size() + 1);
  Result r;
  std::string cpFolder = cp(folder);
  r.code = NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), body.data(), cpFolder.c_str(),
                                    (cpFolder + "/0.txt").c_str(), mail.c_str(), 0);
  NMailAttachmentFileClose(0);
  r.subject = utf8(s.data());
  r.from = utf8(f.data());
  r.body = utf8(body.data());
  return r;
}

std::string withAttachment(const std::string& disposition, const std::string& content) {
  return "From: a@example.jp\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=\"xx\"\r\n\r\n"
         "--xx\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nbody text\r\n"
         "--xx\r\nContent-Type: application/octet-stream\r\nContent-Disposition: " + disposition +
         "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + nmail::text::base64Encode(content) +
         "\r\n--xx--\r\n";
}

}  // namespace

TEST(SafeFileName, NamesFromStrangers) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"report.pdf", "report.pdf"},
      {"../../etc/passwd", "passwd"},
      {"..\\..\\windows\\win.ini", "win.ini"},
      {"/absolute/path.txt", "path.txt"},
      {"..", "attachment"},
      {".", "attachment"},
      {"", "attachment"},
      {".bashrc", "bashrc"},
      {"a\r\nb\tc\x01.txt", "abc.txt"},
      {"what?<>|:*\".txt", "what.txt"},
      {"  spaced  ", "spaced"},
      {"写真 1.jpg", "写真 1.jpg"},
      {"dir/", "attachment"},
  };
  for (const auto& c : cases) EXPECT_EQ(nmail::mime::safeFileName(c.in), c.out) << c.in;
  std::string longName = std::string(300, 'a') + ".txt";
  std::string cut = nmail::mime::safeFileName(longName);
  EXPECT_LE(cut.size(), 200u);
  EXPECT_TRUE(cut.ends_with(".txt"));
  std::string longJapanese;
  for (int i = 0; i < 100; ++i) longJapanese += "日";
  EXPECT_TRUE(nmail::charset::isValidUtf8(nmail::mime::safeFileName(longJapanese)));
}

TEST(Unpack, TraversingNamesStayInTheFolder) {
  ScratchDir dir;
  std::string folder = dir.path + "/添付フォルダ";
  ::mkdir(folder.c_str(), 0755);
  for (const char* name : {"../escape.txt", "..%2F..%2Fescape.txt", "/tmp/escape.txt"}) {
    Result r = unpack(folder, withAttachment(std::string("attachment; filename=\"") + name + "\"", "x"));
    EXPECT_EQ(r.code, NMAIL_SUCCESS) << name;
  }
  Result r = unpack(folder, withAttachment("attachment; filename*=UTF-8''..%2F..%2Fescape2.txt", "y"));
  EXPECT_EQ(r.code, NMAIL_SUCCESS);
  EXPECT_EQ(listDir(dir.path).size(), 1u);  // only the folder itself
  for (const auto& n : listDir(folder)) EXPECT_EQ(n.find('/'), std::string::npos);
  EXPECT_EQ(readFile(folder + "/escape2.txt"), "y");
}

TEST(Unpack, ExistingFileIsNeverOverwritten) {
  ScratchDir dir;
  writeFile(dir.path + "/data.bin", "old");
  EXPECT_EQ(unpack(dir.path, withAttachment("attachment; filename=\"data.bin\"", "new 1")).code, NMAIL_SUCCESS);
  EXPECT_EQ(unpack(dir.path, withAttachment("attachment; filename=\"data.bin\"", "new 2")).code, NMAIL_SUCCESS);
  EXPECT_EQ(readFile(dir.path + "/data.bin"), "old");
  EXPECT_EQ(readFile(dir.path + "/data(2).bin"), "new 1");
  EXPECT_EQ(readFile(dir.path + "/data(3).bin"), "new 2");
  // A link planted under the name is not followed either.
  ::symlink("/tmp/nmail-link-target-should-not-exist", (dir.path + "/link.bin").c_str());
  EXPECT_EQ(unpack(dir.path, withAttachment("attachment; filename=\"link.bin\"", "z")).code, NMAIL_SUCCESS);
  EXPECT_NE(::access("/tmp/nmail-link-target-should-not-exist", F_OK), 0);
  EXPECT_EQ(readFile(dir.path + "/link(2).bin"), "z");
}

// Mails that each carry the same name (inline pictures): every copy gets
// the next free number, past any count of copies already there, and an
// emptied folder starts again from the plain name.
TEST(Unpack, CopiesOfOneNameHaveNoUpperLimit) {
  ScratchDir dir;
  constexpr int kThere = 10050;
  writeFile(dir.path + "/image001.jpg", "0");
  for (int n = 2; n <= kThere; ++n) writeFile(dir.path + "/image001(" + std::to_string(n) + ").jpg", "old");
  writeFile(dir.path + "/image001(x).jpg", "not a copy number");
  const std::string mail = withAttachment("inline; filename=\"image001.jpg\"", "new");
  for (int k = 1; k <= 3; ++k) {
    ASSERT_EQ(unpack(dir.path, mail).code, NMAIL_SUCCESS) << lastMessage();
    EXPECT_EQ(readFile(dir.path + "/image001(" + std::to_string(kThere + k) + ").jpg"), "new") << k;
  }
  // A copy made meanwhile by someone else is stepped over, never overwritten.
  writeFile(dir.path + "/image001(" + std::to_string(kThere + 4) + ").jpg", "theirs");
  ASSERT_EQ(unpack(dir.path, mail).code, NMAIL_SUCCESS);
  EXPECT_EQ(readFile(dir.path + "/image001(" + std::to_string(kThere + 4) + ").jpg"), "theirs");
  EXPECT_EQ(readFile(dir.path + "/image001(" + std::to_string(kThere + 5) + ").jpg"), "new");

  // Emptied by the user: the plain name, then (2); a copy left behind
  // without its original is stepped over.
  for (const std::string& f : listDir(dir.path)) ::unlink((dir.path + "/" + f).c_str());
  writeFile(dir.path + "/image001(2).jpg", "left");
  for (int k = 0; k < 3; ++k) ASSERT_EQ(unpack(dir.path, mail).code, NMAIL_SUCCESS);
  EXPECT_EQ(readFile(dir.path + "/image001.jpg"), "new");
  EXPECT_EQ(readFile(dir.path + "/image001(2).jpg"), "left");
  EXPECT_EQ(readFile(dir.path + "/image001(3).jpg"), "new");
  EXPECT_EQ(readFile(dir.path + "/image001(4).jpg"), "new");
  EXPECT_EQ(listDir(dir.path).size(), 4u);
}

TEST(Unpack, MissingFolderIsCreatedUnwritableFolderGivesMinus5) {
  ScratchDir dir;
  std::string folder = dir.path + "/new/sub";
  Result r = unpack(folder, withAttachment("attachment; filename=\"a.bin\"", "abc"));
  EXPECT_EQ(r.code, NMAIL_SUCCESS);
  EXPECT_EQ(readFile(folder + "/a.bin"), "abc");
  // A plain file where the folder should be.
  writeFile(dir.path + "/file", "");
  r = unpack(dir.path + "/file", withAttachment("attachment; filename=\"a.bin\"", "abc"));
  EXPECT_EQ(r.code, NMAIL_ERR_FILE);
  EXPECT_EQ(r.body, "body text");  // the mail itself is still read
  EXPECT_NE(lastMessage().find("a.bin"), std::string::npos);
}

TEST(Unpack, BodyHoldsTheTextPartsOnly) {
  ScratchDir dir;
  std::string jis;
  nmail::charset::utf8ToIso2022jp("日本語の本文\r\n", jis);
  std::string mail =
      "From: =?ISO-2022-JP?B?" + nmail::text::base64Encode(jis.substr(0, 0) + "\x1b$BF|K\\\x1b(B", 0) +
      "?= <a@example.jp>\r\nSubject: alt\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"out\"\r\n\r\n"
      "--out\r\nContent-Type: multipart/alternative; boundary=\"in\"\r\n\r\n"
      "--in\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + jis +
      "--in\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<p>日本語の本文</p>\r\n--in--\r\n"
      "--out\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
      nmail::text::base64Encode("PNGDATA") + "\r\n"
      "--out\r\nContent-Type: message/rfc822\r\n\r\nSubject: inner\r\n\r\ninner body\r\n--out--\r\n";
  Result r = unpack(dir.path, mail);
  ASSERT_EQ(r.code, NMAIL_SUCCESS) << lastMessage();
  EXPECT_EQ(r.from, "日本 <a@example.jp>");
  EXPECT_EQ(r.body, "日本語の本文");
  EXPECT_EQ(readFile(dir.path + "/attachment.png"), "PNGDATA");
  EXPECT_NE(readFile(dir.path + "/inner.eml").find("inner body"), std::string::npos);
}

TEST(Unpack, SplitMailWaitsForEveryPiece) {
  ScratchDir dir;
  std::string inner = withAttachment("attachment; filename=\"whole.bin\"", std::string(3000, 'Q'));
  std::string a = inner.substr(0, inner.size() / 2), b = inner.substr(inner.size() / 2);
  auto piece = [](const std::string& part, int n, int total) {
    std::string t = total ? "; total=" + std::to_string(total) : "";
    return "From: a@example.jp\r\nSubject: split " + std::to_string(n) +
           "\r\nMIME-Version: 1.0\r\nContent-Type: message/partial; id=\"abc@example.jp\"; number=" +
           std::to_string(n) + t + "\r\n\r\n" + part;
  };
  Result r = unpack(dir.path, piece(b, 2, 2));
  EXPECT_EQ(r.code, NMAIL_ERR_PARTIAL);
  EXPECT_EQ(r.subject, "split 2");
  r = unpack(dir.path, piece(a, 1, 0));
  EXPECT_EQ(r.code, NMAIL_SUCCESS) << lastMessage();
  EXPECT_EQ(r.subject, "files");
  EXPECT_EQ(r.body, "body text");
  EXPECT_EQ(readFile(dir.path + "/whole.bin"), std::string(3000, 'Q'));
  EXPECT_TRUE(listDir(dir.path + "/.partial").empty());
}

TEST(Unpack, SinglePartMailAndBuffersThatAreTooSmall) {
  ScratchDir dir;
  std::string subject;
  for (int i = 0; i < 50; ++i) subject += "漢";
  std::string jis;
  nmail::charset::utf8ToIso2022jp(subject, jis);
  std::string mail = "Subject: =?ISO-2022-JP?B?" + nmail::text::base64Encode(jis, 0) +
                     "?=\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + jis + "\r\n";
  NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, 11);
  std::vector<char> s(11, 'X'), d(11), f(11), h(11), body(mail.size() + 1);
  int r = NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), body.data(), dir.path.c_str(),
                                   "", mail.c_str(), 0);
  NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, 8192);
  EXPECT_EQ(r, NMAIL_SUCCESS);
  EXPECT_EQ(std::string(s.data()).size(), 10u);  // five characters, cut whole
  EXPECT_EQ(utf8(s.data()), "漢漢漢漢漢");
  EXPECT_EQ(utf8(body.data()), subject + "\r\n");
}

TEST(Unpack, AttachmentNamesInTheirUsualEncodings) {
  std::string jisName;
  nmail::charset::utf8ToIso2022jp("資料", jisName);
  std::string pct;
  for (unsigned char c : jisName) {
    char b[4];
    std::snprintf(b, sizeof b, "%%%02X", c);
    pct += b;
  }
  struct Case {
    std::string headers, expectName;
  } cases[] = {
      {"Content-Type: application/pdf; name=\"=?ISO-2022-JP?B?" + nmail::text::base64Encode(jisName, 0) +
           "?=.pdf\"",
       "資料.pdf"},
      {"Content-Type: application/pdf\r\nContent-Disposition: attachment; filename*=ISO-2022-JP''" + pct + ".pdf",
       "資料.pdf"},
      {"Content-Type: application/pdf\r\nContent-Disposition: attachment; filename*0*=UTF-8''%E8%B3%87;"
       " filename*1*=%E6%96%99.pdf",
       "資料.pdf"},
      // Raw Shift_JIS in the name, as old Japanese mailers wrote it.
      {"Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"\x8e\x91\x97\xbf.pdf\"",
       "資料.pdf"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    std::string mail = "Subject: n\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n\r\n"
                       "--m\r\n" + c.headers + "\r\nContent-Transfer-Encoding: base64\r\n\r\nUERG\r\n--m--\r\n";
    ASSERT_EQ(unpack(dir.path, mail).code, NMAIL_SUCCESS);
    EXPECT_EQ(readFile(dir.path + "/" + c.expectName), "PDF") << c.headers;
  }
}

TEST(Unpack, MailThatIsOneFile) {
  struct Case {
    std::string headers, content, expectName;
  } cases[] = {
      {"Content-Type: image/gif; name=\"pic.gif\"", "GIF89a\x01\x02", "pic.gif"},
      // A text file sent as the whole mail keeps its bytes.
      {"Content-Type: text/plain; charset=UTF-8\r\nContent-Disposition: attachment; filename=\"memo.txt\"",
       "メモ\r\n", "memo.txt"},
  };
  for (const auto& c : cases) {
    std::string raw = "Subject: one file\r\nMIME-Version: 1.0\r\n" + c.headers +
                      "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + nmail::text::base64Encode(c.content) + "\r\n";
    // Fetched and handed on as the mail check does.
    auto fetched = nmail::mime::decodeFetched(raw, 8192, raw.size() + 1);
    std::string mail = fetched.fields.header + "\r\n" + fetched.body + "\r\n";
    ScratchDir dir;
    Result r = unpack(dir.path, mail);
    ASSERT_EQ(r.code, NMAIL_SUCCESS);
    EXPECT_EQ(r.body, "");
    EXPECT_EQ(readFile(dir.path + "/" + c.expectName), c.content) << c.headers;
  }
}

namespace {

// A mail as the mail check reads it: fetched, then unpacked from what the
// fetch handed on. Texts in UTF-8; the files written, by name.
struct Read {
  std::string subject, from, fetchedBody, body;
  std::map<std::string, std::string> files;
};

Read readMail(const std::string& raw) {
  auto fetched = nmail::mime::decodeFetched(raw, 8192, raw.size() + 1);
  std::string text = mailTextOf(fetched.fields.header, fetched.body);
  ScratchDir dir;
  Result r = unpack(dir.path, text);
  EXPECT_EQ(r.code, NMAIL_SUCCESS) << lastMessage();
  Read out{r.subject, r.from, utf8(fetched.body), r.body, {}};
  for (const auto& n : listDir(dir.path)) out.files[n] = readFile(dir.path + "/" + n);
  return out;
}

std::string mixed(const std::vector<std::string>& parts, const std::string& head = "Subject: s\r\n") {
  std::string m = head + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"zz\"\r\n\r\n";
  for (const auto& p : parts) m += "--zz\r\n" + p + "\r\n";
  return m + "--zz--\r\n";
}

const std::string kHtmlPage =
    "<!DOCTYPE html><html><head><title>News</title><style>p { color: red }</style>"
    "<script>alert('x')</script></head><body><!-- tracking -->\r\n"
    "<div>お知らせ&amp;ご案内&nbsp;です</div><p>詳しくは<a href=\"https://example.jp/a\">こちら</a>を\r\n"
    "ご覧ください。<br>次の行</p><ul><li>一</li><li>二</li></ul></body></html>\r\n";
const std::string kHtmlText =
    "お知らせ&ご案内 です\r\n詳しくはこちら <https://example.jp/a>を ご覧ください。\r\n次の行\r\n一\r\n二";

}  // namespace

// Every text a mail carries reaches the body: HTML as its text, a list's
// footer after an HTML text, data that lacks its last padding, uuencoded
// files, multiparts without a boundary, broken header blocks, deep nesting.
TEST(RealWorldMail, NoTextIsLost) {
  std::string nested = "--n0\r\nContent-Type: text/plain\r\n\r\ndeep text\r\n--n0--\r\n";
  for (int level = 1; level <= 100; ++level) {
    std::string b = "n" + std::to_string(level - 1);
    nested = "--n" + std::to_string(level) + "\r\nContent-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n" +
             nested + "--n" + std::to_string(level) + "--\r\n";
  }
  struct Case {
    const char* what;
    std::string mail, body;
    std::map<std::string, std::string> files;
  } cases[] = {
      {"an HTML text with a list's plain footer",
       mixed({"Content-Type: text/html; charset=UTF-8\r\n\r\n" + kHtmlPage,
              "Content-Type: text/plain; charset=us-ascii\r\n\r\n--\r\nml@example.jp list footer\r\n"}),
       kHtmlText + "\r\n--\r\nml@example.jp list footer\r\n", {}},
      {"HTML only, in Shift_JIS and base64",
       "Subject: h\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=Shift_JIS\r\n"
       "Content-Transfer-Encoding: base64\r\n\r\n" + nmail::text::base64Encode(cp(kHtmlPage)) + "\r\n",
       kHtmlText + "\r\n", {}},
      {"the HTML alternative when there is no plain one",
       "Subject: h\r\nMIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"aa\"\r\n\r\n"
       "--aa\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<p>only&lt;html&gt;</p>\r\n--aa--\r\n",
       "only<html>\r\n", {}},
      {"a plain part beside an HTML one, in order",
       mixed({"Content-Type: text/plain; charset=UTF-8\r\n\r\n前書き\r\n", "Content-Type: text/html\r\n\r\n<b>本文</b>"}),
       "前書き\r\n本文\r\n", {}},
      {"base64 two bytes short of its padding",
       mixed({"Content-Type: text/plain\r\n\r\nsee file",
              "Content-Type: application/octet-stream; name=\"a.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
              "QUJDRA\r\n",
              "Content-Type: application/octet-stream; name=\"b.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
              "QUJDREU\r\n"}),
       "see file", {{"a.bin", "ABCD"}, {"b.bin", "ABCDE"}}},
      {"a text in base64 without its padding",
       "Subject: t\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
       "Content-Transfer-Encoding: base64\r\n\r\n" + nmail::text::base64Encode("末尾まで。a").substr(0, 22) + "\r\n",
       "末尾まで。a", {}},
      {"uuencode with its begin line folded",
       mixed({"Content-Type: text/plain\r\n\r\nuu",
              "Content-Type: application/octet-stream; name=\"c.txt\"\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n"
              "begin 644 a very long\r\n file name.txt\r\n#86)C\r\n`\r\nend\r\n"}),
       "uu", {{"c.txt", "abc"}}},
      {"a multipart with no boundary parameter, text only",
       "Subject: nb\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed\r\n\r\nplain text\r\nline 2\r\n",
       "plain text\r\nline 2\r\n", {}},
      {"a multipart with no boundary parameter whose parts use one",
       "Subject: nb\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed\r\n\r\n--qq\r\n"
       "Content-Type: text/plain\r\n\r\nthe text\r\n--qq\r\nContent-Type: image/png; name=\"p.png\"\r\n"
       "Content-Transfer-Encoding: base64\r\n\r\nUE5H\r\n--qq--\r\n",
       "the text", {{"p.png", "PNG"}}},
      {"a header block whose first line begins with a blank",
       " \tby relay.example.jp; Thu, 10 Dec 2026\r\n" +
           mixed({"Content-Type: text/plain\r\n\r\nfirst", "Content-Type: text/html\r\n\r\n<p>second</p>"}),
       "first\r\nsecond\r\n", {}},
      {"no empty line before the first boundary",
       "Subject: s\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"zz\"\r\n"
       "--zz\r\nContent-Type: text/plain\r\n\r\nhello\r\n--zz\r\nContent-Type: text/plain\r\n\r\nagain\r\n--zz--\r\n",
       "hello\r\nagain", {}},
      {"text nested a hundred levels deep",
       "Subject: deep\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"n100\"\r\n\r\n" + nested,
       "deep text", {}},
  };
  for (const auto& c : cases) {
    Read r = readMail(c.mail);
    EXPECT_EQ(r.body, c.body) << c.what;
    EXPECT_EQ(r.files, c.files) << c.what;
    EXPECT_EQ(r.body.find("Content-Type"), std::string::npos) << c.what;
  }
  // A single-part HTML mail is stored as the fetch hands it on: as text.
  EXPECT_EQ(readMail(cases[1].mail).fetchedBody, cases[1].body);
}

// Names arrive whole: Shift_JIS names with 0x5C, characters CP932 lacks
// (the file system names are UTF-8), decomposed names, names without a
// media type before them or with stray quotes.
TEST(RealWorldMail, NamesArriveWhole) {
  auto file = [](const std::string& headers) {
    return mixed({"Content-Type: text/plain\r\n\r\nx",
                  headers + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + nmail::text::base64Encode("DATA")});
  };
  struct Case {
    std::string mail, name;
  } cases[] = {
      {file("Content-Type: application/vnd.ms-excel; name=\"\x97\x5c\x92\xe8\x95\x5c.xls\""), "予定表.xls"},
      {file("Content-Type: application/octet-stream\r\nContent-Disposition: attachment;"
            " filename=\"\x83\x5c\x83\x74\x83\x67\x8f\x5c\x94\x5c.txt\""),
       "ソフト十能.txt"},
      {file("Content-Type: application/octet-stream\r\nContent-Disposition: attachment;"
            " filename*=UTF-8''%ED%95%9C%EA%B5%AD%EC%96%B4.txt"),
       "한국어.txt"},
      {file("Content-Type: image/png; name=\"=?UTF-8?B?" + nmail::text::base64Encode("café😀.png", 0) + "?=\""),
       "café😀.png"},
      {file("Content-Type: application/pdf; name=\"\xe3\x82\xab\xe3\x82\x99\xe3\x82\xa4\xe3\x83\x88\xe3\x82\x99.pdf\""),
       "ガイド.pdf"},
      {file("Content-Type: name=\"report.pdf\""), "report.pdf"},
      {file("Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"\"=?UTF-8?B?" +
            nmail::text::base64Encode("資料.pdf", 0) + "?=\"\""),
       "資料.pdf"},
      // A single-part text that names itself in Korean: text and file.
      {"Subject: k\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8;"
       " name=\"=?UTF-8?B?" + nmail::text::base64Encode("메모.txt", 0) + "?=\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           nmail::text::base64Encode("DATA") + "\r\n",
       "메모.txt"},
  };
  for (const auto& c : cases) {
    Read r = readMail(c.mail);
    ASSERT_EQ(r.files.size(), 1u) << c.name;
    EXPECT_EQ(r.files.begin()->first, c.name);
    EXPECT_EQ(r.files.begin()->second, "DATA") << c.name;
  }
  // The fetch's header names a Korean text whole too, for a caller whose
  // mail text is not the one the fetch handed on.
  const std::string single = cases[std::size(cases) - 1].mail;
  auto fetched = nmail::mime::decodeFetched(single, 8192, single.size() + 1);
  ScratchDir dir;
  Result r = unpack(dir.path, fetched.fields.header + "\r\n" + fetched.body + "\r\n\r\n");
  EXPECT_EQ(r.code, NMAIL_SUCCESS);
  EXPECT_EQ(listDir(dir.path), std::vector<std::string>{"메모.txt"});
}

// Subjects and senders: UTF-7, labels iconv knows by another name, raw
// EUC-JP, words folded in their middle, decomposed text.
TEST(RealWorldMail, HeadersAndBodiesReadRight) {
  struct Case {
    std::string mail, subject, from, body;
  } cases[] = {
      {"Subject: =?utf-7?B?" + nmail::text::base64Encode("+MMYwuTDI-", 0) + "?=\r\nFrom: a@example.jp\r\n"
       "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=unicode-1-1-utf-7\r\n\r\n+ZeVnLIqe-\r\n",
       "テスト", "a@example.jp", "日本語\r\n"},
      {"Subject: \xa5\xc6\xa5\xb9\xa5\xc8\r\nFrom: \xbb\xb3\xc5\xc4 <y@example.jp>\r\n\r\nbody\r\n", "テスト",
       "山田 <y@example.jp>", "body\r\n"},
      {"Subject: =?ISO-2022-JP?B?GyRCJUYl\r\n OSVIGyhC?=\r\nFrom: b@example.jp\r\nMIME-Version: 1.0\r\n"
       "Content-Type: text/plain; charset=ks_c_5601-1987\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
       "\xab\xc6\xab\xb9\xab\xc8\r\n",
       "テスト", "b@example.jp", "テスト\r\n"},
      {"Subject: =?UTF-8?B?" + nmail::text::base64Encode("\xe3\x82\xab\xe3\x82\x99\xe3\x82\xa4\xe3\x83\x88", 0) +
           "?=\r\nFrom: c@example.jp\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n"
           "\xe3\x82\xab\xe3\x82\x99\xe3\x82\xa4\xe3\x83\x88\xe3\x82\x99\r\n",
       "ガイト", "c@example.jp", "ガイド\r\n"},
  };
  for (const auto& c : cases) {
    Read r = readMail(c.mail);
    EXPECT_EQ(r.subject, c.subject) << c.mail;
    EXPECT_EQ(r.from, c.from) << c.mail;
    EXPECT_EQ(r.fetchedBody, c.body) << c.mail;
  }
}

// The attachment step reads a mail the fetch has read already from that
// reading, once the fetch has put back what it turned into CP932 and base64
// for the body it hands on: texts, files and names come out as they come
// from a reading of their own. A mail whose enclosed message the fetch
// changed is read again (an enclosed message is written out whole).
TEST(Unpack, TheFetchsReadingServesTheAttachmentStepAsAFreshOne) {
  const std::string utf8Text = "お世話になっております。\r\n本文です。\r\n";
  struct Case {
    const char* what;
    std::string mail;
    bool readOnce;
  } cases[] = {
      {"an 8-bit UTF-8 text beside an inline picture",
       "Subject: r\r\nMIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"b1\"\r\n\r\n"
       "--b1\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + utf8Text +
           "--b1\r\nContent-Type: image/jpeg; name=\"image001.jpg\"\r\nContent-ID: <image001.jpg@01D>\r\n"
           "Content-Disposition: inline; filename=\"image001.jpg\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           nmail::text::base64Encode(std::string("\xFF\xD8\xFF\xE0 picture", 12)) + "\r\n--b1--\r\n",
       true},
      {"a text without charset or encoding and an 8-bit file",
       mixed({"Content-Type: text/plain\r\n\r\n" + utf8Text,
              "Content-Type: application/octet-stream; name=\"raw.bin\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
              "\x80\x81\xFE bytes"}),
       true},
      {"a folded type with more parameters, in Shift_JIS",
       mixed({"Content-Type: text/plain;\r\n\tcharset=\"Shift_JIS\"; format=flowed\r\n\r\n" + cp(utf8Text),
              "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n\x1b$B%F%9%H\x1b(B\r\n"}),
       true},
      {"an 8-bit HTML text beside a plain one",
       mixed({"Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + kHtmlPage,
              "Content-Type: text/plain; charset=UTF-8\r\n\r\nフッター\r\n"}),
       true},
      {"an 8-bit text sent as an attachment without a name",
       mixed({"Content-Type: text/plain; charset=UTF-8\r\n\r\n" + utf8Text,
              "Content-Type: text/plain; charset=UTF-8\r\nContent-Disposition: attachment\r\n\r\n添付の本文\r\n"}),
       true},
      {"an enclosed message with an 8-bit text",
       mixed({"Content-Type: text/plain; charset=UTF-8\r\n\r\n" + utf8Text,
              "Content-Type: message/rfc822\r\n\r\nSubject: inner\r\nMIME-Version: 1.0\r\n"
              "Content-Type: multipart/mixed; boundary=\"in\"\r\n\r\n--in\r\n"
              "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n中の本文\r\n--in--\r\n"}),
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Read fresh = readMail(c.mail);  // the fetch remembers a copy: read again
    auto fetched = nmail::mime::decodeFetched(c.mail, 8192, c.mail.size() + 1, false);
    EXPECT_EQ(fetched.parse != nullptr, c.readOnce);
    const std::string text = mailTextOf(fetched.fields.header, fetched.body);
    nmail::mime::rememberFetched(fetched, std::string(c.mail));
    ScratchDir dir;
    Result r = unpack(dir.path, text);
    EXPECT_EQ(r.code, NMAIL_SUCCESS) << lastMessage();
    EXPECT_EQ(utf8(fetched.body), fresh.fetchedBody);
    EXPECT_EQ(r.subject, fresh.subject);
    EXPECT_EQ(r.body, fresh.body);
    std::map<std::string, std::string> files;
    for (const auto& n : listDir(dir.path)) files[n] = readFile(dir.path + "/" + n);
    EXPECT_EQ(files, fresh.files);
    EXPECT_FALSE(r.body.empty());
  }
}

// A large page read as a stream gives the text the tree gives, whatever
// the pieces it comes in.
TEST(HtmlText, AStreamReadsAsTheTree) {
  const std::string page =
      kHtmlPage + "<table><tr><td>セル一</td><td>セル二</td></tr></table><pre>  整形済み\r\n    の行</pre>"
                  "<p>a <a href=\"mailto:x@example.jp\">x@example.jp</a> and <a href=\"#top\">top</a></p>"
                  "<script>var s = '<p>no</p>';</script><p>last&hellip;</p>\r\n";
  for (std::size_t piece : {std::size_t(1) << 20, std::size_t(40)}) {
    SCOPED_TRACE(piece);
    std::string got;
    nmail::html::TextStream stream([&](std::string_view t) { got += t; });
    for (std::size_t at = 0; at < page.size();) {
      std::size_t nl = page.find('\n', std::min(page.size(), at + piece));
      std::size_t end = nl == std::string::npos ? page.size() : nl + 1;
      stream.feed(std::string_view(page).substr(at, end - at));
      at = end;
    }
    stream.finish();
    EXPECT_EQ(got, nmail::html::toText(page));
  }
}

// A text longer than the set length is written whole into "本文.txt" as
// it comes, the same text as read at once; the body is its beginning and
// a line naming the file. A folder that cannot be written fails the step.
TEST(Unpack, ALongTextIsKeptWholeInAFileAndTheBodyNamesIt) {
  std::string jp;
  for (int i = 0; i < 40000; ++i) jp += std::to_string(i) + " 行目：長い本文です。ABC\n";
  std::string jis;
  ASSERT_TRUE(nmail::charset::utf8ToIso2022jp(jp, jis));
  std::string html = "<html><head><style>p {}</style></head><body>\n";
  for (int i = 0; i < 30000; ++i) html += "<p>" + std::to_string(i) + " 行目：<b>長い</b>本文</p>\n";
  html += "</body></html>\n";
  auto qp = [](const std::string& bytes) {
    std::string out;
    int col = 0;
    for (unsigned char c : bytes) {
      if (c == '\n') {
        out += "\r\n";
        col = 0;
        continue;
      }
      char hex[4];
      std::snprintf(hex, sizeof hex, "=%02X", c);
      const std::string put = c >= 0x21 && c <= 0x7E && c != '=' ? std::string(1, static_cast<char>(c)) : hex;
      if (col + put.size() > 75) {
        out += "=\r\n";
        col = 0;
      }
      out += put;
      col += static_cast<int>(put.size());
    }
    return out;
  };
  const std::string sjis = nmail::charset::utf8ToCp932(jp);
  // Characters CP932 lacks: "?" in the body, themselves in the file.
  std::string world;
  for (int i = 0; i < 20000; ++i) world += std::to_string(i) + " 行目：😀𠮷 한국어 café\n";
  const std::string small = world.substr(0, world.rfind('\n', 90000) + 1);
  struct Case {
    const char* what;
    std::string type, encoding, content;  // content as it goes in the mail
    std::string expected;                 // the whole text, read at once
    std::string file = {};                // the file, in UTF-8 (the expected text's when empty)
  } cases[] = {
      {"ISO-2022-JP", "text/plain; charset=ISO-2022-JP", "7bit", nmail::text::toCrlf(jis),
       nmail::text::toCrlf(nmail::charset::toCp932(jis, "ISO-2022-JP"))},
      {"UTF-8 quoted-printable", "text/plain; charset=UTF-8", "quoted-printable", qp(jp),
       nmail::text::toCrlf(nmail::charset::toCp932(jp, "UTF-8"))},
      {"Shift_JIS base64", "text/plain; charset=Shift_JIS", "base64", nmail::text::base64Encode(sjis),
       nmail::text::toCrlf(sjis)},
      {"HTML", "text/html; charset=UTF-8", "8bit", nmail::text::toCrlf(html),
       nmail::charset::utf8ToCp932(nmail::html::toText(html))},
      {"UTF-8 beyond CP932", "text/plain; charset=UTF-8", "quoted-printable", qp(world),
       nmail::text::toCrlf(nmail::charset::toCp932(world, "UTF-8")), nmail::text::toCrlf(world)},
      {"UTF-8 beyond CP932, read at once", "text/plain; charset=UTF-8", "8bit", nmail::text::toCrlf(small),
       nmail::text::toCrlf(nmail::charset::toCp932(small, "UTF-8")), nmail::text::toCrlf(small)},
  };
  constexpr std::size_t kLimit = 30000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.content.size() < 200000) {
      ASSERT_LT(c.content.size(), std::size_t(1) << 20);  // read at once
    } else {
      ASSERT_GT(c.content.size(), std::size_t(1) << 20);  // read a piece at a time
    }
    const std::string mail = "Subject: long\r\nMIME-Version: 1.0\r\nContent-Type: " + c.type +
                             "\r\nContent-Transfer-Encoding: " + c.encoding + "\r\n\r\n" + c.content;
    ScratchDir dir;
    nmail::mime::Unpacked u = nmail::mime::unpack(mail, dir.path, 8192, 1 << 20, kLimit);
    EXPECT_EQ(u.result, 1) << u.error;
    ASSERT_EQ(u.written.size(), 1u);
    EXPECT_EQ(u.written[0], dir.path + "/本文.txt");
    // The file holds the whole text in UTF-8, every character kept.
    EXPECT_TRUE(readFile(u.written[0]) == (c.file.empty() ? nmail::charset::cp932ToUtf8(c.expected) : c.file));
    const std::string note =
        nmail::charset::utf8ToCp932("\r\n（本文が長いため、全文を添付フォルダの「本文.txt」に UTF-8 で保存しました。）");
    EXPECT_LE(u.body.size(), kLimit);
    ASSERT_GT(u.body.size(), kLimit / 2);
    EXPECT_EQ(u.body.substr(u.body.size() - note.size()), note);
    EXPECT_EQ(c.expected.compare(0, u.body.size() - note.size(), u.body, 0, u.body.size() - note.size()), 0);
    // Without a length the body is the text, as far as it goes.
    nmail::mime::Unpacked whole = nmail::mime::unpack(mail, dir.path + "/other", 8192, c.expected.size() + 1);
    EXPECT_TRUE(whole.body == c.expected);
    EXPECT_TRUE(whole.written.empty());
    // The file cannot be made: the step fails and leaves nothing.
    writeFile(dir.path + "/file", "");
    nmail::mime::Unpacked failed = nmail::mime::unpack(mail, dir.path + "/file", 8192, 1 << 20, kLimit);
    EXPECT_EQ(failed.result, -5);
    EXPECT_TRUE(failed.written.empty());
  }
}
