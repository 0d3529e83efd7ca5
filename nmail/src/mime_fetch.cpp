// A fetched mail as the fetch hands it on to the caller's buffers: the
// decoded text of a single-part text mail, or a multipart body with every
// 8-bit part armoured (and put back after) and the large files left out;
// and the mails handed on lately, remembered with their reading for the
// attachment step (mime_unpack.cpp). The reading itself is mime_tree.cpp's.
#include "mime.h"
#include "mime_internal.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "charset.h"
#include "text.h"

namespace nmail::mime {
namespace {

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
}  // namespace

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

void rememberFetched(const Fetched& fetched, std::string&& raw) {
  remember(fetched.fields.header, fetched.body, std::make_shared<const std::string>(std::move(raw)), fetched.parse);
}

Fetched decodeFetched(std::string_view asCame, std::size_t headerCap, std::size_t bodyCap, bool keep,
                      bool cutToFit, const KnownFields& known) {
  initialize();
  auto kept = std::make_shared<KeptParse>();
  std::string_view mail = readable(asCame, kept->mended, kept->enclosed);
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

}  // namespace nmail::mime
