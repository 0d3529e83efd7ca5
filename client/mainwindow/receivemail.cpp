// The mail check: one POP3 conversation through the mail library, the spam
// test, the attachments, the routing into the received list or the VIP room,
// the deletions on the server and the announcement. Also the automatic check.
#include "client/mainwindow/receivemail.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <set>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailwait.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/msgform.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/savemail.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/settings.h"
#include "client/mainwindow/startpassword.h"
#include "nmail/nmail.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {

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

const QString kAttachmentFolder = QStringLiteral("\\添付フォルダ");
const QString kWorkFile = QStringLiteral("\\添付フォルダ\\0.txt");
const QString kErrorTitle = QStringLiteral("エラー");

bool g_running = false;
std::function<bool()> g_passwordPending;

// Ticks of the automatic check since the last one (or the last change of the interval).
std::int64_t g_minuteCounter = 0;
QPointer<QLineEdit> g_watchedInterval;

// A buffer the library filled, cut at its first NUL (never past its end), as
// text (decoded by table: the same text as cp932::decode gives).
QString bufferText(const char* p, std::size_t room) {
  return records::decodeField(std::string_view(p, ::strnlen(p, room)));
}

QString bufferText(const std::vector<char>& b) { return bufferText(b.data(), b.size()); }

std::string bufferBytes(const std::vector<char>& b) {
  const char* p = b.data();
  return std::string(p, ::strnlen(p, b.size()));
}

QString libraryMessage() {
  std::vector<char> buf(kTextBuffer, '\0');
  int size = kTextBuffer;
  NMailGetMessage(0, buf.data(), size);
  return bufferText(buf);
}

void errorBox(const QString& text) { seams::MsgBox(text, seams::vbOKOnly, kErrorTitle); }

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

// The boxes the check writes for every mail that are not on screen (the
// main window's boxes of the spam test, the viewer's while it is not shown)
// take their texts without laying them out for display meanwhile: that
// layout is most of what writing a box costs, and nobody sees it. Their
// texts, selections and signals are as ever; the display comes back when the
// session ends, or as soon as a box comes on screen.
class QuietBoxes {
 public:
  QuietBoxes() = default;
  QuietBoxes(const QuietBoxes&) = delete;
  QuietBoxes& operator=(const QuietBoxes&) = delete;
  ~QuietBoxes() {
    for (Entry& e : boxes_) restore(e);
  }
  void quiet(std::initializer_list<QLineEdit*> boxes) {
    for (QLineEdit* box : boxes) quiet(box);
  }

 private:
  struct Entry {
    QPointer<QLineEdit> box;
    QLineEdit::EchoMode echo;
    Qt::InputMethodHints hints;
    bool quiet;
  };
  void quiet(QLineEdit* box) {
    for (Entry& e : boxes_)
      if (e.box == box) {
        if (e.quiet && box->isVisible()) restore(e);
        return;
      }
    Entry e{box, box->echoMode(), box->inputMethodHints(), false};
    if (!box->isVisible() && e.echo == QLineEdit::Normal) {
      box->setEchoMode(QLineEdit::NoEcho);
      e.quiet = true;
    }
    boxes_.push_back(e);
  }
  static void restore(Entry& e) {
    if (e.quiet && e.box) {
      e.box->setEchoMode(e.echo);
      e.box->setInputMethodHints(e.hints);
    }
    e.quiet = false;
  }
  std::vector<Entry> boxes_;
};

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
  void attachmentPaths(QString& folderPath, QString& workPath) {
    if (!folder_.isEmpty() && QFileInfo(folder_).isDir()) {
      folderPath = folder_;
      workPath = work_;
      return;
    }
    const QString folder = paths::ensureFolder(kAttachmentFolder);
    folderPath = folder.isEmpty() ? paths::resolve(kAttachmentFolder) : folder;
    workPath = paths::resolve(kWorkFile);
    folder_ = folder;  // remembered only when the folder is there
    work_ = workPath;
  }

 private:
  QString folder_, work_;
};

// A box's text without its leading and trailing blanks, and where that
// part begins in the box.
struct Trimmed {
  QLineEdit* box;
  QString text;
  int lead = 0;
  explicit Trimmed(QLineEdit* b) : box(b), text(vb::Trim(b->text())) {
    const QString whole = b->text();
    while (lead < whole.size() && whole[lead] == u' ') ++lead;
  }
  // Looks for needle (not empty) in the trimmed text, exact code units, from
  // the first character; when found, selects it in the box.
  bool find(const QString& needle) const {
    const std::u16string_view hay(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
    const std::size_t found = hay.find(std::u16string_view(reinterpret_cast<const char16_t*>(needle.utf16()),
                                                           static_cast<std::size_t>(needle.size())));
    if (found == std::u16string_view::npos) return false;
    const auto pos = static_cast<qsizetype>(found);
    box->setSelection(lead + static_cast<int>(pos), static_cast<int>(needle.size()));
    return true;
  }
};

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

