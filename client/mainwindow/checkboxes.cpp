// The boxes of the mail check: the text boxes it writes for every mail
// kept quiet while they are not on screen (QuietBoxes), a box's trimmed
// text searched and the hit selected (Trimmed), and what its message boxes
// say: the library's buffers and message as text, the error box, a mail's
// number. Which texts go into them is left to the others.
#include "client/mainwindow/mailcheck.h"

#include <QEvent>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstring>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/mainwindow/recordfile.h"
#include "nmail/nmail.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace mailcheck {

const QString kErrorTitle = QStringLiteral("エラー");

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

QString mailNo(int i, int n) { return QStringLiteral("%1 / %2").arg(i).arg(n); }

namespace {

// The boxes a check left quiet while they were not on screen: each gets its
// echo back when it is next shown (before it is painted), so that its text
// is laid out then, once, and not at the end of every check; the next check
// finds them quiet still.
class QuietUntilShown : public QObject {
 public:
  struct Saved {
    QLineEdit::EchoMode echo;
    Qt::InputMethodHints hints;
  };
  static QuietUntilShown& instance() {
    static QuietUntilShown* one = new QuietUntilShown;  // (lives as long as the program)
    return *one;
  }
  void keep(QLineEdit* box, Saved saved) {
    if (saved_.count(box)) return;
    saved_[box] = saved;
    box->installEventFilter(this);
    QObject::connect(box, &QObject::destroyed, this, [this, box] { saved_.erase(box); });
  }
  // Takes the box back for a check (it stays quiet): what it is to get back.
  std::optional<Saved> take(QLineEdit* box) {
    auto it = saved_.find(box);
    if (it == saved_.end()) return std::nullopt;
    const Saved s = it->second;
    forget(box);
    return s;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      auto* box = static_cast<QLineEdit*>(watched);
      if (const std::optional<Saved> s = take(box)) {
        box->setEchoMode(s->echo);
        box->setInputMethodHints(s->hints);
      }
    }
    return false;
  }

 private:
  void forget(QLineEdit* box) {
    saved_.erase(box);
    box->removeEventFilter(this);
    QObject::disconnect(box, &QObject::destroyed, this, nullptr);
  }
  std::map<QLineEdit*, Saved> saved_;
};

}  // namespace

QuietBoxes::~QuietBoxes() {
  for (Entry& e : boxes_) {
    if (e.quiet && e.box && !e.box->isVisible()) {
      QuietUntilShown::instance().keep(e.box, {e.echo, e.hints});
      continue;
    }
    restore(e);
  }
}

void QuietBoxes::quiet(std::initializer_list<QLineEdit*> boxes) {
  for (QLineEdit* box : boxes) quiet(box);
}

void QuietBoxes::quiet(QLineEdit* box) {
  for (Entry& e : boxes_)
    if (e.box == box) {
      if (e.quiet && box->isVisible()) restore(e);
      return;
    }
  // Quiet still since the last check: it stays so.
  if (const auto saved = QuietUntilShown::instance().take(box)) {
    Entry e{box, saved->echo, saved->hints, true};
    if (box->isVisible()) restore(e);
    boxes_.push_back(e);
    return;
  }
  Entry e{box, box->echoMode(), box->inputMethodHints(), false};
  if (!box->isVisible() && e.echo == QLineEdit::Normal) {
    box->setEchoMode(QLineEdit::NoEcho);
    e.quiet = true;
  }
  boxes_.push_back(e);
}

void QuietBoxes::restore(Entry& e) {
  if (e.quiet && e.box) {
    e.box->setEchoMode(e.echo);
    e.box->setInputMethodHints(e.hints);
  }
  e.quiet = false;
}

Trimmed::Trimmed(QLineEdit* b) : box(b), text(vb::Trim(b->text())) {
  const QString whole = b->text();
  while (lead < whole.size() && whole[lead] == u' ') ++lead;
}

bool Trimmed::find(const QString& needle) const {
  const std::u16string_view hay(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
  const std::size_t found = hay.find(std::u16string_view(reinterpret_cast<const char16_t*>(needle.utf16()),
                                                         static_cast<std::size_t>(needle.size())));
  if (found == std::u16string_view::npos) return false;
  const auto pos = static_cast<qsizetype>(found);
  box->setSelection(lead + static_cast<int>(pos), static_cast<int>(needle.size()));
  return true;
}

}  // namespace mailcheck
