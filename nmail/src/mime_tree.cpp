// Reading a received mail's MIME tree with GMime: the parser, a tree read
// from bytes that stay where they are, the contents of its leaves with
// their transfer encodings undone (whole or a piece at a time), the texts
// of text parts in CP932, and the walk that sorts the parts into the texts
// to read and the files to write. Writing the files is left to
// mime_files.cpp, the header fields to mime_header.cpp.
#include "mime.h"
#include "mime_internal.h"

#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "charset.h"
#include "html.h"
#include "net.h"
#include "text.h"

namespace nmail::mime {
namespace {

GMimeFormatOptions* crlfFormat() {
  static GMimeFormatOptions* f = [] {
    GMimeFormatOptions* o = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(o, GMIME_NEWLINE_FORMAT_DOS);
    g_mime_format_options_set_param_encoding_method(o, GMIME_PARAM_ENCODING_METHOD_RFC2231);
    return o;
  }();
  return f;
}

std::string streamBytes(GMimeStream* mem) {
  GByteArray* arr = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
  return std::string(reinterpret_cast<const char*>(arr->data), arr->len);
}

// The content of a leaf with its transfer encoding undone (as partContent
// undoes it), a piece at a time, decoded from where it lies in the mail:
// a large text is never held whole a second time.
class ContentPieces {
 public:
  static constexpr std::size_t kPiece = 256 << 10;
  explicit ContentPieces(GMimePart* part) {
    GMimeDataWrapper* dw = g_mime_part_get_content(part);
    if (!dw) return;
    enc_ = g_mime_data_wrapper_get_encoding(dw);
    bool inPlace = contentInPlace(dw, in_);
    if (inPlace && enc_ == GMIME_CONTENT_ENCODING_UUENCODE) {
      bool found = false;
      in_.remove_prefix(text::uuDataStart(in_, &found));
      inPlace = found;
    }
    if (!inPlace) {
      owned_ = partContent(part);
      in_ = owned_;
      enc_ = GMIME_CONTENT_ENCODING_BINARY;
    }
    if (enc_ == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE) g_mime_encoding_init_decode(&qp_, enc_);
  }
  ContentPieces(const ContentPieces&) = delete;
  ContentPieces& operator=(const ContentPieces&) = delete;

  // The next piece (which may be empty); false at the end.
  bool next(std::string& piece) {
    piece.clear();
    if (in_.empty()) {
      if (enc_ != GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE || flushed_) return false;
      flushed_ = true;
      char tail[16];
      piece.assign(tail, g_mime_encoding_flush(&qp_, "", 0, tail));
      return true;
    }
    std::string_view slice = in_.substr(0, kPiece);
    if (enc_ == GMIME_CONTENT_ENCODING_UUENCODE) {
      // Whole lines.
      const std::size_t nl = slice.size() < in_.size() ? slice.rfind('\n') : std::string_view::npos;
      if (nl != std::string_view::npos) slice = slice.substr(0, nl + 1);
    }
    in_.remove_prefix(slice.size());
    if (enc_ == GMIME_CONTENT_ENCODING_UUENCODE) {
      if (!text::uuDecodeLines(slice, piece)) in_ = std::string_view();
    } else if (enc_ == GMIME_CONTENT_ENCODING_BASE64) {
      piece.reserve(slice.size() * 3 / 4 + 3);
      base64_.feed(slice, piece);
      if (base64_.ended()) in_ = std::string_view();
    } else if (enc_ == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE) {
      piece.resize(g_mime_encoding_outlen(&qp_, slice.size()));
      piece.resize(g_mime_encoding_step(&qp_, slice.data(), slice.size(), piece.data()));
    } else {
      piece.assign(slice);
    }
    return true;
  }