  const std::vector<records::SpamKeywordRecord>& current() {
    if (valid && turns == mailwait::turns()) return list;
    turns = mailwait::turns();
    struct stat now {};
    const bool exists = ::stat(path.constData(), &now) == 0;
    if (valid && exists && now.st_ino == seen.st_ino && now.st_size == seen.st_size &&
        now.st_mtim.tv_sec == seen.st_mtim.tv_sec && now.st_mtim.tv_nsec == seen.st_mtim.tv_nsec)
      return list;
    records::SpamKeywordFile file(records::kSpamKeywordFile);
    // No keywords to be had: every mail is kept.
    if (!file.readAll(list)) list.clear();
    trimmed.clear();
    trimmed.reserve(list.size());
    for (const records::SpamKeywordRecord& rec : list) trimmed.push_back(vb::Trim(rec.Keyword));
    path = QFile::encodeName(file.path());
    valid = ::stat(path.constData(), &seen) == 0;
    return list;
  }

  // Whether a keyword occurs in the subject or the sender (each without its
  // blanks), as the spam test below decides, without touching any box.
  bool hit(const QString& subject, const QString& from) {
    current();
    const QString s = vb::Trim(subject), f = vb::Trim(from);
    for (const QString& k : trimmed)
      if (!k.isEmpty() && (s.contains(k, Qt::CaseSensitive) || f.contains(k, Qt::CaseSensitive))) return true;
    return false;
  }
};

// The spam test of the mail in MainForm.Text10 / Text11: every keyword of
// the keyword file in record order, blank ones skipped; the first hit decides.
bool isSpam(forms::MainForm& m, Keywords& keywords) {
  const std::vector<records::SpamKeywordRecord>& all = keywords.current();
  const Trimmed subject(m.Text10), sender(m.Text11);
  bool hit = false;
  std::size_t tried = 0;  // the keyword tried last, + 1
  for (std::size_t k = 0; k < all.size(); ++k) {
    tried = k + 1;
    const QString& keyword = keywords.trimmed[k];
    if (keyword.isEmpty()) continue;
    if (subject.find(keyword) || sender.find(keyword)) {
      hit = true;
      break;
    }
  }
  // SpamKeywordRec and Text9 show the keyword tried last (the check does not
  // yield meanwhile).
  if (tried > 0) {
    SpamKeywordRec = all[tried - 1];
    m.Text9->setText(keywords.trimmed[tried - 1]);
  }
  return hit;
}

// True when the attachment step has nothing to do for a mail: a single-part
// text mail (no Content-Type, or text/...) without Content-Disposition, whose
// body holds no "attachment". The step would write no file and give back
// what the fetch gave; anything else goes through it.
bool nothingToUnpack(const std::string& header, const std::string& body) {
  if (body.find("attachment") != std::string::npos) return false;
  std::string h = header;
  for (char& c : h) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (h.find("content-disposition") != std::string::npos) return false;
  std::size_t at = std::string::npos;
  int fields = 0;
  for (std::size_t p = h.find("content-type:"); p != std::string::npos; p = h.find("content-type:", p + 1)) {
    if (p != 0 && h[p - 1] != '\n') continue;
    if (++fields == 1) at = p;
  }
  if (fields == 0) return true;
  if (fields > 1) return false;
  std::size_t v = at + 13;
  while (v < h.size() && (h[v] == ' ' || h[v] == '\t' || h[v] == '\r' || h[v] == '\n')) ++v;
  return h.compare(v, 5, "text/") == 0;
}

// The mail text handed to the attachment step: the header, the empty line
// and the body, taken line by line (CR LF or a lone CR ends a line), each
// line followed by CR LF. It is built in memory: nothing is written into the
// attachment folder but the attachments themselves. (No empty line is added
// after the body: the text part comes back as it was fetched.)
std::string mailTextOf(const std::string& header, const std::string& body) {
  const std::string joined = header + "\r\n" + body;
  std::string out;
  out.reserve(joined.size() + 64);
  std::size_t start = 0;
  while (start < joined.size()) {
    std::size_t cr = joined.find('\r', start);
    if (cr == std::string::npos) {
      out.append(joined, start, std::string::npos);
      out += "\r\n";
      break;
    }
    out.append(joined, start, cr - start);
    out += "\r\n";
    start = cr + 1;
    if (start < joined.size() && joined[start] == '\n') ++start;
  }
  return out;
}

// The number in the interval box; false when it holds none.
bool numberIn(const QString& text, double& value) {
  const QString t = vb::Trim(text);
  if (t.isEmpty()) return false;
  bool ok = false;
  if (t.startsWith(QStringLiteral("&H"), Qt::CaseInsensitive)) {
    value = static_cast<double>(t.mid(2).toLongLong(&ok, 16));
    return ok;
  }
  if (t.startsWith(QStringLiteral("&O"), Qt::CaseInsensitive)) {
    value = static_cast<double>(t.mid(2).toLongLong(&ok, 8));
    return ok;
  }
  value = QLocale::c().toDouble(t, &ok);
  return ok && std::isfinite(value);
}

// Restarts the minute counter whenever the interval box changes.
void watchInterval(QLineEdit* box) {
  if (g_watchedInterval == box) return;
  g_watchedInterval = box;
  QObject::connect(box, &QLineEdit::textChanged, box, [] { ResetAutoCheck(); });
}

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
  struct Taken {
    std::string id;
    int shown;
    bool spam;
    bool stranded = false;  // no later session can name it: it stays on the server
    bool refused = false;   // the server refused its deletion: not asked again
  };
  std::vector<Taken> taken;
  // Mails left on the server with a box (too large, or their answer broke
  // off), by unique id and by number in the session.
  std::set<std::string> leftIds;
  std::set<int> leftNos;
  // Why the conversation broke, when a mail's step said it.
  QString breakWhat, breakMessage;
};

