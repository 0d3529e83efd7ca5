"""The reference reading of a received mail, for the differential test.

Python's email package parses the mail: its structure, transfer encodings,
header words (email.header.decode_header) and parameters (get_param with
RFC 2231). What it cannot know is how a Japanese Windows client reads the
charsets Japanese mail carries; that much is said here, as plain rules:

- 7-bit text with ISO-2022-JP escapes is ISO-2022-JP whatever its label;
- labels of the Shift_JIS family are read as CP932, the ISO-2022-JP family
  as ISO-2022-JP with the CP932 rows (NEC row 13, the IBM rows, ESC ( I and
  SO/SI kana); stretches in ASCII mode that hold 8-bit bytes, and text
  without a usable label, are read by trial: ISO-2022-JP when it holds its
  escapes, else UTF-8 when valid, else CP932;
- raw 8-bit bytes in headers and parameters are UTF-8 when they are valid
  UTF-8, else read in the part's charset, else by trial;
- a header is unfolded, its control characters become blanks, and it is
  trimmed of blanks;
- 8-bit text of no usable label that is not UTF-8 is EUC-JP when it is
  well-formed EUC-JP and scores higher as Japanese that way than as CP932
  (japanese_score below), else CP932;
- labels iconv knows by another name are read as what they name (ALIASES);
  UTF-7 is decoded although it is 7-bit;
- the body is every text part that is not an attachment, in the order of
  the mail, joined by CR LF; of multipart/alternative one alternative (its
  first text/plain part, else its first part); an HTML part as the text a
  reader sees of it (html_text below); line ends CR LF;
- attachments: every part with a name, with Content-Disposition attachment,
  or not text; forwarded messages (message/rfc822); a single-part text mail
  that names itself without being an attachment gives both its text and the
  file. File names are made safe as the library makes them (no path, no
  control characters or characters file systems refuse, no leading or
  trailing blanks and dots) and a name used twice gets "(2)", "(3)"...
  before its extension.

Every text is composed (NFC) and finally mapped through CP932 the way the
client stores it; file names are composed and keep every character.

Where Python reads a mail otherwise than a careful client (raw Shift_JIS
names whose second byte is a backslash, a multipart without its boundary),
the expected reading is written beside the mail in a file of the same name
ending in ".expect" (JSON: any of subject, from, body, files), which holds.
"""
import email
import email.header
import email.policy
import hashlib
import html.parser
import re
import unicodedata

JIS_ESCAPES = (b"\x1b$B", b"\x1b$@", b"\x1b(I", b"\x1b$(Q", b"\x1b$(O")

UNLABELLED = {"", "us-ascii", "ascii", "unknown-8bit", "x-unknown", "default", "x-user-defined",
              "7bit", "8bit", "unknown", "us", "none"}
SJIS = {"shift_jis", "shift-jis", "shiftjis", "sjis", "s-jis", "x-sjis", "cp932", "windows-31j",
        "ms932", "ms_kanji", "csshiftjis", "cswindows31j", "x-ms-cp932"}
UTF8 = {"utf-8", "utf8"}
EUC = {"euc-jp", "x-euc-jp", "eucjp"}

# Characters the client's CP932 mapping (glibc) takes to their full-width
# forms where Python's cp932 codec has none.
CP932_VARIANTS = str.maketrans({"\u301c": "\uff5e", "\u2212": "\uff0d", "\u2016": "\u2225",
                                "\u00a2": "\uffe0", "\u00a3": "\uffe1", "\u00ac": "\uffe2"})


# Characters a reader shows as nothing (Unicode's default ignorable code
# points): the client stores nothing for them.
SHOWS_AS_NOTHING = re.compile("[\u00ad\u034f\u061c\u115f\u1160\u17b4\u17b5\u180b-\u180f\u200b-\u200f"
                              "\u202a-\u202e\u2060-\u206f\u3164\ufe00-\ufe0f\ufeff\uffa0\ufff0-\ufff8"
                              "\U0001bca0-\U0001bca3\U0001d173-\U0001d17a\U000e0000-\U000e0fff]")


