"""Writes a corpus of mails as Japanese mailers and web mailers write them,
for the differential test and as seeds of the decoding fuzz target.

Every run with the same seed writes the same mails: every charset Japanese
mail uses (ISO-2022-JP with and without the CP932 rows and ESC ( I kana,
Shift_JIS and its Windows labels, EUC-JP, UTF-8, US-ASCII, unlabelled 8-bit
text), every transfer encoding, multipart mixed and alternative, nesting,
forwarded messages, RFC 2047 words split and folded, RFC 2231 names, raw
8-bit names, long bodies and missing headers.
"""
import base64
import hashlib
import json
import quopri
import random
import sys
from pathlib import Path

SEED = 20261210
SEED_SIZE = 6000  # bytes of the mails that also seed the fuzz target

# Texts by what they need of a charset.
JIS0208 = ["ご報告です。", "会議の議事録を送ります。", "よろしくお願いいたします。", "明日の予定について",
           "見積書をお送りします", "東京都千代田区", "株式会社テスト", "山田太郎", "第三四半期の売上",
           "お世話になっております。", "添付ファイルをご確認ください。", "令和六年度事業計画書（最終確定版）",
           "ＡＢＣ全角英字", "「かぎ括弧」と・中黒", "価格は１，０００円です"]
CP932_ONLY = ["①企画書", "髙橋様", "㈱サンプル", "№１２３", "Ⅲ期", "﨑田さん", "㍻の記録", "∑と∵"]
KANA = ["ﾃｽﾄ", "ｶﾀｶﾅ半角", "ｱｲｳｴｵ"]
ASCII = ["Hello", "Meeting notes", "Quarterly report", "See attached", "Re: schedule"]
NAMES = ["報告書", "資料", "議事録", "見積書", "令和六年度事業計画書（最終確定版）", "①企画書", "髙橋様宛", "ﾃｽﾄ資料",
         "report", "data 2024"]
EXTS = [".txt", ".pdf", ".docx", ".xlsx", ".png", ".lzh", ".csv"]


def text_pool(charset):
    if charset in ("iso-2022-jp", "shift_jis", "cp932", "unlabelled-sjis", "utf-8", "unlabelled-utf8"):
        return JIS0208 + CP932_ONLY + KANA + ASCII
    if charset == "euc-jp":
        return JIS0208 + KANA + ASCII
    return ASCII


def sjis_to_jis(b1, b2):
    if b1 >= 0xE0:
        b1 -= 0x40
    j1 = (b1 - 0x81) * 2 + 0x21
    if b2 >= 0x9F:
        return j1 + 1, b2 - 0x7E
    return j1, b2 - 0x1F - (1 if b2 >= 0x80 else 0)


def jis_encode(text, kana_by_so=False):
    """ISO-2022-JP as Windows writes it: the CP932 rows by arithmetic, kana
    by ESC ( I (or SO/SI)."""
    out = bytearray()
    mode = "ascii"
    for ch in text:
        b = ch.encode("cp932")
        if len(b) == 1 and b[0] < 0x80:
            want = "ascii"
        elif len(b) == 1:
            want = "kana"
        else:
            want = "jis"
        if want != mode:
            if mode == "kana" and kana_by_so:
                out += b"\x0f"
            out += {"ascii": b"\x1b(B", "kana": b"\x0e" if kana_by_so else b"\x1b(I", "jis": b"\x1b$B"}[want]
            mode = want
        if want == "ascii":
            out += b
        elif want == "kana":
            out.append(b[0] - 0x80)
        else:
            out += bytes(sjis_to_jis(b[0], b[1]))
    if mode != "ascii":
        if mode == "kana" and kana_by_so:
            out += b"\x0f"
        out += b"\x1b(B"
    return bytes(out)


def encode_text(text, charset, rnd):
    """(label, bytes) of text in charset."""
    if charset == "iso-2022-jp":
        if rnd.random() < 0.5:
            try:  # plain JIS X 0208 text as any mailer writes it
                return "ISO-2022-JP", text.encode("iso2022_jp")
            except UnicodeEncodeError:
                pass
        return rnd.choice(["ISO-2022-JP", "iso-2022-jp", "\"ISO-2022-JP\""]), jis_encode(text, rnd.random() < 0.2)
    if charset == "shift_jis":
        return rnd.choice(["Shift_JIS", "shift_jis", "x-sjis", "SJIS"]), text.encode("cp932")
    if charset == "cp932":
        return rnd.choice(["Windows-31J", "CP932"]), text.encode("cp932")
    if charset == "euc-jp":
        return rnd.choice(["EUC-JP", "euc-jp"]), text.encode("euc_jp")
    if charset == "utf-8":
        return rnd.choice(["UTF-8", "utf-8"]), text.encode("utf-8")
    if charset == "unlabelled-sjis":
        return "", text.encode("cp932")
    if charset == "unlabelled-utf8":
        return "", text.encode("utf-8")
    return rnd.choice(["us-ascii", "US-ASCII", ""]), text.encode("ascii")


CHARSETS = ["iso-2022-jp", "iso-2022-jp", "iso-2022-jp", "shift_jis", "shift_jis", "cp932", "euc-jp", "utf-8",
            "utf-8", "us-ascii", "unlabelled-sjis", "unlabelled-utf8"]


def sentence(rnd, charset, words=(1, 4)):
    return "".join(rnd.choice(text_pool(charset)) for _ in range(rnd.randint(*words)))


