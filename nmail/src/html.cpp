// An HTML part as the text a reader sees: libxml2's HTML parser reads it, and
// the walk writes the visible text with its line breaks, table cells and the
// address beside a link's words. Which part is HTML is for the MIME reading.

#include "html.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

namespace nmail::html {
namespace {

bool nameIs(const xmlNode* n, const char* name) {
  return n->name && xmlStrcasecmp(n->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

bool oneOf(const xmlNode* n, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* name) { return nameIs(n, name); });
}

// Elements whose content no reader sees.
bool hidden(const xmlNode* n) { return oneOf(n, {"script", "style", "head", "title", "template"}); }

// Elements that stand on lines of their own.
bool block(const xmlNode* n) {
  return oneOf(n, {"address", "article", "aside", "blockquote", "caption", "center", "dd", "details", "dialog",
                   "dir", "div", "dl", "dt", "fieldset", "figcaption", "figure", "footer", "form", "h1", "h2", "h3",
                   "h4", "h5", "h6", "header", "hr", "legend", "li", "main", "menu", "nav", "ol", "p", "pre",
                   "section", "summary", "table", "tbody", "tfoot", "thead", "tr", "ul", "html", "body",
                   "frameset", "noframes", "iframe"});
}

bool cell(const xmlNode* n) { return oneOf(n, {"td", "th"}); }

std::string attribute(const xmlNode* n, const char* name) {
  xmlChar* v = xmlGetProp(n, reinterpret_cast<const xmlChar*>(name));
  if (!v) return std::string();
  std::string out(reinterpret_cast<const char*>(v));
  xmlFree(v);
  return out;
}

std::string trimmed(std::string_view s) {
  std::size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return std::string();
  std::size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

// The text being written, with the blanks and line breaks that are due
// held back until the next character shows where they fall.
class Writer {
 public:
  void text(std::string_view s, bool pre) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      char c = s[i];
      if (pre) {
        if (c == '\r') continue;
        due();
        out_ += c;
        lineEmpty_ = c == '\n';
        continue;
      }
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
        space_ = true;
        continue;
      }
      due();
      if (c == '\xC2' && i + 1 < s.size() && s[i + 1] == '\xA0') {  // no-break space
        out_ += ' ';
        ++i;
      } else {
        out_ += c;
      }
      lineEmpty_ = false;
    }
  }
  // A block begins or ends: what follows starts a line.
  void blockEdge() {
    if (!lineEmpty_) breaks_ = 1;
    space_ = false;
  }
  void lineBreak() {
    due();
    out_ += '\n';
    lineEmpty_ = true;
  }
  void blank() { space_ = true; }
  // Writes word as it stands, apart from the text before it.
  void word(std::string_view w) {
    space_ = true;
    due();
    out_ += w;
    lineEmpty_ = false;
  }
  std::size_t size() const { return drained_ + out_.size(); }
  std::string_view since(std::size_t at) const { return std::string_view(out_).substr(at - drained_); }

  // The text written so far but for the blanks at its end (which may turn
  // out to end the whole text), in CR LF lines, given away.
  std::string drain() {
    const std::size_t e = out_.find_last_not_of(" \n");
    if (e == std::string::npos) return std::string();
    std::size_t b = 0;
    if (drained_ == 0) b = out_.find_first_not_of('\n');
    std::string crlf;
    crlf.reserve(e + 1 - b + (e + 1 - b) / 16 + 2);
    for (std::size_t i = b; i <= e; ++i) {
      if (out_[i] == '\n') crlf += '\r';
      crlf += out_[i];
    }
    drained_ += e + 1;
    out_.erase(0, e + 1);
    return crlf;
  }
  // What is left at the end, after drain: a line end when any text came.
  std::string drainLast() const { return drained_ > 0 ? "\r\n" : std::string(); }

  std::string finish() const {
    std::string t = out_;
    std::size_t b = t.find_first_not_of('\n');
    if (b == std::string::npos) return std::string();
    std::size_t e = t.find_last_not_of(" \n");
    t = t.substr(b, e - b + 1);
    std::string crlf;
    crlf.reserve(t.size() + t.size() / 16 + 2);
    for (char c : t) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    return crlf + "\r\n";
  }

