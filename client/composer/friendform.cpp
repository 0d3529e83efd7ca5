#include "client/composer/friendform.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <vector>

#include "client/history/listpaint.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailrecord.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/recordfile.h"
#include "platform/codepage.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {

ui::Accessor<forms::FriendForm>& accessor() {
  static ui::Accessor<forms::FriendForm> a;
  return a;
}

// The client area of the window, in twips.
constexpr int kClientWidth = 8100;
constexpr int kClientHeight = 4620;

// Where the help box sits: in view below the list, or far above the window.
constexpr int kHelpLeft = 120;
constexpr int kHelpTopShown = 3240;
constexpr int kHelpTopHidden = -4000;
constexpr int kHelpWidth = 7860;
constexpr int kHelpHeight = 900;

const char16_t* const kHelpPasteAddress = u"コピーして来たメールアドレスを貼り付けます。";
const char16_t* const kHelpRegister =
    u"登録を行います。これにより新規作成でのメールアドレスの一発入力が可能になります。";
const char16_t* const kHelpDelete = u"不要になったメールアドレスを削除します。";
const char16_t* const kHelpCard =
    u"「名刺」に名前を入力して「名刺挿入」をクリックすると、メールアドレスの前にその名前が入ります。"
    u"例えばメールアドレスが taro@example.jp、名刺が 山田太郎 のときは「山田太郎<taro@example.jp>」となり、"
    u"このアドレスに送ったメールを受け取った相手には、メールアドレスの前に名前が表示されます。\r\n\r\n"
    u"必要なければ挿入する必要はありません。";

const char16_t* const kRegistered = u"　登録が完了しました。";
const char16_t* const kSelected = u"　選択しました。";
const char16_t* const kDeleted = u"削除が完了しました";

}  // namespace

forms::FriendForm& FriendForm() { return accessor()(); }
bool FriendFormLoaded() { return accessor().isLoaded(); }

namespace forms {

FriendForm::FriendForm() : ui::Form(QStringLiteral("FriendForm")) {
  setCaption(QStringLiteral("アドレス帳"));
  move(ui::px(2400), ui::px(1500));
  resize(ui::px(kClientWidth), ui::px(kClientHeight));

  QWidget* c = client();
  MailListView = ui::control<QTreeWidget>(c, QStringLiteral("MailListView"), 120, 120, 4335, 2760);
  MailListView->setRootIsDecorated(false);
  MailListView->setColumnCount(2);
  MailListView->setHeaderLabels({QStringLiteral("Address"), QStringLiteral("Name")});
  MailListView->header()->setStretchLastSection(false);
  MailListView->setSelectionMode(QAbstractItemView::SingleSelection);
  MailListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  MailListView->setEditTriggers(QAbstractItemView::NoEditTriggers);

  Label1 = ui::control<QLabel>(c, QStringLiteral("Label1"), 4560, 120, 2400, 255, QStringLiteral("名前（名称）"));
  Text2 = ui::control<QLineEdit>(c, QStringLiteral("Text2"), 4560, 360, 2400, 330);
  Command5 = ui::control<QPushButton>(c, QStringLiteral("Command5"), 7080, 345, 900, 360, QStringLiteral("貼付"));
  Label2 = ui::control<QLabel>(c, QStringLiteral("Label2"), 4560, 780, 2400, 255, QStringLiteral("メールアドレス"));
  Text4 = ui::control<QLineEdit>(c, QStringLiteral("Text4"), 4560, 1020, 2400, 330);
  Command1 = ui::control<QPushButton>(c, QStringLiteral("Command1"), 7080, 1005, 900, 360, QStringLiteral("貼付"));
  Label3 = ui::control<QLabel>(c, QStringLiteral("Label3"), 4560, 1440, 2400, 255, QStringLiteral("名刺"));
  Text50 = ui::control<QLineEdit>(c, QStringLiteral("Text50"), 4560, 1680, 2400, 330);
  Command38 = ui::control<QPushButton>(c, QStringLiteral("Command38"), 7080, 1665, 900, 360,
                                       QStringLiteral("名刺挿入"));
  Command3 = ui::control<QPushButton>(c, QStringLiteral("Command3"), 4560, 2160, 1080, 390, QStringLiteral("登録"));
  Command4 = ui::control<QPushButton>(c, QStringLiteral("Command4"), 5760, 2160, 1080, 390, QStringLiteral("削除"));
  // The list refill, captioned by what it does (not by its name).
  Command2 = ui::control<QPushButton>(c, QStringLiteral("Command2"), 6960, 2160, 1020, 390,
                                      QStringLiteral("一覧更新"));
  Label4 = ui::control<QLabel>(c, QStringLiteral("Label4"), 4560, 2700, 960, 255, QStringLiteral("登録件数"));
  Text3 = ui::control<QLineEdit>(c, QStringLiteral("Text3"), 5520, 2660, 900, 330);
  Label7 = ui::control<QLabel>(c, QStringLiteral("Label7"), 120, 2940, 4335, 255);
  Text5 = ui::control<QPlainTextEdit>(c, QStringLiteral("Text5"), kHelpLeft, kHelpTopShown, kHelpWidth, kHelpHeight);
  Text5->setReadOnly(true);
  Text5->setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9));
  Text5->setVisible(false);
  Label8 = ui::control<QLabel>(c, QStringLiteral("Label8"), 120, 4260, 7860, 255,
                               QStringLiteral("名刺は新規作成で宛先を一発挿入した際の確認用として使用します。"));

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command38, &QPushButton::clicked, this, [this] { Command38_Click(); });
  connect(MailListView, &QTreeWidget::itemPressed, this, [this] { MailListView_MouseDown(); });
  // A drag with the button held moves the highlight: the boxes follow it.
  connect(MailListView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* now) {
    if (now && (QApplication::mouseButtons() & Qt::LeftButton)) MailListView_MouseDown();
  });
  ui::clickOnKeyboardRowChange(MailListView, [this] { MailListView_MouseDown(); });

  // Mouse-over help: the buttons show their text, the background hides it.
  auto* help = new ui::Hover(this, [this](QWidget* control) { hover(control); });
  help->watch({c, Command1, Command3, Command4, Command38});
  // The controls keep their places at every size: the window is never made
  // smaller than they need.
  ui::holdControls(this);
}

