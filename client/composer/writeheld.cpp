// The composer's held mails and the address pane on its right: holding a
// mail, listing, recalling and deleting held mails, switching the pane
// between held mails and address names, opening and closing the pane, and
// the row click that also feeds the Cc list window.
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>

#include <vector>

#include "client/composer/composer.h"
#include "client/composer/writeform.h"
#include "client/composer/writeformparts.h"
#include "client/composer/writeneighbours.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/recordfile.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

using namespace writeform;

namespace {

const QString kNothingSelected = QStringLiteral("データが選択されていません");
constexpr int kWithPane = 9700;
constexpr int kWithoutPane = 7100;

void reportFileError(const QString& what, const QString& error) {
  seams::MsgBox(what + kCrLf + error, seams::vbExclamation);
}

// The selected row of a list box, -1 when none is selected.
int listIndex(const QListWidget* list) {
  const QList<QListWidgetItem*> sel = list->selectedItems();
  return sel.isEmpty() ? -1 : list->row(sel.first());
}

}  // namespace

namespace forms {

bool WriteForm::SaveHeldMail(std::int16_t n) {
  HeldMailRec.Subject = vb::Trim(SubjectText->text());
  // A held mail has no date: its field is blanks, whatever a record read
  // before left in the buffer.
  HeldMailRec.MailDate = QString();
  HeldMailRec.FromTo = vb::Trim(ToText->text());
  HeldMailRec.Body = vb::Trim(EditorText(rtfEd));
  HeldMailRec.LineEnd = records::kCrLf;
  HeldMailRec.Live = 1;
  records::MailFile f(records::kHeldMailFile);
  if (f.write(n, HeldMailRec)) return true;
  reportFileError(QStringLiteral("保留メールを保存できませんでした。"), f.errorText());
  return false;
}

bool WriteForm::StoreBookCcAddress(std::int16_t n) {
  CcAddressRec.Address = vb::Trim(writeneighbours::ccPickedText());
  CcAddressRec.Live = 1;
  records::CcAddressFile f(records::kCcListFile);
  if (f.write(n, CcAddressRec)) return true;
  reportFileError(QStringLiteral("Ccリストに追加できませんでした。"), f.errorText());
  return false;
}

void WriteForm::putRecalled(const QString* to, const QString* subject, const QString* body) {
  if (to) composer::replaceUndoably(ToText, *to);
  if (subject) composer::replaceUndoably(SubjectText, *subject);
  if (body) composer::replaceUndoably(rtfEd, *body);
}

void WriteForm::listHeldMails(bool fillBoxes) {
  RecordNumbers.assign(1, 0);
  List1->clear();
  std::vector<records::MailRecord> held;
  records::MailFile f(records::kHeldMailFile);
  if (!f.readAll(held)) reportFileError(QStringLiteral("保留メールを読み込めませんでした。"), f.errorText());
  int r = 0;
  for (const records::MailRecord& m : held) {
    ++r;
    List1->addItem(m.Subject.padded());
    RecordNumbers.back() = static_cast<std::int16_t>(r);
    RecordNumbers.push_back(0);
  }
  if (!held.empty()) HeldMailRec = held.back();
  // The last held mail comes into the boxes, trimmed as a recalled row is,
  // after a question when it would replace what the user is writing.
  if (fillBoxes && !held.empty()) {
    const QString to = vb::Trim(HeldMailRec.FromTo);
    const QString subject = vb::Trim(HeldMailRec.Subject);
    const QString body = vb::Trim(HeldMailRec.Body);
    if (!composer::wouldReplace(ToText, SubjectText, rtfEd, &to, &subject, &body) ||
        composer::mayReplaceTypedText())
      putRecalled(&to, &subject, &body);
  }
  Text1->setText(countText(List1->count()));
}

void WriteForm::listAddressNames(bool fillToText) {
  RecordNumbers.assign(1, 0);
  List1->clear();
  std::vector<records::AddressRecord> book;
  records::AddressFile f(records::kAddressBookFile);
  if (!f.readAll(book)) reportFileError(QStringLiteral("アドレス帳を読み込めませんでした。"), f.errorText());
  int r = 0;
  for (const records::AddressRecord& a : book) {
    ++r;
    List1->addItem(a.Name.padded());
    RecordNumbers.back() = static_cast<std::int16_t>(r);
    RecordNumbers.push_back(0);
  }
  if (!book.empty()) AddressRec = book.back();
  // The last address comes into the To box, trimmed, after a question when
  // it would replace an address the user typed.
  if (fillToText && !book.empty()) {
    const QString to = vb::Trim(AddressRec.Address);
    if (!composer::wouldReplace(ToText, SubjectText, rtfEd, &to, nullptr, nullptr) ||
        composer::mayReplaceTypedText(true))
      putRecalled(&to, nullptr, nullptr);
  }
  Text1->setText(countText(List1->count()));
}

void WriteForm::Command13_Click() {
  Text2->clear();
  if (SubjectText->text().isEmpty()) {
    seams::MsgBox(QStringLiteral("件名が空白です。保存出来ません。"), seams::vbOKOnly | seams::vbInformation);
    return;
  }
  if (seams::MsgBox(QStringLiteral("作成したメールを保留し（保存）後で送信しますか？ 保存後、内容をクリアします。"),
                    seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) != seams::vbYes)
    return;
  // The held record is Shift-JIS: a character it cannot hold would come back as "?".
  if (!composer::textMayLoseCharacters(ToText->text() + SubjectText->text() + EditorText(rtfEd), QStringLiteral("保存")))
    return;
  records::MailFile f(records::kHeldMailFile);
  const int count = f.count();
  if (count < 0) {
    reportFileError(QStringLiteral("保留メールを保存できませんでした。"), f.errorText());
    return;
  }
  const int n = count + 1;
  // A mail that could not be kept stays in the composer.
  if (!SaveHeldMail(n)) return;
  CurrentRecordNo = n;
  Command14_Click();
  Command11_Click();
  setBackColor(List1, heldListColor());
  PaneToggleCount = 1;
  Command17->setText(QStringLiteral("アドレス呼出"));
}

void WriteForm::Command14_Click() {
  Text2->clear();
  MailListKind = 10;
  List1->clear();
  setBackColor(List1, heldListColor());
  setWidth(kWithPane);
  if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const QRect g = s->geometry();
    setTop(ui::tw(g.y()) + (ui::tw(g.height()) - Height()) / 2);
    setLeft(ui::tw(g.x()) + (ui::tw(g.width()) - Width()) / 2);
  }
  listHeldMails(false);
  PaneToggleCount = 1;
  Command17->setText(QStringLiteral("アドレス呼出"));
  setBackColor(Command17, toggleYellow());
}