def to_cp932_text(s):
    """s as the client holds it: composed, nothing for the characters that
    show as nothing, every other character CP932 cannot hold is "?"."""
    s = unicodedata.normalize("NFC", s)
    s = SHOWS_AS_NOTHING.sub("", s)
    s = s.translate(CP932_VARIANTS).replace("\ufffd", "?").replace("\x00", "")
    return s.encode("cp932", errors="replace").decode("cp932")


# Labels mailers write for charsets Python knows by another name.
ALIASES = {"ks_c_5601-1987": "cp949", "ks_c_5601": "cp949", "ksc5601": "cp949", "euc-kr": "cp949",
           "windows-949": "cp949", "gb2312": "gb18030", "gbk": "gb18030", "x-gbk": "gb18030",
           "cp936": "gb18030", "big5": "big5hkscs", "windows-874": "cp874", "iso-8859-8-i": "iso-8859-8",
           "x-mac-roman": "mac_roman", "unicode-1-1-utf-7": "utf-7", "utf-7": "utf-7", "utf7": "utf-7",
           "x-unicode-2-0-utf-7": "utf-7", "win-1251": "cp1251"}


def well_formed_cp932(b):
    i = 0
    while i < len(b):
        c = b[i]
        if c < 0x80 or 0xA1 <= c <= 0xDF:
            i += 1
            continue
        if not (0x81 <= c <= 0x9F or 0xE0 <= c <= 0xFC) or i + 1 >= len(b):
            return False
        t = b[i + 1]
        if not (0x40 <= t <= 0x7E or 0x80 <= t <= 0xFC):
            return False
        i += 2
    return True


def well_formed_euc(b):
    try:
        b.decode("euc_jp")
        return True
    except UnicodeDecodeError:
        return False


def japanese_score(b, euc):
    """How Japanese the bytes read: kana, kanji of the first level and
    punctuation most, kanji of the second level less, half-width kana a
    little (more with a voicing mark)."""
    score, i = 0, 0
    while i < len(b):
        c = b[i]
        if c < 0x80:
            i += 1
        elif euc:
            if c == 0x8E:
                score, i = score + 3, i + 2
            elif c == 0x8F:
                i += 3
            else:
                score += 3 if c in (0xA4, 0xA5) or 0xB0 <= c <= 0xCF else 2 if c == 0xA1 else \
                    1 if 0xD0 <= c <= 0xF4 or 0xA2 <= c <= 0xA8 else 0
                i += 2
        elif 0xA1 <= c <= 0xDF:
            score += 1
            if i + 1 < len(b) and b[i + 1] in (0xDE, 0xDF) and (c == 0xB3 or 0xB6 <= c <= 0xC4 or 0xCA <= c <= 0xCE):
                score += 2  # a kana with its voicing mark
            i += 1
        else:
            score += 3 if c in (0x82, 0x83) else 2 if c == 0x81 or 0x88 <= c <= 0x98 else \
                1 if 0x99 <= c <= 0x9F or 0xE0 <= c <= 0xEA or c in (0x87, 0xED, 0xEE) or 0xFA <= c <= 0xFC else 0
            i += 2
    return score


def charset_key(name):
    name = (name or "").lower()
    name = name.split("*")[0]
    return re.sub(r"[\"' \t]", "", name)


def is_utf8(b):
    try:
        b.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


def plain_by_trial(b):
    if all(c < 0x80 for c in b):
        return b.decode("ascii")
    if is_utf8(b):
        return b.decode("utf-8")
    if well_formed_euc(b) and (not well_formed_cp932(b) or japanese_score(b, True) > japanese_score(b, False)):
        return b.decode("euc_jp")
    return b.decode("cp932", errors="replace")


