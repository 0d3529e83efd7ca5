#include "client/tools/rantyaform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"

namespace {
ui::Accessor<forms::RantyaForm>& accessor() {
  static ui::Accessor<forms::RantyaForm> a;
  return a;
}

const QString kListFile = QStringLiteral("\\★MailData\\r.cfg");

// Free-format field input over the bytes of a text file.
class FieldReader {
 public:
  explicit FieldReader(std::string_view b) : b_(b) {}

  // Nothing but blanks and line ends is left.
  bool atEnd() const {
    for (std::size_t i = pos_; i < b_.size(); ++i) {
      const char c = b_[i];
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\x1a') return false;
    }
    return true;
  }

  // Reads one field; false when the file ended before it.
  bool read(std::string& out) {
    out.clear();
    if (pos_ >= b_.size()) return false;
    while (pos_ < b_.size() && (b_[pos_] == ' ' || b_[pos_] == '\t')) ++pos_;
    if (pos_ < b_.size() && b_[pos_] == '"') {
      ++pos_;
      const std::size_t close = b_.find('"', pos_);
      const std::size_t end = close == std::string_view::npos ? b_.size() : close;
      out.assign(b_.substr(pos_, end - pos_));
      pos_ = close == std::string_view::npos ? b_.size() : close + 1;
      // Whatever follows the closing quote up to the delimiter does not count.
      while (pos_ < b_.size() && b_[pos_] != ',' && b_[pos_] != '\r' && b_[pos_] != '\n') ++pos_;
    } else {
      const std::size_t start = pos_;
      while (pos_ < b_.size() && b_[pos_] != ',' && b_[pos_] != '\r' && b_[pos_] != '\n') ++pos_;
      out.assign(b_.substr(start, pos_ - start));
      while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    }
    skipDelimiter();
    return true;
  }

 private:
  void skipDelimiter() {
    if (pos_ >= b_.size()) return;
    if (b_[pos_] == ',') {
      ++pos_;
    } else if (b_[pos_] == '\r') {
      ++pos_;
      if (pos_ < b_.size() && b_[pos_] == '\n') ++pos_;
    } else if (b_[pos_] == '\n') {
      ++pos_;
    }
  }

  std::string_view b_;
  std::size_t pos_ = 0;
};

}  // namespace

forms::RantyaForm& RantyaForm() { return accessor()(); }
bool RantyaFormLoaded() { return accessor().isLoaded(); }

namespace launcher {

ReadResult readEntries(std::string_view bytes) {
  ReadResult r;
  FieldReader in(bytes);
  std::string caption, command;
  while (!in.atEnd()) {
    if (r.count == kEntries) {  // no room for a twelfth entry
      r.ok = false;
      break;
    }
    if (!in.read(caption) || !in.read(command)) {
      r.ok = false;
      break;
    }
    r.entries[static_cast<std::size_t>(r.count)] = {cp932::decode(caption), cp932::decode(command)};
    ++r.count;
  }
  return r;
}

Command parseCommandLine(const QString& line) {
  QStringList words = QProcess::splitCommand(line);
  if (words.isEmpty() || words.first().isEmpty()) return {};
  QString program = words.takeFirst();
  if (QDir::isAbsolutePath(program)) {
    program = paths::resolveAbsolute(program);
  } else if (program.contains(u'\\') || program.contains(u'/')) {
    program = paths::resolve(QString(program).replace(u'/', u'\\'));
  } else {
    const QString found = QStandardPaths::findExecutable(program);
    program = found.isEmpty() ? paths::resolve(program) : found;
  }
  return {program, words};
}

}  // namespace launcher

namespace forms {

RantyaForm::RantyaForm() : ui::Form(QStringLiteral("RantyaForm")) {
  setCaption(QStringLiteral("ランチャー"));
  const QString captions[3] = {QStringLiteral("ファイ"), QStringLiteral("ルが見"), QStringLiteral("つかり")};
  const int lefts[3] = {120, 970, 1830};
  for (int i = 0; i < 3; ++i) {
    Command1[i] = ui::control<QPushButton>(client(), QStringLiteral("Command1_%1").arg(i), lefts[i], 240, 855, 375);
    ui::fitCaption(Command1[i], captions[i]);
    connect(Command1[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
  }
  // The three buttons with a margin of 120 twips around them.
  const QSize extra = ui::frameExtra(this);
  Move(2400, 1800, 1830 + 855 + 120 + ui::tw(extra.width()), 240 + 375 + 240 + ui::tw(extra.height()));
  // The controls keep their places at every size: the window is never made
  // smaller than they need.
  ui::holdControls(this);
}

void RantyaForm::Form_Load() {
  // 1. Black behind the buttons.
  client()->setAutoFillBackground(true);
  QPalette pal = client()->palette();
  pal.setColor(QPalette::Window, Qt::black);
  client()->setPalette(pal);

  // 2. The list. A file that cannot be read leaves the design captions.
  QFile f(paths::resolve(kListFile));
  if (!f.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = f.readAll();
  const launcher::ReadResult r = launcher::readEntries(std::string_view(bytes.constData(), bytes.size()));
  // A reading error stops before any caption is set; the entries read
  // before it are not taken either, so that a button that still reads
  // "ファイ" "ルが見" "つかり" starts nothing.
  if (!r.ok) return;
  for (int k = 0; k < r.count; ++k) LauncherEntries[k] = r.entries[k];

  // 3. The captions of the entries read, as far as there are buttons, each
  // shown whole in its small button.
  for (int k = 0; k < r.count && k < 3; ++k) ui::fitCaption(Command1[k], r.entries[k].caption);
}

void RantyaForm::Command1_Click(int index) {
  if (index < 0 || index >= launcher::kEntries) return;
  const launcher::Command c = launcher::parseCommandLine(LauncherEntries[index].command);
  if (c.program.isEmpty()) return;
  // A program that cannot be started is passed over without a word.
  (void)seams::startProgram({c.program, c.arguments, QDir::currentPath()});
}

}  // namespace forms
