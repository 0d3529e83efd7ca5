// The spam-keyword window (GekitaiForm): the keyword list file read into its
// list, keywords added and deleted, and its hover help. The spam test of the
// mail check reads the same file on its own.

#include "client/mainwindow/gekitaiform.h"

#include <QEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <vector>

#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/recordfile.h"
#include "platform/codepage.h"
#include "platform/seams.h"

namespace {

ui::Accessor<forms::GekitaiForm>& gekitaiAccessor() {
  static ui::Accessor<forms::GekitaiForm> a;
  return a;
}

// Where the help box sits: in view, or far outside the window.
constexpr int kHelpTopShown = 3480;
constexpr int kHelpTopHidden = -6000;

// UTF-16 units of the character that starts at i (a surrogate pair is one
// character of two units).
int charLength(const QString& s, qsizetype i) {
  return (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) ? 2 : 1;
}

// The longest run of whole characters of text, from its start, that takes
// at most budget CP932 bytes.
QString fitting(const QString& text, qsizetype budget) {
  qsizetype used = 0;
  qsizetype i = 0;
  while (i < text.size()) {
    const int n = charLength(text, i);
    const qsizetype b = static_cast<qsizetype>(cp932::byteLength(text.mid(i, n)));
    if (used + b > budget) break;
    used += b;
    i += n;
  }
  return text.left(i);
}

}  // namespace

namespace forms {

GekitaiForm::GekitaiForm() : ui::Form(QStringLiteral("GekitaiForm")) {
  setCaption(QStringLiteral("Spam/迷惑メール撃退"));
  Move(2000, 2000, 6240, 5430);

  Label2 = ui::control<QLabel>(client(), QStringLiteral("Label2"), 240, 240, 4200, 255,
                               QStringLiteral("撃退用キーワードの登録"));
  Text1 = ui::control<QLineEdit>(client(), QStringLiteral("Text1"), 240, 540, 4320, 330);
  Command1 = ui::control<QPushButton>(client(), QStringLiteral("Command1"), 4680, 510, 1320, 390,
                                      QStringLiteral("登録"));
  List1 = ui::control<QListWidget>(client(), QStringLiteral("List1"), 240, 1020, 4320, 2280);
  Command2 = ui::control<QPushButton>(client(), QStringLiteral("Command2"), 4680, 1020, 1320, 390,
                                      QStringLiteral("削除"));
  Text2 = ui::control<QPlainTextEdit>(client(), QStringLiteral("Text2"), 240, 3480, 5760, 1200);
  Text2->setReadOnly(true);
  Text2->setVisible(false);

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Text1, &QLineEdit::textChanged, this, [this] { limitKeyword(); });

  // Mouse-over help: the controls and the background report every move.
  auto* help = new ui::Hover(this, [this](QWidget* control) { hover(control); });
  help->watch({client(), Text1, Command1, Command2, List1});
  help->watch(List1->viewport(), List1);
  // The controls keep their places at every size: the window is never made
  // smaller than they need.
  ui::holdControls(this);
}

void GekitaiForm::Form_Load() {
  // Nothing stays open between events: every record operation opens and
  // closes its file.
  ListKeywords();
  const bool help = MainFormLoaded() && ::MainForm().Check1->isChecked();
  ui::place(Text2, 240, help ? kHelpTopShown : kHelpTopHidden, 5760, 1200);
}

void GekitaiForm::ListKeywords() {
  List1->clear();
  records::SpamKeywordFile file(records::kSpamKeywordFile);
  std::vector<records::SpamKeywordRecord> all;
  if (!file.readAll(all)) {
    seams::MsgBox(file.errorText(), seams::vbExclamation);
    return;
  }
  for (const auto& rec : all) List1->addItem(rec.Keyword.text());
  if (!all.empty()) SpamKeywordRec = all.back();
}