def jis_to_text(b):
    """ISO-2022-JP with the CP932 rows, two-byte codes taken to CP932."""
    out = []
    plain = bytearray()
    mode = "ascii"
    shifted = False
    i = 0

    def flush():
        if plain:
            out.append(plain_by_trial(bytes(plain)))
            plain.clear()

    while i < len(b):
        c = b[i]
        if c == 0x1B:
            flush()
            rest = b[i + 1:i + 4]
            if rest[:2] in (b"(B", b"(J", b"(H"):
                mode, i = "ascii", i + 3
            elif rest[:2] == b"(I":
                mode, i = "kana", i + 3
            elif rest[:2] in (b"$B", b"$@"):
                mode, i = "jis", i + 3
            elif rest[:3] in (b"$(Q", b"$(O", b"$(B", b"$(@"):
                mode, i = "jis", i + 4
            else:
                out.append("?")
                i += 1
            continue
        if c in (0x0E, 0x0F):
            flush()
            shifted = c == 0x0E
            i += 1
            continue
        if c in (0x0D, 0x0A):
            flush()
            mode, shifted = "ascii", False
            out.append(chr(c))
            i += 1
            continue
        if mode == "ascii" and not shifted:
            plain.append(c)
            i += 1
            continue
        if c < 0x21 or c >= 0x7F:
            out.append(chr(c) if c < 0x21 else "?")
            i += 1
            continue
        if shifted or mode == "kana":
            out.append(bytes([c + 0x80]).decode("cp932") if c <= 0x5F else "?")
            i += 1
            continue
        if i + 1 >= len(b) or not 0x21 <= b[i + 1] <= 0x7E:
            out.append("?")
            i += 2 if i + 1 < len(b) else 1
            continue
        j1, j2 = c, b[i + 1]
        i += 2
        s1 = (j1 - 0x21) // 2 + 0x81
        if s1 > 0x9F:
            s1 += 0x40
        if j1 % 2:
            s2 = j2 + 0x1F + (1 if j2 + 0x1F >= 0x7F else 0)
        else:
            s2 = j2 + 0x7E
        out.append(bytes([s1, s2]).decode("cp932", errors="replace"))
    flush()
    return "".join(out)


def guess(b):
    if any(e in b for e in JIS_ESCAPES):
        return jis_to_text(b)
    return plain_by_trial(b)


def decode_bytes(b, charset):
    key = charset_key(charset)
    if any(e in b for e in JIS_ESCAPES) and all(c < 0x80 for c in b):
        return jis_to_text(b)  # 7-bit text with escapes, whatever its label
    if key in UNLABELLED or key in UTF8:
        return guess(b)
    if key.startswith("iso-2022-jp") or key in ("csiso2022jp", "jis"):
        return jis_to_text(b)
    if key in SJIS:
        return b.decode("cp932", errors="replace")
    key = ALIASES.get(key, key)
    if key == "utf-7":
        return b.decode("utf-7", errors="replace")
    if all(c < 0x80 for c in b):
        return b.decode("ascii")
    py = {"iso-8859-1": "cp1252", "latin1": "cp1252"}.get(key, "euc_jp" if key in EUC else key)
    try:
        return b.decode(py, errors="replace")
    except LookupError:
        return guess(b)


def raw_bytes(s):
    """A header string of the compat32 policy back to the bytes that came:
    raw 8-bit bytes arrive as surrogates (or, after some of its helpers, as
    Latin-1 characters)."""
    if not isinstance(s, str):
        return bytes(s)
    out = bytearray()
    for c in s:
        o = ord(c)
        if 0xDC80 <= o <= 0xDCFF:
            out.append(o - 0xDC00)
        elif o < 0x100:
            out.append(o)
        else:
            out += c.encode("utf-8")
    return bytes(out)


def unfold(s):
    return s.replace("\r", "").replace("\n", "")


def decode_raw(b, charset):
    """Raw 8-bit bytes of a header or parameter: UTF-8 when valid, else in
    the charset of the part, or by trial when they cannot be text in it."""
    if any(c >= 0x80 for c in b) and is_utf8(b):
        return b.decode("utf-8")
    key = charset_key(charset)
    if any(c >= 0x80 for c in b):
        if key in SJIS:
            return b.decode("cp932") if well_formed_cp932(b) else guess(b)
        if key not in UNLABELLED and key not in UTF8 and not key.startswith("iso-2022-jp") and \
                key not in ("csiso2022jp", "jis"):
            key = ALIASES.get(key, key)
            py = {"iso-8859-1": "cp1252", "latin1": "cp1252"}.get(key, "euc_jp" if key in EUC else key)
            try:
                return b.decode(py)
            except (UnicodeDecodeError, LookupError):
                return guess(b)
    return decode_bytes(b, charset)


