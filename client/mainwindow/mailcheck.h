#pragma once
// What the files of the mail check share (receivemail.cpp, the public
// calls; checkconversation.cpp, the conversation and its reconnects;
// storemail.cpp, the storing of one mail; spamtest.cpp, the keywords and
// the spam test; checkboxes.cpp, the boxes the check writes and shows).
// None of it is for the other windows: they use receivemail.h.
#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/recordfile.h"
#include "platform/paths.h"

namespace forms {
class MainForm;
}

namespace mailcheck {

// The subject, date, from and header buffers, and the library's message buffer.
constexpr int kTextBuffer = 8192;
// The unpacked body buffer at the least: a split mail joined from its
// pieces keeps more text than its last piece, and more than a record holds.
constexpr int kUnpackedBody = 256 << 10;
// The body buffer of a fetch at first, at most: it grows with what comes,
// never with the size a server claims.
constexpr int kFirstBody = 256 << 10;
// The text a record keeps (its body field, less room for the attachment
// line): a longer text is kept whole in a file of the attachment folder,
// and the record says so. Nothing longer is held in memory.
constexpr int kTextInRecord = decltype(records::MailRecord::Body)::kWidth - 128;

// The library's buffers of a mail (subject, date, from, header).
struct Buffers {
  std::vector<char> subject = std::vector<char>(kTextBuffer, '\0');
  std::vector<char> date = std::vector<char>(kTextBuffer, '\0');
  std::vector<char> from = std::vector<char>(kTextBuffer, '\0');
  std::vector<char> header = std::vector<char>(kTextBuffer, '\0');
  // Emptied again for the next mail (every text in them ends at its first
  // NUL, and the library ends what it writes with one).
  void clear() {
    for (std::vector<char>* v : {&subject, &date, &from, &header}) v->front() = '\0';
  }
};

// ---- checkboxes.cpp: the boxes the check writes and the boxes it shows.

// A buffer the library filled, cut at its first NUL (never past its end), as
// text (decoded by table: the same text as cp932::decode gives).
QString bufferText(const char* p, std::size_t room);
QString bufferText(const std::vector<char>& b);
std::string bufferBytes(const std::vector<char>& b);
QString libraryMessage();
void errorBox(const QString& text);
QString mailNo(int i, int n);

// The boxes the check writes for every mail that are not on screen (the
// main window's boxes of the spam test, the viewer's while it is not shown)
// take their texts without laying them out for display meanwhile: that
// layout is most of what writing a box costs, and nobody sees it. Their
// texts, selections and signals are as ever; the display comes back as
// soon as a box comes on screen (during the check, or when it is next shown
// after it: a box on screen when the session ends gets it back then).
class QuietBoxes {
 public:
  QuietBoxes() = default;
  QuietBoxes(const QuietBoxes&) = delete;
  QuietBoxes& operator=(const QuietBoxes&) = delete;
  ~QuietBoxes();
  void quiet(std::initializer_list<QLineEdit*> boxes);

 private:
  struct Entry {
    QPointer<QLineEdit> box;
    QLineEdit::EchoMode echo;
    Qt::InputMethodHints hints;
    bool quiet;
  };
  void quiet(QLineEdit* box);
  static void restore(Entry& e);
  std::vector<Entry> boxes_;
};

// A box's text without its leading and trailing blanks, and where that
// part begins in the box.
struct Trimmed {
  QLineEdit* box;
  QString text;
  int lead = 0;
  explicit Trimmed(QLineEdit* b);
  // Looks for needle (not empty) in the trimmed text, exact code units, from
  // the first character; when found, selects it in the box.
  bool find(const QString& needle) const;
};

// ---- storemail.cpp: the storing of one mail.

// What the mails of one session share: the library's buffers, the boxes
// kept quiet, and the real paths of the attachment folder and the work
// file, resolved at the first mail with attachments (and again when the
// folder is gone).
struct Session {
  Buffers buffers;
  QuietBoxes boxes;
  // The unpacked body, made once for the session and grown as a mail needs
  // (the library ends what it writes with a NUL). Not cleared: the pages
  // nothing is written to are never touched.
  std::unique_ptr<char[]> unpacked;
  std::size_t unpackedSize = 0;