 private:
  GMimeContentEncoding enc_ = GMIME_CONTENT_ENCODING_DEFAULT;
  std::string_view in_;  // still to decode
  std::string owned_;    // content decoded whole, where it had to be
  GMimeEncoding qp_{};
  bool flushed_ = false;
  text::Base64Decoder base64_;  // as text::base64DecodeBody
};

// Whether a text in charset can be converted a line at a time (its line
// ends are single bytes, and no state runs on past them).
bool convertsByLine(std::string_view charset) {
  const std::string l = lower(charset);
  for (const char* whole : {"utf-16", "utf16", "utf-32", "utf32", "ucs", "utf-7", "utf7"})
    if (l.find(whole) != std::string::npos) return false;
  return true;
}

// The end of the last line of t after which a text is in its ASCII state
// (an ISO-2022-JP text switches back before a line ends, but not every
// mailer does); 0 when there is none.
std::size_t lineCut(std::string_view t) {
  bool ascii = true;
  std::size_t cut = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\x1B' && i + 2 < t.size()) {
      if (t[i + 1] == '(' && (t[i + 2] == 'B' || t[i + 2] == 'J')) ascii = true;
      else if (t[i + 1] == '$' || t[i + 1] == '(') ascii = false;
    } else if (t[i] == '\n' && ascii) {
      cut = i + 1;
    }
  }
  return cut;
}

// Where a long text without a line end (one line of megabytes) can be cut
// all the same, in charset, without splitting a character or leaving an
// ISO-2022-JP state behind: before its last escape; else before the last
// ASCII blank or sign (below "@" and no digit: no charset that converts
// by line has such a byte inside a character); else, in UTF-8, Shift_JIS
// or EUC-JP, on the last whole character. 0 when there is none.
std::size_t safeCut(std::string_view t, std::string_view charset) {
  constexpr std::size_t kLookBack = 64 << 10;
  const std::size_t from = t.size() > kLookBack ? t.size() - kLookBack : 0;
  const std::size_t esc = t.rfind('\x1B');
  if (esc != std::string_view::npos) return esc;
  for (std::size_t i = t.size(); i-- > from + 1;) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    if (c < 0x40 && c != '\n' && (c < '0' || c > '9')) return i;
  }
  const std::string l = lower(charset);
  auto walk = [&](auto width) {
    std::size_t i = 0, last = 0;
    while (i < t.size()) {
      last = i;
      i += width(static_cast<unsigned char>(t[i]));
    }
    return i == t.size() ? t.size() : last;
  };
  if (l.find("utf-8") != std::string::npos || l.find("utf8") != std::string::npos) {
    for (std::size_t i = t.size(); i-- > from + 1;)
      if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80) return i;
    return 0;
  }
  if (l.find("shift") != std::string::npos || l.find("sjis") != std::string::npos || l.find("932") != std::string::npos)
    return walk([](unsigned char c) -> std::size_t { return charset::isLead(c) ? 2 : 1; });
  if (l.find("euc") != std::string::npos)
    return walk([](unsigned char c) -> std::size_t { return c == 0x8F ? 3 : c >= 0x80 ? 2 : 1; });
  return 0;
}

// Where the first header field of obj begins in the bytes its tree was read
// from; -1 when it has none.
gint64 headerOffset(GMimeObject* obj) {
  GMimeHeaderList* list = g_mime_object_get_header_list(obj);
  GMimeHeader* first =
      list && g_mime_header_list_get_count(list) > 0 ? g_mime_header_list_get_header_at(list, 0) : nullptr;
  return first ? g_mime_header_get_offset(first) : -1;
}

// An enclosed message goes to a file byte for byte as it came (found by
// where its part begins; base: where the bytes its tree was read from
// begin in w.read), else as GMime writes it.
void walkMessagePart(GMimeMessagePart* mp, GMimeObject* asObject, Walk& w, std::size_t base) {
  GMimeMessage* inner = g_mime_message_part_get_message(mp);
  if (!inner) return;
  FoundFile a;
  if (!fileNameOf(asObject, a.name)) {
    std::string subject = text::decodeHeaderUtf8(rawHeader(GMIME_OBJECT(inner), "Subject"));
    a.name = (subject.empty() ? std::string("message") : subject) + ".eml";
  }
  const gint64 at = headerOffset(asObject);
  if (at >= 0 && w.enclosed) {
    auto it = w.enclosed->find(base + static_cast<std::size_t>(at));
    if (it != w.enclosed->end() && it->second.begin <= it->second.end && it->second.end <= w.asCame.size()) {
      a.asCame = true;
      a.bytes = w.asCame.substr(it->second.begin, it->second.end - it->second.begin);
    }
  }
  if (!a.asCame) a.data = objectBytes(GMIME_OBJECT(inner), false);
  w.files.push_back(std::move(a));
}