void FriendForm::Form_Load() {
  const bool help = MainFormLoaded() && ::MainForm().Check1->isChecked();
  ui::place(Text5, kHelpLeft, help ? kHelpTopShown : kHelpTopHidden, kHelpWidth, kHelpHeight);

  const int listWidth = MailListView->width();
  MailListView->setColumnWidth(0, listWidth / 2);
  MailListView->setColumnWidth(1, static_cast<int>(listWidth / 2.38));

  HookHeader(MailListView);
  HookFriendList(this);

  Text3->setText(QString::number(MailListView->topLevelItemCount()));
  Label7->clear();
  Command2_Click();
}

void FriendForm::Form_QueryUnload(int&, int) {
  UnhookHeader(MailListView);
  UnhookFriendList(this);
}

void FriendForm::Command2_Click() {
  MailListView->clear();
  records::AddressFile file(records::kAddressBookFile);
  std::vector<records::AddressRecord> all;
  if (!file.readAll(all)) {
    seams::MsgBox(QStringLiteral("アドレス帳を読み込めませんでした。\r\n") + file.errorText(), seams::vbExclamation);
  } else {
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(all.size()));
    for (const auto& rec : all)
      rows.append(new QTreeWidgetItem(QStringList{TrimAtNull(rec.Address), TrimAtNull(rec.Name)}));
    MailListView->addTopLevelItems(rows);
    if (!all.empty()) AddressRec = all.back();
  }
  Text3->setText(QString::number(MailListView->topLevelItemCount()));
}

bool FriendForm::PutAddressRecord(int n) {
  AddressRec.Name = Text2->text();
  AddressRec.Address = Text4->text();
  AddressRec.Live = 1;
  AddressRec.LineEnd = records::kCrLf;
  records::AddressFile file(records::kAddressBookFile);
  const bool ok = file.write(n, AddressRec);
  putError_ = ok ? QString() : file.errorText();
  return ok;
}

