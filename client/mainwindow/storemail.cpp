// The storing of one mail of the check: its status and spam test, its
// fetch, its attachment step (and the files it made taken away again when
// the mail is not stored after all), its record in the received list or
// the VIP room, and its deletion sent to the server. The conversation
// around it (and its reconnects) is checkconversation.cpp's.
#include "client/mainwindow/mailcheck.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/savemail.h"
#include "client/mainwindow/setform.h"
#include "nmail/nmail.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace mailcheck {

namespace {

const QString kAttachmentFolder = QStringLiteral("\\添付フォルダ");
const QString kWorkFile = QStringLiteral("\\添付フォルダ\\0.txt");

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
int fetchMail(int handle, int i, Buffers& b, std::vector<char>& body, long long& listed) {
  int size = NMailPop3GetMailSize(handle, i);
  if (size < 0) return size;
  listed = size;
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

}  // namespace

void Session::attachmentPaths(QString& folderPath, QString& workPath) {
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
  // What tells this mail apart should the server name it anew after a break.
  Outcome::Known known;
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
    known.id = id;
    out.leftKnown.push_back(known);
    return true;
  };

  session.boxes.quiet({m.Text9, m.Text10, m.Text11});

  // Status and spam test. A server that gives no header alone (TOP is
  // optional), or a header too large to take: the whole mail serves for
  // the test.
  std::vector<char> body;
  bool cut = false;  // the body is the beginning of the mail's
  int r = NMailPop3GetMailStatus(handle, i, b.subject.data(), b.date.data(), b.from.data(), b.header.data(), 0);
  if (r >= 0) known.header = bufferBytes(b.header);
  const bool wholeForTest = r == NMAIL_ERR_PROTOCOL || r == NMAIL_ERR_TOO_LARGE;
  if (r < 0 && !wholeForTest) return stop(r, notFetched());
  if (wholeForTest) {
    b.clear();
    r = fetchMail(handle, i, b, body, known.size);
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
    out.taken.push_back({id, shown, true, known});
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
    r = fetchMail(handle, i, b, body, known.size);
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
  out.taken.push_back({id, shown, false, known});
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

}  // namespace mailcheck
