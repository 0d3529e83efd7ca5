// Mails whose header block is broken, read as a tolerant receiver reads
// them. The header ends at its first line that is no header line (a
// boundary right after the header, with no empty line before it); lines
// that begin with a blank before the first field continue nothing (a field
// written after a blank is kept, the rest dropped); a multipart without its
// boundary parameter gets the boundary its body uses. Reading the mended
// mail is left to the others.
#include "mime.h"
#include "mime_internal.h"

#include <string>
#include <string_view>
#include <vector>

#include "charset.h"
#include "text.h"

namespace nmail::mime {
namespace {

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

}  // namespace

// The mail as it is read: mended when its header block is broken.
std::string_view readable(std::string_view mail, std::string& keep) {
  return mendMail(mail, keep) ? std::string_view(keep) : mail;
}

}  // namespace nmail::mime
