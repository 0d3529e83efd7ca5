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


def main():
    """generate.py DIR [COUNT]: COUNT mails (300) into DIR, and the small
    ones among them also into DIR/seeds, for the fuzz target."""
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


if __name__ == "__main__":
    main()