// A leaf: text to the body, anything else (or a text the sender named or
// marked as an attachment) to a file. A single-part text mail that names
// its text without calling it an attachment gives both: the text to read
// and the file the sender meant to send.
void walkLeaf(GMimePart* part, Walk& w, bool wholeMail) {
  GMimeObject* obj = GMIME_OBJECT(part);
  std::string filename;
  bool named = fileNameOf(obj, filename);
  bool attachment = dispositionIs(obj, "attachment") || named || !isText(obj);
  bool text = isText(obj) && (!attachment || (wholeMail && named && !dispositionIs(obj, "attachment")));
  if (text) w.texts.push_back(TextPiece{part, std::string()});
  if (!attachment) return;
  FoundFile a;
  a.name = filename;
  if (a.name.empty()) {
    GMimeContentType* ct = g_mime_object_get_content_type(obj);
    const char* sub = ct ? g_mime_content_type_get_media_subtype(ct) : nullptr;
    a.name = std::string("attachment") + (sub && *sub ? "." + lower(sub) : "");
  }
  a.part = part;
  w.files.push_back(std::move(a));
}

// A multipart with no boundary (its parts cannot be told apart): GMime
// keeps its whole content as the prologue. That is its text.
void walkUnsplit(GMimeMultipart* mp, Walk& w) {
  const char* prologue = g_mime_multipart_get_prologue(mp);
  if (!prologue || !*prologue) return;
  w.texts.push_back(TextPiece{nullptr, text::toCrlf(charset::toCp932(prologue, charsetOf(GMIME_OBJECT(mp))))});
}
}  // namespace

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

GMimeParserOptions* parserOptions() {
  static GMimeParserOptions* opts = [] {
    GMimeParserOptions* o = g_mime_parser_options_new();
    g_mime_parser_options_set_rfc2047_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_parameter_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_address_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    const char* fallback[] = {"UTF-8", "CP932", "EUC-JP", "ISO-8859-1", nullptr};
    g_mime_parser_options_set_fallback_charsets(o, fallback);
    return o;
  }();
  return opts;
}

GMimeMessage* parseMessage(std::string_view raw) {
  Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.data(), raw.size()));
  Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
  g_mime_parser_set_format(parser.p, GMIME_FORMAT_MESSAGE);
  return g_mime_parser_construct_message(parser.p, parserOptions());
}

std::string partContent(GMimePart* part) {
  GMimeDataWrapper* dw = g_mime_part_get_content(part);
  if (!dw) return std::string();
  GMimeContentEncoding enc = g_mime_data_wrapper_get_encoding(dw);
  GMimeStream* raw = g_mime_data_wrapper_get_stream(dw);
  std::string_view where;
  if (enc == GMIME_CONTENT_ENCODING_BASE64 && contentInPlace(dw, where)) return text::base64DecodeBody(where);
  if ((enc == GMIME_CONTENT_ENCODING_BASE64 || enc == GMIME_CONTENT_ENCODING_UUENCODE) && raw) {
    Ref<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_stream_reset(raw);
    g_mime_stream_write_to_stream(raw, mem.p);
    g_mime_stream_reset(raw);
    std::string encoded = streamBytes(mem.p);
    if (enc == GMIME_CONTENT_ENCODING_BASE64) return text::base64DecodeBody(encoded);
    bool found = false;
    std::string data = text::uuDecode(encoded, &found);
    if (found) return data;
  }
  Ref<GMimeStream> mem(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(dw, mem.p);
  return streamBytes(mem.p);
}

std::string objectBytes(GMimeObject* obj, bool contentOnly) {
  Ref<GMimeStream> mem(g_mime_stream_mem_new());
  if (contentOnly)
    g_mime_object_write_content_to_stream(obj, crlfFormat(), mem.p);
  else
    g_mime_object_write_to_stream(obj, crlfFormat(), mem.p);
  return streamBytes(mem.p);
}

bool isText(GMimeObject* obj) {
  GMimeContentType* ct = g_mime_object_get_content_type(obj);
  return !ct || g_mime_content_type_is_type(ct, "text", "*");
}

std::string charsetOf(GMimeObject* obj) {
  const char* cs = g_mime_object_get_content_type_parameter(obj, "charset");
  return cs ? cs : "";
}

bool isHtml(GMimeObject* obj) {
  GMimeContentType* ct = g_mime_object_get_content_type(obj);
  return ct && g_mime_content_type_is_type(ct, "text", "html");
}

// The text of a text part in CP932: an HTML part as a reader sees it.
std::string textOf(GMimePart* part) {
  GMimeObject* obj = GMIME_OBJECT(part);
  if (isHtml(obj))
    return text::toCrlf(charset::utf8ToCp932(html::toText(charset::toUtf8(partContent(part), charsetOf(obj)))));
  return text::toCrlf(charset::toCp932(partContent(part), charsetOf(obj)));
}

std::string textOfUtf8(GMimePart* part) {
  GMimeObject* obj = GMIME_OBJECT(part);
  const std::string utf8 = charset::toUtf8(partContent(part), charsetOf(obj));
  return text::toCrlf(isHtml(obj) ? html::toText(utf8) : utf8);
}

bool contentInPlace(GMimeDataWrapper* dw, std::string_view& where) {
  GMimeStream* raw = dw ? g_mime_data_wrapper_get_stream(dw) : nullptr;
  if (!raw || !GMIME_IS_STREAM_MEM(raw)) return false;
  GByteArray* arr = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(raw));
  const gint64 begin = raw->bound_start;
  const gint64 end = arr && raw->bound_end < 0 ? static_cast<gint64>(arr->len) : raw->bound_end;
  if (!arr || begin < 0 || begin > end || end > static_cast<gint64>(arr->len)) return false;
  where = std::string_view(reinterpret_cast<const char*>(arr->data) + begin, static_cast<std::size_t>(end - begin));
  return true;
}