def body_text(rnd, charset):
    lines = [sentence(rnd, charset) for _ in range(rnd.randint(1, 6))]
    if rnd.random() < 0.1:  # a long body
        lines += [sentence(rnd, charset, (3, 8)) for _ in range(rnd.randint(200, 900))]
    return "\r\n".join(lines) + ("\r\n" if rnd.random() < 0.8 else "")


def transfer(data, rnd, seven_bit_only=False):
    """(encoding header or None, encoded bytes)."""
    eight = any(c >= 0x80 for c in data)
    long_line = any(len(l) > 900 for l in data.split(b"\r\n"))
    choices = ["base64", "quoted-printable"]
    if not long_line:
        choices += ["8bit", None] if eight and not seven_bit_only else ["7bit", None]
    enc = rnd.choice(choices)
    if enc == "base64":
        b = base64.encodebytes(data).replace(b"\n", b"\r\n")
        return rnd.choice(["base64", "BASE64", "Base64"]), b
    if enc == "quoted-printable":
        q = quopri.encodestring(data.replace(b"\r\n", b"\n")).replace(b"\n", b"\r\n")
        return "quoted-printable", q
    return enc, data


def b_words(text_bytes_list, label):
    return ["=?%s?B?%s?=" % (label, base64.b64encode(b).decode()) for b in text_bytes_list]


def q_word(b, label):
    s = ""
    for c in b:
        if (0x30 <= c <= 0x39 or 0x41 <= c <= 0x5A or 0x61 <= c <= 0x7A) and c != 0x5F:
            s += chr(c)
        else:
            s += "=%02X" % c
    return "=?%s?Q?%s?=" % (label, s)


def chunks(text, n):
    return [text[i:i + n] for i in range(0, len(text), n)] or [""]


def encoded_header(text, rnd, name_len):
    """A header value for text: plain ASCII, or RFC 2047 words (one or many,
    on one line or folded), or raw 8-bit bytes."""
    if all(ord(c) < 0x80 for c in text) and rnd.random() < 0.7:
        return text.encode()
    way = rnd.choice(["jis", "jis", "jis-split", "jis-split", "utf8-b", "utf8-split", "sjis-b", "utf8-q", "raw-sjis",
                      "raw-utf8"])
    fold = rnd.choice([" ", "\r\n ", "\r\n\t"])
    if way == "raw-sjis":
        return text.encode("cp932")
    if way == "raw-utf8":
        return text.encode("utf-8")
    if way == "jis":
        return b_words([jis_encode(text)], "ISO-2022-JP")[0].encode()
    if way == "jis-split":
        return fold.join(b_words([jis_encode(c) for c in chunks(text, rnd.randint(2, 6))],
                                 rnd.choice(["ISO-2022-JP", "iso-2022-jp"]))).encode()
    if way == "utf8-b":
        return b_words([text.encode("utf-8")], "UTF-8")[0].encode()
    if way == "utf8-split":  # cut anywhere, even inside a character
        b = text.encode("utf-8")
        n = max(1, rnd.randint(4, 20))
        return fold.join(b_words([b[i:i + n] for i in range(0, len(b), n)], "UTF-8")).encode()
    if way == "sjis-b":
        return b_words([text.encode("cp932")], rnd.choice(["Shift_JIS", "SHIFT_JIS"]))[0].encode()
    return q_word(text.encode("utf-8"), "UTF-8").encode()


def name_params(name, rnd, part_label):
    """Content-Type name and Content-Disposition filename of a file name."""
    way = rnd.choice(["ascii", "2047", "2047-split", "2047-fold", "2231", "2231-sections", "raw-sjis",
                      "raw-utf8", "raw-jis", "2047-sjis"])
    if all(ord(c) < 0x80 for c in name):
        way = rnd.choice(["ascii", "2231"])
    if way == "ascii":
        v = b'"' + name.encode() + b'"'
        return v, v
    if way in ("2047", "2047-split", "2047-fold"):
        n = len(name) if way == "2047" else rnd.randint(2, 5)
        sep = " " if way == "2047-split" else "\r\n "
        v = b'"' + sep.join(b_words([jis_encode(c) for c in chunks(name, n)], "ISO-2022-JP")).encode() + b'"'
        return v, v
    if way == "2047-sjis":
        v = b'"' + b_words([name.encode("cp932")], "Shift_JIS")[0].encode() + b'"'
        return v, v
    if way == "raw-sjis":
        v = b'"' + name.encode("cp932") + b'"'
        return v, v
    if way == "raw-utf8":
        v = b'"' + name.encode("utf-8") + b'"'
        return v, v
    if way == "raw-jis":
        v = b'"' + jis_encode(name) + b'"'
        return v, v
    pct = "".join("%%%02X" % c for c in name.encode("utf-8"))
    if way == "2231":
        return None, ("*=UTF-8''" + pct).encode()
    parts = chunks(pct, 3 * rnd.randint(3, 8))
    return None, "".join(";\r\n filename*%d*=%s%s" % (i, "UTF-8''" if i == 0 else "", p)
                         for i, p in enumerate(parts)).encode()


