#include "mime.h"

#include <dirent.h>
#include <fcntl.h>
#include <gmime/gmime.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>

#include "charset.h"
#include "html.h"
#include "text.h"

namespace nmail::mime {
namespace {

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

GMimeFormatOptions* crlfFormat() {
  static GMimeFormatOptions* f = [] {
    GMimeFormatOptions* o = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(o, GMIME_NEWLINE_FORMAT_DOS);
    g_mime_format_options_set_param_encoding_method(o, GMIME_PARAM_ENCODING_METHOD_RFC2231);
    return o;
  }();
  return f;
}

// Owns one GObject reference.
template <class T>
struct Ref {
  T* p = nullptr;
  explicit Ref(T* q = nullptr) : p(q) {}
  ~Ref() {
    if (p) g_object_unref(p);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

GMimeMessage* parseMessage(std::string_view raw) {
  Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.data(), raw.size()));
  Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
  g_mime_parser_set_format(parser.p, GMIME_FORMAT_MESSAGE);
  return g_mime_parser_construct_message(parser.p, parserOptions());
}

// A mail's MIME tree read from bytes that stay where they are: the parts'
// contents are pieces of those bytes, never copied. The bytes outlive the
// view. The mail is read as its top part, header and all: the message's
// own fields (addresses, dates) are decoded elsewhere, and GMime's reading
// of them would cost a third of the whole.
class ParsedView {
 public:
  explicit ParsedView(std::string_view raw) {
    arr_ = g_byte_array_new_take(reinterpret_cast<guint8*>(const_cast<char*>(raw.data())), raw.size());
    Ref<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(arr_));
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream.p), FALSE);
    Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
    top_ = g_mime_parser_construct_part(parser.p, parserOptions());
  }
  ~ParsedView() {
    if (top_) g_object_unref(top_);
    gsize len = 0;
    (void)g_byte_array_steal(arr_, &len);  // the bytes are not ours to free
    g_byte_array_unref(arr_);
  }
  ParsedView(const ParsedView&) = delete;
  ParsedView& operator=(const ParsedView&) = delete;
  GMimeObject* get() const { return top_; }

 private:
  GByteArray* arr_ = nullptr;
  GMimeObject* top_ = nullptr;
};

}  // namespace

// The reading of a fetched mail, kept for the attachment step so that the
// mail is read once. It reads the bytes remembered beside it (the mail as
// it came), or its own mended copy of them. texts: the CP932 texts the
// fetch made of text parts, by part.
struct KeptParse {
  std::string mended;
  std::unique_ptr<ParsedView> view;
  const char* base = nullptr;  // the bytes read
  std::size_t size = 0;
  std::map<GMimePart*, std::string> texts;
  // The fields of the mail's own header as decodeFields gave them for
  // fieldsCap, when the fetch decoded that header.
  std::unique_ptr<Fields> fields;
  std::size_t fieldsCap = 0;

  // Whether the reading is of raw, the mail as it came.
  bool readsOf(const std::string& raw) const {
    if (!view || !view->get()) return false;
    if (!mended.empty()) return base == mended.data() && size == mended.size();
    return base == raw.data() && size == raw.size();
  }
  std::string_view mail(std::string_view asCame) const {
    return mended.empty() ? asCame : std::string_view(mended);
  }
};

namespace {

std::string streamBytes(GMimeStream* mem) {
  GByteArray* arr = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
  return std::string(reinterpret_cast<const char*>(arr->data), arr->len);
}

// Content of a leaf part with its transfer encoding undone. Base64 and
// uuencode are undone here: GMime drops the last group of base64 that lacks
// its padding (a file comes out short), and its uudecoder stops at a begin
// line that a mailer folded (an empty file).
bool contentInPlace(GMimeDataWrapper* dw, std::string_view& where);

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

// Where a leaf's content lies in the bytes the mail was read from (the
// parts of a ParsedView are pieces of them); false when it lies elsewhere.
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

// Header fields: name, and the field's lines with their line ends.
struct Field {
  std::string name;  // lower case
  std::string raw;   // lines joined by CR LF, no line end at the end
};

std::vector<Field> headerFields(std::string_view header) {
  std::vector<Field> fields;
  std::size_t i = 0;
  while (i < header.size()) {
    std::size_t nl = header.find('\n', i);
    std::size_t end = nl == std::string_view::npos ? header.size() : nl;
    std::string_view line = header.substr(i, end - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    i = nl == std::string_view::npos ? header.size() : nl + 1;
    if ((line.empty() || line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
      fields.back().raw += "\r\n";
      fields.back().raw += line;
      continue;
    }
    if (line.empty()) continue;
    Field f;
    auto colon = line.find(':');
    f.name = lower(colon == std::string_view::npos ? line : line.substr(0, colon));
    while (!f.name.empty() && (f.name.back() == ' ' || f.name.back() == '\t')) f.name.pop_back();
    f.raw = std::string(line);
    fields.push_back(std::move(f));
  }
  return fields;
}

std::string fieldValue(const Field& f) {
  auto colon = f.raw.find(':');
  if (colon == std::string::npos) return std::string();
  return f.raw.substr(colon + 1);
}

bool importantField(const std::string& name) {
  static const char* keep[] = {"from", "to", "cc", "subject", "date", "message-id", "reply-to",
                               "sender", "mime-version", "in-reply-to", "references"};
  if (name.rfind("content-", 0) == 0) return true;
  return std::any_of(std::begin(keep), std::end(keep), [&](const char* k) { return name == k; });
}

// 8-bit text in a raw header line to CP932, ASCII left as it is.
std::string lineToCp932(std::string_view line) {
  if (charset::isAscii(line)) {
    std::string s(line);
    s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
    return s;
  }
  return charset::guessToCp932(line);
}

std::string joinFields(const std::vector<Field>& fields, const std::vector<bool>& use) {
  std::string out;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (!use[k]) continue;
    out += fields[k].raw;
    out += "\r\n";
  }
  return out;
}

void makeDirs(const std::string& path) {
  std::string cur;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!cur.empty()) ::mkdir(cur.c_str(), 0755);
    }
    if (i < path.size()) cur += path[i];
  }
}

// A name as its stem and extension: the numbers of copies go between.
void stemAndExt(const std::string& name, std::string& stem, std::string& ext) {
  stem = name;
  ext.clear();
  auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= 16) {
    stem = name.substr(0, dot);
    ext = name.substr(dot);
  }
}

// The copies of each name in the attachment folders written to: for
// "stem.ext", the number to try next for "stem(n).ext". Built from one
// listing of a folder at its first taken name, then kept up as files are
// written, so that a free name costs one look-up however many copies a
// name has. A number found taken all the same (a file made meanwhile) is
// stepped over.
struct CopyNumbers {
  bool listed = false;
  std::map<std::string, long long> next;  // by stem + ext
};
std::mutex gCopyLock;
std::map<std::string, CopyNumbers> gCopies;  // by folder

void listCopies(const std::string& dir, CopyNumbers& c) {
  c.listed = true;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::string stem, ext;
  while (dirent* e = ::readdir(d)) {
    const std::string entry = e->d_name;
    stemAndExt(entry, stem, ext);
    long long n = 1;
    if (stem.size() >= 3 && stem.back() == ')') {
      const auto open = stem.rfind('(');
      if (open != std::string::npos && open > 0 && open + 2 < stem.size() && stem.size() - open <= 20 &&
          std::all_of(stem.begin() + static_cast<long>(open) + 1, stem.end() - 1,
                      [](char ch) { return ch >= '0' && ch <= '9'; })) {
        n = std::stoll(stem.substr(open + 1, stem.size() - open - 2));
        stem.erase(open);
      }
    }
    long long& next = c.next[stem + ext];
    next = std::max(next, n + 1);
  }
  ::closedir(d);
}