 private:
  void due() {
    if (breaks_ > 0) {
      out_.append(static_cast<std::size_t>(breaks_), '\n');
      lineEmpty_ = true;
    } else if (space_ && !lineEmpty_) {
      out_ += ' ';
    }
    breaks_ = 0;
    space_ = false;
  }

  std::string out_;
  std::size_t drained_ = 0;  // bytes given away by drain
  bool lineEmpty_ = true, space_ = false;
  int breaks_ = 0;
};

struct Link {
  const xmlNode* node;
  std::string target;
  std::size_t start;
};

// A link target worth writing beside its words.
bool worthWriting(const std::string& target, const std::string& words) {
  if (target.empty() || target[0] == '#' || startsWithNoCase(target, "javascript:")) return false;
  auto bare = [](std::string s) {
    if (startsWithNoCase(s, "mailto:")) s = s.substr(7);
    while (!s.empty() && s.back() == '/') s.pop_back();
    return s;
  };
  return bare(target) != bare(words);
}

}  // namespace

std::string toText(std::string_view utf8Html) {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
  if (utf8Html.empty()) return std::string();
  const int size = static_cast<int>(std::min<std::size_t>(utf8Html.size(), INT_MAX));
  htmlDocPtr doc = htmlReadMemory(utf8Html.data(), size, nullptr, "UTF-8",
                                  HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                      HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC | HTML_PARSE_COMPACT);
  if (!doc) return std::string();
  Writer w;
  std::vector<Link> links;
  int pre = 0;
  // Entering and leaving each node in document order, without recursion
  // (a hostile mail may nest deeply).
  auto enter = [&](const xmlNode* n) {
    switch (n->type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        if (n->content) w.text(reinterpret_cast<const char*>(n->content), pre > 0);
        return false;
      case XML_ELEMENT_NODE:
        break;
      default:
        return false;  // comments, processing instructions, the doctype
    }
    if (hidden(n)) return false;
    if (nameIs(n, "br")) {
      w.lineBreak();
      return false;
    }
    if (block(n)) w.blockEdge();
    if (cell(n)) w.blank();
    if (nameIs(n, "pre")) ++pre;
    if (nameIs(n, "a")) links.push_back(Link{n, trimmed(attribute(n, "href")), w.size()});
    return true;
  };
  auto leave = [&](const xmlNode* n) {
    if (n->type != XML_ELEMENT_NODE) return;
    if (!links.empty() && links.back().node == n) {
      Link l = links.back();
      links.pop_back();
      if (worthWriting(l.target, trimmed(w.since(l.start)))) w.word("<" + l.target + ">");
    }
    if (nameIs(n, "pre")) --pre;
    if (cell(n)) w.blank();
    if (block(n)) w.blockEdge();
  };
  xmlNode* top = reinterpret_cast<xmlNode*>(doc);
  xmlNode* n = doc->children;
  while (n) {
    if (enter(n) && n->children) {
      n = n->children;
      continue;
    }
    leave(n);
    while (n && !n->next) {
      n = n->parent;
      if (!n || n == top) {
        n = nullptr;
        break;
      }
      leave(n);
    }
    if (n) n = n->next;
  }
  xmlFreeDoc(doc);
  return w.finish();
}


// The stream reads as the tree walk above: each element entered at its
// start and left at its end, what hidden elements hold left out.
struct TextStream::State {
  std::function<void(std::string_view)> out;
  htmlParserCtxtPtr ctxt = nullptr;
  Writer w;
  struct Open {
    bool counted;  // a hidden element or one inside it
    bool block, cell, pre, link;
  };
  std::vector<Open> open;
  std::vector<Link> links;
  int preDepth = 0, hiddenDepth = 0;