QString mailNo(int i, int n) { return QStringLiteral("%1 / %2").arg(i).arg(n); }

// What the user has to know when the conversation broke: the mails stored
// so far are on the server still (no session end reached it) and come again.
QString brokenNote(int stored) {
  return QStringLiteral("サーバーとの接続が切れたため、受信したメール %1 通もサーバーから削除されていません。"
                        "次の受信で同じメールがもう一度届きます。")
      .arg(stored);
}

// The mails after the current one, tested for spam ahead (their headers
// come in one go) so that the retrievals of those that are kept are on
// their way before they are needed. Spam is never asked for. Only with a
// server that takes pipelined commands.
constexpr int kLookAhead = 100;

struct LookAhead {
  bool on = false;
  int next = 1;  // the next mail to test
  const std::vector<char>* take = nullptr;  // [no - 1]: 1 for the mails the session takes
  Buffers scratch;

  void upTo(int handle, int i, int n, Keywords& keywords) {
    const int last = static_cast<int>(std::min<long long>(n, static_cast<long long>(i) + kLookAhead - 1));
    while (on && next <= last) {
      const int j = next++;
      if (take && !(*take)[static_cast<std::size_t>(j - 1)]) continue;
      scratch.clear();
      // A failure here is met again in order, where it stops the check.
      if (NMailPop3GetMailStatus(handle, j, scratch.subject.data(), scratch.date.data(), scratch.from.data(),
                                 scratch.header.data(), 0) < 0) {
        on = false;
        break;
      }
      if (keywords.hit(bufferText(scratch.subject), bufferText(scratch.from))) continue;
      if (NMailPop3FetchAhead(handle, j) < 0) on = false;
    }
  }
};

// The files a mail's attachment step writes into the attachment folder
// (and its split-mail folder), as the library names them, so
// that they can be taken away again when the mail is not stored after all:
// it stays on the server and brings them again.
class NewFiles {
 public:
  // Called once the library has made the mail's files: takes their names.
  void take() {
    paths_.clear();
    std::vector<char> path(4096);
    for (int i = 0;; ++i) {
      int r = NMailAttachmentWrittenFile(0, i, path.data(), static_cast<int>(path.size()));
      if (r == NMAIL_ERR_BUFFER) {
        path.resize(path.size() * 4);
        r = NMailAttachmentWrittenFile(0, i, path.data(), static_cast<int>(path.size()));
      }
      if (r < 0) break;
      paths_ << QFile::decodeName(path.data());
    }
  }
  void removeNew() const {
    for (const QString& p : paths_) QFile::remove(p);
  }
  // The files of a stored mail, and their folders, go to disk with the
  // records of the session, before its end lets the server delete the mail.
  void flushWithTheRecords() const {
    for (const QString& p : paths_) {
      const std::string file = QFile::encodeName(p).toStdString();
      records::FlushBatch::defer(file);
      const std::size_t slash = file.rfind('/');
      if (slash != std::string::npos) records::FlushBatch::defer(file.substr(0, slash == 0 ? 1 : slash));
    }
  }

 private:
  QStringList paths_;
};

// Fetches mail i whole into the buffers and body. The body buffer holds the
// size the server gives, a modest one at most; a longer body is cut to it
// (NMAIL_CUT), and the attachment step reads the mail as it came.
int fetchMail(int handle, int i, Buffers& b, std::vector<char>& body) {
  int size = NMailPop3GetMailSize(handle, i);
  if (size < 0) return size;
  int room = std::min(size, kFirstBody) + 1;
  int r = NMAIL_ERR_BUFFER;
  for (int tries = 0; tries < 2 && r == NMAIL_ERR_BUFFER; ++tries) {
    std::vector<char>().swap(body);
    body.assign(static_cast<std::size_t>(room), ' ');
    r = NMailPop3GetMail(handle, i, b.subject.data(), b.date.data(), b.from.data(), b.header.data(), body.data(),
                         NMAIL_FETCH_BUFFER_SIZE | NMAIL_FETCH_TEXT_HEAD, room);
    if (r != NMAIL_ERR_BUFFER) break;
    size = NMailPop3GetMailSize(handle, i);
    if (size < 0) return size;
    if (size >= 0x7FFFFFFF) return NMAIL_ERR_BUFFER;
    room = size + 1;
  }
  return r;
}