const char* rawHeaderOrNull(GMimeObject* obj, const char* name) {
  GMimeHeaderList* list = g_mime_object_get_header_list(obj);
  GMimeHeader* h = list ? g_mime_header_list_get_header(list, name) : nullptr;
  return h ? g_mime_header_get_raw_value(h) : nullptr;
}

// The same, "" when there is none.
std::string rawHeader(GMimeObject* obj, const char* name) {
  const char* v = rawHeaderOrNull(obj, name);
  return v ? v : "";
}

// The file name the sender gave a part (Content-Disposition's filename,
// else Content-Type's name), decoded as UTF-8; false when it gave none.
// Raw 8-bit names are read as text::parameter reads them: UTF-8 when they
// are UTF-8, else in the part's own charset.
bool fileNameOf(GMimeObject* obj, std::string& name) {
  std::string partCharset = charsetOf(obj);
  bool found = false;
  name = text::parameterUtf8(rawHeader(obj, "Content-Disposition"), "filename", partCharset, &found);
  if (!found || name.empty()) name = text::parameterUtf8(rawHeader(obj, "Content-Type"), "name", partCharset, &found);
  return !name.empty();
}

bool dispositionIs(GMimeObject* obj, const char* what) {
  const char* disp = g_mime_object_get_disposition(obj);
  return disp && g_ascii_strcasecmp(disp, what) == 0;
}

namespace {

// Whether text holds a line "--boundary".
bool holdsBoundary(std::string_view text, std::string_view boundary) {
  const std::string mark = "--" + std::string(boundary);
  for (std::size_t at = text.find(mark); at != std::string_view::npos; at = text.find(mark, at + 1))
    if (at == 0 || text[at - 1] == '\n') return true;
  return false;
}

}  // namespace

