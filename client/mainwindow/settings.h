#pragma once
// The client's settings files.
//
//  "\★MailData\ini.ini"       section EXEINI: every window's own keys (key table below)
//  "\★MailData\iniIdPass.ini" section EXEINI: the POP3 account
//  "\xqmail.ini"               four lines SMTP= POP3= MAIL= APOP=
//
// All three lie under the program folder, never the current directory. The
// two private-profile files hold passwords and are created readable by
// their owner only (mode 0600); an existing file keeps its mode.
#include <QString>
#include <QLineEdit>
#include <QValidator>

#include <cstdint>
#include <future>
#include <optional>
#include <string>

namespace settings {

// Program paths of the files and the one section of the profile files.
inline const QString kIniFile = QStringLiteral("\\★MailData\\ini.ini");
inline const QString kIdPassFile = QStringLiteral("\\★MailData\\iniIdPass.ini");
inline const QString kServerFile = QStringLiteral("\\xqmail.ini");
inline const QString kSection = QStringLiteral("EXEINI");

// The default of the user's name and of the start-up password.
inline const QString kSecretDefault = QStringLiteral("QzvKmuTel");

// Keys of ini.ini, section EXEINI.
namespace key {
// Texts.
inline constexpr char UserName[] = "NAME8";              // MainForm.Text1; QzvKmuTel when missing or empty
inline constexpr char SenderDisplayText[] = "NAME9";     // SetForm.Text2
inline constexpr char StartPassword[] = "NAME10";        // QzvKmuTel when missing; empty = no password
inline constexpr char StartPasswordConfirm[] = "NAME11"; // written beside NAME10, never read
inline constexpr char VipAddress[] = "NAME12";           // SetForm.Text3
// Numbers (default 0).
inline constexpr char HistoryFontSize[] = "NUMBER4";     // TyakuForm text pane font size
inline constexpr char WriteFontSize[] = "NUMBER5";       // WriteForm font size
inline constexpr char BackFontSize[] = "NUMBER6";        // BackForm font size
inline constexpr char HoverHelp[] = "NUMBER7";           // MainForm.Check1, 0/1
inline constexpr char HistoryWidth[] = "NUMBER9";        // TyakuForm width, twips
inline constexpr char HistoryHeight[] = "NUMBER10";      // TyakuForm height, twips
inline constexpr char HelpWidth[] = "NUMBER11";          // HelpForm width, twips
inline constexpr char HelpHeight[] = "NUMBER12";         // HelpForm height, twips
inline constexpr char MainText5Number[] = "NUMBER13";    // MainForm.Text5 on every change
inline constexpr char NoSentHistory[] = "NUMBER14";      // SetForm.Check1 "送信履歴を残さない", 0/1
inline constexpr char HangUpAfterCheck[] = "NUMBER15";   // SetForm.Check2, 0/1
inline constexpr char CheckInterval[] = "NUMBER16";      // SetForm.Text6, minutes, written as typed
inline constexpr char ShowOnNewMail[] = "NUMBER18";      // SetForm.Check4, 0/1
inline constexpr char BackWidth[] = "NUMBER19";          // BackForm width, twips
inline constexpr char BackHeight[] = "NUMBER20";         // BackForm height, twips
inline constexpr char TenpFoldWidth[] = "NUMBER21";      // TenpFoldForm width, twips
inline constexpr char TenpFoldHeight[] = "NUMBER22";     // TenpFoldForm height, twips ...
inline constexpr char CcHelpSwitch[] = "NUMBER22";       // ... and CcForm's "簡単操作説明表示", 0/1: one key
inline constexpr char WriteWidth[] = "NUMBER23";         // WriteForm width, twips
inline constexpr char WriteHeight[] = "NUMBER24";        // WriteForm height, twips
inline constexpr char MailTotal[] = "NUMBER28";          // MainForm.Text14, running total of new mails
inline constexpr char AutoCloseAfterReply[] = "NUMBER29";// TyakuForm.Check1, 0/1
}  // namespace key

// Keys of iniIdPass.ini, section EXEINI.
namespace idkey {
inline constexpr char UserId[] = "NAME";     // POP3 user ID
inline constexpr char Password[] = "NAME2";  // POP3 password, plain text
inline constexpr char SaveFlag[] = "NAME3";  // "1" saved by OK, "0" OK without saving
}  // namespace idkey

// --- ini.ini ---------------------------------------------------------------

// A text key read with the 256-character buffer (at most 255 bytes): the
// text read, or the key's empty result when nothing was read: the empty
// text for every key but NAME8 (QzvKmuTel when missing or empty) and
// NAME10 (QzvKmuTel when missing, the empty text = no password when empty).
QString readText(const char* key);
// A number key: the leading decimal digits of the value; 0 when missing,
// empty or without digits.
int readNumber(const char* key);
// A 0/1 switch: 1 or 0 as read; any other value gives current unchanged.
int readSwitch(const char* key, int current);

// What the file holds for key as it stands, nullopt when the key (or the
// file) is missing.
std::optional<QString> storedText(const char* key);

// Writes a text as it is / a number in decimal. False on failure (the file
// is left as it was); the windows ignore the result.
bool writeText(const char* key, const QString& value);
bool writeNumber(const char* key, long long value);
// writeNumber on a thread of its own, for a write that the window should
// not wait for (its flush to disk may wait for other files' flushes); the
// future gives its result. A write of the settings meanwhile waits for it.
std::future<bool> writeNumberAside(const char* key, long long value);

// --- iniIdPass.ini ----------------------------------------------------------

// A key of the account file, read with the empty default (the text read,
// or the empty text).
QString readAccountText(const char* key);
bool writeAccountText(const char* key, const QString& value);

// --- xqmail.ini -------------------------------------------------------------

// What the server file holds: each tag's value from its last line (at most
// 100 characters), nullopt for a tag that does not occur. apop is the
// numeric value of its text (Val, rounded half to even); a value outside
// the 16-bit range is left out.
struct ServerFileValues {
  std::optional<QString> smtp;
  std::optional<QString> pop3;
  std::optional<QString> mail;
  std::optional<std::int16_t> apop;
};

// Parses the file's CP932 bytes (lines end in CR LF; a bare CR or LF ends a
// line too). A line counts when its first five characters are exactly
// (case-sensitively) "SMTP=", "POP3=", "MAIL=" or "APOP=".
ServerFileValues parseServerFile(const std::string& bytes);
// Reads "\xqmail.ini" (a missing file gives no values).
ServerFileValues readServerFile();
// Reads "\xqmail.ini" and sets SmtpServer, PopServer, FromAddress and
// UseApop from the tags found (a missing tag leaves its variable as it
// was). Returns what was read, so that the start-up also sets
// MainForm.Text8 from values.mail.
ServerFileValues loadServerSettings();

// The four lines written from the given values: "SMTP=..", "POP3=..",
// "MAIL=..", "APOP= 1" (the number with a blank for its sign), each ending
// in CR LF, CP932.
std::string formatServerFile(const QString& smtp, const QString& pop3, const QString& mail,
                             std::int16_t apop);
// Rewrites "\xqmail.ini" whole from SmtpServer, PopServer, FromAddress,
// UseApop (through a temporary file and a rename). False on failure, also
// when a value holds a line break; the file is then left as it was.
bool saveServerSettings();

// A text value is at most this many CP932 bytes: the longest value a read
// gives back.
constexpr int kMaxValueBytes = 255;

// The entry rule of the boxes whose text is kept as one settings value:
// only characters that CP932 can hold (any other would be stored as "?": a
// password could never be typed again, a VIP address would never match)
// and no line break (it would split the settings file's line, or be left
// unwritten). A typed, pasted or dropped text that breaks either rule is
// refused whole: the box keeps what it had and guardEntry tells the user
// why. A box that the program fills with such a text keeps it. With
// maxBytes above 0, whole characters up to maxBytes CP932 bytes: of a text
// that does not fit, what does not fit is left out, as in a box of limited
// length.
class ValueValidator : public QValidator {
 public:
  explicit ValueValidator(QObject* parent = nullptr, int maxBytes = kMaxValueBytes)
      : QValidator(parent), maxBytes_(maxBytes) {}
  State validate(QString& input, int& pos) const override;

 private:
  int maxBytes_;
};

// Why a text cannot be kept as one settings value; the empty text when it
// can.
QString unstorableReason(const QString& text);

// Puts the entry rule on box (maxBytes as above, 0 for no limit) and tells
// the user, in a message box, why an input was refused.
void guardEntry(QLineEdit* box, int maxBytes = kMaxValueBytes);

}  // namespace settings