// Fetches, tests, stores and deletes mail i of the session (shown as
// "shown / out.total", unique id id); false when the check has to stop (the
// reason is in out.errors). A conversation that breaks sets out.broken and
// leaves what to say to the caller, which connects again.
bool handleMail(int handle, int i, int shown, const std::string& id, Outcome& out, Keywords& keywords,
                Session& session) {
  forms::MainForm& m = ::MainForm();
  Buffers& b = session.buffers;
  b.clear();
  const int n = out.total;
  // A failure of the library: the mail and those after it stay on the server.
  auto stop = [&](int result, const QString& what) {
    if (result == NMAIL_ERR_IO) {
      out.broken = true;
      out.breakWhat = what;
      out.breakMessage = libraryMessage();
      return false;
    }
    out.errors << what + QStringLiteral("\r\n") + libraryMessage();
    return false;
  };
  auto notFetched = [&] {
    return QStringLiteral("メール %1 を受信できませんでした。このメールから後はサーバーに残してあります。").arg(mailNo(shown, n));
  };
  // A mail too large to take is left on the server, named in a box; the
  // check goes on with the mails after it.
  auto fetchFailed = [&](int result) {
    if (result != NMAIL_ERR_TOO_LARGE) return stop(result, notFetched());
    QString named;
    const QString subject = bufferText(b.subject), from = bufferText(b.from);
    if (!subject.isEmpty() || !from.isEmpty())
      named = QStringLiteral("件名「%1」、差出人「%2」。").arg(vb::Trim(subject), vb::Trim(from));
    out.errors << QStringLiteral("メール %1 は大きすぎるため受信できません。%2このメールはサーバーに残し、後のメールの受信を続けました。\r\n")
                          .arg(mailNo(shown, n), named) +
                      libraryMessage();
    ++out.skipped;
    if (!id.empty()) out.leftIds.insert(id);
    out.leftNos.insert(i);
    return true;
  };

  session.boxes.quiet({m.Text9, m.Text10, m.Text11});

  // Status and spam test. A server that gives no header alone (TOP is
  // optional), or a header too large to take: the whole mail serves for
  // the test.
  std::vector<char> body;
  bool cut = false;  // the body is the beginning of the mail's
  int r = NMailPop3GetMailStatus(handle, i, b.subject.data(), b.date.data(), b.from.data(), b.header.data(), 0);
  const bool wholeForTest = r == NMAIL_ERR_PROTOCOL || r == NMAIL_ERR_TOO_LARGE;
  if (r < 0 && !wholeForTest) return stop(r, notFetched());
  if (wholeForTest) {
    b.clear();
    r = fetchMail(handle, i, b, body);
    if (r < 0) return fetchFailed(r);
    cut = r == NMAIL_CUT;
  }
  m.Text10->setText(bufferText(b.subject));
  m.Text11->setText(bufferText(b.from));
  if (isSpam(m, keywords)) {
    ++out.spam;
    m.Text17->setText(QString::number(out.spam));
    r = NMailPop3DeleteAhead(handle, i);
    ++out.handled;
    out.taken.push_back({id, shown, true});
    // The conversation broke: the mails that came whole before are stored all the same.
    if (r == NMAIL_ERR_IO) {
      out.broken = true;
      return true;
    }
    if (r < 0) return stop(r, QStringLiteral("迷惑メール %1 をサーバーから削除できませんでした。").arg(mailNo(shown, n)));
    out.deleted.push_back({i, shown, true});
    return true;
  }

  // Fetch. A mail longer than its size said (bare LF line ends) is taken
  // whole with the size it came with.
  if (!wholeForTest) {
    r = fetchMail(handle, i, b, body);
    if (r < 0) return fetchFailed(r);
    cut = r == NMAIL_CUT;
  }
  const std::string fetched = bufferBytes(body);
  const bool hasAttachment = fetched.find("attachment") != std::string::npos;
  // The body to store: the fetched one, or the unpacked one.
  const char* text = body.data();
  std::size_t textRoom = body.size();

  // Attachments. A mail whose files could not be written stays on the
  // server, as one that could not be stored, and so do none of its files.
  NewFiles written;
  // A text longer than a record holds goes into a file there as well.
  if (cut || fetched.size() > static_cast<std::size_t>(kTextInRecord) || !nothingToUnpack(bufferBytes(b.header), fetched)) {
    QString folderPath, workPath;
    session.attachmentPaths(folderPath, workPath);
    const std::string mailText = mailTextOf(bufferBytes(b.header), fetched);
    const std::size_t need = std::max<std::size_t>(mailText.size() + 1, kUnpackedBody);
    if (session.unpackedSize < need) {
      session.unpacked.reset();
      session.unpacked.reset(new char[need]);
      session.unpackedSize = need;
    }
    session.unpacked[0] = '\0';
    text = session.unpacked.get();
    textRoom = session.unpackedSize;
    r = NMailAttachmentFileFirst(0, b.subject.data(), b.date.data(), b.from.data(), b.header.data(),
                                 session.unpacked.get(),
                                 QFile::encodeName(folderPath).constData(), QFile::encodeName(workPath).constData(),
                                 mailText.c_str(), records::FlushBatch::active() ? NMAIL_ATTACH_FLUSH_LATER : 0);
    NMailAttachmentFileClose(0);
    written.take();
    if (r == NMAIL_ERR_FILE) {
      const bool result = stop(r, QStringLiteral("メール %1 の添付ファイルをオープンできません。このメールから後はサーバーに残してあります。")
                                     .arg(mailNo(shown, n)));
      written.removeNew();
      return result;
    }
    if (r == NMAIL_ERR_PARTIAL) {
      seams::MsgBox(QStringLiteral("分割されたメールが全て揃っていません"), seams::vbOKOnly);
      keywords.valid = false;  // the keyword window may have been used meanwhile
    }
  }

  // The viewer's boxes are the record buffer.
  forms::TyakuForm& t = ::TyakuForm();
  session.boxes.quiet({t.Text7, t.Text8, t.Text9});
  t.Text7->setText(bufferText(b.subject));
  t.Text8->setText(bufferText(b.from));
  t.Text9->setText(bufferText(b.date));
  QString bodyText = bufferText(text, textRoom);
  if (hasAttachment) bodyText += QStringLiteral("\r\n") + QString::fromUtf16(kAttachmentNotice);
  SetEditorText(t.rtfEd, bodyText);

  // Routing: the VIP room when the sender holds the VIP address (an address
  // of only blanks is none).
  const QString vipAddress = vb::Trim(::SetForm().Text3->text());
  const bool toVip = !vipAddress.isEmpty() && Trimmed(m.Text11).find(vipAddress);
  const QString& listFile = toVip ? records::kVipFile : records::kReceivedFile;
  records::MailFile list(listFile);
  const int count = list.count();
  QString error;
  bool stored = false;
  if (count < 0) {
    error = list.errorText();
  } else if (count >= records::kMaxRecords) {
    error = QStringLiteral("一覧のメールが %1 件に達しています。").arg(records::kMaxRecords);
  } else {
    const auto no = static_cast<std::int16_t>(count + 1);
    stored = toVip ? SaveVipMail(no, &error) : SaveReceivedMail(no, &error);
    if (stored) CurrentRecordNo = no;
  }
  if (!stored) {
    written.removeNew();
    out.errors << QStringLiteral("メール %1 を保存できませんでした。このメールから後はサーバーに残してあります。\r\n")
                          .arg(mailNo(shown, n)) +
                      error;
    return false;
  }
  written.flushWithTheRecords();
  ++out.stored;
  ++out.handled;
  out.taken.push_back({id, shown, false});
  if (toVip) {
    ++out.vip;
    m.Text16->setText(QString::number(out.vip));
    m.Check3->setChecked(true);
  }

  // Deleted on the server only now that it is stored; a refusal is read
  // with the other answers at the end.
  r = NMailPop3DeleteAhead(handle, i);
  // The conversation broke: the mails that came whole before are stored
  // all the same; the box at the end says they stay on the server.
  if (r == NMAIL_ERR_IO) {
    out.broken = true;
    return true;
  }
  if (r < 0) return stop(r, QStringLiteral("メール %1 は保存しましたが、サーバーから削除できませんでした。").arg(mailNo(shown, n)));
  out.deleted.push_back({i, shown, false});
  return true;
}

