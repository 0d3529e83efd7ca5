// The history viewer's actions on the shown mail: deleting, passing it on,
// the safes and finding text.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QTreeWidget>

#include "client/composer/backform.h"
#include "client/history/editorcommands.h"
#include "client/history/kinkoform.h"
#include "client/history/mailrows.h"
#include "client/history/neighbours.h"
#include "client/history/openform.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/recordfile.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

void notSelected() { seams::MsgBox(QStringLiteral("データが選択されていません"), seams::vbOKOnly); }

// The one failure message of the vertical-text hand-off and the quick save.
void cannotSave() {
  seams::MsgBox(QStringLiteral("このメッセージが表示される場合は保存不可となります。件名をご確認下さい。") + kCrLf +
                    QStringLiteral("件名にRE:がついている場合は「RE:」の部分のみを削除して下さい。保存が出来るようになります。"),
                seams::vbOKOnly | seams::vbInformation);
}

void recordFailure(const QString& what, const QString& detail) {
  seams::MsgBox(what + kCrLf + detail, seams::vbOKOnly | seams::vbExclamation);
}

bool writeText(const QString& path, const QString& text) { return WriteWholeFile(path, cp932::encode(text)); }

// The confirmation of "一件削除" for each list.
QString deleteQuestion(int kind) {
  QString q = QStringLiteral("選択された（行、青色）データを削除します。よろしいですか");
  if (kind == 2 || kind == 3) q += QLatin1Char('?');
  return q;
}

}  // namespace

// A file name made of a mail subject: characters that a file name cannot
// hold or that would lead out of the folder are replaced by "_".
QString QuickSaveFileName(const QString& subject) {
  QString name;
  name.reserve(subject.size() + 4);
  for (QChar ch : subject) {
    const char16_t u = ch.unicode();
    name += (u < 0x20 || u == 0x7F || ch == QLatin1Char('/') || ch == QLatin1Char('\\')) ? QChar(u'_') : ch;
  }
  while (name.contains(QStringLiteral(".."))) name.replace(QStringLiteral(".."), QStringLiteral("__"));
  return name + QStringLiteral(".txt");
}

