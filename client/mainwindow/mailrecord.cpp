// Conversion of the list files' records between memory and file.
#include "client/mainwindow/mailrecord.h"

#include "client/mainwindow/globals.h"
#include "platform/codepage.h"

#include <iconv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace records {
namespace {

// Length of the field without its trailing blanks. Bodies are mostly
// padding, so the blanks are skipped 64 bytes at a time.
std::size_t contentLength(const char* p, std::size_t n) {
#if defined(__SSE2__)
  const __m128i blank = _mm_set1_epi8(' ');
  while (n >= 64) {
    const char* q = p + n - 64;
    __m128i a = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), blank);
    __m128i b = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16)), blank);
    __m128i c = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 32)), blank);
    __m128i d = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 48)), blank);
    if (_mm_movemask_epi8(_mm_and_si128(_mm_and_si128(a, b), _mm_and_si128(c, d))) != 0xFFFF) break;
    n -= 64;
  }
#endif
  constexpr std::uint64_t blanks = 0x2020202020202020ull;
  while (n >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p + n - 8, 8);
    if (w != blanks) break;
    n -= 8;
  }
  while (n > 0 && p[n - 1] == ' ') --n;
  return n;
}

// CP932 decoding by table, for the fields of whole lists: the same result
// as cp932::decode (the table is filled from the same conversion), without
// a conversion call per field. A character that is not CP932 (an unassigned
// double-byte pair, or a byte that stands alone) gives one U+FFFD.
class DecodeTable {
 public:
  DecodeTable() : pair_(65536, kInvalid) {
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    for (int b = 0; b < 256; ++b) {
      kind_[b] = Invalid;
      single_[b] = 0xFFFD;
      if (cd == reinterpret_cast<iconv_t>(-1)) continue;
      char in[2] = {static_cast<char>(b), 0};
      char16_t out[4];
      Result r = convert(cd, in, 1, out);
      if (r == Result::One) {
        kind_[b] = Single;
        single_[b] = out[0];
      } else if (r == Result::Incomplete) {
        kind_[b] = Lead;
        for (int t = 0; t < 256; ++t) {
          in[1] = static_cast<char>(t);
          if (convert(cd, in, 2, out) == Result::One) pair_[static_cast<std::size_t>(b << 8 | t)] = out[0];
        }
      }
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }

  // Decodes into a scratch buffer first, so that the text takes no more
  // memory than its characters need.
  QString decode(const char* p, std::size_t n) const {
    const std::size_t units = decodeToScratch(p, n);
    return QString(reinterpret_cast<const QChar*>(scratch().data()), static_cast<qsizetype>(units));
  }

  // The same into into, in its own storage when that is not shared and
  // holds the text without much to spare.
  void decodeInto(QString& into, const char* p, std::size_t n) const {
    const std::size_t units = decodeToScratch(p, n);
    const auto k = static_cast<qsizetype>(units);
    const qsizetype cap = into.capacity();
    if (k > 0 && into.isDetached() && cap >= k && cap - k <= k / 8 + 8) {
      into.resize(k);
      std::memcpy(static_cast<void*>(into.data()), scratch().data(), units * sizeof(char16_t));
    } else {
      into = QString(reinterpret_cast<const QChar*>(scratch().data()), k);
    }
  }

 private:
  static std::vector<char16_t>& scratch() {
    static thread_local std::vector<char16_t> buf;
    return buf;
  }

  // Decodes n bytes into scratch(); returns the number of UTF-16 units.
  std::size_t decodeToScratch(const char* p, std::size_t n) const {
    std::vector<char16_t>& buf = scratch();
    if (buf.size() < n + 16) buf.resize(n + 16);
    char16_t* o = buf.data();
    char16_t* const start = o;
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    std::size_t i = 0;
    while (i < n) {
      const unsigned char b = u[i];
      if (b < 0x80) {
#if defined(__SSE2__)
        // The single-byte characters from here, up to sixteen at a time.
        if (i + 16 <= n) {
          const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + i));
          const __m128i zero = _mm_setzero_si128();
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(v, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(v, zero));
          const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
          const unsigned k = mask == 0 ? 16u : static_cast<unsigned>(__builtin_ctz(mask));
          o += k;
          i += k;
          continue;
        }
#endif
        *o++ = single_[b];
        ++i;
      } else if (kind_[b] == Lead) {
        const char16_t c = i + 1 < n ? pair_[static_cast<std::size_t>(b << 8 | u[i + 1])] : kInvalid;
        if (c != kInvalid) {
          *o++ = c;
          i += 2;
        } else {
          *o++ = 0xFFFD;
          i += i + 1 < n && cp932::isTrailByte(u[i + 1]) ? 2 : 1;
        }
      } else {
        *o++ = single_[b];
        ++i;
      }
    }
    return static_cast<std::size_t>(o - start);
  }

  enum Kind : unsigned char { Invalid, Single, Lead };
  enum class Result { One, Incomplete, Bad };
  static constexpr char16_t kInvalid = 0xFFFF;

  static Result convert(iconv_t cd, char* in, std::size_t n, char16_t* out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* ip = in;
    std::size_t il = n;
    char* op = reinterpret_cast<char*>(out);
    std::size_t ol = 8;
    std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    if (r == static_cast<std::size_t>(-1)) return errno == EINVAL ? Result::Incomplete : Result::Bad;
    return (il == 0 && op == reinterpret_cast<char*>(out) + 2) ? Result::One : Result::Bad;
  }

  Kind kind_[256];
  char16_t single_[256];
  std::vector<char16_t> pair_;
};