// The server's answers to the deletions: a refused one leaves its mail on
// the server (a stored mail comes again at the next check), a broken
// conversation all of them.
void readDeletions(int handle, Outcome& out) {
  QStringList kept, spamKept;
  QString reason;
  for (const Outcome::Deleted& d : out.deleted) {
    const int r = NMailPop3GetDeleteResult(handle, d.no);
    if (r == NMAIL_SUCCESS) continue;
    if (r == NMAIL_ERR_IO) {
      out.broken = true;
      out.breakMessage = libraryMessage();
      return;
    }
    if (reason.isEmpty()) reason = libraryMessage();
    (d.spam ? spamKept : kept) << mailNo(d.shown, out.total);
    for (Outcome::Taken& t : out.taken)
      if (t.shown == d.shown) t.refused = true;
  }
  QStringList lines;
  if (!kept.isEmpty())
    lines << QStringLiteral("メール %1 は保存しましたが、サーバーが削除を断ったため、サーバーに残っています。"
                            "次の受信で同じメールがもう一度届きます。")
                 .arg(kept.join(QStringLiteral("、")));
  if (!spamKept.isEmpty())
    lines << QStringLiteral("迷惑メール %1 をサーバーから削除できませんでした。").arg(spamKept.join(QStringLiteral("、")));
  if (!lines.isEmpty()) out.errors << lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n") + reason;
}

// New connections one check makes at most after its conversation broke.
constexpr int kMaxReconnects = 3;

// Logs in with the check's account (APOP as set): the mails waiting, or < 0.
int login(int handle) {
  return NMailPop3Authenticate(handle, cp932::encode(UserId).c_str(), cp932::encode(UserPassword).c_str(),
                               UseApop != 0 ? -1 : 0);
}

// What one session takes: its mails, named by their unique ids when the
// server gives them, and the numbers the boxes show.
struct Plan {
  int count = 0;
  std::vector<std::string> ids;  // [no - 1]; empty when the server names none
  std::vector<char> take;        // [no - 1]: 1 for a mail the session takes
  std::vector<int> shown;        // [no - 1]

  void all(int n) {
    count = std::max(n, 0);
    ids.clear();
    take.assign(static_cast<std::size_t>(count), 1);
    shown.resize(static_cast<std::size_t>(count));
    for (int j = 0; j < count; ++j) shown[static_cast<std::size_t>(j)] = j + 1;
  }
  std::string idOf(int no) const { return ids.empty() ? std::string() : ids[static_cast<std::size_t>(no - 1)]; }
};

// The unique ids of the session's mails (UIDL, one listing). NMAIL_SUCCESS,
// NMAIL_ERR_PROTOCOL when the server gives none, NMAIL_ERR_IO when the
// conversation broke.
int uniqueIds(int handle, Plan& plan) {
  plan.ids.assign(static_cast<std::size_t>(plan.count), std::string());
  std::vector<char> id(128);
  for (int j = 1; j <= plan.count; ++j) {
    const int r = NMailPop3GetUidl(handle, j, id.data(), static_cast<int>(id.size()));
    if (r > 0) {
      plan.ids[static_cast<std::size_t>(j - 1)] = id.data();
    } else if (r == NMAIL_ERR_PROTOCOL || r == NMAIL_ERR_IO) {
      plan.ids.clear();
      return r;
    }
  }
  return NMAIL_SUCCESS;
}