def attachment(rnd, used):
    stem = rnd.choice(NAMES)
    ext = rnd.choice(EXTS)
    name = stem + ext
    k = 2
    while name in used:
        name = "%s%d%s" % (stem, k, ext)
        k += 1
    used.add(name)
    kind = rnd.choice(["binary-b64", "binary-b64", "binary-8bit", "text-sjis", "text-utf8", "unnamed"])
    ctype = {".txt": b"text/plain", ".csv": b"text/csv", ".png": b"image/png", ".pdf": b"application/pdf"}.get(
        ext, b"application/octet-stream")
    if kind.startswith("binary"):
        size = rnd.choice([0, 1, 2, 3, 57, 300, 5000])
        data = bytes(rnd.randrange(256) for _ in range(size)).replace(b"\n", b"\r\n").replace(b"\r\r\n", b"\r\n")
        if ctype.startswith(b"text"):
            ctype = b"application/octet-stream"
    else:
        data = body_text(rnd, "shift_jis" if kind == "text-sjis" else "utf-8").encode(
            "cp932" if kind == "text-sjis" else "utf-8")
    label = b"Shift_JIS" if kind == "text-sjis" else b"UTF-8"
    ct_name, cd_name = name_params(name, rnd, label)
    head = b"Content-Type: " + ctype
    if ctype.startswith(b"text"):
        head += b"; charset=" + label
    if kind == "unnamed":
        head += b"\r\nContent-Disposition: attachment"
    else:
        if ct_name is not None and rnd.random() < 0.7:
            head += b";\r\n name=" + ct_name
        if rnd.random() < 0.85 or ct_name is None:
            head += b"\r\nContent-Disposition: attachment"
            head += (b";\r\n filename=" + cd_name) if ct_name is not None else cd_name
    if kind == "binary-8bit":
        head += b"\r\nContent-Transfer-Encoding: 8bit"
        body = data
    else:
        enc, body = transfer(data, rnd, seven_bit_only=True)
        if enc is None or enc in ("7bit",):
            enc, body = "base64", base64.encodebytes(data).replace(b"\n", b"\r\n")
        head += b"\r\nContent-Transfer-Encoding: " + enc.encode()
    return head + b"\r\n\r\n" + body


def text_part(rnd, subtype="plain", charset=None):
    charset = charset or rnd.choice(CHARSETS)
    text = body_text(rnd, charset)
    if subtype == "html":
        text = "<html><body><p>" + text.replace("\r\n", "<br>\r\n") + "</p></body></html>\r\n"
    label, data = encode_text(text, charset, rnd)
    enc, body = transfer(data, rnd, seven_bit_only=False)
    head = b"Content-Type: text/" + subtype.encode()
    if label:
        head += b"; charset=" + label.encode()
    if enc:
        head += b"\r\nContent-Transfer-Encoding: " + enc.encode()
    if rnd.random() < 0.1:
        head += b"\r\nContent-Disposition: inline"
    return head + b"\r\n\r\n" + body


def boundary(rnd):
    return ("----=_Part_%d_%d" % (rnd.randrange(10 ** 6), rnd.randrange(10 ** 9))).encode()


def multipart(subtype, parts, rnd):
    b = boundary(rnd)
    out = b"Content-Type: multipart/" + subtype + b";\r\n boundary=\"" + b + b"\"\r\n\r\n"
    if rnd.random() < 0.3:
        out += rnd.choice([b"This is a multi-part message in MIME format.\r\n",
                           "このメッセージはマルチパートです。\r\n".encode("cp932"),
                           "このメッセージはマルチパートです。\r\n".encode("utf-8")])
    for p in parts:
        out += b"--" + b + b"\r\n" + p + b"\r\n"
    return out + b"--" + b + b"--\r\n"


def structure(rnd, depth=0):
    kind = rnd.choice(["text", "text", "mixed", "mixed", "alternative", "mixed-alt", "forward", "html", "named-text"])
    if depth > 1 and kind in ("mixed-alt", "forward"):
        kind = "mixed"
    used = set()
    if kind == "text":
        return text_part(rnd)
    if kind == "html":
        return text_part(rnd, "html")
    if kind == "named-text":
        charset = rnd.choice(CHARSETS)
        label, data = encode_text(body_text(rnd, charset), charset, rnd)
        name = rnd.choice(NAMES) + ".txt"
        ct_name, _ = name_params(name, rnd, label)
        if ct_name is None:
            ct_name = b'"' + name.encode("utf-8") + b'"'
        enc, body = transfer(data, rnd)
        head = b"Content-Type: text/plain; charset=" + (label or "us-ascii").encode() + b"; name=" + ct_name
        if enc:
            head += b"\r\nContent-Transfer-Encoding: " + enc.encode()
        return head + b"\r\n\r\n" + body
    if kind == "alternative":
        return multipart(b"alternative", [text_part(rnd), text_part(rnd, "html")], rnd)
    if kind == "mixed-alt":
        inner = multipart(b"alternative", [text_part(rnd), text_part(rnd, "html")], rnd)
        return multipart(b"mixed", [inner] + [attachment(rnd, used) for _ in range(rnd.randint(1, 3))], rnd)
    if kind == "forward":
        inner = headers(rnd) + structure(rnd, depth + 1)
        fwd = b"Content-Type: message/rfc822\r\n\r\n" + inner
        return multipart(b"mixed", [text_part(rnd), fwd], rnd)
    parts = [text_part(rnd)] + [attachment(rnd, used) for _ in range(rnd.randint(1, 4))]
    if depth < 2 and rnd.random() < 0.2:
        parts.append(structure(rnd, depth + 1))
    return multipart(b"mixed", parts, rnd)


