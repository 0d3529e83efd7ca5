#pragma once
// The fixed-length records of the client's list files and the table of those
// files.
//
// In memory a record holds its text fields as QString (FixedText<N>: at most
// N characters, cut when assigned) plus the 16-bit live flag. On file every
// text field is CP932, left-aligned and padded with blanks to its width in
// bytes; a double-byte character that would be split at the width is dropped
// whole and its place padded with a blank. Reading a record removes the
// padding blanks at the end of each field (readers Trim the fields anyway;
// padded() gives the fixed-length form of a field when a window shows it as
// such). The live flag is a signed 16-bit little-endian integer: 1 live,
// 0 deleted.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

namespace records {

// A text field of a record: at most N characters, the rest cut off when a
// text is put into it. Converts to const QString& so that it reads like the
// text it holds: vb::Trim(rec.Subject), rec.Subject == "x".
template <int N>
class FixedText {
 public:
  static constexpr int kWidth = N;
  FixedText() = default;
  FixedText(const QString& s) : text_(s.left(N)) {}  // NOLINT: implicit like the field assignment
  FixedText(const char16_t* s) : FixedText(QString::fromUtf16(s)) {}
  FixedText(const char* s) : FixedText(QString::fromUtf8(s)) {}
  FixedText& operator=(const QString& s) {
    text_ = s.left(N);
    return *this;
  }
  FixedText& operator=(const char16_t* s) { return *this = QString::fromUtf16(s); }
  FixedText& operator=(const char* s) { return *this = QString::fromUtf8(s); }
  operator const QString&() const { return text_; }  // NOLINT
  const QString& text() const { return text_; }
  bool isEmpty() const { return text_.isEmpty(); }
  qsizetype size() const { return text_.size(); }
  // The field as a fixed-length text: padded on the right with blanks to N characters.
  QString padded() const { return text_.size() >= N ? text_ : text_ + QString(N - text_.size(), u' '); }
  bool operator==(const QString& s) const { return text_ == s; }
  bool operator==(const FixedText& o) const { return text_ == o.text_; }
  void setRaw(QString s) { text_ = std::move(s); }  // used by the readers (already within N)
  QString& raw() { return text_; }                   // likewise: filled in place, within N

 private:
  QString text_;
};

// Line end "\r\n" that every writer puts into its record.
inline const QString kCrLf = QStringLiteral("\r\n");

// One mail of a list file, 32,284 bytes on file.
//   Subject 0 (100) | MailDate 100 (90) | FromTo 190 (90) | Body 280 (32,000) |
//   LineEnd 32,280 (2) | Live 32,282 (2)
struct MailRecord {
  static constexpr std::size_t kSize = 32284;
  static constexpr std::size_t kLiveOffset = 32282;

  FixedText<100> Subject;
  FixedText<90> MailDate;
  FixedText<90> FromTo;  // sender (received, VIP, safes) or recipient (sent, held)
  FixedText<32000> Body;
  FixedText<2> LineEnd{kCrLf};
  std::int16_t Live = 0;

  // Writes exactly kSize bytes to out.
  void toBytes(char* out) const;
  // Reads exactly kSize bytes from in.
  void fromBytes(const char* in);
};

// One spam keyword, 204 bytes: LineEnd 0 (2) | Live 2 (2) | Keyword 4 (200).
struct SpamKeywordRecord {
  static constexpr std::size_t kSize = 204;
  static constexpr std::size_t kLiveOffset = 2;

  FixedText<2> LineEnd{kCrLf};
  std::int16_t Live = 0;
  FixedText<200> Keyword;

  void toBytes(char* out) const;
  void fromBytes(const char* in);
};

// One address-book entry, 184 bytes: Name 0 (90) | LineEnd 90 (2) | Live 92 (2) | Address 94 (90).
struct AddressRecord {
  static constexpr std::size_t kSize = 184;
  static constexpr std::size_t kLiveOffset = 92;

  FixedText<90> Name;
  FixedText<2> LineEnd{kCrLf};
  std::int16_t Live = 0;
  FixedText<90> Address;

  void toBytes(char* out) const;
  void fromBytes(const char* in);
};

// One address of the Cc list, 92 bytes: Live 0 (2) | Address 2 (90).
struct CcAddressRecord {
  static constexpr std::size_t kSize = 92;
  static constexpr std::size_t kLiveOffset = 0;

  std::int16_t Live = 0;
  FixedText<90> Address;

  void toBytes(char* out) const;
  void fromBytes(const char* in);
};

// Field helpers shared by the record types (exposed for the tests and the
// benchmark): put text into a field of width bytes; take a field's text
// without its padding blanks.
void putField(char* out, const QString& text, std::size_t width);
QString takeField(const char* in, std::size_t width);
// takeField into into: its storage is used again when the text fits it
// closely (a list read again into the same records allocates nothing).
void takeFieldInto(QString& into, const char* in, std::size_t width);
void putLive(char* out, std::int16_t live);
std::int16_t takeLive(const char* in);
// CP932 to text exactly as cp932::decode, by table (fast on whole lists).
QString decodeField(std::string_view bytes);

// ---------------------------------------------------------------------------
// The list files. Program paths as the client writes them; they resolve
// under the program folder without regard to case (paths::resolve).

inline const QString kReceivedFile = QStringLiteral("\\★MAilData\\xqmdata2.data");   // MailListKind 1
inline const QString kSentFile = QStringLiteral("\\★MAilData\\xqmdata5.data");       // 2
inline const QString kGoldSafeFile = QStringLiteral("\\★MAilData\\xqmdata6.data");   // 3
inline const QString kSilverSafeFile = QStringLiteral("\\★MAilData\\xqmdata7.data"); // 4
inline const QString kBronzeSafeFile = QStringLiteral("\\★MAilData\\xqmdata8.data"); // 5
inline const QString kVipFile = QStringLiteral("\\★MAilData\\xqmdata80.data");       // 6
inline const QString kHeldMailFile = QStringLiteral("\\★MAilData\\xqmdata10.data");
inline const QString kHeldReplyFile = QStringLiteral("\\★MAilData\\xqmdata11.data");
inline const QString kAddressBookFile = QStringLiteral("\\★MAilData\\Xqmdata20.data");
inline const QString kCcListFile = QStringLiteral("\\★MAilData\\xqmdata100.data");
inline const QString kSpamKeywordFile = QStringLiteral("\\★MAilData\\Xqmdata50.data");

// The list file of MailListKind 1..6 (received, sent, gold, silver, bronze,
// VIP); an empty string for any other kind.
QString mailListFile(int kind);

// The record buffer of MailListKind 1..6 (ReceivedMailRec, SentMailRec,
// GoldSafeRec, SilverSafeRec, BronzeSafeRec, VipMailRec); nullptr for any
// other kind.
MailRecord* mailListBuffer(int kind);

// The temporary twin of a list file: the same folder, the file name in
// capitals with ".TMP" in place of ".data" ("\★MAilData\XQMDATA2.TMP").
QString twinOf(const QString& listFile);

}  // namespace records