// The session after a break: the deletions the broken one took with it are
// asked for again, each mail found by its unique id (a mail gone from the
// server meanwhile is passed over), and the session takes the mails not
// yet taken nor left. Without unique ids no mail taken before can be named
// (they stay on the server), and the session takes the mails from number
// resume on, as the broken one numbered them.
void planAgain(int handle, Plan& plan, Outcome& out, std::map<std::string, int>& shownOf, int resume, bool more) {
  plan.take.assign(static_cast<std::size_t>(plan.count), 0);
  plan.shown.assign(static_cast<std::size_t>(plan.count), 0);
  if (plan.count == 0) return;  // the mails taken are gone from the server
  if (plan.ids.empty()) {
    for (Outcome::Taken& t : out.taken) t.stranded = !t.refused;
    for (int j = std::max(resume, 1); more && j <= plan.count; ++j) {
      plan.take[static_cast<std::size_t>(j - 1)] = !out.leftNos.count(j);
      plan.shown[static_cast<std::size_t>(j - 1)] = j;
    }
    out.total = std::max(out.total, plan.count);
    return;
  }
  std::map<std::string, int> noOf;
  for (int j = 1; j <= plan.count; ++j)
    if (!plan.idOf(j).empty()) noOf.emplace(plan.idOf(j), j);
  std::set<std::string> takenIds;
  for (Outcome::Taken& t : out.taken) {
    if (!t.id.empty()) takenIds.insert(t.id);
    if (t.stranded || t.refused) continue;
    if (t.id.empty()) {
      t.stranded = true;
      continue;
    }
    const auto it = noOf.find(t.id);
    if (it == noOf.end()) continue;
    const int r = NMailPop3DeleteAhead(handle, it->second);
    if (r == NMAIL_ERR_IO) {
      out.broken = true;
      out.breakMessage = libraryMessage();
      return;
    }
    if (r == NMAIL_SUCCESS) out.deleted.push_back({it->second, t.shown, t.spam});
  }
  for (int j = 1; more && j <= plan.count; ++j) {
    const std::string id = plan.idOf(j);
    if (!id.empty() && (takenIds.count(id) || out.leftIds.count(id))) continue;
    plan.take[static_cast<std::size_t>(j - 1)] = 1;
    // A mail that came meanwhile goes on from the last number shown.
    int& shown = plan.shown[static_cast<std::size_t>(j - 1)];
    const auto known = id.empty() ? shownOf.end() : shownOf.find(id);
    if (known != shownOf.end()) {
      shown = known->second;
    } else {
      shown = ++out.total;
      if (!id.empty()) shownOf.emplace(id, shown);
    }
  }
}

// "件名「…」、差出人「…」。" of mail no when its header came before the break.
QString namedBy(int handle, int no) {
  Buffers b;
  if (no < 1 || NMailPop3GetMailStatus(handle, no, b.subject.data(), b.date.data(), b.from.data(), b.header.data(), 0) !=
                    NMAIL_SUCCESS)
    return QString();
  return QStringLiteral("件名「%1」、差出人「%2」。").arg(vb::Trim(bufferText(b.subject)), vb::Trim(bufferText(b.from)));
}