  // The attachment folder (made when missing) and the work file.
  void attachmentPaths(QString& folderPath, QString& workPath);

 private:
  QString folder_, work_;
};

// ---- spamtest.cpp: the keywords and the spam test.

// The keywords of the keyword file, read again only when the file changed
// (the check reads them for every mail; the keyword window may change them
// while the check gives the window its turns, or while one of the check's
// message boxes is up). The file is looked at again only after such a turn.
struct Keywords {
  std::vector<records::SpamKeywordRecord> list;
  std::vector<QString> trimmed;  // the keywords of list, trimmed
  bool valid = false;
  unsigned long long turns = 0;  // the window's turns when the file was looked at
  struct stat seen {};
  QByteArray path = QFile::encodeName(paths::resolve(records::kSpamKeywordFile));

  const std::vector<records::SpamKeywordRecord>& current();

  // Whether a keyword occurs in the subject or the sender (each without its
  // blanks), as the spam test below decides, without touching any box.
  bool hit(const QString& subject, const QString& from);
};

// The spam test of the mail in MainForm.Text10 / Text11: every keyword of
// the keyword file in record order, blank ones skipped; the first hit decides.
bool isSpam(forms::MainForm& m, Keywords& keywords);

// ---- checkconversation.cpp: the conversation and its reconnects.

// What one conversation with the server brought.
struct Outcome {
  int waiting = 0;      // the login's result: mails waiting, 0 none, < 0 error
  int handled = 0;      // mails stored or deleted as spam
  int stored = 0;       // mails stored
  bool stopped = false; // a mail could not be fetched or stored
  bool broken = false;  // the conversation broke: no deletion reached the server
  bool brokenNoted = false;  // a box says so already
  int skipped = 0;      // mails left on the server that could not be taken, with a box each
  std::int16_t spam = 0;
  std::int16_t vip = 0;
  struct Deleted {
    int no;     // in the session
    int shown;  // as the boxes name it
    bool spam;
  };
  std::vector<Deleted> deleted;  // the mails whose deletion went out in this session, in order
  QStringList errors;            // the "エラー" boxes, shown once the session is over

  // Mails are named "i / total" by their numbers in the check's first
  // session; those that came later go on from there.
  int total = 0;
  // Every mail stored or deleted as spam in this check, by its unique id
  // ("" when the server gives none): a session that broke took their
  // deletions with it, and the next one asks for them again.
  // Each is known by its size and header as well, for a server that names
  // its mails anew in the session after a break.
  struct Known {
    long long size = -1;  // as the server listed it; -1 not known (not fetched)
    std::string header;   // the header as the status call gave it; empty: not known
    std::string id;       // the unique id it had ("" when the server gives none)
  };
  struct Taken {
    std::string id;
    int shown;
    bool spam;
    Known known = {};
    bool stranded = false;  // no later session can name it: it stays on the server
    bool refused = false;   // the server refused its deletion: not asked again
    bool unsure = false;    // stranded: named anew, and not to be told apart from another by its header
  };
  std::vector<Taken> taken;
  // Mails left on the server with a box (too large, or their answer broke
  // off), by unique id and by number in the session, and by size and header.
  std::set<std::string> leftIds;
  std::set<int> leftNos;
  std::vector<Known> leftKnown;
  // Why the conversation broke, when a mail's step said it.
  QString breakWhat, breakMessage;
};

// ---- storemail.cpp

// Fetches, tests, stores and deletes mail i of the session (shown as
// "shown / out.total", unique id id); false when the check has to stop (the
// reason is in out.errors). A conversation that breaks sets out.broken and
// leaves what to say to the caller, which connects again.
bool handleMail(int handle, int i, int shown, const std::string& id, Outcome& out, Keywords& keywords,
                Session& session);

// ---- checkconversation.cpp

// One check's conversation with the server, from the connection to the
// session's end, connecting again after a break.
// onceTaken, when given, is called with the outcome so far once a session
// has taken its mails in order and they are on disk, before QUIT goes out
// (again for each session after a break): the caller's work that then goes
// on a thread of its own (a settings write) has the session's end to be
// done in.
Outcome converse(const std::function<void(const Outcome&)>& onceTaken = {});

}  // namespace mailcheck