def decode_words(value, plain_charset=""):
    """Header words decoded, adjacent words of one charset joined first."""
    b = unfold(raw_bytes(value).decode("latin-1"))
    if "=?" not in b:
        return decode_raw(b.encode("latin-1"), plain_charset)
    out = []
    for part, cs in email.header.decode_header(b):
        if isinstance(part, str):
            part = part.encode("latin-1")
        out.append(decode_bytes(part, cs) if cs else decode_raw(part.decode("raw-unicode-escape")
                                                                .encode("latin-1"), plain_charset))
    return "".join(out)


def clean(s):
    return "".join(" " if ord(c) < 0x20 or c == "\x7f" else c for c in s).strip(" ")


def header(msg, name):
    v = msg.get(name)
    return "" if v is None else clean(decode_words(v))


def param(part, field, name):
    """A parameter of field decoded, or None when it is missing."""
    part_cs = part.get_param("charset") or ""
    if isinstance(part_cs, tuple):
        part_cs = email.utils.collapse_rfc2231_value(part_cs)
    v = part.get_param(name, header=field)
    if v is None:
        return None
    if isinstance(v, tuple):  # RFC 2231: (charset, language, value)
        cs, _lang, text = v
        b = text.encode("latin-1", errors="surrogateescape") if isinstance(text, str) else text
        if cs:
            return clean(decode_bytes(b, cs))
        return clean(decode_raw(b, part_cs))
    return clean(decode_words(email.utils.unquote(v), part_cs))


def file_name(part):
    n = param(part, "content-disposition", "filename")
    if not n:
        n = param(part, "content-type", "name")
    return n or None


def crlf(s):
    return re.sub(r"\r\n|\r|\n", "\r\n", s)


HIDDEN = {"script", "style", "head", "title", "template"}
BLOCKS = {"address", "article", "aside", "blockquote", "caption", "center", "dd", "details", "dialog", "dir",
          "div", "dl", "dt", "fieldset", "figcaption", "figure", "footer", "form", "h1", "h2", "h3", "h4", "h5",
          "h6", "header", "hr", "legend", "li", "main", "menu", "nav", "ol", "p", "pre", "section", "summary",
          "table", "tbody", "tfoot", "thead", "tr", "ul", "html", "body", "frameset", "noframes", "iframe"}
VOID = {"br", "hr", "img", "meta", "link", "input", "area", "base", "col", "embed", "param", "source", "track",
        "wbr"}