Outcome converse() {
  Outcome out;
  if (PopServer.isEmpty()) return out;
  const std::string server = cp932::encode(PopServer);
  int handle = NMailPop3Connect(server.c_str());
  if (handle == -1) return out;

  // The account, read afresh at every check.
  const QString id = settings::readAccountText(settings::idkey::UserId);
  const QString password = settings::readAccountText(settings::idkey::Password);
  forms::SetForm& s = ::SetForm();
  s.IdText->setText(id);
  s.PassText->setText(password);
  UserId = id;
  UserPassword = password;

  if (id.isEmpty() || password.isEmpty()) {
    s.Show();
  } else {
    // The buffers above hold kTextBuffer bytes; the library fills no more.
    NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, kTextBuffer);
    NMailSetOption(NMAIL_OPTION_UNPACKED_BODY_SIZE, kUnpackedBody);
    NMailSetOption(NMAIL_OPTION_TEXT_FILE_ABOVE, kTextInRecord);
    out.waiting = login(handle);
    if (out.waiting < 0) out.errors << libraryMessage();
    out.total = std::max(out.waiting, 0);
    Keywords keywords;
    // The lists' paths are resolved once for the whole session.
    records::PathMemo listPaths;
    // The stored mails reach the disk together, before the session's end
    // lets the server delete them.
    records::FlushBatch flush;
    Session session;
    // A conversation that breaks in a mail's answer (one that never ends,
    // comes too slowly, or is cut) costs neither the mails before it nor
    // those after: the check connects again, asks again for the deletions
    // the broken session took with it (matched by unique id), leaves that
    // mail on the server with a box, and goes on with the others.
    Plan plan;
    plan.all(out.waiting);
    bool uidl = true;                   // the server names its mails, as far as is known
    std::map<std::string, int> shownOf;  // unique id -> the number shown
    int reconnects = 0;
    int resume = 1;
    bool more = true;  // the mails not yet taken are to come (no mail stopped the check)
    for (;;) {
      if (uidl && plan.count > 0) {
        const int r = uniqueIds(handle, plan);
        // (A listing that broke the conversation is not asked for again:
        // the sessions after go by number.)
        if (r == NMAIL_ERR_PROTOCOL || r == NMAIL_ERR_IO) uidl = false;
        if (r == NMAIL_ERR_IO) {
          out.broken = true;
          out.breakMessage = libraryMessage();
        }
      }
      // Nothing taken or left yet (the first session, or one that broke
      // before its first mail): the mails are numbered as they are here.
      const bool fresh = out.taken.empty() && out.leftNos.empty();
      if (!out.broken && fresh) {
        shownOf.clear();
        out.total = plan.count;
        for (int j = 1; j <= plan.count; ++j)
          if (!plan.idOf(j).empty()) shownOf.emplace(plan.idOf(j), j);
      } else if (!out.broken) {
        // The records taken so far are on disk before their deletions go out again.
        if (!out.taken.empty() && !flush.commit(&mailwait::turnIfDue)) {
          out.errors << QStringLiteral("受信したメールをディスクに書き込めませんでした。サーバーのメールは削除していません。\r\n") +
                            flush.errorText();
          return out;
        }
        planAgain(handle, plan, out, shownOf, resume, more);
      }
      int at = 0;  // the mail under way when the conversation broke
      bool atDone = false;
      if (!out.broken) {
        LookAhead ahead;
        ahead.on = NMailPop3CanPipeline(handle) == 1;
        ahead.take = &plan.take;
        for (int i = 1; i <= plan.count; ++i) {
          if (!plan.take[static_cast<std::size_t>(i - 1)]) continue;
          ahead.upTo(handle, i, plan.count, keywords);
          const int before = out.handled;
          const bool go = handleMail(handle, i, plan.shown[static_cast<std::size_t>(i - 1)], plan.idOf(i), out,
                                     keywords, session);
          if (out.broken) {
            at = i;
            atDone = out.handled > before;
            break;
          }
          if (!go) {
            out.stopped = true;
            more = false;
            break;
          }
        }
      }
      if (!out.broken) {
        // The end of the session. The records are on disk first: QUIT goes
        // out behind the last deletion, and the deletions' answers are read
        // before its own.
        if (!flush.commit(&mailwait::turnIfDue)) {
          // Ended without QUIT: the server deletes nothing.
          out.errors << QStringLiteral("受信したメールをディスクに書き込めませんでした。サーバーのメールは削除していません。\r\n") +
                            flush.errorText();
          return out;
        }
        NMailPop3SendQuit(handle);
        readDeletions(handle, out);
        at = plan.count + 1;  // every mail of the session is behind
        if (!out.broken) {
          // Ends the session; the deletions take effect. A session end the
          // server did not confirm may have deleted nothing: a new session
          // finds out by the unique ids, or the box says so.
          const bool confirmed = NMailPop3Close(handle) >= 0 || out.deleted.empty();
          handle = -1;
          if (confirmed) break;
          out.broken = true;
          out.breakMessage = libraryMessage();
          if (!uidl) {
            const int spamDeleted = static_cast<int>(std::count_if(
                out.deleted.begin(), out.deleted.end(), [](const Outcome::Deleted& d) { return d.spam; }));
            QString text = QStringLiteral("サーバーが受信の終わりを確かめなかったため、削除はサーバーに伝わっていません。");
            if (out.stored > 0)
              text += QStringLiteral("受信したメール %1 通は保存しましたが、サーバーに残っています。次の受信で同じメールがもう一度届きます。")
                          .arg(out.stored);
            if (spamDeleted > 0) text += QStringLiteral("迷惑メール %1 通もサーバーに残っています。").arg(spamDeleted);
            out.errors << text + QStringLiteral("\r\n") + out.breakMessage;
            out.brokenNoted = true;
            break;
          }
        }
      }

      // The conversation broke: the mail whose answer broke off stays on
      // the server; a new connection takes the rest.
      if (out.breakMessage.isEmpty()) out.breakMessage = libraryMessage();
      const int culprit = handle == -1 ? 0 : NMailPop3GetBrokenMail(handle);
      const bool named = culprit >= 1 && culprit <= plan.count;
      const QString culpritText =
          named ? QStringLiteral("メール %1 を最後まで受信できませんでした。%2")
                      .arg(mailNo(plan.shown[static_cast<std::size_t>(culprit - 1)], out.total), namedBy(handle, culprit))
                : QString();
      if (named) {
        out.leftNos.insert(culprit);
        if (!plan.idOf(culprit).empty()) out.leftIds.insert(plan.idOf(culprit));
      }
      // The first mail of this session not yet taken.
      resume = plan.count + 1;
      for (int j = std::max(at, 1); more && j <= plan.count; ++j)
        if (plan.take[static_cast<std::size_t>(j - 1)] && !(j == at && atDone) && !(named && j == culprit)) {
          resume = j;
          break;
        }
      if (handle != -1) NMailPop3Close(handle);  // (broken: without QUIT)
      handle = -1;
      // A new connection has something to do: deletions to ask for again
      // by unique id, or mails still to come.
      const bool worth = uidl || resume <= plan.count;
      QString why;
      int waiting = -1;
      if (!worth) {
      } else if (reconnects >= kMaxReconnects) {
        why = QStringLiteral("1 回の受信で接続し直すのは %1 回までです。").arg(kMaxReconnects);
      } else {
        ++reconnects;
        handle = NMailPop3Connect(server.c_str());
        if (handle != -1) {
          waiting = login(handle);
          if (waiting < 0) {
            why = libraryMessage();
            NMailPop3Close(handle);
            handle = -1;
          }
        } else {
          why = libraryMessage();
        }
      }
      if (handle == -1) {
        // No new connection: what stayed on the server is said exactly.
        QStringList lines;
        if (named) lines << culpritText;
        else if (!out.breakWhat.isEmpty()) lines << out.breakWhat;
        const int firstLeft = named ? std::min(culprit, resume) : resume;
        if (firstLeft <= plan.count && (named || out.breakWhat.isEmpty()))
          lines << QStringLiteral("メール %1 から後はサーバーに残してあります。")
                       .arg(mailNo(plan.shown[static_cast<std::size_t>(firstLeft - 1)], out.total));
        if (out.stored > 0) lines << brokenNote(out.stored);
        lines << out.breakMessage;
        if (worth) lines << QStringLiteral("接続し直せませんでした: ") + why;
        if (lines.size() > 1 || named || !out.breakWhat.isEmpty() || out.stored > 0)
          out.errors << lines.join(QStringLiteral("\r\n"));
        out.brokenNoted = true;
        break;
      }
      if (named)
        out.errors << culpritText +
                          QStringLiteral("このメールはサーバーに残し、接続し直して後のメールの受信を続けました。\r\n") +
                          out.breakMessage;
      out.broken = false;
      out.breakWhat.clear();
      out.breakMessage.clear();
      out.deleted.clear();
      plan.all(waiting);
    }
  }
  // (A check without login ends its session here.)
  if (handle != -1) NMailPop3Close(handle);
  // Mails taken before a break that no later session could name (the
  // server gives no unique ids) stay on the server.
  if (!out.broken) {
    int stranded = 0, strandedSpam = 0;
    for (const Outcome::Taken& t : out.taken)
      if (t.stranded) ++(t.spam ? strandedSpam : stranded);
    QString text;
    if (stranded > 0)
      text += QStringLiteral("サーバーがメールの UIDL を示さないため、接続が切れる前に受信したメール %1 通はサーバーから削除できませんでした。"
                             "次の受信で同じメールがもう一度届きます。")
                  .arg(stranded);
    if (strandedSpam > 0) text += QStringLiteral("迷惑メール %1 通もサーバーに残っています。").arg(strandedSpam);
    if (!text.isEmpty()) out.errors << text;
  }
  return out;
}

}  // namespace