// A file found in a received mail: its bytes, or the part whose decoded
// content they are, written straight into the file and never held whole.
struct FoundFile {
  std::string name;
  std::string data;
  GMimePart* part = nullptr;  // kept alive by its message
};

bool writeBytes(int fd, std::string_view data) {
  std::size_t off = 0;
  while (off < data.size()) {
    ssize_t w = ::write(fd, data.data() + off, data.size() - off);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    off += static_cast<std::size_t>(w);
  }
  return true;
}

bool writeContent(int fd, const FoundFile& f) {
  if (f.part) {
    GMimeDataWrapper* dw = g_mime_part_get_content(f.part);
    if (!dw) return true;
    const GMimeContentEncoding enc = g_mime_data_wrapper_get_encoding(dw);
    // Decoded from where it lies in the mail, not from a copy.
    std::string_view where;
    if ((enc == GMIME_CONTENT_ENCODING_BASE64 || enc == GMIME_CONTENT_ENCODING_UUENCODE) && contentInPlace(dw, where)) {
      if (enc == GMIME_CONTENT_ENCODING_BASE64) return writeBytes(fd, text::base64DecodeBody(where));
      bool found = false;
      std::string data = text::uuDecode(where, &found);
      if (found) return writeBytes(fd, data);
    }
    if (enc == GMIME_CONTENT_ENCODING_BASE64 || enc == GMIME_CONTENT_ENCODING_UUENCODE)
      return writeBytes(fd, partContent(f.part));
    Ref<GMimeStream> out(g_mime_stream_fs_new(fd));
    g_mime_stream_fs_set_owner(GMIME_STREAM_FS(out.p), FALSE);
    errno = 0;
    if (g_mime_data_wrapper_write_to_stream(dw, out.p) < 0) return false;
    return g_mime_stream_flush(out.p) == 0;
  }
  return writeBytes(fd, f.data);
}

// Makes a new file in folder, adding "(2)", "(3)"... before the extension
// when the name is taken; no number is too high. The file descriptor, or
// -1 with error.
int openNewFile(const std::string& folder, const std::string& name, std::string& made, std::string& error) {
  std::string stem, ext;
  stemAndExt(name, stem, ext);
  std::string dir = folder;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::lock_guard<std::mutex> lock(gCopyLock);
  CopyNumbers& copies = gCopies[dir];
  bool madeFolder = false;
  for (long long n = 1;;) {
    std::string candidate = n == 1 ? name : stem + "(" + std::to_string(n) + ")" + ext;
    std::string path = dir + "/" + candidate;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == ENOENT && !madeFolder) {
      // The folder (or one above it) is missing: made, and the name tried again.
      madeFolder = true;
      makeDirs(dir);
      continue;
    }
    if (fd < 0) {
      if (errno == EEXIST) {
        if (n == 1) {
          if (!copies.listed) listCopies(dir, copies);
          n = std::max(2LL, copies.next[stem + ext]);
        } else {
          ++n;
        }
        continue;
      }
      error = "添付ファイルを書き込めません: " + path + ": " + std::strerror(errno);
      return -1;
    }
    // The plain name was free (the folder was emptied, or the name is
    // new): its copies count from 2 again, stepping over any left.
    copies.next[stem + ext] = n == 1 ? 2 : n + 1;
    made = path;
    return fd;
  }
}