void WriteForm::Command15_Click() {
  if (MailListKind == 10) {
    const int row = listIndex(List1);
    if (Text2->text().isEmpty() || row < 0) {
      seams::MsgBox(kNothingSelected, seams::vbOKOnly);
      return;
    }
    CurrentRecordNo = static_cast<std::int16_t>(row + 1);
    if (seams::MsgBox(QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"),
                      seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) != seams::vbYes) {
      rtfEd->setFocus();
      SetEditorText(rtfEd, QString());
      Text2->clear();
      return;
    }
    rtfEd->setFocus();
    Text2->clear();
    records::MailFile f(records::kHeldMailFile);
    const bool removed = f.remove(CurrentRecordNo);
    ToText->clear();
    SubjectText->clear();
    SetEditorText(rtfEd, QString());
    if (!removed) reportFileError(QStringLiteral("保留メールを削除できませんでした。"), f.errorText());
    listHeldMails(false);
  }
  Text2->clear();
  PaneToggleCount = 1;
  Command17->setText(QStringLiteral("アドレス呼出"));
}

void WriteForm::Command17_Click() {
  if (PaneToggleCount % 2 == 0) {
    setBackColor(Command17, toggleYellow());
    Command17->setText(QStringLiteral("アドレス呼出"));
    setBackColor(List1, heldListColor());
    MailListKind = 10;
    listHeldMails(true);
    PaneToggleCount = 0;
  } else {
    Command17->setText(QStringLiteral("保留分呼出"));
    setBackColor(Command17, toggleGrey());
    setBackColor(List1, white());
    MailListKind = 0;
    listAddressNames(true);
    PaneToggleCount = 1;
  }
  PaneToggleCount = static_cast<std::int16_t>(PaneToggleCount + 1);
}

void WriteForm::Command4_Click() {
  List1->clear();
  setBackColor(List1, white());
  setWidth(kWithPane);
  MailListKind = 0;
  listAddressNames(false);
}

void WriteForm::Command6_Click() {
  setWidth(kWithoutPane);
  setBackColor(List1, white());
}

void WriteForm::List1_MouseDown() {
  Text2->setText(QStringLiteral("1"));
  const int row = listIndex(List1);
  if (row < 0) {
    seams::MsgBox(kNothingSelected, seams::vbOKOnly | seams::vbExclamation);
    List1->setFocus();
    return;
  }
  const int n = row < static_cast<int>(RecordNumbers.size()) ? RecordNumbers[static_cast<std::size_t>(row)] : 0;
  if (MailListKind == 10) {
    // A held mail comes back whole.
    records::MailFile f(records::kHeldMailFile);
    if (!f.read(n, HeldMailRec)) {
      reportFileError(QStringLiteral("保留メールを読み込めませんでした。"), f.errorText());
      return;
    }
    const QString to = vb::Trim(HeldMailRec.FromTo);
    const QString subject = vb::Trim(HeldMailRec.Subject);
    const QString body = vb::Trim(HeldMailRec.Body);
    if (composer::wouldReplace(ToText, SubjectText, rtfEd, &to, &subject, &body) &&
        !composer::mayReplaceTypedText())
      return;
    putRecalled(&to, &subject, &body);
    return;
  }
  // An address: the whole address field.
  records::AddressFile f(records::kAddressBookFile);
  if (!f.read(n, AddressRec)) {
    reportFileError(QStringLiteral("アドレス帳を読み込めませんでした。"), f.errorText());
    return;
  }
  const QString address = vb::Trim(AddressRec.Address);
  ToText->setText(address);
  if (MultiSendMode != 1) return;
  writeneighbours::ccAddPicked(address);
  records::CcAddressFile cc(records::kCcListFile);
  const int count = cc.count();
  if (count < 0 || count >= records::kMaxRecords) {
    reportFileError(QStringLiteral("Ccリストに追加できませんでした。"), cc.errorText());
    return;
  }
  const auto m = static_cast<std::int16_t>(count + 1);
  if (StoreBookCcAddress(m)) CurrentRecordNo = m;
}

}  // namespace forms