bool MailCheckRunning() { return g_running; }

void setStartPasswordPending(std::function<bool()> pending) { g_passwordPending = std::move(pending); }

bool startPasswordPending() {
  if (g_passwordPending) return g_passwordPending();
  return StartPasswordPending() || (MainFormLoaded() && ::MainForm().startHidden());
}

void ReceiveMail() {
  if (g_running || startPasswordPending()) return;
  g_running = true;
  struct Done {
    ~Done() { g_running = false; }
  } done;

  forms::MainForm& m = ::MainForm();
  const Outcome out = converse();
  for (const QString& e : out.errors) errorBox(e);
  // Mails that came: those stored or deleted as spam (all that were
  // waiting but those left on the server), or the login's result.
  const int n = out.waiting > 0 ? out.handled : out.waiting;

  // Running total of new mails: Text14 carries it from check to check, so
  // that every mail found since the start counts (also when a write failed).
  const auto total = static_cast<long long>(std::llround(vb::Val(m.Text14->text()))) + (n > 0 ? n : 0);
  m.Text14->setText(QString::number(total));
  settings::writeNumber(settings::key::MailTotal, total);

  if (n > 0) {
    if (out.spam == 0) m.Command4_Click();
    else m.Command1_Click();
    return;
  }

  m.Text17->setText(QStringLiteral("0"));
  m.Text16->setText(QStringLiteral("0"));
  if (::SetForm().Check2->isChecked()) m.Command2_Click();
  m.Text15->setText(QString::number(std::max(records::MailFile(records::kVipFile).count(), 0)));
  ::MsgForm().Show();
  m.Wait(3000);
  if (MsgFormLoaded()) ::MsgForm().Unload();
}

void ResetAutoCheck() { g_minuteCounter = 0; }

void AutoCheckTick() {
  // The minutes stand still while a check runs or the password is asked for.
  if (g_running || startPasswordPending()) return;
  forms::SetForm& s = ::SetForm();
  watchInterval(s.Text6);
  const QString interval = s.Text6->text();
  double minutes = 0;
  if (!numberIn(interval, minutes)) return;
  if (minutes <= 0) return;
  ++g_minuteCounter;
  forms::MainForm& m = ::MainForm();
  m.timeLabel1->setText(QString::number(g_minuteCounter / 60));
  // The minutes are compared as numbers, so that "05" or "5.0" work as 5
  // does; a part of a minute waits for the next whole one.
  if (g_minuteCounter / 60 < minutes) return;
  g_minuteCounter = 0;
  m.Label8_Click();
}