// Writes data to a new file in folder (named as openNewFile names it).
// False with error on failure.
bool writeNewFile(const std::string& folder, const std::string& name, const FoundFile& data,
                  std::string& written, std::string& error) {
  std::string path;
  const int fd = openNewFile(folder, name, path, error);
  if (fd < 0) return false;
  if (!writeContent(fd, data)) {
    error = "添付ファイルを書き込めません: " + path + ": " + std::strerror(errno ? errno : EIO);
    ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  if (::close(fd) != 0) {
    error = "添付ファイルを書き込めません: " + path + ": " + std::strerror(errno);
    ::unlink(path.c_str());
    return false;
  }
  written = path;
  return true;
}

// The text parts of a mail joined as they come, in CP932. Only what the
// body can take is held; past fileAbove bytes (0: never) the whole text
// goes into a new file of the folder as it comes, and the body is its
// beginning and a line naming the file.
class TextOut {
 public:
  TextOut(std::size_t room, std::size_t fileAbove, std::string folder)
      : room_(room), fileAbove_(fileAbove), folder_(std::move(folder)) {
    keep_ = (fileAbove_ > 0 ? fileAbove_ : room_) + 4;  // + a character cut off
  }
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;
  ~TextOut() {
    if (fd_ >= 0) ::close(fd_);
  }

  // A text part begins: apart from the one before by a line end.
  void beginPart() {
    if (total_ > 0 && !(last_[0] == '\r' && last_[1] == '\n')) add("\r\n");
  }
  void add(std::string_view s) {
    if (s.empty()) return;
    if (fileAbove_ > 0 && fd_ < 0 && error_.empty() && total_ + s.size() > fileAbove_) open();
    total_ += s.size();
    last_[0] = s.size() >= 2 ? s[s.size() - 2] : last_[1];
    last_[1] = s.back();
    if (head_.size() < keep_) head_.append(s.substr(0, keep_ - head_.size()));
    if (fd_ >= 0) write(s);
  }
  // Nothing more is needed: the body is full and no file is being written.
  bool full() const { return fd_ < 0 && head_.size() >= keep_ && (fileAbove_ == 0 || !error_.empty()); }
  // More came than room.
  bool cut() const { return total_ > room_; }

  // The body; the file made goes into out.
  std::string finish(Unpacked& out) {
    if (fd_ < 0 && error_.empty()) return std::string(text::cutCp932(head_, room_));
    if (fd_ >= 0 && ::close(fd_) != 0 && error_.empty()) error_ = std::strerror(errno);
    fd_ = -1;
    if (!error_.empty()) {
      if (!path_.empty()) ::unlink(path_.c_str());
      out.result = -5;
      if (out.error.empty()) out.error = "本文のファイルを書き込めません: " + path_ + ": " + error_;
      return std::string(text::cutCp932(head_, std::min(room_, fileAbove_)));
    }
    const std::string name = path_.substr(path_.rfind('/') + 1);
    const std::string note =
        charset::utf8ToCp932("\r\n（本文が長いため、全文を添付フォルダの「" + name + "」に保存しました。）");
    const std::size_t limit = std::min(room_, fileAbove_);
    std::string_view h = text::cutCp932(head_, limit > note.size() ? limit - note.size() : 0);
    // Ended at a line end when there is one in its second half.
    const std::size_t nl = h.rfind("\r\n");
    if (nl != std::string_view::npos && nl >= h.size() / 2) h = h.substr(0, nl);
    out.written.push_back(path_);
    return std::string(h) + std::string(text::cutCp932(note, limit - h.size()));
  }

 private:
  void open() {
    fd_ = openNewFile(folder_, kName, path_, error_);
    if (fd_ < 0) {
      if (error_.empty()) error_ = "?";
      return;
    }
    write(head_);
  }
  void write(std::string_view s) {
    if (fd_ >= 0 && error_.empty() && !writeBytes(fd_, s)) error_ = std::strerror(errno ? errno : EIO);
  }
  static constexpr const char* kName = "本文.txt";
  std::size_t room_, fileAbove_, keep_;
  std::string folder_;
  std::string head_;
  std::size_t total_ = 0;
  char last_[2] = {0, 0};
  int fd_ = -1;
  std::string path_, error_;
};

// A text of the mail: a text part, or a text as it stands.
struct TextPiece {
  GMimePart* part = nullptr;
  std::string text;
};

struct Walk {
  std::vector<TextPiece> texts;  // in the order of the mail
  std::vector<FoundFile> files;
};

// The raw value of a header field of obj (folded, 8-bit bytes as they
// came), or null when there is none.
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

void walkMessagePart(GMimeMessagePart* mp, GMimeObject* asObject, Walk& w) {
  GMimeMessage* inner = g_mime_message_part_get_message(mp);
  if (!inner) return;
  FoundFile a;
  if (!fileNameOf(asObject, a.name)) {
    std::string subject = text::decodeHeaderUtf8(rawHeader(GMIME_OBJECT(inner), "Subject"));
    a.name = (subject.empty() ? std::string("message") : subject) + ".eml";
  }
  a.data = objectBytes(GMIME_OBJECT(inner), false);
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

// Every part in the order of the mail, however deep (without recursion: a
// hostile mail nests without end).
void walk(GMimeObject* top, Walk& w) {
  std::vector<GMimeObject*> todo{top};
  while (!todo.empty()) {
    GMimeObject* obj = todo.back();
    todo.pop_back();
    if (!obj) continue;
    if (GMIME_IS_MULTIPART(obj)) {
      GMimeMultipart* mp = GMIME_MULTIPART(obj);
      int n = g_mime_multipart_get_count(mp);
      if (n == 0 && !g_mime_object_get_content_type_parameter(obj, "boundary")) {
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
        todo.push_back(pick ? pick : g_mime_multipart_get_part(mp, 0));
        continue;
      }
      for (int i = n - 1; i >= 0; --i) todo.push_back(g_mime_multipart_get_part(mp, i));
    } else if (GMIME_IS_MESSAGE_PART(obj)) {
      walkMessagePart(GMIME_MESSAGE_PART(obj), obj, w);
    } else if (GMIME_IS_PART(obj)) {
      walkLeaf(GMIME_PART(obj), w, obj == top);
    }
  }
}

// Text parts this large are read a piece at a time.
constexpr std::size_t kLargeText = 1 << 20;

// The text of a text part in CP932 into out; a large one a piece at a time,
// only as far as out takes it.
void textInto(GMimePart* part, TextOut& out, const std::map<GMimePart*, std::string>* made = nullptr) {
  if (made) {
    auto it = made->find(part);
    if (it != made->end()) {
      out.add(text::toCrlf(it->second));
      return;
    }
  }
  GMimeObject* obj = GMIME_OBJECT(part);
  const std::string cs = charsetOf(obj);
  std::string_view where;
  if (!convertsByLine(cs) || !contentInPlace(g_mime_part_get_content(part), where) || where.size() <= kLargeText) {
    out.add(textOf(part));
    return;
  }
  // HTML: the text a reader sees of it, read as it comes.
  std::unique_ptr<html::TextStream> page;
  if (isHtml(obj))
    page = std::make_unique<html::TextStream>([&](std::string_view t) { out.add(charset::utf8ToCp932(t)); });
  auto convert = [&](std::string_view lines) {
    if (page)
      page->feed(charset::toUtf8(lines, cs));
    else
      out.add(text::toCrlf(charset::toCp932(lines, cs)));
  };
  ContentPieces pieces(part);
  std::string pending, piece;
  while (!out.full() && pieces.next(piece)) {
    pending += piece;
    if (pending.size() < ContentPieces::kPiece) continue;
    const std::size_t cut = lineCut(pending);
    if (cut == 0) continue;
    convert(std::string_view(pending).substr(0, cut));
    pending.erase(0, cut);
  }
  if (!pending.empty() && !out.full()) convert(pending);
  if (page && !out.full()) page->finish();
}

// The texts of a mail joined, in the order of the mail.
void textsInto(const std::vector<TextPiece>& texts, TextOut& out,
               const std::map<GMimePart*, std::string>* made = nullptr) {
  for (const TextPiece& t : texts) {
    if (out.full()) return;
    out.beginPart();
    if (t.part)
      textInto(t.part, out, made);
    else
      out.add(t.text);
  }
}

// What armour changed in a tree, to be put back so that the tree reads as
// it came again. texts (when set) takes the CP932 text of every text part
// turned into CP932 that a reader sees as it stands (not HTML, not large).
class ArmourUndo {
 public:
  explicit ArmourUndo(std::map<GMimePart*, std::string>* texts = nullptr) : texts_(texts) {}
  ~ArmourUndo() {
    for (Leaf& l : leaves_)
      if (l.content) g_object_unref(l.content);
  }
  ArmourUndo(const ArmourUndo&) = delete;
  ArmourUndo& operator=(const ArmourUndo&) = delete;

  // Before a leaf changes; inner: it lies in an enclosed message.
  void keep(GMimePart* part, bool inner) {
    GMimeObject* obj = GMIME_OBJECT(part);
    Leaf l;
    l.part = part;
    l.content = g_mime_part_get_content(part);
    if (l.content) g_object_ref(l.content);
    l.encoding = g_mime_part_get_content_encoding(part);
    l.charset = charsetOf(obj);
    l.type = rawValue(obj, "Content-Type", l.hadType);
    l.transfer = rawValue(obj, "Content-Transfer-Encoding", l.hadTransfer);
    leaves_.push_back(std::move(l));
    inner_ = inner_ || inner;
  }
  void text(GMimePart* part, const std::string& cp) {
    if (texts_ && !isHtml(GMIME_OBJECT(part)) && cp.size() <= kLargeText) (*texts_)[part] = cp;
  }

  // Puts every leaf back as it came. False when one does not read as it
  // did (the tree is then to be read again for anything more), or when a
  // leaf of an enclosed message changed (an enclosed message is written
  // out whole, with its header fields as they came).
  bool restore() {
    bool same = !inner_;
    for (auto it = leaves_.rbegin(); it != leaves_.rend(); ++it) {
      Leaf& l = *it;
      GMimeObject* obj = GMIME_OBJECT(l.part);
      if (l.content && g_mime_part_get_content(l.part) != l.content) g_mime_part_set_content(l.part, l.content);
      if (charsetOf(obj) != l.charset) {
        if (!l.charset.empty()) {
          g_mime_object_set_content_type_parameter(obj, "charset", l.charset.c_str());
        } else if (GMimeContentType* ct = g_mime_object_get_content_type(obj)) {
          g_mime_param_list_remove(g_mime_content_type_get_parameters(ct), "charset");
        }
      }
      if (g_mime_part_get_content_encoding(l.part) != l.encoding) g_mime_part_set_content_encoding(l.part, l.encoding);
      putBack(obj, "Content-Type", l.hadType, l.type);
      putBack(obj, "Content-Transfer-Encoding", l.hadTransfer, l.transfer);
      bool had = false;
      same = same && g_mime_part_get_content(l.part) == l.content && charsetOf(obj) == l.charset &&
             g_mime_part_get_content_encoding(l.part) == l.encoding &&
             rawValue(obj, "Content-Type", had) == l.type && had == l.hadType &&
             rawValue(obj, "Content-Transfer-Encoding", had) == l.transfer && had == l.hadTransfer;
    }
    if (!same && texts_) texts_->clear();
    return same;
  }

 private:
  struct Leaf {
    GMimePart* part = nullptr;
    GMimeDataWrapper* content = nullptr;  // a reference of ours
    GMimeContentEncoding encoding = GMIME_CONTENT_ENCODING_DEFAULT;
    std::string charset, type, transfer;  // type, transfer: the raw field values
    bool hadType = false, hadTransfer = false;
  };
  static std::string rawValue(GMimeObject* obj, const char* name, bool& had) {
    const char* v = rawHeaderOrNull(obj, name);
    had = v != nullptr;
    return v ? v : "";
  }
  static void putBack(GMimeObject* obj, const char* name, bool had, const std::string& raw) {
    GMimeHeaderList* list = g_mime_object_get_header_list(obj);
    if (!list) return;
    GMimeHeader* h = g_mime_header_list_get_header(list, name);
    if (!had) {
      if (h) g_mime_header_list_remove(list, name);
      return;
    }
    const char* now = h ? g_mime_header_get_raw_value(h) : nullptr;
    if (h && (!now || raw != now)) g_mime_header_set_raw_value(h, raw.c_str());
  }

  std::vector<Leaf> leaves_;
  bool inner_ = false;
  std::map<GMimePart*, std::string>* texts_;
};

// Turns every 8-bit leaf of a multipart tree into CP932 text (text parts)
// or base64 (the others), noting in undo what it changed.
// True when something changed.
bool armourLeaf(GMimeObject* obj, ArmourUndo& undo, bool inner);

bool armour(GMimeObject* top, ArmourUndo& undo) {
  bool changed = false;
  std::vector<std::pair<GMimeObject*, bool>> todo{{top, false}};  // with: inside an enclosed message
  while (!todo.empty()) {
    auto [obj, inner] = todo.back();
    todo.pop_back();
    if (!obj) continue;
    if (GMIME_IS_MULTIPART(obj)) {
      GMimeMultipart* mp = GMIME_MULTIPART(obj);
      int n = g_mime_multipart_get_count(mp);
      for (int i = 0; i < n; ++i) todo.emplace_back(g_mime_multipart_get_part(mp, i), inner);
    } else if (GMIME_IS_MESSAGE_PART(obj)) {
      GMimeMessage* enclosed = g_mime_message_part_get_message(GMIME_MESSAGE_PART(obj));
      if (enclosed) todo.emplace_back(g_mime_message_get_mime_part(enclosed), true);
    } else {
      changed |= armourLeaf(obj, undo, inner);
    }
  }
  return changed;
}

bool armourLeaf(GMimeObject* obj, ArmourUndo& undo, bool inner) {
  if (!GMIME_IS_PART(obj)) return false;
  GMimePart* part = GMIME_PART(obj);
  GMimeContentEncoding enc = g_mime_part_get_content_encoding(part);
  if (enc == GMIME_CONTENT_ENCODING_BASE64 || enc == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
      enc == GMIME_CONTENT_ENCODING_UUENCODE)
    return false;
  std::string content = partContent(part);
  if (charset::isAscii(content)) return false;
  undo.keep(part, inner);
  std::string name;
  if (isText(obj) && !fileNameOf(obj, name)) {
    std::string cp = charset::toCp932(content, charsetOf(obj));
    Ref<GMimeStream> mem(g_mime_stream_mem_new_with_buffer(cp.data(), cp.size()));
    Ref<GMimeDataWrapper> dw(g_mime_data_wrapper_new_with_stream(mem.p, GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, dw.p);
    g_mime_object_set_content_type_parameter(obj, "charset", "Shift_JIS");
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_8BIT);
    undo.text(part, cp);
  } else {
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
  }
  return true;
}

const char* kPartialFolder = ".partial";

std::string partialKey(const char* id) {
  // The id names the pieces' files: keep it short and harmless.
  std::string s = id ? id : "";
  gchar* sum = g_compute_checksum_for_string(G_CHECKSUM_SHA1, s.c_str(), -1);
  std::string out(sum, 16);
  g_free(sum);
  return out;
}

// The mails the fetch handed on lately, by the mail text a caller makes of
// what it handed on (header, CR LF, body; line ends as the caller likes).
// The attachment step unpacks such a text from the bytes the server sent,
// so that attachments come out byte for byte and every part, name and
// parameter is read in its own charset, whatever the buffers could hold.
struct Remembered {
  std::string text;  // what the fetch handed on: header, CR LF, body
  std::shared_ptr<const std::string> raw;
  std::shared_ptr<KeptParse> parse;  // the reading of raw, or null
};
std::mutex gRecentLock;
std::deque<Remembered> gRecent;
constexpr std::size_t kRecentMails = 2;

// Walks a text with its line ends made one (CR LF, lone CR and lone LF
// alike one LF) and the ones at the end dropped.
class OneLineEnds {
 public:
  explicit OneLineEnds(std::string_view t) : t_(t) {}
  // The next byte, or -1 at the end.
  int next() {
    if (pending_ > 0) {
      --pending_;
      return '\n';
    }
    if (held_ >= 0) {
      const int c = held_;
      held_ = -1;
      return c;
    }
    std::size_t breaks = 0;
    while (i_ < t_.size() && (t_[i_] == '\r' || t_[i_] == '\n')) {
      if (t_[i_] == '\r' && i_ + 1 < t_.size() && t_[i_ + 1] == '\n') ++i_;
      ++i_;
      ++breaks;
    }
    if (i_ >= t_.size()) return -1;
    const int c = static_cast<unsigned char>(t_[i_++]);
    if (breaks == 0) return c;
    held_ = c;
    pending_ = breaks - 1;
    return '\n';
  }

 private:
  std::string_view t_;
  std::size_t i_ = 0, pending_ = 0;
  int held_ = -1;
};

// Whether two texts are one but for their line ends (and those at the end).
bool sameText(std::string_view a, std::string_view b) {
  if (a == b) return true;
  OneLineEnds x(a), y(b);
  for (;;) {
    const int c = x.next();
    if (c != y.next()) return false;
    if (c < 0) return true;
  }
}

void remember(std::string_view header, std::string_view body, std::shared_ptr<const std::string> raw,
              std::shared_ptr<KeptParse> parse) {
  std::string text;
  text.reserve(header.size() + 2 + body.size());
  text.append(header).append("\r\n").append(body);
  if (parse && !parse->readsOf(*raw)) parse.reset();
  Remembered r{std::move(text), std::move(raw), std::move(parse)};
  std::lock_guard<std::mutex> lock(gRecentLock);
  gRecent.push_back(std::move(r));
  while (gRecent.size() > kRecentMails) gRecent.pop_front();
}

// The mail as it came for a text the fetch handed on, or null. It is
// handed on once: its room is free again after the attachment step.
Remembered recall(std::string_view mailText) {
  std::lock_guard<std::mutex> lock(gRecentLock);
  for (auto it = gRecent.rbegin(); it != gRecent.rend(); ++it) {
    if (!sameText(it->text, mailText)) continue;
    Remembered found = std::move(*it);
    gRecent.erase(std::next(it).base());
    return found;
  }
  return Remembered{};
}

// Files this large are left out of the multipart body handed on (the
// attachment step reads them from the mail as it came).
constexpr gint64 kLeaveOutAbove = 64 * 1024;

// The contents of the files in a multipart tree larger than the above, as
// ranges of the bytes the tree was read from, in order.
void largeFiles(GMimeObject* obj, gint64 size, std::vector<std::pair<gint64, gint64>>& out, bool textsToo,
                int depth = 0) {
  if (!obj || depth > 64) return;
  if (GMIME_IS_MULTIPART(obj)) {
    GMimeMultipart* mp = GMIME_MULTIPART(obj);
    const int n = g_mime_multipart_get_count(mp);
    for (int i = 0; i < n; ++i) largeFiles(g_mime_multipart_get_part(mp, i), size, out, textsToo, depth + 1);
    return;
  }
  if (!GMIME_IS_PART(obj)) return;
  std::string name;
  if (!textsToo && isText(obj) && !dispositionIs(obj, "attachment") && !fileNameOf(obj, name)) return;
  GMimeDataWrapper* dw = g_mime_part_get_content(GMIME_PART(obj));
  GMimeStream* st = dw ? g_mime_data_wrapper_get_stream(dw) : nullptr;
  if (!st) return;
  const gint64 begin = st->bound_start, end = st->bound_end < 0 ? size : st->bound_end;
  if (begin < 0 || end > size || end - begin <= kLeaveOutAbove) return;
  if (!out.empty() && begin < out.back().second) return;
  out.emplace_back(begin, end);
}

// The multipart body of mail (which starts at offset at) with the large
// files (and texts, textsToo) left out, a line in their place; no longer
// than limit bytes.
std::string withoutLargeFiles(std::string_view mail, std::size_t at, GMimeObject* top, bool textsToo = false,
                              std::size_t limit = std::string::npos) {
  std::vector<std::pair<gint64, gint64>> ranges;
  largeFiles(top, static_cast<gint64>(mail.size()), ranges, textsToo);
  static std::atomic<unsigned long long> serial{0};
  std::string out;
  auto append = [&](std::string_view s) { out.append(s.substr(0, limit - std::min(limit, out.size()))); };
  std::size_t pos = std::min(at, mail.size());
  for (const auto& [begin, end] : ranges) {
    if (static_cast<std::size_t>(begin) < pos) continue;
    append(mail.substr(pos, static_cast<std::size_t>(begin) - pos));
    append("[" + std::to_string(end - begin) + " bytes of a file left out of this copy, #" +
           std::to_string(++serial) + "]\r\n");
    pos = static_cast<std::size_t>(end);
  }
  append(mail.substr(pos));
  return out;
}

// ---- Mails whose header block is broken, read as a tolerant receiver
// reads them. The header ends at its first line that is no header line
// (a boundary right after the header, with no empty line before it); lines
// that begin with a blank before the first field continue nothing (a field
// written after a blank is kept, the rest dropped); a multipart without its
// boundary parameter gets the boundary its body uses.

// A header field's first line: a name of printable characters and a colon.
bool isFieldLine(std::string_view line) {
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

// The boundary a multipart body uses: a line "--x" that comes again (as
// "--x" or "--x--") further on; "" when there is none.
std::string boundaryInBody(std::string_view body) {
  std::vector<std::string_view> marks;
  for (std::size_t at = 0; at < body.size() && marks.size() < 10000;) {
    std::size_t nl = body.find('\n', at);
    std::string_view line = body.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.size() > 2 && line.size() <= 72 && line.substr(0, 2) == "--") marks.push_back(line.substr(2));
    if (nl == std::string_view::npos) break;
    at = nl + 1;
  }
  for (std::size_t i = 0; i < marks.size(); ++i) {
    std::string_view b = marks[i];
    if (b.find_first_of("\"\\") != std::string_view::npos) continue;
    for (std::size_t k = i + 1; k < marks.size(); ++k) {
      std::string_view m = marks[k];
      if (m == b || (m.size() == b.size() + 2 && m.substr(0, b.size()) == b && m.substr(b.size()) == "--"))
        return std::string(b);
    }
  }
  return std::string();
}

// The mail mended, or false when it needs no mending.
bool mendMail(std::string_view mail, std::string& mended) {
  struct Line {
    std::string_view text, end;  // end: the line end as it came
  };
  std::vector<Line> lines;
  std::size_t at = 0;
  bool headerEnded = false;
  while (at < mail.size()) {
    std::size_t nl = mail.find('\n', at);
    std::size_t stop = nl == std::string_view::npos ? mail.size() : nl;
    std::size_t textEnd = stop > at && mail[stop - 1] == '\r' ? stop - 1 : stop;
    lines.push_back({mail.substr(at, textEnd - at), mail.substr(textEnd, (nl == std::string_view::npos ? stop : nl + 1) - textEnd)});
    at = nl == std::string_view::npos ? mail.size() : nl + 1;
    if (lines.back().text.empty()) {
      headerEnded = true;
      break;
    }
  }
  std::string head;
  bool changed = false, sawField = false;
  std::size_t bodyAt = at;
  std::size_t k = 0;
  for (; k < lines.size(); ++k) {
    std::string_view t = lines[k].text;
    if (t.empty()) break;
    bool blankFirst = t[0] == ' ' || t[0] == '\t';
    if (blankFirst && !sawField) {
      // Continues no field: a field written after blanks is kept.
      std::size_t b = t.find_first_not_of(" \t");
      changed = true;
      if (b != std::string_view::npos && isFieldLine(t.substr(b))) {
        head += std::string(t.substr(b)) + std::string(lines[k].end);
        sawField = true;
      }
      continue;
    }
    if (blankFirst || isFieldLine(t) || (k == 0 && t.substr(0, 5) == "From ")) {
      head += std::string(t) + std::string(lines[k].end);
      sawField = sawField || !blankFirst;
      continue;
    }
    // No header line: the header ended before it.
    changed = true;
    bodyAt = static_cast<std::size_t>(t.data() - mail.data());
    headerEnded = false;
    break;
  }
  std::string_view body = bodyAt <= mail.size() ? mail.substr(bodyAt) : std::string_view();
  if (k == lines.size() && !headerEnded) body = std::string_view();
  // A multipart without its boundary.
  std::vector<Field> fields = headerFields(head);
  for (const Field& f : fields) {
    if (f.name != "content-type") continue;
    std::string value = fieldValue(f);
    std::size_t b = value.find_first_not_of(" \t\r\n");
    if (b == std::string::npos || lower(value.substr(b, 10)) != "multipart/") break;
    bool found = false;
    text::parameter(value, "boundary", "", &found);
    if (found) break;
    std::string boundary = boundaryInBody(body);
    if (boundary.empty()) break;
    std::size_t where = head.find(f.raw);
    if (where == std::string::npos) break;
    head.insert(where + f.raw.size(), "; boundary=\"" + boundary + "\"");
    changed = true;
    break;
  }
  if (!changed) return false;
  mended = head;
  mended += "\r\n";
  mended += body;
  return true;
}

// The mail as it is read: mended when its header block is broken.
std::string_view readable(std::string_view mail, std::string& keep) {
  return mendMail(mail, keep) ? std::string_view(keep) : mail;
}

}  // namespace

void rememberFetched(const Fetched& fetched, std::string&& raw) {
  remember(fetched.fields.header, fetched.body, std::make_shared<const std::string>(std::move(raw)), fetched.parse);
}

void initialize() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

void split(std::string_view mail, std::string_view& header, std::string_view& body) {
  std::size_t i = 0;
  while (i < mail.size()) {
    std::size_t nl = mail.find('\n', i);
    if (nl == std::string_view::npos) break;
    std::size_t len = nl - i;
    if (len == 0 || (len == 1 && mail[i] == '\r')) {
      header = mail.substr(0, i);
      body = mail.substr(nl + 1);
      return;
    }
    i = nl + 1;
  }
  header = mail;
  body = std::string_view();
}

Fields decodeFields(std::string_view header, std::size_t headerCap) {
  std::vector<Field> fields = headerFields(header);
  Fields out;
  bool haveSubject = false, haveFrom = false, haveDate = false;
  for (auto& f : fields) {
    if (f.name == "subject" && !haveSubject) {
      out.subject = text::decodeHeader(fieldValue(f));
      haveSubject = true;
    } else if (f.name == "from" && !haveFrom) {
      out.from = text::decodeHeader(fieldValue(f));
      haveFrom = true;
    } else if (f.name == "date" && !haveDate) {
      out.date = text::decodeHeader(fieldValue(f));
      haveDate = true;
    }
    f.raw = lineToCp932(f.raw);
  }
  std::vector<bool> use(fields.size(), true);
  out.header = joinFields(fields, use);
  if (headerCap > 0 && out.header.size() + 1 > headerCap) {
    // Too long for the buffer: the fields the mail needs to be read again
    // (addresses, subject, date, the MIME fields) first, in their order;
    // trace fields only while there is room.
    std::size_t room = headerCap - 1, used = 0;
    for (std::size_t k = 0; k < fields.size(); ++k) {
      use[k] = importantField(fields[k].name);
      if (use[k]) used += fields[k].raw.size() + 2;
    }
    for (std::size_t k = 0; k < fields.size(); ++k) {
      if (use[k]) continue;
      if (used + fields[k].raw.size() + 2 <= room) {
        use[k] = true;
        used += fields[k].raw.size() + 2;
      }
    }
    out.header = joinFields(fields, use);
  }
  return out;
}

Fetched decodeFetched(std::string_view asCame, std::size_t headerCap, std::size_t bodyCap, bool keep,
                      bool cutToFit, const KnownFields& known) {
  initialize();
  auto kept = std::make_shared<KeptParse>();
  std::string_view mail = readable(asCame, kept->mended);
  std::string_view header, body;
  split(mail, header, body);
  std::size_t room = bodyCap > 0 ? bodyCap - 1 : 0;
  Fetched out;
  // A mended copy of a large mail is not held on for later.
  bool keepParse = kept->mended.size() <= kLargeText;
  auto handOn = [&](std::string_view adjustedHeader, std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());  // no buffer holds it
    out.fields = known.fields && known.headerCap == headerCap && known.header == adjustedHeader
                     ? *known.fields
                     : decodeFields(adjustedHeader, headerCap);
    if (adjustedHeader.data() == header.data() && adjustedHeader.size() == header.size()) {
      kept->fields = std::make_unique<Fields>(out.fields);
      kept->fieldsCap = headerCap;
    }
    if (headerCap > 0) out.fields.header = std::string(text::cutCp932(out.fields.header, headerCap - 1));
    out.cut = out.cut || (cutToFit && text.size() > room);
    text.resize(text::cutCp932(text, room).size());
    out.body = std::move(text);
    if (keepParse) out.parse = kept;
    if (keep) remember(out.fields.header, out.body, std::make_shared<const std::string>(asCame), out.parse);
    return out;
  };
  kept->view = std::make_unique<ParsedView>(mail);
  kept->base = mail.data();
  kept->size = mail.size();
  GMimeObject* top = kept->view->get();
  // Only what fits is read.
  const std::size_t enough = room + 4;
  if (cutToFit && body.size() > enough) {
    if (!top || !(GMIME_IS_MULTIPART(top) || GMIME_IS_PART(top))) {
      out.cut = true;
      body = body.substr(0, enough);
    } else if (GMIME_IS_MULTIPART(top)) {
      return handOn(header, withoutLargeFiles(mail, body.data() ? static_cast<std::size_t>(body.data() - mail.data())
                                                                : mail.size(),
                                              top, true, enough));
    }
  }
  if (!top) return handOn(header, charset::guessToCp932(body));
  if (GMIME_IS_MULTIPART(top)) {
    // Every part by its own headers: 8-bit text parts in CP932, other
    // 8-bit parts in base64; large files left out. What does not fit is
    // cut; the attachment step reads the mail as it came all the same
    // (remember).
    ArmourUndo undo(&kept->texts);
    if (charset::isAscii(body) || !armour(top, undo))
      return handOn(header, withoutLargeFiles(mail, body.data() ? static_cast<std::size_t>(body.data() - mail.data())
                                                                : mail.size(),
                                              top));
    std::string armoured = objectBytes(top, true);
    keepParse = undo.restore() && keepParse;
    return handOn(header, std::move(armoured));
  }
  std::string name;
  bool named = GMIME_IS_PART(top) && fileNameOf(top, name);
  if (GMIME_IS_PART(top) && isText(top) && !dispositionIs(top, "attachment") && !GMIME_IS_MESSAGE_PARTIAL(top)) {
    GMimeContentType* ct = g_mime_object_get_content_type(top);
    const char* sub = ct ? g_mime_content_type_get_media_subtype(ct) : nullptr;
    // An HTML text is handed on as the text a reader sees of it.
    std::string subtype = sub && *sub && !isHtml(top) ? lower(sub) : "plain";
    for (char& c : subtype)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '+') c = '-';
    // The header without the fields that describe the body as it came.
    std::string adjusted;
    for (const Field& f : headerFields(header)) {
      if (f.name == "content-type" || f.name == "content-transfer-encoding" || f.name == "content-disposition")
        continue;
      adjusted += f.raw + "\r\n";
    }
    adjusted += "Content-Type: text/" + subtype + "; charset=Shift_JIS\r\n";
    adjusted += "Content-Transfer-Encoding: 8bit\r\n";
    if (named) {
      // A named text is also a file: the attachment step writes it. The
      // name in CP932 when CP932 holds it, else in RFC 2231 UTF-8.
      const std::string cp = charset::utf8ToCp932(name);
      if (charset::cp932ToUtf8(cp) == name) {
        std::string quoted;
        for (std::size_t i = 0; i < cp.size(); ++i) {
          unsigned char c = static_cast<unsigned char>(cp[i]);
          if (charset::isLead(c) && i + 1 < cp.size()) {  // its second byte may be 0x5C: no escape
            quoted += cp.substr(i, 2);
            ++i;
            continue;
          }
          if (c == '"' || c == '\\') quoted += '\\';
          quoted += static_cast<char>(c);
        }
        adjusted += "Content-Disposition: inline; filename=\"" + quoted + "\"\r\n";
      } else {
        std::string pct;
        for (unsigned char c : name) {
          char hex[4];
          std::snprintf(hex, sizeof hex, "%%%02X", c);
          pct += std::isalnum(c) || c == '.' || c == '-' || c == '_' ? std::string(1, static_cast<char>(c)) : hex;
        }
        adjusted += "Content-Disposition: inline; filename*=UTF-8''" + pct + "\r\n";
      }
    }
    if (!cutToFit) return handOn(adjusted, textOf(GMIME_PART(top)));
    TextOut head(room, 0, std::string());
    textInto(GMIME_PART(top), head);
    out.cut = head.cut();
    Unpacked unused;
    return handOn(adjusted, head.finish(unused));
  }
  if (cutToFit && body.size() > enough) {
    out.cut = true;
    body = body.substr(0, enough);
  }
  return handOn(header, charset::isAscii(body) ? std::string(body) : charset::guessToCp932(body));
}

