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
constexpr int kUnpackedBody = 1 << 20;
// The body buffer of a fetch at first, at most: it grows with what comes,
// never with the size a server claims.
constexpr int kFirstBody = 1 << 20;

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
    int no;
    bool spam;
  };
  std::vector<Deleted> deleted;  // the mails whose deletion went out, in order
  QStringList errors;            // the "エラー" boxes, shown once the session is over
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
  Buffers scratch;

  void upTo(int handle, int i, int n, Keywords& keywords) {
    const int last = static_cast<int>(std::min<long long>(n, static_cast<long long>(i) + kLookAhead - 1));
    while (on && next <= last) {
      const int j = next++;
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

// Fetches mail i whole into the buffers and body. The body buffer starts at
// the size the server gives, a modest one at most, and is made as large as
// the mail really is when it did not fit.
int fetchMail(int handle, int i, Buffers& b, std::vector<char>& body) {
  int size = NMailPop3GetMailSize(handle, i);
  if (size < 0) return size;
  int room = std::min(size, kFirstBody) + 1;
  int r = NMAIL_ERR_BUFFER;
  for (int tries = 0; tries < 2 && r == NMAIL_ERR_BUFFER; ++tries) {
    std::vector<char>().swap(body);
    body.assign(static_cast<std::size_t>(room), ' ');
    r = NMailPop3GetMail(handle, i, b.subject.data(), b.date.data(), b.from.data(), b.header.data(), body.data(),
                         NMAIL_FETCH_BUFFER_SIZE, room);
    if (r != NMAIL_ERR_BUFFER) break;
    size = NMailPop3GetMailSize(handle, i);
    if (size < 0) return size;
    if (size >= 0x7FFFFFFF) return NMAIL_ERR_BUFFER;
    room = size + 1;
  }
  return r;
}

// Fetches, tests, stores and deletes mail i; false when the check has to stop
// (the reason is in out.errors).
bool handleMail(int handle, int i, int n, Outcome& out, Keywords& keywords, Session& session) {
  forms::MainForm& m = ::MainForm();
  Buffers& b = session.buffers;
  b.clear();
  // A failure of the library: the mail and those after it stay on the server.
  auto stop = [&](int result, const QString& what) {
    QString text = what;
    if (result == NMAIL_ERR_IO) {
      out.broken = true;
      if (out.stored > 0) {
        text += QStringLiteral("\r\n") + brokenNote(out.stored);
        out.brokenNoted = true;
      }
    }
    out.errors << text + QStringLiteral("\r\n") + libraryMessage();
    return false;
  };
  auto notFetched = [&] {
    return QStringLiteral("メール %1 を受信できませんでした。このメールから後はサーバーに残してあります。").arg(mailNo(i, n));
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
                          .arg(mailNo(i, n), named) +
                      libraryMessage();
    ++out.skipped;
    return true;
  };

  session.boxes.quiet({m.Text9, m.Text10, m.Text11});

  // Status and spam test. A server that gives no header alone (TOP is
  // optional), or a header too large to take: the whole mail serves for
  // the test.
  std::vector<char> body;
  int r = NMailPop3GetMailStatus(handle, i, b.subject.data(), b.date.data(), b.from.data(), b.header.data(), 0);
  const bool wholeForTest = r == NMAIL_ERR_PROTOCOL || r == NMAIL_ERR_TOO_LARGE;
  if (r < 0 && !wholeForTest) return stop(r, notFetched());
  if (wholeForTest) {
    b.clear();
    r = fetchMail(handle, i, b, body);
    if (r < 0) return fetchFailed(r);
  }
  m.Text10->setText(bufferText(b.subject));
  m.Text11->setText(bufferText(b.from));
  if (isSpam(m, keywords)) {
    ++out.spam;
    m.Text17->setText(QString::number(out.spam));
    r = NMailPop3DeleteAhead(handle, i);
    ++out.handled;
    // The conversation broke: the mails that came whole before are stored all the same.
    if (r == NMAIL_ERR_IO) {
      out.broken = true;
      return true;
    }
    if (r < 0) return stop(r, QStringLiteral("迷惑メール %1 をサーバーから削除できませんでした。").arg(mailNo(i, n)));
    out.deleted.push_back({i, true});
    return true;
  }

  // Fetch. A mail longer than its size said (bare LF line ends) is taken
  // whole with the size it came with.
  if (!wholeForTest) {
    r = fetchMail(handle, i, b, body);
    if (r < 0) return fetchFailed(r);
  }
  const std::string fetched = bufferBytes(body);
  const bool hasAttachment = fetched.find("attachment") != std::string::npos;
  // The body to store: the fetched one, or the unpacked one.
  const char* text = body.data();
  std::size_t textRoom = body.size();

  // Attachments. A mail whose files could not be written stays on the
  // server, as one that could not be stored, and so do none of its files.
  NewFiles written;
  if (!nothingToUnpack(bufferBytes(b.header), fetched)) {
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
                                     .arg(mailNo(i, n)));
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
                          .arg(mailNo(i, n)) +
                      error;
    return false;
  }
  written.flushWithTheRecords();
  ++out.stored;
  ++out.handled;
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
  if (r < 0) return stop(r, QStringLiteral("メール %1 は保存しましたが、サーバーから削除できませんでした。").arg(mailNo(i, n)));
  out.deleted.push_back({i, false});
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
      if (out.stored > 0) out.errors << brokenNote(out.stored) + QStringLiteral("\r\n") + libraryMessage();
      out.brokenNoted = true;
      return;
    }
    if (reason.isEmpty()) reason = libraryMessage();
    (d.spam ? spamKept : kept) << mailNo(d.no, out.waiting);
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

Outcome converse() {
  Outcome out;
  if (PopServer.isEmpty()) return out;
  const int handle = NMailPop3Connect(cp932::encode(PopServer).c_str());
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
    out.waiting = NMailPop3Authenticate(handle, cp932::encode(UserId).c_str(), cp932::encode(UserPassword).c_str(),
                                        UseApop != 0 ? -1 : 0);
    if (out.waiting < 0) out.errors << libraryMessage();
    Keywords keywords;
    // The lists' paths are resolved once for the whole session.
    records::PathMemo listPaths;
    // The stored mails reach the disk together, before the session's end
    // lets the server delete them.
    records::FlushBatch flush;
    Session session;
    LookAhead ahead;
    ahead.on = NMailPop3CanPipeline(handle) == 1;
    for (int i = 1; i <= out.waiting; ++i) {
      ahead.upTo(handle, i, out.waiting, keywords);
      if (!handleMail(handle, i, out.waiting, out, keywords, session)) {
        out.stopped = true;
        break;
      }
    }
    if (out.broken && !out.brokenNoted && out.stored > 0) {
      out.errors << brokenNote(out.stored) + QStringLiteral("\r\n") + libraryMessage();
      out.brokenNoted = true;
    }
    if (!flush.commit(&mailwait::turnIfDue)) {
      // Ended without QUIT: the server deletes nothing.
      out.errors << QStringLiteral("受信したメールをディスクに書き込めませんでした。サーバーのメールは削除していません。\r\n") +
                        flush.errorText();
      return out;
    }
    // The records are on disk: QUIT goes out behind the last deletion, and
    // the deletions' answers are read before its own.
    if (!out.broken) {
      NMailPop3SendQuit(handle);
      readDeletions(handle, out);
    }
  }
  // Ends the session; the deletions of the mails stored so far take effect
  // (a broken conversation ends without them). A session end the server
  // did not confirm deleted nothing: said as for a broken conversation.
  if (NMailPop3Close(handle) < 0 && !out.broken && !out.deleted.empty()) {
    out.broken = true;
    const int spamDeleted = static_cast<int>(
        std::count_if(out.deleted.begin(), out.deleted.end(), [](const Outcome::Deleted& d) { return d.spam; }));
    QString text = QStringLiteral("サーバーが受信の終わりを確かめなかったため、削除はサーバーに伝わっていません。");
    if (out.stored > 0)
      text += QStringLiteral("受信したメール %1 通は保存しましたが、サーバーに残っています。次の受信で同じメールがもう一度届きます。")
                  .arg(out.stored);
    if (spamDeleted > 0) text += QStringLiteral("迷惑メール %1 通もサーバーに残っています。").arg(spamDeleted);
    out.errors << text + QStringLiteral("\r\n") + libraryMessage();
    out.brokenNoted = true;
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