class _Text(html.parser.HTMLParser):
    """What a reader sees of HTML: no markup, style sheets, scripts, head or
    comments; blanks collapsed (kept in <pre>); a line break for each <br>
    and around each block; cells apart by a blank; a link's target beside
    its words as " <target>" unless it is the words or a place in the page."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.out, self.line_empty, self.space, self.breaks = [], True, False, 0
        self.hidden, self.pre, self.links = 0, 0, []

    def _due(self):
        if self.breaks:
            self.out.append("\n" * self.breaks)
            self.line_empty = True
        elif self.space and not self.line_empty:
            self.out.append(" ")
        self.breaks, self.space = 0, False

    def _edge(self):
        if not self.line_empty:
            self.breaks = 1
        self.space = False

    def handle_starttag(self, tag, attrs):
        if tag in HIDDEN:
            if tag not in VOID:
                self.hidden += 1
            return
        if self.hidden:
            return
        if tag == "br":
            self._due()
            self.out.append("\n")
            self.line_empty = True
            return
        if tag in BLOCKS:
            self._edge()
        if tag in ("td", "th"):
            self.space = True
        if tag == "pre":
            self.pre += 1
        if tag == "a":
            self.links.append(((dict(attrs).get("href") or "").strip(" \t\r\n"), len("".join(self.out))))
        if tag in VOID and tag in BLOCKS:
            self._edge()

    def handle_endtag(self, tag):
        if tag in HIDDEN:
            self.hidden = max(0, self.hidden - 1)
            return
        if self.hidden or tag == "br":
            return
        if tag == "a" and self.links:
            target, start = self.links.pop()
            words = "".join(self.out)[start:].strip(" \t\r\n")

            def bare(x):
                x = x[7:] if x.lower().startswith("mailto:") else x
                return x.rstrip("/")
            if target and not target.startswith("#") and not target.lower().startswith("javascript:") and \
                    bare(target) != bare(words):
                self.space = True
                self._due()
                self.out.append("<%s>" % target)
                self.line_empty = False
        if tag == "pre":
            self.pre = max(0, self.pre - 1)
        if tag in ("td", "th"):
            self.space = True
        if tag in BLOCKS:
            self._edge()

    def handle_data(self, data):
        if self.hidden:
            return
        for c in data:
            if self.pre:
                if c == "\r":
                    continue
                self._due()
                self.out.append(c)
                self.line_empty = c == "\n"
            elif c in " \t\r\n\f":
                self.space = True
            else:
                self._due()
                self.out.append(" " if c == "\xa0" else c)
                self.line_empty = False

    def text(self):
        t = "".join(self.out).lstrip("\n").rstrip(" \n")
        return t.replace("\n", "\r\n") + "\r\n" if t else ""


def html_text(s):
    p = _Text()
    p.feed(s)
    p.close()
    return p.text()


def text_of(part):
    payload = part.get_payload(decode=True) or b""
    t = decode_bytes(payload, part.get_content_charset() or "")
    if part.get_content_type() == "text/html":
        return html_text(unicodedata.normalize("NFC", t))
    return crlf(t)


def walk(part, plain, html, files, top):
    ctype = part.get_content_type()
    if part.is_multipart() and ctype != "message/rfc822":
        kids = part.get_payload()
        if ctype == "multipart/alternative" and kids:
            pick = next((k for k in kids if k.get_content_type() == "text/plain" and not k.is_multipart()),
                        kids[0])
            walk(pick, plain, html, files, False)
            return
        for k in kids:
            walk(k, plain, html, files, False)
        return
    if ctype == "message/rfc822":
        inner = part.get_payload()[0] if part.is_multipart() else None
        name = file_name(part)
        if not name:
            subj = header(inner, "subject") if inner is not None else ""
            name = (subj or "message") + ".eml"
        files.append((name, None))
        return
    disp = (part.get_content_disposition() or "").lower()
    name = file_name(part)
    is_text = part.get_content_maintype() == "text"
    attachment = disp == "attachment" or name is not None or not is_text
    if is_text and (not attachment or (top and name is not None and disp != "attachment")):
        plain.append(text_of(part))
    if attachment:
        if not name:
            name = "attachment." + part.get_content_subtype()
        files.append((name, hashlib.sha256(part.get_payload(decode=True) or b"").hexdigest()))


def safe_name(name):
    name = re.split(r"[/\\]", name)[-1]
    name = "".join(c for c in name if ord(c) >= 0x20 and not 0x7f <= ord(c) <= 0x9f and c not in '/\\:*?"<>|')
    name = name.strip(" .")
    return name or "attachment"


def unique_names(files):
    taken, out = set(), []
    for name, digest in files:
        name = safe_name(name)
        dot = name.rfind(".")
        stem, ext = (name[:dot], name[dot:]) if dot > 0 and len(name) - dot <= 16 else (name, "")
        candidate, n = name, 2
        while candidate in taken:
            candidate = "%s(%d)%s" % (stem, n, ext)
            n += 1
        taken.add(candidate)
        out.append((candidate, digest))
    return out


def join_texts(texts):
    out = ""
    for t in texts:
        if out and not out.endswith("\r\n"):
            out += "\r\n"
        out += t
    return out


class RawHeaders(email.policy.Compat32):
    """compat32, with header values as they came (raw 8-bit bytes as
    surrogates) in place of Header objects that would read them as
    "unknown-8bit"."""

    def header_fetch_parse(self, name, value):
        return value


def read(raw):
    """Expected subject, sender, body and files of one raw mail."""
    msg = email.message_from_bytes(raw, policy=RawHeaders())
    plain, html, files = [], [], []
    walk(msg, plain, html, files, True)
    return {
        "subject": to_cp932_text(header(msg, "subject")),
        "from": to_cp932_text(header(msg, "from")),
        "body": to_cp932_text(join_texts(plain)),
        "files": sorted(unique_names([(unicodedata.normalize("NFC", n), h) for n, h in files])),
    }
