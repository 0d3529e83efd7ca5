#pragma once
// What the files of the mail decoding share (mime_*.cpp): the reading of a
// MIME tree and its parts (mime_tree.cpp), the header fields
// (mime_header.cpp), the mending of broken mails (mime_mend.cpp), the
// fetch's reading kept for the attachment step (mime_fetch.cpp) and the
// writing of files (mime_files.cpp). Each is declared by the file that
// defines it; none of it is for the library's callers.
#include <gmime/gmime.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mime.h"
#include "turns.h"

namespace nmail::mime {

// ---- mime_tree.cpp: the MIME tree and its parts.

std::string lower(std::string_view s);
GMimeParserOptions* parserOptions();

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

GMimeMessage* parseMessage(std::string_view raw);

// A mail's MIME tree read from bytes that stay where they are: the parts'
// contents are pieces of those bytes, never copied. The bytes outlive the
// view. The mail is read as its top part, header and all: the message's
// own fields (addresses, dates) are decoded elsewhere, and GMime's reading
// of them would cost a third of the whole.
class ParsedView {
 public:
  explicit ParsedView(std::string_view raw) {
    arr_ = g_byte_array_new_take(reinterpret_cast<guint8*>(const_cast<char*>(raw.data())), raw.size());
    // (The window has its turns while a large mail is read.)
    Ref<GMimeStream> stream(turns::memStream(arr_));
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

// Content of a leaf part with its transfer encoding undone. Base64 and
// uuencode are undone here: GMime drops the last group of base64 that lacks
// its padding (a file comes out short), and its uudecoder stops at a begin
// line that a mailer folded (an empty file).
std::string partContent(GMimePart* part);
std::string objectBytes(GMimeObject* obj, bool contentOnly);
bool isText(GMimeObject* obj);
std::string charsetOf(GMimeObject* obj);
bool isHtml(GMimeObject* obj);
// The text of a text part in CP932: an HTML part as a reader sees it.
std::string textOf(GMimePart* part);
// The same text in UTF-8, every character kept (for the file of a long text).
std::string textOfUtf8(GMimePart* part);
// Where a leaf's content lies in the bytes the mail was read from (the
// parts of a ParsedView are pieces of them); false when it lies elsewhere.
bool contentInPlace(GMimeDataWrapper* dw, std::string_view& where);

// The raw value of a header field of obj (folded, 8-bit bytes as they
// came), or null when there is none.
const char* rawHeaderOrNull(GMimeObject* obj, const char* name);
// The same, "" when there is none.
std::string rawHeader(GMimeObject* obj, const char* name);
// The file name the sender gave a part (Content-Disposition's filename,
// else Content-Type's name), decoded as UTF-8; false when it gave none.
bool fileNameOf(GMimeObject* obj, std::string& name);
bool dispositionIs(GMimeObject* obj, const char* what);

// A file found in a received mail: its bytes, or the part whose decoded
// content they are, written straight into the file and never held whole.
struct FoundFile {
  std::string name;
  std::string data;
  GMimePart* part = nullptr;  // kept alive by its message
  bool asCame = false;        // its bytes: a piece of the mail as it came
  std::string_view bytes;
};

// A text of the mail: a text part, or a text as it stands.
struct TextPiece {
  GMimePart* part = nullptr;
  std::string text;
};

// Where the bytes of an enclosed message (message/rfc822) lie in the mail
// as it came: [begin, end).
struct EnclosedRange {
  std::size_t begin = 0, end = 0;
};

struct Walk {
  std::vector<TextPiece> texts;  // in the order of the mail
  std::vector<FoundFile> files;
  // The mail as it came, the bytes the tree was read from, and where the
  // enclosed messages lie in the first (by where their part begins in the
  // second); an enclosed message is written as it came.
  std::string_view asCame, read;
  const std::map<std::size_t, EnclosedRange>* enclosed = nullptr;
  // The trees read again past the depth GMime reads, from those bytes.
  std::vector<std::unique_ptr<ParsedView>> deeper;
};

// Every part in the order of the mail, however deep (without recursion: a
// hostile mail nests without end). GMime reads a thousand levels and keeps
// the rest of a deeper multipart as its prologue: that multipart is read
// again from where it lies in w.read, as often as it takes.
void walk(GMimeObject* top, Walk& w);

// Text parts this large are read a piece at a time.
inline constexpr std::size_t kLargeText = 1 << 20;

class TextOut;
// The text of a text part in CP932 into out (and in UTF-8 for its file);
// a large one a piece at a time, only as far as out takes it.
void textInto(GMimePart* part, TextOut& out, const std::map<GMimePart*, std::string>* made = nullptr);
// The texts of a mail joined, in the order of the mail.
void textsInto(const std::vector<TextPiece>& texts, TextOut& out,
               const std::map<GMimePart*, std::string>* made = nullptr);

// ---- mime_header.cpp: header fields.

// Header fields: name, and the field's lines with their line ends.
struct Field {
  std::string name;  // lower case
  std::string raw;   // lines joined by CR LF, no line end at the end
};

std::vector<Field> headerFields(std::string_view header);
std::string fieldValue(const Field& f);

// ---- mime_mend.cpp: mails whose structure is broken.

struct Mending {
  bool changed = false;
  std::string text;  // the mail mended, when changed
  // The enclosed messages, by the offset in the text read (text when
  // changed, else the mail) of the first header field of their part.
  std::map<std::size_t, EnclosedRange> enclosed;
};

// Reads the structure of mail (every header block: the mail's own, every
// part's, every enclosed message's) and mends what a tolerant receiver
// would read otherwise:
// - a header block ends at its first line that is no header line (a
//   boundary right after it, with no empty line before); in the header of
//   a mail or an enclosed message, lines that begin with a blank before
//   the first field continue nothing (a field written after the blanks is
//   kept, the rest dropped);
// - a line that lost the blank of its fold (it is no header line, and it
//   follows a line ending in ";" or "," or is followed by more fields) is
//   a continuation again;
// - of two Content-Type, Content-Transfer-Encoding or Content-Disposition
//   fields the first counts: the later ones are dropped;
// - a multipart without its boundary parameter, or whose boundary the body
//   never uses, gets the boundary its body uses; with none, it loses its
//   boundary parameter, and its whole body is its text.
// Every level is read, however deep (without recursion).
Mending mendMail(std::string_view mail);

// The mail as it is read: mended when its structure is broken; enclosed:
// where its enclosed messages lie in it as it came.
std::string_view readable(std::string_view mail, std::string& keep,
                          std::map<std::size_t, EnclosedRange>& enclosed);

// ---- mime_fetch.cpp: the fetch's reading, kept for the attachment step.

// The reading of a fetched mail, kept for the attachment step so that the
// mail is read once. It reads the bytes remembered beside it (the mail as
// it came), or its own mended copy of them. texts: the CP932 texts the
// fetch made of text parts, by part.
struct KeptParse {
  std::string mended;
  // Where the enclosed messages lie in the mail as it came, by where their
  // part begins in the bytes read.
  std::map<std::size_t, EnclosedRange> enclosed;
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

// The mail as it came for a text the fetch handed on, or null. It is
// handed on once: its room is free again after the attachment step.
Remembered recall(std::string_view mailText);

// ---- mime_files.cpp: the files written of a received mail.

void makeDirs(const std::string& path);
// Writes data to a new file in folder, adding "(2)", "(3)"... before the
// extension when the name is taken. False with error on failure.
bool writeNewFile(const std::string& folder, const std::string& name, const FoundFile& data,
                  std::string& written, std::string& error);

// The text parts of a mail joined as they come, in CP932. Only what the
// body can take is held; past fileAbove bytes (0: never) the whole text
// goes into a new file of the folder as it comes, in UTF-8 (the file
// system's own encoding, which keeps every character CP932 lacks), and the
// body is its beginning and a line naming the file.
class TextOut {
 public:
  TextOut(std::size_t room, std::size_t fileAbove, std::string folder);
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;
  ~TextOut();

  // A text part begins: apart from the one before by a line end.
  void beginPart();
  // A piece of text in CP932, and the same in UTF-8 for the file. Without
  // the UTF-8 form it is made of the CP932 text (exact for a text without
  // "?": the conversion into CP932 lost nothing there).
  void add(std::string_view s);
  void add(std::string_view s, std::string_view utf8);
  // Whether a file may be written, so that the UTF-8 form is wanted.
  bool wantsUtf8() const { return fileAbove_ > 0 && error_.empty(); }
  // Nothing more is needed: the body is full and no file is being written.
  bool full() const { return fd_ < 0 && head_.size() >= keep_ && (fileAbove_ == 0 || !error_.empty()); }
  // More came than room.
  bool cut() const { return total_ > room_; }

  // The body; the file made goes into out.
  std::string finish(Unpacked& out);

 private:
  void open();
  void write(std::string_view s);
  static constexpr const char* kName = "本文.txt";
  std::size_t room_, fileAbove_, keep_;
  std::string folder_;
  std::string head_;
  std::string utf8Head_;  // the text so far in UTF-8, until the file is opened
  std::size_t total_ = 0;
  char last_[2] = {0, 0};
  int fd_ = -1;
  std::string path_, error_;
};

}  // namespace nmail::mime
