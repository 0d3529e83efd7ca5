#include "client/history/kinkoform.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

#include <cstring>
#include <string>

#include "client/history/mailrows.h"
#include "client/history/neighbours.h"
#include "client/history/safes.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/recordfile.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {
ui::Accessor<forms::KinkoForm>& accessor() {
  static ui::Accessor<forms::KinkoForm> a;
  return a;
}
}  // namespace

forms::KinkoForm& KinkoForm() { return accessor()(); }
bool KinkoFormLoaded() { return accessor().isLoaded(); }

int SafeRecordCount(int safe) { return history::recordCount(records::mailListFile(safe)); }

namespace history {

void safeRecordBytes(char* record) {
  // Each text field loses its leading blanks (the viewer shows the fields
  // trimmed); its bytes move to the front and blanks fill the rest. A blank
  // is never the second byte of a double-byte character, so no character
  // is split.
  struct Field {
    std::size_t at, width;
  };
  for (const Field f : {Field{0, 100}, Field{100, 90}, Field{190, 90}, Field{280, 32000}}) {
    char* p = record + f.at;
    std::size_t lead = 0;
    while (lead < f.width && p[lead] == ' ') ++lead;
    if (lead == 0 || lead == f.width) continue;
    std::memmove(p, p + lead, f.width - lead);
    std::memset(p + f.width - lead, ' ', lead);
  }
  record[32280] = '\r';
  record[32281] = '\n';
  records::putLive(record + records::MailRecord::kLiveOffset, 1);
}

void centreFixedWindow(QWidget* window, int clientWidth, int clientHeight) {
  window->setFixedSize(ui::px(clientWidth), ui::px(clientHeight));
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect r = s->availableGeometry();
    window->move(r.center() - QPoint(window->width() / 2, window->height() / 2));
  }
}

void colourButton(QPushButton* b, const QColor& c) {
  b->setProperty("backColor", c);
  b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; }").arg(c.name()));
}

}  // namespace history

namespace forms {

KinkoForm::KinkoForm() : ui::Form(QStringLiteral("KinkoForm")) {
  setCaption(QStringLiteral("金庫に入れる"));
  ui::fixedSingleBorder(this);
  QWidget* c = client();
  const QColor grey(224, 224, 224);
  c->setProperty("backColor", grey);
  {
    QPalette pal = c->palette();
    pal.setColor(QPalette::Window, grey);
    c->setPalette(pal);
    c->setAutoFillBackground(true);
  }
  Frame1 = ui::control<QGroupBox>(c, QStringLiteral("Frame1"), 120, 120, 3495, 1935);
  Frame1->setTitle(QStringLiteral("金庫に入れる"));
  QWidget* f = Frame1;
  Command1 = ui::control<QPushButton>(f, QStringLiteral("Command1"), 240, 360, 1815, 375);
  Command1->setText(QStringLiteral("金の金庫に入れる"));
  Command4 = ui::control<QPushButton>(f, QStringLiteral("Command4"), 240, 840, 1815, 375);
  Command4->setText(QStringLiteral("銀の金庫に入れる"));
  Command5 = ui::control<QPushButton>(f, QStringLiteral("Command5"), 240, 1320, 1815, 375);
  Command5->setText(QStringLiteral("銅の金庫に入れる"));
  const int labelTops[3] = {480, 940, 1440};
  const int boxTops[3] = {440, 900, 1380};
  QLabel** labels[3] = {&Label1, &Label2, &Label3};
  QLineEdit** boxes[3] = {&Text1, &Text2, &Text3};
  for (int i = 0; i < 3; ++i) {
    *labels[i] = ui::control<QLabel>(f, QStringLiteral("Label%1").arg(i + 1), 2280, labelTops[i], 375, 255);
    (*labels[i])->setText(QStringLiteral("件数"));
    (*labels[i])->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255);"));
    *boxes[i] = ui::control<QLineEdit>(f, QStringLiteral("Text%1").arg(i + 1), 2760, boxTops[i], 495, 270);
  }
  connect(Command1, &QPushButton::clicked, this, [this] { MoveMailToSafe(3); });
  connect(Command4, &QPushButton::clicked, this, [this] { MoveMailToSafe(4); });
  connect(Command5, &QPushButton::clicked, this, [this] { MoveMailToSafe(5); });
}

void KinkoForm::Form_Load() {
  history::centreFixedWindow(this, 3720, 2205);
  history::colourButton(Command1, QColor(200, 177, 128));
  history::colourButton(Command4, QColor(116, 103, 107));
  history::colourButton(Command5, QColor(166, 34, 17));
  Text1->setText(QString::number(SafeRecordCount(3)));
  Text2->setText(QString::number(SafeRecordCount(4)));
  Text3->setText(QString::number(SafeRecordCount(5)));
}

// The mail of the selected row is taken from the list file on show (the
// received list or the VIP room), appended to the safe and removed from that
// same file; the viewer then lists that file again.
void KinkoForm::MoveMailToSafe(int safe) {
  const QString notSelected = QStringLiteral("データが選択されていません");
  if (safe < 3 || safe > 5) return;
  if (!TyakuFormLoaded()) {
    seams::MsgBox(notSelected, seams::vbOKOnly);
    return;
  }
  auto& viewer = ::TyakuForm();
  const int kind = viewer.ShownListKind;
  const int n = viewer.chosenRow();
  if ((kind != 1 && kind != 6) || n == 0) {
    seams::MsgBox(notSelected, seams::vbOKOnly);
    return;
  }
  CurrentRecordNo = static_cast<std::int16_t>(std::min(n, records::kMaxRecords));
  if (seams::MsgBox(QStringLiteral("選択された（行、青色）データを移します。よろしいですか"),
                    seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) != seams::vbYes)
    return;

  // The record moves as its bytes: its characters are never converted (a
  // conversion there and back would change codes CP932 has twice and turn
  // what it cannot read into "?").
  records::MailFile source(records::mailListFile(kind));
  std::string bytes(records::MailRecord::kSize, '\0');
  if (!source.readBytes(n, bytes.data())) {
    seams::MsgBox(QStringLiteral("メールを金庫に移せませんでした。") + QStringLiteral("\r\n") + source.errorText(),
                  seams::vbOKOnly | seams::vbExclamation);
    return;
  }
  records::mailListBuffer(kind)->fromBytes(bytes.data());
  history::safeRecordBytes(bytes.data());
  // The safe is written first: a failure afterwards never loses the mail.
  records::MailFile safeFile(records::mailListFile(safe));
  if (safeFile.appendBytes(bytes.data()) == 0) {
    seams::MsgBox(QStringLiteral("メールを金庫に移せませんでした。") + QStringLiteral("\r\n") + safeFile.errorText(),
                  seams::vbOKOnly | seams::vbExclamation);
    return;
  }
  records::mailListBuffer(safe)->fromBytes(bytes.data());
  if (!source.remove(n)) {
    seams::MsgBox(QStringLiteral("金庫に移したメールを一覧から削除できませんでした。") + QStringLiteral("\r\n") +
                      source.errorText(),
                  seams::vbOKOnly | seams::vbExclamation);
  }
  const int rows = history::fillList(kind, false);
  viewer.setCount(QString::number(rows));
  if (kind == 6) neighbours::setVipCount(QString::number(rows));
  viewer.Text5->clear();
  Unload();
}

}  // namespace forms
