#pragma once
// Program-wide state shared by the new-mail composer and the windows that
// feed it recipients (the Cc list window and the address pane).
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

class QLineEdit;
class QTextEdit;

// 1 while the Cc list window feeds the new-mail composer, else 0. The
// composer's Cc-mode choices and the Cc window's load set it to 1; the Cc
// window's unload and the composer's load and unload set it to 0; the send
// and the composer's address-pane row click test it.
extern std::int16_t MultiSendMode;

// Presses of the composer's pane toggle (even: the next press lists the held
// mails; odd: the address names) and of its attachment-list button (even:
// the next press hides the list; odd: shows it). Both live as long as the
// program, across closing and reopening the composer.
extern std::int16_t PaneToggleCount;
extern std::int16_t AttachListToggleCount;

namespace composer {

// The fortune slip k (1..12) appended to a mail: CR LF CR LF, the header,
// CR LF CR LF, fortune k.
QString fortuneBlock(int k);
// Fortune k alone (1..12); the empty text outside that range.
QString fortuneText(int k);

// The attachment argument of the mail library: the paths in their UTF-8
// form, as the file system names the files (never through CP932, which
// cannot name every file and changes some names it can).
std::string attachmentArgument(const QString& paths);

// The characters of text that CP932 cannot hold, each once, in order.
QString charactersCp932Lacks(const QString& text);
// An address the user typed that CP932 cannot hold would go to another
// address ("?" in place of the character): refused with a message naming
// what; true when the address can go.
bool addressCanGo(const QString& address, const QString& what);
// The texts of a mail (To, subject, body joined) with characters CP932
// cannot hold: the user is told which become "?" when the mail is sent (or
// kept, by verb) and asked whether to go on; true when there are none or
// the user says Yes.
bool textMayLoseCharacters(const QString& texts, const QString& verb);

// Puts recalled texts into a composer's boxes as edits the user can undo.
void replaceUndoably(QLineEdit* box, const QString& text);
void replaceUndoably(QTextEdit* box, const QString& text);
// True when putting the texts into the boxes would replace something in
// them: a box that holds text other than its new one.
bool wouldReplace(QLineEdit* to, QLineEdit* subject, QTextEdit* body, const QString* newTo,
                  const QString* newSubject, const QString* newBody);
// Asks before recalled texts replace what the user is writing: the To box,
// the subject and the body, or (toOnly) the To box alone, for an address.
bool mayReplaceTypedText(bool toOnly = false);

}  // namespace composer
