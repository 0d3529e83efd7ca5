// Building a mail to send: the addresses parsed and checked, the header
// (RFC 2047 words, the date, a message id), the text in ISO-2022-JP, and
// the attachments in base64 with their names as RFC 2047 and RFC 2231
// parameters. Sending it is left to the SMTP client (smtp.cpp).
#include "mime.h"
#include "mime_internal.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "charset.h"
#include "text.h"

namespace nmail::mime {

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
    // A name too long for one line goes as encoded words, folded, as a
    // subject does (a line may hold 998 octets at most).
    if (used + name.size() > 900) name = text::encodeHeader(a.display, used);
  } else {
    name = text::encodeHeader(a.display, used);
  }
  // After a name of several lines the address goes on a line of its own
  // when the last one has no room for it.
  const std::size_t lastLine = name.rfind("\r\n");
  if (lastLine != std::string::npos && name.size() - lastLine - 2 + a.address.size() + 3 > 78)
    return name + "\r\n <" + a.address + ">";
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
