// Mails whose structure is broken, read as a tolerant receiver reads them.
// GMime reads a header block by rules of its own (a line that is no header
// line is dropped, the last of two Content-Type fields wins, a boundary the
// body never uses gives no parts), so the mail is mended first, every level
// of it, to read as Python's email package and common mail readers read
// it. Our own code: no library mends mail. Reading the mended mail is left
// to the others.
#include "mime.h"
#include "mime_internal.h"
#include "net.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "text.h"

namespace nmail::mime {
namespace {

using sv = std::string_view;
constexpr std::size_t npos = sv::npos;

sv trimmed(sv s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// One line: its text [start, stop), its line end [stop, next).
struct Line {
  std::size_t start = 0, stop = 0, next = 0;
};

Line lineAt(sv mail, std::size_t at, std::size_t end) {
  Line l{at, end, end};
  const void* nl = at < end ? std::memchr(mail.data() + at, '\n', end - at) : nullptr;
  if (nl) {
    l.stop = static_cast<std::size_t>(static_cast<const char*>(nl) - mail.data());
    l.next = l.stop + 1;
  }
  if (l.stop > at && mail[l.stop - 1] == '\r') --l.stop;
  return l;
}

// A header field's first line: a name of printable characters and a colon.
bool isFieldLine(sv line) {
  const std::size_t colon = line.find(':');
  if (colon == npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

// A field line whose name is a name. "h=From:To:Subject;" is a tag of a
// signature whose fold lost its blank, not a field.
bool isProperField(sv line) { return isFieldLine(line) && line.substr(0, line.find(':')).find('=') == npos; }

struct Edit {
  std::size_t at = 0, erase = 0;
  std::string insert;
};

// The lines of the mail that begin with "--", by what follows the dashes
// (trailing blanks left out).
class Dashes {
 public:
  // The whole mail is looked through a piece at a time: a large one (a
  // part of a hundred megabytes holds no such line) gives the window its
  // turns meanwhile.
  explicit Dashes(sv mail) : mail_(mail) {
    constexpr std::size_t kPiece = 1 << 20;
    std::size_t at = 0;
    while (at < mail.size()) {
      if (mail.size() - at >= 2 && mail[at] == '-' && mail[at + 1] == '-') add(at);
      const void* hit = nullptr;
      for (std::size_t from = at; from < mail.size() && !hit; from += kPiece) {
        // (a line that begins in this piece lies in it and the next two bytes)
        hit = memmem(mail.data() + from, std::min(kPiece + 2, mail.size() - from), "\n--", 3);
        if (!hit) net::yieldIfDue();
      }
      if (!hit) break;
      at = static_cast<std::size_t>(static_cast<const char*>(hit) - mail.data()) + 1;
    }
  }

  // The boundary lines of b in [begin, end), in order: (where, closing).
  std::vector<std::pair<std::size_t, bool>> of(sv b, std::size_t begin, std::size_t end) const {
    std::vector<std::pair<std::size_t, bool>> out;
    if (b.empty()) return out;
    auto take = [&](const std::string& key, bool closing) {
      auto it = byKey_.find(key);
      if (it == byKey_.end()) return;
      auto from = std::lower_bound(it->second.begin(), it->second.end(), begin);
      for (; from != it->second.end() && *from < end; ++from) out.emplace_back(*from, closing);
    };
    take(std::string(b), false);
    take(std::string(b) + "--", true);
    std::sort(out.begin(), out.end());
    return out;
  }

  // The boundary a body in [begin, end) uses: a line "--x" that comes
  // again (as "--x" or "--x--") further on and is followed by a part's
  // header (or its empty line); "" when there is none.
  std::string used(std::size_t begin, std::size_t end) const {
    auto it = std::lower_bound(lines_.begin(), lines_.end(), begin,
                               [](const Dash& d, std::size_t at) { return d.at < at; });
    int looked = 0;
    for (; it != lines_.end() && it->at < end && looked < 10000; ++it, ++looked) {
      const sv b = it->key;
      if (b.empty() || b.size() > 70 || b.find_first_of("\"\\") != npos) continue;
      const auto lines = of(b, begin, end);
      if (lines.size() < 2 || lines.front().second) continue;
      const Line first = lineAt(mail_, lines.front().first, end);
      const Line after = lineAt(mail_, first.next, end);
      const sv text = mail_.substr(after.start, after.stop - after.start);
      if (text.empty() || isFieldLine(text)) return std::string(b);
    }
    return std::string();
  }

 private:
  struct Dash {
    std::size_t at;
    sv key;
  };
  void add(std::size_t at) {
    const Line l = lineAt(mail_, at, mail_.size());
    std::size_t stop = l.stop;
    while (stop > at + 2 && isBlank(mail_[stop - 1])) --stop;
    const sv key = mail_.substr(at + 2, stop - at - 2);
    lines_.push_back({at, key});
    byKey_[std::string(key)].push_back(at);
  }
  sv mail_;
  std::vector<Dash> lines_;
  std::unordered_map<std::string, std::vector<std::size_t>> byKey_;
};

// A Content-Type value rebuilt with boundary b (none when empty) in place
// of any boundary it had.
std::string withBoundary(sv value, const std::string& b) {
  std::vector<std::string> items;
  std::string cur;
  bool quoted = false;
  for (char c : value) {
    if (c == '"') quoted = !quoted;
    if (c == ';' && !quoted) {
      items.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  items.push_back(cur);
  std::string out(trimmed(items[0]));
  for (std::size_t k = 1; k < items.size(); ++k) {
    const sv item = trimmed(items[k]);
    if (item.empty()) continue;
    const std::string name = lower(trimmed(item.substr(0, item.find('='))));
    if (name == "boundary" || name.rfind("boundary*", 0) == 0) continue;
    out += "; ";
    out += item;
  }
  if (!b.empty()) out += "; boundary=\"" + b + "\"";
  return out;
}

// What a header block says, and where its body begins.
struct Header {
  std::size_t bodyStart = 0;
  std::size_t firstField = npos;  // where the name of its first field begins
  bool hasType = false;
  std::string type;  // the first Content-Type's value, unfolded
  std::size_t typeBegin = 0, typeEnd = 0;
  std::string typeLineEnd;
  std::vector<Edit> typeEdits;  // the mending of that field's own lines
};

// Reads the header block at [b, e) of mail; the edits that mend it go to
// edits (those of the first Content-Type to h.typeEdits). message: the
// header of a mail or an enclosed message (not of a part).
Header readHeader(sv mail, std::size_t b, std::size_t e, bool message, std::vector<Edit>& edits) {
  Header h;
  h.bodyStart = e;
  std::vector<Line> lines;
  std::size_t at = b;
  bool cutAtDash = false;
  while (at < e) {
    const Line l = lineAt(mail, at, e);
    if (l.stop == l.start) {
      h.bodyStart = l.next;
      break;
    }
    if (mail.compare(l.start, 2, "--") == 0) {
      // A boundary right after the header, with no empty line before it.
      cutAtDash = true;
      h.bodyStart = l.start;
      break;
    }
    lines.push_back(l);
    at = l.next;
  }
  const std::size_t n = lines.size();
  auto text = [&](std::size_t i) { return mail.substr(lines[i].start, lines[i].stop - lines[i].start); };
  auto lineEnd = [&](std::size_t i) {
    const sv end = mail.substr(lines[i].stop, lines[i].next - lines[i].stop);
    return end.empty() ? std::string("\r\n") : std::string(end);
  };
  // fieldAfter[i]: a field comes among the lines after line i.
  std::vector<char> fieldAfter(n + 1, 0);
  for (std::size_t i = n; i-- > 0;) fieldAfter[i] = fieldAfter[i + 1] || (i + 1 < n && isProperField(text(i + 1)));

  struct Group {
    std::size_t first, last;
    std::string name;
  };
  std::vector<Group> groups;
  std::vector<char> lost(n, 0);  // lines that lost the blank of their fold
  std::size_t cut = n;           // the header ends before this line
  for (std::size_t i = 0; i < n; ++i) {
    const sv t = text(i);
    const bool blankFirst = isBlank(t[0]);
    if (groups.empty()) {
      if (blankFirst) {
        if (!message) continue;  // a part's: left as it is
        // Continues no field: a field written after blanks is kept.
        const std::size_t f = t.find_first_not_of(" \t");
        if (f != npos && isFieldLine(t.substr(f))) {
          edits.push_back({lines[i].start, f, std::string()});
          groups.push_back({i, i, lower(trimmed(t.substr(f, t.find(':') - f)))});
          h.firstField = lines[i].start + f;
        } else {
          edits.push_back({lines[i].start, lines[i].next - lines[i].start, std::string()});
        }
        continue;
      }
      if (isFieldLine(t) || (message && i == 0 && t.substr(0, 5) == "From ")) {
        groups.push_back({i, i, lower(trimmed(t.substr(0, t.find(':'))))});
        if (isFieldLine(t)) h.firstField = lines[i].start;
        continue;
      }
      cut = i;
      break;
    }
    if (blankFirst) {
      groups.back().last = i;
      continue;
    }
    if (isProperField(t)) {
      groups.push_back({i, i, lower(trimmed(t.substr(0, t.find(':'))))});
      continue;
    }
    // No header line: the fold of the field before that lost its blank,
    // or the end of the header.
    const sv prev = trimmed(text(groups.back().last));
    if ((!prev.empty() && (prev.back() == ';' || prev.back() == ',')) || fieldAfter[i]) {
      lost[i] = 1;
      groups.back().last = i;
      continue;
    }
    cut = i;
    break;
  }
  if (cut < n || cutAtDash) {
    // The header ended before this line: the empty line it lacks.
    const std::size_t last = cut < n ? cut : n;  // the lines before it
    const std::size_t where = cut < n ? lines[cut].start : h.bodyStart;
    edits.push_back({where, 0, last > 0 ? lineEnd(last - 1) : std::string("\r\n")});
    h.bodyStart = where;
  }

  std::set<std::string> seen;
  for (const Group& g : groups) {
    const bool content = g.name == "content-type" || g.name == "content-transfer-encoding" ||
                         g.name == "content-disposition";
    if (content && !seen.insert(g.name).second) {
      // The first counts: a later one is dropped.
      edits.push_back({lines[g.first].start, lines[g.last].next - lines[g.first].start, std::string()});
      continue;
    }
    std::vector<Edit>& to = g.name == "content-type" ? h.typeEdits : edits;
    for (std::size_t i = g.first; i <= g.last; ++i)
      if (lost[i]) to.push_back({lines[i].start, 0, " "});
    if (g.name != "content-type") continue;
    h.hasType = true;
    const sv first = text(g.first);
    h.type = std::string(first.substr(first.find(':') + 1));
    for (std::size_t i = g.first + 1; i <= g.last; ++i) {
      if (lost[i]) h.type += ' ';
      h.type += text(i);
    }
    h.typeBegin = lines[g.first].start;
    h.typeEnd = lines[g.last].next;
    h.typeLineEnd = lineEnd(g.last);
  }
  return h;
}

bool isMessageType(const std::string& type) {
  return type == "message/rfc822" || type == "message/global" || type == "message/news";
}

}  // namespace

Mending mendMail(std::string_view mail) {
  Mending out;
  const Dashes dashes(mail);
  std::vector<Edit> edits;
  std::vector<std::pair<std::size_t, EnclosedRange>> enclosed;  // by the first field's place in the mail as it came
  struct Entity {
    std::size_t begin, end;
    bool message;
  };
  std::vector<Entity> todo{{0, mail.size(), true}};
  while (!todo.empty()) {
    const Entity en = todo.back();
    todo.pop_back();
    Header h = readHeader(mail, en.begin, en.end, en.message, edits);
    const std::string type = h.hasType ? lower(trimmed(sv(h.type).substr(0, sv(h.type).find(';')))) : std::string();
    auto keepType = [&] { edits.insert(edits.end(), h.typeEdits.begin(), h.typeEdits.end()); };
    auto rebuildType = [&](const std::string& boundary) {
      edits.push_back({h.typeBegin, h.typeEnd - h.typeBegin,
                       "Content-Type: " + withBoundary(h.type, boundary) + h.typeLineEnd});
    };
    const std::size_t bs = std::min(h.bodyStart, en.end), be = en.end;
    if (type.rfind("multipart/", 0) == 0) {
      bool found = false;
      std::string b = text::parameter(h.type, "boundary", "", &found);
      auto lines = dashes.of(b, bs, be);
      const bool separated = std::any_of(lines.begin(), lines.end(), [](const auto& l) { return !l.second; });
      if (!separated) {
        // The boundary named is not in the body (or none is named).
        const std::string used = dashes.used(bs, be);
        if (!used.empty()) {
          b = used;
          rebuildType(b);
          lines = dashes.of(b, bs, be);
        } else if (found) {
          rebuildType(std::string());  // no parts: its whole body is its text
          lines.clear();
        } else {
          keepType();
          lines.clear();
        }
      } else {
        keepType();
      }
      // Every part, between one boundary line and the next.
      for (std::size_t k = 0; k < lines.size() && !lines[k].second; ++k) {
        const std::size_t begin = lineAt(mail, lines[k].first, be).next;
        std::size_t end = be;
        if (k + 1 < lines.size()) {
          // The line end before a boundary line belongs to the boundary.
          end = lines[k + 1].first;
          if (end > begin && mail[end - 1] == '\n') --end;
          if (end > begin && mail[end - 1] == '\r') --end;
        }
        todo.push_back({begin, std::max(begin, end), false});
      }
      continue;
    }
    keepType();
    if (isMessageType(type)) {
      if (h.firstField != npos) enclosed.push_back({h.firstField, EnclosedRange{bs, be}});
      todo.push_back({bs, be, true});
    }
  }

  std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at < b.at; });
  out.changed = !edits.empty();
  if (out.changed) {
    std::size_t size = mail.size();
    for (const Edit& e : edits) size = size - e.erase + e.insert.size();
    out.text.reserve(size);
    // (Copied a piece at a time: the window has its turns while a large
    // mail is copied.)
    auto copy = [&](sv from) {
      constexpr std::size_t kPiece = 4 << 20;
      for (std::size_t at = 0; at < from.size(); at += kPiece) {
        out.text.append(from.substr(at, kPiece));
        net::yieldIfDue();
      }
    };
    std::size_t pos = 0;
    for (const Edit& e : edits) {
      if (e.at < pos) continue;  // never met: the edits do not overlap
      copy(mail.substr(pos, e.at - pos));
      out.text += e.insert;
      pos = e.at + e.erase;
    }
    copy(mail.substr(std::min(pos, mail.size())));
  }
  // Where each enclosed message's part begins in the text read.
  std::sort(enclosed.begin(), enclosed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  long long delta = 0;
  std::size_t k = 0;
  for (const auto& [at, range] : enclosed) {
    for (; k < edits.size() && edits[k].at + edits[k].erase <= at; ++k)
      delta += static_cast<long long>(edits[k].insert.size()) - static_cast<long long>(edits[k].erase);
    out.enclosed[static_cast<std::size_t>(static_cast<long long>(at) + delta)] = range;
  }
  return out;
}


std::string_view readable(std::string_view mail, std::string& keep,
                          std::map<std::size_t, EnclosedRange>& enclosed) {
  Mending m = mendMail(mail);
  enclosed = std::move(m.enclosed);
  if (!m.changed) return mail;
  keep = std::move(m.text);
  return keep;
}

}  // namespace nmail::mime