def headers(rnd):
    charset = rnd.choice(CHARSETS)
    out = b""
    if rnd.random() < 0.95:
        person = rnd.choice(["山田太郎", "髙橋一郎", "ﾃｽﾄ担当", "㈱サンプル 営業部", "Taro Yamada", "佐藤"])
        out += b"From: " + encoded_header(person, rnd, 6) + b" <sender%d@example.jp>\r\n" % rnd.randrange(100)
    out += b"To: user@example.jp\r\n"
    if rnd.random() < 0.93:
        out += b"Subject: " + encoded_header(sentence(rnd, charset, (1, 3)), rnd, 9) + b"\r\n"
    if rnd.random() < 0.9:
        out += b"Date: Thu, 10 Dec 2026 09:%02d:00 +0900\r\n" % rnd.randrange(60)
    out += b"Message-ID: <%d@example.jp>\r\n" % rnd.randrange(10 ** 9)
    out += b"MIME-Version: 1.0\r\n"
    return out


# ---- Mail as mailing lists, phones, web mailers and spam really send it.
# Each class writes several mails. Where Python's email package reads such a
# mail otherwise than a careful client, the reading expected is written
# beside it (X.expect, JSON of subject / from / body / files, in UTF-8).

def html_page(rnd, charset):
    """(HTML, the lines a reader sees of it) with the markup mail carries:
    head, style sheet, script, comments, entities, links, blocks, breaks."""
    html = "<html><head><title>%s</title>" % sentence(rnd, charset, (1, 1))
    html += "<style>p { margin: 0 } .x { color: #f00 }</style><script>var n = 1 < 2;</script></head>\r\n<body>"
    if rnd.random() < 0.5:
        html += "<!-- %s -->" % rnd.choice(ASCII)
    text = []
    for _ in range(rnd.randint(1, 4)):
        line = sentence(rnd, charset)
        esc = line.replace("&", "&amp;").replace("<", "&lt;")
        if rnd.random() < 0.3:
            esc += " &amp; &lt;x&gt; &quot;q&quot;"
            line += " & <x> \"q\""
        if rnd.random() < 0.3:
            url, words = "https://example.jp/%d" % rnd.randrange(1000), rnd.choice(ASCII)
            esc += '<a href="%s">%s</a>' % (url, words)
            line += "%s <%s>" % (words, url)
        block = rnd.choice(["p", "div", "br"])
        html += esc + "<br>\r\n" if block == "br" else "<%s>%s</%s>\r\n" % (block, esc, block)
        text.append(line)
    html += "</body></html>\r\n"
    return html, text


def expected_html_text(lines):
    return "\r\n".join(lines) + "\r\n"


def html_part(rnd, charset=None):
    charset = charset or rnd.choice(["iso-2022-jp", "shift_jis", "utf-8", "euc-jp", "us-ascii"])
    html, lines = html_page(rnd, charset)
    label, data = encode_text(html, charset, rnd)
    enc, body = transfer(data, rnd)
    head = b"Content-Type: text/html"
    if label:
        head += b"; charset=" + label.encode()
    if enc:
        head += b"\r\nContent-Transfer-Encoding: " + enc.encode()
    return head + b"\r\n\r\n" + body, expected_html_text(lines)


def footer_part(rnd):
    text = "--\r\n%s\r\nhttps://lists.example.jp/ml%d\r\n" % (rnd.choice(["ML の登録解除はこちら", "Mailing list footer"]),
                                                           rnd.randrange(100))
    charset = rnd.choice(["iso-2022-jp", "utf-8", "us-ascii"]) if not text.isascii() else "us-ascii"
    if not text.isascii() and charset == "us-ascii":
        charset = "utf-8"
    label, data = encode_text(text, charset, rnd)
    return b"Content-Type: text/plain; charset=" + (label or "us-ascii").encode() + b"\r\n\r\n" + data, text


def simple_headers(rnd, subject="real"):
    return (b"From: sender%d@example.jp\r\nTo: user@example.jp\r\nSubject: " % rnd.randrange(100) +
            subject.encode() + b"\r\nDate: Thu, 10 Dec 2026 10:00:00 +0900\r\nMIME-Version: 1.0\r\n")


def b64_lines(data):
    return base64.encodebytes(data).replace(b"\n", b"\r\n")


def class_html_footer(rnd):
    html, text = html_part(rnd)
    footer, ftext = footer_part(rnd)
    return headers(rnd) + multipart(b"mixed", [html, footer], rnd), {"body": text + ftext}


def class_html_only(rnd):
    html, text = html_part(rnd)
    if rnd.random() < 0.5:
        return headers(rnd) + html, {"body": text}
    return headers(rnd) + multipart(b"alternative", [html], rnd), {"body": text}


def short_base64(data):
    return base64.b64encode(data).rstrip(b"=")


def class_base64_unpadded(rnd):
    parts = [text_part(rnd)]
    for k in range(rnd.randint(1, 3)):
        size = rnd.choice([1, 2, 4, 5, 56, 58, 301, 4999])
        data = bytes(rnd.randrange(256) for _ in range(size))
        enc = short_base64(data)
        enc = b"\r\n".join(enc[i:i + 76] for i in range(0, len(enc), 76))
        parts.append(b"Content-Type: application/octet-stream; name=\"data%d.bin\"\r\n"
                     b"Content-Transfer-Encoding: base64\r\n\r\n" % k + enc)
    return headers(rnd) + multipart(b"mixed", parts, rnd), None


def class_uuencode_folded(rnd):
    data = bytes(rnd.randrange(256) for _ in range(rnd.choice([3, 45, 46, 200])))
    lines = []
    for i in range(0, len(data), 45):
        chunk = data[i:i + 45]
        lines.append(binascii_b2a_uu(chunk))
    name = rnd.choice(["report.bin", "a long file name.dat"])
    begin = b"begin 644 " + name.encode()
    cut = begin.rfind(b" ")
    begin = begin[:cut] + b"\r\n" + begin[cut:]  # folded before its last word
    body = begin + b"\r\n" + b"".join(lines) + b"`\r\nend\r\n"
    att = (b"Content-Type: application/octet-stream; name=\"" + name.encode() + b"\"\r\n"
           b"Content-Transfer-Encoding: x-uuencode\r\n\r\n" + body)
    return headers(rnd) + multipart(b"mixed", [text_part(rnd), att], rnd), None