const DecodeTable& decodeTable() {
  static const DecodeTable t;
  return t;
}

}  // namespace

QString decodeField(std::string_view bytes) { return decodeTable().decode(bytes.data(), bytes.size()); }

void putField(char* out, const QString& text, std::size_t width) {
  const std::string bytes = cp932::encode(text);
  const std::string_view cut = cp932::cut(bytes, width);
  std::memcpy(out, cut.data(), cut.size());
  std::memset(out + cut.size(), ' ', width - cut.size());
}

QString takeField(const char* in, std::size_t width) {
  return decodeTable().decode(in, contentLength(in, width));
}

void takeFieldInto(QString& into, const char* in, std::size_t width) {
  decodeTable().decodeInto(into, in, contentLength(in, width));
}

void putLive(char* out, std::int16_t live) {
  const std::uint16_t v = static_cast<std::uint16_t>(live);
  out[0] = static_cast<char>(v & 0xFF);
  out[1] = static_cast<char>(v >> 8);
}

std::int16_t takeLive(const char* in) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned char>(in[0]) |
                                                              (static_cast<unsigned char>(in[1]) << 8)));
}

// The line end is taken as it stands (its two bytes, blanks included).
static QString takeLineEnd(const char* in) {
  if (in[0] == '\r' && in[1] == '\n') return kCrLf;  // shared, no copy
  return decodeTable().decode(in, 2);
}

void MailRecord::toBytes(char* out) const {
  putField(out + 0, Subject, 100);
  putField(out + 100, MailDate, 90);
  putField(out + 190, FromTo, 90);
  putField(out + 280, Body, 32000);
  putField(out + 32280, LineEnd, 2);
  putLive(out + 32282, Live);
}

void MailRecord::fromBytes(const char* in) {
  takeFieldInto(Subject.raw(), in + 0, 100);
  takeFieldInto(MailDate.raw(), in + 100, 90);
  takeFieldInto(FromTo.raw(), in + 190, 90);
  takeFieldInto(Body.raw(), in + 280, 32000);
  LineEnd.setRaw(takeLineEnd(in + 32280));
  Live = takeLive(in + 32282);
}

void SpamKeywordRecord::toBytes(char* out) const {
  putField(out + 0, LineEnd, 2);
  putLive(out + 2, Live);
  putField(out + 4, Keyword, 200);
}

void SpamKeywordRecord::fromBytes(const char* in) {
  LineEnd.setRaw(takeLineEnd(in + 0));
  Live = takeLive(in + 2);
  Keyword.setRaw(takeField(in + 4, 200));
}

void AddressRecord::toBytes(char* out) const {
  putField(out + 0, Name, 90);
  putField(out + 90, LineEnd, 2);
  putLive(out + 92, Live);
  putField(out + 94, Address, 90);
}

void AddressRecord::fromBytes(const char* in) {
  Name.setRaw(takeField(in + 0, 90));
  LineEnd.setRaw(takeLineEnd(in + 90));
  Live = takeLive(in + 92);
  Address.setRaw(takeField(in + 94, 90));
}

void CcAddressRecord::toBytes(char* out) const {
  putLive(out + 0, Live);
  putField(out + 2, Address, 90);
}

void CcAddressRecord::fromBytes(const char* in) {
  Live = takeLive(in + 0);
  Address.setRaw(takeField(in + 2, 90));
}

QString mailListFile(int kind) {
  switch (kind) {
    case 1: return kReceivedFile;
    case 2: return kSentFile;
    case 3: return kGoldSafeFile;
    case 4: return kSilverSafeFile;
    case 5: return kBronzeSafeFile;
    case 6: return kVipFile;
    default: return QString();
  }
}

MailRecord* mailListBuffer(int kind) {
  switch (kind) {
    case 1: return &ReceivedMailRec;
    case 2: return &SentMailRec;
    case 3: return &GoldSafeRec;
    case 4: return &SilverSafeRec;
    case 5: return &BronzeSafeRec;
    case 6: return &VipMailRec;
    default: return nullptr;
  }
}

QString twinOf(const QString& listFile) {
  const qsizetype slash = std::max(listFile.lastIndexOf(u'\\'), listFile.lastIndexOf(u'/'));
  const QString folder = listFile.left(slash + 1);
  QString name = listFile.mid(slash + 1);
  const qsizetype dot = name.lastIndexOf(u'.');
  if (dot > 0) name.truncate(dot);
  for (QChar& c : name)
    if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
  return folder + name + QStringLiteral(".TMP");
}

}  // namespace records
