// The header fields of a received mail: a mail split at its first empty
// line, its fields as they stand, and subject, date and from decoded with
// the header in CP932, shortened to fit its buffer by leaving out trace
// fields first. The body is left to the MIME tree (mime_tree.cpp).
#include "mime.h"
#include "mime_internal.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "charset.h"
#include "text.h"

namespace nmail::mime {
namespace {

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
}  // namespace

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

}  // namespace nmail::mime