def binascii_b2a_uu(chunk):
    import binascii
    return binascii.b2a_uu(chunk, backtick=True).replace(b"\n", b"\r\n")


def class_no_boundary(rnd):
    charset = rnd.choice(["utf-8", "iso-2022-jp", "us-ascii"])
    text = body_text(rnd, charset)
    label, data = encode_text(text, charset, rnd)
    if rnd.random() < 0.5:
        head = b"Content-Type: multipart/mixed" + (b"; charset=" + label.encode() if label else b"") + b"\r\n\r\n"
        return headers(rnd) + head + data, {"body": text, "files": []}
    b = boundary(rnd)
    part = b"Content-Type: text/plain; charset=" + (label or "us-ascii").encode() + b"\r\n\r\n" + data
    body = b"--" + b + b"\r\n" + part + b"\r\n--" + b + b"--\r\n"
    return headers(rnd) + b"Content-Type: multipart/mixed\r\n\r\n" + body, {"body": text, "files": []}


BACKSLASH_NAMES = ["予定表", "ソフト", "十能", "表計算", "能力表", "予算", "構造表"]


def class_sjis_backslash_name(rnd):
    name = rnd.choice(BACKSLASH_NAMES) + rnd.choice([".xls", ".txt", ".doc"])
    data = bytes(rnd.randrange(256) for _ in range(rnd.randint(0, 100)))
    where = rnd.choice(["name", "filename", "both"])
    head = b"Content-Type: application/octet-stream"
    if where in ("name", "both"):
        head += b"; name=\"" + name.encode("cp932") + b"\""
    if where in ("filename", "both"):
        head += b"\r\nContent-Disposition: attachment; filename=\"" + name.encode("cp932") + b"\""
    head += b"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + b64_lines(data)
    mail = headers(rnd) + multipart(b"mixed", [text_part(rnd), head], rnd)
    return mail, {"files": [[name, hashlib.sha256(data).hexdigest()]]}


WORLD_NAMES = ["한국어 문서", "café", "naïve résumé", "😀写真", "Ελληνικά", "Ünïcödé", "한글"]