void FriendForm::Command3_Click() {
  // A character that Shift-JIS cannot hold would be stored as "?": the
  // entry would no longer be the address or the name the user typed.
  if (!cp932::canEncode(Text2->text()) || !cp932::canEncode(Text4->text())) {
    Label7->clear();
    seams::MsgBox(QStringLiteral("名前かメールアドレスにShift-JISで保存できない文字が含まれています。\r\n"
                                 "その文字を除いてから登録して下さい。"),
                  seams::vbExclamation);
    return;
  }
  records::AddressFile file(records::kAddressBookFile);
  const int count = file.count();
  bool ok = count >= 0 && count < records::kMaxRecords;
  QString error = count < 0 ? file.errorText() : QStringLiteral("これ以上登録できません。");
  if (ok) {
    const int n = count + 1;
    ok = PutAddressRecord(n);
    if (ok) CurrentRecordNo = static_cast<std::int16_t>(n);
    else error = putError_;
  }
  if (!ok) {
    // A register that did not reach the file must not be reported as done.
    Label7->clear();
    seams::MsgBox(QStringLiteral("登録できませんでした。\r\n") + error, seams::vbExclamation);
    Command2_Click();
    return;
  }
  Label7->setText(QString::fromUtf16(kRegistered));
  Command2_Click();
}

int FriendForm::selectedRecord() const {
  QTreeWidgetItem* item = MailListView->currentItem();
  if (!item || !item->isSelected()) return 0;
  return MailListView->indexOfTopLevelItem(item) + 1;
}

void FriendForm::MailListView_MouseDown() {
  const int n = selectedRecord();
  if (n == 0) return;
  records::AddressFile file(records::kAddressBookFile);
  if (!file.read(n, AddressRec)) return;
  Text2->setText(vb::Trim(AddressRec.Name));
  Text4->setText(vb::Trim(AddressRec.Address));
  Label7->setText(QString::fromUtf16(kSelected));
}

void FriendForm::Command38_Click() {
  if (Text4->text().isEmpty()) {
    seams::MsgBox(QStringLiteral("メールアドレスが入力されていません"), seams::vbOKOnly);
    return;
  }
  if (Text50->text().isEmpty()) {
    seams::MsgBox(QStringLiteral("名詞が入力されていません"), seams::vbOKOnly);
    return;
  }
  Text4->setText(Text50->text() + u'<' + vb::Trim(Text4->text()) + u'>');
}

void FriendForm::Command4_Click() {
  if (Text4->text().isEmpty()) {
    seams::MsgBox(QStringLiteral("データが選択されていません"), seams::vbOKOnly);
    return;
  }
  const int n = selectedRecord();
  if (n == 0) return;  // nothing in the list is selected: nothing to delete
  records::AddressFile file(records::kAddressBookFile);
  if (!file.read(n, AddressRec)) {
    seams::MsgBox(QStringLiteral("アドレス帳を読み込めませんでした。\r\n") + file.errorText(), seams::vbExclamation);
    return;
  }
  Text2->setText(vb::Trim(AddressRec.Name));
  Text4->setText(vb::Trim(AddressRec.Address));
  Label7->setText(QString::fromUtf16(kSelected));
  CurrentRecordNo = static_cast<std::int16_t>(n);
  Label7->setText(QStringLiteral(" "));

  const int answer = seams::MsgBox(QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"),
                                   seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認"));
  // Whatever the answer the file is compacted and listed afresh; when the
  // compaction fails the entry keeps its flag.
  const bool ok = answer == seams::vbYes ? file.remove(CurrentRecordNo) : file.compact();
  if (!ok) {
    seams::MsgBox(QStringLiteral("削除できませんでした。\r\n") + file.errorText(), seams::vbExclamation);
  } else if (answer == seams::vbYes) {
    Label7->setText(QString::fromUtf16(kDeleted));
  }
  Command2_Click();
  Text2->clear();
  Text4->clear();
  Text50->clear();
}

void FriendForm::Command1_Click() { Text4->setText(QApplication::clipboard()->text()); }

void FriendForm::Command5_Click() { Text2->setText(QApplication::clipboard()->text()); }

void FriendForm::showHelp(const QString& text) {
  ui::showFitted(Text5, text);
}

void FriendForm::hover(QWidget* control) {
  if (control == Command1) showHelp(QString::fromUtf16(kHelpPasteAddress));
  else if (control == Command3) showHelp(QString::fromUtf16(kHelpRegister));
  else if (control == Command4) showHelp(QString::fromUtf16(kHelpDelete));
  else if (control == Command38) showHelp(QString::fromUtf16(kHelpCard));
  else if (control == client()) Text5->setVisible(false);
}

}  // namespace forms