  static bool is(const xmlChar* name, const char* what) {
    return xmlStrcasecmp(name, reinterpret_cast<const xmlChar*>(what)) == 0;
  }
  static bool any(const xmlChar* name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return is(name, n); });
  }

  static void start(void* ctx, const xmlChar* name, const xmlChar** attrs) {
    auto* st = static_cast<State*>(ctx);
    xmlNode n{};
    n.type = XML_ELEMENT_NODE;
    n.name = name;
    if (st->hiddenDepth > 0 || hidden(&n)) {
      ++st->hiddenDepth;
      st->open.push_back({true, false, false, false, false});
      return;
    }
    Open o{false, block(&n), cell(&n), nameIs(&n, "pre"), nameIs(&n, "a")};
    if (nameIs(&n, "br")) {
      st->w.lineBreak();
      st->open.push_back({false, false, false, false, false});
      return;
    }
    if (o.block) st->w.blockEdge();
    if (o.cell) st->w.blank();
    if (o.pre) ++st->preDepth;
    if (o.link) {
      std::string href;
      for (const xmlChar** a = attrs; a && a[0]; a += 2)
        if (is(a[0], "href") && href.empty()) href = a[1] ? reinterpret_cast<const char*>(a[1]) : "";
      st->links.push_back(Link{nullptr, trimmed(href), st->w.size()});
    }
    st->open.push_back(o);
  }
  static void end(void* ctx, const xmlChar* /*name*/) {
    auto* st = static_cast<State*>(ctx);
    if (st->open.empty()) return;
    const Open o = st->open.back();
    st->open.pop_back();
    if (o.counted) {
      --st->hiddenDepth;
      return;
    }
    if (o.link && !st->links.empty()) {
      Link l = st->links.back();
      st->links.pop_back();
      if (worthWriting(l.target, trimmed(st->w.since(l.start)))) st->w.word("<" + l.target + ">");
    }
    if (o.pre) --st->preDepth;
    if (o.cell) st->w.blank();
    if (o.block) st->w.blockEdge();
  }
  static void characters(void* ctx, const xmlChar* ch, int len) {
    auto* st = static_cast<State*>(ctx);
    if (st->hiddenDepth > 0 || len <= 0) return;
    st->w.text(std::string_view(reinterpret_cast<const char*>(ch), static_cast<std::size_t>(len)), st->preDepth > 0);
  }
  void give() {
    if (!links.empty()) return;  // a link's words are still wanted
    const std::string t = w.drain();
    if (!t.empty()) out(t);
  }
};

TextStream::TextStream(std::function<void(std::string_view)> out) : s_(std::make_unique<State>()) {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
  s_->out = std::move(out);
  htmlSAXHandler sax{};
  sax.startElement = &State::start;
  sax.endElement = &State::end;
  sax.characters = &State::characters;
  sax.cdataBlock = &State::characters;
  s_->ctxt = htmlCreatePushParserCtxt(&sax, s_.get(), nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
  if (s_->ctxt)
    htmlCtxtUseOptions(s_->ctxt, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                     HTML_PARSE_IGNORE_ENC);
}

TextStream::~TextStream() {
  if (s_->ctxt) htmlFreeParserCtxt(s_->ctxt);
}

// The page without its end tags of html and body: the tree goes on reading
// what comes after them (a list's footer added at the end, say), while the
// stream would end there.
static std::string withoutPageEnds(std::string_view page) {
  std::string out;
  std::size_t at = 0;
  for (std::size_t lt = page.find("</"); lt != std::string_view::npos; lt = page.find("</", lt + 2)) {
    const std::string_view tag = page.substr(lt + 2, 4);
    const bool body = startsWithNoCase(tag, "body"), html = startsWithNoCase(tag, "html");
    if (!body && !html) continue;
    const std::size_t gt = page.find('>', lt);
    if (gt == std::string_view::npos) break;
    out.append(page.substr(at, lt - at));
    at = gt + 1;
  }
  if (at == 0) return std::string(page);
  out.append(page.substr(at));
  return out;
}

void TextStream::feed(std::string_view page) {
  if (!s_->ctxt) return;
  const std::string kept = withoutPageEnds(page);
  std::string_view utf8Html = kept;
  while (!utf8Html.empty()) {
    const std::size_t n = std::min<std::size_t>(utf8Html.size(), 1 << 20);
    htmlParseChunk(s_->ctxt, utf8Html.data(), static_cast<int>(n), 0);
    utf8Html.remove_prefix(n);
    s_->give();
  }
}

void TextStream::finish() {
  if (!s_->ctxt) return;
  htmlParseChunk(s_->ctxt, nullptr, 0, 1);
  s_->links.clear();
  s_->give();
  const std::string last = s_->w.drainLast();
  if (!last.empty()) s_->out(last);
}

}  // namespace nmail::html