def class_world_name(rnd):
    name = rnd.choice(WORLD_NAMES) + rnd.choice([".txt", ".pdf", ".png"])
    data = bytes(rnd.randrange(256) for _ in range(rnd.randint(1, 100)))
    way = rnd.choice(["2231", "2047", "raw"])
    if way == "2231":
        disp = b"attachment; filename*=UTF-8''" + "".join("%%%02X" % c for c in name.encode()).encode()
    elif way == "2047":
        disp = b"attachment; filename=\"=?UTF-8?B?" + base64.b64encode(name.encode()) + b"?=\""
    else:
        disp = b"attachment; filename=\"" + name.encode() + b"\""
    att = (b"Content-Type: application/octet-stream\r\nContent-Disposition: " + disp +
           b"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + b64_lines(data))
    return headers(rnd) + multipart(b"mixed", [text_part(rnd), att], rnd), None


def class_decomposed(rnd):
    import unicodedata
    words = ["ガイド", "データベース", "パンフレット", "ブログ", "ゲーム"]
    name = unicodedata.normalize("NFD", rnd.choice(words) + ".pdf")
    subject = unicodedata.normalize("NFD", rnd.choice(words))
    text = unicodedata.normalize("NFD", "本文：" + rnd.choice(words) + "です。\r\n")
    head = (b"From: a@example.jp\r\nTo: user@example.jp\r\nSubject: =?UTF-8?B?" +
            base64.b64encode(subject.encode()) + b"?=\r\nMIME-Version: 1.0\r\n")
    att = (b"Content-Type: application/pdf; name=\"" + name.encode() + b"\"\r\n"
           b"Content-Transfer-Encoding: base64\r\n\r\n" + b64_lines(b"%PDF"))
    txt = b"Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + text.encode()
    return head + multipart(b"mixed", [txt, att], rnd), None


def class_odd_name_syntax(rnd):
    name = rnd.choice(["資料", "報告書", "report"]) + ".pdf"
    word = b"=?UTF-8?B?" + base64.b64encode(name.encode()) + b"?="
    way = rnd.choice(["no-type", "stray-both", "stray-close", "unclosed"])
    if way == "no-type":
        head = b"Content-Type: name=\"" + word + b"\""
    elif way == "stray-both":
        head = b"Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"\"" + word + b"\"\""
    elif way == "stray-close":
        head = b"Content-Type: application/pdf; name=" + word + b"\""
    else:
        head = b"Content-Type: application/pdf; name=\"" + word
    att = head + b"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + b64_lines(b"%PDF-1.4")
    mail = headers(rnd) + multipart(b"mixed", [text_part(rnd), att], rnd)
    return mail, {"files": [[name, hashlib.sha256(b"%PDF-1.4").hexdigest()]]}


def class_utf7(rnd):
    label = rnd.choice(["utf-7", "UTF-7", "unicode-1-1-utf-7"])
    text = body_text(rnd, "utf-8")
    subject = sentence(rnd, "utf-8", (1, 2))
    head = (b"From: a@example.jp\r\nTo: user@example.jp\r\nSubject: =?" + label.encode() + b"?B?" +
            base64.b64encode(subject.encode("utf-7")) + b"?=\r\nMIME-Version: 1.0\r\n")
    body = b"Content-Type: text/plain; charset=" + label.encode() + b"\r\n\r\n" + text.encode("utf-7")
    return head + body, None


ALIAS_TEXTS = [("ks_c_5601-1987", "cp949", ["テスト", "漢字", "안녕하세요", "議論"]),
               ("gb2312", "gb2312", ["中文", "会议", "报告"]), ("big5", "big5", ["中文", "報告"]),
               ("win-1251", "cp1251", ["Привет", "мир"]), ("windows-874", "cp874", ["สวัสดี"]),
               ("x-mac-roman", "mac_roman", ["café"]), ("iso-8859-8-i", "iso8859_8", ["שלום"])]


def class_charset_alias(rnd):
    label, codec, words = rnd.choice(ALIAS_TEXTS)
    text = " ".join(rnd.choice(words) for _ in range(rnd.randint(1, 5))) + "\r\n"
    data = text.encode(codec)
    enc, body = transfer(data, rnd)
    head = b"Content-Type: text/plain; charset=" + label.encode()
    if enc:
        head += b"\r\nContent-Transfer-Encoding: " + enc.encode()
    subject = b"=?" + label.encode() + b"?B?" + base64.b64encode(rnd.choice(words).encode(codec)) + b"?="
    mail = (b"From: a@example.jp\r\nTo: user@example.jp\r\nSubject: " + subject + b"\r\nMIME-Version: 1.0\r\n" +
            head + b"\r\n\r\n" + body)
    return mail, None


EUC_PEOPLE = ["山田太郎", "佐藤花子", "株式会社テスト", "鈴木", "営業部 田中"]


def class_raw_eucjp_header(rnd):
    subject = sentence(rnd, "euc-jp", (1, 3))
    while all(ord(c) < 0x80 for c in subject):
        subject = sentence(rnd, "euc-jp", (1, 3))
    person = rnd.choice(EUC_PEOPLE)
    head = (b"From: " + person.encode("euc_jp") + b" <p@example.jp>\r\nTo: user@example.jp\r\nSubject: " +
            subject.encode("euc_jp") + b"\r\nMIME-Version: 1.0\r\n")
    return head + text_part(rnd, charset="euc-jp"), None


def class_folded_word(rnd):
    subject = sentence(rnd, "iso-2022-jp", (1, 2))
    label = rnd.choice(["ISO-2022-JP", "UTF-8"])
    data = jis_encode(subject) if label == "ISO-2022-JP" else subject.encode()
    enc = base64.b64encode(data).decode()
    cut = rnd.randint(1, max(1, len(enc) - 1))
    fold = rnd.choice(["\r\n ", "\r\n\t", " "])
    word = "=?%s?B?%s%s%s?=" % (label, enc[:cut], fold, enc[cut:])
    head = (b"From: a@example.jp\r\nTo: user@example.jp\r\nSubject: " + word.encode() +
            b"\r\nMIME-Version: 1.0\r\n")
    return head + text_part(rnd), {"subject": subject}


def class_broken_header_block(rnd):
    body = multipart(b"mixed", [text_part(rnd), text_part(rnd)], rnd)
    head = headers(rnd)
    if rnd.random() < 0.5:
        # A trace line's fold at the very top, its field lost.
        return b"\tby relay%d.example.jp with SMTP; Thu, 10 Dec 2026\r\n" % rnd.randrange(10) + head + body, None
    # No empty line between the header and the first boundary.
    cut = body.index(b"\r\n\r\n")
    return head + body[:cut] + b"\r\n" + body[cut + 4:], None


CLASSES = [("html-footer", class_html_footer), ("html-only", class_html_only),
           ("base64-unpadded", class_base64_unpadded), ("uuencode-folded", class_uuencode_folded),
           ("no-boundary", class_no_boundary), ("sjis-backslash-name", class_sjis_backslash_name),
           ("world-name", class_world_name), ("decomposed", class_decomposed),
           ("odd-name-syntax", class_odd_name_syntax), ("utf7", class_utf7), ("charset-alias", class_charset_alias),
           ("raw-eucjp-header", class_raw_eucjp_header), ("folded-word", class_folded_word),
           ("broken-header-block", class_broken_header_block)]
PER_CLASS = 6


# ---- Mail whose structure real servers break: a boundary the body never
# uses, folds that lost their blank in part headers and enclosed messages,
# a Content-Type given twice, nesting past a thousand levels. Each broken
# mail has a well-formed twin that says the same; the twin's reading
# (Python's) is the reading expected of the broken one.

def twin_expect(twin, enclosed=()):
    """The expected reading of a broken mail: its twin's, with the files
    of enclosed messages as they came (enclosed: their bytes, in order)."""
    import reference
    exp = reference.read(twin)
    files, queue = [], list(enclosed)
    for name, digest in exp["files"]:
        if digest is None and queue:
            digest = hashlib.sha256(queue.pop(0)).hexdigest()
        files.append([name, digest])
    return {"subject": exp["subject"], "from": exp["from"], "body": exp["body"], "files": files}


def parts_of(b, parts):
    out = b""
    for p in parts:
        out += b"--" + b + b"\r\n" + p + b"\r\n"
    return out + b"--" + b + b"--\r\n"


def class_unused_boundary(rnd):
    used = set()
    parts = [text_part(rnd)] + [attachment(rnd, used) for _ in range(rnd.randint(0, 2))]
    real, named = boundary(rnd), boundary(rnd)
    sub = rnd.choice([b"mixed", b"related"])
    way = rnd.choice(["top", "top", "part", "no-lines"])
    if way == "no-lines":
        charset = rnd.choice(["utf-8", "iso-2022-jp", "us-ascii"])
        label, data = encode_text(body_text(rnd, charset), charset, rnd)
        params = (b"; charset=" + label.encode() if label else b"")
        head = headers(rnd)
        mail = head + b"Content-Type: multipart/" + sub + b"; boundary=\"" + named + b"\"" + params + \
            b"\r\n\r\n" + data
        twin = head + b"Content-Type: text/plain" + params + b"\r\n\r\n" + data
        return mail, twin_expect(twin)
    inner = parts_of(real, parts)
    if way == "top":
        head = headers(rnd)
        mail = head + b"Content-Type: multipart/" + sub + b";\r\n boundary=\"" + named + b"\"\r\n\r\n" + inner
        twin = head + b"Content-Type: multipart/" + sub + b";\r\n boundary=\"" + real + b"\"\r\n\r\n" + inner
        return mail, twin_expect(twin)
    outer = boundary(rnd)
    first = text_part(rnd)
    head = headers(rnd) + b"Content-Type: multipart/mixed; boundary=\"" + outer + b"\"\r\n\r\n"
    mail = head + parts_of(outer, [first, b"Content-Type: multipart/" + sub + b"; boundary=" + named + b"\r\n\r\n" + inner])
    twin = head + parts_of(outer, [first, b"Content-Type: multipart/" + sub + b"; boundary=" + real + b"\r\n\r\n" + inner])
    return mail, twin_expect(twin)


def lose_blanks(entity, rnd):
    """An entity whose header's folds lost their blank (the twin keeps
    them); its body stays as it is."""
    cut = entity.find(b"\r\n\r\n")
    head, rest = (entity, b"") if cut < 0 else (entity[:cut], entity[cut:])
    lines = head.split(b"\r\n")
    return b"\r\n".join(l.lstrip(b" \t") if rnd.random() < 0.9 else l for l in lines) + rest


def trace_fields(rnd):
    """A Received and a DKIM-Signature field folded over several lines."""
    return (b"Received: from mail%d.example.jp (mail.example.jp [192.0.2.%d])\r\n"
            b"\tby mx.example.com with ESMTPS id a%dz;\r\n"
            b"\tThu, 10 Dec 2026 09:%02d:00 +0900\r\n" % (rnd.randrange(10), rnd.randrange(255), rnd.randrange(10 ** 6),
                                                         rnd.randrange(60)) +
            b"DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.jp;\r\n"
            b" s=sel%d; h=From:To:Subject:Date:Message-ID;\r\n"
            b" bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
            b" b=" % rnd.randrange(10) + base64.b64encode(bytes(rnd.randrange(256) for _ in range(48))) + b"\r\n")


def alternative_with(rnd, b, folded):
    """A multipart/alternative part as a large web mail service writes it in
    its bounces: differences=Content-Type, the boundary on the next line."""
    head = b"Content-Type: multipart/alternative; differences=Content-Type;\r\n" + (b" " if folded else b"") + \
        b"boundary=\"" + b + b"\"\r\n\r\n"
    plain = text_part(rnd, charset=rnd.choice(["us-ascii", "utf-8", "iso-2022-jp"]))
    return head + parts_of(b, [plain, text_part(rnd, "html")])


def class_part_header_lost_blank(rnd):
    alt = boundary(rnd)
    seed = rnd.random()
    r1, r2 = random.Random(seed), random.Random(seed)
    broken, folded = alternative_with(r1, alt, False), alternative_with(r2, alt, True)
    charset = rnd.choice(["utf-8", "shift_jis", "iso-2022-jp"])
    label, data = encode_text(body_text(rnd, charset), charset, rnd)
    enc, body = transfer(data, rnd, seven_bit_only=True)
    text_head = b"Content-Type: text/plain;\r\n charset=" + (label or "us-ascii").encode()
    if enc:
        text_head += b"\r\nContent-Transfer-Encoding: " + enc.encode()
    text = text_head + b"\r\n\r\n" + body
    outer, head = boundary(rnd), headers(rnd)
    top = head + b"Content-Type: multipart/report; report-type=delivery-status;\r\n boundary=\"" + outer + b"\"\r\n\r\n"
    mail = top + parts_of(outer, [broken, lose_blanks(text, rnd)])
    twin = top + parts_of(outer, [folded, text])
    return mail, twin_expect(twin)


def class_enclosed_lost_blank(rnd):
    seed = rnd.random()
    inner_head = trace_fields(rnd) + headers(rnd)
    inner = structure(random.Random(seed), 2)
    cut = inner.index(b"\r\n\r\n")
    inner_type = inner[:cut + 2]
    broken = lose_blanks(inner_head + inner_type, rnd) + inner[cut + 2:]
    whole = inner_head + inner
    outer, head, first = boundary(rnd), headers(rnd), text_part(rnd)
    top = head + b"Content-Type: multipart/mixed; boundary=\"" + outer + b"\"\r\n\r\n"
    part = b"Content-Type: message/rfc822\r\n\r\n"
    mail = top + parts_of(outer, [first, part + broken])
    twin = top + parts_of(outer, [first, part + whole])
    return mail, twin_expect(twin, [broken])


def class_content_type_twice(rnd):
    charset = rnd.choice(["utf-8", "iso-2022-jp", "shift_jis"])
    label, data = encode_text(body_text(rnd, charset), charset, rnd)
    enc, body = transfer(data, rnd, seven_bit_only=True)
    first = b"Content-Type: text/plain; charset=" + (label or "us-ascii").encode()
    second = rnd.choice([b"Content-Type: application/octet-stream", b"Content-Type: text/html; charset=us-ascii",
                         b"Content-Type: image/png; name=\"x.png\""])
    head = first + b"\r\n" + second
    if enc:
        head += b"\r\nContent-Transfer-Encoding: " + enc.encode()
        if rnd.random() < 0.5:
            head += b"\r\nContent-Transfer-Encoding: " + rnd.choice([b"7bit", b"8bit", b"binary"])
    part = head + b"\r\n\r\n" + body
    if rnd.random() < 0.5:
        return headers(rnd) + part, None
    b = boundary(rnd)
    top = b"Content-Type: multipart/mixed; boundary=\"" + b + b"\"\r\nContent-Type: text/plain\r\n\r\n"
    return headers(rnd) + top + parts_of(b, [part, text_part(rnd)]), None


def class_nested_deep(rnd):
    levels = rnd.randint(1030, 1300)
    used = set()
    leaf = parts_of(b"leaf", [text_part(rnd, charset="utf-8"), attachment(rnd, used)])
    mail = b"Content-Type: multipart/mixed; boundary=\"leaf\"\r\n\r\n" + leaf
    for level in range(levels):
        b = b"d%d" % level
        mail = b"Content-Type: multipart/mixed; boundary=\"" + b + b"\"\r\n\r\n--" + b + b"\r\n" + mail + \
            b"\r\n--" + b + b"--\r\n"
    return headers(rnd) + mail, None


CLASSES += [("unused-boundary", class_unused_boundary), ("part-header-lost-blank", class_part_header_lost_blank),
            ("enclosed-lost-blank", class_enclosed_lost_blank), ("content-type-twice", class_content_type_twice),
            ("nested-deep", class_nested_deep)]


# ---- characters a reader shows as nothing (phishing scatters them through words) ----
INVISIBLE = ["\u200b", "\u200c", "\u200d", "\u2060", "\u2061", "\u2062", "\u2063", "\u2064", "\ufeff",
             "\ufe00", "\ufe0f", "\U000e0100", "\u200e", "\u200f", "\u202a", "\u202b", "\u202c", "\u202d",
             "\u202e", "\u2066", "\u2067", "\u2068", "\u2069", "\u00ad", "\u180e", "\u3164"]
PHISHING_WORDS = ["メルカリ", "アマゾン", "楽天カード", "三井住友銀行", "お客様のアカウント", "本人確認", "PayPal"]


def scatter_invisible(rnd, text):
    out = ""
    for ch in text:
        out += ch
        if rnd.random() < 0.4:
            out += rnd.choice(INVISIBLE)
    return out


def class_invisible_format(rnd):
    subject = scatter_invisible(rnd, "【" + rnd.choice(PHISHING_WORDS) + "】" + rnd.choice(PHISHING_WORDS))
    person = scatter_invisible(rnd, rnd.choice(PHISHING_WORDS) + "事務局")
    lines = [scatter_invisible(rnd, rnd.choice(PHISHING_WORDS) + "をご確認ください。") for _ in range(rnd.randint(1, 4))]
    head = (b"From: =?UTF-8?B?" + base64.b64encode(person.encode()) + b"?= <info@example.com>\r\nTo: user@example.jp\r\n"
            b"Subject: =?UTF-8?B?" + base64.b64encode(subject.encode()) + b"?=\r\nMIME-Version: 1.0\r\n")
    if rnd.random() < 0.5:
        data = ("\r\n".join(lines) + "\r\n").encode()
        enc, body = transfer(data, rnd)
        return head + b"Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: " + \
            (enc or "8bit").encode() + b"\r\n\r\n" + body, None
    # The same in HTML, some of them written as character references.
    page = "<html><body>" + "".join("<p>%s</p>" % l.replace("\u200b", "&#8203;").replace("\u200c", "&zwnj;")
                                    for l in lines) + "</body></html>\r\n"
    enc, body = transfer(page.encode(), rnd)
    return head + b"Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: " + \
        (enc or "8bit").encode() + b"\r\n\r\n" + body, None


CLASSES.append(("invisible-format", class_invisible_format))


def main():
    """generate.py DIR [COUNT]: COUNT mails (300) into DIR and PER_CLASS of
    each class of real-world mail, and the small ones among them also into
    DIR/seeds, for the fuzz target."""
    out = Path(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    seeds = out / "seeds"
    seeds.mkdir(parents=True, exist_ok=True)
    rnd = random.Random(SEED)
    for i in range(count):
        mail = headers(rnd) + structure(rnd)
        (out / ("gen-%04d.eml" % i)).write_bytes(mail)
        if len(mail) <= SEED_SIZE:
            (seeds / ("gen-%04d.eml" % i)).write_bytes(mail)
    rnd = random.Random(SEED + 1)
    for name, make in CLASSES:
        for k in range(PER_CLASS):
            mail, expect = make(rnd)
            stem = "%s-%02d" % (name, k)
            (out / (stem + ".eml")).write_bytes(mail)
            if expect is not None:
                (out / (stem + ".expect")).write_text(json.dumps(expect, ensure_ascii=False), encoding="utf-8")
            if len(mail) <= SEED_SIZE:
                (seeds / (stem + ".eml")).write_bytes(mail)


if __name__ == "__main__":
    main()