namespace forms {

// Lists the file of the list on show again and counts it (also the VIP
// counter when it is the VIP room); gives the rows listed.
static int relist(TyakuForm& f, int kind) {
  const int rows = history::fillList(kind, false);
  f.setCount(QString::number(rows));
  if (kind == 6) neighbours::setVipCount(QString::number(rows));
  return rows;
}

// Tests the selection marker; when set, empties it and puts the focus into the body.
static bool takeSelection(TyakuForm& f) {
  if (f.chosenRow() == 0) {
    notSelected();
    return false;
  }
  f.Text5->clear();
  f.rtfEd->setFocus();
  return true;
}

void TyakuForm::Command1_Click() {
  QClipboard* cb = QApplication::clipboard();
  cb->clear();
  cb->setText(Text6->text());
}

void TyakuForm::Command2_Click() {
  if (!takeSelection(*this)) return;
  const QString folder = paths::resolve(QStringLiteral("\\■TextQuickSave"));
  const QString path = folder + QLatin1Char('/') + QuickSaveFileName(Text7->text());
  if (QDir::cleanPath(QFileInfo(path).absolutePath()) != QDir::cleanPath(QFileInfo(folder).absoluteFilePath())) {
    cannotSave();
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool exists = QFileInfo::exists(path);
  QApplication::restoreOverrideCursor();
  if (exists && seams::MsgBox(QStringLiteral("同名のファイルが既に存在します。上書きしますか？ "),
                              seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) != seams::vbYes)
    return;
  if (!writeText(path, headerText() + kCrLf)) {
    cannotSave();
    return;
  }
  SetEditorText(rtfEd, headerText());
}

void TyakuForm::Command3_Click() {
  const int kind = ShownListKind;
  if (kind >= 1 && kind <= 6) {
    const int n = chosenRow();
    if (n == 0) {
      notSelected();
      return;
    }
    CurrentRecordNo = static_cast<std::int16_t>(std::min(n, records::kMaxRecords));
    if (seams::MsgBox(deleteQuestion(kind), seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) !=
        seams::vbYes) {
      rtfEd->setFocus();
      SetEditorText(rtfEd, QString());
      Text5->clear();
      return;
    }
    rtfEd->setFocus();
    Text5->clear();
    records::MailFile file(history::listFile(kind));
    if (!file.remove(n)) recordFailure(QStringLiteral("メールを削除できませんでした。"), file.errorText());
    Text7->clear();
    Text8->clear();
    Text9->clear();
    SetEditorText(rtfEd, QString());
    relist(*this, kind);
  }
  history::setListColour(MailListView, QColor(210, 250, 250));
}

void TyakuForm::Command6_Click() {
  const int kind = ShownListKind;
  if (kind < 1 || kind > 6) return;
  // The mails deleted are those the list showed when the button was
  // pressed: a mail check may store more into the list while the question
  // is open (or a list may hold records it never showed), and those stay.
  const int seen = MailListView->topLevelItemCount();
  if (seams::MsgBox(QStringLiteral("すべてのデータを削除して良いですか？"), seams::vbYesNo | seams::vbQuestion,
                    QStringLiteral("確認")) != seams::vbYes)
    return;
  records::MailFile file(history::listFile(kind));
  const int count = std::max(0, file.count());
  const int m = std::min(seen, count);
  // Those records are marked and the list compacted; when that fails every
  // record keeps the flag it had, so that no later compaction takes them.
  if (!file.removeFirst(m)) {
    recordFailure(QStringLiteral("メールを削除できませんでした。"), file.errorText());
    relist(*this, kind);
    return;
  }
  if (m > 0) CurrentRecordNo = static_cast<std::int16_t>(std::min(m, records::kMaxRecords));
  if (count > m) {
    // The rest is listed, and the user is told what was kept.
    Text5->clear();
    Text7->clear();
    Text8->clear();
    Text9->clear();
    SetEditorText(rtfEd, QString());
    const int rows = relist(*this, kind);
    seams::MsgBox(QStringLiteral("表示されていたメール %1 件を削除しました。表示されていなかったメール %2 件"
                                 "（削除の確認中に届いたものなど）は削除せずに残してあります。")
                      .arg(m)
                      .arg(rows),
                  seams::vbOKOnly | seams::vbInformation);
    return;
  }
  MailListView->clear();
  Text5->clear();
  setCount(QStringLiteral("0"));
  Text7->clear();
  Text8->clear();
  Text9->clear();
  SetEditorText(rtfEd, QString());
  if (kind == 6) neighbours::setVipCount(QStringLiteral("0"));
}

void TyakuForm::Command4_Click() {
  if (!takeSelection(*this)) return;
  neighbours::showAddressBookWith(Text8->text());
}

void TyakuForm::Command5_Click() {
  if (!takeSelection(*this)) return;
  auto& reply = ::BackForm();
  reply.SubjectText->setText(QStringLiteral("Re:  ") + vb::Trim(Text7->text()));
  reply.ToText->setText(vb::Trim(Text8->text()));
  SetEditorText(reply.rtfEd, vb::Trim(Text11->text()));
  reply.Show();
}

void TyakuForm::Command7_Click() {
  if (chosenRow() == 0) {
    notSelected();
    return;
  }
  ::KinkoForm().Show();
}

void TyakuForm::Command8_Click() { ::OpenForm().Show(); }

void TyakuForm::Command11_Click() {
  if (!takeSelection(*this)) return;
  const QString file = paths::resolve(QStringLiteral("\\★MailData\\DATA\\Edata\\test.txt"));
  if (!writeText(file, EditorText(rtfEd) + kCrLf)) {
    cannotSave();
    return;
  }
  seams::StartCall call;
  call.program = paths::resolve(QStringLiteral("\\★MailData\\DATA\\Edata\\Colwrite"));
  if (!seams::startProgram(call)) cannotSave();
}

void TyakuForm::EditFind() {
  const QString text = rtfEd->toPlainText();
  const QString what = Text1->text();
  const int hit = vb::InStr(1, text, what);
  FindPosition = static_cast<std::int16_t>(hit > 32767 ? 0 : hit);
  if (FindPosition > 0) {
    rtfEd->setFocus();
    QTextCursor c = rtfEd->textCursor();
    c.setPosition(FindPosition - 1);
    c.setPosition(std::min(FindPosition - 1 + vb::Len(what), vb::Len(text)), QTextCursor::KeepAnchor);
    rtfEd->setTextCursor(c);
  }
}

void TyakuForm::EditFindNext() {
  const QString text = rtfEd->toPlainText();
  const QString what = Text1->text();
  // After a miss the search starts again from the top, so no hit is skipped.
  const int start = FindPosition > 0 ? FindPosition + vb::Len(what) : 1;
  const int hit = start > vb::Len(text) + 1 ? 0 : vb::InStr(start, text, what);
  FindPosition = static_cast<std::int16_t>(hit > 32767 ? 0 : hit);
  if (FindPosition > 0) {
    rtfEd->setFocus();
    QTextCursor c = rtfEd->textCursor();
    c.setPosition(FindPosition - 1);
    c.setPosition(std::min(FindPosition - 1 + vb::Len(what), vb::Len(text)), QTextCursor::KeepAnchor);
    rtfEd->setTextCursor(c);
  }
}

}  // namespace forms
