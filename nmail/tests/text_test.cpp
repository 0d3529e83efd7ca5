// Character sets and header words.
#include <gtest/gtest.h>

#include <glib.h>

#include <chrono>
#include <string>
#include <vector>

#include "net.h"
#include "charset.h"
#include "text.h"

using nmail::charset::cp932ToUtf8;
using nmail::charset::utf8ToCp932;

namespace {
std::string b64(std::string_view s) { return nmail::text::base64Encode(s, 0); }
std::string jis(std::string_view utf8) {
  std::string out;
  nmail::charset::utf8ToIso2022jp(utf8, out);
  return out;
}
}  // namespace

TEST(Charset, BodiesIntoCp932) {
  struct Case {
    std::string bytes, charset, expectUtf8;
  } cases[] = {
      {jis("日本語テキスト"), "ISO-2022-JP", "日本語テキスト"},
      {jis("日本語"), "iso-2022-jp", "日本語"},
      // NEC row 13 (circled digits) in ISO-2022-JP, as Windows mailers send it.
      {"\x1b$B-!-\"\x1b(B", "ISO-2022-JP", "①②"},
      // Half-width kana by escape and by SO/SI.
      {"\x1b(I12\x1b(B", "ISO-2022-JP", "ｱｲ"},
      {"\x0e\x31\x0f", "ISO-2022-JP", "ｱ"},
      {"\x93\xfa\x96\x7b", "Shift_JIS", "日本"},
      {"\x87\x40", "Windows-31J", "①"},
      {"\xc6\xfc\xcb\xdc", "EUC-JP", "日本"},
      {"日本", "UTF-8", "日本"},
      {"日本😀", "utf-8", "日本?"},          // no CP932 form
      {"caf\xe9", "ISO-8859-1", "caf?"},     // é has no CP932 form
      {"\x93\xfa\x96\x7b", "", "日本"},       // undeclared 8-bit: not UTF-8, so CP932
      {"日本", "us-ascii", "日本"},           // declared wrongly: UTF-8 it is
      {jis("日本"), "", "日本"},              // undeclared ISO-2022-JP
      {"\x81", "Shift_JIS", "?"},            // cut double-byte character
      {std::string("a\0b", 3), "UTF-8", "ab"},  // NUL never reaches a buffer
      {"\xe3\x80\x9c", "UTF-8", "～"},        // wave dash
      {"text", "x-no-such-charset", "text"},
      // Japanese labels read as their Windows supersets.
      {"\xfb\xfc\x8b\xb4\x97\x6c", "Shift_JIS", "髙橋様"},
      {"\x87\x40\x87\x8a\xb1", "x-sjis", "①㈱ｱ"},
      {"\x1b$B|b66\x1b(B", "ISO-2022-JP", "髙橋"},  // the IBM rows as Windows writes them
      {"\x1b$B-j\x1b(B", "\"iso-2022-jp\"", "㈱"},
      {"\xad\xa1\x8e\xb1", "EUC-JP", "①ｱ"},
      // 8-bit bytes under a 7-bit label keep their meaning.
      {"\x95\xf1\x8d\x90\x8f\x91.txt", "ISO-2022-JP", "報告書.txt"},
      {"報告書.txt", "ISO-2022-JP*ja", "報告書.txt"},
      {"\x1b$BF|\x1b(B \x95\xf1", "ISO-2022-JP", "日 報"},
      {"\x95\xf1\x8d\x90", "UTF-8", "報告"},  // not UTF-8 at all: CP932 by trial
      {"\x1b$BF|K\\\x1b(B", "Shift_JIS", "日本"},  // escapes under the wrong label
      {"\x1b$BF|K\\\x1b(B", "EUC-JP", "日本"},
      // UTF-7 is 7-bit, yet never text as it stands.
      {"+ZeVnLIqeMMYwrTC5MMg-", "utf-7", "日本語テキスト"},
      {"Hi +MMYwuTDI-", "UNICODE-1-1-UTF-7", "Hi テスト"},
      // Labels iconv knows by another name; text CP932 holds comes through.
      {"\xab\xc6\xab\xb9\xab\xc8 \xf9\xd3\xed\xae", "ks_c_5601-1987", "テスト 漢字"},
      {"\xc7\xd1\xb1\xb9", "ks_c_5601-1987", "??"},  // 한국: decoded, then no CP932 form
      {"\xd6\xd0\xce\xc4", "gb2312", "中文"},
      {"\xa4\xa4\xa4\xe5", "big5", "中文"},
      {"\xcf\xf0\xe8\xe2\xe5\xf2", "win-1251", "Привет"},
      // Decomposed text is composed before it becomes CP932.
      {"\xe3\x82\xab\xe3\x82\x99\xe3\x82\xa4\xe3\x83\x88\xe3\x82\x99", "UTF-8", "ガイド"},
      // Unlabelled 8-bit text: EUC-JP where it reads as Japanese, CP932 else.
      {"\xa5\xc6\xa5\xb9\xa5\xc8", "", "テスト"},
      {"\xb3\xf4\xbc\xb0\xb2\xf1\xbc\xd2", "", "株式会社"},
      {"\xa4\xb3\xa4\xf3\xa4\xcb\xa4\xc1\xa4\xcf", "", "こんにちは"},
      {"\xca\xde\xb2\xc4", "", "ﾊﾞｲﾄ"},  // well-formed EUC-JP too, but kana it is
      {"\xbb\xb3\xc5\xc4", "", "山田"},
      {"\x83\x65\x83\x58\x83\x67", "", "テスト"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(cp932ToUtf8(nmail::charset::toCp932(c.bytes, c.charset)), c.expectUtf8) << c.charset << " " << c.bytes;
}

// Characters a reader shows as nothing, which phishing scatters through
// words: nothing of them is stored, not a "?" each; a character CP932
// lacks that does show keeps its "?".
TEST(Charset, CharactersThatShowAsNothingAreLeftOut) {
  struct Case {
    std::string utf8, expectUtf8;
  } cases[] = {
      {"メ\u200Bルカ\u200Bリ", "メルカリ"},                    // zero-width space
      {"ア\u200Cマ\u200Dゾン", "アマゾン"},                    // zero-width non-joiner, joiner
      {"楽\u2060天\u2061\u2062\u2063\u2064", "楽天"},       // word joiner, invisible operators
      {"\uFEFF三井住友", "三井住友"},                           // byte order mark inside a text
      {"葛\uFE00城\uFE0F", "葛城"},                            // variation selectors
      {"葛\U000E0100飾", "葛飾"},                               // ideographic variation selector
      {"口座\u200E確認\u200F", "口座確認"},                    // bidi marks
      {"\u202Aa\u202Bb\u202Cc\u202Dd\u202Ee", "abcde"},     // embeddings and overrides
      {"\u2066x\u2067y\u2068z\u2069", "xyz"},                // isolates
      {"pay\u00ADpal", "paypal"},                               // soft hyphen
      {"日本😀\u200B", "日本?"},                                // the emoji shows: its "?" stays
      {"\u200B", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cp932ToUtf8(utf8ToCp932(c.utf8)), c.expectUtf8) << c.utf8;
    EXPECT_EQ(cp932ToUtf8(nmail::charset::toCp932(c.utf8, "UTF-8")), c.expectUtf8) << c.utf8;
  }
  // In a header word and in text of another charset.
  EXPECT_EQ(cp932ToUtf8(nmail::text::decodeHeader("=?UTF-8?B?" + b64("【メ\u200Bルカリ】") + "?=")), "【メルカリ】");
  std::string utf16 = {'\x30', '\xA2', '\x20', '\x0B', '\x30', '\xDE'};  // ア ZWSP マ
  EXPECT_EQ(cp932ToUtf8(nmail::charset::toCp932(utf16, "UTF-16BE")), "アマ");
}

TEST(Charset, HeaderWords) {
  struct Case {
    std::string raw, expectUtf8;
  } cases[] = {
      {"plain subject", "plain subject"},
      {"=?ISO-2022-JP?B?" + b64(jis("件名")) + "?=", "件名"},
      {"=?utf-8?q?caf=C3=A9_=E6=97=A5?=", "caf? 日"},
      {"=?UTF-8?B?" + b64("日本") + "?= =?UTF-8?B?" + b64("語") + "?=", "日本語"},  // blank between words dropped
      {"Re: =?UTF-8?B?" + b64("日本") + "?= end", "Re: 日本 end"},
      // One character split over two words.
      {"=?UTF-8?B?" + b64("\xe6\x97") + "?=\r\n =?UTF-8?B?" + b64("\xa5") + "?=", "日"},
      {"=?ISO-2022-JP?B?" + b64("\x1b$BF|") + "?= =?ISO-2022-JP?B?" + b64("K\\\x1b(B") + "?=", "日本"},
      {"=?Shift_JIS?B?" + b64("\x93\xfa") + "?=", "日"},
      {"=?EUC-JP?B?" + b64("\xc6\xfc") + "?=", "日"},
      {"=?UTF-8*ja?B?" + b64("日") + "?=", "日"},  // language suffix
      {"=?broken", "=?broken"},
      {"=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
      {"line\r\n folded", "line folded"},
      {"=?UTF-8?B?" + b64("a\r\nBcc: x") + "?=", "a  Bcc: x"},  // no line breaks in a field
      {"\xe6\x97\xa5\xe6\x9c\xac raw UTF-8", "日本 raw UTF-8"},
      {"\x93\xfa\x96\x7b raw SJIS", "日本 raw SJIS"},
      {"  padded  ", "padded"},
      // A long subject split into ISO-2022-JP words, each back in ASCII.
      {"=?ISO-2022-JP?B?" + b64(jis("令和六年度")) + "?=\r\n =?iso-2022-jp?B?" + b64(jis("（最終）")) + "?=",
       "令和六年度（最終）"},
      {"=?Shift_JIS?B?" + b64("\x87\x40\x8a\xe9") + "?=", "①企"},
      // Raw EUC-JP, as some mailers write it without a word.
      {"\xa5\xc6\xa5\xb9\xa5\xc8", "テスト"},
      {"Re: \xb2\xf1\xb5\xc4\xa4\xce\xcd\xbd\xc4\xea", "Re: 会議の予定"},
      // A word folded in its middle, as some phones write it.
      {"=?ISO-2022-JP?B?" + b64(jis("テスト")).substr(0, 8) + "\r\n " + b64(jis("テスト")).substr(8) + "?=", "テスト"},
      {"=?UTF-8?B?" + b64("日本語").substr(0, 4) + " " + b64("日本語").substr(4) + "?=", "日本語"},
      {"=?utf-7?Q?+MMYwuTDI-?=", "テスト"},
  };
  for (const auto& c : cases) EXPECT_EQ(cp932ToUtf8(nmail::text::decodeHeader(c.raw)), c.expectUtf8) << c.raw;
}

TEST(Charset, ParametersOfContentFields) {
  std::string sjis = "\x95\xf1\x8d\x90.txt";  // 報告.txt
  struct Case {
    std::string value, name, partCharset, expectUtf8;
    bool found;
  } cases[] = {
      {" attachment; filename=\"a;b.txt\"; size=3", "filename", "", "a;b.txt", true},
      {" text/plain; charset=us-ascii; NAME=plain.txt", "name", "", "plain.txt", true},
      {" attachment; filename=\"a\\\"b.txt\"", "filename", "", "a\"b.txt", true},
      {" attachment; filename*=UTF-8'ja'%E5%A0%B1%E5%91%8A.txt", "filename", "", "報告.txt", true},
      // Sections joined in order, whatever order they come in; a gap ends them.
      {" attachment; filename*1*=%E5%91%8A.txt; filename*0*=UTF-8''%E5%A0%B1", "filename", "", "報告.txt", true},
      {" attachment; filename*0=abc; filename*2=xyz", "filename", "", "abc", true},
      {" attachment; filename*0=\"=?ISO-2022-JP?B?" + b64(jis("報")) + "?=\"; filename*1=\"=?ISO-2022-JP?B?" +
           b64(jis("告")) + "?=.txt\"",
       "filename", "", "報告.txt", true},
      // Raw 8-bit names in the part's charset, else by trial.
      {" attachment; filename=\"" + sjis + "\"", "filename", "Shift_JIS", "報告.txt", true},
      {" attachment; filename=\"" + sjis + "\"", "filename", "ISO-2022-JP", "報告.txt", true},
      {" attachment; filename=\"報告.txt\"", "filename", "", "報告.txt", true},
      {" attachment; filename=\"" + jis("報告") + ".txt\"", "filename", "", "報告.txt", true},
      {" attachment", "filename", "", "", false},
      {" attachment; filename*=\"\"", "filename", "", "", true},
      // A raw Shift_JIS name whose characters end in 0x5C: no backslash escape.
      {" attachment; filename=\"\x97\x5c\x92\xe8\x95\x5c.xls\"", "filename", "", "予定表.xls", true},
      {" attachment; filename=\"\x83\x5c\x83\x74\x83\x67.txt\"; size=3", "filename", "Shift_JIS", "ソフト.txt", true},
      {" attachment; filename=\"\x8f\x5c\x94\x5c.doc\"", "filename", "", "十能.doc", true},
      {" attachment; filename=\"a\\\\b.txt\"", "filename", "", "a\\b.txt", true},  // ASCII: escapes hold
      // No media type before the name; stray quotes around a word.
      {" name=\"report.pdf\"", "name", "", "report.pdf", true},
      {" attachment; filename=\"\"=?UTF-8?B?" + b64("資料.pdf") + "?=\"\"", "filename", "", "資料.pdf", true},
      {" application/pdf; name==?UTF-8?B?" + b64("資料.pdf") + "?=\"", "name", "", "資料.pdf", true},
      {" application/pdf; name=\"=?UTF-8?B?" + b64("資料.pdf") + "?=", "name", "", "資料.pdf", true},
  };
  for (const auto& c : cases) {
    bool found = !c.found;
    std::string got = nmail::text::parameter(c.value, c.name, c.partCharset, &found);
    EXPECT_EQ(cp932ToUtf8(got), c.expectUtf8) << c.value;
    EXPECT_EQ(found, c.found) << c.value;
  }
}

// Names keep every character in UTF-8, composed.
TEST(Charset, NamesInUtf8KeepEveryCharacter) {
  struct Case {
    std::string value, partCharset, expect;
  } cases[] = {
      {" attachment; filename*=UTF-8''%ED%95%9C%EA%B5%AD%EC%96%B4.txt", "", "한국어.txt"},
      {" attachment; filename=\"=?UTF-8?B?" + b64("café 😀.png") + "?=\"", "", "café 😀.png"},
      {" attachment; filename=\"한국어.txt\"", "Shift_JIS", "한국어.txt"},
      {" attachment; filename=\"=?ks_c_5601-1987?B?" + b64("\xc7\xd1\xb1\xb9.txt") + "?=\"", "", "한국.txt"},
      // Decomposed, as macOS writes names.
      {" attachment; filename*=UTF-8''%E3%82%AB%E3%82%99%E3%82%A4%E3%83%88%E3%82%99.pdf", "", "ガイド.pdf"},
      {" attachment; filename=\"\x97\x5c\x92\xe8\x95\x5c.xls\"", "", "予定表.xls"},
      {" attachment; filename=\"" + jis("報告") + ".txt\"", "", "報告.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(nmail::text::parameterUtf8(c.value, "filename", c.partCharset), c.expect) << c.value;
  EXPECT_EQ(nmail::text::decodeHeaderUtf8("=?UTF-8?B?" + b64("안녕 ガイド") + "?="), "안녕 ガイド");
}

TEST(Charset, EncodedHeaderWordsDecodeBackAndStayShort) {
  for (std::string s : {std::string("短い件名"), std::string("ASCII only"), std::string(200, 'x'),
                        std::string("丸数字①を含む件名"), std::string("とても長い件名") + std::string(40, 'a') +
                        "日本語日本語日本語日本語日本語日本語日本語日本語日本語"}) {
    std::string enc = nmail::text::encodeHeader(s, 9);
    for (unsigned char c : enc) EXPECT_LT(c, 0x80u);
    std::size_t start = 0;
    while (start < enc.size()) {
      std::size_t end = enc.find("\r\n", start);
      if (end == std::string::npos) end = enc.size();
      EXPECT_LE(end - start, nmail::charset::isAscii(s) ? 998u : 78u) << enc;
      start = end + 2;
    }
    EXPECT_EQ(cp932ToUtf8(nmail::text::decodeHeader(enc)), cp932ToUtf8(utf8ToCp932(s)));
  }
  EXPECT_NE(nmail::text::encodeHeader("日本", 9).find("ISO-2022-JP"), std::string::npos);
  EXPECT_NE(nmail::text::encodeHeader("①", 9).find("UTF-8"), std::string::npos);
}

TEST(Charset, CutNeverSplitsADoubleByteCharacter) {
  std::string s = utf8ToCp932("aあいb");  // 1 + 2 + 2 + 1 bytes
  EXPECT_EQ(nmail::text::cutCp932(s, 0), "");
  EXPECT_EQ(nmail::text::cutCp932(s, 1), "a");
  EXPECT_EQ(nmail::text::cutCp932(s, 2), "a");
  EXPECT_EQ(nmail::text::cutCp932(s, 3), s.substr(0, 3));
  EXPECT_EQ(nmail::text::cutCp932(s, 4), s.substr(0, 3));
  EXPECT_EQ(nmail::text::cutCp932(s, 6), s);
  EXPECT_EQ(nmail::text::cutCp932("a\x82", 5), "a");  // a lone lead byte at the end
  char buf[4];
  nmail::text::copyOut(buf, sizeof buf, s);
  EXPECT_STREQ(buf, s.substr(0, 3).c_str());
}

// The cut looks only at its end: it must give what a walk from the start
// gives, on any bytes (trail bytes in the lead range, leads before ASCII,
// runs of lead-range bytes).
TEST(Charset, CutFromTheEndAgreesWithAWalkFromTheStart) {
  auto walk = [](std::string_view b, std::size_t width) {
    std::size_t i = 0;
    while (i < b.size()) {
      const unsigned char c = static_cast<unsigned char>(b[i]);
      const std::size_t len = ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 2 : 1;
      if (i + len > width || i + len > b.size()) break;
      i += len;
    }
    return b.substr(0, i);
  };
  const unsigned char alphabet[] = {'a', '\n', 0x40, 0x7E, 0x80, 0x81, 0x9F, 0xA0, 0xDF, 0xE0, 0xFC, 0xFD};
  unsigned seed = 26;
  for (int round = 0; round < 3000; ++round) {
    std::string b;
    const int len = round % 23;
    for (int k = 0; k < len; ++k) {
      seed = seed * 1103515245u + 12345u;
      b += static_cast<char>(alphabet[(seed >> 16) % sizeof alphabet]);
    }
    for (std::size_t width = 0; width <= b.size() + 2; ++width)
      ASSERT_EQ(nmail::text::cutCp932(b, width), walk(b, width)) << round << " " << width;
  }
}

// The text that skips normalising is text GLib's NFC leaves as it is: no
// character of the table combines with anything before or after it.
TEST(Charset, TextLeftUncomposedIsTextNfcLeavesAsItIs) {
  std::vector<bool> secondHalf(0x110000);
  for (gunichar c = 1; c < 0x110000; ++c) {
    gunichar a = 0, b = 0;
    if (g_unichar_decompose(c, &a, &b) && b) secondHalf[b] = true;
  }
  int taken = 0;
  for (gunichar c = 1; c < 0x110000; ++c) {
    if (!nmail::charset::composedAsItStands(c)) continue;
    ++taken;
    ASSERT_FALSE(c >= 0xD800 && c <= 0xDFFF) << std::hex << c;
    char u[8];
    const int n = g_unichar_to_utf8(c, u);
    gchar* composed = g_utf8_normalize(u, n, G_NORMALIZE_NFC);
    ASSERT_TRUE(composed);
    const std::string nf(composed);
    g_free(composed);
    gunichar d[G_UNICHAR_MAX_DECOMPOSITION_LENGTH];
    g_unichar_fully_decompose(c, FALSE, d, G_UNICHAR_MAX_DECOMPOSITION_LENGTH);
    ASSERT_EQ(nf, std::string(u, n)) << std::hex << c;
    ASSERT_EQ(g_unichar_combining_class(c), 0) << std::hex << c;
    ASSERT_EQ(g_unichar_combining_class(d[0]), 0) << std::hex << c;
    ASSERT_FALSE(secondHalf[c] || secondHalf[d[0]]) << std::hex << c;
  }
  EXPECT_GT(taken, 30000);  // the kanji, the kana and the symbols of Japanese mail at the least
  for (gunichar c : {0x3099u, 0x309Au, 0x0301u, 0x2126u, 0x212Bu, 0x2329u, 0xF929u, 0x1161u, 0x11A8u, 0x302Au})
    EXPECT_FALSE(nmail::charset::composedAsItStands(c)) << std::hex << c;
  // Kana, CJK punctuation and kanji, alone and beside marks, come out as GLib composes them.
  auto glib = [](const std::string& t) {
    gchar* n = g_utf8_normalize(t.data(), static_cast<gssize>(t.size()), G_NORMALIZE_NFC);
    std::string out(n);
    g_free(n);
    return out;
  };
  for (gunichar c = 0x3000; c <= 0x4E10; c = c == 0x30FF ? 0x4E00 : c + 1) {
    char u[8];
    const std::string one(u, static_cast<std::size_t>(g_unichar_to_utf8(c, u)));
    for (const std::string& t : {one, "か" + one, one + "\xe3\x82\x99", one + "\xcc\x81", "\xe3\x82\x99" + one})
      ASSERT_EQ(nmail::charset::nfc(t), glib(t)) << std::hex << c;
  }
  // Either way the text comes out composed, and NUL bytes keep the text after them.
  const std::string plain = "お世話になっております。①※★～ｱｲｳ café";
  EXPECT_EQ(nmail::charset::nfc(plain), plain);
  EXPECT_EQ(nmail::charset::nfc("\xe3\x82\xab\xe3\x82\x99"), "ガ");
  EXPECT_EQ(nmail::charset::nfc(std::string("\xe3\x82\xab\xe3\x82\x99\0\xe3\x83\x88\xe3\x82\x99", 13)),
            std::string("ガ\0ド", 7));
  EXPECT_EQ(cp932ToUtf8(utf8ToCp932(std::string("\xe3\x82\xab\xe3\x82\x99\0日本", 13))), "ガ日本");
}

// A long text is composed and converted in pieces, and comes out as if it
// had been taken at once, whatever falls on the ends of the pieces: marks
// after a starter, Hangul given as its letters, characters CP932 lacks, a
// shift of ISO-2022-JP; and a text of many such characters costs its
// length once, not once for each of them.
TEST(Charset, ALongTextComesOutAsTakenAtOnceAndInTimeToItsLength) {
  auto glib = [](const std::string& t) {
    gchar* n = g_utf8_normalize(t.data(), static_cast<gssize>(t.size()), G_NORMALIZE_NFC);
    std::string out(n);
    g_free(n);
    return out;
  };
  // Units of 3 to 9 bytes repeated past many pieces of every size, so
  // that the ends of the pieces fall at every place inside a unit.
  const std::vector<std::string> units = {
      "e\xcc\x81",                              // e + combining acute
      "\xe1\x84\x80\xe1\x85\xa1\xe1\x86\xa8",  // Hangul letters that compose to one syllable
      "\xe3\x82\xab\xe3\x82\x99" "a",         // カ + voicing mark, then ASCII
      "\xf0\x9f\x98\x80\xe6\x97\xa5",           // a character CP932 lacks, then a kanji
      "\xed\x95\x9c\xea\xb5\xad",               // Hangul syllables
      "A\xcc\x8a\xcc\xa3",                       // two marks in the wrong order
  };
  // Each unit composes and converts on its own, so the whole is the
  // units' results one after another (GLib taking the whole text at once
  // is the slow road this avoids).
  for (const std::string& unit : units) {
    const std::string unitComposed = glib(unit);
    const std::string unitCp932 = utf8ToCp932(unit);
    for (std::size_t shift = 0; shift < 3; ++shift) {
      std::string text(shift, 'x'), composed(shift, 'x'), cp(shift, 'x');
      while (text.size() < 300 * 1024) {
        text += unit;
        composed += unitComposed;
        cp += unitCp932;
      }
      SCOPED_TRACE(testing::Message() << unit.size() << " bytes, shift " << shift);
      ASSERT_TRUE(nmail::charset::nfc(text) == composed);
      ASSERT_TRUE(utf8ToCp932(text) == cp);
    }
  }
  // ISO-2022-JP with its shifts on every side of a piece's end.
  std::string utf8;
  while (utf8.size() < 40 * 1024) utf8 += "日本語のテキストabc";
  const std::string iso = jis(utf8);
  ASSERT_FALSE(iso.empty());
  EXPECT_EQ(cp932ToUtf8(nmail::charset::toCp932(iso, "ISO-2022-JP")), utf8);
  // Many characters CP932 lacks, and many to compose, in a text of 8 MB:
  // hours when each one costs the rest of the text, about a second when
  // the text costs its length once (even sanitized).
  std::string many;
  while (many.size() < 8 * 1024 * 1024) many += "\xf0\x9f\x98\x80\xe1\x84\x80\xe1\x85\xa1 ";
  const auto start = std::chrono::steady_clock::now();
  const std::string out = utf8ToCp932(many);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(out.size(), many.size() / 11 * 3);
  EXPECT_EQ(out.substr(0, 6), "?? ?? ");
  EXPECT_LT(seconds, 10.0);
}

// The converters are kept open from text to text: one left half-way (in
// the middle of a shift) starts the next text afresh.
TEST(Charset, ATextLeftHalfWayLeavesNothingForTheNext) {
  std::string out;
  EXPECT_FALSE(nmail::charset::utf8ToIso2022jp("日本😀", out));
  EXPECT_NE(out.find("\x1b$B"), std::string::npos);
  ASSERT_TRUE(nmail::charset::utf8ToIso2022jp("abc", out));
  EXPECT_EQ(out, "abc");
  ASSERT_TRUE(nmail::charset::utf8ToIso2022jp("日本", out));
  EXPECT_EQ(out, "\x1b$BF|K\\\x1b(B");
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(cp932ToUtf8(nmail::charset::toCp932(jis("日本語") + "\x1b$B", "ISO-2022-JP")), "日本語");
    EXPECT_EQ(cp932ToUtf8(nmail::charset::toCp932("\xc6\xfc\xcb\xdc", "EUC-JP")), "日本");
  }
}

TEST(ServerNames, HostAndPort) {
  struct Case {
    const char* in;
    bool ok;
    const char* host;
    int port;
  } cases[] = {
      {"pop.example.jp", true, "pop.example.jp", 110},
      {"pop.example.jp:1110", true, "pop.example.jp", 1110},
      {" pop.example.jp ", true, "pop.example.jp", 110},
      {"[::1]:995", true, "::1", 995},
      {"::1", true, "::1", 110},
      {"host:0", false, "", 0},
      {"host:65536", false, "", 0},
      {"host:12a", false, "", 0},
      {"host:", false, "", 0},
      {"", false, "", 0},
      {"two words", false, "", 0},
  };
  for (const auto& c : cases) {
    std::string host;
    int port = 0;
    bool ok = nmail::net::splitServer(c.in, 110, host, port);
    EXPECT_EQ(ok, c.ok) << c.in;
    if (ok && c.ok) {
      EXPECT_EQ(host, c.host);
      EXPECT_EQ(port, c.port);
    }
  }
}

// Base64 comes back byte for byte whatever the lines, the blanks and stray
// characters between, and the pieces it comes in; it stops at its first
// "=", and a last group without its padding still gives its whole bytes.
TEST(Base64, DecodesWhateverItComesIn) {
  for (std::size_t n = 0; n <= 40; ++n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) bytes += static_cast<char>((i * 97 + n * 31 + 7) & 0xFF);
    const std::string coded = nmail::text::base64Encode(bytes, 8);  // lines of 8
    EXPECT_EQ(nmail::text::base64DecodeBody(coded), bytes) << n;
    std::string unpadded = coded;
    while (!unpadded.empty() && (unpadded.back() == '=' || unpadded.back() == '\n' || unpadded.back() == '\r'))
      unpadded.pop_back();
    EXPECT_EQ(nmail::text::base64DecodeBody(unpadded), bytes) << n;
    for (std::size_t piece = 1; piece <= 7; ++piece) {
      nmail::text::Base64Decoder d;
      std::string out;
      for (std::size_t at = 0; at < coded.size(); at += piece) d.feed(std::string_view(coded).substr(at, piece), out);
      EXPECT_EQ(out, bytes) << n << " in pieces of " << piece;
    }
  }
  struct Case {
    std::string in, out;
    bool urlSafe;
  } cases[] = {
      {"QU=JD", "A", false},
      {" Q U J D\tR A ! ", "ABCD", false},
      {"-_-_", std::string("\xfb\xff\xbf", 3), true},
      {"-_-_", "", false},
      {"+/+/", std::string("\xfb\xff\xbf", 3), true},
  };
  for (const auto& c : cases) {
    nmail::text::Base64Decoder d(c.urlSafe);
    std::string out = "kept:";
    d.feed(c.in, out);
    EXPECT_EQ(out, "kept:" + c.out) << c.in;
    EXPECT_EQ(d.ended(), c.in.find('=') != std::string::npos) << c.in;
  }
}