std::string safeFileName(std::string_view raw) {
  std::string name(raw);
  if (!charset::isValidUtf8(name)) name = charset::cp932ToUtf8(charset::guessToCp932(name));
  auto slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  std::string clean;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) continue;
    if (u == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F) {
      ++i;  // a C1 control (U+0080 to U+009F)
      continue;
    }
    if (std::strchr("/\\:*?\"<>|", c)) continue;
    clean += c;
  }
  // No leading or trailing blanks and dots: no hidden files, no "." or "..".
  std::size_t b = clean.find_first_not_of(" .");
  std::size_t e = clean.find_last_not_of(" .");
  clean = b == std::string::npos ? std::string() : clean.substr(b, e - b + 1);
  if (clean.empty()) clean = "attachment";
  if (clean.size() > 200) {
    std::string ext;
    auto dot = clean.rfind('.');
    if (dot != std::string::npos && clean.size() - dot <= 16) ext = clean.substr(dot);
    std::size_t keep = 200 - ext.size();
    while (keep > 0 && (static_cast<unsigned char>(clean[keep]) & 0xC0) == 0x80) --keep;
    clean = clean.substr(0, keep) + ext;
  }
  return clean;
}

namespace {

// Split mails inside split mails are followed this deep.
constexpr int kMaxJoins = 4;

// kept: the fetch's reading of asCame, or null.
Unpacked unpackMail(std::string_view asCame, const std::string& folderIn, std::size_t headerCap,
                    std::size_t bodyCap, std::size_t textFileAbove, int joins, const KeptParse* kept = nullptr) {
  Unpacked out;
  std::string mendedMail;
  std::string_view mailText = kept ? kept->mail(asCame) : readable(asCame, mendedMail);
  std::string folder = folderIn;
  struct stat st{};
  if (folder.find('\\') != std::string::npos && ::stat(folder.c_str(), &st) != 0)
    std::replace(folder.begin(), folder.end(), '\\', '/');
  std::string_view header, body;
  split(mailText, header, body);
  out.fields = kept && kept->fields && kept->fieldsCap == headerCap ? *kept->fields : decodeFields(header, headerCap);
  std::size_t room = bodyCap > 0 ? bodyCap - 1 : 0;

  std::unique_ptr<ParsedView> view;
  if (!kept) view = std::make_unique<ParsedView>(mailText);
  GMimeObject* top = kept ? kept->view->get() : view->get();
  if (!top) {
    out.body = std::string(text::cutCp932(charset::guessToCp932(body), room));
    return out;
  }

  if (GMIME_IS_MESSAGE_PARTIAL(top) && joins < kMaxJoins) {
    GMimeMessagePartial* piece = GMIME_MESSAGE_PARTIAL(top);
    std::string key = partialKey(g_mime_message_partial_get_id(piece));
    int number = g_mime_message_partial_get_number(piece);
    std::string dir = folder + "/" + kPartialFolder;
    makeDirs(dir);
    if (number >= 1 && number <= 1000) {
      std::string path = dir + "/" + key + "." + std::to_string(number);
      // A piece kept from an earlier check is written again, not counted as new.
      bool made = true;
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno == EEXIST) {
        made = false;
        fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
      }
      if (fd >= 0 && made) out.written.push_back(path);
      bool ok = fd >= 0 && ::write(fd, mailText.data(), mailText.size()) ==
                               static_cast<ssize_t>(mailText.size());
      if (fd >= 0) ok = (::close(fd) == 0) && ok;
      if (!ok) {
        out.result = -5;
        out.error = "分割メールを保存できません: " + path;
        return out;
      }
    }
    // Gather the pieces kept so far.
    std::map<int, std::string> pieces;
    int total = -1;
    if (DIR* d = ::opendir(dir.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.rfind(key + ".", 0) != 0) continue;
        int k = std::atoi(n.c_str() + key.size() + 1);
        if (k < 1) continue;
        std::string data;
        if (FILE* f = std::fopen((dir + "/" + n).c_str(), "rb")) {
          char buf[65536];
          std::size_t r;
          while ((r = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, r);
          std::fclose(f);
        }
        pieces[k] = std::move(data);
      }
      ::closedir(d);
    }
    std::vector<Ref<GMimeMessage>*> parsed;
    std::vector<GMimeMessagePartial*> partials;
    for (auto& [k, data] : pieces) {
      auto* m = new Ref<GMimeMessage>(parseMessage(data));
      parsed.push_back(m);
      GMimeObject* p = *m ? g_mime_message_get_mime_part(m->p) : nullptr;
      if (p && GMIME_IS_MESSAGE_PARTIAL(p)) {
        partials.push_back(GMIME_MESSAGE_PARTIAL(p));
        int t = g_mime_message_partial_get_total(GMIME_MESSAGE_PARTIAL(p));
        if (t > 0) total = t;
      }
    }
    bool complete = total > 0 && static_cast<int>(pieces.size()) >= total &&
                    static_cast<int>(partials.size()) >= total;
    for (int k = 1; complete && k <= total; ++k) complete = pieces.count(k) > 0;
    std::string whole;
    if (complete) {
      Ref<GMimeMessage> joined(g_mime_message_partial_reconstruct_message(partials.data(), partials.size()));
      if (joined) whole = objectBytes(GMIME_OBJECT(joined.p), false);
      else complete = false;
    }
    for (auto* m : parsed) delete m;
    if (!complete) {
      out.result = -6;
      out.error = "分割されたメールが全て揃っていません";
      return out;
    }
    for (auto& [k, data] : pieces) ::unlink((dir + "/" + key + "." + std::to_string(k)).c_str());
    ::rmdir(dir.c_str());
    // The joined mail is the mail: unpack it as such, its whole text.
    return unpackMail(whole, folder, headerCap, bodyCap, textFileAbove, joins + 1);
  }

