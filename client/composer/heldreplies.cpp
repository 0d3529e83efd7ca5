// Held replies: replies put aside with "後で送信（保留）", kept as mail
// records in "\★MAilData\xqmdata11.data" (subject, recipient, body; no
// date), listed by subject in the pane List1.
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextEdit>

#include "client/composer/backform.h"
#include "client/composer/composer.h"
#include "client/composer/backparts.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/recordfile.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace forms {

namespace {

const QString kNotSelected = QStringLiteral("データが選択されていません");
const QString kConfirmTitle = QStringLiteral("確認");

void reportFileFailure(const QString& what, const records::MailFile& file) {
  seams::MsgBox(what + QStringLiteral("\r\n") + file.errorText(), seams::vbExclamation);
}

}  // namespace

bool BackForm::PutHeldReply(std::int16_t n) {
  HeldReplyRec.Subject = vb::Trim(SubjectText->text());
  // A held reply has no date: its field is blanks, whatever a record read
  // before left in the buffer.
  HeldReplyRec.MailDate = QString();
  HeldReplyRec.FromTo = vb::Trim(ToText->text());
  backparts::setBufferText(Text4, backparts::clipboardPass(EditorText(rtfEd)));
  HeldReplyRec.Body = vb::Trim(backparts::bufferText(Text4));
  HeldReplyRec.Live = 1;
  HeldReplyRec.LineEnd = records::kCrLf;
  records::MailFile file(records::kHeldReplyFile);
  if (!file.write(n, HeldReplyRec)) {
    reportFileFailure(QStringLiteral("返事を保留できませんでした。"), file);
    return false;
  }
  return true;
}

void BackForm::FillHeldList() {
  {
    const QSignalBlocker block(List1);
    filling_ = true;
    List1->clear();
    RecordNumbers.assign(1, 0);
    records::MailFile file(records::kHeldReplyFile);
    std::vector<records::MailRecord> all;
    const bool ok = file.readAll(all);
    for (std::size_t k = 0; k < all.size(); ++k) {
      List1->addItem(all[k].Subject.padded());
      RecordNumbers.back() = static_cast<std::int16_t>(k + 1);
      RecordNumbers.push_back(0);
    }
    if (!all.empty()) HeldReplyRec = all.back();
    filling_ = false;
    if (!ok) reportFileFailure(QStringLiteral("保留分を読めませんでした。"), file);
  }
  Text1->setText(QString::number(List1->count()));
}

void BackForm::Command13_Click() {
  Picture5->show();
  Picture5->raise();
  Picture3->hide();
  Text2->clear();
  if (SubjectText->text().isEmpty()) {
    seams::MsgBox(QStringLiteral("件名が空白です。保存出来ません。"), seams::vbOKOnly | seams::vbInformation);
    return;
  }
  if (seams::MsgBox(QStringLiteral("作成したメールを保留し（保存）後で送信しますか？ 保存後、内容をクリアします。"),
                    seams::vbYesNo | seams::vbQuestion, kConfirmTitle) != seams::vbYes) {
    Picture5->hide();
    Picture3->show();
    return;
  }
  // The held record is Shift-JIS: a character it cannot hold would come back as "?".
  if (!composer::textMayLoseCharacters(ToText->text() + SubjectText->text() + EditorText(rtfEd), QStringLiteral("保存")))
    return;
  records::MailFile file(records::kHeldReplyFile);
  const int count = file.count();
  if (count < 0) {
    reportFileFailure(QStringLiteral("返事を保留できませんでした。"), file);
    return;
  }
  if (count >= records::kMaxRecords) {
    seams::MsgBox(QStringLiteral("保留分が一杯です（最大 %1 件）。不要な保留分を削除して下さい。").arg(records::kMaxRecords),
                  seams::vbExclamation);
    return;
  }
  const auto n = static_cast<std::int16_t>(count + 1);
  // The reply stays in the window when it could not be written.
  if (!PutHeldReply(n)) return;
  CurrentRecordNo = n;
  FillHeldList();
  ToText->clear();
  SubjectText->clear();
  rtfEd->clear();
  AttachText->clear();
  AttachCommand->setEnabled(true);
}

void BackForm::Command14_Click() {
  Picture5->show();
  Picture5->raise();
  Picture5->resize(Picture5->width(), ui::px(6200));
  Picture3->hide();
  Text2->clear();
  FillHeldList();
}

void BackForm::List1_Click() {
  if (seams::MsgBox(QStringLiteral("保留文を挿入すると、送信されて来た本文はクリアされます（メールアドレス、件名はそのまま残り"
                                   "ます。）。処理を続けますか？"),
                    seams::vbYesNo | seams::vbQuestion, kConfirmTitle) != seams::vbYes)
    return;
  Text2->setText(QStringLiteral("1"));
  const int row = List1->currentRow();
  if (row < 0 || !List1->item(row)->isSelected() || row + 1 >= static_cast<int>(RecordNumbers.size())) {
    seams::MsgBox(kNotSelected, seams::vbOKOnly | seams::vbExclamation);
    List1->setFocus();
    return;
  }
  records::MailFile file(records::kHeldReplyFile);
  if (!file.read(RecordNumbers[static_cast<std::size_t>(row)], HeldReplyRec)) {
    reportFileFailure(QStringLiteral("保留分を読めませんでした。"), file);
    return;
  }
  // The whole held text comes back.
  SetEditorText(rtfEd, vb::Trim(HeldReplyRec.Body));
}

void BackForm::Command15_Click() {
  if (Text2->text().isEmpty()) {
    seams::MsgBox(kNotSelected, seams::vbOKOnly);
    return;
  }
  const int row = List1->currentRow();
  if (row < 0 || !List1->item(row)->isSelected()) {
    seams::MsgBox(kNotSelected, seams::vbOKOnly);
    return;
  }
  CurrentRecordNo = static_cast<std::int16_t>(row + 1);
  if (seams::MsgBox(QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"),
                    seams::vbYesNo | seams::vbQuestion, kConfirmTitle) != seams::vbYes) {
    rtfEd->setFocus();
    rtfEd->clear();
    Text2->clear();
    return;
  }
  rtfEd->setFocus();
  Text2->clear();
  HeldReplyRec.Live = 0;
  records::MailFile file(records::kHeldReplyFile);
  const bool removed = file.remove(CurrentRecordNo);
  ToText->clear();
  SubjectText->clear();
  rtfEd->clear();
  if (!removed) reportFileFailure(QStringLiteral("保留分を削除できませんでした。"), file);
  FillHeldList();
  Text2->clear();
}

}  // namespace forms