void walk(GMimeObject* top, Walk& w) {
  struct Todo {
    GMimeObject* obj;
    std::size_t base;  // where the bytes of its tree begin in w.read
    bool again;        // the top of a tree read again
  };
  std::vector<Todo> todo{{top, 0, false}};
  while (!todo.empty()) {
    const Todo t = todo.back();
    todo.pop_back();
    GMimeObject* obj = t.obj;
    if (!obj) continue;
    if (GMIME_IS_MULTIPART(obj)) {
      GMimeMultipart* mp = GMIME_MULTIPART(obj);
      int n = g_mime_multipart_get_count(mp);
      const char* boundary = g_mime_object_get_content_type_parameter(obj, "boundary");
      const char* prologue = n == 0 ? g_mime_multipart_get_prologue(mp) : nullptr;
      const gint64 at = n == 0 && !t.again ? headerOffset(obj) : -1;
      if (at >= 0 && t.base + static_cast<std::size_t>(at) < w.read.size() && boundary && *boundary && prologue &&
          holdsBoundary(prologue, boundary)) {
        // Past the depth GMime reads: read again, its header and all.
        const std::size_t from = t.base + static_cast<std::size_t>(at);
        w.deeper.push_back(std::make_unique<ParsedView>(w.read.substr(from)));
        todo.push_back({w.deeper.back()->get(), from, true});
        continue;
      }
      if (n == 0) {
        walkUnsplit(mp, w);
        continue;
      }
      GMimeContentType* ct = g_mime_object_get_content_type(obj);
      if (ct && g_mime_content_type_is_type(ct, "multipart", "alternative") && n > 0) {
        // One of the alternatives: plain text when there is one.
        GMimeObject* pick = nullptr;
        for (int i = 0; i < n && !pick; ++i) {
          GMimeObject* c = g_mime_multipart_get_part(mp, i);
          GMimeContentType* cct = g_mime_object_get_content_type(c);
          if (GMIME_IS_PART(c) && cct && g_mime_content_type_is_type(cct, "text", "plain")) pick = c;
        }
        todo.push_back({pick ? pick : g_mime_multipart_get_part(mp, 0), t.base, false});
        continue;
      }
      for (int i = n - 1; i >= 0; --i) todo.push_back({g_mime_multipart_get_part(mp, i), t.base, false});
    } else if (GMIME_IS_MESSAGE_PART(obj)) {
      walkMessagePart(GMIME_MESSAGE_PART(obj), obj, w, t.base);
    } else if (GMIME_IS_PART(obj)) {
      walkLeaf(GMIME_PART(obj), w, obj == top);
    }
  }
}

// The text of a text part in CP932 into out; a large one a piece at a time,
// only as far as out takes it.
void textInto(GMimePart* part, TextOut& out, const std::map<GMimePart*, std::string>* made) {
  // (A CP932 text without "?" lost nothing on its way: its UTF-8 form is
  // made of it. One with "?" is read again into UTF-8, for the file.)
  auto lossy = [&](const std::string& cp) { return out.wantsUtf8() && cp.find('?') != std::string::npos; };
  if (made) {
    auto it = made->find(part);
    if (it != made->end() && !lossy(it->second)) {
      out.add(text::toCrlf(it->second));
      return;
    }
  }
  GMimeObject* obj = GMIME_OBJECT(part);
  const std::string cs = charsetOf(obj);
  std::string_view where;
  if (!convertsByLine(cs) || !contentInPlace(g_mime_part_get_content(part), where) || where.size() <= kLargeText) {
    const std::string cp = textOf(part);
    if (lossy(cp)) out.add(cp, textOfUtf8(part));
    else out.add(cp);
    return;
  }
  // HTML: the text a reader sees of it, read as it comes.
  std::unique_ptr<html::TextStream> page;
  if (isHtml(obj))
    page = std::make_unique<html::TextStream>([&](std::string_view t) { out.add(charset::utf8ToCp932(t), t); });
  auto convert = [&](std::string_view lines) {
    if (page) {
      page->feed(charset::toUtf8(lines, cs));
      return;
    }
    const std::string cp = text::toCrlf(charset::toCp932(lines, cs));
    if (lossy(cp)) out.add(cp, text::toCrlf(charset::toUtf8(lines, cs)));
    else out.add(cp);
  };
  ContentPieces pieces(part);
  std::string pending, piece;
  // A piece at a time, and the window has its turn between pieces.
  while (!out.full() && pieces.next(piece)) {
    net::yieldIfDue();
    pending += piece;
    if (pending.size() < ContentPieces::kPiece) continue;
    std::size_t cut = lineCut(pending);
    // A line longer than a piece is cut inside: the text is never held
    // longer than that, and no byte is looked at again and again.
    if (cut == 0) cut = safeCut(pending, cs);
    if (cut == 0) continue;
    convert(std::string_view(pending).substr(0, cut));
    pending.erase(0, cut);
  }
  if (!pending.empty() && !out.full()) convert(pending);
  if (page && !out.full()) page->finish();
}

// The texts of a mail joined, in the order of the mail.
void textsInto(const std::vector<TextPiece>& texts, TextOut& out,
               const std::map<GMimePart*, std::string>* made) {
  for (const TextPiece& t : texts) {
    if (out.full()) return;
    out.beginPart();
    if (t.part)
      textInto(t.part, out, made);
    else
      out.add(t.text);
  }
}

void initialize() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

}  // namespace nmail::mime