  Walk w;
  walk(top, w);
  {
    TextOut texts(room, textFileAbove, folder);
    textsInto(w.texts, texts, kept ? &kept->texts : nullptr);
    out.body = texts.finish(out);
  }
  if (!w.files.empty()) {
    for (auto& a : w.files) {
      std::string written, error;
      if (!writeNewFile(folder, safeFileName(a.name), a, written, error)) {
        out.result = -5;
        if (out.error.empty()) out.error = error;
        continue;
      }
      out.written.push_back(written);
    }
  }
  return out;
}

}  // namespace

Unpacked unpack(std::string_view mailText, const std::string& folder, std::size_t headerCap, std::size_t bodyCap,
                std::size_t textFileAbove) {
  initialize();
  const Remembered found = recall(mailText);
  if (found.raw) return unpackMail(*found.raw, folder, headerCap, bodyCap, textFileAbove, 0, found.parse.get());
  return unpackMail(mailText, folder, headerCap, bodyCap, textFileAbove, 0);
}

bool parseAddresses(std::string_view textIn, std::vector<Address>& out, std::string& error) {
  std::string s(textIn);
  for (char& c : s)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  // Split at commas outside quotes and angle brackets.
  std::vector<std::string> items;
  std::string cur;
  bool quoted = false;
  int angle = 0;
  for (char c : s) {
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '<') ++angle;
    if (!quoted && c == '>' && angle > 0) --angle;
    if (c == ',' && !quoted && angle == 0) {
      items.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  items.push_back(cur);
  auto trim = [](std::string v) {
    std::size_t b = v.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    std::size_t e = v.find_last_not_of(' ');
    return v.substr(b, e - b + 1);
  };
  for (auto& item : items) {
    std::string t = trim(item);
    if (t.empty()) continue;
    Address a;
    auto lt = t.rfind('<');
    auto gt = t.rfind('>');
    if (lt != std::string::npos && gt != std::string::npos && gt > lt) {
      a.address = trim(t.substr(lt + 1, gt - lt - 1));
      a.display = trim(t.substr(0, lt));
      if (a.display.size() >= 2 && a.display.front() == '"' && a.display.back() == '"')
        a.display = a.display.substr(1, a.display.size() - 2);
      if (!trim(t.substr(gt + 1)).empty()) {
        error = "メールアドレスが正しくありません: " + t;
        return false;
      }
    } else {
      a.address = t;
    }
    bool ok = !a.address.empty() && a.address.size() <= 254;
    for (char c : a.address) {
      unsigned char u = static_cast<unsigned char>(c);
      if (u <= 0x20 || u >= 0x7F || c == '<' || c == '>' || c == '"' || c == ',') ok = false;
    }
    if (!ok) {
      error = "メールアドレスが正しくありません: " + t;
      return false;
    }
    for (char& c : a.display)
      if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    out.push_back(std::move(a));
  }
  return true;
}

namespace {

std::string formatAddress(const Address& a, std::size_t used) {
  if (a.display.empty()) return a.address;
  std::string name;
  if (charset::isAscii(a.display) && a.display.find("=?") == std::string::npos) {
    bool special = a.display.find_first_of("()<>[]:;@\\,.\"") != std::string::npos;
    if (special) {
      name = "\"";
      for (char c : a.display) {
        if (c == '"' || c == '\\') name += '\\';
        name += c;
      }
      name += "\"";
    } else {
      name = a.display;
    }
  } else {
    name = text::encodeHeader(a.display, used);
  }
  return name + " <" + a.address + ">";
}

std::string rfcDate() {
  static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t now = std::time(nullptr);
  std::tm lt{};
  localtime_r(&now, &lt);
  long off = lt.tm_gmtoff / 60;
  char sign = off < 0 ? '-' : '+';
  if (off < 0) off = -off;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[lt.tm_wday], lt.tm_mday,
                months[lt.tm_mon], lt.tm_year + 1900, lt.tm_hour, lt.tm_min, lt.tm_sec, sign, off / 60,
                off % 60);
  return buf;
}

std::string messageId(const Address& from) {
  static std::mt19937_64 rng{std::random_device{}()};
  auto at = from.address.rfind('@');
  std::string domain = at == std::string::npos ? "localhost" : from.address.substr(at + 1);
  char buf[96];
  std::snprintf(buf, sizeof buf, "<%lld.%d.%016llx@", static_cast<long long>(std::time(nullptr)),
                static_cast<int>(::getpid()), static_cast<unsigned long long>(rng()));
  return std::string(buf) + domain + ">";
}

const char* mediaType(const std::string& name) {
  static const std::pair<const char*, const char*> table[] = {
      {".txt", "text/plain"},       {".jpg", "image/jpeg"},       {".jpeg", "image/jpeg"},
      {".png", "image/png"},        {".gif", "image/gif"},        {".bmp", "image/bmp"},
      {".pdf", "application/pdf"},  {".zip", "application/zip"},  {".lzh", "application/x-lzh"},
      {".htm", "text/html"},        {".html", "text/html"},       {".wav", "audio/wav"},
      {".mid", "audio/midi"},       {".doc", "application/msword"}, {".xls", "application/vnd.ms-excel"}};
  std::string l = lower(name);
  for (auto& [ext, type] : table)
    if (l.size() > std::strlen(ext) && l.compare(l.size() - std::strlen(ext), std::strlen(ext), ext) == 0)
      return type;
  return "application/octet-stream";
}

bool longLine(std::string_view s, std::size_t limit) {
  std::size_t col = 0;
  for (char c : s) {
    if (c == '\n') col = 0;
    else if (++col > limit) return true;
  }
  return false;
}

// An attachment's file name as it may stand in a header: valid UTF-8, with
// every control character (CR and LF among them) a blank, so that no name
// can end a header line; never empty.
std::string attachmentName(std::string_view raw) {
  std::string name;
  if (charset::isValidUtf8(raw)) {
    name.assign(raw);
  } else {
    gchar* valid = g_utf8_make_valid(raw.data(), static_cast<gssize>(raw.size()));
    name = valid;
    g_free(valid);
  }
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  if (name.find_first_not_of(' ') == std::string::npos) name = "attachment";
  return name;
}

// A name that can stand as it is in a quoted parameter value.
bool plainName(std::string_view name) {
  return charset::isAscii(name) && name.size() <= 60 && name.find("=?") == std::string_view::npos;
}

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::size_t utf8Length(unsigned char b) {
  if (b < 0x80) return 1;
  if ((b & 0xE0) == 0xC0) return 2;
  if ((b & 0xF0) == 0xE0) return 3;
  if ((b & 0xF8) == 0xF0) return 4;
  return 1;
}

// Content-Type's name: RFC 2047 words inside the quotes (ISO-2022-JP when
// the name fits it, else UTF-8), one word per folded line, each word whole
// characters.
std::string nameParameter(const std::string& name) {
  if (charset::isAscii(name) && name.find("=?") == std::string::npos) return "name=" + quoted(name);
  return "name=\"" + text::encodeHeader(name, 7) + "\"";
}

// Content-Disposition's filename: RFC 2231 in UTF-8, in numbered sections
// when long; a section never ends inside a character.
std::string filenameParameter(const std::string& name) {
  if (plainName(name)) return "filename=" + quoted(name);
  auto attrChar = [](unsigned char c) {
    return std::isalnum(c) || std::strchr("!#$&+-.^_`|~", c) != nullptr;
  };
  std::vector<std::string> sections{"UTF-8''"};
  constexpr std::size_t kSection = 60;
  for (std::size_t i = 0; i < name.size();) {
    std::size_t len = std::min(utf8Length(static_cast<unsigned char>(name[i])), name.size() - i);
    std::string piece;
    for (std::size_t k = i; k < i + len; ++k) {
      unsigned char c = static_cast<unsigned char>(name[k]);
      if (attrChar(c) && c < 0x80) {
        piece += static_cast<char>(c);
      } else {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        piece += hex;
      }
    }
    if (sections.back().size() + piece.size() > kSection && sections.back() != "UTF-8''") sections.emplace_back();
    sections.back() += piece;
    i += len;
  }
  if (sections.size() == 1) return "filename*=" + sections[0];
  std::string out;
  for (std::size_t k = 0; k < sections.size(); ++k) {
    if (k > 0) out += ";\r\n ";
    out += "filename*" + std::to_string(k) + "*=" + sections[k];
  }
  return out;
}

// A boundary that no line of the parts holds.
std::string newBoundary(const std::vector<std::string>& parts) {
  static std::mt19937_64 rng{std::random_device{}()};
  while (true) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "=_RuvoMail_%016llx%08llx", static_cast<unsigned long long>(rng()),
                  static_cast<unsigned long long>(rng() & 0xFFFFFFFFu));
    std::string b = buf;
    if (std::none_of(parts.begin(), parts.end(), [&](const std::string& p) { return p.find(b) != std::string::npos; }))
      return b;
  }
}

}  // namespace