void GekitaiForm::Command1_Click() {
  const QString keyword = Text1->text();
  if (keyword.isEmpty()) {
    seams::MsgBox(QStringLiteral("キーワードが入力されていません。"), seams::vbOKOnly);
    return;
  }
  // A pasted line break stays in the box; the subject and the sender a
  // keyword is looked for in are one line each, so it could never match.
  if (keyword.contains(u'\r') || keyword.contains(u'\n')) {
    seams::MsgBox(QStringLiteral("キーワードに改行が含まれています。\r\n改行を除いてから登録して下さい。"),
                  seams::vbExclamation);
    return;
  }
  // A character that Shift-JIS cannot hold would be stored as "?" and the
  // keyword would then match other mails than the one meant.
  if (!cp932::canEncode(keyword)) {
    seams::MsgBox(QStringLiteral("キーワードにShift-JISで保存できない文字が含まれています。\r\n"
                                 "その文字を除いてから登録して下さい。"),
                  seams::vbExclamation);
    return;
  }
  List1->clear();
  records::SpamKeywordFile file(records::kSpamKeywordFile);
  SpamKeywordRec = records::SpamKeywordRecord{};
  SpamKeywordRec.Keyword = keyword;
  const int n = file.append(SpamKeywordRec);
  if (n == 0) {
    seams::MsgBox(QStringLiteral("キーワードを登録できませんでした。\r\n") + file.errorText(), seams::vbExclamation);
    ListKeywords();
    return;
  }
  ListKeywords();
  Text1->clear();
}

void GekitaiForm::Command2_Click() {
  const int row = List1->currentRow();
  if (row < 0 || !List1->currentItem() || !List1->currentItem()->isSelected()) {
    seams::MsgBox(QStringLiteral("データが選択されていません。"), seams::vbOKOnly);
    return;
  }
  const int answer = seams::MsgBox(QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"),
                                   seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認"));
  records::SpamKeywordFile file(records::kSpamKeywordFile);
  // Whatever the answer the file is compacted and listed afresh; when the
  // compaction fails the keyword keeps its flag.
  const bool ok = answer == seams::vbYes ? file.remove(row + 1) : file.compact();
  if (!ok) seams::MsgBox(QStringLiteral("キーワードを削除できませんでした。\r\n") + file.errorText(), seams::vbExclamation);
  ListKeywords();
}

void GekitaiForm::limitKeyword() {
  const QString now = Text1->text();
  if (static_cast<int>(cp932::byteLength(now)) <= kKeywordBytes) {
    lastKeyword_ = now;
    return;
  }
  // As a box limited in bytes: of what was just typed or pasted only the
  // part that still fits is taken.
  const QString& was = lastKeyword_;
  qsizetype head = 0;
  while (head < now.size() && head < was.size() && now.at(head) == was.at(head)) ++head;
  if (head > 0 && now.at(head - 1).isHighSurrogate()) --head;
  qsizetype tail = 0;
  while (tail < now.size() - head && tail < was.size() - head &&
         now.at(now.size() - 1 - tail) == was.at(was.size() - 1 - tail))
    ++tail;
  if (tail > 0 && now.at(now.size() - tail).isLowSurrogate()) --tail;
  const QString before = now.left(head);
  const QString after = now.right(tail);
  const qsizetype budget = kKeywordBytes - static_cast<qsizetype>(cp932::byteLength(before + after));
  QString fixed;
  qsizetype cursor = 0;
  if (budget >= 0) {
    const QString inserted = fitting(now.mid(head, now.size() - head - tail), budget);
    fixed = before + inserted + after;
    cursor = before.size() + inserted.size();
  } else {
    fixed = fitting(now, kKeywordBytes);
    cursor = fixed.size();
  }
  lastKeyword_ = fixed;
  {
    const QSignalBlocker block(Text1);
    Text1->setText(fixed);
  }
  Text1->setCursorPosition(static_cast<int>(cursor));
}

void GekitaiForm::showHelp(const QString& text) {
  Text2->setPlainText(text);
  Text2->setVisible(true);
}

void GekitaiForm::hideHelp() { Text2->setVisible(false); }

void GekitaiForm::hover(QWidget* control) {
  if (control == Command1)
      showHelp(QStringLiteral("登録は１件につき全角で１００文字（半角では２００文字）、件数は無制限に登録できます。登録した文字を"
                              "送信してきたメールアドレス、件名内から検索し、あなたの目に触れることなく削除します。"));
  else if (control == Text1)
      showHelp(QStringLiteral("登録は１件につき全角で１００文字（半角では２００文字）、件数は無制限に登録できます。登録した文字を"
                              "送信してきたメールアドレス、件名から検索し、あなたの目に触れることなく削除します。"));
  else if (control == Command2)
      showHelp(QStringLiteral("不要になったキーワードを削除します。リストでデータを選択し、このボタンをクリックして下さい。"));
  else if (control == List1 || control == client())
    hideHelp();
}

}  // namespace forms

forms::GekitaiForm& GekitaiForm() { return gekitaiAccessor()(); }

bool GekitaiFormLoaded() { return gekitaiAccessor().isLoaded(); }