std::string build(const Outgoing& m) {
  initialize();
  std::string head;
  head += "Date: " + rfcDate() + "\r\n";
  head += "From: " + formatAddress(m.from, 6) + "\r\n";
  std::string to;
  for (const auto& a : m.to) {
    if (!to.empty()) to += ",\r\n ";
    to += formatAddress(a, 4);
  }
  head += "To: " + to + "\r\n";
  std::string subject = m.subject;
  for (char& c : subject)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  head += "Subject: " + text::encodeHeader(subject, 9) + "\r\n";
  head += "Message-ID: " + messageId(m.from) + "\r\n";
  head += "MIME-Version: 1.0\r\n";

  std::string body = text::toCrlf(m.body);
  std::string jis;
  bool useJis = charset::utf8ToIso2022jp(body, jis);
  std::string bodyCharset = useJis ? "ISO-2022-JP" : "UTF-8";
  std::string bodyBytes = useJis ? jis : body;
  bool b64 = !useJis || longLine(bodyBytes, 998);
  if (useJis && charset::isAscii(body)) bodyCharset = "US-ASCII";

  if (m.attachments.empty()) {
    head += "Content-Type: text/plain; charset=" + bodyCharset + "\r\n";
    if (b64) {
      head += "Content-Transfer-Encoding: base64\r\n\r\n";
      return head + text::base64Encode(bodyBytes) + "\r\n";
    }
    head += "Content-Transfer-Encoding: 7bit\r\n\r\n";
    return head + bodyBytes + (bodyBytes.size() >= 2 && bodyBytes.ends_with("\r\n") ? "" : "\r\n");
  }

  // The multipart body is written here rather than by GMime, so that the
  // attachment names take exactly the two forms Japanese mailers read.
  std::string textPart = "Content-Type: text/plain; charset=" + bodyCharset + "\r\n";
  if (b64) {
    textPart += "Content-Transfer-Encoding: base64\r\n\r\n" + text::base64Encode(bodyBytes);
  } else {
    // The line end before the next boundary belongs to the boundary.
    textPart += "Content-Transfer-Encoding: 7bit\r\n\r\n" + bodyBytes;
  }
  std::vector<std::string> parts{textPart};
  for (const auto& a : m.attachments) {
    std::string name = attachmentName(a.name);
    std::string part = "Content-Type: " + std::string(mediaType(name)) + ";\r\n " + nameParameter(name) + "\r\n";
    part += "Content-Disposition: attachment;\r\n " + filenameParameter(name) + "\r\n";
    part += "Content-Transfer-Encoding: base64\r\n\r\n" + text::base64Encode(a.data);
    parts.push_back(std::move(part));
  }
  std::string boundary = newBoundary(parts);
  std::string multipart = "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n";
  multipart += "This is a multi-part message in MIME format.\r\n";
  for (const std::string& part : parts) multipart += "\r\n--" + boundary + "\r\n" + part;
  multipart += "\r\n--" + boundary + "--\r\n";
  return head + multipart;
}

}  // namespace nmail::mime
